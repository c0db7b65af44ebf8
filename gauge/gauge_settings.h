#pragma once

// Where the terminal finds its port: "aviologgauge.ini" in the simulator's gauges folder,
// the folder read from the registry where the simulator's installer left it.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace aviolog::gauge {

inline constexpr std::string_view kSettingsFileName = "aviologgauge.ini";

// The registry under HKEY_LOCAL_MACHINE, read only (on Linux, a Wine prefix's).
class SimulatorRegistry {
  public:
    virtual ~SimulatorRegistry() = default;
    virtual bool hasKey(std::string_view keyPath) const = 0;
    // A text value of the key; nothing when it is missing.
    virtual std::optional<std::string> value(std::string_view keyPath,
                                             std::string_view name) const = 0;
    // A folder as the registry names it (a Windows path), as this system reaches it.
    virtual std::filesystem::path localPath(std::string_view windowsPath) const = 0;
};

// The simulator's folder: the 2004 key, else the 2002 key, and in the key that opened the
// first of its folder values that exists. Nothing without a registry or a folder.
std::optional<std::filesystem::path> findSimulatorFolder(const SimulatorRegistry* registry);

// The settings file in the simulator's gauges folder.
std::filesystem::path settingsPathIn(const std::filesystem::path& simulatorFolder);

// [TCPIP] Port of the settings file; a missing file or key, an empty, zero or unreadable
// value, or one that is no port, all mean the default port.
int portFromSettings(const std::optional<std::filesystem::path>& settingsFile);

}  // namespace aviolog::gauge
