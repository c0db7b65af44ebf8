#pragma once

// The simulator's state in engineering units, and the one translation of it into the
// raw variables of the simulator interface. The simulator stand-in and the bridges to
// real simulators both serve their variables through publishPicture, so that a value
// reads with the same scaling whatever stands behind the interface.

#include <array>
#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>

#include "wire/offset_memory.h"
#include "wire/sim_offsets.h"

namespace aviolog::wire {

inline constexpr double kUnknown = std::numeric_limits<double>::quiet_NaN();
inline constexpr int kN1Engines = 2;

// Every number is in the unit its name gives. A value that is unknown (not finite), or
// that the variable's raw type cannot hold, leaves that variable as it was: a peer that
// sends garbage never puts garbage in front of the program. Flags are 0 or non-zero.
struct SimPicture {
    // Position, attitude and speed
    double latitudeDeg = kUnknown;
    double longitudeDeg = kUnknown;
    double altitudeFt = kUnknown;
    double groundElevationFt = kUnknown;
    double noseUpDeg = kUnknown;
    double bankRightDeg = kUnknown;
    double headingTrueDeg = kUnknown;
    double groundSpeedKt = kUnknown;
    double trueAirspeedKt = kUnknown;
    double indicatedAirspeedKt = kUnknown;
    double verticalSpeedFpm = kUnknown;
    double onGround = kUnknown;
    // The vertical speed at the last contact of the wheels, while they are on the ground;
    // the vertical speed itself while airborne.
    double touchdownVerticalSpeedFpm = kUnknown;
    double gForce = kUnknown;  // along the aircraft's vertical axis, 1 in level flight
    // Atmosphere and radio
    double altimeterMb = kUnknown;
    double seaLevelPressureMb = kUnknown;
    double windSpeedKt = kUnknown;
    double windFromDeg = kUnknown;
    double totalAirTempC = kUnknown;
    std::optional<std::uint16_t> com1Bcd;
    // Aircraft systems and weight
    double parkingBrake = kUnknown;         // 0 released .. 1 set
    double gearLever = kUnknown;            // 0 up .. 1 down
    double flapsLever = kUnknown;           // 0 up .. 1 full
    double flapDetentIncrement = kUnknown;  // lever units (of 16383) per detent
    std::array<double, kN1Engines> n1Pct{kUnknown, kUnknown};
    std::array<double, kEngineCount> fuelFlowPph{kUnknown, kUnknown, kUnknown, kUnknown};
    double grossWeightLb = kUnknown;
    double fuelDensityLbPerGal = kUnknown;
    std::array<double, kTankCount> tankLevel{};        // 0 empty .. 1 full
    std::array<double, kTankCount> tankCapacityGal{};  // US gallons
    // Clock: UTC and the local time's offset from it
    std::optional<std::int64_t> utcSec;
    std::optional<int> localOffsetMin;
    // Simulator control
    double pauseControl = kUnknown;  // held paused by command
    double paused = kUnknown;        // paused for any reason
    double slew = kUnknown;
    double simulationRate = kUnknown;  // 1 = real time
    double crashDetection = kUnknown;
    double crashed = kUnknown;

    SimPicture() {
        tankLevel.fill(kUnknown);
        tankCapacityGal.fill(kUnknown);
    }
};

// Writes every known value of the picture into its variables.
void publishPicture(const SimPicture& picture, OffsetMemory& memory);

// A tank's capacity variable holds whole gallons. A tank is served at its capacity
// rounded up, and its level as the share of that: the fuel on board the program works
// out (level times capacity) is then the simulator's own, not up to half a gallon a tank
// more or less. A full tank of 21.5 gallons reads 22 gallons at 97.7 %.
double servedTankCapacityGal(double capacityGal);
// The gallons a level the program wrote (raw, of the served capacity) puts into a tank of
// that capacity: never more than the tank holds.
double gallonsFromServedLevel(std::uint32_t levelRaw, double capacityGal);

// COM1 in the variable's four BCD digits from a frequency in MHz (118.000 .. 136.990).
std::optional<std::uint16_t> com1Bcd(double megahertz);

// The 64-bit values whose high halves the program reads as Latitude, Longitude and
// Altitude; servers keep the full values where the simulator interface has them.
inline constexpr SimVariable kLatitude64{0x0560, 8};
inline constexpr SimVariable kLongitude64{0x0568, 8};
inline constexpr SimVariable kAltitude64{0x0570, 8};
inline constexpr SimVariable kZuluSecond{0x023A, 1};

}  // namespace aviolog::wire
