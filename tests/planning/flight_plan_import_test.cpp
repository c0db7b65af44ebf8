#include "planning/flight_plan_import.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "common/text_file.h"
#include "config/ini_file.h"
#include "config/settings.h"
#include "model/main_window_model.h"
#include "planning/flight_form.h"
#include "planning/flight_plan_files.h"
#include "planning/fuel_page.h"
#include "platform/posix/wine_registry.h"
#include "platform/virtual/virtual_scheduler.h"
#include "sim/in_process_sim_ipc.h"
#include "simlink/sim_link.h"
#include "tests/support/scripted_pilot.h"
#include "tests/support/sim_fixture.h"
#include "tests/support/temp_dir.h"

namespace aviolog::planning {
namespace {

const std::filesystem::path kData = AVIOLOG_PLANNING_DATA;

// The buttons of the main window over a form of the airline TAP, with a Wine prefix that
// may hold SquawkBox.
struct ImportRig {
    ImportRig() {
        settings.company.CompanyICAO = "TAP";
        settings.company.CompanyIATA = "TP";
        settings.company.CallsignUses = "Flight";
        settings.company.Remarks = "reg rmk/CHARTER";
        settings.company.UnitSystem = WeightUnit::Kilograms;
        form.initialise();
    }
    void installSquawkBox() {
        std::filesystem::create_directories(prefix / "drive_c/Program Files/SquawkBox");
        writeFileAtomically(prefix / "system.reg",
                            "WINE REGISTRY Version 2\n\n"
                            "[Software\\\\Level 27 Technologies\\\\SquawkBox\\\\3] 1\n"
                            "\"SBDir\"=\"C:\\\\Program Files\\\\SquawkBox\"\n");
    }

    test::TempDir dir;
    test::TempDir prefix;
    config::Settings settings;
    model::FlightRecord record;
    model::MainWindowModel window;
    test::ScriptedPilot pilot;
    platform::posix::WineRegistry registry{prefix.path()};
    platform::VirtualScheduler clock;
    std::unique_ptr<sim::Simulator> simulator = test::makeSimulator();
    sim::InProcessSimIpc ipc{*simulator, clock};
    simlink::SimLink link{ipc, clock};
    FuelPage fuel{link, settings.company.UnitSystem};
    FlightFormModel form{
        {.settings = settings, .record = record, .window = window, .workDir = dir.path()}};
    FlightPlanImport import{{.form = form,
                             .fuel = fuel,
                             .settings = settings,
                             .pilot = pilot,
                             .registry = registry,
                             .workDir = dir.path()}};
};

TEST(FlightPlanImportTest, PlnWaypointsJoinTheRouteAlreadyThere) {
    ImportRig rig;
    rig.settings.aviolog.FSFPPath = "C:\\FS9\\Flight Plans\\";
    rig.pilot.openFiles = {kData / "lppt-lppr-fs2004.pln", kData / "lppt-lppr-fs2004.pln"};
    rig.import.fsFlightPlanButton();
    EXPECT_EQ(rig.record.departureIcao, "LPPT");
    EXPECT_EQ(rig.record.arrivalIcao, "LPPR");
    EXPECT_EQ(rig.record.flightLevel, "24000");
    EXPECT_EQ(rig.record.route, "LPPT FTM ESP LPPR ");
    EXPECT_EQ(rig.form.text(FormField::Route), "LPPT FTM ESP LPPR ");
    rig.import.fsFlightPlanButton();
    EXPECT_EQ(rig.record.route, "LPPT FTM ESP LPPR LPPT FTM ESP LPPR ");
    ASSERT_EQ(rig.pilot.openRequests.size(), 2u);
    EXPECT_EQ(rig.pilot.openRequests[0].filter, kPlnFilter);
    EXPECT_EQ(rig.pilot.openRequests[0].initialDirectory, "C:\\FS9\\Flight Plans\\");
    EXPECT_TRUE(rig.window.control(model::Control::StartLog).enabled == false)
        << "imports set fields; the form is read when the pilot or the log needs it";
}

TEST(FlightPlanImportTest, ATypedRouteAndTheWaypointsKeepABlankBetweenThem) {
    struct Row {
        const char* name;
        const char* typed;  // the route on the form before the import
        const char* file;
        const char* route;
    };
    const Row rows[] = {
        {"typed without a blank", "DCT", "egll-lfpg-fsx.pln", "DCT EGLL MID ABNUR LFPG "},
        {"typed with a blank", "DCT ", "egll-lfpg-fsx.pln", "DCT EGLL MID ABNUR LFPG "},
        {"two lines typed", "DCT\r\n", "egll-lfpg-fsx.pln", "DCT\r\nEGLL MID ABNUR LFPG "},
        {"nothing typed", "", "egll-lfpg-fsx.pln", "EGLL MID ABNUR LFPG "},
        {"an FS2004 plan", "DCT", "lppt-lppr-fs2004.pln", "DCT LPPT FTM ESP LPPR "},
        {"a plan without waypoints adds nothing", "DCT", "no-waypoints.pln", "DCT"},
    };
    for (const Row& row : rows) {
        ImportRig rig;
        rig.dir.write("no-waypoints.pln", "[flightplan]\r\ndeparture_id=LPPT\r\n");
        if (*row.typed != '\0') rig.form.edit(FormField::Route, row.typed);
        const std::filesystem::path file =
            std::filesystem::exists(kData / row.file) ? kData / row.file : rig.dir / row.file;
        rig.import.importPln(file);
        EXPECT_EQ(rig.record.route, row.route) << row.name;
        EXPECT_EQ(rig.form.text(FormField::Route), row.route) << row.name;
    }
}

TEST(FlightPlanImportTest, PlnNeedsTheFlightPlanFolder) {
    ImportRig rig;
    rig.import.fsFlightPlanButton();
    EXPECT_EQ(rig.pilot.texts(), std::vector<std::string>{kFsPathIncorrect});
    EXPECT_TRUE(rig.pilot.openRequests.empty());
}

TEST(FlightPlanImportTest, FsaFillsFieldsAndTheRequestedFuel) {
    ImportRig rig;
    rig.pilot.openFiles = {kData / "lbs.fsa"};
    rig.import.aviologButton();
    EXPECT_EQ(rig.record.departureIcao, "LPPT");
    EXPECT_EQ(rig.record.passengers, "132");
    EXPECT_EQ(rig.form.text(FormField::Cargo), "2500");
    EXPECT_EQ(rig.fuel.requestedTotal(), "453");
    EXPECT_TRUE(rig.fuel.rows().empty()) << "no tank changes";
    rig.pilot.openFiles = {std::nullopt};
    rig.import.aviologButton();
    EXPECT_EQ(rig.record.departureIcao, "LPPT") << "cancelled";
}

TEST(FlightPlanImportTest, ServinfoButton) {
    struct Row {
        const char* name;
        std::string path;  // the Servinfo setting
        const char* callsign;
        std::vector<std::string> boxes;
        const char* departure;  // in the record afterwards
    };
    const std::string tmp = (kData / "servinfo.tmp").string();
    const std::string json = (kData / "vatsim-data.json").string();
    const Row rows[] = {
        {"Servinfo file", tmp, "DLH1", {}, "EDDM"},
        {"VATSIM feed", json, "DLH12", {}, "EDDF"},
        {"no setting", "", "DLH1", {kNoServinfoFile}, "LPPT"},
        {"missing file", (kData / "nothing.tmp").string(), "DLH1", {kNoServinfoFile}, "LPPT"},
        {"unknown callsign", tmp, "XYZ99", {kNoCallsignInServinfo}, "LPPT"},
        {"no plan filed", json, "TAP123", {kNoPlanInServinfo}, "LPPT"},
    };
    for (const Row& row : rows) {
        ImportRig rig;
        rig.settings.aviolog.Servinfo = row.path;
        rig.form.setField(FormField::Departure, "LPPT");
        rig.form.edit(FormField::Callsign, row.callsign);
        rig.import.servinfoButton();
        EXPECT_EQ(rig.pilot.texts(), row.boxes) << row.name;
        EXPECT_EQ(rig.record.departureIcao, row.departure) << row.name;
        if (row.boxes.empty()) {
            EXPECT_EQ(rig.form.text(FormField::Departure), row.departure) << row.name;
        } else {
            EXPECT_EQ(rig.form.text(FormField::Departure), "") << row.name << ": edits emptied";
        }
    }
}

TEST(FlightPlanImportTest, ServinfoBuildsTheCallsignWhenThereIsNone) {
    ImportRig rig;
    rig.settings.company.CallsignUses = "";
    rig.settings.aviolog.Servinfo = (kData / "servinfo.tmp").string();
    rig.form.setField(FormField::FlightNumber, "12");
    rig.settings.company.CompanyICAO = "DLHX";
    rig.import.servinfoButton();
    EXPECT_EQ(rig.record.callsign, "DLH12");
    EXPECT_EQ(rig.record.arrivalIcao, "LEMD");
    EXPECT_EQ(rig.record.alternateIcao, "LEBL");
    EXPECT_EQ(rig.record.aircraftType, "A320");
}

TEST(FlightPlanImportTest, SquawkBoxExport) {
    ImportRig rig;
    rig.form.edit(FormField::Departure, "LPPT");
    rig.form.edit(FormField::Arrival, "LPPR");
    rig.form.edit(FormField::FlightLevel, "FL240");
    rig.form.edit(FormField::Route, "FTM UN873 ESP");
    rig.form.edit(FormField::Registration, "CS-TNA");

    rig.import.exportSb3Button();
    EXPECT_EQ(rig.pilot.texts(), std::vector<std::string>{kNoSquawkBox}) << "not installed";

    rig.installSquawkBox();
    rig.pilot.shown.clear();
    rig.import.exportSb3Button();
    EXPECT_TRUE(rig.pilot.shown.empty());
    const auto written =
        readFileBytes(rig.prefix / "drive_c/Program Files/SquawkBox/aviologexp.sfp");
    ASSERT_TRUE(written);
    EXPECT_EQ(*written,
              "[SBFlightPlan]\r\nType=0\r\nDeparture=LPPT\r\nArrival=LPPR\r\nAlternate=\r\n"
              "FlightHours=0\r\nFlightMinutes=0\r\nFuelHours=0\r\nFuelMinutes=0\r\nAirspeed=0\r\n"
              "Altitude=FL240\r\nRoute=FTM UN873 ESP\r\nRemarks=+REG/CS-TNA+RMK/CHARTER\r\n");
}

}  // namespace
}  // namespace aviolog::planning
