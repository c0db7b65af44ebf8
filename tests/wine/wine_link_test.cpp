// The simulator link through the Win32 calls under Wine, against aviolog-sim.exe in the
// same prefix: every result code that real Windows calls can give, as the Linux tests reach
// them over the Linux transport. (3, 4 and 6 need a system that refuses a message, an atom
// or a view: the in-process tests reach them with a double.)

#include <gtest/gtest.h>

#include <csignal>
#include <string>
#include <vector>

#include "tests/support/sim_fixture.h"
#include "tests/wine/wine_rig.h"

namespace aviolog::test {
namespace {

// One step of the link check and what it must answer.
struct Step {
    std::string line;
    std::string answer;
};

struct LinkRow {
    const char* name;
    std::vector<std::string> simArgs;  // empty: no simulator runs
    std::vector<Step> steps;
};

const std::string kBrakeSet = "32767";

TEST(WineLink, EveryResultCodeThroughTheWin32Calls) {
    if (const std::string why = wineUnavailable(); !why.empty()) GTEST_SKIP() << why;
    const std::string scenario = dataPath("scenarios/lppt-lppr.scn");
    const std::vector<LinkRow> rows = {
        {"no simulator", {}, {{"open", "open 2"}, {"exchange", "exchange 9 -1 1 0"}}},
        {"both windows",
         {"--scenario", scenario},
         {{"open", "open 0"},
          {"exchange", "exchange 0 " + kBrakeSet + " 0 0"},
          {"open", "open 1"},
          {"empty", "empty 10"},
          {"read 32493", "read 15"},
          {"read 32492", "read 0"},
          {"read 0", "read 15"},
          {"close", "close"},
          {"read 4", "read 9"}}},
        {"FS98MAIN alone",
         {"--scenario", scenario, "--window", "FS98MAIN"},
         {{"open", "open 0"}, {"exchange", "exchange 0 " + kBrakeSet + " 0 0"}}},
        {"another simulator asked for", {"--scenario", scenario}, {{"open 5", "open 8"}}},
        {"the simulator asked for", {"--scenario", scenario}, {{"open 7", "open 0"}}},
        {"one below the minimum",
         {"--scenario", scenario, "--fsuipc-version", "19980004"},
         {{"open", "open 7"}}},
        {"one below, through FS98MAIN",
         {"--scenario", scenario, "--fsuipc-version", "19980004", "--window", "FS98MAIN"},
         {{"open", "open 14"}}},
        {"the minimum itself",
         {"--scenario", scenario, "--fsuipc-version", "19980005"},
         {{"open", "open 0"}}},
        {"not the interface",
         {"--scenario", scenario, "--sim-version", "12340007"},
         {{"open", "open 7"}}},
        {"the block's name in use",
         {"--scenario", scenario},
         {{"take", "take held"}, {"open", "open 5"}, {"open", "open 0"}}},
        {"an interface that refuses",
         {"--scenario", scenario, "--reply", "0"},
         {{"open", "open 13"}}},
        {"an answer that changes a record",
         {"--scenario", scenario, "--garble"},
         {{"open", "open 13"}}},
    };
    for (const LinkRow& row : rows) {
        std::unique_ptr<ChildProcess> sim;
        if (!row.simArgs.empty()) {
            std::vector<std::string> args = row.simArgs;
            args.insert(args.end(), {"--status", "0"});
            sim = startUnderWine("sim/aviolog-sim.exe", args);
            ASSERT_TRUE(waitForOutput(*sim, "serving as")) << row.name << "\n" << sim->output();
        }
        auto check = startUnderWine("tests/wine/aviolog-link-check.exe", {});
        LineDriver link(*check);
        for (const Step& step : row.steps) {
            EXPECT_EQ(link.ask(step.line), step.answer) << row.name << ": " << step.line;
        }
        check->writeLine("quit");
        EXPECT_EQ(check->wait(20000), 0) << row.name;
        if (sim) {
            sim->closeInput();
            EXPECT_EQ(sim->wait(20000), 0) << row.name << "\n" << sim->output();
        }
    }
}

// A silent simulator times out (11) and answers again; a killed one gives the system's
// error (12), and the fourth failure in a row declares it lost.
TEST(WineLink, SilentThenKilledSimulator) {
    if (const std::string why = wineUnavailable(); !why.empty()) GTEST_SKIP() << why;
    auto sim = startUnderWine("sim/aviolog-sim.exe",
                              {"--scenario", dataPath("scenarios/lppt-lppr.scn"), "--status", "0"});
    ASSERT_TRUE(waitForOutput(*sim, "serving as")) << sim->output();
    auto check = startUnderWine("tests/wine/aviolog-link-check.exe", {});
    LineDriver link(*check);
    ASSERT_EQ(link.ask("open"), "open 0");
    ASSERT_EQ(link.ask("timing 200 10"), "timing 200 10");

    sim->writeLine("silent 60");
    ASSERT_TRUE(waitForOutput(*sim, "not answering")) << sim->output();
    EXPECT_EQ(link.ask("exchange"), "exchange 11 -1 1 0");
    sim->writeLine("answer");
    ASSERT_TRUE(
        waitForOutput(*sim, "answering\r\n", 20000, sim->output().find("not answering") + 4))
        << sim->output();
    EXPECT_EQ(link.ask("exchange"), "exchange 0 " + kBrakeSet + " 0 0");

    sim->signal(SIGKILL);
    sim->wait(20000);
    EXPECT_EQ(link.ask("exchange"), "exchange 12 -1 1 0");
    EXPECT_EQ(link.ask("exchange"), "exchange 12 -1 2 0");
    EXPECT_EQ(link.ask("exchange"), "exchange 12 -1 3 0");
    EXPECT_EQ(link.ask("exchange"), "exchange 12 -1 4 1") << "the fourth failure: lost";
    EXPECT_EQ(link.ask("exchange"), "exchange 9 -1 4 1") << "closed, lost once";
    check->writeLine("quit");
    EXPECT_EQ(check->wait(20000), 0);
}

}  // namespace
}  // namespace aviolog::test
