#include "planning/weather.h"

#include "common/paths.h"
#include "common/text_file.h"
#include "common/text_format.h"
#include "platform/http_client.h"
#include "platform/http_get.h"
#include "platform/registry.h"

namespace aviolog::planning {

namespace {

constexpr std::size_t kRegistryPathBytes = 200;

std::string upper(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return out;
}

constexpr const char* kMetarAddressCutMessage =
    "The %s METAR address of aviolog.ini ([Metar] %s) is %zu characters long with its query "
    "\"%s\", and only the first %zu are used: METARs may not arrive. Shorten it, or write it "
    "with its own query (ending in \"%s\"), which may be longer.";

// The report without the line feeds a service ends it with (at most two).
std::string withoutTrailingLineFeeds(std::string report) {
    for (int i = 0; i < 2 && !report.empty() && report.back() == '\n'; ++i) report.pop_back();
    return report;
}

// A plain-text service's answer is a report only when it begins with the station's code
// (blanks before it aside): an error page or an answer of line ends is not one.
std::optional<std::string> plainReport(std::string_view answer, std::string_view station) {
    const std::size_t start = answer.find_first_not_of(" \t\r\n");
    if (station.empty() || start == std::string_view::npos) return std::nullopt;
    answer.remove_prefix(start);
    if (!answer.starts_with(station)) return std::nullopt;
    return std::string(answer);
}

}  // namespace

const char* metarQuerySuffix(config::MetarSource source) {
    switch (source) {
        case config::MetarSource::VATSIM:
            return "?id=";
        case config::MetarSource::IVAO:
            return "?Id=";
        case config::MetarSource::NOAA:
            return "?cccc=";
        default:
            return "";
    }
}

MetarAddress metarAddress(config::MetarSource source, std::string_view base) {
    if (base.find('?') != std::string_view::npos) return {std::string(base), false};
    std::string prefix = std::string(base) + metarQuerySuffix(source);
    const bool cut = prefix.size() > kMetarPrefixChars;
    if (cut) prefix.resize(kMetarPrefixChars);
    return {std::move(prefix), cut};
}

std::optional<std::string> metarAddressWarning(const config::Settings& settings) {
    const config::MetarSource source = settings.metarSource;
    const bool network = source == config::MetarSource::VATSIM ||
                         source == config::MetarSource::IVAO || source == config::MetarSource::NOAA;
    if (!network || !metarAddress(source, settings.metarBaseUrl).cut) return std::nullopt;
    const char* name = config::metarSourceName(source);
    const char* query = metarQuerySuffix(source);
    return format(kMetarAddressCutMessage, name, name,
                  settings.metarBaseUrl.size() + std::string_view(query).size(), query,
                  kMetarPrefixChars, query);
}

std::optional<std::string> noaaReport(std::string_view answer, std::string_view station) {
    if (station.empty()) return std::nullopt;
    if (answer.find('<') == std::string_view::npos) {
        // Today's service answers plain text, one report a line.
        for (std::size_t begin = 0; begin < answer.size();) {
            std::size_t end = answer.find('\n', begin);
            if (end == std::string_view::npos) end = answer.size();
            std::string_view line = answer.substr(begin, end - begin);
            if (line.starts_with(station)) return std::string(line);
            begin = end + 1;
        }
        return std::nullopt;
    }
    const std::string_view page = answer.substr(0, kNoaaScanChars);
    std::size_t at = 0;
    for (int found = 0; found < 4; ++found) {
        at = page.find(station, at + 1);
        if (at == std::string_view::npos) return std::nullopt;
    }
    const std::size_t end = page.find('<', at);
    if (end == std::string_view::npos) return std::nullopt;
    return std::string(page.substr(at, end - at));
}

void Weather::select(const config::Settings& settings) {
    source_ = settings.metarSource;
    urlPrefix_.clear();
    as2004File_.clear();
    switch (source_) {
        case config::MetarSource::VATSIM:
        case config::MetarSource::IVAO:
        case config::MetarSource::NOAA: {
            urlPrefix_ = metarAddress(source_, settings.metarBaseUrl).prefix;
            break;
        }
        case config::MetarSource::AS2004: {
            // Without the engine's folder the file is looked for in the working directory.
            const auto folder = registry_.readString(platform::RegistryHive::LocalMachine,
                                                     kAs2004Key, kAs2004Value, kRegistryPathBytes);
            as2004File_ = folder ? registry_.hostPath(*folder + kAs2004File)
                                 : localPath(workDir_, kAs2004File);
            break;
        }
        case config::MetarSource::None:
            break;
    }
}

std::optional<std::string> Weather::fetch(const std::string& icao) {
    const std::string station = upper(icao);
    std::optional<std::string> report;
    switch (source_) {
        case config::MetarSource::None:
            return std::nullopt;
        case config::MetarSource::AS2004:
            report = fromAs2004(station);
            break;
        case config::MetarSource::VATSIM:
        case config::MetarSource::IVAO:
            if (const auto answer = download(station)) report = plainReport(*answer, station);
            break;
        case config::MetarSource::NOAA:
            if (const auto answer = download(station)) report = noaaReport(*answer, station);
            break;
    }
    if (!report || report->empty()) return std::nullopt;
    return withoutTrailingLineFeeds(std::move(*report));
}

std::optional<std::string> Weather::fromAs2004(const std::string& station) const {
    if (station.empty()) return std::nullopt;
    const auto file = readFileBytes(as2004File_);
    if (!file) return std::nullopt;
    const std::size_t at = file->find(station);
    if (at == std::string::npos) return std::nullopt;
    std::string report = file->substr(at, file->find('\n', at) - at);
    // The export may be written with CR LF; the CR belongs to the line end.
    if (!report.empty() && report.back() == '\r') report.pop_back();
    return report;
}

std::optional<std::string> Weather::download(const std::string& station) {
    if (failures_ >= kMetarFailuresBeforeGivingUp) return std::nullopt;
    auto answer = platform::httpGet(http_, urlPrefix_ + station);
    if (!answer) {
        ++failures_;
        return std::nullopt;
    }
    failures_ = 0;
    return answer;
}

}  // namespace aviolog::planning
