#pragma once

#include <climits>
#include <cmath>
#include <optional>
#include <string>

#include "common/text_format.h"
#include "model/airports.h"
#include "model/flight_services.h"
#include "recorder/flight_progress.h"

namespace aviolog {
namespace config {
struct Settings;
struct RealismSection;
}  // namespace config
namespace model {
struct FlightServices;
struct FlightRecord;
class FlightForm;
class MainWindowModel;
struct FlightSummary;
}  // namespace model
namespace simlink {
class SimLink;
}
namespace platform {
class Clock;
class Timers;
class Pilot;
class Sound;
class LibraryLoader;
}  // namespace platform
}  // namespace aviolog

namespace aviolog::recorder {

// The recorder speaks the link's and the models' vocabulary throughout.
using model::FlightSummary;
using model::MainWindowModel;
using simlink::SimLink;

// Every figure the log shows is truncated toward zero. Values from a broken peer are
// refused where they are read; this keeps what is left (a NaN, a figure past an int)
// from being undefined: it is held at the limits.
inline int whole(double value) {
    if (std::isnan(value)) return 0;
    if (value >= static_cast<double>(INT_MAX)) return INT_MAX;
    if (value <= static_cast<double>(INT_MIN)) return INT_MIN;
    return static_cast<int>(value);
}

// Seconds between dump rows, kept within what the options dialog offers: a setting of 0
// or one out of range must not run the dump every millisecond.
inline constexpr int kMinDumpSeconds = 1;
inline constexpr int kMaxDumpSeconds = 100;
int dumpIntervalMs(const config::Settings& settings);

// The pilot-in-cockpit check's range in minutes; a range below a minute is a minute, so
// a setting of 0 cannot warn every second.
struct CockpitCheckMinutes {
    int min;
    int max;
};
CockpitCheckMinutes cockpitCheckMinutes(const config::RealismSection& realism);

struct LogTime {
    int hour = 0;
    int minute = 0;
};

// What the parts of the recorder share: the platform, the process-wide records and the
// services around them. The application core owns everything referred to here.
struct RecorderContext {
    SimLink& link;
    platform::Timers& timers;
    platform::Clock& clock;
    platform::Pilot& pilot;
    platform::Sound& sound;
    platform::LibraryLoader& libraries;
    config::Settings& settings;
    model::FlightForm& form;
    model::FlightRecord& record;
    FlightProgress& progress;
    FlightSummary& summary;
    MainWindowModel& window;
    model::FlightServices& services;
    std::string workDir;

    FlightPhase phase = FlightPhase::WaitingForBlocksOff;
    // Looked up at Start; nothing when the airport list does not know the airport.
    std::optional<model::Airport> departure;
    std::optional<model::Airport> arrival;

    bool kilograms() const;
    // The time of the log-line prefix: the simulator's UTC clock, or its local clock when
    // the company logs in local time. Nothing when the exchange failed.
    std::optional<LogTime> readLogTime();
    std::optional<LogTime> readUtcTime();
    // A flight-log text: to the gauge's second page first, then to the log display.
    void appendLog(const std::string& text);
    // Formats a log line whose format starts with the hour and minute of the log time;
    // false when the time could not be read.
    template <typename... Args>
    bool logNow(const char* fmt, Args... args) {
        const auto t = readLogTime();
        if (!t) return false;
        appendLog(format(fmt, t->hour, t->minute, args...));
        return true;
    }
};

// The flight under way as the live link reads it, from the recorder's context. It only
// holds a reference, so its owner may make it before the context.
class FlightUnderWayView final : public model::FlightUnderWay {
  public:
    explicit FlightUnderWayView(const RecorderContext& context) : c_(context) {}
    model::FlightPhase phase() const override { return c_.phase; }
    int groundSpeedKt() const override { return c_.progress.groundSpeedKt; }
    const std::optional<model::Airport>& departure() const override { return c_.departure; }
    const std::optional<model::Airport>& arrival() const override { return c_.arrival; }

  private:
    const RecorderContext& c_;
};

}  // namespace aviolog::recorder
