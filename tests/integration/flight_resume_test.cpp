// A live flight whose aviolog-fly is killed (SIGKILL) at a moment of the flight and started
// again in the same folder while aviolog-sim flies on: the restarted program takes the
// flight up from its journal and records it to the gate.

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "reporting/pilot_log_file.h"
#include "reporting/seal.h"
#include "tests/support/child_process.h"
#include "tests/support/flight_rig.h"
#include "tests/support/fly_output.h"
#include "tests/support/loopback_va_server.h"
#include "tests/support/sim_fixture.h"
#include "tests/support/wait.h"

namespace aviolog::test {
namespace {

constexpr const char* kSpeed = "20";
constexpr const char* kRestartedText = "  Aviolog restarted, flight resumed";

// The short hop at the tests' speed, under a socket prefix of the test's own.
std::vector<std::string> simArgs(const std::string& prefix) {
    return {"--scenario",        dataPath("scenarios/short-hop.scn"),
            "--speed",           kSpeed,
            "--status",          "0.05",
            "--ipc-prefix",      prefix,
            "--exit-when-parked"};
}

// aviolog-fly live against it in dir: the flight stored at its end, and an unfinished one
// found at the start resumed.
std::vector<std::string> liveFlyArgs(const std::string& prefix, const std::string& dir) {
    return {"--live",
            "--speed",
            kSpeed,
            "--ipc-prefix",
            prefix,
            "--dir",
            dir,
            "--scenario",
            dataPath("scenarios/short-hop.scn"),
            "--aircraft",
            "C25B",
            "--flight",
            "TP1944",
            "--limit",
            "30",
            "--accept",
            "--answer",
            "An unfinished flight was found. Resume it?=yes"};
}

// The log lines aviolog-fly printed as it recorded: "Start  [...]" and "HH:MM  text".
std::vector<std::string> printedLogLines(const std::string& output) {
    std::vector<std::string> lines;
    for (const std::string& line : linesOf(output)) {
        if (line.starts_with("[")) break;  // the whole log, printed at the end
        const bool timed = line.size() > 7 && line[2] == ':' && line.substr(5, 2) == "  ";
        if (line.starts_with("Start  [") || timed) lines.push_back(line);
    }
    return lines;
}

// The simulator's latest status line: its stage and height above ground.
struct SimState {
    std::string stage;
    double aglFt = -1;
};
SimState simState(const std::string& output) {
    const std::vector<std::string> lines = linesOf(output);
    for (auto it = lines.rbegin(); it != lines.rend(); ++it) {
        if (!it->starts_with("T+")) continue;
        std::istringstream in(*it);
        std::string time, clock, stage, word;
        in >> time >> clock >> stage;
        SimState state{stage};
        while (in >> word) {
            if (word == "agl" && (in >> word)) state.aglFt = std::atof(word.c_str());
        }
        return state;
    }
    return {};
}

struct Moment {
    const char* name;
    const char* stage;      // the simulator's stage at the kill
    double belowAglFt = 0;  // and lower than this, when not 0
    bool afterContact = false;
};

void PrintTo(const Moment& m, std::ostream* os) {
    *os << m.name;
}

class FlightResume : public ::testing::TestWithParam<Moment> {};

TEST_P(FlightResume, AKilledProgramResumesTheFlightToTheGate) {
    const Moment m = GetParam();
    const std::string prefix =
        "aviolog-test-resume-" + std::to_string(getpid()) + "-" + m.name + "-";
    FlightRig rig;
    const std::string dir = rig.dir.path().string();
    ChildProcess sim(AVIOLOG_SIM_PATH, simArgs(prefix));
    ASSERT_TRUE(sim.started());
    const std::vector<std::string> flyArgs = liveFlyArgs(prefix, dir);
    const std::string settingsBefore = rig.dir.read("aviolog.ini");
    std::string killedOutput;
    std::string settingsAtKill;
    {
        ChildProcess fly(AVIOLOG_FLY_PATH, flyArgs);
        ASSERT_TRUE(fly.started());
        const bool reached = waitFor(
            [&] {
                const SimState s = simState(sim.output());
                return s.stage == m.stage && (m.belowAglFt == 0 || s.aglFt < m.belowAglFt);
            },
            std::chrono::seconds(120), std::chrono::milliseconds(2));
        ASSERT_TRUE(reached) << m.name << "\n" << sim.output();
        fly.signal(SIGKILL);
        fly.wait(10000);
        killedOutput = fly.output();
        settingsAtKill = rig.dir.read("aviolog.ini");
    }
    ChildProcess again(AVIOLOG_FLY_PATH, flyArgs);
    ASSERT_TRUE(again.started());
    ASSERT_EQ(again.wait(180000), 0) << m.name << "\n" << again.output();
    const std::string out = again.output();

    const std::vector<std::string> before = printedLogLines(killedOutput);
    const std::vector<std::string> log = finalLog(out);
    ASSERT_FALSE(log.empty()) << m.name << "\n" << out;
    const auto restart = std::find_if(log.begin(), log.end(), [](const std::string& line) {
        return line.find(kRestartedText) != std::string::npos;
    });
    ASSERT_NE(restart, log.end()) << m.name << "\n" << out;
    EXPECT_EQ(std::count_if(
                  log.begin(), log.end(),
                  [](const std::string& l) { return l.find(kRestartedText) != std::string::npos; }),
              1)
        << m.name;
    // Every line shown before the kill, in its order, before the restart line.
    const std::vector<std::string> kept(log.begin(), restart);
    ASSERT_LE(before.size(), kept.size()) << m.name << "\n" << killedOutput << "\n" << out;
    EXPECT_TRUE(std::equal(before.begin(), before.end(), kept.begin())) << m.name << "\n"
                                                                        << killedOutput << "\n"
                                                                        << out;
    std::set<std::string> seen;
    for (const std::string& line : log) {
        EXPECT_TRUE(seen.insert(line).second) << m.name << ": twice: " << line << "\n" << out;
    }
    EXPECT_NE(out.find("  Parking brakes on\n"), std::string::npos) << m.name << "\n" << out;

    // A touchdown the restarted program did not sample has no rate; one it logged before
    // the kill keeps its figure.
    const std::string rate = summaryValue(out, "RateTD");
    const auto touchdown = std::find_if(log.begin(), log.end(), [](const std::string& line) {
        return line.find("TouchDown:Rate ") != std::string::npos;
    });
    if (touchdown == log.end()) {
        EXPECT_EQ(rate, "") << m.name << "\n" << out;
    } else {
        EXPECT_NE(touchdown->find("Rate " + rate + " ft/min"), std::string::npos) << m.name << "\n"
                                                                                  << out;
        if (m.afterContact) {
            EXPECT_LT(touchdown, restart) << m.name << ": sampled after contact";
        }
    }

    // The settings as they were: untouched by the kill, and every value set before the
    // flight still there once the restarted program wrote them back at its exit.
    EXPECT_EQ(settingsAtKill, settingsBefore) << m.name;
    const std::string settingsAfter = rig.dir.read("aviolog.ini");
    for (const std::string& line : linesOf(settingsBefore)) {
        if (line.find('=') == std::string::npos || line.ends_with("=\r")) continue;
        EXPECT_NE(settingsAfter.find(line), std::string::npos) << m.name << ": " << line;
    }
    // The flight stored in a sealed pilot log file.
    bool stored = false;
    for (const auto& entry : std::filesystem::directory_iterator(rig.dir.path())) {
        if (entry.path().extension() != ".dat") continue;
        stored = true;
        EXPECT_FALSE(reporting::checkSeal(entry.path(), false)) << "tampered: " << entry.path();
    }
    EXPECT_TRUE(stored) << m.name << "\n" << out;
    EXPECT_FALSE(rig.dir.exists("flight-in-progress-TAP.txt")) << m.name;
    sim.wait(30000);
}

// The label lines of the messages the ACARS journal holds, in order: each names its
// message number.
std::vector<std::string> journalLabels(const std::string& journal) {
    std::vector<std::string> labels;
    for (std::string line : linesOf(journal)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.starts_with("Message Label:")) labels.push_back(line);
    }
    return labels;
}

std::string withoutLineFeed(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    return text;
}

// The ACARS site refuses from the take-off on, the program is killed in cruise and
// resumed, and the site answers again once the aircraft has landed: what it refused
// reaches it at the latest at the program's next start, every message once, in the order
// the messages were made.
TEST(FlightResumeOutbox, MessagesADeadSiteMissedReachItInOrderOnceItAnswers) {
    const std::string prefix = "aviolog-test-outbox-" + std::to_string(getpid()) + "-";
    LoopbackVaServer site;
    ASSERT_TRUE(site.running()) << site.startupOutput();
    // The uplink scripts are the same site: they share its failure counter.
    FlightRig rig({{"Aviolog", "AcarsEvent", "1", true},
                   {"Log", "AcarsSite", site.url("/acars.php"), true},
                   {"Log", "Uplink", site.url("/uplink.php"), true},
                   {"Log", "UplinkReset", site.url("/reset.php"), true}});
    const std::string dir = rig.dir.path().string();
    ChildProcess sim(AVIOLOG_SIM_PATH, simArgs(prefix));
    ASSERT_TRUE(sim.started());
    const std::vector<std::string> flyArgs = liveFlyArgs(prefix, dir);
    const auto reached = [&](const char* stage) {
        return waitFor([&] { return simState(sim.output()).stage == stage; },
                       std::chrono::seconds(120), std::chrono::milliseconds(2));
    };
    {
        ChildProcess fly(AVIOLOG_FLY_PATH, flyArgs);
        ASSERT_TRUE(fly.started());
        ASSERT_TRUE(reached("take-off")) << sim.output();
        // Each request received, then its connection closed unanswered.
        site.setAnswers({{0, ""}});
        ASSERT_TRUE(reached("cruise")) << sim.output();
        fly.signal(SIGKILL);
        fly.wait(10000);
    }
    ChildProcess again(AVIOLOG_FLY_PATH, flyArgs);
    ASSERT_TRUE(again.started());
    ASSERT_TRUE(reached("taxi-in")) << sim.output();
    site.setAnswers({{200, "OK\n"}});
    ASSERT_EQ(again.wait(180000), 0) << again.output();
    // The next start, without a flight.
    ChildProcess next(AVIOLOG_FLY_PATH,
                      {"--dir", dir, "--save-acars", (rig.dir / "saved-acars.txt").string()});
    ASSERT_TRUE(next.started());
    ASSERT_EQ(next.wait(60000), 0) << next.output();
    sim.wait(30000);

    std::vector<std::string> refused, answered;
    for (const ReceivedRequest& r : site.requests()) {
        if (r.path != "/acars.php") continue;
        (r.status == 200 ? answered : refused).push_back(r.target);
    }
    ASSERT_FALSE(refused.empty()) << "the site was never down for a message";
    std::set<std::string> seen;
    for (const std::string& target : answered) {
        EXPECT_TRUE(seen.insert(target).second) << "twice: " << target;
    }
    for (const std::string& target : refused) {
        EXPECT_EQ(seen.count(target), 1u) << "never answered: " << target;
    }
    // Every message of the journal reached the site, in the journal's order.
    std::vector<std::string> labels;
    for (const ReceivedRequest& r : site.requests()) {
        if (r.path == "/acars.php" && r.status == 200)
            labels.push_back(withoutLineFeed(r.param("mlabel")));
    }
    const std::vector<std::string> made = journalLabels(rig.dir.read("acars.txt"));
    EXPECT_GE(made.size(), 4u);
    EXPECT_EQ(labels, made);
    EXPECT_FALSE(rig.dir.exists("outbox-TAP-primary.txt"));
}

// The simulator's stages in the order a flight passes them.
constexpr const char* kStages[] = {"gate",          "taxi-out", "line-up",  "take-off", "rotate",
                                   "initial-climb", "climb",    "cruise",   "descent",  "approach",
                                   "flare",         "bounce",   "roll-out", "taxi-in",  "parked"};

int stageIndex(const std::string& stage) {
    const auto* found = std::find(std::begin(kStages), std::end(kStages), stage);
    return found == std::end(kStages) ? -1 : static_cast<int>(found - std::begin(kStages));
}

struct ChainKill {
    const char* stage;
    double aboveAglFt = -1;  // in that stage, higher than this
    double belowAglFt = 0;   // and lower than this, when not 0
};

// One flight killed again and again, each restart resuming it: thirteen moments over every
// phase, and the resumes of a resumed flight. A moment is taken in its stage, or at the
// first status after it when a restart took longer than the stage lasted.
TEST(FlightResumeChain, AFlightKilledAgainAndAgainReachesTheGateWhole) {
    const ChainKill kills[] = {{"taxi-out"},
                               {"line-up"},
                               {"take-off"},
                               {"initial-climb"},
                               {"climb", 2000},
                               {"cruise"},
                               {"cruise"},
                               {"cruise"},
                               {"descent"},
                               {"approach", 1500},
                               {"approach", -1, 1000},
                               {"roll-out"},
                               {"taxi-in"}};
    const std::string prefix = "aviolog-test-chain-" + std::to_string(getpid()) + "-";
    FlightRig rig;
    const std::string dir = rig.dir.path().string();
    ChildProcess sim(AVIOLOG_SIM_PATH, simArgs(prefix));
    ASSERT_TRUE(sim.started());
    const std::vector<std::string> flyArgs = liveFlyArgs(prefix, dir);
    const std::string settingsBefore = rig.dir.read("aviolog.ini");
    // What each killed run printed, and where the simulator was at its kill.
    std::vector<std::string> outputs, killedIn;
    for (const ChainKill& kill : kills) {
        ChildProcess fly(AVIOLOG_FLY_PATH, flyArgs);
        ASSERT_TRUE(fly.started());
        // A restarted run is killed only once it has taken the flight up again.
        if (!outputs.empty()) {
            ASSERT_TRUE(
                waitFor([&] { return fly.output().find(kRestartedText) != std::string::npos; },
                        std::chrono::seconds(60), std::chrono::milliseconds(5)))
                << kill.stage << "\n"
                << fly.output();
        }
        SimState at;
        const bool reached = waitFor(
            [&] {
                at = simState(sim.output());
                const int index = stageIndex(at.stage);
                const int wanted = stageIndex(kill.stage);
                if (index != wanted) return index > wanted;
                return at.aglFt > kill.aboveAglFt &&
                       (kill.belowAglFt == 0 || at.aglFt < kill.belowAglFt);
            },
            std::chrono::seconds(120), std::chrono::milliseconds(5));
        ASSERT_TRUE(reached) << kill.stage << "\n" << sim.output();
        ASSERT_LT(stageIndex(at.stage), stageIndex("parked")) << "the flight ended first";
        fly.signal(SIGKILL);
        fly.wait(10000);
        outputs.push_back(fly.output());
        killedIn.push_back(at.stage);
        EXPECT_EQ(rig.dir.read("aviolog.ini"), settingsBefore) << "killed in " << at.stage;
    }
    ChildProcess last(AVIOLOG_FLY_PATH, flyArgs);
    ASSERT_TRUE(last.started());
    ASSERT_EQ(last.wait(180000), 0) << last.output();
    const std::string out = last.output();
    std::string moments;
    for (const std::string& stage : killedIn) moments += " " + stage;
    SCOPED_TRACE("killed in:" + moments);
    RecordProperty("killed_in", moments);

    const std::vector<std::string> log = finalLog(out);
    ASSERT_FALSE(log.empty()) << out;
    const auto isRestart = [](const std::string& l) {
        return l.find(kRestartedText) != std::string::npos;
    };
    // The log is every line each killed run showed, in their order. A run may also have kept
    // lines it never showed, when its kill fell between the journal's write and the print:
    // those come after its last shown line, before the next run's restart line.
    std::size_t at = 0;
    for (std::size_t k = 0; k < outputs.size(); ++k) {
        for (const std::string& line : printedLogLines(outputs[k])) {
            ASSERT_LT(at, log.size()) << "kill " << k + 1 << ": lost \"" << line << "\"\n" << out;
            ASSERT_EQ(log[at], line)
                << "kill " << k + 1 << " in " << killedIn[k] << "\nthe killed run printed:\n"
                << outputs[k] << "\nthe last run printed:\n"
                << out;
            ++at;
        }
        while (at < log.size() && !isRestart(log[at])) ++at;
    }
    EXPECT_EQ(std::count_if(log.begin(), log.end(), isRestart),
              static_cast<std::ptrdiff_t>(std::size(kills)));
    std::set<std::string> seen;
    for (const std::string& line : log) {
        if (isRestart(line)) continue;
        EXPECT_TRUE(seen.insert(line).second) << "twice: " << line;
    }
    EXPECT_NE(out.find("  Parking brakes on\n"), std::string::npos) << out;
    // The touchdown came during a kill or just before one: a rate only when it was
    // sampled, and then the logged one.
    const std::string rate = summaryValue(out, "RateTD");
    const auto touchdown = std::find_if(log.begin(), log.end(), [](const std::string& line) {
        return line.find("TouchDown:Rate ") != std::string::npos;
    });
    if (touchdown == log.end()) {
        EXPECT_EQ(rate, "") << out;
    } else {
        EXPECT_NE(touchdown->find("Rate " + rate + " ft/min"), std::string::npos) << out;
    }
    const std::string settingsAfter = rig.dir.read("aviolog.ini");
    for (const std::string& line : linesOf(settingsBefore)) {
        if (line.find('=') == std::string::npos || line.ends_with("=\r")) continue;
        EXPECT_NE(settingsAfter.find(line), std::string::npos) << line;
    }
    // Stored once, in a sealed pilot log file.
    int flights = 0;
    for (const auto& entry : std::filesystem::directory_iterator(rig.dir.path())) {
        if (entry.path().extension() != ".dat") continue;
        reporting::PilotLogFile file(entry.path());
        EXPECT_EQ(file.open(), reporting::PilotLogFile::State::Sealed) << entry.path();
        for (int n = 1; !file.flight(n).Date.empty(); ++n) ++flights;
    }
    EXPECT_EQ(flights, 1) << out;
    EXPECT_FALSE(rig.dir.exists("flight-in-progress-TAP.txt"));
    sim.wait(30000);
}

// Seven moments over the phases: enough to pass through every phase's journal and keep the
// suite's time within reason (each flight takes most of a minute at 20x).
INSTANTIATE_TEST_SUITE_P(Moments, FlightResume,
                         ::testing::Values(Moment{"taxi", "taxi-out"},
                                           Moment{"takeoffroll", "take-off"},
                                           Moment{"climb", "climb"}, Moment{"cruise", "cruise"},
                                           Moment{"approach", "approach", 1000},
                                           Moment{"rollout", "roll-out", 0, true},
                                           Moment{"taxiin", "taxi-in", 0, true}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace aviolog::test
