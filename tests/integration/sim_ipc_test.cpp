// The simulator link against an aviolog-sim process over the real Linux transport.

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "common/text_format.h"
#include "platform/posix/posix_clock.h"
#include "platform/posix/posix_sim_ipc.h"
#include "simlink/sim_link.h"
#include "simlink/sim_variables.h"
#include "tests/support/child_process.h"
#include "tests/support/link_rig.h"
#include "tests/support/sim_fixture.h"

namespace aviolog::simlink {
namespace {

using namespace wire;

using namespace std::chrono_literals;

std::string uniquePrefix() {
    static int runs = 0;
    return "aviolog-test-" + std::to_string(getpid()) + "-" + std::to_string(++runs) + "-";
}

// An aviolog-sim process serving under a socket prefix of its own.
struct SimProcess {
    SimProcess(const std::string& prefix, std::vector<std::string> extra = {},
               const std::string& scenario = "short-hop.scn") {
        std::vector<std::string> args{"--scenario",   test::dataPath("scenarios/" + scenario),
                                      "--ipc-prefix", prefix,
                                      "--status",     "0"};
        args.insert(args.end(), extra.begin(), extra.end());
        process = std::make_unique<test::ChildProcess>(AVIOLOG_SIM_PATH, args);
    }
    // Waits until the simulator accepts connections under the class name.
    bool listening(const std::string& prefix, std::string_view windowClass = "UIPCMAIN") {
        platform::posix::PosixSimIpc probe(prefix);
        for (int i = 0; i < 500; ++i) {
            if (const auto w = probe.findWindow(windowClass)) {
                probe.releaseWindow(w);
                return true;
            }
            std::this_thread::sleep_for(10ms);
        }
        return false;
    }
    std::unique_ptr<test::ChildProcess> process;
};


struct Client {
    explicit Client(const std::string& prefix) : ipc(prefix), link(ipc, clock) {
        link.setLossObserver(&losses);
        // The protocol's 2000 ms and 100 ms, shortened so a lost simulator shows in ms.
        link.setTimingForTests(100, 2);
    }
    platform::posix::PosixClock clock;
    platform::posix::PosixSimIpc ipc;
    test::LossCounter losses;
    SimLink link;
};

// A simulator process of its own and a client whose link is open to it.
struct Connected {
    Connected() : prefix(uniquePrefix()), sim(prefix), client(prefix) {
        opened = sim.listening(prefix) && client.link.open(0);
    }
    std::string prefix;
    SimProcess sim;
    Client client;
    bool opened = false;
};

TEST(SimIpcIntegration, OpenReadAndWriteOverTheLinuxTransport) {
    const std::string prefix = uniquePrefix();
    SimProcess sim(prefix);
    ASSERT_TRUE(sim.listening(prefix)) << sim.process->output();
    Client client(prefix);
    ASSERT_TRUE(client.link.open(0)) << client.link.lastResult();
    EXPECT_EQ(client.link.fsuipcVersion(), 0x34800000u);
    EXPECT_EQ(client.link.simulatorVersion(), 7u);
    EXPECT_EQ(readS16(client.link, var::ParkingBrake), kParkingBrakeSet);

    ASSERT_TRUE(writeU16(client.link, var::PauseControl, 1));
    EXPECT_NE(readU16(client.link, var::PauseIndicator).value_or(0), 0);
    ASSERT_TRUE(writeU16(client.link, var::PauseControl, 0));
    EXPECT_EQ(readU16(client.link, var::PauseIndicator).value_or(1), 0);

    // The library version written at the first open never shows in the simulator version.
    client.link.close();
    ASSERT_TRUE(client.link.open(0)) << client.link.lastResult();
    EXPECT_EQ(client.link.simulatorVersion(), 7u);
    EXPECT_GT(readFuelOnBoardKg(client.link), 0.0);
}

TEST(SimIpcIntegration, VersionChecksThroughEachWindowClass) {
    struct Row {
        const char* name;
        std::string window;
        std::string fsuipcVersion;
        std::string simVersion;
        std::uint32_t expected;
    };
    const Row rows[] = {
        {"current peer", "UIPCMAIN", "34800000", "FADE0007", SimLink::kOk},
        {"legacy window", "FS98MAIN", "34800000", "FADE0007", SimLink::kOk},
        {"one below the minimum", "UIPCMAIN", "19980004", "FADE0007", SimLink::kWrongPeer},
        {"one below, legacy window", "FS98MAIN", "19980004", "FADE0007", SimLink::kWrongPeerLegacy},
        {"the minimum itself", "FS98MAIN", "19980005", "FADE0006", SimLink::kOk},
        {"not the interface", "UIPCMAIN", "34800000", "12340007", SimLink::kWrongPeer},
    };
    for (const Row& row : rows) {
        const std::string prefix = uniquePrefix();
        SimProcess sim(prefix, {"--window", row.window, "--fsuipc-version", row.fsuipcVersion,
                                "--sim-version", row.simVersion});
        ASSERT_TRUE(sim.listening(prefix, row.window)) << row.name << sim.process->output();
        Client client(prefix);
        EXPECT_EQ(client.link.open(0), row.expected == SimLink::kOk) << row.name;
        EXPECT_EQ(client.link.lastResult(), row.expected) << row.name;
    }
}

TEST(SimIpcIntegration, InjectedEventsAreVisibleThroughTheLink) {
    Connected connected;
    ASSERT_TRUE(connected.opened) << connected.sim.process->output();
    auto& [prefix, sim, client, opened] = connected;
    const FuelTank& leftMain = kFuelTanks[5];
    const auto nonZero = [&](SimVariable v) { return readU16(client.link, v).value_or(0) != 0; };
    struct Row {
        const char* command;
        std::function<bool()> seen;
    };
    const std::uint32_t levelBefore = readU32(client.link, leftMain.level).value_or(0);
    const Row rows[] = {
        {"pause", [&] { return nonZero(var::PauseIndicator); }},
        {"unpause", [&] { return !nonZero(var::PauseIndicator); }},
        {"slew on", [&] { return nonZero(var::SlewMode); }},
        {"slew off", [&] { return !nonZero(var::SlewMode); }},
        {"rate 4", [&] { return readU16(client.link, var::SimulationRate) == 1024; }},
        {"rate 1", [&] { return readU16(client.link, var::SimulationRate) == kRateOneX; }},
        {"refuel left-main 20",
         [&] { return readU32(client.link, leftMain.level).value_or(0) > levelBefore; }},
        {"crash", [&] { return nonZero(var::Crashed); }},
    };
    for (const Row& row : rows) {
        sim.process->writeLine(row.command);
        bool seen = false;
        for (int i = 0; i < 200 && !seen; ++i) {
            seen = row.seen();
            if (!seen) std::this_thread::sleep_for(5ms);
        }
        EXPECT_TRUE(seen) << row.command << "\n" << sim.process->output();
    }
    // The program clears the crash by writing the flag back to 0.
    ASSERT_TRUE(writeU16(client.link, var::Crashed, 0));
    EXPECT_FALSE(nonZero(var::Crashed));
}

TEST(SimIpcIntegration, NoSimulatorRunning) {
    Client client(uniquePrefix());
    EXPECT_FALSE(client.link.open(0));
    EXPECT_EQ(client.link.lastResult(), SimLink::kNoWindow);
}

TEST(SimIpcIntegration, KilledSimulatorIsLostAndAFreshOneIsFound) {
    const std::string prefix = uniquePrefix();
    auto sim = std::make_unique<SimProcess>(prefix);
    ASSERT_TRUE(sim->listening(prefix));
    Client client(prefix);
    ASSERT_TRUE(client.link.open(0));
    sim->process->signal(SIGKILL);
    sim->process->wait(5000);

    for (int failure = 1; failure <= 4; ++failure) {
        EXPECT_FALSE(readU16(client.link, var::ParkingBrake).has_value());
    }
    EXPECT_EQ(client.link.failureCount(), SimLink::kLostCount);
    EXPECT_EQ(client.losses.losses, 1);
    EXPECT_FALSE(client.link.isOpen());

    // A new simulator under the same name: the old window stays gone, a new open finds it.
    sim = std::make_unique<SimProcess>(prefix);
    ASSERT_TRUE(sim->listening(prefix));
    ASSERT_TRUE(client.link.open(0)) << client.link.lastResult();
    EXPECT_EQ(client.link.simulatorVersion(), 7u);
    EXPECT_TRUE(readU16(client.link, var::ParkingBrake).has_value());
}

TEST(SimIpcIntegration, DeadPeerGivesSendFailedAndAHungOneTimesOut) {
    Connected connected;
    ASSERT_TRUE(connected.opened) << connected.sim.process->output();
    auto& [prefix, sim, client, opened] = connected;

    sim.process->signal(SIGSTOP);
    EXPECT_FALSE(readU16(client.link, var::ParkingBrake).has_value());
    EXPECT_EQ(client.link.lastResult(), SimLink::kTimedOut);
    EXPECT_EQ(client.link.failureCount(), 1);

    // Once it runs again, it drops the requests we gave up on and answers new ones.
    sim.process->signal(SIGCONT);
    EXPECT_EQ(readS16(client.link, var::ParkingBrake), kParkingBrakeSet);
    EXPECT_EQ(client.link.failureCount(), 0);

    sim.process->signal(SIGKILL);
    sim.process->wait(5000);
    EXPECT_FALSE(readU16(client.link, var::ParkingBrake).has_value());
    EXPECT_EQ(client.link.lastResult(), SimLink::kSendFailed);
}

TEST(SimIpcIntegration, SilentCommandStopsAnsweringForAWhile) {
    Connected connected;
    ASSERT_TRUE(connected.opened) << connected.sim.process->output();
    auto& [prefix, sim, client, opened] = connected;
    sim.process->writeLine("silent 3");
    for (int i = 0; i < 500 && sim.process->output().find("not answering") == std::string::npos;
         ++i) {
        std::this_thread::sleep_for(5ms);
    }
    EXPECT_FALSE(readU16(client.link, var::ParkingBrake).has_value());
    EXPECT_EQ(client.link.lastResult(), SimLink::kTimedOut);
    std::this_thread::sleep_for(3000ms);
    EXPECT_EQ(readS16(client.link, var::ParkingBrake), kParkingBrakeSet);
}

TEST(SimIpcIntegration, ProbeFollowsAFlightUntilTheSimulatorStops) {
    const std::string prefix = uniquePrefix();
    SimProcess sim(prefix, {"--speed", "100", "--exit-when-parked"});
    ASSERT_TRUE(sim.listening(prefix));
    test::ChildProcess probe(AVIOLOG_PROBE_PATH, {"--ipc-prefix", prefix, "--interval-ms", "100",
                                                  "--exit-on-loss", "--wait", "10"});
    EXPECT_EQ(probe.wait(120000), 0) << probe.output();
    const std::string out = probe.output();
    EXPECT_NE(out.find("connected; interface version 3.48, simulator 7"), std::string::npos) << out;
    EXPECT_NE(out.find(" GND brake SET"), std::string::npos) << out;
    EXPECT_NE(out.find(" AIR "), std::string::npos) << out;
    EXPECT_NE(out.find("gear up"), std::string::npos) << out;
    EXPECT_NE(out.find("simulator lost"), std::string::npos) << out;
    EXPECT_EQ(sim.process->wait(10000), 0) << sim.process->output();
}

// The blocks of shared memory a process has made and not released.
std::vector<std::string> blocksOf(pid_t pid) {
    const std::string prefix = format("FsasmLib:IPC:%X:", static_cast<unsigned>(pid));
    std::vector<std::string> blocks;
    for (const auto& entry : std::filesystem::directory_iterator("/dev/shm")) {
        const std::string name = entry.path().filename().string();
        if (name.starts_with(prefix)) blocks.push_back(name);
    }
    return blocks;
}

TEST(SimIpcIntegration, ProbeGivesUpWhenTheFirstAttemptOutlastsTheWait) {
    const std::string prefix = uniquePrefix();
    SimProcess sim(prefix);
    ASSERT_TRUE(sim.listening(prefix));
    sim.process->writeLine("silent 600");
    for (int i = 0; i < 500 && sim.process->output().find("not answering") == std::string::npos;
         ++i) {
        std::this_thread::sleep_for(5ms);
    }
    test::ChildProcess probe(AVIOLOG_PROBE_PATH, {"--ipc-prefix", prefix, "--wait", "1"});
    EXPECT_EQ(probe.wait(30000), 1) << probe.output();
    EXPECT_NE(probe.output().find("no simulator: the simulator does not answer"), std::string::npos)
        << probe.output();
}

TEST(SimIpcIntegration, AStoppedProbeReleasesItsSharedBlock) {
    for (const int sig : {SIGINT, SIGTERM}) {
        const std::string prefix = uniquePrefix();
        SimProcess sim(prefix);
        ASSERT_TRUE(sim.listening(prefix));
        test::ChildProcess probe(AVIOLOG_PROBE_PATH, {"--ipc-prefix", prefix, "--interval-ms", "50"});
        for (int i = 0; i < 1000 && probe.output().find(" GND ") == std::string::npos; ++i) {
            std::this_thread::sleep_for(5ms);
        }
        ASSERT_EQ(blocksOf(probe.pid()).size(), 1u) << sig << "\n" << probe.output();
        const pid_t pid = probe.pid();
        probe.signal(sig);
        EXPECT_EQ(probe.wait(10000), 0) << sig << "\n" << probe.output();
        EXPECT_TRUE(blocksOf(pid).empty()) << sig;
    }
}

TEST(SimIpcIntegration, TheSimulatorPrintsItsFirstStatusLineOnce) {
    const std::string prefix = uniquePrefix();
    test::ChildProcess sim(AVIOLOG_SIM_PATH,
                           {"--scenario", test::dataPath("scenarios/short-hop.scn"), "--ipc-prefix",
                            prefix, "--status", "0"});
    std::this_thread::sleep_for(500ms);
    sim.writeLine("quit");
    EXPECT_EQ(sim.wait(10000), 0);
    const std::string out = sim.output();
    std::size_t lines = 0;
    for (std::size_t at = out.find("T+00:00:00"); at != std::string::npos;
         at = out.find("T+00:00:00", at + 1)) {
        ++lines;
    }
    EXPECT_EQ(lines, 2u) << "the first status line, and the last one on quitting\n" << out;
}

}  // namespace
}  // namespace aviolog::simlink
