#include "bridge/offset_model.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace aviolog::bridge {

namespace var = wire::var;
using wire::SimVariable;

namespace {

bool overlaps(SimVariable v, std::uint32_t offset, std::size_t size) {
    return offset < static_cast<std::uint32_t>(v.offset + v.size) && v.offset < offset + size;
}

// The slowest and fastest rates the simulator interface's rate variable names.
constexpr std::uint16_t kRateMinRaw = 64;     // 1/4 x
constexpr std::uint16_t kRateMaxRaw = 32768;  // 128 x
constexpr std::uint32_t kHotKeyPressed = 0x01000000;
constexpr int kHotKeyEntries = 56;

}  // namespace

OffsetModel::OffsetModel(SimCommands& commands, BridgeVersions versions)
    : commands_(commands), versions_(versions) {
    publishOwn();
}

void OffsetModel::update(const wire::SimPicture& picture, std::int64_t nowMs) {
    const bool paused = std::isfinite(picture.paused) && picture.paused != 0.0;
    if (pausedByCommand_) {
        if (paused) pauseSeen_ = true;
        // The pilot let the simulator run again.
        if (!paused && pauseSeen_) pausedByCommand_ = pauseSeen_ = false;
    }
    wire::publishPicture(picture, memory_);
    publishOwn();
    for (int i = 0; i < wire::kTankCount; ++i) {
        if (std::isfinite(picture.tankCapacityGal[i]))
            tankCapacityGal_[i] = picture.tankCapacityGal[i];
    }
    pictureAtMs_ = nowMs;
}

bool OffsetModel::fresh(std::int64_t nowMs, std::int64_t staleMs) const {
    return pictureAtMs_ >= 0 && nowMs - pictureAtMs_ <= staleMs;
}

std::uint32_t OffsetModel::serve(std::span<std::byte> block, std::int64_t nowMs) {
    if (pictureAtMs_ >= 0) {
        const std::int64_t ageMs = nowMs - pictureAtMs_;
        ++ages_.answers;
        ages_.maxAgeMs = std::max(ages_.maxAgeMs, ageMs);
        ages_.totalAgeMs += static_cast<double>(ageMs);
    }
    return wire::serveRequests(block, *this);
}

void OffsetModel::publishOwn() {
    memory_.setU16(var::PauseControl.offset, pausedByCommand_ ? 1 : 0);
    memory_.setU16(var::CrashDetection.offset, crashDetection_ ? 1 : 0);
    memory_.setU32(var::FsuipcVersion.offset, versions_.fsuipcVersion);
    memory_.setU32(var::SimulatorVersion.offset, versions_.simulatorVersion);
}

int OffsetModel::pressHotKeys() {
    int pressed = 0;
    for (int n = 0; n < kHotKeyEntries; ++n) {
        const std::uint32_t offset = var::HotKeyEntry(n).offset;
        const std::uint32_t entry = memory_.u32(offset);
        if ((entry & 0xFFFF) == 0) continue;
        memory_.setU32(offset, entry | kHotKeyPressed);
        ++pressed;
    }
    return pressed;
}

void OffsetModel::readVariable(std::uint32_t offset, std::span<std::byte> out) {
    memory_.read(offset, out);
}

void OffsetModel::writeVariable(std::uint32_t offset, std::span<const std::byte> data) {
    const std::size_t size = data.size();
    // Stored first: until the simulator's next picture, a value reads back as written.
    memory_.write(offset, data);
    auto touched = [&](SimVariable v) { return overlaps(v, offset, size); };
    if (touched(var::PauseControl)) {
        pausedByCommand_ = memory_.u16(var::PauseControl.offset) != 0;
        pauseSeen_ = false;
        commands_.setPaused(pausedByCommand_);
    }
    if (touched(var::SlewMode) && memory_.u16(var::SlewMode.offset) == 0) commands_.endSlew();
    if (touched(var::SimulationRate)) {
        const std::uint16_t raw = memory_.u16(var::SimulationRate.offset);
        if (raw >= kRateMinRaw && raw <= kRateMaxRaw) {
            commands_.setSimulationRate(raw / static_cast<double>(wire::kRateOneX));
        }
    }
    if (touched(var::CrashDetection)) {
        crashDetection_ = memory_.u16(var::CrashDetection.offset) != 0;
    }
    if (touched(var::Crashed) && memory_.u16(var::Crashed.offset) == 0) commands_.clearCrash();
    for (int i = 0; i < wire::kTankCount; ++i) {
        const SimVariable level = wire::kFuelTanks[i].level;
        if (!touched(level)) continue;
        // The level written is the share of the capacity served, a whole number of
        // gallons; the simulator takes the share of its own.
        const std::uint32_t raw = memory_.u32(level.offset);
        const double capacity = tankCapacityGal_[i];
        const double share = capacity > 0.0 ? wire::gallonsFromServedLevel(raw, capacity) / capacity
                                            : raw / static_cast<double>(wire::kTankFull);
        commands_.setTankLevel(i, std::min(share, 1.0));
    }
    if (touched(var::SimMessageControl)) {
        std::array<char, wire::kSimMessageBytes> text{};
        memory_.read(var::SimMessageText.offset, std::as_writable_bytes(std::span{text}));
        const std::size_t length = std::find(text.begin(), text.end(), '\0') - text.begin();
        if (length > 0) commands_.showMessage(std::string_view(text.data(), length));
    }
    // The library version shares bytes with the simulator version: a client's write
    // never changes what the next client reads there.
    publishOwn();
}

}  // namespace aviolog::bridge
