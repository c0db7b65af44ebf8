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

// Whether the company's weights are kilograms (otherwise pounds).
bool usesKilograms(const config::Settings& settings);

// The flight under way as the recorder keeps it. A record of its own, so that whoever
// reads it (the live link's position report) needs nothing else of the recorder.
struct FlightState {
    FlightPhase phase = FlightPhase::WaitingForBlocksOff;
    // Looked up at Start; nothing when the airport list does not know the airport.
    std::optional<model::Airport> departure;
    std::optional<model::Airport> arrival;
};

// The flight log's lines: stamped with the simulator's clock, and written to the gauge's
// second page first, then to the log display.
struct LogLines {
    SimLink& link;
    const config::Settings& settings;  // the company may log in local time
    model::GaugeLink& gauge;
    MainWindowModel& window;

    // The time of the log-line prefix: the simulator's UTC clock, or its local clock when
    // the company logs in local time. Nothing when the exchange failed.
    std::optional<LogTime> readLogTime() const;
    std::optional<LogTime> readUtcTime() const;
    void appendLog(const std::string& text) const;
    // Formats a log line whose format starts with the hour and minute of the log time;
    // false when the time could not be read.
    template <typename... Args>
    bool logNow(const char* fmt, Args... args) const {
        const auto t = readLogTime();
        if (!t) return false;
        appendLog(format(fmt, t->hour, t->minute, args...));
        return true;
    }
};

// What the recorder as a whole is given: the platform, the process-wide records and the
// services around them. Whoever builds the recorder owns everything referred to here; the
// flight log hands each of its parts the share that part uses.
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
    FlightState& flight;
    std::string workDir;

    LogLines lines() const {
        return {.link = link, .settings = settings, .gauge = services.gauge, .window = window};
    }
};

// The flight under way as the live link reads it. It only holds references, so its owner
// may make it before the recorder.
class FlightUnderWayView final : public model::FlightUnderWay {
  public:
    FlightUnderWayView(const FlightState& flight, const FlightProgress& progress)
        : flight_(flight), progress_(progress) {}
    model::FlightPhase phase() const override { return flight_.phase; }
    int groundSpeedKt() const override { return progress_.groundSpeedKt; }
    const std::optional<model::Airport>& departure() const override { return flight_.departure; }
    const std::optional<model::Airport>& arrival() const override { return flight_.arrival; }

  private:
    const FlightState& flight_;
    const FlightProgress& progress_;
};

}  // namespace aviolog::recorder
