// aviolog-fly flying live against an aviolog-sim process over the Linux IPC, as the demo
// does, with both sped up so the approach to Porto takes seconds. The figures are the
// virtual-time tests' business: a loaded machine may wake the live timers late (at 20x the
// touchdown sampler can then read the rate once the wheels are already on the ground).

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "common/text_file.h"
#include "tests/support/child_process.h"
#include "tests/support/sim_fixture.h"
#include "tests/support/temp_dir.h"

namespace aviolog::test {
namespace {

TEST(FlightRunnerLive, RecordsAFlightFromARunningSimulator) {
    const std::string prefix = "aviolog-test-fly-" + std::to_string(getpid()) + "-";
    const std::string scenario = dataPath("scenarios/touch-and-bounce.scn");
    const std::string speed = "20";
    TempDir dir;
    dir.write("aviolog.ori", readFileBytes(dataPath("aviolog.ori")).value_or(""));

    ChildProcess sim(AVIOLOG_SIM_PATH, {"--scenario", scenario, "--speed", speed, "--status", "0",
                                        "--ipc-prefix", prefix, "--exit-when-parked"});
    ASSERT_TRUE(sim.started());
    ChildProcess fly(AVIOLOG_FLY_PATH, {"--live", "--speed", speed, "--ipc-prefix", prefix, "--dir",
                                        dir.path().string(), "--scenario", scenario, "--aircraft",
                                        "A320", "--limit", "30"});
    ASSERT_TRUE(fly.started());
    EXPECT_EQ(fly.wait(120000), 0) << fly.output();
    const std::string out = fly.output();
    for (const char* expected :
         {"Start  [2024/11/20 22:40]", "TouchDown:Rate ", "  Land\n", "  Parking brakes on\n",
          "[Flight Summary]\n", "PlaneType=A320\n"}) {
        EXPECT_NE(out.find(expected), std::string::npos) << expected << "\n" << out;
    }
    EXPECT_NE(out.find("Aircraft Type:A320"), std::string::npos) << "the header, once stopped";
}

}  // namespace
}  // namespace aviolog::test
