#include "planning/fuel_page.h"

#include <algorithm>

#include "simlink/sim_link.h"
#include "simlink/sim_variables.h"

namespace aviolog::planning {

namespace {

using namespace simlink;

// The order in which the slider writes the tanks: the centre and external tanks, then
// the right wing before the left.
constexpr std::array<int, wire::kTankCount> kWriteOrder{0, 1, 2, 3, 4, 8, 9, 10, 5, 6, 7};

constexpr double kTwoPow23 = 8388608.0;

}  // namespace

std::uint32_t levelFor(long loadKgOrLb, long maximumKgOrLb) {
    if (maximumKgOrLb <= 0) return 0;
    const long load = std::clamp(loadKgOrLb, 0L, maximumKgOrLb);
    return static_cast<std::uint32_t>(static_cast<std::int64_t>(load) * wire::kTankFull /
                                      maximumKgOrLb);
}

double FuelPage::unitsPerDensityStep() const {
    return unit_ == WeightUnit::Kilograms ? kKgPerPound / 256.0 : 1.0 / 256.0;
}

bool FuelPage::build() {
    rows_.clear();
    built_ = false;
    if (!link_.isOpen()) return false;
    const auto density = readU16(link_, var::FuelWeightPerGallon);
    if (!density) return false;
    const double k = unitsPerDensityStep();
    bool complete = true;
    for (int tank = 0; tank < wire::kTankCount; ++tank) {
        const wire::FuelTank& t = wire::kFuelTanks[tank];
        const auto capacityGal = readU32(link_, t.capacity);
        if (!capacityGal) {
            complete = false;
            break;
        }
        if (*capacityGal == 0) continue;
        const auto level = readU32(link_, t.level);
        if (!level) {
            complete = false;
            break;
        }
        TankRow row;
        row.tank = tank;
        row.name = kTankRowNames[tank];
        row.maximumKgOrLb = static_cast<long>(double(*capacityGal) * *density * k);
        row.loadKgOrLb =
            static_cast<long>(double(*level) * *capacityGal * *density * k / kTwoPow23);
        rows_.push_back(row);
    }
    built_ = complete;
    changed();
    return complete;
}

long FuelPage::totalKgOrLb() const {
    long total = 0;
    for (const TankRow& row : rows_) total += row.loadKgOrLb;
    return total;
}

std::size_t FuelPage::rowNamed(const std::string& name) const {
    for (std::size_t i = 0; i < rows_.size(); ++i) {
        if (name == rows_[i].name) return i;
    }
    return static_cast<std::size_t>(-1);
}

bool FuelPage::setLoad(std::size_t row, long loadKgOrLb) {
    if (row >= rows_.size()) return false;
    rows_[row].loadKgOrLb = std::clamp(loadKgOrLb, 0L, rows_[row].maximumKgOrLb);
    changed();
    return writeLevels();
}

bool FuelPage::writeLevels() {
    // The density is read again only to know that the simulator still answers: levels
    // are fractions of the maximum, which keeps them independent of it.
    if (!readU16(link_, var::FuelWeightPerGallon)) return false;
    for (const int tank : kWriteOrder) {
        const auto row = std::find_if(rows_.begin(), rows_.end(),
                                      [tank](const TankRow& r) { return r.tank == tank; });
        if (row == rows_.end()) continue;
        if (!writeU32(link_, wire::kFuelTanks[tank].level,
                      levelFor(row->loadKgOrLb, row->maximumKgOrLb))) {
            return false;
        }
    }
    return true;
}

void FuelPage::setRequestedTotal(std::string text) {
    requestedTotal_ = std::move(text);
    changed();
}

void FuelPage::changed() {
    if (observer_ != nullptr) observer_->fuelPageChanged();
}

}  // namespace aviolog::planning
