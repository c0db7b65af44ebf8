#include "bridge/xplane_protocol.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "common/civil_time.h"
#include "common/text_format.h"

namespace aviolog::bridge::xp {

namespace {

constexpr double kKnotsPerMetrePerSecond = 1.9438444924;
constexpr double kFeetPerMetre = 3.28083989501;
constexpr double kMbPerInHg = 33.8638866667;
constexpr double kPoundsPerKgExact = 2.20462262185;
constexpr double kPascalsPerMb = 100.0;
constexpr double kSecondsPerHour = 3600.0;
constexpr double kAirSpecificHeat = 1005.0;

std::int32_t load32(const char* p) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = v << 8 | static_cast<unsigned char>(p[i]);
    return static_cast<std::int32_t>(v);
}

void append32(std::string& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>(v >> (8 * i)));
}

// A name in a zero-padded field of fixed size, always terminated.
void appendField(std::string& out, std::string_view text, std::size_t size) {
    const std::size_t n = std::min(text.size(), size - 1);
    out.append(text.substr(0, n));
    out.append(size - n, '\0');
}

}  // namespace

const std::array<std::string_view, kRefCount> kDatarefs{{
    "sim/flightmodel/position/latitude",
    "sim/flightmodel/position/longitude",
    "sim/flightmodel/position/elevation",
    "sim/flightmodel/position/y_agl",
    "sim/flightmodel/position/theta",
    "sim/flightmodel/position/psi",
    "sim/flightmodel/position/groundspeed",
    "sim/flightmodel/position/true_airspeed",
    "sim/flightmodel/position/indicated_airspeed",
    "sim/flightmodel/position/vh_ind_fpm",
    "sim/flightmodel/failures/onground_any",
    "sim/cockpit/misc/barometer_setting",
    "sim/weather/barometer_sealevel_inhg",
    "sim/weather/wind_speed_kt",
    "sim/weather/wind_direction_degt",
    "sim/weather/temperature_ambient_c",
    "sim/cockpit/radios/com1_freq_hz",
    "sim/cockpit2/controls/parking_brake_ratio",
    "sim/cockpit2/controls/gear_handle_down",
    "sim/cockpit2/controls/flap_ratio",
    "sim/aircraft/controls/acf_flap_detents",
    "sim/flightmodel/engine/ENGN_N1_[0]",
    "sim/flightmodel/engine/ENGN_N1_[1]",
    "sim/cockpit2/engine/indicators/fuel_flow_kg_sec[0]",
    "sim/cockpit2/engine/indicators/fuel_flow_kg_sec[1]",
    "sim/cockpit2/engine/indicators/fuel_flow_kg_sec[2]",
    "sim/cockpit2/engine/indicators/fuel_flow_kg_sec[3]",
    "sim/flightmodel/weight/m_total",
    "sim/aircraft/weight/acf_m_fuel_tot",
    "sim/flightmodel/weight/m_fuel[0]",
    "sim/flightmodel/weight/m_fuel[1]",
    "sim/flightmodel/weight/m_fuel[2]",
    "sim/flightmodel/weight/m_fuel[3]",
    "sim/aircraft/overflow/acf_tank_rat[0]",
    "sim/aircraft/overflow/acf_tank_rat[1]",
    "sim/aircraft/overflow/acf_tank_rat[2]",
    "sim/aircraft/overflow/acf_tank_rat[3]",
    "sim/time/zulu_time_sec",
    "sim/time/local_time_sec",
    "sim/time/local_date_days",
    "sim/time/paused",
    "sim/time/sim_speed",
    "sim/flightmodel2/misc/has_crashed",
    "sim/version/xplane_internal_version",
    "sim/weather/aircraft/qnh_pas",
    "sim/weather/aircraft/wind_now_speed_msc",
    "sim/weather/aircraft/wind_now_direction_degt",
    "sim/weather/aircraft/temperature_ambient_deg_c",
    "sim/flightmodel/controls/parkbrake",
    "sim/cockpit2/controls/flap_handle_request_ratio",
    "sim/cockpit2/radios/actuators/com1_frequency_hz_833",
    "sim/time/ground_speed",
    "sim/flightmodel/position/local_vy",
    "sim/flightmodel/forces/fnrml_gear",
    "sim/flightmodel/forces/g_nrml",
    "sim/flightmodel/position/phi",
}};

std::string rrefRequest(int ratePerSec, int index, std::string_view dataref) {
    std::string out("RREF", 5);
    append32(out, static_cast<std::uint32_t>(ratePerSec));
    append32(out, static_cast<std::uint32_t>(index));
    appendField(out, dataref, 400);
    return out;
}

std::string drefPacket(float value, std::string_view dataref) {
    std::string out("DREF", 5);
    std::uint32_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    append32(out, bits);
    appendField(out, dataref, 500);
    return out;
}

std::string commandPacket(std::string_view command) {
    std::string out("CMND", 5);
    out.append(command);
    out.push_back('\0');
    return out;
}

std::optional<std::vector<RrefValue>> parseRref(std::string_view d) {
    constexpr std::size_t kHeader = 5;
    constexpr std::size_t kPair = 8;
    if (d.size() < kHeader || d.substr(0, 4) != "RREF" || (d.size() - kHeader) % kPair != 0) {
        return std::nullopt;
    }
    std::vector<RrefValue> values;
    for (std::size_t at = kHeader; at < d.size(); at += kPair) {
        RrefValue v{load32(d.data() + at), 0.0f};
        const std::uint32_t bits = static_cast<std::uint32_t>(load32(d.data() + at + 4));
        std::memcpy(&v.value, &bits, sizeof bits);
        values.push_back(v);
    }
    return values;
}

std::optional<Beacon> parseBeacon(std::string_view d) {
    constexpr std::size_t kFixed = 5 + 1 + 1 + 4 + 4 + 4 + 2;
    if (d.size() < kFixed || d.substr(0, 5) != std::string_view("BECN", 5)) return std::nullopt;
    Beacon b;
    b.majorVersion = static_cast<unsigned char>(d[5]);
    b.minorVersion = static_cast<unsigned char>(d[6]);
    b.hostId = load32(d.data() + 7);
    b.version = load32(d.data() + 11);
    b.role = static_cast<std::uint32_t>(load32(d.data() + 15));
    b.port = static_cast<unsigned char>(d[19]) | static_cast<unsigned char>(d[20]) << 8;
    const std::string_view rest = d.substr(kFixed);
    b.computerName = std::string(rest.substr(0, std::min(rest.find('\0'), std::size_t{500})));
    if (b.majorVersion != 1 || b.port == 0) return std::nullopt;
    return b;
}

std::string beaconPacket(const Beacon& b) {
    std::string out("BECN", 5);
    out.push_back(static_cast<char>(b.majorVersion));
    out.push_back(static_cast<char>(b.minorVersion));
    append32(out, static_cast<std::uint32_t>(b.hostId));
    append32(out, static_cast<std::uint32_t>(b.version));
    append32(out, b.role);
    out.push_back(static_cast<char>(b.port & 0xFF));
    out.push_back(static_cast<char>(b.port >> 8));
    out.append(b.computerName);
    out.push_back('\0');
    return out;
}

Values unknownValues() {
    Values v;
    v.fill(wire::kUnknown);
    return v;
}

std::optional<double> tankCapacityKg(const Values& v, int xpTank) {
    // The aircraft's total fuel capacity is in pounds, unlike every other mass.
    const double capacity = v[kFuelCapacity] / kPoundsPerKgExact * v[kTankRatioFirst + xpTank];
    if (!std::isfinite(capacity) || capacity < 0.0) return std::nullopt;
    return capacity;
}

namespace {

double flag(double v) {
    return std::isfinite(v) ? (v != 0.0 ? 1.0 : 0.0) : wire::kUnknown;
}

bool isXPlane12(const Values& v) {
    return std::isfinite(v[kVersion]) && v[kVersion] >= kFirstVersion12;
}

// X-Plane 12's dataref, or X-Plane 11's where 12 has not said it is there.
double current(const Values& v, Ref replacement, Ref old) {
    return isXPlane12(v) && std::isfinite(v[replacement]) ? v[replacement] : v[old];
}

double seaLevelPressureMb(const Values& v) {
    if (isXPlane12(v) && std::isfinite(v[kQnh12]) && v[kQnh12] > 0.0) {
        return v[kQnh12] / kPascalsPerMb;
    }
    return v[kSeaLevelPressure] * kMbPerInHg;
}

// The 8.33 kHz dataref in kilohertz where it holds a channel, else the 10 kHz one.
double com1Mhz(const Values& v) {
    const double khz = v[kCom1Khz];
    if (std::isfinite(khz) && khz >= 118000.0 && khz < 137000.0) return khz / 1000.0;
    return v[kCom1] / 100.0;
}

// Time acceleration and X-Plane's faster ground travel both make the flight shorter
// than the clock says.
double simulationRate(const Values& v) {
    const double groundRate = v[kGroundSpeedRate];
    return v[kSimSpeed] * (std::isfinite(groundRate) && groundRate > 1.0 ? groundRate : 1.0);
}

// X-Plane gives the local date and both times of day; the UTC date follows from them.
void clockInto(const Values& v, const Options& options, wire::SimPicture& p) {
    const double zulu = v[kZuluTime];
    const double local = v[kLocalTime];
    const double day = v[kLocalDay];
    if (!std::isfinite(zulu) || !std::isfinite(local) || !std::isfinite(day) || zulu < 0 ||
        zulu >= 86400 || local < 0 || local >= 86400 || day < 0 || day > 366) {
        return;
    }
    const double offsetSec = std::fmod(local - zulu + 86400.0 * 1.5, 86400.0) - 43200.0;
    const int offsetMin = static_cast<int>(std::lround(offsetSec / 60.0));
    const std::int64_t localSinceNewYear =
        static_cast<std::int64_t>(day) * 86400 + static_cast<std::int64_t>(local);
    p.utcSec = daysFromCivil(options.year, 1, 1) * 86400 + localSinceNewYear -
               std::int64_t{offsetMin} * 60;
    p.localOffsetMin = offsetMin;
}

}  // namespace

wire::SimPicture toPicture(const Values& v, const Options& options) {
    wire::SimPicture p;
    p.latitudeDeg = v[kLatitude];
    p.longitudeDeg = v[kLongitude];
    p.altitudeFt = v[kElevation] * kFeetPerMetre;
    p.groundElevationFt = (v[kElevation] - v[kHeightAgl]) * kFeetPerMetre;
    p.noseUpDeg = v[kPitch];
    p.headingTrueDeg = v[kHeading];
    p.groundSpeedKt = v[kGroundSpeed] * kKnotsPerMetrePerSecond;
    p.trueAirspeedKt = v[kTrueAirspeed] * kKnotsPerMetrePerSecond;
    p.indicatedAirspeedKt = std::max(v[kIndicatedAirspeed], 0.0);
    p.verticalSpeedFpm = v[kVerticalSpeed];
    p.gForce = v[kGNormal];
    p.bankRightDeg = v[kRoll];
    p.onGround = flag(v[kOnGround]);

    p.altimeterMb = v[kAltimeter] * kMbPerInHg;
    p.seaLevelPressureMb = seaLevelPressureMb(v);
    // Metres per second in both versions, whatever X-Plane 11's name says.
    p.windSpeedKt = current(v, kWindSpeed12, kWindSpeed) * kKnotsPerMetrePerSecond;
    p.windFromDeg = current(v, kWindFrom12, kWindFrom);
    const double tas = v[kTrueAirspeed];  // m/s
    p.totalAirTempC = current(v, kAirTemperature12, kAirTemperature) +
                      (std::isfinite(tas) ? tas * tas / (2.0 * kAirSpecificHeat) : wire::kUnknown);
    p.com1Bcd = wire::com1Bcd(com1Mhz(v));

    p.parkingBrake = current(v, kParkingBrake12, kParkingBrake);
    p.gearLever = flag(v[kGearHandle]);
    p.flapsLever = current(v, kFlapHandle12, kFlapHandle);
    if (std::isfinite(v[kFlapDetents]) && v[kFlapDetents] >= 1.0) {
        p.flapDetentIncrement = std::floor(wire::kFlapsFull / std::round(v[kFlapDetents]));
    }
    p.n1Pct = {v[kN1First], v[kN1Last]};
    for (int e = 0; e < wire::kEngineCount; ++e) {
        p.fuelFlowPph[e] = v[kFuelFlowFirst + e] * kSecondsPerHour * kPoundsPerKgExact;
    }
    p.grossWeightLb = v[kTotalMass] * kPoundsPerKgExact;
    const double density = options.fuelDensityLbPerGal;
    p.fuelDensityLbPerGal = density;
    for (int t = 0; t < wire::kTankCount; ++t) {
        p.tankLevel[t] = 0.0;
        p.tankCapacityGal[t] = 0.0;
    }
    for (int xpTank = 0; xpTank < kXpTanks; ++xpTank) {
        const int t = options.tankMap[xpTank];
        if (t < 0 || t >= wire::kTankCount) continue;
        const auto capacityKg = tankCapacityKg(v, xpTank);
        const double massKg = v[kTankMassFirst + xpTank];
        if (!capacityKg || !std::isfinite(massKg)) {
            p.tankLevel[t] = p.tankCapacityGal[t] = wire::kUnknown;
            continue;
        }
        p.tankCapacityGal[t] = *capacityKg * kPoundsPerKgExact / density;
        p.tankLevel[t] = *capacityKg > 0.0 ? massKg / *capacityKg : 0.0;
    }
    clockInto(v, options, p);

    p.paused = flag(v[kPaused]);
    p.simulationRate = simulationRate(v);
    p.crashed = flag(v[kCrashed]);
    p.slew = 0.0;  // X-Plane has no slew mode
    return p;
}

}  // namespace aviolog::bridge::xp
