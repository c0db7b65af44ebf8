#pragma once

// Where the terminal finds its port: "aviologgauge.ini" in the simulator's gauges folder,
// the folder read from the registry where the simulator's installer left it.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "platform/registry.h"

namespace aviolog::gauge {

inline constexpr std::string_view kSettingsFileName = "aviologgauge.ini";

// The simulator's folder: the 2004 key, else the 2002 key, and in the key that opened the
// first of its folder values that exists. Nothing without a registry or a folder.
std::optional<std::filesystem::path> findSimulatorFolder(const platform::Registry& registry);

// The settings file in the simulator's gauges folder, folder and file matched without
// regard to case as Windows matches them.
std::filesystem::path settingsPathIn(const std::filesystem::path& simulatorFolder);

// [TCPIP] Port of the settings file; a missing file or key, an empty, zero or unreadable
// value, or one that is no port, all mean the default port.
int portFromSettings(const std::optional<std::filesystem::path>& settingsFile);

}  // namespace aviolog::gauge
