#include "bridge/flightgear_protocol.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "common/civil_time.h"
#include "common/text_format.h"

namespace aviolog::bridge::fg {

namespace {

constexpr double kFpmPerFps = 60.0;
constexpr double kMbPerInHg = 33.8638866667;
constexpr double kMetresPerSecondPerKnot = 0.514444;
constexpr double kAirSpecificHeat = 1005.0;  // J/(kg K), dry air at constant pressure
constexpr double kKelvinAtZeroC = 273.15;

constexpr Chunk chunk(std::string_view name, std::string_view node, std::string_view type,
                      std::string_view format) {
    return {name, node, type, format};
}

}  // namespace

// Each field is the property FlightGear has for the variable; docs/simulator-bridge.md gives
// the variable each one feeds.
const std::array<Chunk, kFieldCount> kChunks{{
    chunk("latitude-deg", "/position/latitude-deg", "double", "%.8f"),
    chunk("longitude-deg", "/position/longitude-deg", "double", "%.8f"),
    chunk("altitude-ft", "/position/altitude-ft", "double", "%.3f"),
    chunk("ground-elev-ft", "/position/ground-elev-ft", "double", "%.3f"),
    chunk("pitch-deg", "/orientation/pitch-deg", "float", "%.4f"),
    chunk("heading-deg", "/orientation/heading-deg", "float", "%.4f"),
    chunk("groundspeed-kt", "/velocities/groundspeed-kt", "float", "%.4f"),
    chunk("true-airspeed-kt", "/instrumentation/airspeed-indicator/true-speed-kt", "float", "%.4f"),
    chunk("indicated-airspeed-kt", "/instrumentation/airspeed-indicator/indicated-speed-kt",
          "float", "%.4f"),
    chunk("vertical-speed-fps", "/velocities/vertical-speed-fps", "float", "%.5f"),
    chunk("wow-0", "/gear/gear[0]/wow", "bool", "%d"),
    chunk("wow-1", "/gear/gear[1]/wow", "bool", "%d"),
    chunk("wow-2", "/gear/gear[2]/wow", "bool", "%d"),
    chunk("altimeter-setting-hpa", "/instrumentation/altimeter/setting-hpa", "float", "%.3f"),
    chunk("sea-level-pressure-inhg", "/environment/pressure-sea-level-inhg", "float", "%.4f"),
    chunk("wind-speed-kt", "/environment/wind-speed-kt", "float", "%.3f"),
    chunk("wind-from-deg", "/environment/wind-from-heading-deg", "float", "%.3f"),
    chunk("air-temperature-degc", "/environment/temperature-degc", "float", "%.3f"),
    chunk("com1-mhz", "/instrumentation/comm[0]/frequencies/selected-mhz", "float", "%.3f"),
    chunk("parking-brake", "/controls/gear/brake-parking", "float", "%.3f"),
    chunk("gear-down", "/controls/gear/gear-down", "bool", "%d"),
    chunk("gear-0-position", "/gear/gear[0]/position-norm", "float", "%.3f"),
    chunk("gear-1-position", "/gear/gear[1]/position-norm", "float", "%.3f"),
    chunk("gear-2-position", "/gear/gear[2]/position-norm", "float", "%.3f"),
    chunk("flaps", "/controls/flight/flaps", "float", "%.4f"),
    chunk("n1-0", "/engines/engine[0]/n1", "float", "%.3f"),
    chunk("n1-1", "/engines/engine[1]/n1", "float", "%.3f"),
    chunk("fuel-flow-gph-0", "/engines/engine[0]/fuel-flow-gph", "float", "%.4f"),
    chunk("fuel-flow-gph-1", "/engines/engine[1]/fuel-flow-gph", "float", "%.4f"),
    chunk("fuel-flow-gph-2", "/engines/engine[2]/fuel-flow-gph", "float", "%.4f"),
    chunk("fuel-flow-gph-3", "/engines/engine[3]/fuel-flow-gph", "float", "%.4f"),
    chunk("weight-lbs", "/fdm/jsbsim/inertia/weight-lbs", "float", "%.2f"),
    chunk("yasim-weight-lbs", "/yasim/gross-weight-lbs", "float", "%.2f"),
    chunk("tank-0-level-gal", "/consumables/fuel/tank[0]/level-gal_us", "float", "%.4f"),
    chunk("tank-1-level-gal", "/consumables/fuel/tank[1]/level-gal_us", "float", "%.4f"),
    chunk("tank-2-level-gal", "/consumables/fuel/tank[2]/level-gal_us", "float", "%.4f"),
    chunk("tank-3-level-gal", "/consumables/fuel/tank[3]/level-gal_us", "float", "%.4f"),
    chunk("tank-0-capacity-gal", "/consumables/fuel/tank[0]/capacity-gal_us", "float", "%.4f"),
    chunk("tank-1-capacity-gal", "/consumables/fuel/tank[1]/capacity-gal_us", "float", "%.4f"),
    chunk("tank-2-capacity-gal", "/consumables/fuel/tank[2]/capacity-gal_us", "float", "%.4f"),
    chunk("tank-3-capacity-gal", "/consumables/fuel/tank[3]/capacity-gal_us", "float", "%.4f"),
    chunk("fuel-density-ppg", "/consumables/fuel/tank[0]/density-ppg", "float", "%.4f"),
    chunk("utc-year", "/sim/time/utc/year", "int", "%d"),
    chunk("utc-month", "/sim/time/utc/month", "int", "%d"),
    chunk("utc-day", "/sim/time/utc/day", "int", "%d"),
    chunk("utc-hour", "/sim/time/utc/hour", "int", "%d"),
    chunk("utc-minute", "/sim/time/utc/minute", "int", "%d"),
    chunk("utc-second", "/sim/time/utc/second", "int", "%d"),
    chunk("local-offset-sec", "/sim/time/local-offset", "int", "%d"),
    chunk("frozen", "/sim/freeze/master", "bool", "%d"),
    chunk("speed-up", "/sim/speed-up", "float", "%.3f"),
    chunk("crashed", "/sim/crashed", "bool", "%d"),
    chunk("jsbsim-crash", "/fdm/jsbsim/crash", "bool", "%d"),
    chunk("fdm-initialized", "/sim/fdm-initialized", "bool", "%d"),
    chunk("scenery-loaded", "/sim/sceneryloaded", "bool", "%d"),
    chunk("pilot-g", "/accelerations/pilot-g", "float", "%.4f"),
    chunk("roll-deg", "/orientation/roll-deg", "float", "%.4f"),
    chunk("flight-model", "/sim/flight-model", "string", "%s"),
}};

std::string protocolXml() {
    std::string xml =
        "<?xml version=\"1.0\"?>\n"
        // XML forbids a double hyphen inside a comment: FlightGear refuses the whole
        // file over one, so the option is named without its leading hyphens.
        "<!-- The simulator state aviolog-bridge reads: one line a packet, the fields in\n"
        "     this order. FlightGear sends it when started with the option\n"
        "     generic=socket,out,20,127.0.0.1,5701,udp,aviolog -->\n"
        "<PropertyList>\n"
        " <generic>\n"
        "  <output>\n"
        "   <binary_mode>false</binary_mode>\n"
        "   <line_separator>newline</line_separator>\n"
        "   <var_separator>,</var_separator>\n";
    for (const Chunk& c : kChunks) {
        xml += format(
            "   <chunk>\n"
            "    <name>%.*s</name>\n"
            "    <type>%.*s</type>\n"
            "    <format>%.*s</format>\n"
            "    <node>%.*s</node>\n"
            "   </chunk>\n",
            static_cast<int>(c.name.size()), c.name.data(), static_cast<int>(c.type.size()),
            c.type.data(), static_cast<int>(c.format.size()), c.format.data(),
            static_cast<int>(c.node.size()), c.node.data());
    }
    xml +=
        "  </output>\n"
        " </generic>\n"
        "</PropertyList>\n";
    return xml;
}

std::optional<Sample> parsePacket(std::string_view packet) {
    if (packet.size() > kMaxLineBytes) return std::nullopt;
    while (!packet.empty() && (packet.back() == '\n' || packet.back() == '\r')) {
        packet.remove_suffix(1);
    }
    Sample sample;
    std::size_t begin = 0;
    for (int i = 0; i < kFieldCount; ++i) {
        const std::size_t comma = packet.find(',', begin);
        const bool last = i == kFieldCount - 1;
        // The last field ends the packet; any other ends at a comma.
        if (last != (comma == std::string_view::npos)) return std::nullopt;
        const std::string token(
            packet.substr(begin, last ? std::string_view::npos : comma - begin));
        if (i == kFlightModel) {
            sample.flightModel = token;
        } else {
            char* end = nullptr;
            const double v = std::strtod(token.c_str(), &end);
            const bool whole = !token.empty() && end == token.c_str() + token.size();
            sample.values[i] = whole && std::isfinite(v) ? v : wire::kUnknown;
        }
        begin = comma + 1;
    }
    return sample;
}

namespace {

double flag(double v) {
    return std::isfinite(v) ? (v != 0.0 ? 1.0 : 0.0) : wire::kUnknown;
}

// A fixed gear has a lever FlightGear leaves up (the c172p's) and wheels that are always
// out; a simulator keeps a fixed gear's lever down, so a gear fully out is served down.
// A retractable gear follows its lever, and counts as up once it leaves its down locks.
constexpr double kGearFullyOut = 0.999;

double gearDown(const Sample& s) {
    const double lever = flag(s.values[kGearDown]);
    bool out = true;
    for (int g = kGearPositionFirst; g <= kGearPositionLast; ++g) {
        const double position = s.values[g];
        out = out && std::isfinite(position) && position >= kGearFullyOut;
    }
    return out ? 1.0 : lever;
}

// FlightGear's own crash, or the flight model's: JSBSim aircraft such as the c172p detect
// theirs themselves and leave /sim/crashed alone.
double crashed(const Sample& s) {
    const double sim = flag(s.values[kCrashed]);
    const double jsbsim = flag(s.values[kJsbsimCrash]);
    if (sim == 1.0 || jsbsim == 1.0) return 1.0;
    return std::isfinite(sim) ? sim : jsbsim;
}

// Total air temperature from the static temperature and the true airspeed, with full
// recovery: FlightGear's environment gives the static air temperature only.
double totalAirTemperatureC(double staticC, double trueAirspeedKt) {
    if (!std::isfinite(staticC) || !std::isfinite(trueAirspeedKt)) return wire::kUnknown;
    const double v = std::max(trueAirspeedKt, 0.0) * kMetresPerSecondPerKnot;
    const double kelvin = staticC + kKelvinAtZeroC + v * v / (2.0 * kAirSpecificHeat);
    return kelvin - kKelvinAtZeroC;
}

std::optional<std::int64_t> utcSeconds(const Sample& s) {
    int parts[6];
    for (int i = 0; i < 6; ++i) {
        const double v = s.values[kYear + i];
        if (!std::isfinite(v) || std::abs(v) > 1e6) return std::nullopt;
        parts[i] = static_cast<int>(v);
    }
    const auto [year, month, day, hour, minute, second] = parts;
    if (year < 1900 || year > 2200 || month < 1 || month > 12 || day < 1 || day > 31 || hour < 0 ||
        hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 60) {
        return std::nullopt;
    }
    return daysFromCivil(year, month, day) * 86400 + hour * 3600 + minute * 60 + second;
}

}  // namespace

wire::SimPicture toPicture(const Sample& sample, const Options& options) {
    const auto& v = sample.values;
    wire::SimPicture p;
    p.latitudeDeg = v[kLatitude];
    p.longitudeDeg = v[kLongitude];
    p.altitudeFt = v[kAltitude];
    p.groundElevationFt = v[kGroundElevation];
    p.noseUpDeg = v[kPitch];
    p.bankRightDeg = v[kRoll];
    p.gForce = v[kPilotG];
    p.headingTrueDeg = v[kHeading];
    p.groundSpeedKt = v[kGroundSpeed];
    p.trueAirspeedKt = v[kTrueAirspeed];
    p.indicatedAirspeedKt = std::max(v[kIndicatedAirspeed], 0.0);
    p.verticalSpeedFpm = v[kVerticalSpeed] * kFpmPerFps;
    const double wow[] = {v[kWow0], v[kWow1], v[kWow2]};
    if (std::all_of(std::begin(wow), std::end(wow), [](double w) { return std::isfinite(w); })) {
        p.onGround = std::any_of(std::begin(wow), std::end(wow), [](double w) { return w != 0.0; });
    }

    p.altimeterMb = v[kAltimeter];
    p.seaLevelPressureMb = v[kSeaLevelPressure] * kMbPerInHg;
    p.windSpeedKt = v[kWindSpeed];
    p.windFromDeg = v[kWindFrom];
    p.totalAirTempC = totalAirTemperatureC(v[kAirTemperature], v[kTrueAirspeed]);
    p.com1Bcd = wire::com1Bcd(v[kCom1]);

    p.parkingBrake = v[kParkingBrake];
    p.gearLever = gearDown(sample);
    p.flapsLever = v[kFlaps];
    if (options.flapDetents && *options.flapDetents > 0) {
        p.flapDetentIncrement = wire::kFlapsFull / *options.flapDetents;
    }
    p.n1Pct = {v[kN1First], v[kN1Last]};
    const double densityLbPerGal = v[kFuelDensity];
    for (int e = 0; e < wire::kEngineCount; ++e) {
        p.fuelFlowPph[e] = v[kFuelFlowFirst + e] * densityLbPerGal;
    }
    // JSBSim or YASim, whichever flies the aircraft, knows the weight.
    const double jsbsim = v[kWeightJsbsim];
    p.grossWeightLb = std::isfinite(jsbsim) && jsbsim > 0.0 ? jsbsim : v[kWeightYasim];
    p.fuelDensityLbPerGal = densityLbPerGal;
    for (int t = 0; t < wire::kTankCount; ++t) {
        p.tankLevel[t] = 0.0;  // a tank FlightGear does not send is one this aircraft lacks
        p.tankCapacityGal[t] = 0.0;
    }
    for (int fgTank = 0; fgTank < kFgTanks; ++fgTank) {
        const int t = options.tankMap[fgTank];
        if (t < 0 || t >= wire::kTankCount) continue;
        const double level = v[kTankLevelFirst + fgTank];
        const double capacity = v[kTankCapacityFirst + fgTank];
        p.tankCapacityGal[t] = capacity;
        p.tankLevel[t] = !std::isfinite(capacity) || !std::isfinite(level) ? wire::kUnknown
                         : capacity > 0.0                                  ? level / capacity
                                                                           : 0.0;
    }

    p.utcSec = utcSeconds(sample);
    const double offsetSec = v[kLocalOffset];
    if (std::isfinite(offsetSec) && std::abs(offsetSec) <= 16 * 3600) {
        p.localOffsetMin = static_cast<int>(std::lround(offsetSec / 60.0));
    }

    p.paused = flag(v[kFrozen]);
    p.simulationRate = v[kSpeedUp];
    p.crashed = crashed(sample);
    // FlightGear has no slew mode; the UFO flight model is its way to move freely.
    p.slew = sample.flightModel == "ufo" ? 1.0 : 0.0;
    return p;
}

bool loaded(const Sample& sample) {
    return sample.values[kFdmInitialized] == 1.0 && sample.values[kSceneryLoaded] == 1.0;
}

std::optional<std::array<int, kFgTanks>> parseTankMap(std::string_view list) {
    std::array<int, kFgTanks> map{-1, -1, -1, -1};
    int n = 0;
    std::size_t begin = 0;
    while (begin <= list.size()) {
        const std::size_t comma = std::min(list.find(',', begin), list.size());
        std::string name(list.substr(begin, comma - begin));
        std::replace(name.begin(), name.end(), '-', ' ');
        if (n == kFgTanks) return std::nullopt;
        if (name != "none") {
            const auto it = std::find_if(wire::kFuelTanks.begin(), wire::kFuelTanks.end(),
                                         [&](const wire::FuelTank& t) { return t.name == name; });
            if (it == wire::kFuelTanks.end()) return std::nullopt;
            map[n] = static_cast<int>(it - wire::kFuelTanks.begin());
        }
        ++n;
        begin = comma + 1;
    }
    return map;
}

std::string propertyText(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
    }
    return out;
}

std::string setLine(std::string_view property, std::string_view value) {
    return "set " + propertyText(property) + " " + propertyText(value) + "\r\n";
}

}  // namespace aviolog::bridge::fg
