// A whole flight, gate to gate, from a stand-in FlightGear through aviolog-bridge to the
// recorder in aviolog-fly --live: Honolulu to Kalaeloa, flown by a script at sixteen times
// real speed, which the stand-in reports as FlightGear's /sim/speed-up. The log must tell
// the flight as the script flew it: the airports, the four block and runway times, and
// the touchdown rate.

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "common/text_file.h"
#include "tests/bridge/fake_flightgear.h"
#include "tests/support/child_process.h"
#include "tests/support/sim_fixture.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wait.h"

namespace aviolog::test {
namespace {

using namespace std::chrono_literals;

constexpr double kSpeedUp = 16.0;
constexpr double kTouchdownFpm = -180.0;

struct AirportPoint {
    const char* icao;
    double latitudeDeg;
    double longitudeDeg;
    double elevationFt;
};
constexpr AirportPoint kHonolulu{"PHNL", 21.3187, -157.9225, 13.0};
constexpr AirportPoint kKalaeloa{"PHJR", 21.3074, -158.0703, 30.0};

// One stretch of the flight: the ground speed changes evenly over it, the vertical speed
// is held. An airborne stretch with a vertical speed lasts as long as its height change.
struct Leg {
    const char* name;
    double seconds;
    double fromKt;
    double toKt;
    double verticalFpm;
    bool brakeSet;
    bool gearDown;
    double flaps;     // lever 0..1
    double pitchDeg;  // nose up positive, as FlightGear gives it
};

// Climb to 2000 ft above the runway (above the height that arms the touchdown sampler),
// a short cruise, and an approach whose last 50 ft are flown at the touchdown rate.
constexpr std::array<Leg, 11> kLegs{{
    {"at the gate", 10, 0, 0, 0, true, true, 0.0, 0},
    {"taxi out", 60, 15, 15, 0, false, true, 0.0, 0},
    {"take-off roll", 30, 15, 85, 0, false, true, 1.0 / 3.0, 0},
    {"climb", 2000.0 / 1500.0 * 60.0, 85, 140, 1500, false, false, 0.0, 8},
    {"cruise", 40, 150, 150, 0, false, false, 0.0, 2},
    {"descent", 1000.0 / 1500.0 * 60.0, 140, 120, -1500, false, false, 0.0, -2},
    {"approach", 950.0 / 800.0 * 60.0, 100, 95, -800, false, true, 2.0 / 3.0, 0},
    {"flare", 50.0 / -kTouchdownFpm * 60.0, 95, 90, kTouchdownFpm, false, true, 1.0, 4},
    {"roll-out", 30, 90, 15, 0, false, true, 1.0, 0},
    {"taxi in", 60, 15, 15, 0, false, true, 0.0, 0},
    {"stop", 5, 15, 0, 0, false, true, 0.0, 0},
}};
constexpr int kFirstAirborneLeg = 3;
constexpr int kLastAirborneLeg = 7;

double legStartSec(int leg) {
    double t = 0.0;
    for (int i = 0; i < leg; ++i) t += kLegs[i].seconds;
    return t;
}

// Where the script has the aircraft `t` seconds into its flight.
struct ScriptedState {
    double distanceNm = 0.0;
    double heightFt = 0.0;
    double groundSpeedKt = 0.0;
    double verticalFpm = 0.0;
    const Leg* leg = &kLegs[0];
    bool parked = false;  // at the gate again, brake set
};

ScriptedState scriptedState(double t) {
    ScriptedState s;
    for (int i = 0; i < static_cast<int>(kLegs.size()); ++i) {
        const Leg& leg = kLegs[i];
        const double in = std::min(std::max(t, 0.0), leg.seconds);
        const double kt = leg.fromKt + (leg.toKt - leg.fromKt) * in / leg.seconds;
        s.distanceNm += (leg.fromKt + kt) / 2.0 * in / 3600.0;
        s.heightFt += leg.verticalFpm * in / 60.0;
        s.leg = &leg;
        s.groundSpeedKt = kt;
        s.verticalFpm = leg.verticalFpm;
        if (t < leg.seconds) return s;
        t -= leg.seconds;
    }
    s.heightFt = 0.0;
    s.verticalFpm = 0.0;
    s.parked = true;
    return s;
}

double totalDistanceNm() {
    return scriptedState(legStartSec(static_cast<int>(kLegs.size()))).distanceNm;
}

constexpr std::int64_t kStartUtcSec = 1732142400;  // 2024-11-20 22:40:00 UTC
constexpr double kFuelGph = 9.0;
constexpr double kTankStartGal = 20.0;

// The aircraft as FlightGear's properties give it: the script's state put on the straight
// line between the two airports, the clock and the fuel running at the simulator's rate.
class ScriptedFlightGear {
  public:
    explicit ScriptedFlightGear(FakeFlightGear& fg) : fg_(fg) {
        fg.set("/sim/speed-up", kSpeedUp);
        fg.set("/sim/freeze/master", 0);
        fg.set("/sim/fdm-initialized", 1);
        fg.set("/sim/sceneryloaded", 1);
        fg.setText("/sim/flight-model", "jsb");
        fg.set("/sim/time/local-offset", -36000);
        fg.set("/instrumentation/altimeter/setting-hpa", 1015.0);
        fg.set("/environment/pressure-sea-level-inhg", 1015.0 / 33.8638866667);
        fg.set("/environment/wind-speed-kt", 0.0);
        fg.set("/environment/temperature-degc", 26.0);
        fg.set("/instrumentation/comm[0]/frequencies/selected-mhz", 121.9);
        for (int i = 0; i < 4; ++i)
            fg.set("/sim/flaps/setting[" + std::to_string(i) + "]", i / 3.0);
        for (int tank = 0; tank < 2; ++tank) {
            fg.set(format("/consumables/fuel/tank[%d]/capacity-gal_us", tank), 28.0);
        }
        fg.set("/consumables/fuel/tank[0]/density-ppg", 6.0);
        fg.set("/engines/engine[0]/fuel-flow-gph", kFuelGph);
        publish();
    }

    // The pilot's log has started: the flight leaves the gate from now on.
    void go() { flying_ = true; }
    double flightSec() const { return flightSec_.load(); }
    double clockSec() const { return clockSec_.load(); }

    // Called by the stand-in before each datagram with the real seconds since the last.
    void step(double realSec) {
        if (fg_.get("/sim/freeze/master") == 0.0) {
            const double simSec = realSec * fg_.get("/sim/speed-up");
            clockSec_ = clockSec_ + simSec;
            if (flying_) flightSec_ = flightSec_ + simSec;
        }
        publish();
    }

  private:
    static std::string format(const char* pattern, int n) {
        char text[128];
        std::snprintf(text, sizeof text, pattern, n);
        return text;
    }

    void publish() {
        const ScriptedState s = scriptedState(flightSec_);
        const double share = std::min(s.distanceNm / totalDistanceNm(), 1.0);
        const AirportPoint& a = kHonolulu;
        const AirportPoint& b = kKalaeloa;
        const double groundFt = a.elevationFt + (b.elevationFt - a.elevationFt) * share;
        fg_.set("/position/latitude-deg", a.latitudeDeg + (b.latitudeDeg - a.latitudeDeg) * share);
        fg_.set("/position/longitude-deg",
                a.longitudeDeg + (b.longitudeDeg - a.longitudeDeg) * share);
        fg_.set("/position/ground-elev-ft", groundFt);
        fg_.set("/position/altitude-ft", groundFt + s.heightFt);
        fg_.set("/orientation/heading-deg", 265.6);
        fg_.set("/orientation/pitch-deg", s.leg->pitchDeg);
        fg_.set("/velocities/groundspeed-kt", s.groundSpeedKt);
        fg_.set("/instrumentation/airspeed-indicator/true-speed-kt", s.groundSpeedKt);
        fg_.set("/instrumentation/airspeed-indicator/indicated-speed-kt", s.groundSpeedKt);
        fg_.set("/velocities/vertical-speed-fps", s.verticalFpm / 60.0);
        const bool onGround = s.heightFt <= 0.0;
        for (int g = 0; g < 3; ++g) fg_.set(format("/gear/gear[%d]/wow", g), onGround ? 1 : 0);
        fg_.set("/controls/gear/brake-parking", s.leg->brakeSet || s.parked ? 1.0 : 0.0);
        fg_.set("/controls/gear/gear-down", s.leg->gearDown ? 1 : 0);
        fg_.set("/controls/flight/flaps", s.parked ? 0.0 : s.leg->flaps);

        const double burntGal = kFuelGph * flightSec_ / 3600.0;
        for (int tank = 0; tank < 2; ++tank) {
            fg_.set(format("/consumables/fuel/tank[%d]/level-gal_us", tank),
                    kTankStartGal - burntGal / 2.0);
        }
        fg_.set("/fdm/jsbsim/inertia/weight-lbs", 2300.0 - burntGal * 6.0);

        const auto utc = static_cast<std::int64_t>(kStartUtcSec + clockSec_);
        const std::int64_t days = utc / 86400;
        const std::int64_t second = utc % 86400;
        fg_.set("/sim/time/utc/year", 2024);
        fg_.set("/sim/time/utc/month", 11);
        fg_.set("/sim/time/utc/day", static_cast<double>(20 + days - kStartUtcSec / 86400));
        fg_.set("/sim/time/utc/hour", static_cast<double>(second / 3600));
        fg_.set("/sim/time/utc/minute", static_cast<double>(second / 60 % 60));
        fg_.set("/sim/time/utc/second", static_cast<double>(second % 60));
    }

    FakeFlightGear& fg_;
    std::atomic<bool> flying_{false};
    std::atomic<double> flightSec_{0.0};
    std::atomic<double> clockSec_{0.0};
};

// The minute of the day of the log line that ends with `event`, or -1.
int loggedMinute(const std::string& out, const std::string& event) {
    const std::size_t at = out.find("  " + event + "\n");
    if (at == std::string::npos || at < 5) return -1;
    int hour = 0, minute = 0;
    if (std::sscanf(out.c_str() + at - 5, "%2d:%2d", &hour, &minute) != 2) return -1;
    return hour * 60 + minute;
}

TEST(BridgeGateToGate, AFlightThroughTheBridgeIsLoggedAsItWasFlown) {
    const auto wallStart = std::chrono::steady_clock::now();
    TempDir dir;
    dir.write("aviolog.ori", readFileBytes(dataPath("aviolog.ori")).value_or(""));
    dir.write("apt.txt",
              "[Airports]\r\nPHNL=Honolulu;21.3187;-157.9225\r\n"
              "PHJR=Kalaeloa;21.3074;-158.0703\r\n");

    FakeFlightGear fg(dataPath("flightgear/aviolog.xml"));
    ScriptedFlightGear flight(fg);
    fg.setStepper([&](FakeFlightGear&, double seconds) { flight.step(seconds); });
    const int udpPort = freeUdpPort();
    ASSERT_TRUE(fg.start(udpPort, 25.0));
    const std::string prefix = "aviolog-gate-to-gate-" + std::to_string(getpid()) + "-";
    ChildProcess bridge(AVIOLOG_BRIDGE_PATH, {"--fg-port", std::to_string(udpPort), "--fg-props",
                                              "127.0.0.1:" + std::to_string(fg.propsPort()),
                                              "--ipc-prefix", prefix, "--status", "0"});
    ChildProcess fly(AVIOLOG_FLY_PATH,
                     {"--live", "--speed", std::to_string(kSpeedUp), "--ipc-prefix", prefix,
                      "--dir", dir.path().string(), "--from", "PHNL", "--to", "PHJR", "--aircraft",
                      "C172", "--registration", "N172AV", "--limit", "30"});
    ASSERT_TRUE(bridge.started() && fly.started());

    // The pilot waits at the gate, brake set, until the log has started.
    ASSERT_TRUE(waitFor([&] { return fly.output().find("Start  [") != std::string::npos; }, 20s))
        << fly.output() << bridge.output();
    flight.go();
    const double goClockSec = flight.clockSec();

    // The age of the picture behind the answers, from the approach to the touchdown.
    const double approachSec = legStartSec(kLastAirborneLeg - 1);
    const double touchdownSec = legStartSec(kLastAirborneLeg + 1);
    ASSERT_TRUE(waitFor([&] { return flight.flightSec() >= approachSec; }, 40s));
    bridge.writeLine("reset");
    ASSERT_TRUE(waitFor([&] { return flight.flightSec() >= touchdownSec + 2.0; }, 20s));
    bridge.writeLine("status");

    ASSERT_EQ(fly.wait(45000), 0) << fly.output() << bridge.output();
    const double wallSec =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
    const std::string out = fly.output();

    // No scenario behind the flight: the date comes from the simulator's own clock.
    EXPECT_NE(out.find("Start  [2024/11/20 22:4"), std::string::npos) << out;
    for (const char* expected :
         {"Departing Airport: PHNL\n", "Destination Airport: PHJR\n", "Aircraft Type:C172\n",
          "Simulation Rate 16x\n", "DepAirport=PHNL\n", "DestAirport=PHJR\n"}) {
        EXPECT_NE(out.find(expected), std::string::npos) << expected << "\n" << out;
    }

    // Each event at the minute of the simulator's clock the script reached it, or the
    // next (the recorder sees it at its next tick, the landing after a roll).
    const auto minuteAt = [&](double flightSec) {
        return static_cast<int>(
                   std::floor((kStartUtcSec % 86400 + goClockSec + flightSec) / 60.0)) %
               1440;
    };
    const struct {
        const char* event;
        double scriptedSec;
    } rows[] = {
        {"Parking Brakes off", legStartSec(1)},
        {"Take-off", legStartSec(kFirstAirborneLeg)},
        {"Land", touchdownSec},
        {"Parking brakes on", legStartSec(static_cast<int>(kLegs.size()))},
    };
    int previous = -1;
    for (const auto& row : rows) {
        const int logged = loggedMinute(out, row.event);
        ASSERT_NE(logged, -1) << row.event << " is not in the log\n" << out;
        const int expected = minuteAt(row.scriptedSec);
        EXPECT_TRUE(logged == expected || logged == (expected + 1) % 1440)
            << row.event << ": logged at minute " << logged << ", flown at " << expected << "\n"
            << out;
        EXPECT_GE(logged, previous) << row.event << " out of order\n" << out;
        previous = logged;
    }

    const std::size_t rateAt = out.find("TouchDown:Rate ");
    ASSERT_NE(rateAt, std::string::npos) << out;
    const int rateFpm = std::atoi(out.c_str() + rateAt + 15);
    EXPECT_NEAR(rateFpm, kTouchdownFpm, 5.0) << out;
    EXPECT_NE(out.find("RateTD=" + std::to_string(rateFpm) + "\n"), std::string::npos) << out;

    const std::string bridgeOut = bridge.output();
    const std::size_t status = bridgeOut.rfind("packets ");
    std::printf(
        "[gate to gate] %.1f s wall for %.0f s of flight at %gx; touchdown %d ft/min "
        "flown %.0f; bridge over the approach: %s",
        wallSec, legStartSec(static_cast<int>(kLegs.size())), kSpeedUp, rateFpm, kTouchdownFpm,
        status == std::string::npos ? "no status\n" : bridgeOut.c_str() + status);
}

}  // namespace
}  // namespace aviolog::test
