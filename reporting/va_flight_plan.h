#pragma once

// The "Flight from VA" button: the airline's flight-plan script hands the pilot the booked
// flight, which fills the flight data form; and the "Acars RealTime" page's address.

#include <filesystem>
#include <string>
#include <string_view>

namespace aviolog::config {
struct Settings;
}
namespace aviolog::platform {
class HttpClient;
class Pilot;
}  // namespace aviolog::platform
namespace aviolog::planning {
class FlightFormModel;
}

namespace aviolog::reporting {

inline constexpr const char* kCantReachVa = "Can't comunnicate with VA";
inline constexpr const char* kFlightPlanFile = ".\\FlightPlan.txt";

struct VaFlightPlanContext {
    config::Settings& settings;
    planning::FlightFormModel& form;
    platform::HttpClient& http;
    platform::Pilot& pilot;
    std::filesystem::path workDir;
};

enum class VaFlightPlanOutcome { Filled, Unreachable, Refused };

// Asks FPSite for the pilot's booked flight (the pilot number typed on the form becomes
// the profile's), stores the answer as ".\FlightPlan.txt" and fills the form from it.
VaFlightPlanOutcome flightFromVa(const VaFlightPlanContext& context);

// Fills the form from an answer whose first word is "OK": lines 2 to 16; an empty line
// leaves its field alone, missing lines too.
void fillFormFromFlightPlan(std::string_view answer, planning::FlightFormModel& form);

// The real-time page: AcarsReal, set to the built-in default first when it is empty.
const std::string& realTimeAddress(config::Settings& settings);

}  // namespace aviolog::reporting
