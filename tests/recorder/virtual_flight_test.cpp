// A whole flight read through the simulator link in virtual time: the harness that the
// recorder's flight tests stand on.

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>

#include "recorder/timer_ids.h"
#include "sim/scenario.h"
#include "simlink/sim_link.h"
#include "simlink/sim_variables.h"
#include "tests/support/link_rig.h"

namespace aviolog::recorder {
namespace {

using namespace simlink;
using namespace wire;

// Watches the flight as the recorder will: a one-second tick, and a 100 ms sampler that
// runs from below 300 m above ground until the wheels touch.
class FlightWatcher final : public platform::TimerSink {
  public:
    FlightWatcher(SimLink& link, platform::Timers& timers) : link_(link), timers_(timers) {}

    void onTimer(int id) override {
        if (id == kMonitorTimer) tick();
        if (id == kTouchdownTimer) sample();
    }

    int brakeReleases = 0;
    int brakeSets = 0;
    int takeOffs = 0;
    int touchdowns = 0;
    bool touchdownLogged = false;
    double touchdownFpm = 0.0;
    double maxAltitudeFt = 0.0;
    bool parked = false;

  private:
    void tick() {
        const auto brake = readS16(link_, var::ParkingBrake);
        const auto onGround = readU16(link_, var::OnGround);
        const auto altitude = readS32(link_, var::Altitude);
        const auto height = readHeightAboveGroundM(link_);
        if (!brake || !onGround || !altitude || !height) return;
        const bool set = *brake == kParkingBrakeSet;
        if (wasSet_ && !set) ++brakeReleases;
        if (!wasSet_ && set) ++brakeSets;
        wasSet_ = set;
        if (wasOnGround_ && *onGround == 0) ++takeOffs;
        if (!wasOnGround_ && *onGround != 0) ++touchdowns;
        wasOnGround_ = *onGround != 0;
        maxAltitudeFt = std::max(maxAltitudeFt, convert::altitudeFeet(*altitude));
        if (*height > 400) armed_ = true;
        if (armed_ && *height < 300 && !timers_.isRunning(kTouchdownTimer) && !touchdownLogged) {
            timers_.start(kTouchdownTimer, 100);
        }
        parked = set && wasOnGround_ && brakeSets >= 1 && touchdowns >= 1;
    }

    void sample() {
        const auto onGround = readU16(link_, var::OnGround);
        if (!onGround) return;
        if (*onGround == 0) {
            const auto vs = readS32(link_, var::VerticalSpeed);
            if (vs) lastVs_ = *vs;
            return;
        }
        touchdownFpm = convert::verticalSpeedFpm(lastVs_);
        touchdownLogged = true;
        timers_.stop(kTouchdownTimer);
    }

    SimLink& link_;
    platform::Timers& timers_;
    bool wasSet_ = true;
    bool wasOnGround_ = true;
    bool armed_ = false;
    std::int32_t lastVs_ = 0;
};

TEST(VirtualFlight, DefaultScenarioFromGateToGateThroughTheLink) {
    const auto scenario = sim::loadScenario(test::dataPath("scenarios/lppt-lppr.scn"));
    ASSERT_TRUE(scenario.ok()) << scenario.error;
    test::LinkRig rig("lppt-lppr.scn");
    auto& [clock, simulator, ipc, link] = rig;
    ASSERT_TRUE(link.open(0));
    FlightWatcher watcher(link, clock);
    clock.setTimerSink(&watcher);
    clock.start(kMonitorTimer, 1000);

    const auto wallStart = std::chrono::steady_clock::now();
    ASSERT_TRUE(clock.runUntil([&] { return watcher.parked; }, 3 * 3600 * 1000))
        << simulator->statusLine();
    const double wallMs =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - wallStart)
            .count();
    const double minutes = clock.nowMs() / 60000.0;
    RecordProperty("virtual_minutes", std::to_string(minutes));
    RecordProperty("wall_ms", std::to_string(wallMs));
    std::printf("virtual flight: %.1f min of simulator time in %.0f ms, %d exchanges\n", minutes,
                wallMs, ipc.sendCount);

    EXPECT_EQ(watcher.brakeReleases, 1);
    EXPECT_EQ(watcher.brakeSets, 1);
    EXPECT_EQ(watcher.takeOffs, 1);
    EXPECT_EQ(watcher.touchdowns, 1);
    EXPECT_NEAR(minutes, 45.0, 8.0);
    EXPECT_NEAR(watcher.maxAltitudeFt, scenario.value->profile.cruiseAltitudeFt, 500.0);
    ASSERT_TRUE(watcher.touchdownLogged);
    EXPECT_NEAR(watcher.touchdownFpm, scenario.value->profile.touchdownFpm, 15.0);
    EXPECT_EQ(link.failureCount(), 0);
}

}  // namespace
}  // namespace aviolog::recorder
