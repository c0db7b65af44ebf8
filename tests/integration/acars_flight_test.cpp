// The default flight with ACARS online against the loopback VA scripts: the journal, what
// each script decoded, the position reports and an uplink message shown on the way.

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "common/text_file.h"
#include "tests/support/flight_rig.h"
#include "tests/support/loopback_va_server.h"

namespace aviolog::test {
namespace {

using Requests = std::vector<ReceivedRequest>;

Requests on(const Requests& all, const std::string& path) {
    Requests found;
    for (const auto& r : all) {
        if (r.path == path) found.push_back(r);
    }
    return found;
}

std::string withLineFeeds(std::string text) {
    std::string out;
    for (const char c : text) {
        if (c != '\r') out += c;
    }
    return out;
}

constexpr const char* kTwoAirports =
    "[Airports]\r\nLPPT=Lisbon Portela;38.7813;-9.1359\r\n"
    "LPPR=Porto Sa Carneiro;41.2481;-8.6814\r\n";

struct AcarsFlight {
    explicit AcarsFlight(const std::string& airportList = kTwoAirports)
        : rig({{"Aviolog", "AcarsEvent", "1", true},
               {"Log", "AcarsSite", va.url("/acars.php"), true},
               {"Log", "Uplink", dispatch.url("/uplink.php"), true},
               {"Log", "UplinkReset", dispatch.url("/reset.php"), true},
               {"Aviolog", "AcarsSite", va.url("/alternate.php")},
               {"Aviolog", "StatusSite", va.url("/status.php")}}) {
        rig.dir.write("apt.txt", airportList);
        // The reset, then one message for the flight among others, then only the number.
        dispatch.setAnswers({{200, "#5\n"},
                             {200, "Uplink SENDTOTP1944 gate B12%SENDTOTP9 other%#6\n"},
                             {200, "#6\n"}});
        headless::RunnerOptions options;
        options.flapNames = {"UP", "1", "2", "3", "FULL"};
        options.metars = {{"LPPT", "LPPT 140920Z 34010KT CAVOK 21/12 Q1018"},
                          {"LPPR", "LPPR 141000Z 34012KT 9999 FEW020 19/13 Q1016"}};
        result = rig.fly("lppt-lppr.scn", options);
        requests = va.requests();
    }

    LoopbackVaServer va;
    LoopbackVaServer dispatch;
    FlightRig rig;
    headless::RunResult result;
    Requests requests;
};

TEST(AcarsFlight, JournalMatchesTheGoldenFileAndEveryScriptDecodesItsMessage) {
    AcarsFlight f;
    ASSERT_TRUE(f.va.running() && f.dispatch.running());
    ASSERT_EQ(f.result.end, headless::RunResult::End::Stopped);

    const std::string journal = f.rig.dir.read("acars.txt");
    const std::string golden = std::string(AVIOLOG_GOLDEN_DIR) + "/acars-journal.txt";
    if (std::getenv("AVIOLOG_UPDATE_GOLDEN") != nullptr) {
        ASSERT_TRUE(writeFileAtomically(golden, journal)) << golden;
    }
    EXPECT_EQ(journal, readFileBytes(golden).value_or("(no golden file)"));

    const Requests acars = on(f.requests, "/acars.php");
    const Requests alternate = on(f.requests, "/alternate.php");
    const std::vector<std::string> labels = {"16", "16", "QA", "QB", "16", "16", "16", "QC", "QD"};
    ASSERT_EQ(acars.size(), labels.size());
    ASSERT_EQ(alternate.size(), labels.size());
    const std::string text = withLineFeeds(journal);
    for (std::size_t i = 0; i < acars.size(); ++i) {
        const ReceivedRequest& r = acars[i];
        const std::string label = labels[i];
        const std::string number = (i + 1 < 10 ? "0" : "") + std::to_string(i + 1);
        EXPECT_TRUE(r.param("mlabel").starts_with("Message Label: " + label + " Block id: "))
            << i << ": " << r.param("mlabel");
        EXPECT_TRUE(r.param("mlabel").find("MSg. no: M" + number + "A") != std::string::npos)
            << i << ": " << r.param("mlabel");
        // The form carries the text's own header lines.
        const std::string head = r.param("dttm") + "\n" + r.param("acftreg") + "\n" +
                                 r.param("mlabel") + (label == "16" ? "" : "\n") +
                                 r.param("fltnum") + "\n";
        EXPECT_NE(text.find(head), std::string::npos) << i << ": " << head;
        if (label != "16") {
            // Its content, with the pound bytes back as line feeds and the blank line closing it.
            std::string content = r.param("mcontent");
            for (char& c : content) {
                if (c == '\xA3') c = '\n';
            }
            EXPECT_NE(text.find(head + content + "\n\n"), std::string::npos)
                << i << ": " << content;
        }
        EXPECT_EQ(alternate[i].params, r.params) << i << ": the alternate gets the same message";
    }
}

TEST(AcarsFlight, PositionReportsEveryTwoMinutesWithTheFlightsPhase) {
    AcarsFlight f;
    ASSERT_EQ(f.result.end, headless::RunResult::End::Stopped);
    const Requests reports = on(f.requests, "/status.php");
    // From Start LOG at 09:25 to the stop at about 10:10.
    EXPECT_GE(reports.size(), 21u);
    EXPECT_LE(reports.size(), 23u);
    std::string phases;
    bool timed = false;
    for (const auto& r : reports) {
        if (phases.empty() || phases.back() != r.param("Ph")[0]) phases += r.param("Ph");
        EXPECT_EQ(r.param("depapt"), "Lisbon Portela");
        EXPECT_EQ(r.param("destapt"), "Porto Sa Carneiro");
        EXPECT_EQ(r.param("IATA"), "TP1944");
        EXPECT_EQ(r.param("Regist"), "CS-TNA");
        timed = timed || !r.param("timedestapt").empty();
    }
    // Blocks off comes two minutes after the start, before the first report.
    EXPECT_EQ(phases, "234");
    EXPECT_TRUE(timed) << "in flight the report carries the times to the airports";
}

// The list the package ships (generated from OurAirports at build time): the VA learns the
// airports' names and the distances from their coordinates, some 149 NM from Lisbon to Porto.
TEST(AcarsFlight, PositionReportsNameTheAirportsOfTheShippedList) {
    const std::string list = AVIOLOG_AIRPORT_LIST;
    if (list.empty()) GTEST_SKIP() << "built without the airport list (no AVIOLOG_AIRPORT_DB)";
    AcarsFlight f(readFileBytes(list).value_or(""));
    ASSERT_EQ(f.result.end, headless::RunResult::End::Stopped);
    const Requests reports = on(f.requests, "/status.php");
    ASSERT_GE(reports.size(), 21u);
    for (const auto& r : reports) {
        EXPECT_EQ(r.param("depapt"), "Lisbon Humberto Delgado Airport");
        EXPECT_EQ(r.param("destapt"), "Francisco de S\xE1 Carneiro Airport");
    }
    const int atGate = std::atoi(reports.front().param("disdestapt").c_str());
    EXPECT_GE(atGate, 147) << reports.front().param("disdestapt");
    EXPECT_LE(atGate, 151) << reports.front().param("disdestapt");
    EXPECT_LE(std::atoi(reports.back().param("disdestapt").c_str()), 2)
        << "the last report comes from Porto's apron";
}

TEST(AcarsFlight, AnUplinkMessageForTheFlightIsShownWithItsSound) {
    AcarsFlight f;
    ASSERT_EQ(f.result.end, headless::RunResult::End::Stopped);
    const Requests polls = on(f.dispatch.requests(), "/uplink.php");
    ASSERT_GE(polls.size(), 3u);
    EXPECT_EQ(polls[0].param("acarsid"), "5") << "the number the reset gave";
    EXPECT_EQ(polls[1].param("acarsid"), "6");
    EXPECT_EQ(polls[0].param("reg"), "TP1944");

    const auto& view = f.result.acarsView;
    const auto shown = std::find(view.begin(), view.end(), "  Uplink SENDTOTP1944 gate B12");
    EXPECT_NE(shown, view.end());
    EXPECT_EQ(std::count(view.begin(), view.end(), "Uplink Message"), 1);
    EXPECT_EQ(std::find(view.begin(), view.end(), "  SENDTOTP9 other"), view.end());
    EXPECT_EQ(std::count_if(f.result.calls.begin(), f.result.calls.end(),
                            [](const std::string& c) { return c.starts_with("sound once"); }),
              1);
}

}  // namespace
}  // namespace aviolog::test
