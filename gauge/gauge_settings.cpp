#include "gauge/gauge_settings.h"

#include "common/paths.h"
#include "common/text_file.h"
#include "config/ini_file.h"
#include "wire/gauge_record.h"

namespace aviolog::gauge {
namespace {

constexpr std::string_view kSimulatorKeys[] = {
    "SOFTWARE\\Microsoft\\Microsoft Games\\Flight Simulator\\9.0",
    "SOFTWARE\\Microsoft\\Microsoft Games\\Flight Simulator\\8.0",
};
constexpr std::string_view kFolderValues[] = {"EXE Path", "Path", "path", "InstalledTo"};
constexpr int kMaxPort = 65535;

}  // namespace

std::optional<std::filesystem::path> findSimulatorFolder(const platform::Registry& registry) {
    constexpr auto kHive = platform::RegistryHive::LocalMachine;
    constexpr std::size_t kMaxPathBytes = 260;
    for (const std::string_view key : kSimulatorKeys) {
        if (!registry.hasKey(kHive, key)) continue;
        for (const std::string_view name : kFolderValues) {
            if (const auto folder = registry.readString(kHive, key, name, kMaxPathBytes)) {
                return registry.hostPath(*folder);
            }
        }
        return std::nullopt;  // only the key that opened is read
    }
    return std::nullopt;
}

std::filesystem::path settingsPathIn(const std::filesystem::path& simulatorFolder) {
    // Windows finds "Gauges\AviologGauge.ini" as well; so do we.
    return localPath(simulatorFolder, "gauges\\" + std::string(kSettingsFileName));
}

int portFromSettings(const std::optional<std::filesystem::path>& settingsFile) {
    if (!settingsFile) return wire::kGaugeDefaultPort;
    const auto bytes = readFileBytes(*settingsFile);
    if (!bytes) return wire::kGaugeDefaultPort;
    const config::IniDocument ini(*bytes);
    const int port = ini.getInt("TCPIP", "Port", 0);
    return port > 0 && port <= kMaxPort ? port : wire::kGaugeDefaultPort;
}

}  // namespace aviolog::gauge
