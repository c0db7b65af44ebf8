#pragma once

// X-Plane's side of the bridge: the UDP messages of its network interface that the
// bridge speaks (RREF subscriptions and answers, DREF and CMND writes, the BECN beacon),
// the datarefs it subscribes to, and their reading into a picture.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "wire/sim_picture.h"

namespace aviolog::bridge::xp {

inline constexpr int kXpTanks = 4;

// The datarefs, by the index the bridge subscribes each under.
enum Ref : int {
    kLatitude,
    kLongitude,
    kElevation,
    kHeightAgl,
    kPitch,
    kHeading,
    kGroundSpeed,
    kTrueAirspeed,
    kIndicatedAirspeed,
    kVerticalSpeed,
    kOnGround,
    kAltimeter,
    kSeaLevelPressure,
    kWindSpeed,
    kWindFrom,
    kAirTemperature,
    kCom1,
    kParkingBrake,
    kGearHandle,
    kFlapHandle,
    kFlapDetents,
    kN1First,
    kN1Last = kN1First + 1,
    kFuelFlowFirst,
    kFuelFlowLast = kFuelFlowFirst + 3,
    kTotalMass,
    kFuelCapacity,
    kTankMassFirst,
    kTankMassLast = kTankMassFirst + kXpTanks - 1,
    kTankRatioFirst,
    kTankRatioLast = kTankRatioFirst + kXpTanks - 1,
    kZuluTime,
    kLocalTime,
    kLocalDay,
    kPaused,
    kSimSpeed,
    kCrashed,
    // X-Plane 12's replacements of six of the above, read when the version says 12; the
    // ones above remain for X-Plane 11.
    kVersion,
    kQnh12,
    kWindSpeed12,
    kWindFrom12,
    kAirTemperature12,
    kParkingBrake12,
    kFlapHandle12,
    kCom1Khz,          // 8.33 kHz channels; X-Plane 11 has it too
    kGroundSpeedRate,  // the ground covered per simulated second, as a multiple
    // The landing: the flight model's own vertical speed (the indicator's lags), the
    // gear's normal force that tells the contact, the load factor and the bank.
    kLocalVy,
    kGearNormalForce,
    kGNormal,
    kRoll,
    kRefCount
};

// sim/version/xplane_internal_version from this one on is X-Plane 12.
inline constexpr double kFirstVersion12 = 120000;

extern const std::array<std::string_view, kRefCount> kDatarefs;

inline constexpr int kDefaultPort = 49000;
inline constexpr int kBeaconPort = 49707;
inline constexpr std::string_view kBeaconGroup = "239.255.1.1";
inline constexpr std::size_t kRrefRequestBytes = 413;
inline constexpr std::size_t kDrefBytes = 509;

// "RREF\0", rate per second (0 ends the subscription), index, dataref in 400 bytes.
std::string rrefRequest(int ratePerSec, int index, std::string_view dataref);
// "DREF\0", the value as a float, dataref in 500 bytes.
std::string drefPacket(float value, std::string_view dataref);
// "CMND\0" and the command.
std::string commandPacket(std::string_view command);

struct RrefValue {
    int index;
    float value;
};
// The (index, value) pairs of an RREF answer; nothing for any other datagram.
std::optional<std::vector<RrefValue>> parseRref(std::string_view datagram);

struct Beacon {
    int majorVersion = 0;
    int minorVersion = 0;
    int hostId = 0;          // 1 X-Plane, 2 Plane Maker
    int version = 0;         // e.g. 120100 for 12.1.0
    std::uint32_t role = 0;  // 1 master, 2 external visual, 3 IOS
    int port = 0;            // where X-Plane takes RREF, DREF and CMND
    std::string computerName;
};
std::optional<Beacon> parseBeacon(std::string_view datagram);
std::string beaconPacket(const Beacon& beacon);

struct Options {
    std::array<int, kXpTanks> tankMap{5, 8, 0, 1};  // left main, right main, centre, centre 2
    // X-Plane counts fuel by mass; the variables count gallons: capacities are given at
    // this density, and the fuel on board in kilograms comes out the same whatever it is.
    double fuelDensityLbPerGal = 6.7;
    int year = 2024;  // X-Plane 11 has no year; the bridge takes the computer's
};

// Values by dataref index, NaN until X-Plane sent one.
using Values = std::array<double, kRefCount>;
Values unknownValues();
wire::SimPicture toPicture(const Values& values, const Options& options);

// Capacity in kilograms of X-Plane tank xpTank, when known.
std::optional<double> tankCapacityKg(const Values& values, int xpTank);

}  // namespace aviolog::bridge::xp
