#pragma once

#include <array>
#include <cstdint>
#include <utility>

#include "recorder/recorder_context.h"
#include "wire/sim_offsets.h"

namespace aviolog::platform {
class Timers;
class Sound;
}  // namespace aviolog::platform

namespace aviolog::recorder {

class FlightEvents;

// What the realism checks use: the simulator, the timers a crash stops, the warning
// sound, the settings that switch each check, the flight so far, the window's buttons and
// status, and the log.
struct RealismContext {
    SimLink& link;
    platform::Timers& timers;
    platform::Sound& sound;
    config::Settings& settings;  // the pause before the destination is made once
    FlightProgress& progress;
    MainWindowModel& window;
    FlightPhase& phase;  // a crash ends the flight
    LogLines lines;

    template <typename... Args>
    bool logNow(const char* fmt, Args... args) const {
        return lines.logNow(fmt, args...);
    }
};

// The entry of the simulator interface's hot-key table that the pilot-in-cockpit check
// claims, and the key it registers there: Ctrl+Shift+L.
inline constexpr int kCockpitHotKeyEntry = 55;
inline constexpr unsigned kCockpitHotKey = 0x0000034C;

// Keeps the flight honest: pauses, slew, time acceleration, clock jumps, fuel added in
// flight and crashes, each enforced or logged as the settings say.
class RealismMonitor {
  public:
    RealismMonitor(RealismContext context, FlightEvents& events)
        : c_(std::move(context)), events_(events) {}

    // The checks before the phase step; false when the tick ends here.
    bool firstHalf();
    // The fuel-fill and crash checks after the phase step.
    void secondHalf();
    // Remembers every tank's level, so fuel added later can be taken away again.
    void takeFuelReferenceLevels();
    // Registers the hot key of the pilot-in-cockpit check.
    void armCockpitCheck();

  private:
    struct TickState;
    bool simulationRate(std::uint16_t rate);
    bool utcJump(LogTime utc, std::uint16_t rateRaw);
    bool cockpitCheck();
    void fuelFillCheck();
    bool readTankLevels(std::array<std::uint32_t, wire::kTankCount>& levels);
    void crashCheck();

    RealismContext c_;
    FlightEvents& events_;
};

}  // namespace aviolog::recorder
