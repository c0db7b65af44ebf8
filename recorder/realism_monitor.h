#pragma once

#include <array>
#include <cstdint>

#include "wire/sim_offsets.h"

namespace aviolog::recorder {

struct RecorderContext;
struct LogTime;
class FlightEvents;

// The entry of the simulator interface's hot-key table that the pilot-in-cockpit check
// claims, and the key it registers there: Ctrl+Shift+L.
inline constexpr int kCockpitHotKeyEntry = 55;
inline constexpr unsigned kCockpitHotKey = 0x0000034C;

// Keeps the flight honest: pauses, slew, time acceleration, clock jumps, fuel added in
// flight and crashes, each enforced or logged as the settings say.
class RealismMonitor {
  public:
    RealismMonitor(RecorderContext& context, FlightEvents& events) : c_(context), events_(events) {}

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

    RecorderContext& c_;
    FlightEvents& events_;
};

}  // namespace aviolog::recorder
