#include "reporting/pirep_sender.h"

#include <gtest/gtest.h>

#include <chrono>

#include "common/text_file.h"
#include "config/settings.h"
#include "platform/posix/curl_http_client.h"
#include "reporting/pilot_log_file.h"
#include "reporting/seal.h"
#include "tests/support/loopback_va_server.h"
#include "tests/support/recording_mailer.h"
#include "tests/support/scripted_pilot.h"
#include "tests/support/scripted_reporting_dialogs.h"
#include "tests/support/temp_dir.h"

namespace aviolog::reporting {
namespace {

using model::FlightSummary;
using Params = std::vector<std::pair<std::string, std::string>>;

FlightSummary flight(const std::string& callsign, std::string log) {
    return {"2004/05/01", "09:27:00", callsign, "TP1234", "CS-TTA", "LPPT",
            "LPPR",       "LEMD",     "A320",   "1474",   "6180",   "4706",
            "00:30",      "148",      "-139",   "132",    "55793",  std::move(log)};
}

// The default flags' parameters of a flight, as the VA's script decodes them.
Params defaultParams(const FlightSummary& f, const std::string& pilot = "TAP123") {
    return {{"pilot", pilot},
            {"date", f.Date},
            {"time", f.Hour},
            {"callsign", f.CallSign},
            {"reg", f.AircraftRegist},
            {"origin", f.DepAirport},
            {"dest", f.DestAirport},
            {"equipment", f.PlaneType},
            {"fuel", f.UsedFuel},
            {"duration", f.FlightDur},
            {"distance", f.FlightLength},
            {"version", "4010"}};
}

Params withPiece(Params params, const std::string& more, const std::string& log) {
    params.emplace_back("more", more);
    params.emplace_back("log", log);
    return params;
}

struct PirepRig {
    PirepRig() {
        settings.company.CompanyICAO = "TAP";
        settings.company.PilotNumber = "123";
        settings.pirep.Log = server.url("/pirep.php");
        // The pilot confirms the profile's number, unless a test says otherwise.
        dialogs.pilotNumbers.push_back("123");
    }

    void storeFlights(const std::vector<FlightSummary>& flights,
                      const std::string& name = "TAP123.dat") {
        PilotLogFile file(dir / name);
        file.open();
        for (const FlightSummary& f : flights) file.add(f);
        ASSERT_TRUE(file.save());
    }
    void send() { sender.send(settings); }
    std::vector<Params> received() const {
        std::vector<Params> all;
        for (const auto& r : server.requests()) all.push_back(r.params);
        return all;
    }
    // The flights left, by callsign; "tampered" when the file is not sealed.
    std::vector<std::string> stored() const {
        PilotLogFile file(dir / "TAP123.dat");
        const auto state = file.open();
        if (state == PilotLogFile::State::Missing) return {};
        if (state != PilotLogFile::State::Sealed) return {"tampered"};
        std::vector<std::string> callsigns;
        for (bool more = file.hasFlights(); more; more = file.dropFirst()) {
            callsigns.push_back(file.first().CallSign);
        }
        return callsigns;
    }

    test::LoopbackVaServer server;
    test::TempDir dir;
    test::ScriptedPilot pilot;
    test::ScriptedReportingDialogs dialogs;
    test::RecordingMailer mailer;
    platform::posix::CurlHttpClient http;
    PirepSender sender{{.workDir = dir.path(),
                        .pilot = pilot,
                        .dialogs = dialogs,
                        .http = http,
                        .mailer = mailer}};
    config::Settings settings;
};

TEST(PirepSender, OneShortLogIsOneRequest) {
    PirepRig rig;
    ASSERT_TRUE(rig.server.running());
    const FlightSummary f = flight("TAP123", "ABC\n");
    rig.storeFlights({f});
    rig.send();
    EXPECT_EQ(rig.dialogs.prefills, std::vector<std::string>{"123"});
    EXPECT_EQ(rig.received(), std::vector<Params>{withPiece(defaultParams(f), "0", "ABC*")});
    const auto requests = rig.server.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].target,
              "/pirep.php?pilot=TAP123&date=2004/05/01&time=09:27:00&callsign=TAP123&reg=CS-TTA"
              "&origin=LPPT&dest=LPPR&equipment=A320&fuel=1474&duration=00:30&distance=148"
              "&version=4010&more=0&log=ABC*");
    EXPECT_EQ(rig.pilot.texts(), std::vector<std::string>{kLogSentMessage});
    EXPECT_FALSE(rig.dir.exists("TAP123.dat"));
    EXPECT_EQ(rig.dir.read("Aviologlog.txt"), "ABC\r\n");
    EXPECT_EQ(rig.dir.read("sendlogreport.html"), "OK");
}

TEST(PirepSender, TheLogTravelsIn889CharacterPieces) {
    const struct {
        std::size_t chars;
        std::vector<std::size_t> pieces;
    } rows[] = {{0, {0}}, {888, {888}}, {889, {889, 0}}, {890, {889, 1}}, {2000, {889, 889, 222}}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.chars);
        PirepRig rig;
        std::string log;
        for (std::size_t i = 0; i < row.chars; ++i) log += i % 50 == 49 ? '\n' : char('a' + i % 26);
        rig.storeFlights({flight("TAP123", log)});
        rig.send();
        const auto requests = rig.received();
        ASSERT_EQ(requests.size(), row.pieces.size());
        std::string joined;
        for (std::size_t i = 0; i < requests.size(); ++i) {
            EXPECT_EQ(requests[i].at(12),
                      (std::pair<std::string, std::string>{"more", i ? "1" : "0"}));
            EXPECT_EQ(requests[i].at(13).second.size(), row.pieces[i]);
            joined += requests[i].at(13).second;
        }
        std::replace(log.begin(), log.end(), '\n', '*');
        EXPECT_EQ(joined, log);
    }
}

TEST(PirepSender, OnlyAnAnswerStartingWithOkIsAccepted) {
    const struct {
        std::string answer;
        bool accepted;
    } rows[] = {{"OK\n", true}, {"OKAY", true}, {"OK\r\nthanks\r\n", true},
                {"ok", false},  {" OK", false}, {"", false},
                {"\nOK", false}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.answer);
        PirepRig rig;
        rig.server.setAnswers({{200, row.answer}});
        rig.storeFlights({flight("TAP1", "ABC\n")});
        rig.send();
        if (row.accepted) {
            EXPECT_EQ(rig.pilot.texts(), std::vector<std::string>{kLogSentMessage});
            EXPECT_TRUE(rig.stored().empty());
        } else {
            EXPECT_EQ(rig.pilot.texts(), std::vector<std::string>{kDataBaseErrorMessage});
            EXPECT_EQ(rig.stored(), std::vector<std::string>{"TAP1"});
        }
    }
}

TEST(PirepSender, FlightsGoOldestFirstAndAFailureKeepsTheRestSealed) {
    PirepRig rig;
    rig.storeFlights({flight("TAP1", "one\n"), flight("TAP2", "two\n")});
    rig.send();
    EXPECT_EQ(rig.pilot.texts(), (std::vector<std::string>{kLogSentMessage, kLogSentMessage}));
    EXPECT_FALSE(rig.dir.exists("TAP123.dat"));
    ASSERT_EQ(rig.server.requests().size(), 2u);
    EXPECT_EQ(rig.server.requests()[0].param("callsign"), "TAP1");

    PirepRig failing;
    failing.server.setAnswers({{200, "OK"}, {500, "Database is down"}});
    failing.storeFlights({flight("TAP1", "one\n"), flight("TAP2", "two\n"), flight("TAP3", "3\n")});
    failing.send();
    EXPECT_EQ(failing.pilot.texts(),
              (std::vector<std::string>{kLogSentMessage, kDataBaseErrorMessage}));
    EXPECT_EQ(failing.stored(), (std::vector<std::string>{"TAP2", "TAP3"}));
    EXPECT_EQ(failing.dir.read("sendlogreport.html"), "Database is down");

    // The next press sends the flight again from its first piece.
    failing.server.setAnswers({{200, "OK"}});
    failing.send();
    EXPECT_TRUE(failing.stored().empty());
    EXPECT_EQ(failing.server.requests().at(2).param("more"), "0");
    EXPECT_EQ(failing.server.requests().at(2).param("callsign"), "TAP2");
}

TEST(PirepSender, AScriptThatCannotBeReached) {
    PirepRig rig;
    rig.settings.pirep.Log = "http://127.0.0.1:1/pirep.php";
    rig.storeFlights({flight("TAP1", "one\n")});
    rig.send();
    EXPECT_EQ(rig.pilot.texts(), std::vector<std::string>{kInternetErrorMessage});
    EXPECT_EQ(rig.stored(), std::vector<std::string>{"TAP1"});
}

TEST(PirepSender, ThePasswordFlag) {
    const struct {
        const char* name;
        bool flag;
        std::string password;
        std::optional<std::string> sent;
    } rows[] = {{"off, with a password", false, "s3cret", std::nullopt},
                {"on, with a password", true, "s3cret & more", "s3cret & more"},
                {"on, without one", true, "", ""}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        PirepRig rig;
        rig.settings.sendLog.Password = row.flag;
        rig.settings.pirep.passwd = row.password;
        rig.storeFlights({flight("TAP1", "one\n")});
        rig.send();
        const auto requests = rig.server.requests();
        ASSERT_EQ(requests.size(), 1u);
        const Params& params = requests[0].params;
        if (row.sent) {
            EXPECT_EQ(params.at(0), (std::pair<std::string, std::string>{"passwd", *row.sent}));
        } else {
            EXPECT_EQ(params.at(0).first, "pilot");
        }
    }
}

TEST(PirepSender, TheSendPilotNumber) {
    // Escape before OK was ever pressed: the number is empty, so the file is TAP.dat.
    PirepRig rig;
    rig.dialogs.pilotNumbers.clear();
    rig.storeFlights({flight("TAP1", "one\n")});
    rig.send();
    EXPECT_EQ(rig.pilot.texts(), std::vector<std::string>{kNoLogFileMessage});
    EXPECT_TRUE(rig.server.requests().empty());

    rig.storeFlights({flight("TAP0", "zero\n")}, "TAP.dat");
    rig.send();
    ASSERT_EQ(rig.server.requests().size(), 1u);
    EXPECT_EQ(rig.server.requests()[0].param("pilot"), "TAP");
    EXPECT_FALSE(rig.dir.exists("TAP.dat"));

    // OK keeps the number, cut to nine characters, for every later press.
    rig.dialogs.pilotNumbers.push_back("1234567890");
    rig.storeFlights({flight("TAP9", "nine\n")}, "TAP123456789.dat");
    rig.send();
    EXPECT_EQ(rig.sender.sendPilotNumber(), "123456789");
    rig.storeFlights({flight("TAP9", "nine\n")}, "TAP123456789.dat");
    rig.send();
    EXPECT_EQ(rig.server.requests().size(), 3u);
    EXPECT_EQ(rig.server.requests()[2].param("pilot"), "TAP123456789");
}

TEST(PirepSender, ANumberThatWouldLeaveTheFolderIsRefused) {
    PirepRig rig;
    std::filesystem::create_directory(rig.dir / "sub");
    rig.storeFlights({flight("TAP1", "one\n")}, "sub/TAP.dat");
    rig.dialogs.pilotNumbers = {"..\\sub\\"};
    rig.send();
    ASSERT_EQ(rig.pilot.texts().size(), 1u);
    EXPECT_TRUE(rig.pilot.texts()[0].starts_with("The pilot number \"..\\sub\\\" names files"))
        << rig.pilot.texts()[0];
    EXPECT_TRUE(rig.server.requests().empty());
    EXPECT_TRUE(rig.dir.exists("sub/TAP.dat")) << "nothing reported, nothing dropped";
}

TEST(PirepSender, ValuesReachTheScriptUnchanged) {
    PirepRig rig;
    std::string every;
    for (int c = 1; c < 256; ++c) {
        if (c != '\n' && c != '\r') every += static_cast<char>(c);
    }
    FlightSummary f = flight("TAP 1&2=3", "S\xE3o Tom\xE9 #1 100% + a&b=c?d\n" + every + "\n");
    f.PlaneType = "B738 \"+\" #%";
    f.AircraftRegist = every;
    rig.storeFlights({f});
    // What the file gives back: values of at most 99 characters, Ctrl-Z stored as a blank.
    FlightSummary stored = f;
    stored.AircraftRegist = every.substr(0, 99);
    stored.AircraftRegist[stored.AircraftRegist.find('\x1a')] = ' ';
    rig.send();
    std::string log = f.logText;
    std::replace(log.begin(), log.end(), '\n', '*');
    Params expected = withPiece(defaultParams(stored), "0", log.substr(0, kLogPieceChars));
    ASSERT_EQ(rig.received().size(), 1u);
    EXPECT_EQ(rig.received()[0], expected);
}

TEST(PirepSender, EMailThenWebPageThenScript) {
    PirepRig rig;
    rig.settings.pirep.Mail = "pireps@va.example";
    rig.settings.pirep.URL = "http://va.example/pirep";
    rig.settings.sendLog.TD = true;
    rig.dialogs.pilotNumbers = {"77"};
    rig.storeFlights({flight("TAP1", "one\n")}, "TAP77.dat");
    rig.send();
    ASSERT_EQ(rig.mailer.sent.size(), 1u);
    EXPECT_EQ(rig.mailer.sent[0].to, "pireps@va.example");
    EXPECT_EQ(rig.mailer.sent[0].subject, "Log");
    EXPECT_EQ(rig.mailer.sent[0].body, "Flight log is attached");
    ASSERT_EQ(rig.mailer.sent[0].attachments.size(), 1u);
    EXPECT_EQ(rig.mailer.sent[0].attachments[0].filename(), "TAP77.txt");
    EXPECT_EQ(
        rig.dir.read("TAP77.txt"),
        "2004/05/01\r\n09:27:00\r\nTAP1\r\nCS-TTA\r\nLPPT\r\nLPPR\r\nA320\r\n1474\r\n00:30\r\n"
        "148\r\n-139\r\n132\r\none\r\n");
    EXPECT_EQ(rig.settings.company.PilotNumber, "77");
    EXPECT_EQ(rig.dialogs.browsed, std::vector<std::string>{"http://va.example/pirep"});
    EXPECT_EQ(rig.server.requests().size(), 1u);
    EXPECT_EQ(rig.pilot.texts(), std::vector<std::string>{kLogSentMessage});
}

TEST(PirepSender, EachMeansCanStopTheReport) {
    const struct {
        const char* name;
        bool mailFails;
        bool browserCancelled;
        std::vector<std::string> messages;
    } rows[] = {{"the mail is not sent", true, false, {kMailFailedMessage}},
                {"the web page is cancelled", false, true, {}}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        PirepRig rig;
        rig.settings.pirep.Mail = "pireps@va.example";
        rig.settings.pirep.URL = "http://va.example/pirep";
        rig.mailer.outcomes.push_back(!row.mailFails);
        rig.dialogs.browserAnswers.push_back(!row.browserCancelled);
        rig.storeFlights({flight("TAP1", "one\n"), flight("TAP2", "two\n")});
        rig.send();
        EXPECT_EQ(rig.pilot.texts(), row.messages);
        EXPECT_TRUE(rig.server.requests().empty());
        EXPECT_EQ(rig.stored(), (std::vector<std::string>{"TAP1", "TAP2"}));
    }
}

TEST(PirepSender, NoDestinationStillReportsAndRemoves) {
    PirepRig rig;
    rig.settings.pirep.Log.clear();
    rig.storeFlights({flight("TAP1", "one\n"), flight("TAP2", "two\n")});
    rig.send();
    EXPECT_EQ(rig.pilot.texts(), (std::vector<std::string>{kLogSentMessage, kLogSentMessage}));
    EXPECT_FALSE(rig.dir.exists("TAP123.dat"));
    EXPECT_EQ(rig.dir.read("Aviologlog.txt"), "two\r\n");
}

TEST(PirepSender, ATamperedFileIsNotReported) {
    PirepRig rig;
    rig.storeFlights({flight("TAP1", "one\n")});
    std::string bytes = rig.dir.read("TAP123.dat");
    bytes.replace(bytes.find("FlightLength=148"), 16, "FlightLength=948");
    rig.dir.write("TAP123.dat", bytes);
    rig.send();
    rig.send();
    EXPECT_EQ(rig.pilot.texts(),
              (std::vector<std::string>{kTamperedLogMessage, kTamperedLogMessage}));
    EXPECT_TRUE(rig.server.requests().empty());
}

TEST(PirepSender, ALongLogIsQuickOnOneConnection) {
    PirepRig rig;
    std::string log;
    while (log.size() < 30'000) log += "09:27 Altitude 24000 ft, speed 280 kt, fuel 5120 kg\n";
    rig.storeFlights({flight("TAP1", log)});
    const auto start = std::chrono::steady_clock::now();
    rig.send();
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_LT(elapsed, std::chrono::seconds(1));
    const auto requests = rig.server.requests();
    EXPECT_EQ(requests.size(), log.size() / kLogPieceChars + 1);
    for (const auto& r : requests) EXPECT_EQ(r.connection, requests.front().connection);
    EXPECT_EQ(rig.pilot.texts(), std::vector<std::string>{kLogSentMessage});
}

}  // namespace
}  // namespace aviolog::reporting
