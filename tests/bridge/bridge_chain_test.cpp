// aviolog-bridge as a process between a stand-in FlightGear on loopback and the
// program's side of the simulator IPC: the values with their units, the writes turned
// into property-interface lines, the loss of the simulator, and the bridge's speed.

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <string>
#include <thread>

#include "platform/posix/posix_clock.h"
#include "platform/posix/posix_sim_ipc.h"
#include "simlink/sim_link.h"
#include "simlink/sim_variables.h"
#include "tests/bridge/fake_flightgear.h"
#include "tests/support/child_process.h"
#include "tests/support/sim_fixture.h"
#include "tests/support/wait.h"

namespace aviolog::test {
namespace {

using namespace std::chrono_literals;
namespace var = wire::var;

std::string uniquePrefix() {
    static int runs = 0;
    return "aviolog-bridge-test-" + std::to_string(getpid()) + "-" + std::to_string(++runs) + "-";
}

// An aircraft on final to Honolulu, as FlightGear's properties give it.
void onFinalAtHonolulu(FakeFlightGear& fg) {
    fg.set("/position/latitude-deg", 21.3187);
    fg.set("/position/longitude-deg", -157.9225);
    fg.set("/position/altitude-ft", 1000.0);
    fg.set("/position/ground-elev-ft", 13.0);
    fg.set("/orientation/pitch-deg", 2.5);
    fg.set("/orientation/heading-deg", 80.0);
    fg.set("/velocities/groundspeed-kt", 85.0);
    fg.set("/instrumentation/airspeed-indicator/true-speed-kt", 92.0);
    fg.set("/instrumentation/airspeed-indicator/indicated-speed-kt", 90.0);
    fg.set("/velocities/vertical-speed-fps", -500.0 / 60.0);
    fg.set("/instrumentation/altimeter/setting-hpa", 1013.0);
    fg.set("/environment/pressure-sea-level-inhg", 29.92);
    fg.set("/environment/wind-speed-kt", 12.0);
    fg.set("/environment/wind-from-heading-deg", 60.0);
    fg.set("/environment/temperature-degc", 25.0);
    fg.set("/instrumentation/comm[0]/frequencies/selected-mhz", 118.3);
    fg.set("/controls/gear/gear-down", 1);
    fg.set("/controls/flight/flaps", 1.0 / 3.0);
    for (int i = 0; i < 4; ++i) fg.set("/sim/flaps/setting[" + std::to_string(i) + "]", i / 3.0);
    fg.set("/fdm/jsbsim/inertia/weight-lbs", 2300.0);
    fg.set("/consumables/fuel/tank[0]/level-gal_us", 20.0);
    fg.set("/consumables/fuel/tank[1]/level-gal_us", 20.0);
    fg.set("/consumables/fuel/tank[0]/capacity-gal_us", 28.0);
    fg.set("/consumables/fuel/tank[1]/capacity-gal_us", 28.0);
    fg.set("/consumables/fuel/tank[0]/density-ppg", 6.0);
    fg.set("/sim/time/utc/year", 2024);
    fg.set("/sim/time/utc/month", 11);
    fg.set("/sim/time/utc/day", 20);
    fg.set("/sim/time/utc/hour", 22);
    fg.set("/sim/time/utc/minute", 40);
    fg.set("/sim/time/local-offset", -36000);
    fg.set("/sim/speed-up", 1.0);
    fg.setText("/sim/flight-model", "jsb");
    fg.set("/sim/fdm-initialized", 1);
    fg.set("/sim/sceneryloaded", 1);
}

// FlightGear, the bridge between it and the IPC, and the names to reach them.
struct BridgeRig {
    BridgeRig() : fg(dataPath("flightgear/aviolog.xml")) {
        onFinalAtHonolulu(fg);
        const int udpPort = freeUdpPort();
        started = fg.start(udpPort, 20.0);
        bridge = std::make_unique<ChildProcess>(
            AVIOLOG_BRIDGE_PATH,
            std::vector<std::string>{"--fg-port", std::to_string(udpPort), "--fg-props",
                                     "127.0.0.1:" + std::to_string(fg.propsPort()), "--ipc-prefix",
                                     prefix, "--status", "0"});
    }
    bool answering() {
        return waitFor(
            [&] { return bridge->output().find("answering the program") != std::string::npos; });
    }

    std::string prefix = uniquePrefix();
    FakeFlightGear fg;
    bool started = false;
    std::unique_ptr<ChildProcess> bridge;
};

TEST(BridgeChain, TheProbeReadsFlightGearsValuesInTheInterfacesUnits) {
    BridgeRig rig;
    ASSERT_TRUE(rig.started);
    ASSERT_GT(rig.fg.chunkCount(), 40) << "the shipped protocol file has its chunks";
    ASSERT_TRUE(rig.answering()) << rig.bridge->output();

    ChildProcess probe(AVIOLOG_PROBE_PATH, {"--count", "2", "--interval-ms", "200", "--wait", "10",
                                            "--ipc-prefix", rig.prefix});
    ASSERT_EQ(probe.wait(20000), 0) << probe.output();
    const std::string out = probe.output();
    // 1000 ft is 304 whole metres, shown as 997 ft; the ground at 13 ft is 3 whole metres;
    // the pitch variable counts nose up negative; 0.333 of the lever is detent 1 of 3.
    for (const char* expected :
         {"22:40Z AIR brake off ", "lat  21.31869 lon -157.92250 alt    997 ft agl   301 m",
          "hdg 080 ias  90 gs  85 vs  -500 pitch  -2.5 gear dn flaps 1 ", "fuel    109 kg",
          "gw   2300 lb wind 060/12 com1 118.30 qnh 1013"}) {
        EXPECT_NE(out.find(expected), std::string::npos) << expected << "\n" << out;
    }
}

TEST(BridgeChain, WritesBecomePropertyInterfaceLines) {
    BridgeRig rig;
    ASSERT_TRUE(rig.started);
    ASSERT_TRUE(rig.answering()) << rig.bridge->output();
    platform::posix::PosixClock clock;
    platform::posix::PosixSimIpc ipc(rig.prefix);
    simlink::SimLink link(ipc, clock);
    ASSERT_TRUE(link.open(0)) << link.lastResult();

    ASSERT_TRUE(simlink::writeU16(link, var::PauseControl, 1));
    ASSERT_TRUE(simlink::writeU16(link, var::SimulationRate, 512));
    ASSERT_TRUE(simlink::writeU16(link, var::Crashed, 0));
    ASSERT_TRUE(simlink::writeU32(link, wire::kFuelTanks[5].level, wire::kTankFull / 2));
    ASSERT_TRUE(simlink::showSimMessage(link, "Aviolog: fuel added in flight"));

    const struct {
        const char* name;
        const char* line;
    } rows[] = {
        {"data mode first", "data"},
        {"the flap settings asked", "ls /sim/flaps"},
        {"pause", "set /sim/freeze/master true"},
        {"the clock stops with it", "set /sim/freeze/clock true"},
        {"rate", "set /sim/speed-up 2"},
        {"crash cleared", "set /sim/crashed false"},
        {"left main half full", "set /consumables/fuel/tank[0]/level-gal_us 14.0000"},
        {"message", "set /sim/screen/yellow Aviolog: fuel added in flight"},
    };
    ASSERT_TRUE(waitFor([&] { return rig.fg.propsLines().size() >= std::size(rows); }));
    const auto lines = rig.fg.propsLines();
    for (const auto& row : rows) {
        EXPECT_NE(std::find(lines.begin(), lines.end(), row.line), lines.end()) << row.name;
    }
    EXPECT_EQ(lines.front(), "data");

    // FlightGear took the pause: both pause variables say so once its next picture came.
    ASSERT_TRUE(waitFor([&] {
        const auto indicator = simlink::readU16(link, var::PauseIndicator);
        return indicator && *indicator == 1;
    }));
    EXPECT_EQ(simlink::readU16(link, var::PauseControl), 1);
    EXPECT_TRUE(waitFor([&] { return simlink::readU16(link, var::SimulationRate) == 512; }));
    // The pilot unpauses in FlightGear: the program's pause is over too.
    rig.fg.set("/sim/freeze/master", 0);
    ASSERT_TRUE(waitFor([&] { return simlink::readU16(link, var::PauseControl) == 0; }));
}

TEST(BridgeChain, ASilentFlightGearLeavesTheProgramUnansweredUntilItIsBack) {
    BridgeRig rig;
    ASSERT_TRUE(rig.started);
    ASSERT_TRUE(rig.answering()) << rig.bridge->output();
    rig.fg.setSending(false);
    ASSERT_TRUE(waitFor([&] {
        return rig.bridge->output().find("not answering the program") != std::string::npos;
    })) << rig.bridge->output();
    rig.fg.setSending(true);
    ASSERT_TRUE(waitFor([&] {
        const std::string out = rig.bridge->output();
        return out.rfind("data arriving: answering") > out.find("not answering the program");
    })) << rig.bridge->output();
    ChildProcess probe(AVIOLOG_PROBE_PATH,
                       {"--count", "1", "--wait", "10", "--ipc-prefix", rig.prefix});
    EXPECT_EQ(probe.wait(20000), 0) << probe.output();
}

// For its first seconds, and again after a reset, FlightGear sends an aircraft without
// fuel: a log started then, or the fuel check, would take it for the aircraft.
TEST(BridgeChain, ALoadingFlightGearIsNotAnsweredUntilItHasLoaded) {
    BridgeRig rig;
    ASSERT_TRUE(rig.started);
    ASSERT_TRUE(rig.answering()) << rig.bridge->output();
    rig.fg.set("/sim/fdm-initialized", 0);  // a reset: loading again
    rig.fg.set("/consumables/fuel/tank[0]/level-gal_us", 0.0);
    ASSERT_TRUE(waitFor([&] {
        return rig.bridge->output().find("not answering the program") != std::string::npos;
    })) << rig.bridge->output();
    EXPECT_NE(rig.bridge->output().find("FlightGear is loading"), std::string::npos);
    // Packets keep arriving, and still nothing is answered.
    auto lastStatus = [&] {
        const std::string out = rig.bridge->output();
        const std::size_t at = out.rfind("packets ");
        return at == std::string::npos ? std::string() : out.substr(at, out.find('\n', at) - at);
    };
    rig.bridge->writeLine("status");
    ASSERT_TRUE(waitFor([&] { return !lastStatus().empty(); })) << rig.bridge->output();
    const long loadingPackets = std::atol(lastStatus().c_str() + 8);
    ASSERT_TRUE(waitFor([&] {
        rig.bridge->writeLine("status");
        return std::atol(lastStatus().c_str() + 8) > loadingPackets + 10;
    })) << rig.bridge->output();
    EXPECT_TRUE(lastStatus().ends_with(", not answering")) << lastStatus();

    rig.fg.set("/consumables/fuel/tank[0]/level-gal_us", 20.0);
    rig.fg.set("/sim/fdm-initialized", 1);
    ASSERT_TRUE(waitFor([&] {
        const std::string out = rig.bridge->output();
        const std::size_t lost = out.rfind("not answering the program");
        return out.rfind("data arriving: answering") > lost && lost != std::string::npos;
    })) << rig.bridge->output();
    EXPECT_NE(rig.bridge->output().find("FlightGear has loaded"), std::string::npos);
    ChildProcess probe(AVIOLOG_PROBE_PATH,
                       {"--count", "1", "--wait", "10", "--ipc-prefix", rig.prefix});
    ASSERT_EQ(probe.wait(20000), 0) << probe.output();
    EXPECT_NE(probe.output().find("fuel    109 kg"), std::string::npos) << probe.output();
}

TEST(BridgeChain, MalformedDatagramsNeverReachTheProgram) {
    BridgeRig rig;
    ASSERT_TRUE(rig.started);
    ASSERT_TRUE(rig.answering()) << rig.bridge->output();
    std::string good = rig.fg.packet();
    good.pop_back();
    const std::string rows[] = {
        "",
        "1,2,3\n",
        good + ",extra\n",
        std::string(70000, '7'),
        std::string(good.size(), '\0'),
        "nan," + good.substr(good.find(',') + 1) + "\n",
        "inf,-inf," + good.substr(good.find(',', good.find(',') + 1) + 1) + "\n",
    };
    for (const std::string& row : rows) rig.fg.sendRaw(row);
    platform::posix::PosixClock clock;
    platform::posix::PosixSimIpc ipc(rig.prefix);
    simlink::SimLink link(ipc, clock);
    ASSERT_TRUE(link.open(0));
    for (int i = 0; i < 10; ++i) {
        const auto latitude = simlink::readS32(link, var::Latitude);
        ASSERT_TRUE(latitude);
        EXPECT_NEAR(simlink::convert::latitudeDegrees(*latitude), 21.3187, 1e-4);
        std::this_thread::sleep_for(20ms);
    }
    EXPECT_EQ(rig.bridge->wait(0), -1) << "the bridge is still running\n" << rig.bridge->output();
}

// Not a check of speed (the machine is shared), a record of it: how long an exchange
// takes, how old the picture behind the answers is, and the bridge's processor time while
// FlightGear sends at 20 Hz and the program reads at 20 Hz.
TEST(BridgeChain, MeasuresAnswerTimeDataAgeAndProcessorTime) {
    BridgeRig rig;
    ASSERT_TRUE(rig.started);
    ASSERT_TRUE(rig.answering()) << rig.bridge->output();
    platform::posix::PosixClock clock;
    platform::posix::PosixSimIpc ipc(rig.prefix);
    simlink::SimLink link(ipc, clock);
    ASSERT_TRUE(link.open(0));
    rig.bridge->writeLine("reset");

    auto cpuTicks = [&] {
        std::ifstream stat("/proc/" + std::to_string(rig.bridge->pid()) + "/stat");
        std::string field;
        long ticks = 0;
        for (int i = 1; i <= 15 && stat >> field; ++i) {
            if (i == 14 || i == 15) ticks += std::atol(field.c_str());
        }
        return ticks;
    };
    const long ticksBefore = cpuTicks();
    const auto start = std::chrono::steady_clock::now();
    double worstUs = 0.0;
    double totalUs = 0.0;
    constexpr int kExchanges = 100;  // five seconds at about 20 Hz
    for (int i = 0; i < kExchanges; ++i) {
        std::int32_t altitude = 0, verticalSpeed = 0;
        std::uint16_t onGround = 0;
        const auto t0 = std::chrono::steady_clock::now();
        ASSERT_TRUE(link.read(var::Altitude.offset, 4, &altitude) &&
                    link.read(var::VerticalSpeed.offset, 4, &verticalSpeed) &&
                    link.read(var::OnGround.offset, 2, &onGround) && link.process());
        const double us =
            std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - t0)
                .count();
        worstUs = std::max(worstUs, us);
        totalUs += us;
        // 47 ms: not in step with the 20 Hz pictures, so the ages spread as a sampler sees them.
        std::this_thread::sleep_until(start + (i + 1) * 47ms);
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double cpuPercent =
        100.0 * static_cast<double>(cpuTicks() - ticksBefore) / sysconf(_SC_CLK_TCK) / seconds;
    rig.bridge->writeLine("status");
    ASSERT_TRUE(
        waitFor([&] { return rig.bridge->output().find("exchanges 1") != std::string::npos; }));
    const std::string out = rig.bridge->output();
    const std::string status = out.substr(out.rfind("packets "));
    std::printf("[bridge] exchange mean %.0f us, worst %.0f us; processor %.1f %% of a core; %s",
                totalUs / kExchanges, worstUs, cpuPercent, status.c_str());
    double meanAgeMs = 0.0;
    long long maxAgeMs = 0;
    ASSERT_EQ(std::sscanf(status.c_str() + status.find("data age"), "data age mean %lf ms max %lld",
                          &meanAgeMs, &maxAgeMs),
              2)
        << status;
    // Fresh enough for the touchdown sampler's 100 ms: a picture every 50 ms.
    EXPECT_LT(maxAgeMs, 150) << status;
}

}  // namespace
}  // namespace aviolog::test
