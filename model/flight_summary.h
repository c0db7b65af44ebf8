#pragma once

#include <string>

namespace aviolog::model {

// The end-of-flight values, filled when the log stops; members carry the names of the
// keys they are stored under.
struct FlightSummary {
    std::string Date;
    std::string Hour;
    std::string CallSign;
    std::string FlightIATA;
    std::string AircraftRegist;
    std::string DepAirport;
    std::string DestAirport;
    std::string AltAirport;
    std::string PlaneType;
    std::string UsedFuel;
    std::string InitialFuel;
    std::string FuelEnd;
    std::string FlightDur;
    std::string FlightLength;
    std::string RateTD;
    std::string speedTD;
    std::string ZFW;
    std::string logText;  // every line of the flight log, each followed by a line feed

    bool operator==(const FlightSummary&) const = default;
};

}  // namespace aviolog::model
