#include "recorder/runway_file.h"

#include <cmath>
#include <cstdlib>
#include <string>

#include "common/text_file.h"
#include "config/ini_file.h"

namespace aviolog::recorder {

namespace {

constexpr double kMetresPerDegreeLatitude = 60.0 * 1852.0;
constexpr double kRadPerDeg = 0.017453292519943295;
constexpr std::size_t kMaxValueChars = 200;

// The number a field holds, whole; nothing for an empty or partly numeric field.
std::optional<double> number(std::string_view field) {
    const std::string text(field);
    if (text.empty()) return std::nullopt;
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (end != text.c_str() + text.size() || !std::isfinite(value)) return std::nullopt;
    return value;
}

}  // namespace

std::optional<RunwayEnd> parseRunwayEnd(std::string_view ident, std::string_view value) {
    std::vector<std::string_view> fields;
    for (std::size_t begin = 0;;) {
        const std::size_t end = value.find(';', begin);
        fields.push_back(value.substr(begin, end == std::string_view::npos ? end : end - begin));
        if (end == std::string_view::npos) break;
        begin = end + 1;
    }
    if (fields.size() < 6) return std::nullopt;
    const auto lat = number(fields[0]);
    const auto lon = number(fields[1]);
    const auto heading = number(fields[2]);
    const auto length = number(fields[3]);
    const auto displaced = number(fields[5]);
    if (!lat || !lon || !heading || !length || !displaced || std::abs(*lat) > 90.0 ||
        std::abs(*lon) > 180.0) {
        return std::nullopt;
    }
    RunwayEnd end;
    end.ident = std::string(ident);
    end.headingTrueDeg = *heading;
    end.lengthM = *length;
    const double h = *heading * kRadPerDeg;
    end.thresholdLatitudeDeg = *lat + *displaced * std::cos(h) / kMetresPerDegreeLatitude;
    end.thresholdLongitudeDeg =
        *lon + *displaced * std::sin(h) / (kMetresPerDegreeLatitude * std::cos(*lat * kRadPerDeg));
    return end;
}

std::vector<RunwayEnd> RunwayFile::runwayEnds(std::string_view icao) const {
    std::vector<RunwayEnd> ends;
    if (icao.empty()) return ends;
    const auto bytes = readFileBytes(file_);
    if (!bytes) return ends;
    const config::IniDocument list(*bytes);
    for (const std::string& ident : list.keyNames(icao)) {
        const std::string value = list.getString(icao, ident, "", kMaxValueChars);
        if (auto end = parseRunwayEnd(ident, value)) ends.push_back(std::move(*end));
    }
    return ends;
}

}  // namespace aviolog::recorder
