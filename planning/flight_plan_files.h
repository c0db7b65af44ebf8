#pragma once

// The flight-plan files other programs write, read into plain values: the simulator's
// .pln (the INI form of FS2004, the XML of FSX, Prepar3D and MSFS), FSBuild's .fsa,
// Servinfo's network file and VATSIM's v3 data feed. Whatever a file holds (huge lines,
// no line ends, NUL bytes), nothing is read past its end; the form cuts values to its
// widths.

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/units.h"
#include "planning/flight_form.h"

namespace aviolog::planning {

inline constexpr std::size_t kMaxPlnWaypoints = 255;  // "waypoint.0" to "waypoint.254"

struct PlnPlan {
    std::optional<std::string> departure;  // identifier only, before the first comma
    std::optional<std::string> arrival;
    std::optional<std::string> flightLevel;  // as the file carries it
    std::vector<std::string> waypoints;      // identifiers in order
};
// INI or XML, told apart by content.
PlnPlan readPln(std::string_view bytes);

struct FsaPlan {
    std::vector<std::pair<FormField, std::string>> fields;  // non-empty values, in file-key order
    std::optional<std::string> requestedFuel;               // in the program's unit
};
FsaPlan readFsa(std::string_view bytes, WeightUnit unit);

inline constexpr const char* kNoCallsignInServinfo = "Didn't found Callsign in Servinfo";
inline constexpr const char* kNoPlanInServinfo = "Didn't found Flight Plan in Servinfo";

struct NetworkPlan {
    std::string aircraftType;
    std::string departure;
    std::string flightLevel;
    std::string arrival;
    std::string alternate;  // "NONE" when the plan has none
    std::string route;
};
struct NetworkPlanResult {
    std::optional<NetworkPlan> plan;
    const char* warning = nullptr;  // when there is no plan
};
// Servinfo's colon-separated records, after its first 50 characters. The pilot's record
// is the one whose first field is exactly the callsign.
NetworkPlanResult scanServinfo(std::string_view bytes, std::string_view callsign);
// VATSIM's v3 data feed: pilots[] and then prefiles[] by callsign, their flight_plan.
// Nothing (and no warning) when the text is not such a feed.
std::optional<NetworkPlanResult> readVatsimFeed(std::string_view bytes, std::string_view callsign);

}  // namespace aviolog::planning
