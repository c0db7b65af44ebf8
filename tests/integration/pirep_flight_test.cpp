// A whole flight as a VA sees it: flown through the flight runner, accepted, stored in the
// sealed pilot log file and the local database, then sent with "Send LOG" to a loopback VA
// script that decodes what it receives.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "common/text_file.h"
#include "config/ini_file.h"
#include "headless/flight_runner.h"
#include "reporting/local_database.h"
#include "reporting/pirep_sender.h"
#include "reporting/seal.h"
#include "tests/support/loopback_mail_server.h"
#include "tests/support/loopback_va_server.h"
#include "tests/support/sim_fixture.h"
#include "tests/support/temp_dir.h"

namespace aviolog::test {
namespace {

using headless::RunnerOptions;

struct VaRig {
    VaRig() {
        dir.write("aviolog.ori", readFileBytes(dataPath("aviolog.ori")).value_or(""));
        dir.write("TAP.ini",
                  "[Aviolog]\r\nCompanyICAO=TAP\r\nCompanyName=Example Air\r\nPilotNumber=123\r\n"
                  "UnitSystem=IS\r\n[Log]\r\nLog=" +
                      server.url("/pirep.php") + "\r\n");
        // The form's edits hold 9 characters; the aircraft list holds the long type.
        dir.write("TAPplanes.txt",
                  "[Plane.0]\r\nName=Cessna 172 \"Skyhawk\" #1\r\nReg=CS-AV\xC9\r\n");
        options.workDir = dir.path().string();
        options.scenarioPath = dataPath("scenarios/short-hop.scn");
        options.form.callsign = "TAP 1&2";
        options.form.aircraftType = "Cessna 172 \"Skyhawk\" #1";
        options.form.registration = "CS-AV\xC9";
    }

    headless::RunResult fly(RunnerOptions::SummaryAnswer answer) {
        RunnerOptions o = options;
        o.summaryAnswer = answer;
        return headless::runFlight(o);
    }
    headless::RunResult sendLog() {
        RunnerOptions o = options;
        o.scenarioPath.clear();
        o.sendLog = true;
        return headless::runWithoutFlight(o);
    }

    LoopbackVaServer server;
    TempDir dir;
    RunnerOptions options;
};

TEST(PirepFlight, AcceptedStoredSentAndRemoved) {
    VaRig rig;
    const headless::RunResult flown = rig.fly(RunnerOptions::SummaryAnswer::Accept);
    ASSERT_EQ(flown.end, headless::RunResult::End::Stopped);
    ASSERT_TRUE(flown.summaryClosed);
    EXPECT_FALSE(reporting::checkSeal(rig.dir / "TAP123.dat", false));
    EXPECT_EQ(flown.log.back(), reporting::kVersionLine);

    const auto stored = reporting::LocalDatabase(rig.dir / "aviolog.db").flights();
    ASSERT_EQ(stored.flights.size(), 1u);
    EXPECT_EQ(stored.flights[0].Callsign, "TAP 1&2");
    EXPECT_EQ(stored.flights[0].ToutchDownVerticalSpeed, std::atoi(flown.summary.RateTD.c_str()));

    const headless::RunResult sent = rig.sendLog();
    EXPECT_EQ(sent.pilotBoxes.back(), "Log Sent -> OK");
    EXPECT_FALSE(rig.dir.exists("TAP123.dat"));

    // The script's decoded parameters are the summary's values, byte for byte, and the
    // pieces put together are the log.
    const auto requests = rig.server.requests();
    ASSERT_FALSE(requests.empty());
    const model::FlightSummary& s = flown.summary;
    const std::vector<std::pair<std::string, std::string>> expected = {{"pilot", "TAP123"},
                                                                       {"date", s.Date},
                                                                       {"time", s.Hour},
                                                                       {"callsign", s.CallSign},
                                                                       {"reg", s.AircraftRegist},
                                                                       {"origin", s.DepAirport},
                                                                       {"dest", s.DestAirport},
                                                                       {"equipment", s.PlaneType},
                                                                       {"fuel", s.UsedFuel},
                                                                       {"duration", s.FlightDur},
                                                                       {"distance", s.FlightLength},
                                                                       {"version", "4010"}};
    EXPECT_EQ(s.CallSign, "TAP 1&2");
    EXPECT_EQ(s.PlaneType, "Cessna 172 \"Skyhawk\" #1");
    std::string log;
    for (std::size_t i = 0; i < requests.size(); ++i) {
        auto params = requests[i].params;
        ASSERT_EQ(params.size(), expected.size() + 2);
        EXPECT_EQ(params[expected.size()].second, i ? "1" : "0");
        log += params.back().second;
        params.resize(expected.size());
        EXPECT_EQ(params, expected) << "request " << i;
    }
    std::string text = s.logText;
    std::replace(text.begin(), text.end(), '\n', '*');
    EXPECT_EQ(log, text);
    EXPECT_EQ(requests.size(), s.logText.size() / reporting::kLogPieceChars + 1);
}

TEST(PirepFlight, ARefusedReportLeavesTheFlightStoredAndSealed) {
    VaRig rig;
    rig.server.setAnswers({{503, "Service Unavailable"}});
    ASSERT_TRUE(rig.fly(RunnerOptions::SummaryAnswer::Accept).summaryClosed);
    ASSERT_TRUE(rig.fly(RunnerOptions::SummaryAnswer::Accept).summaryClosed);
    const headless::RunResult sent = rig.sendLog();
    EXPECT_EQ(sent.pilotBoxes.back(), std::string(reporting::kDataBaseErrorMessage) + " -> OK");
    EXPECT_FALSE(reporting::checkSeal(rig.dir / "TAP123.dat", false));
    EXPECT_EQ(reporting::LocalDatabase(rig.dir / "aviolog.db").flights().flights.size(), 2u);

    rig.server.setAnswers({{200, "OK"}});
    rig.sendLog();
    EXPECT_FALSE(rig.dir.exists("TAP123.dat"));
}

TEST(PirepFlight, ByMailWithThePilotsOwnAccount) {
    LoopbackMailServer mailServer;
    ASSERT_TRUE(mailServer.running()) << mailServer.startupOutput();
    VaRig rig;
    rig.options.form.callsign = "TAP1944";
    const headless::RunResult flown = rig.fly(RunnerOptions::SummaryAnswer::Accept);
    ASSERT_TRUE(flown.summaryClosed);

    // The pilot's account in "aviolog.ini" and the VA's address in the profile.
    const config::IniFile ini(rig.dir / "aviolog.ini");
    const std::pair<const char*, std::string> account[] = {
        {"Host", "127.0.0.1"},
        {"Port", std::to_string(mailServer.port())},
        {"Address", "pilot@example.org"},
        {"Name", "Pilot"},
        {"Authenticate", "1"},
        {"Username", LoopbackMailServer::kUser},
        {"Password", LoopbackMailServer::kPassword}};
    for (const auto& [key, value] : account) ASSERT_TRUE(ini.setString("MailSettings", key, value));
    ASSERT_TRUE(config::IniFile(rig.dir / "TAP.ini").setString("Log", "Mail", "ops@va.example"));

    const headless::RunResult sent = rig.sendLog();
    EXPECT_EQ(sent.pilotBoxes.back(), "Log Sent -> OK");
    EXPECT_FALSE(rig.dir.exists("TAP123.dat"));
    ASSERT_EQ(mailServer.received(), 1u);
    const ReceivedMail mail = mailServer.mail(1);
    EXPECT_EQ(mail.recipients, std::vector<std::string>{"ops@va.example"});
    EXPECT_EQ(mail.header("Subject"), "Log");
    ASSERT_EQ(mail.attachments.size(), 1u);
    EXPECT_EQ(mail.attachments[0].first, "TAP123.txt");
    const model::FlightSummary& s = flown.summary;
    std::string expected;
    for (const std::string* value :
         {&s.Date, &s.Hour, &s.CallSign, &s.AircraftRegist, &s.DepAirport, &s.DestAirport,
          &s.PlaneType, &s.UsedFuel, &s.FlightDur, &s.FlightLength}) {
        expected += *value + "\n";
    }
    expected += s.logText;
    EXPECT_EQ(mail.attachments[0].second, textModeBytes(expected));
    // The web script still takes the flight after the mail.
    EXPECT_FALSE(rig.server.requests().empty());
}

TEST(PirepFlight, ADismissedFlightIsNotStored) {
    const struct {
        const char* reply;
        bool closed;
    } rows[] = {{"no", false}, {"yes", true}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.reply);
        VaRig rig;
        rig.options.answers.emplace_back("Are you sure that you want to dismiss flight?",
                                         row.reply);
        const headless::RunResult r = rig.fly(RunnerOptions::SummaryAnswer::Dismiss);
        EXPECT_EQ(r.summaryClosed, row.closed);
        EXPECT_FALSE(rig.dir.exists("TAP123.dat"));
        EXPECT_FALSE(rig.dir.exists("aviolog.db"));
    }
}

}  // namespace
}  // namespace aviolog::test
