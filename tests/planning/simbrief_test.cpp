// SimBrief's latest plan into the form and the fuel page, from a loopback site answering
// with an OFP as SimBrief's fetcher does; anything else changes nothing.

#include "planning/simbrief.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "common/text_file.h"
#include "headless/flight_runner.h"
#include "tests/support/flight_rig.h"
#include "tests/support/loopback_va_server.h"

namespace aviolog::test {
namespace {

std::string sampleOfp() {
    return readFileBytes(std::string(AVIOLOG_PLANNING_DATA) + "/simbrief-ofp.json").value_or("");
}

TEST(Simbrief, TheOfpIsReadAsTheFormAndTheFuelPageTakeIt) {
    const auto plan = planning::readSimbriefPlan(sampleOfp());
    ASSERT_TRUE(plan);
    EXPECT_EQ(plan->origin, "LPPR");
    EXPECT_EQ(plan->destination, "LPBR");
    EXPECT_EQ(plan->alternate, "LPPT");
    EXPECT_EQ(plan->route, "DCT BRG DCT");
    EXPECT_EQ(plan->initialAltitudeFt, 24000);
    EXPECT_EQ(plan->aircraftIcao, "C25B");
    EXPECT_EQ(plan->registration, "CS-DXA");
    EXPECT_EQ(plan->callsign, "TAP1944");
    EXPECT_EQ(plan->flightNumber, "TAP1944");
    EXPECT_EQ(plan->passengers, "6");
    EXPECT_EQ(plan->cargo, "150");
    EXPECT_EQ(plan->rampFuel, 2300);
    EXPECT_EQ(plan->rampFuelUnit, WeightUnit::Pounds);

    EXPECT_EQ(planning::simbriefAddress("https://x/api/xml.fetcher.php", "ann p&1"),
              "https://x/api/xml.fetcher.php?username=ann%20p%261&json=1");
    std::string refusal;
    EXPECT_FALSE(
        planning::readSimbriefPlan(R"({"fetch":{"status":"Error: Unknown UserID"}})", &refusal));
    EXPECT_EQ(refusal, "Error: Unknown UserID");
    for (const char* bad : {"", "<OFP><origin/></OFP>", "{}", R"({"origin":{"icao_code":"LP PR"}})",
                            R"({"origin":{"icao_code":"LPPR"},"destination":{}})"}) {
        EXPECT_FALSE(planning::readSimbriefPlan(bad)) << bad;
    }
}

struct SimbriefRig {
    SimbriefRig()
        : rig({{"Aviolog", "SimbriefSite", server.url("/api/xml.fetcher.php"), true},
               {"Aviolog", "UnitSystem", "GB"}}) {
        options.simbriefUser = "ann";
        options.stopAtMs = 1000;
        options.form.departureIcao = "LPPR";
    }
    headless::RunResult fly() { return rig.fly("short-hop.scn", options); }

    LoopbackVaServer server;
    FlightRig rig;
    headless::RunnerOptions options;
};

TEST(Simbrief, TheButtonFillsTheFormAndSpreadsTheRampFuelOverTheTanks) {
    SimbriefRig rig;
    rig.server.setAnswers({{200, sampleOfp()}});
    const headless::RunResult r = rig.fly();
    EXPECT_TRUE(r.failedSteps.empty());
    ASSERT_EQ(rig.server.requests().size(), 1u);
    EXPECT_EQ(rig.server.requests()[0].param("username"), "ann");
    EXPECT_EQ(rig.server.requests()[0].param("json"), "1");
    EXPECT_EQ(r.record.arrivalIcao, "LPBR");
    EXPECT_EQ(r.record.alternateIcao, "LPPT");
    EXPECT_EQ(r.record.route, "DCT BRG DCT");
    EXPECT_EQ(r.record.flightLevel, "240");
    EXPECT_EQ(r.record.registration, "CS-DXA");
    EXPECT_EQ(r.record.callsign, "TAP1944");
    EXPECT_EQ(r.record.passengers, "6");
    EXPECT_EQ(r.record.cargo, "150");
    // Two mains of one size: half of the 2300 lb each, in the profile's pounds.
    ASSERT_GE(r.fuelRows.size(), 2u);
    EXPECT_NE(std::find(r.fuelRows.begin(), r.fuelRows.end(), "Requested Total Fuel=2300"),
              r.fuelRows.end())
        << r.fuelRows.back();
    long total = 0;
    for (const std::string& row : r.fuelRows) {
        if (row.starts_with("Total Fuel="))
            total = std::atol(row.substr(row.find('=') + 1).c_str());
    }
    EXPECT_NEAR(total, 2300, 10);
}

TEST(Simbrief, AnAnswerThatIsNoOfpChangesNothing) {
    const struct {
        const char* name;
        int status;
        std::string body;
    } rows[] = {
        {"unknown user", 200, R"({"fetch":{"status":"Error: Unknown UserID"}})"},
        {"not json", 200, "<html>maintenance</html>"},
        {"cut off", 200, sampleOfp().substr(0, 300)},
        {"server error", 500, "oops"},
    };
    SimbriefRig plain;
    plain.options.simbriefUser.clear();
    const headless::RunResult untouched = plain.fly();
    for (const auto& row : rows) {
        SimbriefRig rig;
        rig.server.setAnswers({{row.status, row.body}});
        const headless::RunResult r = rig.fly();
        EXPECT_EQ(r.failedSteps, std::vector<std::string>{"SimBrief"}) << row.name;
        EXPECT_EQ(r.record.route, untouched.record.route) << row.name;
        EXPECT_EQ(r.record.flightLevel, untouched.record.flightLevel) << row.name;
        EXPECT_EQ(r.record.alternateIcao, untouched.record.alternateIcao) << row.name;
        EXPECT_EQ(r.record.registration, "CS-TNA") << row.name;
        EXPECT_EQ(r.record.cargo, "2500") << row.name;
        // The tanks as the scenario filled them, and no requested total.
        EXPECT_NE(std::find(r.fuelRows.begin(), r.fuelRows.end(), "Requested Total Fuel="),
                  r.fuelRows.end())
            << row.name;
        std::string boxes;
        for (const auto& b : r.pilotBoxes) boxes += b;
        EXPECT_NE(boxes.find("nothing was changed"), std::string::npos) << row.name << boxes;
    }
}

}  // namespace
}  // namespace aviolog::test
