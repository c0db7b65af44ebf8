#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "recorder/landing_analysis.h"
#include "recorder/recorder_context.h"

namespace aviolog::platform {
class Timers;
}

namespace aviolog::recorder {

// What the event detection uses: the simulator, the flight timers it starts and stops,
// the records it reads and writes, the services its events call out to and the log.
struct EventsContext {
    SimLink& link;
    platform::Timers& timers;
    const config::Settings& settings;
    const model::FlightRecord& record;
    FlightProgress& progress;
    model::FlightServices& services;  // ACARS messages, METARs, flap names
    FlightPhase& phase;
    LogLines lines;

    // The log's words, as the steps say them.
    bool kilograms() const { return usesKilograms(settings); }
    std::optional<LogTime> readLogTime() const { return lines.readLogTime(); }
    std::optional<LogTime> readUtcTime() const { return lines.readUtcTime(); }
    void appendLog(const std::string& text) const { lines.appendLog(text); }
    template <typename... Args>
    bool logNow(const char* fmt, Args... args) const {
        return lines.logNow(fmt, args...);
    }
};

// Height above ground from which the aircraft counts as airborne, in whole metres.
inline constexpr int kAirborneHeightM = 10;

// The cruise altitude in feet that a flight-level text stands for: FL350 and F350 give
// 35000, A050 gives 5000, a bare 35000 gives 35000.
unsigned cruiseAltitudeFt(std::string_view flightLevel);

// Turns the simulator's state into flight-log lines, one step per flight phase. Every
// step ends quietly at the first failed exchange and starts afresh at the next tick.
class FlightEvents {
  public:
    explicit FlightEvents(EventsContext context) : c_(std::move(context)) {}

    // The parking-brake watch that the blocks-off step shares with the automated start:
    // notes a brake set, and warns once about a brake released before it was ever set.
    struct BrakeReading {
        std::int16_t brake;
        bool warned;  // the warning case, which ends the caller's step
    };
    std::optional<BrakeReading> watchParkingBrake();

    void blocksOffStep();
    void takeOffStep();
    void airborneStep();
    // True when it recorded blocks on in this call.
    bool blocksOnStep(bool forced);
    void touchdownSampler();
    // The landing as the sampler saw it; a lookup of the arrival's runways, when there is one.
    const LandingAnalysis& landing() const { return landing_; }
    void setRunwayLookup(const RunwayLookup* runways) { runways_ = runways; }
    // The COM1 frequency of this tick, read with the realism checks.
    void com1Watch(std::uint16_t com1);
    void zeroFuelWeightLine();
    // Fetches the airport's METAR, logs it and sends it as a message.
    void logMetar(const std::string& icao);

  private:
    bool positionLine();
    bool logLanding();
    // The airborne phase's steps in order: false when an exchange failed, which ends the
    // step for this tick.
    bool gearLines();
    bool positionReport(int nowMin);
    bool countFlightLength(int nowMin);
    bool cruiseLines();
    bool flapsLine();
    void armTouchdownSampler(int heightM);
    void watchForLanding(int heightM);
    bool landingAnalysed() const;
    void touchdownLine(std::int32_t contactRateRaw);
    bool landingLines();

    EventsContext c_;
    LandingAnalysis landing_;
    const RunwayLookup* runways_ = nullptr;
    bool runwaysLookedUp_ = false;
};

}  // namespace aviolog::recorder
