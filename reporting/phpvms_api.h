#pragma once

// What the program says to a phpVMS 7 site's ACARS API and reads from its answers: the
// requests with the pilot's key, the bids, the PIREP id, the values of a filed PIREP in the
// units phpVMS stores, and a refusal as a text for the pilot.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "config/settings.h"
#include "platform/http_client.h"

namespace aviolog::model {
struct FlightRecord;
struct FlightSummary;
}  // namespace aviolog::model

namespace aviolog::reporting {

inline constexpr const char* kPhpVmsSourceName = "Aviolog";
inline constexpr const char* kNoPhpVmsSite =
    "No phpVMS site is set for this company: enter its address and your API key in the "
    "options (VA system).";
inline constexpr const char* kPhpVmsUnreachable =
    "The VA's phpVMS site could not be reached. The flight is kept on this computer; try "
    "again later.";
inline constexpr const char* kNoBids =
    "You have no bids on the VA's phpVMS site: bid on a flight there first.";
inline constexpr const char* kPhpVmsNoId = "The VA's phpVMS site did not give a PIREP number.";

// A flight the pilot bid on, with what the form takes of it.
struct PhpVmsBid {
    std::string flightId;
    std::string airlineId;
    std::string aircraftId;  // the aircraft the bid holds; empty: none
    std::string flightNumber;
    std::string callsign;
    std::string departure;
    std::string arrival;
    std::string alternate;
    std::string route;
    std::string level;  // feet, as the site holds it
    std::string aircraftType;
    std::string registration;
    std::string passengers;
    std::string cargo;
};

// One of the aircraft the pilot may fly.
struct PhpVmsAircraft {
    std::string id;
    std::string icao;
    std::string registration;
};

// A request to the site: the base address joined with path, the key in "X-API-Key" and
// JSON in and out.
platform::WebRequest phpVmsRequest(const config::PhpVmsSection& site, std::string method,
                                   std::string_view path, std::string body = {});

// The bids of GET /api/user/bids, in the site's order; none when the answer is not one.
std::vector<PhpVmsBid> readBids(std::string_view body);
// The aircraft of GET /api/user/fleet (subfleets, each with its aircraft).
std::vector<PhpVmsAircraft> readFleet(std::string_view body);
// The pilot's airline of GET /api/user.
std::optional<std::string> readUserAirline(std::string_view body);
// The id of the PIREP a prefile (or any PIREP resource) answered with.
std::optional<std::string> readPirepId(std::string_view body);

// What the pilot is told when the site refused a request: its own message, never the key
// (a site or proxy that echoes it gets it masked).
std::string refusalText(const platform::WebAnswer& answer, std::string_view apiKey);
// The key in a text, masked; for every text that could be shown or kept.
std::string withoutKey(std::string text, std::string_view apiKey);

// The flight level of the form in feet: "FL350", "350" (hundreds) or "35000".
int levelFeet(std::string_view flightLevel);
// "HH:MM" as minutes; 0 when unreadable.
int summaryMinutes(std::string_view hoursMinutes);
// A weight of the summary in pounds, whichever unit the profile keeps.
double summaryPounds(std::string_view value, WeightUnit unit);

// The number of a flight without its airline's letters ("VAX123" is 123).
std::string flightNumberOnly(std::string_view flightNumber);
// The body of POST /api/pireps/prefile; the ids are those of the site.
std::string prefileBody(const model::FlightRecord& record, std::string_view airlineId,
                        std::string_view aircraftId);
// The body of POST /api/pireps/{id}/file: distance in nmi, flight_time in minutes, fuel in
// lb, landing_rate in ft/min, level in ft, the log as notes.
std::string fileBody(const model::FlightSummary& summary, const model::FlightRecord& record,
                     WeightUnit unit);

}  // namespace aviolog::reporting
