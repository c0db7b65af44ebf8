// The ACARS composer and the live link against the loopback VA server: what the scripts
// decode, the counters, the failure rules and the uplink answers, in virtual time with the
// simulator in process.

#include <gtest/gtest.h>
#include <poll.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "config/settings.h"
#include "model/flight_record.h"
#include "model/flight_services.h"
#include "platform/inline_gets.h"
#include "platform/posix/curl_http_client.h"
#include "platform/posix/threaded_gets.h"
#include "platform/sound.h"
#include "reporting/acars_composer.h"
#include "reporting/acars_view.h"
#include "reporting/live_link.h"
#include "reporting/va_traffic.h"
#include "simlink/sim_variables.h"
#include "tests/support/link_rig.h"
#include "tests/support/loopback_va_server.h"
#include "tests/support/null_doubles.h"
#include "tests/support/temp_dir.h"

namespace aviolog::reporting {
namespace {

namespace var = simlink::var;

// The terminal, shown nothing, and the sound, heard.
struct Quiet final : test::ClosedGauge, test::SilentSound {};

std::string closedSite() {
    return "http://127.0.0.1:" + std::to_string(test::closedLoopbackPort()) + "/down.php";
}

struct AcarsRig {
    AcarsRig() {
        EXPECT_TRUE(sim.link.open(0));
        settings.company.CompanyICAO = "TAP";
        settings.company.PilotNumber = "123";
        settings.company.UnitSystem = WeightUnit::Kilograms;
        settings.aviolog.AcarsEvent = true;
        settings.log.AcarsSite = server.url("/acars.php");
        settings.log.Uplink = server.url("/uplink.php");
        record.registration = "CS-TNA";
        record.aircraftType = "A320";
        record.flightNumber = "TAP123";
        record.departureIcao = "LPPR";
        record.arrivalIcao = "LPBR";
        setClock(2004, 60, 9, 27);
    }
    void setClock(int year, int dayOfYear, int hour, int minute) {
        EXPECT_TRUE(simlink::writeU16(sim.link, var::ZuluYear, static_cast<std::uint16_t>(year)));
        EXPECT_TRUE(
            simlink::writeU16(sim.link, var::ZuluDayOfYear, static_cast<std::uint16_t>(dayOfYear)));
        EXPECT_TRUE(simlink::writeU8(sim.link, var::ZuluHour, static_cast<std::uint8_t>(hour)));
        EXPECT_TRUE(simlink::writeU8(sim.link, var::ZuluMinute, static_cast<std::uint8_t>(minute)));
    }
    std::string journal() const { return dir.read("acars.txt"); }
    std::vector<test::ReceivedRequest> requests(const std::string& path) const {
        std::vector<test::ReceivedRequest> found;
        for (const auto& r : server.requests()) {
            if (r.path == path) found.push_back(r);
        }
        return found;
    }
    std::vector<std::string> viewLines() const {
        std::vector<std::string> lines;
        if (const auto* rows = view.rows().rows(kAcarsMessages)) {
            for (const auto& row : *rows)
                lines.push_back(row.name.empty() ? row.value : "# " + row.name);
        }
        return lines;
    }

    test::LinkRig sim{"short-hop.scn"};
    test::TempDir dir;
    test::LoopbackVaServer server;
    platform::posix::CurlHttpClient http;
    platform::InlineGets gets{http};
    VaTraffic traffic{gets};
    config::Settings settings;
    model::FlightRecord record;
    model::MainWindowModel window;
    Quiet quiet;
    AcarsView view{window, quiet};
    AcarsDisplay display{window, view};
    AcarsMessenger acars{{.link = sim.link,
                          .settings = settings,
                          .record = record,
                          .display = display,
                          .traffic = traffic,
                          .workDir = dir.path()}};
    // The flight as the recorder would have it: at the gate, before blocks off.
    struct Flight final : model::FlightUnderWay {
        model::FlightPhase phase() const override {
            return model::FlightPhase::WaitingForBlocksOff;
        }
        int groundSpeedKt() const override { return 0; }
        const std::optional<model::Airport>& departure() const override { return from; }
        const std::optional<model::Airport>& arrival() const override { return to; }
        std::optional<model::Airport> from;
        std::optional<model::Airport> to;
    } flight;
    VaLiveLink live{{.link = sim.link,
                     .settings = settings,
                     .record = record,
                     .flight = flight,
                     .sound = quiet,
                     .traffic = traffic,
                     .view = view,
                     .workDir = dir.path()}};
};

TEST(AcarsMessenger, EveryValueReachesTheScriptAsComposed) {
    AcarsRig rig;
    ASSERT_TRUE(rig.server.running());
    const std::string freeText = "50% & a=b+c #1 \xA3\xBA\xB4\nend";
    rig.acars.outMessage(9, 27, 6171.9, 61965.2);
    rig.acars.offMessage(9, 35, 6032.0, 61826.0);
    rig.acars.freeTextMessage(23, 59, freeText);
    rig.acars.metarMessage("LPPR 021400Z 34012KT 9999");

    const auto sent = rig.requests("/acars.php");
    ASSERT_EQ(sent.size(), 4u);
    for (const auto& r : sent) {
        ASSERT_EQ(r.params.size(), 5u) << r.target;
        const char* names[] = {"dttm", "acftreg", "mlabel", "fltnum", "mcontent"};
        for (int i = 0; i < 5; ++i) EXPECT_EQ(r.params[i].first, names[i]) << r.target;
        EXPECT_EQ(r.param("dttm"), "[29-02-2004 09:27]");
        EXPECT_EQ(r.param("acftreg"), "ACARS mode: C Aircraft reg: CS-TNA [A320 TAP]");
        EXPECT_EQ(r.param("fltnum"), "Flight id: TAP123");
    }
    EXPECT_EQ(sent[0].param("mlabel"), "Message Label: QA Block id: 01 MSg. no: M01A");
    EXPECT_EQ(sent[0].param("mcontent"),
              "Message content: \xA3"
              "BLQ OFF 09:27 /FOB 6171 /TAW 61965");
    EXPECT_EQ(sent[1].param("mlabel"), "Message Label: QB Block id: 01 MSg. no: M02A");
    EXPECT_EQ(sent[2].param("mlabel"), "Message Label: QD Block id: 01 MSg. no: M03A");
    EXPECT_EQ(sent[2].param("mcontent"), "Message content: \xA3" + freeText);
    EXPECT_EQ(sent[3].param("mlabel"), "Message Label: 16 Block id: 01 MSg. no: M04A\n");
    EXPECT_EQ(sent[3].param("mcontent"),
              "Message content: \xA3METAR LPPR 021400Z 34012KT 9999 \n\n");

    const std::string journal = rig.journal();
    EXPECT_TRUE(
        journal.starts_with("[29-02-2004 09:27]\r\nACARS mode: C Aircraft reg: CS-TNA "
                            "[A320 TAP]\r\nMessage Label: QA Block id: 01 MSg. no: M01A\r\n"))
        << journal;
    EXPECT_NE(journal.find("Message content: \r\n" +
                           std::string("50% & a=b+c #1 \xA3\xBA\xB4\r\nend\r\n\r\n")),
              std::string::npos)
        << "the free text exactly as typed";
    EXPECT_EQ(rig.window.lines(model::Channel::Acars).front(), "[29-02-2004 09:27]");
}

TEST(AcarsMessenger, DayOfYearByTheCalendarOfTheSimulatorsYear) {
    struct Row {
        int year;
        int day;
        const char* date;
    };
    for (const Row& r : {Row{2004, 60, "[29-02-2004 "}, Row{2005, 60, "[01-03-2005 "},
                         Row{2024, 366, "[31-12-2024 "}}) {
        AcarsRig rig;
        rig.settings.aviolog.AcarsEvent = false;
        rig.setClock(r.year, r.day, 12, 0);
        rig.acars.metarMessage("X");
        EXPECT_TRUE(rig.journal().starts_with(r.date))
            << r.year << " day " << r.day << ": " << rig.journal();
    }
}

TEST(AcarsMessenger, WithAcarsOfflineTheJournalAndViewStillGetTheMessage) {
    AcarsRig rig;
    rig.settings.aviolog.AcarsEvent = false;
    rig.acars.onMessage(10, 5, 4764.0, 60557.0);
    EXPECT_TRUE(rig.server.requests().empty());
    EXPECT_NE(rig.journal().find("LDG 10:05 /FOB 4764 /LDW 60557\r\n\r\n"), std::string::npos);
    const std::vector<std::string> lines = rig.viewLines();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.front(), "# Landing Message");
}

TEST(AcarsMessenger, TwoFailuresGiveUpThePrimaryWhileTheAlternateGoesOn) {
    AcarsRig rig;
    rig.settings.log.AcarsSite = closedSite();
    rig.settings.company.AcarsSite = rig.server.url("/alternate.php");
    for (int i = 0; i < 4; ++i) rig.acars.outMessage(9, 27, 1000.0, 50000.0);
    EXPECT_EQ(rig.traffic.primary.failures(), 2);
    EXPECT_TRUE(rig.traffic.primary.givenUp());
    EXPECT_EQ(rig.requests("/alternate.php").size(), 4u);

    // The uplink poll shares the primary's counter, so it stops too.
    rig.live.pollUplink();
    EXPECT_TRUE(rig.requests("/uplink.php").empty());
}

// Off the recorder's thread, messages queue behind a site that fails: the second failure
// drops them, so none reaches the site once it has been given up.
TEST(AcarsMessenger, TheSecondFailureDropsWhatIsQueuedForTheSite) {
    AcarsRig rig;
    rig.server.setAnswers({{0, ""}});  // every request received, then its connection closed
    platform::posix::ThreadedGets gets([](const std::atomic<bool>& abandon) {
        return std::make_unique<platform::posix::CurlHttpClient>(platform::posix::HttpLimits{},
                                                                 &abandon);
    });
    VaTraffic traffic{gets};
    AcarsMessenger acars{
        {rig.sim.link, rig.settings, rig.record, rig.display, traffic, rig.dir.path()}};
    for (int i = 0; i < 5; ++i) acars.outMessage(9, 27, 1000.0, 50000.0);
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (gets.outstanding() > 0 && std::chrono::steady_clock::now() < end) {
        pollfd ready{gets.readyFd(), POLLIN, 0};
        ::poll(&ready, 1, 50);
        gets.deliverAnswers();
    }
    EXPECT_EQ(gets.outstanding(), 0u);
    EXPECT_TRUE(traffic.primary.givenUp());
    EXPECT_EQ(rig.requests("/acars.php").size(), 2u);
}

TEST(AcarsMessenger, AFailedSimulatorReadDropsTheMessageWithoutATrace) {
    AcarsRig rig;
    rig.sim.ipc.simulatorGone = true;
    rig.acars.outMessage(9, 27, 1000.0, 50000.0);
    rig.acars.positionReport();
    EXPECT_FALSE(rig.dir.exists("acars.txt"));
    EXPECT_TRUE(rig.server.requests().empty());
    EXPECT_EQ(rig.acars.messageNumber(), 0);

    rig.sim.ipc.simulatorGone = false;
    rig.acars.positionReport();
    EXPECT_NE(rig.journal().find("Message Label: 16 Block id: 01 MSg. no: M01A\r\nFlight id: "
                                 "TAP123\r\nMessage content: \r\nAUTOPOS N41\xBA "),
              std::string::npos)
        << rig.journal();
}

TEST(AcarsMessenger, ALongFreeTextIsCutSoTheMessageKeepsTo400Characters) {
    AcarsRig rig;
    rig.acars.freeTextMessage(0, 0, std::string(600, 'x'));
    std::string composed;
    for (const std::string& line : rig.window.lines(model::Channel::Acars)) composed += line + "\n";
    EXPECT_EQ(composed.size(), 400u);
    EXPECT_TRUE(rig.journal().ends_with("x\r\n\r\n")) << "the closing blank line survives";
    const auto sent = rig.requests("/acars.php");
    ASSERT_EQ(sent.size(), 1u);
    const auto kept = static_cast<std::size_t>(std::count(composed.begin(), composed.end(), 'x'));
    EXPECT_EQ(sent[0].param("mcontent"), "Message content: \xA3" + std::string(kept, 'x'))
        << "the script gets the text the journal keeps";
}

TEST(LiveLink, UplinkMessagesForTheFlightShowOnceAndTheNumberMovesOn) {
    AcarsRig rig;
    rig.server.setAnswers({{200, "A SENDTOTAP123 hello%B other%#57\n"}, {200, "#58\n"}});
    rig.live.pollUplink();
    EXPECT_EQ(rig.viewLines(),
              (std::vector<std::string>{"# Free text Message", "A SENDTOTAP123 hello"}));
    ASSERT_EQ(rig.quiet.playedOnce.size(), 1u);
    EXPECT_TRUE(rig.quiet.playedOnce[0].ends_with("call.wav")) << rig.quiet.playedOnce[0];
    EXPECT_EQ(rig.live.lastUplinkNumber(), 57);

    rig.live.pollUplink();
    const auto polls = rig.requests("/uplink.php");
    ASSERT_EQ(polls.size(), 2u);
    EXPECT_EQ(polls[0].params, (std::vector<std::pair<std::string, std::string>>{
                                   {"acarsid", "0"}, {"reg", "TAP123"}}));
    EXPECT_EQ(polls[1].param("acarsid"), "57");
    EXPECT_EQ(rig.live.lastUplinkNumber(), 58);
    EXPECT_EQ(rig.quiet.playedOnce.size(), 1u) << "an answer without messages is silent";
}

TEST(LiveLink, NoPollWhilePausedOrOffline) {
    AcarsRig rig;
    rig.settings.aviolog.AcarsEvent = false;
    rig.live.pollUplink();
    rig.settings.aviolog.AcarsEvent = true;
    ASSERT_TRUE(simlink::writeU16(rig.sim.link, var::PauseControl, 1));
    rig.live.pollUplink();
    rig.live.sendPosition();
    EXPECT_TRUE(rig.server.requests().empty());
}

TEST(LiveLink, UplinkResetSetsTheFirstNumberOrCountsAFailure) {
    AcarsRig rig;
    rig.server.setAnswers({{200, "#42\n"}});
    rig.live.resetUplinkNumber(rig.server.url("/reset.php"));
    EXPECT_EQ(rig.live.lastUplinkNumber(), 42);
    EXPECT_EQ(rig.requests("/reset.php").front().params.size(), 0u);

    rig.live.resetUplinkNumber(closedSite());
    EXPECT_EQ(rig.traffic.primary.failures(), 1);
    EXPECT_EQ(rig.live.lastUplinkNumber(), 42);
}

TEST(LiveLink, PositionReportAtTheGateWithAnUnknownDeparture) {
    AcarsRig rig;
    rig.settings.company.StatusSite = rig.server.url("/status.php");
    rig.flight.to = model::Airport{"Braga Airport", 41.5871, -8.4451};
    rig.live.sendPosition();

    const auto sent = rig.requests("/status.php");
    ASSERT_EQ(sent.size(), 1u);
    std::vector<std::string> names;
    for (const auto& [name, value] : sent[0].params) names.push_back(name);
    EXPECT_EQ(names,
              (std::vector<std::string>{"lat", "long", "GS", "Alt", "IATA", "pnumber", "depaptICAO",
                                        "destaptICAO", "destapt", "disdestapt", "Ph", "Regist"}))
        << "no departure name, distance or time; no time without ground speed";
    // The gate, a little south-east of the airport's reference point; "%f" has six decimals.
    EXPECT_EQ(sent[0].param("lat"), "41.233997");
    EXPECT_EQ(sent[0].param("long"), "-8.675505");
    EXPECT_EQ(sent[0].param("depaptICAO"), "LPPR");
    EXPECT_EQ(sent[0].param("destapt"), "Braga Airport");
    EXPECT_EQ(sent[0].param("disdestapt"), "23");
    EXPECT_EQ(sent[0].param("Ph"), "1");
    EXPECT_EQ(sent[0].param("pnumber"), "123");
}

TEST(LiveLink, TwoFailedReportsStopTheReportsForGood) {
    AcarsRig rig;
    rig.settings.company.StatusSite = closedSite();
    rig.live.sendPosition();
    rig.live.sendPosition();
    EXPECT_TRUE(rig.traffic.status.givenUp());
    rig.settings.company.StatusSite = rig.server.url("/status.php");
    rig.live.sendPosition();
    EXPECT_TRUE(rig.server.requests().empty());
    EXPECT_EQ(rig.traffic.primary.failures(), 0) << "the status site has its own counter";
}

TEST(LiveLink, NoReportWithoutAFlightNumber) {
    AcarsRig rig;
    rig.settings.company.StatusSite = rig.server.url("/status.php");
    rig.record.flightNumber.clear();
    rig.live.sendPosition();
    EXPECT_TRUE(rig.server.requests().empty());
}

}  // namespace
}  // namespace aviolog::reporting
