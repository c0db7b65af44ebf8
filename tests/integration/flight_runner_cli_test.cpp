// aviolog-fly as a new user meets it: what it refuses, what its exit status says, and how
// a live flight ends when the pilot presses Ctrl-C.

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "common/text_file.h"
#include "common/text_format.h"
#include "config/ini_file.h"
#include "tests/support/child_process.h"
#include "tests/support/sim_fixture.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wait.h"

namespace aviolog::test {
namespace {

using namespace std::chrono_literals;

std::string shortHop() {
    return dataPath("scenarios/short-hop.scn");
}

// A working directory with the shipped template only: the flight is a private one.
struct FlyDir {
    FlyDir() { dir.write("aviolog.ori", readFileBytes(dataPath("aviolog.ori")).value_or("")); }
    // Runs aviolog-fly to its end; the exit status, the output in out.
    int fly(std::vector<std::string> args) {
        args.insert(args.begin(), {"--dir", dir.path().string()});
        ChildProcess process(AVIOLOG_FLY_PATH, args);
        const int status = process.wait(60000);
        out = process.output();
        return status;
    }
    TempDir dir;
    std::string out;
};

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

TEST(FlightRunnerCli, BadOptionsAreRefusedWithAClearMessage) {
    const struct {
        const char* name;
        std::vector<std::string> args;
        const char* message;
    } rows[] = {
        {"accept and dismiss",
         {"--scenario", shortHop(), "--accept", "--dismiss"},
         "--accept and --dismiss exclude each other"},
        {"29 February of a common year",
         {"--scenario", shortHop(), "--set-date", "2023-02-29"},
         "--set-date wants a date that exists"},
        {"31 April",
         {"--scenario", shortHop(), "--set-date", "2024-04-31"},
         "--set-date wants a date that exists"},
        {"trailing text",
         {"--scenario", shortHop(), "--set-date", "2024-04-01x"},
         "--set-date wants a date that exists"},
        {"online network outside the list",
         {"--scenario", shortHop(), "--online", "PilotEdge"},
         "--online: No, VATSIM, IVAO or FPI"},
        {"an event the simulator does not know",
         {"--scenario", shortHop(), "--event", "at 0:10:00 fly-to-mars"},
         "--event 'at 0:10:00 fly-to-mars': "},
    };
    for (const auto& row : rows) {
        FlyDir d;
        EXPECT_EQ(d.fly(row.args), 2) << row.name << "\n" << d.out;
        EXPECT_TRUE(contains(d.out, row.message)) << row.name << "\n" << d.out;
        EXPECT_FALSE(contains(d.out, ": line ")) << row.name << ": no line of a file never seen";
    }
    // A leap day exists.
    FlyDir leap;
    EXPECT_EQ(leap.fly({"--scenario", shortHop(), "--set-date", "2024-02-29"}), 0) << leap.out;
}

TEST(FlightRunnerCli, AFolderWhereTheSettingsCannotBeMadeIsNotSaidToLackTheTemplate) {
    FlyDir d;
    std::filesystem::create_directory(d.dir / "aviolog.ini");  // nothing can replace it
    EXPECT_EQ(d.fly({"--scenario", shortHop()}), 2) << d.out;
    EXPECT_TRUE(contains(d.out, "cannot create aviolog.ini from aviolog.ori")) << d.out;
    EXPECT_FALSE(contains(d.out, "is aviolog.ori there?")) << d.out;
}

TEST(FlightRunnerCli, TheExitStatusSaysWhetherEveryStepAskedForSucceeded) {
    const struct {
        const char* name;
        std::string tamperedFile;  // a pilot log file already there, or none
        std::string logPath;       // [Log] LogPath of aviolog.ini, or the template's
        std::vector<std::string> args;
        int status;
        const char* failure;
    } rows[] = {
        {"accepted and stored", "", "", {"--accept"}, 0, ""},
        {"a tampered pilot log file takes no flight",
         "[FlightLog1]\r\nDate=2004/05/01\r\n12345\r\n",
         "",
         {"--accept"},
         1,
         "the flight was not stored"},
        {"a log folder that cannot be written, the chooser cancelled",
         "",
         "missing\\\\",
         {"--accept"},
         1,
         "the flight was not stored"},
        {"Save Log into a missing folder",
         "",
         "",
         {"--save-log", "/nonexistent/x/log.txt"},
         1,
         "Save Log wrote no file"},
        {"Save ACARS into a missing folder",
         "",
         "",
         {"--save-acars", "/nonexistent/x/a.txt"},
         1,
         "Save ACARS wrote no file"},
        {"Send LOG without a stored flight",
         "",
         "",
         {"--send-log"},
         1,
         "Send LOG did not deliver every stored flight"},
    };
    for (const auto& row : rows) {
        FlyDir d;
        if (!row.tamperedFile.empty()) d.dir.write("user.dat", row.tamperedFile);
        if (!row.logPath.empty()) {
            d.dir.write("aviolog.ini", readFileBytes(dataPath("aviolog.ori")).value_or(""));
            ASSERT_TRUE(
                config::IniFile(d.dir / "aviolog.ini").setString("Log", "LogPath", row.logPath));
        }
        std::vector<std::string> args = {"--scenario", shortHop()};
        args.insert(args.end(), row.args.begin(), row.args.end());
        EXPECT_EQ(d.fly(args), row.status) << row.name << "\n" << d.out;
        if (*row.failure) {
            EXPECT_TRUE(contains(d.out, std::string("aviolog-fly: ") + row.failure))
                << row.name << "\n"
                << d.out;
        }
    }
    // Without a flight, too.
    FlyDir none;
    EXPECT_EQ(none.fly({"--send-log"}), 1) << none.out;
}

// The shared memory blocks a process made and did not release.
std::size_t blocksOf(pid_t pid) {
    const std::string prefix = format("FsasmLib:IPC:%X:", static_cast<unsigned>(pid));
    std::size_t blocks = 0;
    for (const auto& entry : std::filesystem::directory_iterator("/dev/shm")) {
        if (entry.path().filename().string().starts_with(prefix)) ++blocks;
    }
    return blocks;
}

TEST(FlightRunnerCli, CtrlCStopsALiveLogAndTheFlightIsAccepted) {
    const std::string prefix = "aviolog-test-ctrlc-" + std::to_string(getpid()) + "-";
    const std::string scenario = dataPath("scenarios/lppt-lppr.scn");
    FlyDir d;
    ChildProcess sim(AVIOLOG_SIM_PATH, {"--scenario", scenario, "--speed", "20", "--status", "0",
                                        "--ipc-prefix", prefix});
    ChildProcess fly(AVIOLOG_FLY_PATH, {"--live", "--speed", "20", "--ipc-prefix", prefix, "--dir",
                                        d.dir.path().string(), "--scenario", scenario, "--accept"});
    ASSERT_TRUE(waitFor([&] { return contains(fly.output(), "Take off"); }, 60000ms))
        << fly.output();
    EXPECT_EQ(blocksOf(fly.pid()), 1u);
    const pid_t pid = fly.pid();
    fly.signal(SIGINT);
    EXPECT_EQ(fly.wait(20000), 0) << fly.output();
    const std::string out = fly.output();
    EXPECT_TRUE(contains(out, "[Flight Summary]")) << out;
    EXPECT_TRUE(d.dir.exists("user.dat")) << "accepted and stored\n" << out;
    EXPECT_EQ(blocksOf(pid), 0u) << "the shared block is released";
    EXPECT_TRUE(contains(out, "aviolog-fly: simulator connected\n")) << out;
    EXPECT_FALSE(contains(out, " 0 exchanges")) << out;
}

TEST(FlightRunnerCli, WaitingForTheSimulatorIsSaidOnceAndHasNoTimeLimit) {
    const std::string prefix = "aviolog-test-nosim-" + std::to_string(getpid()) + "-";
    FlyDir d;
    ChildProcess fly(AVIOLOG_FLY_PATH, {"--live", "--speed", "1000", "--ipc-prefix", prefix,
                                        "--dir", d.dir.path().string(), "--scenario", shortHop()});
    ASSERT_TRUE(waitFor([&] { return contains(fly.output(), "waiting for the simulator\n"); }, 60s))
        << fly.output();
    // At 1000 times real time the 300 simulated minutes of the old limit pass in 18 s of
    // waiting: the runner is watched that long, and a limit or an exit fails it at once.
    const bool stillWaiting = holdsFor(
        [&] { return fly.wait(0) == -1 && !contains(fly.output(), "time limit"); }, 19s, 100ms);
    EXPECT_TRUE(stillWaiting) << fly.output();
    fly.signal(SIGTERM);
    EXPECT_EQ(fly.wait(10000), 1) << fly.output();
    const std::string all = fly.output();
    const auto count = [&](const std::string& what) {
        std::size_t n = 0;
        for (auto at = all.find(what); at != std::string::npos; at = all.find(what, at + 1)) ++n;
        return n;
    };
    EXPECT_EQ(count("aviolog-fly: waiting for the simulator\n"), 1u) << all;
    EXPECT_EQ(count("aviolog-fly: Plane at Departure Airport? -> Yes\n"), 1u) << all;
    EXPECT_TRUE(contains(all, "interrupted before the log started")) << all;
}

// A real simulator's flight has no scenario: its end is still said, and the exit status
// is the one of every other flight.
TEST(FlightRunnerCli, ALiveFlightWithTypedAirportsEndsWithItsStatus) {
    const std::string prefix = "aviolog-test-typed-" + std::to_string(getpid()) + "-";
    FlyDir d;
    ChildProcess fly(AVIOLOG_FLY_PATH, {"--live", "--ipc-prefix", prefix, "--dir",
                                        d.dir.path().string(), "--from", "PHNL", "--to", "PHJR"});
    ASSERT_TRUE(
        waitFor([&] { return contains(fly.output(), "waiting for the simulator"); }, 20000ms))
        << fly.output();
    fly.signal(SIGINT);
    EXPECT_EQ(fly.wait(10000), 1) << fly.output();
    EXPECT_TRUE(contains(fly.output(), "interrupted before the log started")) << fly.output();
}

}  // namespace
}  // namespace aviolog::test
