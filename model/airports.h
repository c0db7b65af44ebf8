#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace aviolog::model {

struct Airport {
    std::string name;
    double latitudeDeg = 0.0;
    double longitudeDeg = 0.0;
};

// The airport list "apt.txt" in workDir: section [Airports], key = ICAO code,
// value = "name;latitude;longitude". Nothing when the key is missing or empty.
std::optional<Airport> lookupAirport(const std::string& workDir, std::string_view icao);

}  // namespace aviolog::model
