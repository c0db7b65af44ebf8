#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "config/settings_file.h"
#include "model/flight_services.h"

namespace aviolog::config {
struct Settings;
}
namespace aviolog::model {
struct FlightRecord;
}
namespace aviolog::platform {
class Sound;
}
namespace aviolog::simlink {
class SimLink;
}

namespace aviolog::reporting {

class AcarsView;
struct VaTraffic;

inline constexpr const char* kCallSound = ".\\call.wav";

// What one answer of the uplink script holds for this flight.
struct UplinkAnswer {
    std::vector<std::string> messages;  // the pieces closed by "%" that name the flight
    std::optional<int> lastNumber;      // after the first "#"; nothing when none is readable
};

// Reads an answer of the uplink script for the flight: messages each closed by "%" and
// shown when they hold "SENDTO" + flight number with no letter or digit after it (none
// when the answer starts with "#"),
// then "#" + the newest message number up to a line feed.
UplinkAnswer readUplinkAnswer(std::string_view answer, std::string_view flightNumber);

// The reset script's answer: the number from its second character up to the first line
// feed; nothing when there is no line feed or no number there.
std::optional<int> readUplinkResetAnswer(std::string_view answer);

struct LiveLinkContext {
    simlink::SimLink& link;
    const config::Settings& settings;
    const model::FlightRecord& record;
    const model::FlightUnderWay& flight;
    platform::Sound& sound;
    VaTraffic& traffic;
    AcarsView& view;
    std::filesystem::path workDir;  // where the call sound is
};

// The live position report to the company's status site and the poll of the VA's uplink
// script, each on its timer while a log runs, and the uplink reset once at start-up.
class VaLiveLink final : public model::LiveLink, public config::UplinkReset {
  public:
    explicit VaLiveLink(LiveLinkContext context) : c_(std::move(context)) {}

    void sendPosition() override;
    void pollUplink() override;
    void resetUplinkNumber(std::string_view url) override;

    int lastUplinkNumber() const { return lastUplinkNumber_; }
    void restoreUplinkNumber(int number) { lastUplinkNumber_ = number; }

  private:
    bool paused();
    std::optional<std::string> positionAddress();
    void uplinkAnswered(const std::string& answer, const std::string& flightNumber);

    // Its references may be to objects built after this one: nothing is read before a
    // timer or the start-up reset calls in.
    LiveLinkContext c_;
    int lastUplinkNumber_ = 0;
    // A poll still on its way would ask with the same number and show the same messages
    // twice; the next tick waits for it.
    bool pollPending_ = false;
};

}  // namespace aviolog::reporting
