// Whole flights for a VA on phpVMS 7: flown through the flight runner against a loopback
// stand-in that answers as a phpVMS 7 site does, bid to filed PIREP.

#include "reporting/phpvms_flight.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <map>
#include <set>
#include <sstream>

#include "common/code_page.h"
#include "common/text_file.h"
#include "common/units.h"
#include "config/settings.h"
#include "headless/flight_runner.h"
#include "model/main_window_model.h"
#include "planning/flight_form.h"
#include "platform/posix/curl_http_client.h"
#include "recorder/flight_journal.h"
#include "reporting/phpvms_api.h"
#include "reporting/phpvms_outbox.h"
#include "reporting/phpvms_pilot.h"
#include "reporting/seal.h"
#include "tests/support/child_process.h"
#include "tests/support/flight_rig.h"
#include "tests/support/fly_output.h"
#include "tests/support/loopback_phpvms_server.h"
#include "tests/support/scripted_pilot.h"
#include "tests/support/sim_fixture.h"
#include "tests/support/wait.h"

namespace aviolog::test {
namespace {

using headless::RunnerOptions;
using headless::RunResult;
using nlohmann::json;

struct PhpVmsRig {
    explicit PhpVmsRig(std::string key = LoopbackPhpVmsServer::kKey)
        : rig({{"Aviolog", "VaSystem", "phpVMS7"},
               {"phpVMS", "Url", server.url()},
               {"phpVMS", "ApiKey", key}}) {
        options.flightFromVa = true;
        options.summaryAnswer = RunnerOptions::SummaryAnswer::Accept;
    }

    RunResult fly() { return rig.fly("short-hop.scn", options); }

    const json& onlyPirep() {
        state = server.state();
        EXPECT_EQ(state["pireps"].size(), 1u) << state.dump();
        return state["pireps"].begin().value();
    }

    LoopbackPhpVmsServer server;
    FlightRig rig;
    RunnerOptions options;
    json state;
};

bool holdsKey(const std::string& text) {
    return text.find(LoopbackPhpVmsServer::kKey) != std::string::npos;
}

// Nothing the program wrote or showed holds the pilot's key; the profile alone keeps it.
void expectKeyNowhere(const RunResult& r, const TempDir& dir) {
    for (const auto* lines : {&r.log, &r.calls, &r.pilotBoxes, &r.acarsView}) {
        for (const std::string& line : *lines) EXPECT_FALSE(holdsKey(line)) << line;
    }
    EXPECT_FALSE(holdsKey(r.status));
    for (const auto& entry : std::filesystem::recursive_directory_iterator(dir.path())) {
        if (!entry.is_regular_file() || entry.path().filename() == "TAP.ini") continue;
        EXPECT_FALSE(holdsKey(readFileBytes(entry.path()).value_or(""))) << entry.path().filename();
    }
}

std::vector<std::string> strings(const json& list) {
    std::vector<std::string> out;
    for (const json& item : list) out.push_back(item.get<std::string>());
    return out;
}

// The stand-in's bid and a second one, to another field with the type alone.
json twoBids() {
    const json first = {{"id", 100},
                        {"aircraft_id", 41},
                        {"flight",
                         {{"id", "fl7"},
                          {"airline_id", 1},
                          {"airline", {{"id", 1}, {"icao", "VAX"}}},
                          {"flight_number", "123"},
                          {"callsign", "VAX123"},
                          {"dpt_airport_id", "LPPR"},
                          {"arr_airport_id", "LPBR"},
                          {"level", 3000},
                          {"route", "DCT"}}},
                        {"aircraft", {{"id", 41}, {"icao", "B738"}, {"registration", "D-AVIO"}}}};
    json second = first;
    second["id"] = 101;
    second["flight"]["id"] = "fl8";
    second["flight"]["flight_number"] = "77";
    second["flight"]["callsign"] = "VAX77";
    second["flight"]["arr_airport_id"] = "LPVR";
    second["aircraft"] = {{"id", 42}, {"icao", "B738"}, {"registration", ""}};
    return json::array({first, second});
}

TEST(PhpVmsFlight, SeveralBidsAreOfferedAndThePilotsChoiceFillsTheForm) {
    LoopbackPhpVmsServer server;
    ASSERT_TRUE(server.running()) << server.startupOutput();
    server.control({{"bids", twoBids()}});
    const struct {
        const char* name;
        std::optional<std::size_t> choice;
        const char* flightNumber;  // null: the form stays as it was
        const char* arrival;
    } rows[] = {
        {"the first", 0, "VAX123", "LPBR"},
        {"the second", 1, "VAX77", "LPVR"},
        {"cancelled", std::nullopt, nullptr, nullptr},
    };
    for (const auto& row : rows) {
        TempDir dir;
        config::Settings settings;
        settings.phpVms.Url = server.url();
        settings.phpVms.ApiKey = LoopbackPhpVmsServer::kKey;
        model::FlightRecord record;
        model::MainWindowModel window;
        planning::FlightFormModel form(
            {.settings = settings, .record = record, .window = window, .workDir = dir.path()});
        form.initialise();
        platform::posix::CurlHttpClient http;
        ScriptedPilot pilot;
        pilot.chosenItems = {row.choice};
        const auto bid = reporting::flightFromPhpVms(
            {.settings = settings, .http = http, .pilot = pilot, .workDir = dir.path()}, form);
        ASSERT_EQ(pilot.itemChoosers.size(), 1u) << row.name;
        EXPECT_EQ(pilot.itemChoosers[0].first, reporting::kChooseBidTitle);
        EXPECT_EQ(
            pilot.itemChoosers[0].second,
            (std::vector<std::string>{"VAX123  LPPR - LPBR  D-AVIO", "VAX77  LPPR - LPVR  B738"}))
            << row.name;
        EXPECT_TRUE(pilot.shown.empty()) << row.name << pilot.texts().front();
        if (!row.flightNumber) {
            EXPECT_FALSE(bid) << row.name;
            EXPECT_EQ(record.flightNumber, "") << row.name;
            EXPECT_EQ(record.arrivalIcao, "") << row.name;
            continue;
        }
        ASSERT_TRUE(bid) << row.name;
        EXPECT_EQ(record.flightNumber, row.flightNumber) << row.name;
        EXPECT_EQ(record.arrivalIcao, row.arrival) << row.name;
    }
}

TEST(PhpVmsFlight, TheRunnerTakesTheFirstBidOrTheOneItIsToldOf) {
    const struct {
        int bid;
        const char* flightNumber;
    } rows[] = {{1, "VAX123"}, {2, "VAX77"}};
    for (const auto& row : rows) {
        PhpVmsRig rig;
        ASSERT_TRUE(rig.server.running()) << rig.server.startupOutput();
        rig.server.control({{"bids", twoBids()}});
        rig.options.bid = row.bid;
        rig.options.stopAtMs = 1000;
        const RunResult r = rig.fly();
        EXPECT_EQ(r.record.flightNumber, row.flightNumber) << row.bid;
        const auto box =
            std::find_if(r.pilotBoxes.begin(), r.pilotBoxes.end(),
                         [](const std::string& b) { return b.starts_with("[Flight from VA]"); });
        ASSERT_NE(box, r.pilotBoxes.end()) << row.bid;
        EXPECT_NE(box->find("VAX123"), std::string::npos) << *box;
        EXPECT_NE(box->find("VAX77"), std::string::npos) << *box;
    }
}

TEST(PhpVmsFlight, TheBidFlownPositionedAndFiledWithTheSummarysFigures) {
    PhpVmsRig rig;
    ASSERT_TRUE(rig.server.running()) << rig.server.startupOutput();
    // The site stores the first batch of positions and its answer is lost: the batch is
    // sent again with the same ids.
    rig.server.control({{"drop", {"/acars/position"}}});
    // Acts the realism monitor logs, which go to the site as events too.
    rig.options.extraEvents = {"at 0:00:20 slew on", "at 0:00:25 slew off", "at 0:02:00 rate 2",
                               "at 0:02:30 rate 1"};
    const RunResult r = rig.fly();
    ASSERT_EQ(r.end, RunResult::End::Stopped);
    ASSERT_TRUE(r.summaryClosed);

    // The first bid filled the form.
    EXPECT_EQ(r.record.flightNumber, "VAX123");
    EXPECT_EQ(r.record.callsign, "VAX123");
    EXPECT_EQ(r.record.departureIcao, "LPPR");
    EXPECT_EQ(r.record.arrivalIcao, "LPBR");
    EXPECT_EQ(r.record.alternateIcao, "LPPT");
    EXPECT_EQ(r.record.route, "DCT");
    EXPECT_EQ(r.record.flightLevel, "30");
    EXPECT_EQ(r.record.registration, "D-AVIO");

    const json& pirep = rig.onlyPirep();
    EXPECT_EQ(pirep["airline_id"], "1");
    EXPECT_EQ(pirep["aircraft_id"], "41");
    EXPECT_EQ(pirep["flight_number"], "123");
    EXPECT_EQ(pirep["source_name"], "Aviolog");
    EXPECT_EQ(pirep["level"], 3000);
    EXPECT_EQ(pirep["state"], "filed");

    // The four moments, in order, as phpVMS's phases.
    std::vector<std::string> statuses;
    for (const json& update : pirep["updates"]) statuses.push_back(update["status"]);
    EXPECT_EQ(statuses, (std::vector<std::string>{"OFB", "TOF", "LAN", "ONB"}));
    // The events: the four moments and, in the order logged, the realism lines.
    std::vector<std::string> moments;
    std::vector<std::string> realism;
    for (const std::string& event : strings(pirep["events"])) {
        (reporting::realismEvent("00:00  " + event) ? realism : moments).push_back(event);
    }
    EXPECT_EQ(moments, (std::vector<std::string>{"Blocks off", "Take off", "Landed", "Blocks on"}));
    std::vector<std::string> realismLogged;
    bool started = false;
    for (const std::string& line : r.log) {
        started = started || line.starts_with("Start");
        if (started) {
            if (const auto event = reporting::realismEvent(line)) {
                realismLogged.emplace_back(*event);
            }
        }
    }
    EXPECT_NE(std::find(realism.begin(), realism.end(), "Slew ON"), realism.end());
    EXPECT_NE(std::find(realism.begin(), realism.end(), "Simulation Rate 2x"), realism.end());
    EXPECT_EQ(realism, realismLogged);

    // Positions: each stored once though one batch came twice.
    const json& positions = pirep["positions"];
    ASSERT_GE(positions.size(), 3u);
    EXPECT_GT(pirep["positions_received"].get<std::size_t>(), positions.size());
    std::set<int> numbers;
    for (const auto& [id, position] : positions.items()) {
        EXPECT_EQ(position["id"], id);
        numbers.insert(std::atoi(id.substr(id.rfind('-') + 1).c_str()));
        EXPECT_NEAR(position["lat"].get<double>(), 41.4, 0.3) << id;
    }
    EXPECT_EQ(*numbers.begin(), 1);
    EXPECT_EQ(*numbers.rbegin(), static_cast<int>(positions.size()));
    // Each carries the fuel on board in lb, burning down from the block fuel to what was
    // left at blocks on.
    const double blockLb = std::atoi(r.summary.InitialFuel.c_str()) * kPoundsPerKg;
    const double usedLb = std::atoi(r.summary.UsedFuel.c_str()) * kPoundsPerKg;
    std::map<int, double> fuelByNumber;
    for (const auto& [id, position] : positions.items()) {
        ASSERT_TRUE(position.contains("fuel")) << id;
        fuelByNumber[std::atoi(id.substr(id.rfind('-') + 1).c_str())] = position["fuel"];
    }
    ASSERT_GT(usedLb, 0.0);
    EXPECT_LE(fuelByNumber.begin()->second, blockLb * 1.01 + 1);
    EXPECT_GE(fuelByNumber.rbegin()->second, (blockLb - usedLb) * 0.99 - 1);
    EXPECT_LT(fuelByNumber.rbegin()->second, fuelByNumber.begin()->second);
    for (auto it = std::next(fuelByNumber.begin()); it != fuelByNumber.end(); ++it) {
        EXPECT_LE(it->second, std::prev(it)->second) << it->first;
    }

    // Every line of the flight log went to the ACARS log, in order, from the Start line on.
    const std::vector<std::string> logs = strings(pirep["logs"]);
    std::vector<std::string> flown;
    for (const std::string& line : r.log) {
        if (line.starts_with("Start") || !flown.empty()) flown.push_back(utf8FromWindows1252(line));
    }
    ASSERT_FALSE(flown.empty());
    EXPECT_EQ(logs, flown);

    // Filed in phpVMS's units: the summary's figures, the kilograms of this profile as lb.
    const model::FlightSummary& s = r.summary;
    EXPECT_EQ(pirep["distance"], std::atoi(s.FlightLength.c_str()));
    EXPECT_EQ(pirep["flight_time"], reporting::summaryMinutes(s.FlightDur));
    EXPECT_GT(pirep["flight_time"].get<int>(), 0);
    EXPECT_EQ(pirep["fuel_used"], std::trunc(std::atoi(s.UsedFuel.c_str()) * kPoundsPerKg));
    EXPECT_EQ(pirep["block_fuel"], std::trunc(std::atoi(s.InitialFuel.c_str()) * kPoundsPerKg));
    EXPECT_EQ(pirep["landing_rate"], std::atoi(s.RateTD.c_str()));
    // The landing analysis as PIREP fields, as the summary holds it.
    ASSERT_FALSE(s.TouchdownG.empty());
    EXPECT_EQ(pirep["fields"]["Touchdown G"], s.TouchdownG);
    EXPECT_EQ(pirep["fields"]["Bounces"], s.Bounces);
    EXPECT_EQ(pirep["fields"].contains("Landing note"), !s.LandingNote.empty());
    EXPECT_LT(pirep["landing_rate"].get<int>(), 0);
    EXPECT_EQ(pirep["notes"], utf8FromWindows1252(s.logText));

    // Filed while flown: "Send LOG" has nothing left to file.
    EXPECT_FALSE(rig.rig.dir.exists("TAP123.dat"));
    for (const json& request : rig.state["requests"]) EXPECT_TRUE(request["key_sent"]);
    expectKeyNowhere(r, rig.rig.dir);
}

// The site took the prefile and its answer was lost: the prefile sent again is the same
// flight within minutes, so phpVMS answers with the PIREP it already has.
TEST(PhpVmsFlight, APrefileWhoseAnswerWasLostMakesNoSecondPirep) {
    PhpVmsRig rig;
    rig.server.control({{"drop", {"/api/pireps/prefile"}}});
    const RunResult r = rig.fly();
    ASSERT_TRUE(r.summaryClosed);
    int prefiles = 0;
    const json state = rig.server.state();
    for (const json& request : state["requests"]) {
        if (request["path"] == "/api/pireps/prefile") ++prefiles;
    }
    EXPECT_EQ(prefiles, 2);
    const json& pirep = rig.onlyPirep();
    EXPECT_EQ(pirep["state"], "filed");
    EXPECT_EQ(pirep["updates"].size(), 4u);
}

TEST(PhpVmsFlight, DismissCancelsThePirep) {
    PhpVmsRig rig;
    rig.options.summaryAnswer = RunnerOptions::SummaryAnswer::Dismiss;
    const RunResult r = rig.fly();
    ASSERT_TRUE(r.summaryClosed);
    EXPECT_EQ(rig.onlyPirep()["state"], "cancelled");
}

TEST(PhpVmsFlight, ARefusalIsToldWithoutTheKeyAndTheFlightIsKept) {
    struct Row {
        const char* name;
        std::string key;
        json control;
        const char* told;
    };
    const Row rows[] = {
        {"wrong key", "not-the-key", json::object(), "HTTP 401"},
        {"aircraft elsewhere",
         LoopbackPhpVmsServer::kKey,
         {{"aircraft_airport", "LPPT"}},
         "The aircraft is not at the departure airport"},
    };
    for (const Row& row : rows) {
        PhpVmsRig rig(row.key);
        rig.server.control(row.control);
        const RunResult r = rig.fly();
        ASSERT_EQ(r.end, RunResult::End::Stopped) << row.name;
        ASSERT_TRUE(r.summaryClosed) << row.name;
        std::string seen;
        for (const auto& b : r.pilotBoxes) seen += b + "\n";
        for (const auto& a : r.acarsView) seen += a + "\n";
        EXPECT_NE(seen.find(row.told), std::string::npos) << row.name << "\n" << seen;
        // Stored and sealed, for "Send LOG" to file later.
        EXPECT_TRUE(rig.rig.dir.exists("TAP123.dat")) << row.name;
        EXPECT_FALSE(reporting::checkSeal(rig.rig.dir / "TAP123.dat", false)) << row.name;
        EXPECT_TRUE(rig.server.state()["pireps"].empty()) << row.name;
        expectKeyNowhere(r, rig.rig.dir);
    }
}

TEST(PhpVmsFlight, SendLogFilesTheFlightFlownOfflineAndRemovesIt) {
    PhpVmsRig rig;
    rig.server.control({{"fail_5xx", 1000}});
    const RunResult flown = rig.fly();
    ASSERT_TRUE(flown.summaryClosed);
    ASSERT_TRUE(rig.rig.dir.exists("TAP123.dat"));

    rig.server.control(json::object());
    RunnerOptions o = rig.options;
    o.workDir = rig.rig.dir.path().string();
    o.sendLog = true;
    const RunResult sent = headless::runWithoutFlight(o);
    ASSERT_FALSE(sent.pilotBoxes.empty());
    EXPECT_EQ(sent.pilotBoxes.back(), std::string(reporting::kPhpVmsFlightsFiled) + " -> OK");
    EXPECT_FALSE(rig.rig.dir.exists("TAP123.dat"));
    const json& pirep = rig.onlyPirep();
    EXPECT_EQ(pirep["state"], "filed");
    EXPECT_EQ(pirep["distance"], std::atoi(flown.summary.FlightLength.c_str()));
    EXPECT_EQ(pirep["landing_rate"], std::atoi(flown.summary.RateTD.c_str()));
}

int requestsTo(const json& state, std::string_view tail, int status = 0) {
    int count = 0;
    for (const json& request : state["requests"]) {
        const std::string path = request["path"];
        if (path.ends_with(tail) && (status == 0 || request.value("status", 0) == status)) ++count;
    }
    return count;
}

// The site refuses the file at OK: the program keeps trying it after the flight and it
// lands once the site takes it, in the same run or, when the run ended first, at the next
// start. "Send LOG" meanwhile leaves that flight to the outbox: the VA never gets it twice.
TEST(PhpVmsFlight, AFileTheSiteMissedAtOkLandsLaterAndOnlyOnce) {
    const struct {
        const char* name;
        int refusals;        // of the file, in a row
        bool landsInTheRun;  // otherwise at the next start, after a "Send LOG" with it waiting
        bool answerLost;     // the first file was taken and its answer lost
    } rows[] = {
        {"in the run", 2, true, false},
        {"at the next start", 100, false, false},
        // Sent again, it finds the PIREP filed: that is the pilot's flight filed.
        {"taken, answer lost", 0, true, true},
    };
    for (const auto& row : rows) {
        PhpVmsRig rig;
        json control{{"fail", std::vector<std::string>(row.refusals, "/file")}};
        if (row.answerLost) control["drop"] = {"/file"};
        rig.server.control(control);
        const RunResult flown = rig.fly();
        ASSERT_TRUE(flown.summaryClosed) << row.name;
        const bool waiting = rig.rig.dir.exists("outbox-TAP-phpvms.txt");
        EXPECT_EQ(waiting, !row.landsInTheRun) << row.name;
        expectKeyNowhere(flown, rig.rig.dir);  // the outbox file too, while it is there
        // Stored until the site took it.
        EXPECT_EQ(rig.rig.dir.exists("TAP123.dat"), !row.landsInTheRun) << row.name;
        if (!row.landsInTheRun) {
            EXPECT_EQ(rig.server.state()["pireps"].begin().value()["state"], "in_progress");
            RunnerOptions o = rig.options;
            o.workDir = rig.rig.dir.path().string();
            o.sendLog = true;
            const RunResult sent = headless::runWithoutFlight(o);
            ASSERT_FALSE(sent.pilotBoxes.empty()) << row.name;
            EXPECT_EQ(sent.pilotBoxes.back(),
                      std::string(reporting::kPhpVmsFileWaiting) + " -> OK");
            EXPECT_EQ(requestsTo(rig.server.state(), "/prefile"), 1) << row.name;
            EXPECT_TRUE(rig.rig.dir.exists("TAP123.dat")) << row.name;
            EXPECT_TRUE(rig.rig.dir.exists("outbox-TAP-phpvms.txt")) << row.name;
            rig.server.control(json::object());
            o.sendLog = false;
            headless::runWithoutFlight(o);
        }
        const json& pirep = rig.onlyPirep();
        EXPECT_EQ(pirep["state"], "filed") << row.name;
        EXPECT_EQ(pirep["distance"], std::atoi(flown.summary.FlightLength.c_str())) << row.name;
        EXPECT_EQ(pirep["landing_rate"], std::atoi(flown.summary.RateTD.c_str())) << row.name;
        EXPECT_EQ(requestsTo(rig.state, "/prefile"), 1) << row.name;
        EXPECT_GE(requestsTo(rig.state, "/file", 503), std::min(row.refusals, 3)) << row.name;
        EXPECT_EQ(requestsTo(rig.state, "/file", 200), 1) << row.name;
        EXPECT_EQ(requestsTo(rig.state, "/file", 400), row.answerLost ? 1 : 0) << row.name;
        EXPECT_FALSE(rig.rig.dir.exists("TAP123.dat")) << row.name;
        EXPECT_FALSE(rig.rig.dir.exists("outbox-TAP-phpvms.txt")) << row.name;
        expectKeyNowhere(flown, rig.rig.dir);
    }
}

// In virtual time, a run that ends at its time limit with the log running leaves what a
// killed program leaves. Resumed, the flight goes on with its PIREP; declined while it still
// waited for its PIREP, nothing of it reaches the PIREP of the next flight.
TEST(PhpVmsFlight, ACutFlightGoesOnWithItsPirepOrLeavesTheNextOneAlone) {
    const struct {
        const char* name;
        bool refusedFromStart;  // otherwise from the take-off
        const char* answer;
    } rows[] = {
        {"resumed", false, "yes"},
        {"declined before its prefile", true, "no"},
    };
    for (const auto& row : rows) {
        PhpVmsRig rig;
        if (row.refusedFromStart) rig.server.control({{"fail_5xx", 1000000}});
        RunnerOptions cut = rig.options;
        cut.limitMs = 6 * 60 * 1000;
        bool refused = row.refusedFromStart;
        const RunResult first = rig.rig.fly("short-hop.scn", cut, [&](const std::string& line) {
            if (!refused && line.find("Take-off") != std::string::npos) {
                rig.server.control({{"fail_5xx", 1000000}});
                refused = true;
            }
        });
        ASSERT_EQ(first.end, RunResult::End::TimedOut) << row.name;
        ASSERT_TRUE(rig.rig.dir.exists("outbox-TAP-phpvms.txt")) << row.name;
        // What the cut program left holds the flight's PIREP state, never the key.
        EXPECT_NE(rig.rig.dir.read("flight-in-progress-TAP.txt").find("phpvms.flightKey="),
                  std::string::npos)
            << row.name;
        expectKeyNowhere(first, rig.rig.dir);
        // As a kill between a tick's requests and its journal leaves them: a position and a
        // log line on disk that the journal does not know of yet.
        const auto journal =
            recorder::readJournalText(rig.rig.dir.read("flight-in-progress-TAP.txt"));
        ASSERT_TRUE(journal) << row.name;
        const std::string pirepId = journal->value("phpvms.pirep");
        const std::string lateId =
            format("%s-%d", journal->value("phpvms.flightKey").c_str(),
                   std::atoi(journal->value("phpvms.positionNumber").c_str()) + 1);
        if (!row.refusedFromStart) {
            ASSERT_NE(pirepId, "") << row.name;
            reporting::PhpVmsDiskOutbox box;
            box.keep(rig.rig.dir / "outbox-TAP-phpvms.txt");
            box.push({reporting::PhpVmsCall::Kind::Plain, "POST",
                      "/api/pireps/" + pirepId + "/acars/logs",
                      json{{"logs", {{{"log", "14:05  Never in the journal"}}}}}.dump(), ""});
            box.push({reporting::PhpVmsCall::Kind::Plain, "POST",
                      "/api/pireps/" + pirepId + "/acars/position",
                      json{{"positions", {{{"id", lateId}, {"lat", 41.3}, {"lon", -8.6}}}}}.dump(),
                      ""});
        }
        rig.server.control(json::object());
        RunnerOptions again = rig.options;
        again.answers.emplace_back("An unfinished flight was found. Resume it?", row.answer);
        const RunResult r = rig.rig.fly("short-hop.scn", again);
        ASSERT_TRUE(r.summaryClosed) << row.name;

        const json& pirep = rig.onlyPirep();
        EXPECT_EQ(pirep["state"], "filed") << row.name;
        EXPECT_EQ(requestsTo(rig.state, "/prefile", 200), 1) << row.name;
        std::vector<std::string> flown;
        for (const std::string& line : r.log) {
            if (line.starts_with("Start") || !flown.empty())
                flown.push_back(utf8FromWindows1252(line));
        }
        EXPECT_EQ(strings(pirep["logs"]), flown) << row.name;
        const bool resumed = std::any_of(flown.begin(), flown.end(), [](const std::string& l) {
            return l.find("Aviolog restarted, flight resumed") != std::string::npos;
        });
        EXPECT_EQ(resumed, std::string(row.answer) == "yes") << row.name;
        EXPECT_EQ(pirep["positions_received"].get<std::size_t>(), pirep["positions"].size())
            << row.name;
        std::set<int> numbers;
        for (const auto& [id, position] : pirep["positions"].items()) {
            numbers.insert(std::atoi(id.substr(id.rfind('-') + 1).c_str()));
        }
        EXPECT_EQ(*numbers.rbegin(), static_cast<int>(numbers.size()))
            << row.name << pirep["positions"].dump();
        if (!row.refusedFromStart) {
            EXPECT_EQ(pirep["positions"][lateId]["lat"], 41.3) << "another position took its id";
        }
        EXPECT_EQ(pirep["distance"], std::atoi(r.summary.FlightLength.c_str())) << row.name;
        EXPECT_FALSE(rig.rig.dir.exists("outbox-TAP-phpvms.txt")) << row.name;
        expectKeyNowhere(r, rig.rig.dir);
    }
}

// The program went while the summary was still open: the next start offers the stopped
// flight, and its OK files the PIREP the flight was flown on, once.
TEST(PhpVmsFlight, AStoppedFlightResumedAtItsSummaryFilesItsOwnPirep) {
    PhpVmsRig rig;
    rig.options.summaryAnswer = RunnerOptions::SummaryAnswer::Leave;
    const RunResult flown = rig.fly();
    ASSERT_TRUE(flown.summaryOffered);
    ASSERT_TRUE(rig.rig.dir.exists("flight-in-progress-TAP.txt"));
    EXPECT_EQ(rig.onlyPirep()["state"], "in_progress");

    RunnerOptions again = rig.options;
    again.summaryAnswer = RunnerOptions::SummaryAnswer::Accept;
    again.answers.emplace_back("An unfinished flight was found. Resume it?", "yes");
    const RunResult r = rig.rig.fly("short-hop.scn", again);
    ASSERT_TRUE(r.summaryClosed);
    const json& pirep = rig.onlyPirep();
    EXPECT_EQ(pirep["state"], "filed");
    EXPECT_EQ(requestsTo(rig.state, "/prefile"), 1);
    EXPECT_EQ(requestsTo(rig.state, "/file", 200), 1);
    EXPECT_EQ(pirep["distance"], std::atoi(flown.summary.FlightLength.c_str()));
    EXPECT_EQ(pirep["landing_rate"], std::atoi(flown.summary.RateTD.c_str()));
    EXPECT_EQ(pirep["positions_received"].get<std::size_t>(), pirep["positions"].size());
    EXPECT_FALSE(rig.rig.dir.exists("TAP123.dat"));
    EXPECT_FALSE(rig.rig.dir.exists("flight-in-progress-TAP.txt"));
    expectKeyNowhere(r, rig.rig.dir);
}

// The recorder never waits on the site: with the site silent from the top of descent on,
// the touchdown and the log are those of the flight with it answering, and the flight is
// stored on this computer.
TEST(PhpVmsFlight, ASilentSiteChangesNothingOfTheFlight) {
    auto flyWith = [](bool silentFromDescent) {
        PhpVmsRig rig;
        rig.options.vaInBackground = true;
        rig.options.flightFromVa = false;  // the form as typed: the same in both flights
        rig.options.form.departureIcao = "LPPR";
        rig.options.form.arrivalIcao = "LPBR";
        bool silenced = false;
        RunResult r = rig.rig.fly("short-hop.scn", rig.options, [&](const std::string& line) {
            if (silentFromDescent && !silenced && line.find("TOD") != std::string::npos) {
                rig.server.control({{"blackhole", true}});
                silenced = true;
            }
        });
        EXPECT_EQ(silenced, silentFromDescent);
        EXPECT_TRUE(r.summaryClosed);
        if (silentFromDescent) {
            EXPECT_TRUE(rig.rig.dir.exists("TAP123.dat"));
            EXPECT_FALSE(reporting::checkSeal(rig.rig.dir / "TAP123.dat", false));
        }
        return r;
    };
    const RunResult answering = flyWith(false);
    const RunResult silent = flyWith(true);
    EXPECT_EQ(silent.log, answering.log);
    EXPECT_EQ(silent.summary, answering.summary);
    EXPECT_EQ(silent.summary.RateTD, answering.summary.RateTD);
}

// Live, as a pilot flies: aviolog-fly against a running aviolog-sim (sped up), the VA's
// requests on their worker while the timers keep their beat.
TEST(PhpVmsFlight, LiveThroughTheSimulatorTheBidIsFlownAndFiled) {
    PhpVmsRig rig;
    ASSERT_TRUE(rig.server.running()) << rig.server.startupOutput();
    const std::string prefix = "aviolog-test-phpvms-" + std::to_string(getpid()) + "-";
    const std::string scenario = dataPath("scenarios/short-hop.scn");
    const std::string speed = "20";
    ChildProcess sim(AVIOLOG_SIM_PATH, {"--scenario", scenario, "--speed", speed, "--status", "0",
                                        "--ipc-prefix", prefix, "--exit-when-parked"});
    ASSERT_TRUE(sim.started());
    ChildProcess fly(AVIOLOG_FLY_PATH, {"--live", "--speed", speed, "--ipc-prefix", prefix, "--dir",
                                        rig.rig.dir.path().string(), "--scenario", scenario,
                                        "--flight-from-va", "--accept", "--limit", "60"});
    ASSERT_TRUE(fly.started());
    ASSERT_EQ(fly.wait(180000), 0) << fly.output();
    EXPECT_FALSE(holdsKey(fly.output()));

    // The last answers may still be on their way when the runner ends; the filed PIREP is
    // what the site holds once every request was answered.
    const json& pirep = rig.onlyPirep();
    EXPECT_EQ(pirep["flight_number"], "123");
    EXPECT_EQ(pirep["dpt_airport_id"], "LPPR");
    std::vector<std::string> statuses;
    for (const json& update : pirep["updates"]) statuses.push_back(update["status"]);
    EXPECT_EQ(statuses, (std::vector<std::string>{"OFB", "TOF", "LAN", "ONB"}));
    EXPECT_EQ(pirep["state"], "filed") << fly.output();
    EXPECT_GT(pirep["flight_time"].get<int>(), 0);
    EXPECT_LT(pirep["landing_rate"].get<int>(), 0);
    const std::string out = fly.output();
    EXPECT_NE(out.find("FlightLength=" + std::to_string(pirep["distance"].get<int>()) + "\n"),
              std::string::npos)
        << out;
}

// ---- Killed and started again, live ----

constexpr const char* kLiveSpeed = "20";
constexpr const char* kResumeYes = "An unfinished flight was found. Resume it?=yes";

// The stage of the simulator's latest status line ("T+... clock stage ...").
std::string simStage(const std::string& output) {
    const std::vector<std::string> lines = linesOf(output);
    for (auto it = lines.rbegin(); it != lines.rend(); ++it) {
        if (!it->starts_with("T+")) continue;
        std::istringstream in(*it);
        std::string time, clock, stage;
        in >> time >> clock >> stage;
        return stage;
    }
    return {};
}

void expectKeyInNoFile(const TempDir& dir) {
    for (const auto& entry : std::filesystem::recursive_directory_iterator(dir.path())) {
        if (!entry.is_regular_file() || entry.path().filename() == "TAP.ini") continue;
        EXPECT_FALSE(holdsKey(readFileBytes(entry.path()).value_or(""))) << entry.path().filename();
    }
}

struct LiveFlight {
    explicit LiveFlight(PhpVmsRig& rig, const char* name)
        : prefix("aviolog-test-phpvms-" + std::to_string(getpid()) + "-" + name + "-"),
          scenario(dataPath("scenarios/short-hop.scn")),
          sim(AVIOLOG_SIM_PATH, {"--scenario", scenario, "--speed", kLiveSpeed, "--status", "0.05",
                                 "--ipc-prefix", prefix, "--exit-when-parked"}),
          flyArgs({"--live", "--speed", kLiveSpeed, "--ipc-prefix", prefix, "--dir",
                   rig.rig.dir.path().string(), "--scenario", scenario, "--flight-from-va",
                   "--accept", "--limit", "60", "--answer", kResumeYes}) {}

    bool reached(const char* stage) {
        return waitFor([&] { return simStage(sim.output()) == stage; }, std::chrono::seconds(120),
                       std::chrono::milliseconds(2));
    }

    std::string prefix;
    std::string scenario;
    ChildProcess sim;
    std::vector<std::string> flyArgs;
};

// The site away from the take-off on and the program killed in cruise, then started again
// with the site back and the flight resumed: the same PIREP gets the whole flight, every
// position, log line and event once and in order, and is filed once with the summary's
// figures.
TEST(PhpVmsFlightResume, AKilledFlightGoesOnWithItsPirepAndIsFiledOnce) {
    PhpVmsRig rig;
    ASSERT_TRUE(rig.server.running()) << rig.server.startupOutput();
    LiveFlight live(rig, "resume");
    ASSERT_TRUE(live.sim.started());
    {
        ChildProcess fly(AVIOLOG_FLY_PATH, live.flyArgs);
        ASSERT_TRUE(fly.started());
        ASSERT_TRUE(live.reached("take-off")) << live.sim.output();
        rig.server.control({{"blackhole", true}});
        ASSERT_TRUE(live.reached("cruise")) << live.sim.output();
        fly.signal(SIGKILL);
        fly.wait(10000);
    }
    EXPECT_TRUE(rig.rig.dir.exists("outbox-TAP-phpvms.txt"));
    EXPECT_NE(rig.rig.dir.read("flight-in-progress-TAP.txt").find("phpvms.pirep="),
              std::string::npos);
    expectKeyInNoFile(rig.rig.dir);
    rig.server.control(json::object());
    ChildProcess again(AVIOLOG_FLY_PATH, live.flyArgs);
    ASSERT_TRUE(again.started());
    ASSERT_EQ(again.wait(180000), 0) << again.output();
    const std::string out = again.output();
    live.sim.wait(30000);

    const json& pirep = rig.onlyPirep();
    EXPECT_EQ(requestsTo(rig.state, "/prefile"), 1);
    EXPECT_EQ(pirep["state"], "filed") << out;

    // Every position once: none sent twice, none lost, no id given twice.
    const json& positions = pirep["positions"];
    EXPECT_GE(positions.size(), 10u);
    EXPECT_EQ(pirep["positions_received"].get<std::size_t>(), positions.size());
    std::set<int> numbers;
    for (const auto& [id, position] : positions.items()) {
        numbers.insert(std::atoi(id.substr(id.rfind('-') + 1).c_str()));
    }
    EXPECT_EQ(numbers.size(), positions.size());
    EXPECT_EQ(*numbers.begin(), 1);
    EXPECT_EQ(*numbers.rbegin(), static_cast<int>(positions.size()));

    // The log as the restarted program ended it, the restart line in its place.
    // aviolog-fly prints the log in UTF-8, as phpVMS takes it.
    const std::vector<std::string> flown = finalLog(out);
    ASSERT_FALSE(flown.empty()) << out;
    EXPECT_EQ(strings(pirep["logs"]), flown);
    EXPECT_EQ(std::count_if(flown.begin(), flown.end(),
                            [](const std::string& l) {
                                return l.find("Aviolog restarted, flight resumed") !=
                                       std::string::npos;
                            }),
              1);
    std::vector<std::string> statuses;
    for (const json& update : pirep["updates"]) statuses.push_back(update["status"]);
    EXPECT_EQ(statuses, (std::vector<std::string>{"OFB", "TOF", "LAN", "ONB"}));
    std::vector<std::string> moments;
    for (const std::string& event : strings(pirep["events"])) {
        if (!reporting::realismEvent("00:00  " + event)) moments.push_back(event);
    }
    EXPECT_EQ(moments, (std::vector<std::string>{"Blocks off", "Take off", "Landed", "Blocks on"}));

    EXPECT_EQ(pirep["distance"], std::atoi(summaryValue(out, "FlightLength").c_str()));
    EXPECT_EQ(pirep["flight_time"], reporting::summaryMinutes(summaryValue(out, "FlightDur")));
    const std::string rate = summaryValue(out, "RateTD");
    // Killed in cruise: the restarted program saw the touchdown.
    ASSERT_NE(rate, "") << out;
    EXPECT_EQ(pirep["landing_rate"], std::atoi(rate.c_str()));

    EXPECT_FALSE(rig.rig.dir.exists("outbox-TAP-phpvms.txt"));
    EXPECT_FALSE(rig.rig.dir.exists("flight-in-progress-TAP.txt"));
    EXPECT_FALSE(rig.rig.dir.exists("TAP123.dat")) << "filed, so not left for Send LOG";
    EXPECT_FALSE(holdsKey(out));
    expectKeyInNoFile(rig.rig.dir);
}

// The site refuses the file at OK and the program is killed while it still tries: the file
// lands when the program next starts, once, and the flight leaves the pilot log file.
TEST(PhpVmsFlightResume, AFileWaitingAtAKillLandsAtTheNextStart) {
    PhpVmsRig rig;
    ASSERT_TRUE(rig.server.running()) << rig.server.startupOutput();
    rig.server.control({{"fail", std::vector<std::string>(1000, "/file")}});
    LiveFlight live(rig, "file");
    ASSERT_TRUE(live.sim.started());
    const auto outbox = rig.rig.dir / "outbox-TAP-phpvms.txt";
    {
        ChildProcess fly(AVIOLOG_FLY_PATH, live.flyArgs);
        ASSERT_TRUE(fly.started());
        const bool fileWaits = waitFor(
            [&] {
                return requestsTo(rig.server.state(), "/file", 503) >= 2 &&
                       readFileBytes(outbox).value_or("").find("File POST") != std::string::npos;
            },
            std::chrono::seconds(180), std::chrono::milliseconds(20));
        ASSERT_TRUE(fileWaits) << fly.output();
        fly.signal(SIGKILL);
        fly.wait(10000);
    }
    live.sim.wait(30000);
    EXPECT_TRUE(rig.rig.dir.exists("TAP123.dat"));
    expectKeyInNoFile(rig.rig.dir);
    EXPECT_NE(rig.server.state()["pireps"].begin().value()["state"], "filed");
    rig.server.control(json::object());
    ChildProcess next(AVIOLOG_FLY_PATH, {"--dir", rig.rig.dir.path().string(), "--save-acars",
                                         (rig.rig.dir / "saved-acars.txt").string()});
    ASSERT_TRUE(next.started());
    ASSERT_EQ(next.wait(60000), 0) << next.output();

    const json& pirep = rig.onlyPirep();
    EXPECT_EQ(pirep["state"], "filed");
    EXPECT_EQ(requestsTo(rig.state, "/prefile"), 1);
    EXPECT_EQ(requestsTo(rig.state, "/file", 200), 1);
    EXPECT_GT(pirep["flight_time"].get<int>(), 0);
    EXPECT_FALSE(std::filesystem::exists(outbox));
    EXPECT_FALSE(rig.rig.dir.exists("TAP123.dat"));
    expectKeyInNoFile(rig.rig.dir);
}

}  // namespace
}  // namespace aviolog::test
