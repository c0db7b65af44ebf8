#pragma once

// The simulator interface's variables as the wire carries them: each one's offset and
// size in the simulator's memory, the order of the fuel tanks, the values that mean
// "set" or "full", and the units of the raw values. The program's link, the simulator
// stand-in and the bridges all use this one table.

#include <array>
#include <cstdint>
#include <string_view>

namespace aviolog::wire {

struct SimVariable {
    std::uint16_t offset;
    std::uint16_t size;
};

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
inline constexpr SimVariable Bank{0x057C, 4};
inline constexpr SimVariable Heading{0x0580, 4};
inline constexpr SimVariable GroundSpeed{0x02B4, 4};
inline constexpr SimVariable TrueAirspeed{0x02B8, 4};
inline constexpr SimVariable IndicatedAirspeed{0x02BC, 4};
inline constexpr SimVariable VerticalSpeed{0x02C8, 4};
inline constexpr SimVariable OnGround{0x0366, 2};
// A copy of VerticalSpeed that stops following it while OnGround is set: the rate at the
// wheels' contact, in the same units.
inline constexpr SimVariable TouchdownVerticalSpeed{0x030C, 4};
inline constexpr SimVariable GForce{0x11BA, 2};
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

// The units of raw values, with the program's exact constants.
namespace scale {
inline constexpr double kFeetPerMetre = 3.28084;
inline constexpr double kLatitudeDegPerUnit = 8.998425275576774e-6;
inline constexpr double kLongitudeDegPerUnit = 8.381903171539307e-8;  // 360 / 2^32
inline constexpr double kAngleDegPerUnit = 360.0 / 4294967296.0;
inline constexpr double kKnotsPerGroundSpeedUnit = 0.00002966156005859375;
inline constexpr double kNmPerMinutePerGroundSpeedUnit = 4.943593343098959e-7;
inline constexpr double kKnotsPerTasUnit = 0.0078125;
inline constexpr double kFpmPerVerticalSpeedUnit = 0.768946875;
inline constexpr double kGPerUnit = 1.0 / 625.0;
inline constexpr double kMillibarsPerUnit = 0.0625;
inline constexpr double kWindDegPerUnit = 0.0054931640625;  // 360 / 65536
inline constexpr double kCelsiusPerUnit = 0.00390625;
inline constexpr double kN1PercentPerUnit = 0.006103515625;
inline constexpr double kFuelKgFactor = 0.0017718714137322585;  // 0.45359908191545817 / 256

}  // namespace scale

}  // namespace aviolog::wire
