#pragma once

// The simulator variables: every value the program takes from the simulator or puts
// into it, with its offset, its size and the exact conversion of its raw value.

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "wire/sim_offsets.h"

namespace aviolog::simlink {

using wire::SimVariable;
namespace var = wire::var;

class SimLink;

bool queueRead(SimLink& link, SimVariable v, void* destination);

// Conversions of raw values, with the program's exact constants. Callers truncate
// toward zero when they need whole numbers.
namespace convert {
using namespace wire::scale;

inline double altitudeFeet(std::int32_t metres) {
    return metres * kFeetPerMetre;
}
inline double latitudeDegrees(std::int32_t raw) {
    return raw * kLatitudeDegPerUnit;
}
// East positive; the raw value is taken as unsigned, so results above 180 wrap to west.
inline double longitudeDegrees(std::uint32_t raw) {
    const double deg = raw * kLongitudeDegPerUnit;
    return deg > 180.0 ? deg - 360.0 : deg;
}
// Negative is nose up.
inline double pitchDegrees(std::int32_t raw) {
    return raw * kAngleDegPerUnit;
}
inline double headingDegrees(std::int32_t raw) {
    const double deg = raw * kAngleDegPerUnit;
    return deg < 0.0 ? deg + 360.0 : deg;
}
inline double groundSpeedKnots(std::uint32_t raw) {
    return raw * kKnotsPerGroundSpeedUnit;
}
inline double nmFlownPerMinute(std::uint32_t raw) {
    return raw * kNmPerMinutePerGroundSpeedUnit;
}
inline double trueAirspeedKnots(std::uint32_t raw) {
    return raw * kKnotsPerTasUnit;
}
inline std::uint32_t indicatedAirspeedKnots(std::uint32_t raw) {
    return raw >> 7;
}
inline double verticalSpeedFpm(std::int32_t raw) {
    return raw * kFpmPerVerticalSpeedUnit;
}
inline double millibars(std::uint16_t raw) {
    return raw * kMillibarsPerUnit;
}
inline double windDirectionDegrees(std::uint16_t raw) {
    return raw * kWindDegPerUnit;
}
inline double totalAirTemperatureC(std::int16_t raw) {
    return raw * kCelsiusPerUnit;
}
inline double n1Percent(std::uint16_t raw) {
    return raw * kN1PercentPerUnit;
}
// Whole metres; the division truncates toward zero. The two raw values at their extremes
// differ by more than an int holds: such a height is held at its limits.
inline int heightAboveGroundM(std::int32_t altitudeM, std::int32_t groundAltitudeRaw) {
    const std::int64_t height = std::int64_t{altitudeM} - groundAltitudeRaw / 256;
    return static_cast<int>(std::clamp<std::int64_t>(height, INT32_MIN, INT32_MAX));
}
// Detent number of the flap lever; none when the aircraft reports no detent increment.
inline std::optional<int> flapDetent(std::int32_t flapsControl, std::uint16_t increment) {
    if (increment == 0) return std::nullopt;
    const std::int64_t detent = (std::int64_t{flapsControl} + 1) / increment;
    return static_cast<int>(std::min<std::int64_t>(detent, INT32_MAX));
}
// COM1 as "1ab.cd" from its four BCD digits.
std::string com1Text(std::uint16_t raw);
// Fuel in one tank in kilograms.
double tankFuelKg(std::uint32_t level, std::uint32_t capacityGal, std::uint16_t densityRaw);
}  // namespace convert

// Typed accessors: one variable per round trip (queue, exchange, check). An empty
// result means the exchange failed and the caller has no value this tick.
std::optional<std::uint8_t> readU8(SimLink& link, SimVariable v);
std::optional<std::uint16_t> readU16(SimLink& link, SimVariable v);
std::optional<std::int16_t> readS16(SimLink& link, SimVariable v);
std::optional<std::uint32_t> readU32(SimLink& link, SimVariable v);
std::optional<std::int32_t> readS32(SimLink& link, SimVariable v);
std::optional<double> readDouble(SimLink& link, SimVariable v);

// Several reads in one exchange, for values that are wanted together: each destination
// holds the simulator's value once process() returned true.
class ReadBatch {
  public:
    explicit ReadBatch(SimLink& link) : link_(link) {}
    template <typename T>
    ReadBatch& add(SimVariable v, T& destination);
    bool process();

  private:
    SimLink& link_;
    bool queued_ = true;
};

// Queue-and-exchange writes of one variable; false when the exchange failed.
bool writeU8(SimLink& link, SimVariable v, std::uint8_t value);
bool writeU16(SimLink& link, SimVariable v, std::uint16_t value);
bool writeU32(SimLink& link, SimVariable v, std::uint32_t value);

template <typename T>
ReadBatch& ReadBatch::add(SimVariable v, T& destination) {
    queued_ = queued_ && v.size == sizeof(T) && queueRead(link_, v, &destination);
    return *this;
}

// Height above ground in whole metres, from Altitude and GroundAltitude; heights beyond
// what an int holds are held at its limits.
std::optional<int> readHeightAboveGroundM(SimLink& link);

// The largest weight or fuel flow, in pounds or kilograms (per hour), that a reading may
// have: every figure made from one then fits an int. A NaN, an infinity or anything
// larger comes from a broken peer and counts as a failed read.
inline constexpr double kLargestMass = 1e9;
bool isPlausibleMass(double value);
// GrossWeight in pounds; nothing when the exchange failed or the value is not plausible.
std::optional<double> readGrossWeightLbs(SimLink& link);
// One engine's fuel flow in pounds per hour, checked the same way.
std::optional<double> readFuelFlowPph(SimLink& link, SimVariable engine);

// Total fuel on board in kilograms over the 11 tanks; -1 when any read fails or the
// total is not plausible.
double readFuelOnBoardKg(SimLink& link);
// The same, but nothing when the exchange failed: -1 then stands for an implausible total
// alone.
std::optional<double> tryReadFuelOnBoardKg(SimLink& link);

// How long the simulator shows a message, in seconds (its display-time control).
inline constexpr std::int16_t kSimMessageSeconds = 8;

// Shows a message in the simulator window: the text padded into its field, exchange,
// then the display control, exchange. False when either exchange failed.
bool showSimMessage(SimLink& link, std::string_view text);

}  // namespace aviolog::simlink
