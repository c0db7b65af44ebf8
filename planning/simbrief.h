#pragma once

// The pilot's latest SimBrief flight plan (OFP), as SimBrief's fetcher answers it in JSON:
// what the flight data form and the fuel page take of it.

#include <optional>
#include <string>
#include <string_view>

#include "config/settings.h"

namespace aviolog::platform {
class HttpClient;
class Pilot;
}  // namespace aviolog::platform

namespace aviolog::planning {

class FlightFormModel;
class FuelPage;

inline constexpr const char* kDefaultSimbriefSite = "https://www.simbrief.com/api/xml.fetcher.php";
inline constexpr const char* kNoSimbriefUser =
    "No SimBrief user is set: enter your SimBrief user name in the options (VA system).";
inline constexpr const char* kSimbriefUnreachable =
    "SimBrief could not be reached; nothing was changed.";
inline constexpr const char* kNotAnOfp =
    "SimBrief did not answer with a flight plan; nothing was changed.";

struct SimbriefPlan {
    std::string origin;
    std::string destination;
    std::string alternate;
    std::string route;
    int initialAltitudeFt = 0;
    std::string aircraftIcao;
    std::string registration;
    std::string callsign;
    std::string flightNumber;
    std::string passengers;
    std::string cargo;
    // The planned ramp fuel in the unit of the plan.
    long rampFuel = 0;
    WeightUnit rampFuelUnit = WeightUnit::Kilograms;
    // SimBrief's own words when it refused (an unknown user, no plan yet).
    std::string refusal;
};

// The address of the latest plan of user: base + "?username=" + user (escaped) + "&json=1".
std::string simbriefAddress(std::string_view base, std::string_view user);

// The plan; nothing when the answer is not an OFP (then refusal may say why).
std::optional<SimbriefPlan> readSimbriefPlan(std::string_view answer,
                                             std::string* refusal = nullptr);

struct SimbriefContext {
    const config::Settings& settings;
    FlightFormModel& form;
    FuelPage& fuel;
    platform::HttpClient& http;
    platform::Pilot& pilot;
};

// The "SimBrief" button: the form filled and the ramp fuel spread over the tanks by their
// size (once the fuel page is built; otherwise kept as the requested total). True when
// filled; otherwise the pilot was told why and nothing changed.
bool fillFromSimbrief(const SimbriefContext& c);

}  // namespace aviolog::planning
