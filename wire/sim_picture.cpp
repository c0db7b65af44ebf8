#include "wire/sim_picture.h"

#include <algorithm>

#include "common/civil_time.h"

namespace aviolog::wire {

namespace {

constexpr double kTwoPow32 = 4294967296.0;

bool known(double v) {
    return std::isfinite(v);
}

// A rounded value that the raw type holds, or nothing.
template <typename T>
std::optional<T> rounded(double v) {
    if (!known(v)) return std::nullopt;
    const double r = std::round(v);
    if (r < static_cast<double>(std::numeric_limits<T>::min()) ||
        r > static_cast<double>(std::numeric_limits<T>::max())) {
        return std::nullopt;
    }
    return static_cast<T>(r);
}

// Counts and pressures that cannot go below zero are served at zero, not wrapped.
std::optional<std::uint16_t> clampedU16(double v) {
    if (!known(v)) return std::nullopt;
    return static_cast<std::uint16_t>(std::clamp(std::round(v), 0.0, 65535.0));
}

class Writer {
  public:
    explicit Writer(OffsetMemory& memory) : memory_(memory) {}

    template <typename T>
    void put(SimVariable v, std::optional<T> raw) {
        if (raw) memory_.write(v.offset, std::as_bytes(std::span{&*raw, 1}));
    }
    void flag(SimVariable v, double value, std::uint16_t set = 1) {
        if (known(value)) memory_.setU16(v.offset, value != 0.0 ? set : 0);
    }
    void f64(SimVariable v, double value) {
        if (known(value)) memory_.setF64(v.offset, value);
    }

  private:
    OffsetMemory& memory_;
};

void publishPosition(const SimPicture& p, Writer& w) {
    if (known(p.latitudeDeg) && std::abs(p.latitudeDeg) <= 90.0) {
        w.put(kLatitude64,
              rounded<std::int64_t>(p.latitudeDeg / scale::kLatitudeDegPerUnit * kTwoPow32));
    }
    if (known(p.longitudeDeg) && std::abs(p.longitudeDeg) <= 360.0) {
        double lon = p.longitudeDeg;
        if (lon >= 180.0) lon -= 360.0;
        if (lon < -180.0) lon += 360.0;
        w.put(kLongitude64, rounded<std::int64_t>(lon / scale::kLongitudeDegPerUnit * kTwoPow32));
    }
    // Whole metres in the high half: a 32-bit metre count is the limit.
    if (known(p.altitudeFt) && std::abs(p.altitudeFt) < 1e9) {
        w.put(kAltitude64, rounded<std::int64_t>(p.altitudeFt / scale::kFeetPerMetre * kTwoPow32));
    }
    w.put(var::GroundAltitude,
          rounded<std::int32_t>(p.groundElevationFt / scale::kFeetPerMetre * 256.0));
    w.put(var::Pitch, rounded<std::int32_t>(-p.noseUpDeg / scale::kAngleDegPerUnit));
    // Positive is a left bank, as the simulator interface counts it.
    w.put(var::Bank, rounded<std::int32_t>(-p.bankRightDeg / scale::kAngleDegPerUnit));
    if (known(p.headingTrueDeg) && std::abs(p.headingTrueDeg) < 1e6) {
        const double units = std::fmod(p.headingTrueDeg, 360.0) / scale::kAngleDegPerUnit;
        w.put(var::Heading, std::optional<std::uint32_t>(
                                static_cast<std::uint32_t>(std::llround(units) & 0xFFFFFFFF)));
    }
    w.put(var::GroundSpeed,
          rounded<std::uint32_t>(p.groundSpeedKt / scale::kKnotsPerGroundSpeedUnit));
    w.put(var::TrueAirspeed, rounded<std::uint32_t>(p.trueAirspeedKt / scale::kKnotsPerTasUnit));
    w.put(var::IndicatedAirspeed, rounded<std::uint32_t>(p.indicatedAirspeedKt * 128.0));
    w.put(var::VerticalSpeed,
          rounded<std::int32_t>(p.verticalSpeedFpm / scale::kFpmPerVerticalSpeedUnit));
    w.flag(var::OnGround, p.onGround);
    w.put(var::TouchdownVerticalSpeed,
          rounded<std::int32_t>(p.touchdownVerticalSpeedFpm / scale::kFpmPerVerticalSpeedUnit));
    w.put(var::GForce, rounded<std::int16_t>(p.gForce / scale::kGPerUnit));
}

void publishAtmosphere(const SimPicture& p, Writer& w) {
    w.put(var::AltimeterSetting, clampedU16(p.altimeterMb / scale::kMillibarsPerUnit));
    w.put(var::SeaLevelPressure, clampedU16(p.seaLevelPressureMb / scale::kMillibarsPerUnit));
    w.put(var::WindSpeed, clampedU16(p.windSpeedKt));
    if (known(p.windFromDeg) && std::abs(p.windFromDeg) < 1e6) {
        w.put(var::WindDirection,
              std::optional<std::uint16_t>(static_cast<std::uint16_t>(
                  std::lround(p.windFromDeg / scale::kWindDegPerUnit) & 0xFFFF)));
    }
    w.put(var::TotalAirTemperature,
          rounded<std::int16_t>(p.totalAirTempC / scale::kCelsiusPerUnit));
    w.put(var::Com1Frequency, p.com1Bcd);
}

void publishSystems(const SimPicture& p, Writer& w) {
    if (known(p.parkingBrake)) {
        w.put(var::ParkingBrake, std::optional<std::int16_t>(static_cast<std::int16_t>(std::lround(
                                     std::clamp(p.parkingBrake, 0.0, 1.0) * kParkingBrakeSet))));
    }
    auto lever = [](double share, std::int32_t full) -> std::optional<std::int32_t> {
        if (!known(share)) return std::nullopt;
        return static_cast<std::int32_t>(std::lround(std::clamp(share, 0.0, 1.0) * full));
    };
    w.put(var::GearControl, lever(p.gearLever, kGearDown));
    w.put(var::FlapsControl, lever(p.flapsLever, kFlapsFull));
    w.put(var::FlapsDetentIncrement, rounded<std::uint16_t>(p.flapDetentIncrement));
    w.put(var::Engine1N1, clampedU16(p.n1Pct[0] / scale::kN1PercentPerUnit));
    w.put(var::Engine2N1, clampedU16(p.n1Pct[1] / scale::kN1PercentPerUnit));
    for (int e = 0; e < kEngineCount; ++e) w.f64(kEngineFuelFlows[e], p.fuelFlowPph[e]);
    w.f64(var::GrossWeight, p.grossWeightLb);
    w.put(var::FuelWeightPerGallon, clampedU16(p.fuelDensityLbPerGal * 256.0));
    for (int i = 0; i < kTankCount; ++i) {
        const double capacity = p.tankCapacityGal[i];
        const double served = servedTankCapacityGal(capacity);
        double level = p.tankLevel[i];
        if (known(level) && known(capacity) && served > 0.0) level = level * capacity / served;
        if (known(level)) {
            w.put(kFuelTanks[i].level, std::optional<std::uint32_t>(static_cast<std::uint32_t>(
                                           std::llround(std::clamp(level, 0.0, 1.0) * kTankFull))));
        }
        w.put(kFuelTanks[i].capacity, rounded<std::uint32_t>(served));
    }
}

// The interface counts the local offset as minutes behind UTC.
void publishClock(const SimPicture& p, Writer& w) {
    if (!p.utcSec) return;
    const int offsetMin = p.localOffsetMin.value_or(0);
    const CivilDateTime utc = civilFromSeconds(*p.utcSec);
    const CivilDateTime local = civilFromSeconds(*p.utcSec + std::int64_t{offsetMin} * 60);
    auto u8 = [](int v) { return std::optional<std::uint8_t>(static_cast<std::uint8_t>(v)); };
    auto u16 = [](int v) { return std::optional<std::uint16_t>(static_cast<std::uint16_t>(v)); };
    w.put(var::LocalHour, u8(local.hour));
    w.put(var::LocalMinute, u8(local.minute));
    w.put(kZuluSecond, u8(utc.second));
    w.put(var::ZuluHour, u8(utc.hour));
    w.put(var::ZuluMinute, u8(utc.minute));
    w.put(var::ZuluDayOfYear, u16(utc.dayOfYear));
    w.put(var::ZuluYear, u16(utc.year));
    if (p.localOffsetMin) {
        w.put(var::LocalTimeOffset,
              std::optional<std::int16_t>(static_cast<std::int16_t>(-offsetMin)));
    }
}

void publishControl(const SimPicture& p, Writer& w) {
    w.flag(var::PauseControl, p.pauseControl);
    w.flag(var::PauseIndicator, p.paused);
    w.flag(var::SlewMode, p.slew);
    w.put(var::SimulationRate, rounded<std::uint16_t>(p.simulationRate * kRateOneX));
    w.flag(var::CrashDetection, p.crashDetection);
    w.flag(var::Crashed, p.crashed);
}

}  // namespace

void publishPicture(const SimPicture& picture, OffsetMemory& memory) {
    Writer w(memory);
    publishPosition(picture, w);
    publishAtmosphere(picture, w);
    publishSystems(picture, w);
    publishClock(picture, w);
    publishControl(picture, w);
}

namespace {
// A capacity sent as 28.0000 that arrives as 28.0000001 is still 28 gallons.
constexpr double kGallonSlack = 1e-6;
}  // namespace

double servedTankCapacityGal(double capacityGal) {
    if (!known(capacityGal)) return capacityGal;
    return std::max(std::ceil(capacityGal - kGallonSlack), 0.0);
}

double gallonsFromServedLevel(std::uint32_t levelRaw, double capacityGal) {
    if (!known(capacityGal) || capacityGal <= 0.0) return 0.0;
    const double share = levelRaw / static_cast<double>(kTankFull);
    return std::min(share * servedTankCapacityGal(capacityGal), capacityGal);
}

std::optional<std::uint16_t> com1Bcd(double megahertz) {
    if (!known(megahertz) || megahertz < 100.0 || megahertz > 200.0) return std::nullopt;
    // The variable drops the leading 1 and the last digit of the kilohertz: 1ab.cd(x).
    const long tensOfKhz = std::lround(std::floor(megahertz * 100.0 + 1e-6));
    if (tensOfKhz < 11800 || tensOfKhz > 13699) return std::nullopt;
    const long digits = tensOfKhz - 10000;
    std::uint16_t bcd = 0;
    long rest = digits;
    for (int shift = 0; shift < 16; shift += 4) {
        bcd |= static_cast<std::uint16_t>((rest % 10) << shift);
        rest /= 10;
    }
    return bcd;
}

}  // namespace aviolog::wire
