#include "simlink/sim_variables.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>

#include "common/text_format.h"
#include "simlink/sim_link.h"

namespace aviolog::simlink {

using namespace wire;

namespace convert {

std::string com1Text(std::uint16_t raw) {
    return format("1%X%X.%X%X", (raw >> 12) & 0xF, (raw >> 8) & 0xF, (raw >> 4) & 0xF, raw & 0xF);
}

double tankFuelKg(std::uint32_t level, std::uint32_t capacityGal, std::uint16_t densityRaw) {
    return static_cast<double>(level) / kTankFull * capacityGal * densityRaw * kFuelKgFactor;
}

}  // namespace convert

namespace {

template <typename T>
std::optional<T> readValue(SimLink& link, SimVariable v) {
    static_assert(sizeof(T) <= 8);
    T value{};
    if (v.size != sizeof(T) || !link.read(v.offset, v.size, &value) || !link.process()) {
        return std::nullopt;
    }
    return value;
}

template <typename T>
bool writeValue(SimLink& link, SimVariable v, T value) {
    return v.size == sizeof(T) && link.write(v.offset, v.size, &value) && link.process();
}

}  // namespace

std::optional<std::uint8_t> readU8(SimLink& link, SimVariable v) {
    return readValue<std::uint8_t>(link, v);
}
std::optional<std::uint16_t> readU16(SimLink& link, SimVariable v) {
    return readValue<std::uint16_t>(link, v);
}
std::optional<std::int16_t> readS16(SimLink& link, SimVariable v) {
    return readValue<std::int16_t>(link, v);
}
std::optional<std::uint32_t> readU32(SimLink& link, SimVariable v) {
    return readValue<std::uint32_t>(link, v);
}
std::optional<std::int32_t> readS32(SimLink& link, SimVariable v) {
    return readValue<std::int32_t>(link, v);
}
std::optional<double> readDouble(SimLink& link, SimVariable v) {
    return readValue<double>(link, v);
}

bool writeU8(SimLink& link, SimVariable v, std::uint8_t value) {
    return writeValue(link, v, value);
}
bool writeU16(SimLink& link, SimVariable v, std::uint16_t value) {
    return writeValue(link, v, value);
}
bool writeU32(SimLink& link, SimVariable v, std::uint32_t value) {
    return writeValue(link, v, value);
}

bool queueRead(SimLink& link, SimVariable v, void* destination) {
    return link.read(v.offset, v.size, destination);
}

bool ReadBatch::process() {
    return queued_ && link_.process();
}

std::optional<int> readHeightAboveGroundM(SimLink& link) {
    std::int32_t ground = 0;
    std::int32_t altitude = 0;
    if (!ReadBatch(link).add(var::GroundAltitude, ground).add(var::Altitude, altitude).process()) {
        return std::nullopt;
    }
    return convert::heightAboveGroundM(altitude, ground);
}

bool isPlausibleMass(double value) {
    return std::isfinite(value) && std::fabs(value) <= kLargestMass;
}

std::optional<double> readGrossWeightLbs(SimLink& link) {
    const auto lbs = readDouble(link, var::GrossWeight);
    if (!lbs || !isPlausibleMass(*lbs)) return std::nullopt;
    return lbs;
}

std::optional<double> readFuelFlowPph(SimLink& link, SimVariable engine) {
    const auto pph = readDouble(link, engine);
    if (!pph || !isPlausibleMass(*pph)) return std::nullopt;
    return pph;
}

double readFuelOnBoardKg(SimLink& link) {
    return tryReadFuelOnBoardKg(link).value_or(-1.0);
}

std::optional<double> tryReadFuelOnBoardKg(SimLink& link) {
    // One exchange for every tank: the figures belong to one moment and cost one round trip.
    std::array<std::uint32_t, kTankCount> levels{};
    std::array<std::uint32_t, kTankCount> capacities{};
    std::uint16_t density = 0;
    ReadBatch batch(link);
    for (int i = 0; i < kTankCount; ++i) {
        batch.add(kFuelTanks[i].level, levels[i]).add(kFuelTanks[i].capacity, capacities[i]);
    }
    if (!batch.add(var::FuelWeightPerGallon, density).process()) return std::nullopt;
    double gallons = 0.0;
    for (int i = 0; i < kTankCount; ++i) {
        gallons += static_cast<double>(levels[i]) / kTankFull * capacities[i];
    }
    const double kg = gallons * density * convert::kFuelKgFactor;
    return isPlausibleMass(kg) ? kg : -1.0;
}

bool showSimMessage(SimLink& link, std::string_view text) {
    std::array<char, kSimMessageBytes> field{};
    // The field must stay zero-terminated, so the longest text is one byte short of it.
    std::copy_n(text.begin(), std::min(text.size(), field.size() - 1), field.begin());
    if (!link.write(var::SimMessageText.offset, var::SimMessageText.size, field.data()) ||
        !link.process()) {
        return false;
    }
    return writeValue(link, var::SimMessageControl, kSimMessageSeconds);
}

}  // namespace aviolog::simlink
