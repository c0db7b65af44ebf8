#include "gauge/gauge_settings.h"

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

std::optional<std::filesystem::path> findSimulatorFolder(const SimulatorRegistry* registry) {
    if (registry == nullptr) return std::nullopt;
    for (const std::string_view key : kSimulatorKeys) {
        if (!registry->hasKey(key)) continue;
        for (const std::string_view name : kFolderValues) {
            if (const auto folder = registry->value(key, name)) return registry->localPath(*folder);
        }
        return std::nullopt;  // only the key that opened is read
    }
    return std::nullopt;
}

std::filesystem::path settingsPathIn(const std::filesystem::path& simulatorFolder) {
    return simulatorFolder / "gauges" / kSettingsFileName;
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
