#include "headless/runner_command_line.h"

#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <string>
#include <vector>

namespace aviolog::headless {
namespace {

using Line = RunnerCommandLine;

std::string parse(std::vector<std::string> args, Line& line) {
    args.insert(args.begin(), "aviolog-fly");
    std::vector<const char*> argv;
    for (const std::string& a : args) argv.push_back(a.c_str());
    return parseRunnerCommandLine(static_cast<int>(argv.size()), argv.data(), line);
}

// Every option of the table with a value it takes, and where that value must land; an
// option added without a row here fails, as does one whose value lands elsewhere.
TEST(RunnerCommandLine, EveryOptionOfTheTableParsesAndIsListed) {
    const struct {
        const char* option;
        const char* value;  // nullptr: a switch
        std::function<bool(const Line&)> took;
    } rows[] = {
        {"--help", nullptr, [](const Line& l) { return l.help; }},
        {"--scenario", "a.scn", [](const Line& l) { return l.run.scenarioPath == "a.scn"; }},
        {"--dir", "/tmp/x", [](const Line& l) { return l.run.workDir == "/tmp/x"; }},
        {"--live", nullptr, [](const Line& l) { return l.run.live; }},
        {"--speed", "16", [](const Line& l) { return l.run.speed == 16.0; }},
        {"--ipc-prefix", "p-", [](const Line& l) { return l.run.ipcPrefix == "p-"; }},
        {"--event", "at 0:10:00 pause",
         [](const Line& l) { return l.run.extraEvents.at(0) == "at 0:10:00 pause"; }},
        {"--answer", "Plane at=no",
         [](const Line& l) {
             return l.run.answers.at(0) == std::pair<std::string, std::string>{"Plane at", "no"};
         }},
        {"--flap-names", "UP,1,,FULL",
         [](const Line& l) {
             return l.run.flapNames == std::vector<std::string>{"UP", "1", "", "FULL"};
         }},
        {"--metar", "LPPT=LPPT 141200Z",
         [](const Line& l) { return l.run.metars.at("LPPT") == "LPPT 141200Z"; }},
        {"--weather", nullptr, [](const Line& l) { return l.run.providerMetars; }},
        {"--gauge-port", "1148", [](const Line& l) { return l.run.gaugePort == 1148; }},
        {"--from", "LPPT", [](const Line& l) { return l.run.form.departureIcao == "LPPT"; }},
        {"--to", "LPPR", [](const Line& l) { return l.run.form.arrivalIcao == "LPPR"; }},
        {"--alternate", "LEVX", [](const Line& l) { return l.run.form.alternateIcao == "LEVX"; }},
        {"--level", "FL240", [](const Line& l) { return l.run.form.flightLevel == "FL240"; }},
        {"--route", "DCT", [](const Line& l) { return l.run.form.route == "DCT"; }},
        {"--aircraft", "B738", [](const Line& l) { return l.run.form.aircraftType == "B738"; }},
        {"--registration", "CS-TNA",
         [](const Line& l) { return l.run.form.registration == "CS-TNA"; }},
        {"--flight", "TP1940", [](const Line& l) { return l.run.form.flightNumber == "TP1940"; }},
        {"--callsign", "TAP1940", [](const Line& l) { return l.run.form.callsign == "TAP1940"; }},
        {"--pax", "120", [](const Line& l) { return l.run.form.passengers == "120"; }},
        {"--cargo", "900", [](const Line& l) { return l.run.form.cargo == "900"; }},
        {"--online", "IVAO", [](const Line& l) { return l.run.form.onlineNetwork == "IVAO"; }},
        {"--pilot", "0042", [](const Line& l) { return l.run.form.pilotNumber == "0042"; }},
        {"--set-clock", "13:05/14:05",
         [](const Line& l) {
             const model::DateTimeBox& b = l.run.dateTimeBox;
             return b.setClock && b.utcHour == 13 && b.localHour == 14 && b.localMinute == 5;
         }},
        {"--set-date", "2024-02-29",
         [](const Line& l) { return l.run.dateTimeBox.setDate && l.run.dateTimeBox.day == 29; }},
        {"--pln", "a.pln", [](const Line& l) { return l.run.plnFile == "a.pln"; }},
        {"--fsa", "a.fsa", [](const Line& l) { return l.run.fsaFile == "a.fsa"; }},
        {"--servinfo", nullptr, [](const Line& l) { return l.run.servinfo; }},
        {"--flight-from-va", nullptr, [](const Line& l) { return l.run.flightFromVa; }},
        {"--simbrief", "ann.p", [](const Line& l) { return l.run.simbriefUser == "ann.p"; }},
        {"--bid", "2", [](const Line& l) { return l.run.bid == 2; }},
        {"--fuel", "left main tank=4000",
         [](const Line& l) {
             return l.run.fuelLoads.at(0) == std::pair<std::string, long>{"left main tank", 4000};
         }},
        {"--fuel-total", "7000", [](const Line& l) { return l.run.fuelTotal == 7000; }},
        {"--export-sb3", nullptr, [](const Line& l) { return l.run.exportSb3; }},
        {"--dump", nullptr, [](const Line& l) { return l.run.startDump; }},
        {"--stop-at", "1:02:03", [](const Line& l) { return l.run.stopAtMs == 3723000; }},
        {"--no-stop", nullptr, [](const Line& l) { return !l.run.pressStop; }},
        {"--limit", "90", [](const Line& l) { return l.run.limitMs == 90 * 60000; }},
        {"--accept", nullptr,
         [](const Line& l) { return l.run.summaryAnswer == RunnerOptions::SummaryAnswer::Accept; }},
        {"--dismiss", nullptr,
         [](const Line& l) {
             return l.run.summaryAnswer == RunnerOptions::SummaryAnswer::Dismiss;
         }},
        {"--save-log", "a.log", [](const Line& l) { return l.run.saveLogTo == "a.log"; }},
        {"--save-acars", "a.txt", [](const Line& l) { return l.run.saveAcarsTo == "a.txt"; }},
        {"--send-log", nullptr, [](const Line& l) { return l.run.sendLog; }},
        {"--local-db", nullptr, [](const Line& l) { return l.run.showLocalDb; }},
        {"--send-pilot", "0007", [](const Line& l) { return l.run.sendPilotNumber == "0007"; }},
        {"--send-pilot-escape", nullptr,
         [](const Line& l) { return l.run.escapeSendLogParameters; }},
        {"--browser", "cancel", [](const Line& l) { return !l.run.browserOk; }},
        {"--log-dir", "/tmp/logs", [](const Line& l) { return l.run.logDirectory == "/tmp/logs"; }},
        {"--check-seal", "a.log", [](const Line& l) { return l.sealToCheck == "a.log"; }},
        {"--calls", nullptr, [](const Line& l) { return l.printCalls; }},
        {"--acars", nullptr, [](const Line& l) { return l.printAcars; }},
        {"--raw", nullptr, [](const Line& l) { return l.raw; }},
    };
    const std::string usage = runnerUsage();
    std::set<std::string> tested;
    for (const auto& row : rows) {
        tested.insert(row.option);
        std::vector<std::string> args{row.option};
        if (row.value != nullptr) args.push_back(row.value);
        Line line;
        EXPECT_EQ(parse(args, line), "") << row.option;
        EXPECT_TRUE(row.took(line)) << row.option;
        EXPECT_NE(usage.find("\n  " + std::string(row.option) + (row.value ? " " : "")),
                  std::string::npos)
            << row.option << " in\n"
            << usage;
    }
    for (const RunnerOption& option : runnerOptions()) {
        EXPECT_TRUE(tested.contains(std::string(option.name))) << option.name << " has no row";
        EXPECT_FALSE(option.help.empty()) << option.name;
    }
}

TEST(RunnerCommandLine, ACommandLineItCannotUseSaysWhy) {
    const struct {
        const char* name;
        std::vector<std::string> args;
        const char* error;
    } rows[] = {
        {"a value missing", {"--scenario"}, "--scenario needs a value"},
        {"unknown, last", {"--fly"}, "unknown option --fly"},
        {"unknown, followed by more", {"--fly", "--dump"}, "unknown option --fly"},
        {"a stage is not a time", {"--limit", "cruise"}, "--limit wants a number of minutes"},
        {"a reply outside the list",
         {"--answer", "Plane=maybe"},
         "--answer: the reply is yes, no, ok or cancel"},
        {"a fuel load that is no number",
         {"--fuel", "left main tank=lots"},
         "--fuel wants 'TANK=LOAD', e.g. 'left main tank=4000'"},
        {"a clock past midnight",
         {"--set-clock", "24:00"},
         "--set-clock wants HH:MM or HH:MM/HH:MM (UTC/local)"},
        {"no bid before the first", {"--bid", "0"}, "--bid: 1 to 1000"},
        {"accept then dismiss",
         {"--accept", "--dismiss"},
         "--accept and --dismiss exclude each other"},
        {"the first fault is the one said",
         {"--speed", "0", "--gauge-port", "0"},
         "--speed: 0 to 1000"},
    };
    for (const auto& row : rows) {
        Line line;
        EXPECT_EQ(parse(row.args, line), row.error) << row.name;
    }
    // Help ends the walk: what follows it is not looked at.
    Line help;
    EXPECT_EQ(parse({"-h", "--fly"}, help), "");
    EXPECT_TRUE(help.help);
}

TEST(RunnerCommandLine, WhatTheOptionsLeaveOutOrContradict) {
    const struct {
        const char* name;
        std::vector<std::string> args;
        const char* error;
    } rows[] = {
        {"nothing to fly", {}, "--scenario is required"},
        {"live without airports",
         {"--live", "--from", "LPPT"},
         "--scenario, or --from and --to, is required"},
        {"a live flight typed", {"--live", "--from", "LPPT", "--to", "LPPR"}, ""},
        {"steps on what is stored", {"--send-log"}, ""},
        {"a summary without a flight",
         {"--send-log", "--accept"},
         "--accept, --dismiss and --save-log need a flight (--scenario)"},
        {"a stage in real time",
         {"--live", "--scenario", "a.scn", "--stop-at", "cruise"},
         "--stop-at STAGE needs virtual time"},
        {"a stage in virtual time", {"--scenario", "a.scn", "--stop-at", "cruise"}, ""},
    };
    for (const auto& row : rows) {
        Line line;
        ASSERT_EQ(parse(row.args, line), "") << row.name;
        EXPECT_EQ(checkRunnerCommandLine(line), row.error) << row.name;
    }
}

}  // namespace
}  // namespace aviolog::headless
