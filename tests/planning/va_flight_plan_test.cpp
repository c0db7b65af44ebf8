#include "reporting/va_flight_plan.h"

#include <gtest/gtest.h>

#include "common/text_file.h"
#include "config/settings.h"
#include "model/main_window_model.h"
#include "planning/flight_form.h"
#include "tests/planning/scripted_http.h"
#include "tests/support/scripted_pilot.h"
#include "tests/support/temp_dir.h"

namespace aviolog::reporting {
namespace {

using planning::FormField;

constexpr const char* kBooked =
    "OK booked\n"
    "LPPT\nLPPR\nLPPC\nFL240\nA321\n14:35\n2004/05/01\nTP1944\nCS-TJF\nTAP1944\n"
    "FTM UN873 ESP\n61000\nEF-GJ\n132\n2500\n";

struct VaRig {
    VaRig() {
        settings.company.CompanyICAO = "TAP";
        settings.company.PilotNumber = "123";
        settings.company.FPSite = "http://va.example/fp.php";
        form.initialise();
    }
    VaFlightPlanOutcome press() {
        return flightFromVa({.settings = settings,
                             .form = form,
                             .http = http,
                             .pilot = pilot,
                             .workDir = dir.path()});
    }

    test::TempDir dir;
    config::Settings settings;
    model::FlightRecord record;
    model::MainWindowModel window;
    test::ScriptedHttp http;
    test::ScriptedPilot pilot;
    planning::FlightFormModel form{
        {.settings = settings, .record = record, .window = window, .workDir = dir.path()}};
};

TEST(VaFlightPlanTest, BookedFlightFillsTheFormAndTheFileKeepsTheAnswer) {
    VaRig rig;
    rig.form.edit(FormField::PilotNumber, "777");
    rig.settings.company.PilotNumber = "123";  // the form's number is the one that counts
    rig.http.answers = {kBooked};
    EXPECT_EQ(rig.press(), VaFlightPlanOutcome::Filled);
    ASSERT_EQ(rig.http.urls.size(), 1u);
    EXPECT_EQ(rig.http.urls[0], "http://va.example/fp.php?pilot=TAP777");
    EXPECT_EQ(rig.settings.company.PilotNumber, "777");
    EXPECT_EQ(textModeText(rig.dir.read("FlightPlan.txt")), kBooked);

    const model::FlightRecord& r = rig.record;
    EXPECT_EQ(r.departureIcao, "LPPT");
    EXPECT_EQ(r.arrivalIcao, "LPPR");
    EXPECT_EQ(r.alternateIcao, "LPPC");
    EXPECT_EQ(r.flightLevel, "FL240");
    EXPECT_EQ(r.aircraftType, "A321");
    EXPECT_EQ(r.flightNumber, "TP1944");
    EXPECT_EQ(r.registration, "CS-TJF");
    EXPECT_EQ(r.callsign, "TAP1944");
    EXPECT_EQ(r.route, "FTM UN873 ESP");
    EXPECT_EQ(r.selcal, "EF-GJ");
    EXPECT_EQ(r.passengers, "132");
    EXPECT_EQ(r.cargo, "2500");
    EXPECT_EQ(rig.form.weightText(), "61000");
    const model::DateTimeBox& box = rig.form.dateTimeBox();
    EXPECT_EQ(box.utcHour, 14);
    EXPECT_EQ(box.utcMinute, 35);
    EXPECT_EQ(rig.form.dateTime().utcDate(), (planning::BoxDate{2004, 5, 1}));
    EXPECT_TRUE(box.setClock && box.setDate);
    EXPECT_TRUE(rig.pilot.shown.empty());
}

TEST(VaFlightPlanTest, AnswersThatAreNotABookedFlight) {
    struct Row {
        const char* name;
        std::optional<std::string> answer;
        VaFlightPlanOutcome outcome;
        std::vector<std::string> boxes;
    };
    const Row rows[] = {
        {"unreachable", std::nullopt, VaFlightPlanOutcome::Unreachable, {kCantReachVa}},
        {"empty", "", VaFlightPlanOutcome::Unreachable, {kCantReachVa}},
        {"OKAY", "OKAY\nLPPT\n", VaFlightPlanOutcome::Refused, {}},
        {"lower case", "ok\nLPPT\n", VaFlightPlanOutcome::Refused, {}},
        {"error page", "<html>Error</html>\n", VaFlightPlanOutcome::Refused, {}},
    };
    for (const Row& row : rows) {
        VaRig rig;
        rig.form.setField(FormField::Departure, "EGLL");
        rig.http.answers = {row.answer};
        EXPECT_EQ(rig.press(), row.outcome) << row.name;
        EXPECT_EQ(rig.pilot.texts(), row.boxes) << row.name;
        EXPECT_EQ(rig.record.departureIcao, "EGLL") << row.name;
        EXPECT_FALSE(rig.dir.exists("FlightPlan.txt")) << row.name;
    }
}

TEST(VaFlightPlanTest, LinesThatAreShortEmptyOrUnterminated) {
    struct Row {
        const char* name;
        std::string answer;
        const char* departure;
        const char* arrival;
        int hour, minute;  // the box's UTC time afterwards (it starts at 0:00)
        bool setClock;
    };
    const Row rows[] = {
        {"time without separator", "OK\nLPPT\nLPPR\n\n\n\n0930\n", "LPPT", "LPPR", 9, 0, true},
        {"empty lines leave fields", "OK\n\nLPPR\n", "EGLL", "LPPR", 0, 0, false},
        {"answer ends in line 2 without line feed", "OK\nLPPT", "LPPT", "", 0, 0, false},
        {"time that no clock has", "OK\nLPPT\n\n\n\n\n99:99\n", "LPPT", "", 0, 0, false},
        {"a line of 300 characters is cut", "OK\n" + std::string(300, 'X') + "\n", "XXXX", "", 0, 0,
         false},
        {"CR LF lines", "OK\r\nLPPT\r\nLPPR\r\n", "LPPT", "LPPR", 0, 0, false},
        {"a line of 19 000 characters keeps its place",
         "OK\n" + std::string(19000, 'X') + "\nLPPR\n", "XXXX", "LPPR", 0, 0, false},
        {"a first line of 19 000 characters is still the OK line",
         "OK " + std::string(19000, 'x') + "\nLPPT\nLPPR\n", "LPPT", "LPPR", 0, 0, false},
    };
    for (const Row& row : rows) {
        VaRig rig;
        rig.form.setField(FormField::Departure, "EGLL");
        rig.http.answers = {row.answer};
        EXPECT_EQ(rig.press(), VaFlightPlanOutcome::Filled) << row.name;
        EXPECT_EQ(rig.record.departureIcao, row.departure) << row.name;
        EXPECT_EQ(rig.record.arrivalIcao, row.arrival) << row.name;
        EXPECT_EQ(rig.form.dateTimeBox().utcHour, row.hour) << row.name;
        EXPECT_EQ(rig.form.dateTimeBox().utcMinute, row.minute) << row.name;
        EXPECT_EQ(rig.form.dateTimeBox().setClock, row.setClock) << row.name;
    }
}

TEST(VaFlightPlanTest, ABookedTimeNearMidnightKeepsTheBookedUtcDay) {
    VaRig rig;
    // The simulator's clock in Lisbon in summer (UTC+1).
    rig.form.fillDateTime({2024, 6, 14}, 9, 25, {2024, 6, 14}, 10, 25, -60);
    rig.http.answers = {"OK\nLPPT\nLPPR\n\n\n\n23:30\n2024/06/14\n"};
    ASSERT_EQ(rig.press(), VaFlightPlanOutcome::Filled);
    const model::DateTimeBox& box = rig.form.dateTimeBox();
    EXPECT_EQ((planning::BoxDate{box.utcYear, box.utcMonth, box.utcDay}),
              (planning::BoxDate{2024, 6, 14}))
        << "what the simulator's day is set to";
    EXPECT_EQ((planning::BoxDate{box.year, box.month, box.day}), (planning::BoxDate{2024, 6, 15}))
        << "local 00:30 the next day";
    EXPECT_EQ(box.localHour, 0);
    EXPECT_EQ(box.localMinute, 30);
}

TEST(VaFlightPlanTest, RealTimeAddressFallsBackToTheDefault) {
    config::Settings settings;
    EXPECT_EQ(realTimeAddress(settings), config::kDefaultAcarsReal);
    EXPECT_EQ(settings.log.AcarsReal, config::kDefaultAcarsReal) << "kept for Save";
    settings.log.AcarsReal = "http://va.example/live.php";
    EXPECT_EQ(realTimeAddress(settings), "http://va.example/live.php");
}

}  // namespace
}  // namespace aviolog::reporting
