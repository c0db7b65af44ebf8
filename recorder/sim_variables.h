#pragma once

// The simulator variables: every value the program takes from the simulator or puts
// into it, with its offset, its size and the exact conversion of its raw value.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace aviolog::recorder {

class SimLink;

struct SimVariable {
    std::uint16_t offset;
    std::uint16_t size;
};

bool queueRead(SimLink& link, SimVariable v, void* destination);

namespace var {
// Time and date
inline constexpr SimVariable LocalHour{0x0238, 1};
inline constexpr SimVariable LocalMinute{0x0239, 1};
inline constexpr SimVariable ZuluHour{0x023B, 1};
inline constexpr SimVariable ZuluMinute{0x023C, 1};
inline constexpr SimVariable ZuluDayOfYear{0x023E, 2};
inline constexpr SimVariable ZuluYear{0x0240, 2};
inline constexpr SimVariable LocalTimeOffset{0x0246, 2};
// Position, attitude and speed
inline constexpr SimVariable GroundAltitude{0x0020, 4};
inline constexpr SimVariable Altitude{0x0574, 4};
inline constexpr SimVariable Latitude{0x0564, 4};
inline constexpr SimVariable Longitude{0x056C, 4};
inline constexpr SimVariable Pitch{0x0578, 4};
inline constexpr SimVariable Heading{0x0580, 4};
inline constexpr SimVariable GroundSpeed{0x02B4, 4};
inline constexpr SimVariable TrueAirspeed{0x02B8, 4};
inline constexpr SimVariable IndicatedAirspeed{0x02BC, 4};
inline constexpr SimVariable VerticalSpeed{0x02C8, 4};
inline constexpr SimVariable OnGround{0x0366, 2};
// Atmosphere and radio
inline constexpr SimVariable AltimeterSetting{0x0330, 2};
inline constexpr SimVariable SeaLevelPressure{0x0EC6, 2};
inline constexpr SimVariable WindSpeed{0x0E90, 2};
inline constexpr SimVariable WindDirection{0x0E92, 2};
inline constexpr SimVariable TotalAirTemperature{0x11D0, 2};
inline constexpr SimVariable Com1Frequency{0x034E, 2};
// Aircraft systems and weight
inline constexpr SimVariable ParkingBrake{0x0BC8, 2};
inline constexpr SimVariable GearControl{0x0BE8, 4};
inline constexpr SimVariable FlapsControl{0x0BDC, 4};
inline constexpr SimVariable FlapsDetentIncrement{0x3BFA, 2};
inline constexpr SimVariable Engine1N1{0x0898, 2};
inline constexpr SimVariable Engine2N1{0x0930, 2};
inline constexpr SimVariable Engine1FuelFlow{0x0918, 8};
inline constexpr SimVariable Engine2FuelFlow{0x09B0, 8};
inline constexpr SimVariable Engine3FuelFlow{0x0A48, 8};
inline constexpr SimVariable Engine4FuelFlow{0x0AE0, 8};
inline constexpr SimVariable GrossWeight{0x30C0, 8};
inline constexpr SimVariable FuelWeightPerGallon{0x0AF4, 2};
// Simulator control
inline constexpr SimVariable PauseControl{0x0262, 2};
inline constexpr SimVariable PauseIndicator{0x0264, 2};
inline constexpr SimVariable SlewMode{0x05DC, 2};
inline constexpr SimVariable SimulationRate{0x0C1A, 2};
inline constexpr SimVariable CrashDetection{0x0830, 2};
inline constexpr SimVariable Crashed{0x0840, 2};
inline constexpr SimVariable SimMessageText{0x3380, 128};
inline constexpr SimVariable SimMessageControl{0x32FA, 2};
// Link handshake
inline constexpr SimVariable FsuipcVersion{0x3304, 4};
inline constexpr SimVariable SimulatorVersion{0x3308, 4};
inline constexpr SimVariable LibraryVersion{0x330A, 2};

// Entry n of the simulator interface's hot-key table.
constexpr SimVariable HotKeyEntry(int n) {
    return {static_cast<std::uint16_t>(0x3210 + 4 * n), 4};
}
}  // namespace var

inline constexpr int kEngineCount = 4;
inline constexpr std::array<SimVariable, kEngineCount> kEngineFuelFlows{
    var::Engine1FuelFlow, var::Engine2FuelFlow, var::Engine3FuelFlow, var::Engine4FuelFlow};

struct FuelTank {
    std::string_view name;
    SimVariable level;     // fraction of capacity x 2^23
    SimVariable capacity;  // US gallons
};

inline constexpr int kTankCount = 11;
// The order in which the program always walks the tanks.
inline constexpr std::array<FuelTank, kTankCount> kFuelTanks{{
    {"centre", {0x0B74, 4}, {0x0B78, 4}},
    {"centre 2", {0x1244, 4}, {0x1248, 4}},
    {"centre 3", {0x124C, 4}, {0x1250, 4}},
    {"external 1", {0x1254, 4}, {0x1258, 4}},
    {"external 2", {0x125C, 4}, {0x1260, 4}},
    {"left main", {0x0B7C, 4}, {0x0B80, 4}},
    {"left aux", {0x0B84, 4}, {0x0B88, 4}},
    {"left tip", {0x0B8C, 4}, {0x0B90, 4}},
    {"right main", {0x0B94, 4}, {0x0B98, 4}},
    {"right aux", {0x0B9C, 4}, {0x0BA0, 4}},
    {"right tip", {0x0BA4, 4}, {0x0BA8, 4}},
}};

inline constexpr std::uint32_t kTankFull = 8388608;  // 2^23
inline constexpr int kSimMessageBytes = 128;
inline constexpr std::int16_t kParkingBrakeSet = 32767;
inline constexpr std::int32_t kGearDown = 16383;
inline constexpr std::int32_t kFlapsFull = 16383;
inline constexpr std::uint16_t kRateOneX = 256;

// Conversions of raw values, with the program's exact constants. Callers truncate
// toward zero when they need whole numbers.
namespace convert {
inline constexpr double kFeetPerMetre = 3.28084;
inline constexpr double kLatitudeDegPerUnit = 8.998425275576774e-6;
inline constexpr double kLongitudeDegPerUnit = 8.381903171539307e-8;  // 360 / 2^32
inline constexpr double kAngleDegPerUnit = 360.0 / 4294967296.0;
inline constexpr double kKnotsPerGroundSpeedUnit = 0.00002966156005859375;
inline constexpr double kNmPerMinutePerGroundSpeedUnit = 4.943593343098959e-7;
inline constexpr double kKnotsPerTasUnit = 0.0078125;
inline constexpr double kFpmPerVerticalSpeedUnit = 0.768946875;
inline constexpr double kMillibarsPerUnit = 0.0625;
inline constexpr double kWindDegPerUnit = 0.0054931640625;  // 360 / 65536
inline constexpr double kCelsiusPerUnit = 0.00390625;
inline constexpr double kN1PercentPerUnit = 0.006103515625;
inline constexpr double kFuelKgFactor = 0.0017718714137322585;  // 0.45359908191545817 / 256

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
// Whole metres; the division truncates toward zero.
inline int heightAboveGroundM(std::int32_t altitudeM, std::int32_t groundAltitudeRaw) {
    return altitudeM - groundAltitudeRaw / 256;
}
// Detent number of the flap lever; none when the aircraft reports no detent increment.
inline std::optional<int> flapDetent(std::int32_t flapsControl, std::uint16_t increment) {
    if (increment == 0) return std::nullopt;
    return (flapsControl + 1) / increment;
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

// Height above ground in whole metres, from Altitude and GroundAltitude.
std::optional<int> readHeightAboveGroundM(SimLink& link);

// Total fuel on board in kilograms over the 11 tanks; -1 when any read fails.
double readFuelOnBoardKg(SimLink& link);

// How long the simulator shows a message, in seconds (its display-time control).
inline constexpr std::int16_t kSimMessageSeconds = 8;

// Shows a message in the simulator window: the text padded into its field, exchange,
// then the display control, exchange. False when either exchange failed.
bool showSimMessage(SimLink& link, std::string_view text);

}  // namespace aviolog::recorder
