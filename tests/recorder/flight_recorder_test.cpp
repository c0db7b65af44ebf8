// The recorder's flows that golden files do not show well: losses at every phase,
// refuelling, the dump file, the cargo plug-in, the reduced mode, and the helpers with
// exact figures.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "common/text_file.h"
#include "recorder/flight_events.h"
#include "model/main_window_model.h"
#include "simlink/sim_time.h"
#include "tests/support/flight_rig.h"

namespace aviolog::test {
namespace {

using headless::RunResult;

RunResult flyWith(std::vector<std::string> events, const char* scenario = "lppt-lppr.scn",
                  std::vector<FlightRig::Edit> edits = {}) {
    FlightRig rig(edits);
    headless::RunnerOptions options;
    options.extraEvents = std::move(events);
    return rig.fly(scenario, options);
}

TEST(FlightRecorder, ASimulatorLostAtAnyPhaseAndResumedKeepsTheFlight) {
    const RunResult baseline = flyWith({});
    ASSERT_EQ(baseline.end, RunResult::End::Stopped);
    // Lost for two minutes in each phase, but never across the moment an event is seen.
    for (const char* when : {"at 0:04:00", "on climb", "on cruise", "on descent", "on approach",
                             "on taxi-in"}) {
        const RunResult lost = flyWith({std::string(when) + " silent 120"});
        SCOPED_TRACE(when);
        ASSERT_EQ(lost.end, RunResult::End::Stopped);
        int resumeQuestions = 0;
        for (const std::string& box : lost.pilotBoxes) {
            resumeQuestions += box == "FS crash. Do You want to resume Log? -> Yes";
        }
        EXPECT_GE(resumeQuestions, 1);
        const model::FlightSummary& a = baseline.summary;
        const model::FlightSummary& b = lost.summary;
        EXPECT_EQ(b.Date, a.Date);
        EXPECT_EQ(b.Hour, a.Hour);
        EXPECT_EQ(b.InitialFuel, a.InitialFuel);
        EXPECT_EQ(b.FlightDur, a.FlightDur);
        EXPECT_EQ(b.RateTD, a.RateTD);
        EXPECT_EQ(b.ZFW, a.ZFW);
        EXPECT_NEAR(std::stoi(b.FuelEnd), std::stoi(a.FuelEnd), 5);
        // Minutes flown while lost count by where the aircraft went, the others by the
        // speed at each minute mark: the two agree within a few percent.
        EXPECT_NEAR(std::stoi(b.FlightLength), std::stoi(a.FlightLength),
                    0.05 * std::stoi(a.FlightLength));
        EXPECT_EQ(b.logText.find("Start  ["), a.logText.find("Start  ["));
    }
}

TEST(FlightRecorder, FuelAddedInFlightIsTakenAwayAboveTheTolerance) {
    const int baseline = std::stoi(flyWith({}, "air-start.scn").summary.FuelEnd);
    struct Row {
        const char* name;
        const char* event;
        bool undone;
    };
    for (const Row& row : {Row{"3 %", "at 0:03:00 refuel left-main 3", false},
                           Row{"5 %", "at 0:03:00 refuel left-main 5", true}}) {
        const int fuelEnd = std::stoi(flyWith({row.event}, "air-start.scn").summary.FuelEnd);
        // 3 % of the 1816-gallon tank at 6.7 lb/gal is about 165 kg.
        if (row.undone) {
            EXPECT_NEAR(fuelEnd, baseline, 5) << row.name;
        } else {
            EXPECT_NEAR(fuelEnd - baseline, 165, 5) << row.name;
        }
    }
    const int withoutCheck = std::stoi(
        flyWith({"at 0:03:00 refuel left-main 5"}, "air-start.scn", {{"Aviolog", "FuelTest", "0", true}})
            .summary.FuelEnd);
    EXPECT_NEAR(withoutCheck - baseline, 275, 5);
}

TEST(FlightRecorder, DumpRowsAreNumberedAndNeverRagged) {
    FlightRig rig({{"FlightInfo", "LogHeading", "0", true}, {"FlightInfo", "LogUpdate", "10", true}});
    headless::RunnerOptions options;
    options.startDump = true;
    // Lost for a while in the climb: updates are cut off half-way.
    options.extraEvents = {"on climb silent 60"};
    const RunResult result = rig.fly("air-start.scn", options);
    ASSERT_EQ(result.end, RunResult::End::Stopped);
    const std::string csv = rig.dir.read("flightlog.csv");
    ASSERT_FALSE(csv.empty());
    std::size_t rows = 0;
    std::size_t begin = 0;
    for (std::size_t end; (end = csv.find("\r\n", begin)) != std::string::npos; begin = end + 2) {
        const std::string row = csv.substr(begin, end - begin);
        ++rows;
        EXPECT_TRUE(row.starts_with(std::to_string(rows) + ",")) << row;
        // Row number, 10 single columns without the heading, and the two wind fields.
        EXPECT_EQ(std::count(row.begin(), row.end(), ','), 13) << row;
    }
    EXPECT_EQ(begin, csv.size()) << "the file ends with a whole row";
    EXPECT_GT(rows, 60U);
}

TEST(FlightRecorder, CargoPluginFillsTheCargoField) {
    FlightRig rig;
    std::filesystem::copy_file(AVIOLOG_CARGO_PLUGIN, rig.dir / "RfPCargoloader.so");
    headless::RunnerOptions options;
    options.form.cargo = "1";  // the plug-in's figure replaces what the form had
    const RunResult result = rig.fly("touch-and-bounce.scn", options);
    ASSERT_EQ(result.end, RunResult::End::Stopped);
    EXPECT_NE(result.summary.logText.find("Cargo:4321 Kg\n"), std::string::npos);
}

TEST(FlightRecorder, DecliningTheDepartureQuestionLeavesOnlySendingLogs) {
    FlightRig rig;
    headless::RunnerOptions options;
    options.answers = {{"Plane at Departure Airport?", "no"}};
    const RunResult result = rig.fly("short-hop.scn", options);
    EXPECT_EQ(result.end, RunResult::End::Reduced);
    EXPECT_TRUE(result.log.empty());
    ASSERT_EQ(result.pilotBoxes.size(), 2U);
    EXPECT_EQ(result.pilotBoxes[1],
              "Aviolog will revert to send log/change options only. -> OK");
}

TEST(FlightRecorder, NoSimulatorAsksAgainEveryTwoSeconds) {
    FlightRig rig({{"Aviolog", "StartWarning", "0", true}});
    headless::RunnerOptions options;
    options.answers = {{"Plane at Departure Airport?", "yes"}};
    options.limitMs = 60000;
    // A simulator that never answers: silent from the start for longer than the run.
    options.extraEvents = {"at 0:00:00 silent 3600"};
    const RunResult result = rig.fly("short-hop.scn", options);
    EXPECT_EQ(result.end, RunResult::End::TimedOut);
    EXPECT_GE(result.pilotBoxes.size(), 2U);
    for (const std::string& box : result.pilotBoxes) EXPECT_EQ(box, "Plane at Departure Airport? -> Yes");
}

TEST(SimTime, CalendarAndDurations) {
    struct DateRow {
        int year, dayOfYear, month, day;
    };
    for (const DateRow& r : {DateRow{2024, 60, 2, 29}, DateRow{2023, 60, 3, 1},
                             DateRow{2000, 366, 12, 31}, DateRow{1900, 60, 3, 1},
                             DateRow{2024, 1, 1, 1}, DateRow{2023, 400, 12, 31}}) {
        const simlink::CivilDate d = simlink::dateFromDayOfYear(r.year, r.dayOfYear);
        EXPECT_EQ(d.month, r.month) << r.year << " day " << r.dayOfYear;
        EXPECT_EQ(d.day, r.day) << r.year << " day " << r.dayOfYear;
        if (r.dayOfYear <= 366) {
            EXPECT_EQ(simlink::dayOfYear(d), r.dayOfYear);
        }
    }
    EXPECT_DOUBLE_EQ(simlink::oleDays({1899, 12, 30}, 0, 0), 0.0);
    EXPECT_DOUBLE_EQ(simlink::oleDays({2004, 5, 1}, 12, 0), 38108.5);

    struct DurationRow {
        double days;
        int hours, minutes;
    };
    for (const DurationRow& r :
         {DurationRow{25.0 / 24, 1, 0}, DurationRow{(90 * 60 - 0.4) / 86400.0, 1, 30},
          DurationRow{(90 * 60 - 0.6) / 86400.0, 1, 29}, DurationRow{0.0, 0, 0},
          DurationRow{-(41 * 60.0) / 86400.0, 0, -41}}) {
        const simlink::HoursMinutes hm = simlink::durationHoursMinutes(r.days);
        EXPECT_EQ(hm.hours, r.hours) << r.days;
        EXPECT_EQ(hm.minutes, r.minutes) << r.days;
    }
}

TEST(FlightEvents, CruiseAltitudeFromTheFlightLevelText) {
    struct Row {
        const char* level;
        unsigned feet;
    };
    for (const Row& r : {Row{"FL350", 35000}, Row{"F350", 35000}, Row{"A050", 5000},
                         Row{"35000", 35000}, Row{"", 0}, Row{"FLX", 0}, Row{"2FL", 0},
                         Row{"FL99999999999", 2147483647u}}) {
        EXPECT_EQ(recorder::cruiseAltitudeFt(r.level), r.feet) << r.level;
    }
}

TEST(MainWindowModel, AppendedTextBecomesLinesAtEachLineFeed) {
    model::MainWindowModel window;
    window.appendDisplay(model::Channel::Log, "10:00  one\n10:00  two\nthree");
    window.appendDisplay(model::Channel::Log, "\n");
    const std::vector<std::string> expected{"10:00  one", "10:00  two", ""};
    EXPECT_EQ(window.lines(model::Channel::Log), expected);
    EXPECT_TRUE(window.lines(model::Channel::Acars).empty());
}

}  // namespace
}  // namespace aviolog::test
