#pragma once

// The "Fuel" page: a slider per tank the aircraft has, the total on board and the total
// a FSBuild plan asked for. Moving a slider writes every tank's level at once.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "common/units.h"
#include "wire/sim_offsets.h"

namespace aviolog::simlink {
class SimLink;
}

namespace aviolog::planning {

inline constexpr const char* kFuelGroup = "Fuel";
inline constexpr const char* kTotalFuelRow = "Total Fuel";
inline constexpr const char* kRequestedFuelRow = "Requested Total Fuel";
// Row names by tank, in the simulator's tank order.
inline constexpr std::array<const char*, wire::kTankCount> kTankRowNames{
    "Centre tank",     "Centre tank 2",  "Centre tank 3", "External Tank 1",
    "External Tank 2", "left main tank", "left aux tank", "left tip tank",
    "right main tank", "right aux tank", "right tip tank"};

struct TankRow {
    int tank = 0;  // index into the simulator's tank order
    const char* name = "";
    long loadKgOrLb = 0;
    long maximumKgOrLb = 0;
};

class FuelPageObserver {
  public:
    virtual ~FuelPageObserver() = default;
    virtual void fuelPageChanged() = 0;
};

class FuelPage {
  public:
    FuelPage(simlink::SimLink& link, const WeightUnit& unit) : link_(link), unit_(unit) {}

    // Reads the simulator and makes the rows; false (with the rows made so far) when a
    // read failed or the link is not open.
    bool build();
    bool built() const { return built_; }
    const std::vector<TankRow>& rows() const { return rows_; }
    long totalKgOrLb() const;
    // "kg" or "lb", as the company counts its weights.
    const char* unitSymbol() const { return weightSymbol(unit_); }

    // The slider of a row moved to load (kept within 0 and the maximum): every tank's
    // level is written, in the order the simulator takes them; false when a read or a
    // write failed (the writes stop there).
    bool setLoad(std::size_t row, long loadKgOrLb);
    // The row of a tank by its name on the page; npos when the aircraft has no such row.
    std::size_t rowNamed(const std::string& name) const;

    const std::string& requestedTotal() const { return requestedTotal_; }
    void setRequestedTotal(std::string text);

    void setObserver(FuelPageObserver* observer) { observer_ = observer; }

  private:
    double unitsPerDensityStep() const;
    bool writeLevels();
    void changed();

    simlink::SimLink& link_;
    const WeightUnit& unit_;
    bool built_ = false;
    std::vector<TankRow> rows_;
    std::string requestedTotal_;
    FuelPageObserver* observer_ = nullptr;
};

// Level word of a load: load x 2^23 / maximum, truncated; full when maximum is 0.
std::uint32_t levelFor(long loadKgOrLb, long maximumKgOrLb);

}  // namespace aviolog::planning
