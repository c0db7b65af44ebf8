#pragma once

// The simulator interface's rate at touchdown, for simulators that have none of their
// own: a copy of the vertical speed that follows it in the air and holds still from the
// wheels' contact until they leave the ground again.

#include <cmath>

#include "wire/sim_picture.h"

namespace aviolog::bridge {

class TouchdownLatch {
  public:
    // Which value stands for the contact: the one of the first update with the wheels on
    // the ground (a simulator that reports the gear's force at that frame), or the last
    // one in the air (a simulator sampled more slowly than its flight model runs).
    enum class Take { AtContact, LastAirborne };
    explicit TouchdownLatch(Take take) : take_(take) {}

    // One update: whether the wheels carry weight, and the raw vertical speed in ft/min.
    // Returns the rate to serve; unknown until a vertical speed has arrived.
    double update(bool inContact, double verticalSpeedFpm) {
        if (!inContact) {
            if (std::isfinite(verticalSpeedFpm)) {
                airborne_ = true;
                heldFpm_ = verticalSpeedFpm;
            }
            return heldFpm_;
        }
        if (airborne_) {
            airborne_ = false;
            if (take_ == Take::AtContact && std::isfinite(verticalSpeedFpm)) {
                heldFpm_ = verticalSpeedFpm;
            }
        }
        return heldFpm_;
    }

  private:
    Take take_;
    bool airborne_ = false;
    double heldFpm_ = wire::kUnknown;
};

}  // namespace aviolog::bridge
