// Whole flights recorded on Linux from aviolog-sim.exe under Wine, the way a pilot records
// a simulator run under Wine or Proton: aviolog-fly --live talks to aviolog-bridge --fsuipc,
// which passes every exchange to aviolog-fsuipc-relay.exe in the prefix, which sends it to
// the simulator interface's window through the Win32 calls.

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <string>
#include <vector>

#include "common/text_file.h"
#include "tests/support/sim_fixture.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wait.h"
#include "tests/wine/wine_rig.h"

namespace aviolog::test {
namespace {

// The moments of a log, in order: each line's text up to its first figure, the times
// taken off. A live run may wake its timers late and read a figure one tick later than the
// virtual-time golden flight, but it must log the same moments in the same order.
std::vector<std::string> moments(const std::string& log) {
    std::vector<std::string> out;
    std::size_t at = log.find("Start  [");
    while (at != std::string::npos && at < log.size()) {
        const std::size_t end = log.find('\n', at);
        std::string line = log.substr(at, end - at);
        at = end == std::string::npos ? end : end + 1;
        if (line.empty() || line.front() == '[') break;
        if (line.size() > 7 && line[2] == ':' && line.compare(5, 2, "  ") == 0) line.erase(0, 7);
        const std::size_t figure = line.find_first_of("0123456789");
        out.push_back(line.substr(0, figure));
    }
    return out;
}

struct RelayFlight {
    std::string prefix = "aviolog-wine-" + std::to_string(getpid()) + "-";
    int port = freeLoopbackPort();
    TempDir dir;
    std::unique_ptr<ChildProcess> sim, relay, bridge, fly;

    // The golden flights' airline and form: a kilogram airline that stops at blocks on,
    // their flap names and METARs.
    RelayFlight(const std::string& scenario, const std::string& speed) {
        std::string shipped = readFileBytes(dataPath("aviolog.ori")).value_or("");
        dir.write("aviolog.ori", shipped);
        if (const std::size_t at = shipped.find("AutomatedStop=0"); at != std::string::npos) {
            shipped.replace(at, 15, "AutomatedStop=1");
        }
        dir.write("aviolog.ini", shipped);
        dir.write("TAP.ini",
                  "[Aviolog]\r\nCompanyICAO=TAP\r\nCompanyName=Example Air\r\nCompanyIATA=TP\r\n"
                  "PilotNumber=123\r\nUnitSystem=IS\r\nCallsignUses=Flight\r\n");
        sim = startUnderWine("sim/aviolog-sim.exe", {"--scenario", dataPath(scenario), "--speed",
                                                     speed, "--status", "0", "--exit-when-parked"});
        startRelay();
        bridge = std::make_unique<ChildProcess>(
            AVIOLOG_BRIDGE_PATH,
            std::vector<std::string>{"--fsuipc", "127.0.0.1:" + std::to_string(port),
                                     "--ipc-prefix", prefix});
        fly = std::make_unique<ChildProcess>(
            AVIOLOG_FLY_PATH,
            std::vector<std::string>{"--live",
                                     "--speed",
                                     speed,
                                     "--ipc-prefix",
                                     prefix,
                                     "--dir",
                                     dir.path().string(),
                                     "--scenario",
                                     dataPath(scenario),
                                     "--aircraft",
                                     "A320",
                                     "--registration",
                                     "CS-TNA",
                                     "--flight",
                                     "TP1944",
                                     "--callsign",
                                     "TAP1944",
                                     "--cargo",
                                     "2500",
                                     "--flap-names",
                                     "UP,1,2,3,FULL",
                                     "--metar",
                                     "LPPT=LPPT 140920Z 34010KT CAVOK 21/12 Q1018",
                                     "--metar",
                                     "LPPR=LPPR 141000Z 34012KT 9999 FEW020 19/13 Q1016",
                                     "--limit",
                                     "30"});
    }
    void startRelay() {
        relay = startUnderWine("bridge/aviolog-fsuipc-relay.exe", {"--port", std::to_string(port)});
    }
    bool ready() {
        return waitForOutput(*sim, "serving as") && waitForOutput(*relay, "listening on");
    }
};

TEST(WineRelay, AFlightThroughTheRelayLogsTheGoldenFlight) {
    if (const std::string why = wineUnavailable(); !why.empty()) GTEST_SKIP() << why;
    RelayFlight flight("scenarios/touch-and-bounce.scn", "20");
    ASSERT_TRUE(flight.ready()) << flight.sim->output() << flight.relay->output();
    ASSERT_EQ(flight.fly->wait(180000), 0) << flight.fly->output() << flight.bridge->output();
    const std::string out = flight.fly->output();
    const std::string golden =
        readFileBytes(std::string(AVIOLOG_GOLDEN_DIR) + "/bounce.log").value_or("");
    ASSERT_FALSE(golden.empty());
    // The golden log is the one stored (its header first); the runner prints the lines as
    // they come, then the stored log.
    const std::size_t stored = out.rfind("Flight IATA:");
    ASSERT_NE(stored, std::string::npos) << out;
    EXPECT_EQ(moments(out.substr(stored)), moments(golden)) << out;
    // The header is the form's and the airline's: the golden flight's, byte for byte.
    const std::string header =
        golden.substr(golden.find('\n') + 1, golden.find("Start  [") - golden.find('\n') - 1);
    EXPECT_NE(out.find(header, stored - 1), std::string::npos) << header << "\n" << out;
    EXPECT_NE(out.find("TouchDown:Rate -"), std::string::npos) << out;
    EXPECT_NE(out.find("[Flight Summary]\n"), std::string::npos) << out;
    EXPECT_NE(flight.bridge->output().find("the relay answers"), std::string::npos);
}

TEST(WineRelay, AKilledRelayIsALostSimulatorAndTheFlightResumes) {
    if (const std::string why = wineUnavailable(); !why.empty()) GTEST_SKIP() << why;
    RelayFlight flight("scenarios/touch-and-bounce.scn", "4");
    ASSERT_TRUE(flight.ready()) << flight.sim->output() << flight.relay->output();
    ASSERT_TRUE(waitForOutput(*flight.fly, "Take off Weight", 60000)) << flight.fly->output();
    flight.relay->signal(SIGKILL);
    flight.relay->wait(20000);
    ASSERT_TRUE(waitForOutput(*flight.fly, "simulator lost", 60000))
        << flight.fly->output() << flight.bridge->output();
    const std::size_t lost = flight.fly->output().find("simulator lost");
    flight.startRelay();
    ASSERT_TRUE(waitForOutput(*flight.relay, "listening on")) << flight.relay->output();
    ASSERT_TRUE(waitForOutput(*flight.fly, "simulator connected", 60000, lost))
        << flight.fly->output() << flight.bridge->output() << flight.relay->output()
        << flight.sim->output();
    ASSERT_EQ(flight.fly->wait(240000), 0) << flight.fly->output() << flight.bridge->output();
    const std::string out = flight.fly->output();
    const std::string stored = out.substr(out.rfind("Flight IATA:"));
    const std::vector<std::string> logged = moments(stored);
    // Nothing invented: the moments after the resume are the flight's own, once each.
    for (const char* moment : {"Take-off", "TouchDown:Rate -", "Land", "Parking brakes on"}) {
        EXPECT_EQ(std::count(logged.begin(), logged.end(), moment), 1) << moment << "\n" << out;
    }
    EXPECT_NE(flight.bridge->output().find("cannot reach the relay"), std::string::npos)
        << flight.bridge->output();
}

}  // namespace
}  // namespace aviolog::test
