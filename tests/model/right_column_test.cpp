#include "model/right_column.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace aviolog::model {
namespace {

// The captions shown, in column order, each marked "-" when it cannot be pressed.
std::string shown(const MainWindowModel& window, ColumnContext context) {
    const auto column = rightColumn(window, context);
    std::string text;
    for (const ButtonInfo& info : kButtons) {
        const ControlState s = column[static_cast<int>(info.button)];
        if (!s.shown) continue;
        if (!text.empty()) text += ", ";
        text += std::string(s.enabled ? "" : "-") + info.caption;
    }
    return text;
}

constexpr ButtonTargets kAll{.flightPreparation = true, .console = true, .browser = true};

TEST(RightColumn, ButtonsByTabAndByTheFlightsState) {
    struct Row {
        const char* name;
        void (*state)(MainWindowModel&);
        Tab tab;
        bool fpSite;
        const char* expected;
    };
    auto startUp = [](MainWindowModel&) {};
    auto linkUp = [](MainWindowModel& w) { w.enable(Control::StartLog, true); };
    auto logging = [](MainWindowModel& w) {
        w.enable(Control::StartLog, true);
        w.show(Control::Commands, true);
        w.enable(Control::Commands, true);
        w.show(Control::StartLog, false);
        w.show(Control::StopLog, true);
        w.enable(Control::StopLog, true);
    };
    auto ended = [](MainWindowModel& w) {
        w.show(Control::StartLog, false);
        w.show(Control::StopLog, true);
        w.enable(Control::Commands, false);
    };
    auto reduced = [](MainWindowModel& w) { w.enterReducedMode(); };
    auto dumping = [](MainWindowModel& w) {
        w.show(Control::StartLogDump, false);
        w.show(Control::StopLogDump, true);
        w.enable(Control::StopLogDump, true);
    };
    const Row rows[] = {
        {"start-up on the form", startUp, Tab::FlightPlan, false,
         "-Start LOG, Aviolog, FS Flight Plan, Servinfo, Export SB3, SimBrief"},
        {"start-up with a VA flight-plan site", startUp, Tab::FlightPlan, true,
         "-Start LOG, Aviolog, FS Flight Plan, Servinfo, Flight from VA, Export SB3, SimBrief"},
        {"start-up on the log", startUp, Tab::FlightLog, false, "-Start LOG, -Commands, Send LOG"},
        {"link up on the log", linkUp, Tab::FlightLog, false, "Start LOG, -Commands, Send LOG"},
        {"logging on the log", logging, Tab::FlightLog, false, "Stop LOG, Commands, Send LOG"},
        {"logging on the ACARS messages", logging, Tab::AcarsMessages, false, "Stop LOG"},
        {"logging on the browser", logging, Tab::InformationBrowser, false,
         "Stop LOG, Acars RealTime, Local DB, VA Site, -Landing"},
        {"log ended on the log", ended, Tab::FlightLog, false, "-Stop LOG, -Commands, Send LOG"},
        {"dump off on the data", startUp, Tab::FlightPlaneData, false,
         "-Start LOG, Start LOG Dump"},
        {"dump on on the data", dumping, Tab::FlightPlaneData, false, "-Start LOG, Stop LOG Dump"},
        {"reduced on the log", reduced, Tab::FlightLog, false, "Send LOG"},
        {"reduced on the ACARS messages", reduced, Tab::AcarsMessages, false, "Send LOG"},
        {"reduced on the data", reduced, Tab::FlightPlaneData, false, "Start LOG Dump, Send LOG"},
        {"reduced on the form keeps place 60 for the form", reduced, Tab::FlightPlan, false,
         "Aviolog, FS Flight Plan, Servinfo, Export SB3, SimBrief"},
    };
    for (const Row& row : rows) {
        MainWindowModel window;
        row.state(window);
        EXPECT_EQ(shown(window, {.tab = row.tab, .fpSiteSet = row.fpSite, .targets = kAll}),
                  row.expected)
            << row.name;
    }
}

// "Landing" opens the flight's landing page, which exists from blocks on.
TEST(RightColumn, LandingOpensOnceThePageIsWritten) {
    MainWindowModel window;
    constexpr ButtonTargets kBrowser{false, false, true};
    EXPECT_EQ(shown(window, {Tab::InformationBrowser, false, kBrowser, false}),
              "-Start LOG, -Acars RealTime, Local DB, VA Site, -Landing");
    EXPECT_EQ(shown(window, {Tab::InformationBrowser, false, kBrowser, true}),
              "-Start LOG, -Acars RealTime, Local DB, VA Site, Landing");
    EXPECT_EQ(shown(window, {Tab::InformationBrowser, false, {}, true}),
              "-Start LOG, -Acars RealTime, -Local DB, -VA Site, -Landing")
        << "no browser to show it in";
    EXPECT_EQ(shown(window, {Tab::FlightLog, false, kBrowser, true}),
              "-Start LOG, -Commands, Send LOG");
}

TEST(RightColumn, ButtonsWithoutTheirSubsystemAreShownButCannotBePressed) {
    MainWindowModel window;
    window.show(Control::Commands, true);
    window.enable(Control::Commands, true);
    EXPECT_EQ(shown(window, {Tab::FlightPlan, true, {}}),
              "-Start LOG, -Aviolog, -FS Flight Plan, -Servinfo, -Flight from VA, -Export SB3, "
              "-SimBrief");
    EXPECT_EQ(shown(window, {Tab::InformationBrowser, false, {false, false, true}}),
              "-Start LOG, -Acars RealTime, Local DB, VA Site, -Landing");
    EXPECT_EQ(shown(window, {Tab::FlightLog, false, {}}), "-Start LOG, -Commands, Send LOG");
}

TEST(RightColumn, ButtonsOfOnePlaceNeverShowTogether) {
    for (int tab = 0; tab < kTabCount; ++tab) {
        for (bool reducedMode : {false, true}) {
            MainWindowModel window;
            if (reducedMode) window.enterReducedMode();
            const auto column = rightColumn(
                window, {.tab = static_cast<Tab>(tab), .fpSiteSet = true, .targets = kAll});
            std::set<int> places;
            for (const ButtonInfo& info : kButtons) {
                if (!column[static_cast<int>(info.button)].shown) continue;
                EXPECT_TRUE(places.insert(info.placeY).second)
                    << kTabNames[tab] << (reducedMode ? " reduced" : "") << ": " << info.caption;
            }
        }
    }
}

}  // namespace
}  // namespace aviolog::model
