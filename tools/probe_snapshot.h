#pragma once

// What the probe shows, on Linux and on Windows: the variables read in one exchange and
// the line that describes them.

#include <cstdint>
#include <string>

#include "simlink/sim_link.h"
#include "simlink/sim_variables.h"

namespace aviolog::probe {

// Everything the probe shows, read in one exchange.
struct Snapshot {
    std::uint8_t zuluHour, zuluMinute;
    std::uint16_t dayOfYear, year;
    std::int32_t latitude, altitudeM, groundAltitude, pitch, heading, verticalSpeed;
    std::uint32_t longitude, groundSpeed, indicatedAirspeed;
    std::uint16_t onGround, windSpeed, windDirection, com1, altimeter;
    std::int16_t parkingBrake;
    std::int32_t gear, flaps;
    std::uint16_t flapIncrement, n1[2], density;
    double grossWeightLbs;
    std::uint16_t pauseIndicator, slew, rate, crashed;
    std::uint32_t tankLevel[wire::kTankCount], tankCapacity[wire::kTankCount];
};

bool readSnapshot(simlink::SimLink& link, Snapshot& s);
std::string describe(const Snapshot& s);

}  // namespace aviolog::probe
