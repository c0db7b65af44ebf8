// The landing analysis: sample sequences that stand for the moments it must tell apart,
// and whole landings of the simulator stand-in, whose flight model knows each contact.

#include "recorder/landing_analysis.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "recorder/flight_events.h"
#include "recorder/runway_file.h"
#include "recorder/timer_ids.h"
#include "sim/flight_model.h"
#include "sim/scenario.h"
#include "sim/simulator.h"
#include "tests/recorder/recorder_rig.h"
#include "tests/support/sim_fixture.h"
#include "tests/support/temp_dir.h"

namespace aviolog::test {
namespace {

using recorder::LandingAnalysis;
using recorder::LandingReport;
using recorder::LandingSample;

// A descent from 300 ft, one sample per 100 ms, then contacts and roll-out.
struct Approach {
    bool servesContactRate = true;  // the simulator serves its rate at contact
    bool servesLoad = true;
    LandingAnalysis analysis;
    LandingSample s;

    Approach() {
        s.heightFt = 300.0;
        s.indicatedAirspeedKt = 135.0;
        s.groundSpeedKt = 128.0;
        s.noseUpDeg = 3.0;
    }
    void air(int samples, double fpm) {
        for (int i = 0; i < samples; ++i) {
            s.onGround = false;
            s.verticalSpeedFpm = fpm;
            s.touchdownVerticalSpeedFpm = servesContactRate ? fpm : 0.0;
            s.heightFt = std::max(0.5, s.heightFt + fpm / 600.0);
            s.gForce = servesLoad ? 1.0 : 0.0;
            analysis.sample(s);
        }
    }
    // The wheels on the ground: the contact's rate held, its load felt for three samples.
    void ground(int samples, double contactFpm, double contactG) {
        for (int i = 0; i < samples; ++i) {
            s.onGround = true;
            s.heightFt = 0.0;
            s.verticalSpeedFpm = 0.0;
            s.touchdownVerticalSpeedFpm = servesContactRate ? contactFpm : 0.0;
            s.gForce = !servesLoad ? 0.0 : i == 1 ? contactG : i < 3 ? 1.1 : 1.0;
            analysis.sample(s);
        }
    }
    const LandingReport& report() const { return analysis.report(); }
};

TEST(LandingAnalysis, ContactsBouncesRatesAndLoads) {
    struct Row {
        const char* name;
        bool servesContactRate;
        bool servesLoad;
        int skipSamples;  // airborne again after the first contact, in samples
        std::vector<int> rates;
        std::vector<double> loads;  // 0: none served
    };
    const Row rows[] = {
        {"one contact, the simulator's own rate", true, true, 0, {-142}, {1.31}},
        {"the last sample in the air where the rate at contact is not served",
         false,
         true,
         0,
         {-180},
         {1.31}},
        {"no load served: no G", true, false, 0, {-142}, {0.0}},
        {"a skip of 0.1 s is the same contact", true, true, 1, {-142}, {1.31}},
        {"airborne for 0.2 s is a bounce", true, true, 2, {-142, -95}, {1.31, 1.18}},
        {"a long bounce", true, true, 15, {-142, -95}, {1.31, 1.18}},
    };
    for (const Row& row : rows) {
        Approach a;
        a.servesContactRate = row.servesContactRate;
        a.servesLoad = row.servesLoad;
        a.air(300, -600.0);
        a.air(10, -180.0);
        // The contact rate differs from the last sample's, as a real flare ends.
        a.ground(5, -142.0, 1.31);
        if (row.skipSamples > 0) {
            a.air(row.skipSamples, 200.0);
            a.ground(5, -95.0, 1.18);
        }
        a.ground(120, row.skipSamples >= 2 ? -95.0 : -142.0, 1.0);
        ASSERT_TRUE(a.analysis.finished()) << row.name;
        const LandingReport& r = a.report();
        ASSERT_EQ(r.status, LandingReport::Status::Observed) << row.name;
        ASSERT_EQ(r.contacts.size(), row.rates.size()) << row.name;
        for (std::size_t i = 0; i < row.rates.size(); ++i) {
            EXPECT_EQ(r.contacts[i].rateFpm, row.rates[i]) << row.name << " contact " << i;
            EXPECT_EQ(r.contacts[i].rateFromContact, row.servesContactRate) << row.name;
            if (row.loads[i] == 0.0) {
                EXPECT_FALSE(r.contacts[i].gForce) << row.name;
            } else {
                EXPECT_DOUBLE_EQ(r.contacts[i].gForce.value_or(0.0), row.loads[i]) << row.name;
            }
        }
        EXPECT_EQ(r.bounces(), int(row.rates.size()) - 1) << row.name;
        ASSERT_TRUE(r.at50Ft && r.at20Ft) << row.name;
        EXPECT_EQ(r.at50Ft->sinkRateFpm, -600) << row.name;
        EXPECT_EQ(r.at20Ft->sinkRateFpm, -600) << row.name;
        EXPECT_EQ(r.indicatedAirspeedKt, 135) << row.name;
    }
}

// The cockpit terminal's page has 45 characters a line: every line fits, the figures first.
TEST(LandingAnalysis, TheTerminalsLinesFitItsPage) {
    Approach a;
    a.analysis.setRunways({{"35", 0.0, 0.0, 0.0, 3000.0}});
    a.air(300, -600.0);
    a.s.simulationRate = 16.0;
    a.s.paused = true;
    a.s.slewed = true;
    a.ground(5, -1234.0, 2.61);
    a.air(3, 300.0);
    a.ground(120, -812.0, 1.9);
    const std::vector<std::string> lines = recorder::landingGaugeLines(a.report());
    ASSERT_GE(lines.size(), 5U);
    EXPECT_EQ(lines[0], "LANDING -1234 FPM 2.61G 1 BNC");
    EXPECT_EQ(lines[2], "50FT -600 FPM 135 KT");
    for (const std::string& line : lines) EXPECT_LE(line.size(), 45U) << line;
    Approach lost;
    lost.air(300, -600.0);
    lost.analysis.sampleFailed(true);
    EXPECT_EQ(recorder::landingGaugeLines(lost.report()),
              std::vector<std::string>{"LANDING NOT OBSERVED"});
}

TEST(LandingAnalysis, ARollOutShorterThanTenSecondsIsNotTheEnd) {
    Approach a;
    a.air(300, -600.0);
    a.ground(99, -142.0, 1.3);
    EXPECT_FALSE(a.analysis.finished());
    a.ground(1, -142.0, 1.3);
    EXPECT_TRUE(a.analysis.finished());
}

TEST(LandingAnalysis, AnAnswerMissingAroundTheLandingLeavesNoFigures) {
    struct Row {
        const char* name;
        int failuresBeforeContact;
        bool linkLost;
        int failuresInRollOut;
        bool observed;
    };
    const Row rows[] = {
        {"every answer", 0, false, 0, true},
        {"one answer missing on final, the contact seen", 0, false, 0, true},
        {"no answer at the contact's sample", 1, false, 0, false},
        {"the link lost on final", 3, true, 0, false},
        {"the link lost in the roll-out", 0, true, 5, false},
    };
    for (const Row& row : rows) {
        Approach a;
        a.air(300, -600.0);
        for (int i = 0; i < row.failuresBeforeContact; ++i) a.analysis.sampleFailed(row.linkLost);
        if (row.failuresBeforeContact > 0) {
            a.servesContactRate = false;  // the simulator restarted: nothing frozen
        }
        a.ground(20, -142.0, 1.3);
        for (int i = 0; i < row.failuresInRollOut; ++i) a.analysis.sampleFailed(row.linkLost);
        a.ground(100, -142.0, 1.0);
        a.analysis.giveUp();
        const LandingReport& r = a.report();
        EXPECT_EQ(r.status == LandingReport::Status::Observed, row.observed) << row.name;
        const std::vector<std::string> lines = recorder::landingReportLines(r);
        if (!row.observed) {
            EXPECT_EQ(lines,
                      std::vector<std::string>{
                          "Touchdown: not observed, the simulator was not answering"})
                << row.name;
        }
    }
}

TEST(LandingAnalysis, ASamplerThatStartsOnTheGroundSawNoApproach) {
    LandingAnalysis analysis;
    LandingSample s;
    s.onGround = true;
    for (int i = 0; i < 200; ++i) analysis.sample(s);
    EXPECT_FALSE(analysis.armed());
    analysis.giveUp();
    EXPECT_EQ(analysis.report().status, LandingReport::Status::NotObserved);
    EXPECT_EQ(recorder::landingNote(analysis.report()),
              "not observed, the approach was not seen below 1000 ft");
}

TEST(LandingAnalysis, PauseSlewAndSimulationRateAtContactAreFlagged) {
    Approach a;
    a.air(300, -600.0);
    a.s.paused = true;
    a.s.slewed = true;
    a.s.simulationRate = 4.0;
    a.ground(120, -142.0, 1.3);
    const LandingReport& r = a.report();
    EXPECT_TRUE(r.pausedAtContact);
    EXPECT_TRUE(r.slewedAtContact);
    EXPECT_EQ(r.simulationRateAtContact, 4.0);
    EXPECT_EQ(recorder::landingNote(r),
              "touchdown while paused; touchdown while slewed; simulation rate 4");
    const std::vector<std::string> lines = recorder::landingReportLines(r);
    EXPECT_NE(std::find(lines.begin(), lines.end(), "Touchdown while paused"), lines.end());
    EXPECT_NE(std::find(lines.begin(), lines.end(), "Touchdown at simulation rate 4"), lines.end());
}

// A runway fixture: Porto's 35, threshold and true course; the other end, 17.
std::vector<recorder::RunwayEnd> portoRunways() {
    return {{"35", 41.2326, -8.6777, 352.0, 3480.0}, {"17", 41.2636, -8.6851, 172.0, 3480.0}};
}

TEST(LandingAnalysis, WhereTheWheelsMetTheRunway) {
    struct Row {
        const char* name;
        double alongM;
        double rightM;
        double headingDeg;
        const char* ident;  // nullptr: no runway
    };
    const Row rows[] = {
        {"on the centre line, 400 m in", 400.0, 0.0, 352.0, "35"},
        {"6 m right of the centre line", 550.0, 6.0, 350.0, "35"},
        {"4.5 m left, short of the threshold", -30.0, -4.5, 354.0, "35"},
        {"the other way", 3080.0, 0.0, 172.0, "17"},
        {"across the runway: none", 400.0, 0.0, 262.0, nullptr},
    };
    constexpr double kMetresPerDeg = 60.0 * 1852.0;
    for (const Row& row : rows) {
        const recorder::RunwayEnd end = portoRunways()[0];
        const double h = end.headingTrueDeg * M_PI / 180.0;
        const double northM = row.alongM * std::cos(h) - row.rightM * std::sin(h);
        const double eastM = row.alongM * std::sin(h) + row.rightM * std::cos(h);
        Approach a;
        a.analysis.setRunways(portoRunways());
        a.s.headingTrueDeg = row.headingDeg;
        a.air(300, -600.0);
        a.s.latitudeDeg = end.thresholdLatitudeDeg + northM / kMetresPerDeg;
        a.s.longitudeDeg =
            end.thresholdLongitudeDeg +
            eastM / (kMetresPerDeg * std::cos(end.thresholdLatitudeDeg * M_PI / 180));
        a.ground(120, -142.0, 1.3);
        const LandingReport& r = a.report();
        if (!row.ident) {
            EXPECT_FALSE(r.runwayIdent) << row.name;
            continue;
        }
        ASSERT_TRUE(r.runwayIdent && r.fromThresholdM && r.fromCentreLineM) << row.name;
        EXPECT_EQ(*r.runwayIdent, row.ident) << row.name;
        if (std::string(row.ident) == "35") {
            EXPECT_NEAR(*r.fromThresholdM, row.alongM, 0.5) << row.name;
            EXPECT_NEAR(*r.fromCentreLineM, row.rightM, 0.5) << row.name;
        }
    }
}

// ---- The stand-in's landings ----

std::unique_ptr<sim::Simulator> landingAt(double touchdownFpm, bool bounce) {
    auto loaded = sim::loadScenario(dataPath("scenarios/touch-and-bounce.scn"));
    EXPECT_TRUE(loaded.ok()) << loaded.error;
    sim::Scenario scenario = *loaded.value;
    scenario.profile.touchdownFpm = touchdownFpm;
    if (!bounce) scenario.events.clear();
    return std::make_unique<sim::Simulator>(scenario);
}

// Flies until the landing is accepted, then stops the log as the pilot does.
bool landAndStop(RecorderRig& rig) {
    if (!rig.runUntil([&] { return rig.flight.phase == model::FlightPhase::TaxiingIn; })) {
        return false;
    }
    rig.core.stopButton();
    return rig.window.summaryOffered();
}

std::string loggedLine(const std::string& log, const std::string& prefix) {
    const std::size_t at = log.find(prefix);
    if (at == std::string::npos) return {};
    return log.substr(at, log.find('\n', at) - at);
}

TEST(StandInLanding, TheLoggedRateIsTheFlightModelsContactRate) {
    struct Row {
        double touchdownFpm;
        bool bounce;
    };
    const Row rows[] = {
        {-60.0, false}, {-140.0, false}, {-220.0, false}, {-450.0, false}, {-220.0, true}};
    for (const Row& row : rows) {
        const std::string name =
            std::to_string(int(row.touchdownFpm)) + (row.bounce ? " with a bounce" : "");
        RecorderRig rig(landingAt(row.touchdownFpm, row.bounce));
        ASSERT_TRUE(rig.start()) << name;
        ASSERT_TRUE(landAndStop(rig)) << name;
        const auto& contacts = rig.simulator->model().contacts();
        ASSERT_EQ(contacts.size(), row.bounce ? 2U : 1U) << name;
        const LandingReport& r = rig.core.events().landing().report();
        ASSERT_EQ(r.status, LandingReport::Status::Observed) << name;
        ASSERT_EQ(r.contacts.size(), contacts.size()) << name;
        for (std::size_t i = 0; i < contacts.size(); ++i) {
            EXPECT_NEAR(r.contacts[i].rateFpm, contacts[i].verticalSpeedFpm, 1.0) << name;
            EXPECT_TRUE(r.contacts[i].rateFromContact) << name << ": the stand-in serves it";
            // G as served: raw / 625.
            EXPECT_NEAR(r.contacts[i].gForce.value_or(0.0), contacts[i].gForce, 1.0 / 625) << name;
        }
        const int rate = r.contacts[0].rateFpm;
        EXPECT_TRUE(loggedLine(rig.log(), "TouchDown:Rate")
                        .starts_with("TouchDown:Rate " + std::to_string(rate) + " ft/min Speed: "))
            << name << "\n"
            << rig.log();
        EXPECT_EQ(rig.summary.RateTD, std::to_string(rate)) << name;
        EXPECT_EQ(rig.summary.Bounces, row.bounce ? "1" : "0") << name;
        char g[16];
        std::snprintf(g, sizeof g, "%.2f", *r.contacts[0].gForce);
        EXPECT_EQ(loggedLine(rig.log(), "Touchdown: "), "Touchdown: " + std::to_string(rate) +
                                                            " ft/min " + g + " G, " +
                                                            (row.bounce ? "1 bounce" : "0 bounces"))
            << name;
        EXPECT_EQ(rig.summary.TouchdownG, g) << name;
        // The page beside the log, and its copy under the flight's own name.
        const std::string page = rig.dir.read("landing.htm");
        EXPECT_NE(page.find("<li class=\"first\">Touchdown: " + std::to_string(rate)),
                  std::string::npos)
            << name;
        std::size_t marks = 0;
        for (std::size_t at = 0; (at = page.find("class=\"contact\"", at)) != std::string::npos;
             ++at) {
            ++marks;
        }
        EXPECT_EQ(marks, 3 * contacts.size()) << name << ": each contact on each of the plots";
        EXPECT_EQ(rig.dir.read(model::landingPageName(rig.summary.Date, rig.summary.Hour)), page)
            << name;
    }
}

TEST(StandInLanding, ALinkLostAt200FtReportsNoRateAndSaysWhy) {
    RecorderRig rig(landingAt(-140.0, false));
    ASSERT_TRUE(rig.start());
    ASSERT_TRUE(rig.runUntil([&] {
        const sim::AircraftState& s = rig.simulator->model().state();
        return rig.clock.isRunning(recorder::kTouchdownTimer) && !s.onGround &&
               s.heightAboveGroundFt() < 200.0;
    }));
    ASSERT_TRUE(rig.simulator->command("silent 30").ok);
    ASSERT_TRUE(landAndStop(rig));
    const std::string log = rig.log();
    EXPECT_EQ(log.find("TouchDown:Rate"), std::string::npos) << log;
    EXPECT_NE(log.find("Touchdown: not observed, the simulator was not answering"),
              std::string::npos)
        << log;
    EXPECT_EQ(rig.summary.RateTD, "");
    EXPECT_EQ(rig.summary.TouchdownG, "");
    EXPECT_EQ(rig.summary.LandingNote, "not observed, the simulator was not answering");
    EXPECT_NE(rig.dir.read("landing.htm").find("not observed"), std::string::npos);
}

}  // namespace
}  // namespace aviolog::test

namespace aviolog::test {
namespace {

TEST(RunwayFile, RunwayEndsReadWithTheirThresholds) {
    struct Row {
        const char* name;
        const char* value;
        bool read;
        double thresholdNorthM;  // from the runway end, along a north-facing runway
    };
    const Row rows[] = {
        {"an end at its threshold", "41.0;-8.0;0.0;3480;45;0;228", true, 0.0},
        {"a displaced threshold lies past the end", "41.0;-8.0;0.0;3480;45;300;", true, 300.0},
        {"no elevation is fine", "41.0;-8.0;0.0;3480;45;0", true, 0.0},
        {"a field that is no number", "41.0;-8.0;north;3480;45;0;228", false, 0.0},
        {"too few fields", "41.0;-8.0;0.0", false, 0.0},
        {"a latitude off the earth", "91.0;-8.0;0.0;3480;45;0;228", false, 0.0},
    };
    for (const Row& row : rows) {
        const auto end = recorder::parseRunwayEnd("36", row.value);
        ASSERT_EQ(end.has_value(), row.read) << row.name;
        if (!end) continue;
        EXPECT_EQ(end->ident, "36") << row.name;
        EXPECT_NEAR((end->thresholdLatitudeDeg - 41.0) * 60 * 1852, row.thresholdNorthM, 0.01)
            << row.name;
        EXPECT_DOUBLE_EQ(end->thresholdLongitudeDeg, -8.0) << row.name;
        EXPECT_EQ(end->lengthM, 3480.0) << row.name;
    }
    TempDir dir;
    dir.write("runways.txt",
              "[LPPR]\r\n17=41.26;-8.68;172.0;3480;45;0;\r\n35=41.23;-8.67;352.0;3480;45;0;\r\n"
              "09=broken\r\n");
    const recorder::RunwayFile file(dir / "runways.txt");
    EXPECT_EQ(file.runwayEnds("LPPR").size(), 2U) << "the broken end is left out";
    EXPECT_TRUE(file.runwayEnds("LPPT").empty());
    EXPECT_TRUE(recorder::RunwayFile(dir / "none.txt").runwayEnds("LPPR").empty());
}

// Where the runway list knows the arrival, the log says where the wheels met the runway.
TEST(StandInLanding, TheRunwayListPlacesTheTouchdown) {
    RecorderRig rig(landingAt(-140.0, false));
    rig.record.arrivalIcao = "LPPR";
    // Porto's 35 as the stand-in lays it out: its threshold half the runway's length
    // before the airport's point, along the runway's heading.
    constexpr double kHeadingRad = 352.0 * M_PI / 180.0;
    constexpr double kMetresPerDeg = 60.0 * 1852.0;
    const double thresholdLat = 41.2481 - 1740.0 * std::cos(kHeadingRad) / kMetresPerDeg;
    const double thresholdLon = -8.6814 - 1740.0 * std::sin(kHeadingRad) /
                                              (kMetresPerDeg * std::cos(41.2481 * M_PI / 180.0));
    char end[96];
    std::snprintf(end, sizeof end, "35=%.6f;%.6f;352.0;3480;45;0;228\r\n", thresholdLat,
                  thresholdLon);
    rig.dir.write("runways.txt", std::string("[LPPR]\r\n") + end);
    ASSERT_TRUE(rig.start());
    ASSERT_TRUE(landAndStop(rig));
    const LandingReport& r = rig.core.events().landing().report();
    ASSERT_TRUE(r.runwayIdent && r.fromThresholdM && r.fromCentreLineM) << rig.log();
    EXPECT_EQ(*r.runwayIdent, "35");
    // Where the flight model's wheels met the ground, seen from the threshold; the sample
    // of the contact comes up to 100 ms after it, a few metres further on.
    const sim::GeoPoint at = rig.simulator->model().contacts().at(0).position;
    const double northM = (at.latitudeDeg - thresholdLat) * kMetresPerDeg;
    const double eastM =
        (at.longitudeDeg - thresholdLon) * kMetresPerDeg * std::cos(thresholdLat * M_PI / 180.0);
    const double alongM = eastM * std::sin(kHeadingRad) + northM * std::cos(kHeadingRad);
    const double acrossM = eastM * std::cos(kHeadingRad) - northM * std::sin(kHeadingRad);
    EXPECT_GE(*r.fromThresholdM, alongM - 1.0) << rig.log();
    EXPECT_LE(*r.fromThresholdM, alongM + 10.0) << rig.log();
    EXPECT_NEAR(*r.fromCentreLineM, acrossM, 1.0) << rig.log();
    EXPECT_NE(loggedLine(rig.log(), "Runway 35: "), "") << rig.log();
    EXPECT_EQ(rig.summary.ThresholdDist, std::to_string(int(*r.fromThresholdM)));
}

}  // namespace
}  // namespace aviolog::test
