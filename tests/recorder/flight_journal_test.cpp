// The flight journal: what a killed program leaves on disk, and the flight it gives back
// at the next start.

#include "recorder/flight_journal.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <thread>
#include <vector>

#include "common/snapshot_file.h"
#include "common/text_file.h"
#include "reporting/pilot_log_book.h"
#include "reporting/pilot_log_file.h"
#include "reporting/seal.h"
#include "tests/support/flight_rig.h"
#include "tests/support/sim_fixture.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wait.h"

namespace aviolog::test {
namespace {

constexpr const char* kJournal = "flight-in-progress-TAP.txt";
constexpr const char* kRestartedLine = "  Aviolog restarted, flight resumed";

// A flight cut off in the air: the run ends at its time limit with the log running, as a
// killed program would leave it.
headless::RunResult flyUntilCut(FlightRig& rig, std::int64_t limitMs) {
    headless::RunnerOptions options;
    options.limitMs = limitMs;
    return rig.fly("lppt-lppr.scn", options);
}

// Every way a journal can be damaged on disk makes it no journal: it never puts back half
// a flight.
TEST(FlightJournalText, ACutOrEditedJournalIsRefused) {
    FlightRig rig;
    flyUntilCut(rig, 20 * 60 * 1000);
    const std::string whole = rig.dir.read(kJournal);
    ASSERT_TRUE(recorder::readJournalText(whole)) << whole;
    struct Row {
        const char* name;
        std::string text;
    };
    std::string edited = whole;
    edited[whole.find("log=") + 4] ^= 0x20;  // same length
    std::string longer = whole;
    longer.insert(whole.find("log="), "log=one more line\n");
    const Row rows[] = {
        {"empty", ""},
        {"first line only", whole.substr(0, whole.find('\n') + 1)},
        {"cut in the middle", whole.substr(0, whole.size() / 2)},
        {"cut before the last line feed", whole.substr(0, whole.size() - 1)},
        {"a line added", longer},
        {"not a journal", "[Aviolog]\nCompanyICAO=TAP\n"},
    };
    for (const Row& row : rows) EXPECT_FALSE(recorder::readJournalText(row.text)) << row.name;
    // An edit that keeps the length is not noticed by the count: it is the pilot's own file.
    EXPECT_TRUE(recorder::readJournalText(edited));
}

// Values with line breaks and backslashes (ACARS messages) come back as they were.
TEST(FlightJournalText, MessagesWithLineBreaksComeBackWhole) {
    FlightRig rig;
    const headless::RunResult cut = flyUntilCut(rig, 20 * 60 * 1000);
    const auto journal = recorder::readJournalText(rig.dir.read(kJournal));
    ASSERT_TRUE(journal);
    EXPECT_EQ(journal->logLines, cut.log);
    ASSERT_FALSE(journal->acarsMessages.empty());
    const std::string& first = journal->acarsMessages.front();
    EXPECT_NE(first.find('\n'), std::string::npos) << first;
    EXPECT_EQ(journal->value("phase"), "2");
    EXPECT_EQ(journal->value("record.flightNumber"), "TP1944");
}

// Yes: the form, the log view and the ACARS view come back, and the restart is logged once
// the simulator answers; the flight goes on in its phase.
TEST(FlightJournalResume, YesBringsTheFlightBack) {
    FlightRig rig;
    const headless::RunResult cut = flyUntilCut(rig, 20 * 60 * 1000);
    ASSERT_EQ(cut.end, headless::RunResult::End::TimedOut);
    headless::RunnerOptions options;
    options.limitMs = 5000;
    options.answers.emplace_back("An unfinished flight was found. Resume it?", "yes");
    options.form.flightNumber = "XX0000";  // typed now, and overridden by the journal's
    const headless::RunResult resumed = rig.fly("lppt-lppr.scn", options);
    ASSERT_GE(resumed.log.size(), cut.log.size() + 1);
    EXPECT_TRUE(std::equal(cut.log.begin(), cut.log.end(), resumed.log.begin()));
    EXPECT_NE(resumed.log[cut.log.size()].find(kRestartedLine), std::string::npos)
        << resumed.log[cut.log.size()];
    EXPECT_EQ(resumed.record.flightNumber, "TP1944");
    EXPECT_EQ(resumed.acarsView, cut.acarsView);
    const auto asked = std::count(resumed.pilotBoxes.begin(), resumed.pilotBoxes.end(),
                                  std::string("An unfinished flight was found. Resume it? -> Yes"));
    EXPECT_EQ(asked, 1);
    // The gate question belongs to a new flight only.
    for (const std::string& box : resumed.pilotBoxes) {
        EXPECT_EQ(box.find("Plane at Departure Airport?"), std::string::npos) << box;
    }
    EXPECT_TRUE(rig.dir.exists(kJournal)) << "the flight still runs";
}

// No: the flight is kept as a sealed saved log, the journal goes, and a new flight can
// start.
TEST(FlightJournalResume, NoKeepsTheFlightAsASealedLog) {
    FlightRig rig;
    const headless::RunResult cut = flyUntilCut(rig, 20 * 60 * 1000);
    const auto journal = recorder::readJournalText(rig.dir.read(kJournal));
    ASSERT_TRUE(journal);
    headless::RunnerOptions options;
    options.limitMs = 60 * 1000;
    options.answers.emplace_back("An unfinished flight was found. Resume it?", "no");
    const headless::RunResult next = rig.fly("lppt-lppr.scn", options);
    const std::filesystem::path kept =
        rig.dir /
        (reporting::defaultLogName("LPPT", "LPPR", journal->value("progress.startDate")) + ".txt");
    ASSERT_TRUE(std::filesystem::exists(kept)) << kept;
    EXPECT_FALSE(reporting::checkSeal(kept, false)) << "tampered";
    const std::string text = textModeText(readFileBytes(kept).value_or(""));
    for (const std::string& line : cut.log) EXPECT_NE(text.find(line), std::string::npos) << line;
    EXPECT_FALSE(next.log.empty());
    EXPECT_EQ(next.log.front().rfind("Start  [", 0), 0u) << "a new log";
}

// A flight cut off in the air and resumed with the aircraft already on the ground
// (here: the gate where the simulator starts again) had its touchdown while the program was
// down: no rate is reported, whether or not the touchdown sampler was running at the cut.
TEST(FlightJournalResume, ATouchdownWhileDownHasNoRate) {
    struct Row {
        const char* name;
        std::int64_t cutMs;
    };
    const Row rows[] = {
        {"initial climb, below the sampler's arming height", 10 * 60 * 1000 + 20 * 1000},
        {"descending", 36 * 60 * 1000},
        {"on the approach", 39 * 60 * 1000},
        {"short final", 39 * 60 * 1000 + 40 * 1000},
        {"over the threshold", 39 * 60 * 1000 + 50 * 1000}};
    bool samplerCut = false;
    for (const Row& row : rows) {
        FlightRig rig;
        flyUntilCut(rig, row.cutMs);
        const auto journal = recorder::readJournalText(rig.dir.read(kJournal));
        ASSERT_TRUE(journal) << row.name;
        ASSERT_EQ(journal->value("progress.touchdown"), "0") << row.name << ": already down";
        samplerCut = samplerCut || journal->value("progress.touchdownSamplerStarted") == "1";
        headless::RunnerOptions options;
        options.limitMs = 10 * 60 * 1000;
        options.answers.emplace_back("An unfinished flight was found. Resume it?", "yes");
        const headless::RunResult resumed = rig.fly("lppt-lppr.scn", options);
        ASSERT_TRUE(resumed.summaryOffered) << row.name << "\n" << render(resumed);
        EXPECT_EQ(resumed.summary.RateTD, "") << row.name << "\n" << render(resumed);
        EXPECT_EQ(resumed.summary.speedTD, "") << row.name;
    }
    EXPECT_TRUE(samplerCut) << "no row cut the flight while the touchdown sampler ran";
}

// The flights the pilot log files of the folder hold, each sealed.
int storedFlights(const TempDir& dir) {
    int flights = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
        if (entry.path().extension() != ".dat") continue;
        reporting::PilotLogFile file(entry.path());
        EXPECT_EQ(file.open(), reporting::PilotLogFile::State::Sealed) << entry.path();
        for (int n = 1; !file.flight(n).Date.empty(); ++n) ++flights;
    }
    return flights;
}

// A flight whose summary was still open when the program went (killed, or closed before OK
// or Cancel) is not stored yet: its journal stays, and the next start offers it. Yes goes
// straight to the same summary, whose OK stores the flight once; No keeps its log as the
// unfinished flights' is kept.
TEST(FlightJournalResume, AStoppedFlightWaitsInItsJournalUntilStoredOrDismissed) {
    using Answer = headless::RunnerOptions::SummaryAnswer;
    struct Row {
        const char* name;
        const char* resume;
        Answer summary;
        int stored;
    };
    const Row rows[] = {
        {"Yes, then OK", "yes", Answer::Accept, 1},
        {"Yes, then Cancel", "yes", Answer::Dismiss, 0},
        {"Yes, summary left open again", "yes", Answer::Leave, 0},
        {"No", "no", Answer::Accept, 0},
    };
    for (const Row& row : rows) {
        FlightRig rig;
        const headless::RunResult flown = rig.fly("lppt-lppr.scn");
        ASSERT_TRUE(flown.summaryOffered) << row.name << "\n" << render(flown);
        ASSERT_TRUE(rig.dir.exists(kJournal)) << row.name << ": the stop removed the journal";
        EXPECT_EQ(storedFlights(rig.dir), 0) << row.name;

        headless::RunnerOptions options;
        options.limitMs = 60 * 1000;
        options.answers.emplace_back("An unfinished flight was found. Resume it?", row.resume);
        options.answers.emplace_back("Are you sure that you want to dismiss flight?", "yes");
        options.summaryAnswer = row.summary;
        const headless::RunResult next = rig.fly("lppt-lppr.scn", options);
        EXPECT_EQ(storedFlights(rig.dir), row.stored) << row.name << "\n" << render(next);
        if (std::string(row.resume) == "no") {
            const std::filesystem::path kept =
                rig.dir / (reporting::defaultLogName("LPPT", "LPPR", flown.summary.Date) + ".txt");
            ASSERT_TRUE(std::filesystem::exists(kept)) << row.name;
            EXPECT_FALSE(reporting::checkSeal(kept, false)) << "tampered";
            const std::string text = textModeText(readFileBytes(kept).value_or(""));
            for (const std::string& line : flown.log) EXPECT_NE(text.find(line), std::string::npos);
            continue;
        }
        // The summary and the log as the stop made them: nothing flown, nothing logged again.
        ASSERT_TRUE(next.summaryOffered || next.summaryClosed) << row.name << "\n" << render(next);
        EXPECT_EQ(next.summary, flown.summary) << row.name;
        // OK adds the version line to the log, as it does for any flight.
        ASSERT_GE(next.log.size(), flown.log.size()) << row.name;
        EXPECT_LE(next.log.size(), flown.log.size() + (row.summary == Answer::Accept ? 1 : 0));
        EXPECT_TRUE(std::equal(flown.log.begin(), flown.log.end(), next.log.begin())) << row.name;
        for (const std::string& box : next.pilotBoxes) {
            EXPECT_EQ(box.find("Plane at Departure Airport?"), std::string::npos) << box;
        }
        EXPECT_EQ(rig.dir.exists(kJournal), row.summary == Answer::Leave) << row.name;
    }
}

// Killed after OK stored the flight and before its journal went: the next start finds the
// flight in the pilot log file and neither offers nor stores it again.
TEST(FlightJournalResume, AFlightStoredBeforeItsJournalWentIsNotOfferedAgain) {
    FlightRig rig;
    ASSERT_TRUE(rig.fly("lppt-lppr.scn").summaryOffered);
    const std::string journal = rig.dir.read(kJournal);
    headless::RunnerOptions accept;
    accept.limitMs = 60 * 1000;
    accept.answers.emplace_back("An unfinished flight was found. Resume it?", "yes");
    accept.summaryAnswer = headless::RunnerOptions::SummaryAnswer::Accept;
    ASSERT_TRUE(rig.fly("lppt-lppr.scn", accept).summaryClosed);
    ASSERT_EQ(storedFlights(rig.dir), 1);
    rig.dir.write(kJournal, journal);
    headless::RunnerOptions start = accept;
    start.limitMs = 1;  // the start alone, before a new log
    const headless::RunResult next = rig.fly("lppt-lppr.scn", start);
    EXPECT_EQ(storedFlights(rig.dir), 1) << render(next);
    for (const std::string& box : next.pilotBoxes) {
        EXPECT_EQ(box.find("An unfinished flight"), std::string::npos) << box;
    }
    EXPECT_FALSE(rig.dir.exists(kJournal));
}

// The log times of the fifteen-minute position lines ("Wind:... Ground Speed: ..."),
// after the line that starts with from when it is given.
std::vector<std::string> positionLineTimes(const std::vector<std::string>& log,
                                           const std::string& from = {}) {
    std::vector<std::string> times;
    bool counting = from.empty();
    for (const std::string& line : log) {
        if (!from.empty() && line.find(from) != std::string::npos) counting = true;
        if (counting && line.find("Ground Speed:") != std::string::npos) {
            times.push_back(line.substr(0, 5));
        }
    }
    return times;
}

// The fifteen-minute position report keeps its minute mark on the flight's clock across a
// restart: the resumed flight reports at the minutes the unbroken one did, not fifteen
// minutes after the restart (the window's timers, which carry nothing the log keeps, start
// again at the resume as after a lost simulator).
TEST(FlightJournalResume, APositionReportKeepsItsMinuteAcrossARestart) {
    FlightRig unbroken;
    headless::RunnerOptions whole;
    whole.limitMs = 35 * 60 * 1000;
    const std::vector<std::string> reported =
        positionLineTimes(unbroken.fly("lppt-lemd-cruise.scn", whole).log);
    ASSERT_GE(reported.size(), 2u);

    // Cut a few minutes before the second report, and the simulator back two minutes later.
    FlightRig rig;
    headless::RunnerOptions cut;
    cut.limitMs = 15 * 60 * 1000 + 20 * 1000;
    const headless::RunResult first = rig.fly("lppt-lemd-cruise.scn", cut);
    ASSERT_EQ(positionLineTimes(first.log), std::vector<std::string>{reported.front()});
    std::string scenario = readFileBytes(dataPath("scenarios/lppt-lemd-cruise.scn")).value();
    const std::string start = "start  2024-06-14 10:10:00 UTC";
    ASSERT_NE(scenario.find(start), std::string::npos);
    scenario.replace(scenario.find(start), start.size(), "start  2024-06-14 10:27:30 UTC");
    rig.dir.write("later.scn", scenario);
    headless::RunnerOptions resumed;
    resumed.workDir = rig.dir.path().string();
    resumed.scenarioPath = (rig.dir / "later.scn").string();
    resumed.form.aircraftType = "A320";
    resumed.limitMs = 16 * 60 * 1000;
    resumed.answers.emplace_back("An unfinished flight was found. Resume it?", "yes");
    const headless::RunResult next = headless::runFlight(resumed);
    const std::vector<std::string> after = positionLineTimes(next.log, kRestartedLine);
    ASSERT_FALSE(after.empty()) << render(next);
    EXPECT_EQ(after.front(), reported[1]) << render(next);
}

// The file always holds one whole state, whatever the writer is handed and how fast.
TEST(SnapshotFile, HoldsTheNewestWholeState) {
    TempDir dir;
    const std::filesystem::path path = dir / "state.txt";
    {
        SnapshotFile file(path);
        EXPECT_TRUE(file.storeAndWait("first"));
        EXPECT_EQ(dir.read("state.txt"), "first");
        std::thread reader([&] {
            for (int i = 0; i < 200; ++i) {
                const std::string seen = dir.read("state.txt");
                ASSERT_TRUE(seen == "first" || seen.starts_with("state ")) << seen;
                if (seen.starts_with("state ")) {
                    ASSERT_EQ(seen.size(), 6u + 4u + 2000u);
                }
            }
        });
        for (int i = 1000; i < 1100; ++i) {
            file.store("state " + std::to_string(i) + std::string(2000, 'x'));
        }
        reader.join();
    }
    EXPECT_EQ(dir.read("state.txt").substr(0, 10), "state 1099") << "written before the end";
    SnapshotFile again(path);
    again.store("gone soon");
    again.remove();
    EXPECT_FALSE(dir.exists("state.txt"));
}

// A state left for the writer's own look reaches the disk without another hand over, and
// one handed over after it wins; a removal does not leave it to come back afterwards.
TEST(SnapshotFile, AStateLeftForLaterIsWrittenAtTheWritersNextLook) {
    TempDir dir;
    const std::filesystem::path path = dir / "state.txt";
    SnapshotFile file(path);
    file.storeLater("later");
    EXPECT_TRUE(waitFor([&] { return dir.read("state.txt") == "later"; },
                        std::chrono::milliseconds(10 * SnapshotFile::kLookEveryMs)));
    file.storeLater("overtaken");
    EXPECT_TRUE(file.storeAndWait("newest"));
    EXPECT_EQ(dir.read("state.txt"), "newest");
    file.storeLater("pending at the removal");
    file.remove();
    EXPECT_FALSE(dir.exists("state.txt"));
    // Past the writer's next look.
    EXPECT_FALSE(waitFor([&] { return dir.exists("state.txt"); },
                         std::chrono::milliseconds(2 * SnapshotFile::kLookEveryMs)));
}

}  // namespace
}  // namespace aviolog::test
