#pragma once

// What the pilot asks of a phpVMS 7 site and waits for: the bid that fills the flight data
// form, the flights flown offline filed with "Send LOG", and the flight filed live taken
// out of the pilot log file so that "Send LOG" does not file it twice.

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "reporting/phpvms_api.h"

namespace aviolog::config {
struct Settings;
}
namespace aviolog::model {
struct FlightSummary;
}
namespace aviolog::planning {
class FlightFormModel;
}
namespace aviolog::platform {
class HttpClient;
class Pilot;
}  // namespace aviolog::platform

namespace aviolog::reporting {

inline constexpr const char* kPhpVmsFlightsFiled = "Flights filed with the VA's phpVMS site.";
inline constexpr const char* kPhpVmsFileWaiting =
    "A flight already filed is still waiting for the VA's phpVMS site to take it; Aviolog "
    "sends it again on its own until the site does.";

struct PhpVmsPilotContext {
    config::Settings& settings;
    platform::HttpClient& http;
    platform::Pilot& pilot;
    std::filesystem::path workDir;
};

inline constexpr const char* kChooseBidTitle = "Flight from VA";

// "Flight from VA": the form filled from the pilot's bid, the one the pilot chose when there
// are several; nothing (and the pilot told why) when there is none or the site refused or
// could not be reached, and nothing when the pilot cancelled the choice.
std::optional<PhpVmsBid> flightFromPhpVms(const PhpVmsPilotContext& c,
                                          planning::FlightFormModel& form);

// "Send LOG": every stored flight prefiled and filed, oldest first, each removed from the
// pilot log file once the site took it; the flights whose file already waits in the
// phpVMS outbox (storedFlightKey) are left to it, so that none is filed twice. True when
// every flight went.
bool sendLogToPhpVms(const PhpVmsPilotContext& c, const std::vector<std::string>& fileWaiting = {});

// The flight the site took while it flew, or from the outbox later, leaves the pilot log
// file: the latest section with its date, hour and flight number (storedFlightKey).
bool dropFiledFlight(const PhpVmsPilotContext& c, const std::string& storedFlight);

}  // namespace aviolog::reporting
