// The recorder's flows that golden files do not show well: losses at every phase,
// refuelling, the dump file, the cargo plug-in, the reduced mode, and the helpers with
// exact figures.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "common/text_file.h"
#include "common/units.h"
#include "model/main_window_model.h"
#include "recorder/flight_events.h"
#include "recorder/timer_ids.h"
#include "simlink/sim_time.h"
#include "simlink/sim_variables.h"
#include "tests/recorder/recorder_rig.h"
#include "tests/support/flight_rig.h"
#include "wire/sim_ipc_wire.h"

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
    for (const char* when :
         {"at 0:04:00", "on climb", "on cruise", "on descent", "on approach", "on taxi-in"}) {
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
    const int withoutCheck = std::stoi(flyWith({"at 0:03:00 refuel left-main 5"}, "air-start.scn",
                                               {{"Aviolog", "FuelTest", "0", true}})
                                           .summary.FuelEnd);
    EXPECT_NEAR(withoutCheck - baseline, 275, 5);
}

// A monitor tick with no tank levels read yet (a reference read that failed, a resume of
// a flight that never started) has nothing to compare: were its zeros a reference, every
// tank would be emptied.
TEST(FlightRecorder, TheFuelCheckEmptiesNoTankBeforeItHasReadTheirLevels) {
    RecorderRig rig;
    rig.core.onTimer(recorder::kConnectTimer);
    ASSERT_TRUE(rig.link.isOpen());
    ASSERT_TRUE(rig.settings.aviolog.FuelTest);
    const double fuelKg = simlink::readFuelOnBoardKg(rig.link);
    ASSERT_GT(fuelKg, 1000.0);
    for (int tick = 0; tick < 3; ++tick) rig.core.onTimer(recorder::kMonitorTimer);
    EXPECT_NEAR(simlink::readFuelOnBoardKg(rig.link), fuelKg, 1.0);
}

// The fuel at the top of climb and descent and at the gate is a figure of the flight, and
// the one at the gate goes into the stored flight: a read of it that fails is tried again
// at the next tick, never logged or stored as -1.
TEST(FlightRecorder, AFailedFuelReadIsTriedAgainRatherThanLoggedAsAFigure) {
    using recorder::FlightPhase;
    struct Row {
        const char* name;
        simlink::SimVariable readBefore;  // the fuel read right after this one's batch fails
        FlightPhase phase;
        bool brakeSet;
        const char* line;
    };
    const Row rows[] = {
        {"top of climb", simlink::var::Altitude, FlightPhase::Airborne, false, "TOC"},
        {"blocks on", simlink::var::ParkingBrake, FlightPhase::TaxiingIn, true, "Final Fuel"},
    };
    const auto firstRead = [](std::span<const std::byte> block) {
        return wire::load32(block.data()) == wire::kRecordRead ? wire::load32(block.data() + 4)
                                                               : 0u;
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        RecorderRig rig;
        rig.record.flightLevel = "FL240";
        bool afterIt = false;
        bool refused = false;
        rig.ipc.refuse = [&](std::span<const std::byte> block) {
            const std::uint32_t offset = firstRead(block);
            const bool fuelRead = std::exchange(afterIt, offset == row.readBefore.offset) &&
                                  offset == wire::kFuelTanks[0].level.offset;
            const bool brakeSet = rig.simulator->memory().s16(simlink::var::ParkingBrake.offset) ==
                                  wire::kParkingBrakeSet;
            if (refused || !fuelRead || rig.flight.phase != row.phase || brakeSet != row.brakeSet) {
                return false;
            }
            return refused = true;
        };
        ASSERT_TRUE(rig.start());
        ASSERT_TRUE(rig.runUntil([&] { return rig.progress.blocksOnDone; }));
        ASSERT_TRUE(refused);
        const std::string log = rig.log();
        EXPECT_NE(log.find(row.line), std::string::npos) << log;
        EXPECT_EQ(log.find(": -1 Kg"), std::string::npos) << log;
        EXPECT_GT(rig.progress.finalFuelKg, 1000);
    }
}

TEST(FlightRecorder, DumpRowsAreNumberedAndNeverRagged) {
    FlightRig rig(
        {{"FlightInfo", "LogHeading", "0", true}, {"FlightInfo", "LogUpdate", "10", true}});
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

// The fields of one dump row, the row number first.
std::vector<std::string> dumpFields(const std::string& row) {
    std::vector<std::string> fields;
    std::size_t begin = 0;
    for (std::size_t comma; (comma = row.find(',', begin)) != std::string::npos;
         begin = comma + 1) {
        fields.push_back(row.substr(begin, comma - begin));
    }
    fields.push_back(row.substr(begin));
    return fields;
}

TEST(FlightRecorder, ADumpRowCutOffAtAnyExchangeKeepsItsWidthAndWhatWasRead) {
    using Section = config::FlightInfoSection;
    const struct {
        const char* name;
        std::vector<bool Section::*> off;
        std::size_t fields;  // the row number, the columns, and the empty one after the last comma
    } rows[] = {
        {"every column", {}, 15},
        {"without the winds and the heading", {&Section::LogWinds, &Section::LogHeading}, 12},
        {"the last column only",
         {&Section::LogAltitude, &Section::LogHeading, &Section::LogGroundSpeed,
          &Section::LogTotalSpeed, &Section::LogIndicatedSpeed, &Section::LogWinds,
          &Section::LogFuelOnBoard, &Section::LogFuelFlow, &Section::LogEndurance,
          &Section::LogFlightTime, &Section::LogFlightLength},
         3},
    };
    // One update of a flight just started, answered up to `cut` exchanges; the file after it
    // and the number of exchanges it asked for.
    const auto dumpOnce = [](const std::vector<bool Section::*>& off, int cut) {
        RecorderRig rig("air-start.scn");
        for (const auto column : off) rig.settings.flightInfo.*column = false;
        EXPECT_TRUE(rig.start());
        rig.core.dump().start();
        int served = 0;
        if (cut == 0) rig.ipc.sendError = 1400;
        rig.ipc.afterServe = [&](std::span<std::byte>) {
            if (++served == cut) rig.ipc.sendError = 1400;
        };
        rig.core.dump().update();
        return std::pair{rig.dir.read("flightlog.csv"), served};
    };
    for (const auto& row : rows) {
        const auto [wholeCsv, exchanges] = dumpOnce(row.off, 1000);
        ASSERT_TRUE(wholeCsv.ends_with("\r\n")) << row.name << ": " << wholeCsv;
        const auto whole = dumpFields(wholeCsv.substr(0, wholeCsv.size() - 2));
        ASSERT_EQ(whole.size(), row.fields) << row.name << ": " << wholeCsv;
        EXPECT_FALSE(whole[row.fields - 2].empty()) << row.name << ": the last column is read";
        // Not even the pause flag answered: no row.
        EXPECT_EQ(dumpOnce(row.off, 0).first, "") << row.name;
        for (int cut = 1; cut < exchanges; ++cut) {
            const std::string csv = dumpOnce(row.off, cut).first;
            const std::string where =
                std::string(row.name) + ", cut after " + std::to_string(cut) + ": " + csv;
            ASSERT_TRUE(csv.ends_with("\r\n")) << where;
            const auto fields = dumpFields(csv.substr(0, csv.size() - 2));
            ASSERT_EQ(fields.size(), row.fields) << where;
            // What was read is what an uncut update writes; after the cut nothing is.
            bool cutOff = false;
            for (std::size_t i = 0; i < fields.size(); ++i) {
                cutOff = cutOff || fields[i] != whole[i];
                if (cutOff) {
                    EXPECT_TRUE(fields[i].empty()) << where << " field " << i;
                }
            }
            EXPECT_TRUE(cutOff) << where;
        }
    }
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
    EXPECT_EQ(result.pilotBoxes[1], "Aviolog will revert to send log/change options only. -> OK");
}

// A start asked for before the link is open starts nothing, and the connection that
// follows is a first one, not the resume of a flight that never began.
TEST(FlightRecorder, StartLogBeforeTheLinkOpensIsNotALostFlight) {
    RecorderRig rig;
    EXPECT_FALSE(rig.core.StartLog());
    EXPECT_EQ(rig.link.failureCount(), 0);
    rig.core.onTimer(recorder::kConnectTimer);
    ASSERT_TRUE(rig.link.isOpen());
    EXPECT_TRUE(rig.world.boxes.empty()) << rig.world.boxes.front();
    EXPECT_TRUE(rig.core.StartLog());
    EXPECT_TRUE(rig.log().starts_with("Start  [")) << rig.log();
}

// "Start LOG" needs the link and a form with departure, arrival and route; the automated
// start, which has no button, waits for the form too.
TEST(FlightRecorder, NoLogStartsBeforeTheFormSaysWhereFromWhereToAndWhichWay) {
    for (const bool automated : {false, true}) {
        const char* name = automated ? "automated start" : "the button";
        RecorderRig rig;
        rig.settings.aviolog.AutomatedStart = automated;
        rig.world.formFilled = false;
        rig.core.onTimer(recorder::kConnectTimer);
        ASSERT_TRUE(rig.link.isOpen()) << name;
        EXPECT_FALSE(rig.window.control(model::Control::StartLog).enabled)
            << name << ": the link alone does not enable it";
        if (!automated) {
            EXPECT_FALSE(rig.core.StartLog()) << name;
        }
        // lppt-lppr.scn releases the parking brake two minutes in.
        EXPECT_FALSE(rig.runUntil([&] { return !rig.log().empty(); }, 5 * 60 * 1000))
            << name << ":\n"
            << rig.log();
        EXPECT_TRUE(rig.record.departureIcao.empty()) << name;

        rig.world.formFilled = true;
        if (!automated) {
            EXPECT_TRUE(rig.core.StartLog()) << name;
        }
        EXPECT_TRUE(rig.runUntil([&] { return !rig.log().empty(); }, 10 * 1000)) << name;
        EXPECT_TRUE(rig.log().starts_with("Start  [")) << name << ":\n" << rig.log();
    }
}

// The fuel in the simulator's tanks, as fractions of their capacities added up.
std::uint64_t tankLevels(const RecorderRig& rig) {
    std::uint64_t sum = 0;
    for (const wire::FuelTank& tank : wire::kFuelTanks)
        sum += rig.simulator->memory().u32(tank.level.offset);
    return sum;
}

// A simulator that quits while no log runs leaves no flight behind: Start LOG pressed
// meanwhile starts nothing, the next simulator is met as the first one was, and nothing of
// a flight that never ran (its fuel check's levels, all zero) is written to it.
TEST(FlightRecorder, ASimulatorLostWhileNoLogRunsIsMetAgainAsTheFirst) {
    RecorderRig rig;
    rig.window.meet(model::StartNeed::FormFilled);  // the pilot has filled the form
    rig.core.onTimer(recorder::kConnectTimer);
    ASSERT_TRUE(rig.link.isOpen());
    EXPECT_EQ(rig.window.status(), recorder::kConnectedStatus);
    const std::uint64_t fuel = tankLevels(rig);
    ASSERT_GT(fuel, 0U);

    rig.ipc.simulatorGone = true;
    for (int press = 0; press < 4 && rig.link.isOpen(); ++press) EXPECT_FALSE(rig.core.StartLog());
    ASSERT_FALSE(rig.link.isOpen()) << "the presses lose the simulator";
    EXPECT_FALSE(rig.window.control(model::Control::StartLog).enabled);
    EXPECT_FALSE(rig.window.control(model::Control::ResumeLog).enabled);
    EXPECT_EQ(rig.window.status(), recorder::kWaitingStatus);
    EXPECT_FALSE(rig.core.logging());

    rig.ipc.simulatorGone = false;
    ASSERT_TRUE(rig.runUntil([&] { return rig.link.isOpen(); }, 10000));
    rig.clock.runFor(60000);
    for (const std::string& box : rig.world.boxes) {
        EXPECT_EQ(box.find("FS crash"), std::string::npos) << box;
    }
    EXPECT_TRUE(rig.window.control(model::Control::StartLog).enabled);
    EXPECT_EQ(rig.window.status(), recorder::kConnectedStatus);
    EXPECT_EQ(rig.link.failureCount(), 0);
    EXPECT_GT(tankLevels(rig), fuel * 99 / 100) << "nothing ran while no log did";

    ASSERT_TRUE(rig.core.StartLog());
    EXPECT_EQ(rig.window.status(), recorder::kRecordingStatus);
    rig.clock.runFor(60000);
    EXPECT_GT(tankLevels(rig), fuel * 99 / 100) << "the log's fuel check keeps the tanks";
}

// The fuel check puts a tank back to the level it was read at; with no level read yet it
// only takes one, whatever the tanks hold.
TEST(FlightRecorder, TheFuelCheckWritesNothingBeforeItHasReadALevel) {
    RecorderRig rig;
    rig.settings.aviolog.FuelTest = 1;
    rig.core.onTimer(recorder::kConnectTimer);
    ASSERT_TRUE(rig.link.isOpen());
    const std::uint64_t fuel = tankLevels(rig);
    ASSERT_FALSE(rig.progress.fuelReferenceTaken);
    rig.core.realism().secondHalf();
    EXPECT_EQ(tankLevels(rig), fuel);
    EXPECT_TRUE(rig.progress.fuelReferenceTaken);
    rig.core.realism().secondHalf();
    EXPECT_EQ(tankLevels(rig), fuel);
}

// Start LOG that starts nothing says why, once per press.
TEST(FlightRecorder, StartLogThatStartsNothingSaysWhy) {
    RecorderRig rig;
    EXPECT_FALSE(rig.core.startButton());
    ASSERT_EQ(rig.world.boxes.size(), 1U);
    EXPECT_EQ(rig.world.boxes[0], recorder::kNotConnectedMessage);
    rig.core.onTimer(recorder::kConnectTimer);
    ASSERT_TRUE(rig.link.isOpen());
    rig.simulator->command("silent 60");
    EXPECT_FALSE(rig.core.startButton());
    ASSERT_EQ(rig.world.boxes.size(), 2U);
    EXPECT_EQ(rig.world.boxes[1], recorder::kNoAnswerMessage);
    rig.clock.runFor(60000);
    EXPECT_TRUE(rig.core.startButton());
    EXPECT_EQ(rig.world.boxes.size(), 2U) << "a log that starts needs no word";
}

// The value of a row of the results view; "" when there is none.
std::string resultsValue(const RecorderRig& rig, const char* category, const char* name) {
    const auto* rows = rig.window.results().rows(category);
    if (rows == nullptr) return "";
    for (const model::PropertyRow& row : *rows) {
        if (row.name == name) return row.value;
    }
    return "";
}

// The views say what each figure counts: the company's weight unit, feet, knots, nautical
// miles. The summary that is stored and reported keeps the bare figures.
TEST(FlightRecorder, TheViewsShowEachFigureWithItsUnit) {
    for (const WeightUnit unit : {WeightUnit::Kilograms, WeightUnit::Pounds}) {
        const std::string mass = weightSymbol(unit);
        RecorderRig rig;
        rig.settings.company.UnitSystem = unit;
        ASSERT_TRUE(rig.start()) << mass;
        rig.core.dump().update();
        struct Row {
            const char* category;
            const char* name;
            std::string unit;
        };
        const Row rows[] = {
            {model::kFlightData, "Altitude", " ft"},
            {model::kFlightData, "Ground Speed", " kt"},
            {model::kFlightData, "Indicated Speed", " kt"},
            {model::kFlightData, "Winds", " kt"},
            {model::kFlightData, "Length", " NM"},
            {model::kPlaneData, "Fuel On Board", " " + mass},
            {model::kPlaneData, "Fuel Flow", " " + mass + "/h"},
            {model::kPlaneData, "Weight", " " + mass},
        };
        for (const Row& row : rows) {
            EXPECT_TRUE(resultsValue(rig, row.category, row.name).ends_with(row.unit))
                << mass << " " << row.name << ": " << resultsValue(rig, row.category, row.name);
        }
        rig.core.stopButton();
        ASSERT_TRUE(rig.window.summaryOffered()) << mass;
        for (const char* name : {"Spent Fuel", "Intial Fuel", "End Fuel", "Zero Fuel Weight"}) {
            EXPECT_TRUE(resultsValue(rig, model::kFlightResults, name).ends_with(" " + mass))
                << mass << " " << name << ": " << resultsValue(rig, model::kFlightResults, name);
        }
        EXPECT_TRUE(resultsValue(rig, model::kFlightResults, "Flight length").ends_with(" NM"));
        EXPECT_EQ(rig.summary.UsedFuel.find(' '), std::string::npos) << "stored bare";
        EXPECT_EQ(rig.summary.ZFW.find(' '), std::string::npos) << "stored bare";
    }
}

// With the airport list the package ships, the flight data view names the airports the
// form gives and counts the distances to them.
TEST(FlightRecorder, TheFlightDataViewNamesTheAirportsOfTheShippedList) {
    const std::string list = AVIOLOG_AIRPORT_LIST;
    if (list.empty()) GTEST_SKIP() << "built without the airport list (no AVIOLOG_AIRPORT_DB)";
    RecorderRig rig;
    rig.dir.write("apt.txt", readFileBytes(list).value_or(""));
    rig.record.departureIcao = "LPPT";
    rig.record.arrivalIcao = "LPPR";
    ASSERT_TRUE(rig.start());
    rig.core.dump().update();
    EXPECT_EQ(resultsValue(rig, model::kFlightData, "From"), "Lisbon Humberto Delgado Airport");
    EXPECT_EQ(resultsValue(rig, model::kFlightData, "To"), "Francisco de S\xE1 Carneiro Airport");
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
    for (const std::string& box : result.pilotBoxes)
        EXPECT_EQ(box, "Plane at Departure Airport? -> Yes");
}

// Minutes of an "hh:mm" duration; -1 for anything else (a sign, a missing field).
int minutesOf(const std::string& hhmm) {
    if (hhmm.size() != 5 || hhmm[2] != ':' || hhmm.find('-') != std::string::npos) return -1;
    return std::stoi(hhmm.substr(0, 2)) * 60 + std::stoi(hhmm.substr(3, 2));
}

// The "hh:mm" after a line's label in the log, or "" when the line is not there.
std::string loggedDuration(const RunResult& r, const std::string& label) {
    const std::size_t at = r.summary.logText.find(label);
    return at == std::string::npos ? "" : r.summary.logText.substr(at + label.size(), 5);
}

TEST(FlightClock, ClockChangesAndLossesAreNeverFlyingTime) {
    const RunResult baseline = flyWith({});
    ASSERT_EQ(baseline.end, RunResult::End::Stopped);
    const int baseBlock = minutesOf(baseline.summary.FlightDur);
    const int baseFlight = minutesOf(loggedDuration(baseline, "Flight Duration: "));
    const int baseLength = std::stoi(baseline.summary.FlightLength);
    struct Row {
        const char* name;
        const char* event;
    };
    const Row rows[] = {
        {"5 minutes back in cruise", "on cruise clock -5m"},
        {"10 minutes back in cruise", "on cruise clock -10m"},
        {"5 minutes forward in cruise", "on cruise clock +5m"},
        {"2 hours back in cruise", "on cruise clock -2h"},
        {"set to 23:58 in cruise", "on cruise clock 23:58"},
        {"2 hours back at the gate", "at 0:00:30 clock -2h"},
        {"lost 17 minutes from cruise", "on cruise silent 1020"},
    };
    for (const Row& row : rows) {
        const RunResult r = flyWith({row.event});
        ASSERT_EQ(r.end, RunResult::End::Stopped) << row.name;
        EXPECT_NEAR(minutesOf(r.summary.FlightDur), baseBlock, 1) << row.name;
        EXPECT_NEAR(minutesOf(loggedDuration(r, "Block to Block Duration: ")), baseBlock, 1)
            << row.name;
        EXPECT_NEAR(minutesOf(loggedDuration(r, "Flight Duration: ")), baseFlight, 1) << row.name;
        EXPECT_NEAR(std::stoi(r.summary.FlightLength), baseLength, 0.05 * baseLength) << row.name;
        for (const std::string& call : r.calls) {
            if (call.starts_with("acars in")) {
                EXPECT_EQ(call.find('-'), std::string::npos) << row.name;
            }
        }
        if (std::string(row.event).find("silent") != std::string::npos) {
            EXPECT_EQ(r.summary.logText.find("UTC Jump"), std::string::npos) << row.name;
        }
    }
}

TEST(FlightClock, NoDurationWithoutItsStartingMoment) {
    // Stopped at the gate, before blocks off: no block time, not the time of day.
    FlightRig rig;
    headless::RunnerOptions options;
    options.stopAtMs = 30000;
    const RunResult stopped = rig.fly("lppt-lppr.scn", options);
    ASSERT_EQ(stopped.end, RunResult::End::Stopped);
    EXPECT_EQ(stopped.summary.FlightDur, "00:00");
    EXPECT_EQ(loggedDuration(stopped, "Block to Block Duration: "), "00:00");

    // Lost on the taxiway: the dump starts at take-off, and its time since take-off
    // never exceeds the time from blocks off to blocks on.
    std::vector<FlightRig::Edit> onlyFlightTime;
    for (const char* key : {"LogAltitude", "LogHeading", "LogGroundSpeed", "LogTotalSpeed",
                            "LogIndicatedSpeed", "LogWinds", "LogFuelOnBoard", "LogFuelFlow",
                            "LogEndurance", "LogFlightLength", "LogPlaneWeight"}) {
        onlyFlightTime.push_back({"FlightInfo", key, "0", true});
    }
    onlyFlightTime.push_back({"FlightInfo", "LogFlightTime", "1", true});
    FlightRig dumped(onlyFlightTime);
    headless::RunnerOptions dumpOptions;
    dumpOptions.startDump = true;
    dumpOptions.extraEvents = {"at 0:04:00 silent 120"};
    const RunResult lost = dumped.fly("lppt-lppr.scn", dumpOptions);
    ASSERT_EQ(lost.end, RunResult::End::Stopped);
    const int flown = minutesOf(loggedDuration(lost, "Block to Block Duration: "));
    const std::string csv = dumped.dir.read("flightlog.csv");
    ASSERT_FALSE(csv.empty());
    for (std::size_t begin = 0, end; (end = csv.find("\r\n", begin)) != std::string::npos;
         begin = end + 2) {
        const std::string row = csv.substr(begin, end - begin);
        const std::size_t comma = row.find(',');
        EXPECT_LE(minutesOf(row.substr(comma + 1, 5)), flown) << row;
        EXPECT_GE(minutesOf(row.substr(comma + 1, 5)), 0) << row;
    }
}

TEST(FlightRecorder, ATouchdownNobodySawIsNotReported) {
    struct Row {
        const char* name;
        const char* event;
    };
    const Row rows[] = {
        {"lost across the flare", "on flare silent 120"},
        {"lost from the descent until after the landing", "on descent silent 1500"},
    };
    for (const Row& row : rows) {
        const RunResult r = flyWith({row.event});
        ASSERT_EQ(r.end, RunResult::End::Stopped) << row.name;
        EXPECT_EQ(r.summary.logText.find("TouchDown:Rate"), std::string::npos) << row.name;
        EXPECT_NE(
            r.summary.logText.find("TouchDown: not recorded, the simulator was not answering"),
            std::string::npos)
            << row.name;
        EXPECT_EQ(r.summary.RateTD, "") << row.name;
        EXPECT_EQ(r.summary.speedTD, "") << row.name;
    }
}

TEST(RecorderStops, StopLogEndsTheTouchdownSampler) {
    RecorderRig rig;
    ASSERT_TRUE(rig.start());
    ASSERT_TRUE(rig.runUntil([&] { return rig.clock.isRunning(recorder::kTouchdownTimer); }));
    rig.core.stopButton();
    ASSERT_TRUE(rig.window.summaryOffered());
    EXPECT_FALSE(rig.clock.isRunning(recorder::kTouchdownTimer));
    const std::string stopped = rig.log();
    rig.clock.runFor(120000);
    EXPECT_EQ(rig.log(), stopped) << "nothing is logged below the finished log";
}

TEST(RecorderStops, AfterACrashStopLogBuildsNoSummary) {
    RecorderRig rig("air-start.scn");
    rig.settings.realism.Crash = 1;
    ASSERT_TRUE(rig.start());
    rig.clock.runFor(60000);
    ASSERT_TRUE(rig.simulator->command("crash").ok);
    ASSERT_TRUE(
        rig.runUntil([&] { return rig.flight.phase == recorder::FlightPhase::Stopped; }, 60000));
    const std::string crashed = rig.log();
    EXPECT_NE(crashed.find("CRASH"), std::string::npos);
    rig.core.stopButton();
    EXPECT_FALSE(rig.window.summaryOffered());
    EXPECT_EQ(rig.log(), crashed);
    EXPECT_FALSE(rig.window.control(model::Control::StopLog).enabled);
    EXPECT_TRUE(rig.window.control(model::Control::SaveLog).enabled);
}

TEST(RecorderSettings, OutOfRangeIntervalsAreHeldToSoundOnes) {
    struct Row {
        std::int16_t logUpdate;
        int expectedMs;
    };
    for (const Row row :
         {Row{0, 1000}, Row{-5, 1000}, Row{32767, 100000}, Row{101, 100000}, Row{5, 5000}}) {
        RecorderRig rig("air-start.scn");
        rig.settings.flightInfo.LogUpdate = row.logUpdate;
        ASSERT_TRUE(rig.start()) << row.logUpdate;
        ASSERT_TRUE(rig.runUntil([&] { return rig.clock.isRunning(recorder::kDumpTimer); }, 60000))
            << row.logUpdate;
        EXPECT_EQ(rig.clock.intervalOf(recorder::kDumpTimer), row.expectedMs) << row.logUpdate;
    }

    // A pilot-in-cockpit range of 0 minutes is one minute: not a warning every second.
    RecorderRig rig("air-start.scn");
    rig.settings.realism.PIC = 1;
    rig.settings.realism.MinReset = 0;
    rig.settings.realism.MaxReset = 0;
    ASSERT_TRUE(rig.start());
    rig.clock.runFor(90000);
    const std::string log = rig.log();
    std::size_t failed = 0;
    for (std::size_t at = 0; (at = log.find("Failled to reset counter", at)) != std::string::npos;
         ++at) {
        ++failed;
    }
    EXPECT_EQ(failed, 1u);
    EXPECT_LE(rig.world.loopsStarted, 1);
}

TEST(RecorderStops, AnAirStartRecordsBlocksOffOnceItsWeightIsRead) {
    RecorderRig rig("air-start.scn");
    rig.settings.aviolog.AutomatedStop = 1;
    ASSERT_TRUE(rig.start());
    // The first weight read on its own after Start is the take-off step's: answered
    // garbled once, so that step must try again at the next tick.
    bool garbled = false;
    rig.ipc.afterServe = [&](std::span<std::byte> block) {
        if (!garbled && wire::load32(block.data() + 4) == wire::var::GrossWeight.offset &&
            wire::load32(block.data() + 24) == wire::kRecordEnd) {
            wire::store32(block.data(), 7);
            garbled = true;
        }
    };
    ASSERT_TRUE(
        rig.runUntil([&] { return rig.flight.phase == recorder::FlightPhase::Airborne; }, 60000));
    EXPECT_TRUE(garbled);
    EXPECT_TRUE(rig.progress.blockOffAtMin.has_value());
    ASSERT_TRUE(rig.runUntil([&] { return rig.window.summaryOffered(); }));
    EXPECT_LT(minutesOf(rig.summary.FlightDur), 60) << rig.summary.FlightDur;
    EXPECT_GT(minutesOf(rig.summary.FlightDur), 10) << rig.summary.FlightDur;
}

TEST(SimTime, CalendarAndDurations) {
    struct DateRow {
        int year, dayOfYear, month, day;
    };
    for (const DateRow& r :
         {DateRow{2024, 60, 2, 29}, DateRow{2023, 60, 3, 1}, DateRow{2000, 366, 12, 31},
          DateRow{1900, 60, 3, 1}, DateRow{2024, 1, 1, 1}, DateRow{2023, 400, 12, 31}}) {
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
    for (const Row& r :
         {Row{"FL350", 35000}, Row{"F350", 35000}, Row{"A050", 5000}, Row{"35000", 35000},
          Row{"", 0}, Row{"FLX", 0}, Row{"2FL", 0}, Row{"FL99999999999", 2147483647u}}) {
        EXPECT_EQ(recorder::cruiseAltitudeFt(r.level), r.feet) << r.level;
    }
}

TEST(FlightEvents, FlapDetentsTheFleetFileLeavesUnnamedAreLoggedByNumber) {
    // The approach of air-start.scn sets detents 1 to 4 at 219, 189, 174 and 166 knots.
    struct Row {
        const char* name;
        const char* flaps;  // the fleet file's Flaps key
        std::vector<std::string> lines;
    };
    const Row rows[] = {
        {"every detent named",
         "UP,F1,F2,F3,FULL",
         {"Flaps:F1 at 219 Knots", "Flaps:F2 at 189 Knots", "Flaps:F3 at 174 Knots",
          "Flaps:FULL at 166 Knots"}},
        {"fewer names than detents",
         "UP,F1",
         {"Flaps:F1 at 219 Knots", "Flaps:2 at 189 Knots", "Flaps:3 at 174 Knots",
          "Flaps:4 at 166 Knots"}},
        {"a name left out",
         "UP,,F2,,FULL",
         {"Flaps:1 at 219 Knots", "Flaps:F2 at 189 Knots", "Flaps:3 at 174 Knots",
          "Flaps:FULL at 166 Knots"}},
    };
    for (const Row& row : rows) {
        FlightRig rig;
        rig.dir.write("TAPplanes.txt", std::string("[Plane.0]\r\nName=A320\r\nReg=CS-TNA\r\n"
                                                   "Flaps=") +
                                           row.flaps + "\r\n");
        const RunResult r = rig.fly("air-start.scn");
        std::vector<std::string> flaps;
        for (const std::string& line : r.log) {
            const std::size_t at = line.find("Flaps:");
            if (at != std::string::npos) flaps.push_back(line.substr(at));
        }
        EXPECT_EQ(flaps, row.lines) << row.name;
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
