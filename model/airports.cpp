#include "model/airports.h"

#include <cstdlib>

#include "config/ini_file.h"

namespace aviolog::model {

namespace {
constexpr int kMaxValueChars = 299;

// The leading decimal number of the text, as the C library reads it; 0 without one.
double leadingNumber(const std::string& text) {
    return std::strtod(text.c_str(), nullptr);
}
}  // namespace

std::optional<Airport> lookupAirport(const std::string& workDir, std::string_view icao) {
    if (icao.empty()) return std::nullopt;
    config::IniFile file(workDir + "/apt.txt");
    const std::string value = file.getString("Airports", icao, "", kMaxValueChars);
    if (value.empty()) return std::nullopt;
    Airport airport;
    const std::size_t first = value.find(';');
    airport.name = value.substr(0, first);
    if (first != std::string::npos) {
        const std::string rest = value.substr(first + 1);
        airport.latitudeDeg = leadingNumber(rest);
        const std::size_t second = rest.find(';');
        if (second != std::string::npos)
            airport.longitudeDeg = leadingNumber(rest.substr(second + 1));
    }
    return airport;
}

}  // namespace aviolog::model
