#pragma once

// FlightGear's side of the bridge: the generic-protocol definition that FlightGear sends
// its state by (one ASCII line a packet, fields in the order of kFlightGearChunks), its
// reading into a picture, and the property-interface lines that carry the writes.

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "wire/sim_picture.h"

namespace aviolog::bridge::fg {

// One field of the generic protocol: the chunk of the XML file.
struct Chunk {
    std::string_view name;
    std::string_view node;
    std::string_view type;    // int, bool, float, double or string
    std::string_view format;  // printf format FlightGear writes the value with
};

inline constexpr int kFgTanks = 4;

// The fields, in the order FlightGear sends them.
enum Field : int {
    kLatitude,
    kLongitude,
    kAltitude,
    kGroundElevation,
    kPitch,
    kHeading,
    kGroundSpeed,
    kTrueAirspeed,
    kIndicatedAirspeed,
    kVerticalSpeed,
    kWow0,
    kWow1,
    kWow2,
    kAltimeter,
    kSeaLevelPressure,
    kWindSpeed,
    kWindFrom,
    kAirTemperature,
    kCom1,
    kParkingBrake,
    kGearDown,
    kGearPositionFirst,
    kGearPositionLast = kGearPositionFirst + 2,
    kFlaps,
    kN1First,
    kN1Last = kN1First + 1,
    kFuelFlowFirst,
    kFuelFlowLast = kFuelFlowFirst + 3,
    kWeightJsbsim,
    kWeightYasim,
    kTankLevelFirst,
    kTankLevelLast = kTankLevelFirst + kFgTanks - 1,
    kTankCapacityFirst,
    kTankCapacityLast = kTankCapacityFirst + kFgTanks - 1,
    kFuelDensity,
    kYear,
    kMonth,
    kDay,
    kHour,
    kMinute,
    kSecond,
    kLocalOffset,
    kFrozen,
    kSpeedUp,
    kCrashed,
    kJsbsimCrash,
    kFdmInitialized,
    kSceneryLoaded,
    kPilotG,
    kRoll,
    kFlightModel,
    kFieldCount
};

extern const std::array<Chunk, kFieldCount> kChunks;

// The protocol's name: FlightGear is started with --generic=socket,out,HZ,HOST,PORT,udp,NAME
// and reads NAME.xml from its Protocol folder.
inline constexpr std::string_view kProtocolName = "aviolog";
inline constexpr std::size_t kMaxLineBytes = 4096;

// The XML file FlightGear reads, generated from kChunks; the shipped file is this text.
std::string protocolXml();

// One packet's fields; a field that does not read as a number is unknown (NaN).
struct Sample {
    std::array<double, kFieldCount> values{};
    std::string flightModel;
};

// Nothing for a packet with the wrong number of fields or of absurd length: a packet
// from another protocol, or a truncated one, is never taken field by field.
std::optional<Sample> parsePacket(std::string_view packet);

struct Options {
    // The program's tank (index in wire::kFuelTanks) of each FlightGear tank 0..3.
    std::array<int, kFgTanks> tankMap{5, 8, 0, 1};  // left main, right main, centre, centre 2
    std::optional<int> flapDetents;                 // lever positions besides "up", when known
};

wire::SimPicture toPicture(const Sample& sample, const Options& options);

// Whether FlightGear has finished loading: its flight model initialised and the scenery
// around the aircraft in place. Before that (at its start, and again after a reset or a
// restart) it sends an aircraft without fuel, speed or a gear that means anything.
bool loaded(const Sample& sample);

// The program's tank names ("left-main", "centre-2", ...) as a FlightGear tank map.
std::optional<std::array<int, kFgTanks>> parseTankMap(std::string_view list);

// ---- Writes through the property interface ----

// Lines for FlightGear's property interface (--telnet or --props), each ending in CR LF.
std::string setLine(std::string_view property, std::string_view value);
// A property value the interface takes as one line: control characters become blanks.
std::string propertyText(std::string_view text);

inline constexpr std::string_view kMessageProperty = "/sim/screen/yellow";

}  // namespace aviolog::bridge::fg
