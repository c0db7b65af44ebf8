#include "planning/flight_form.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "common/text_file.h"
#include "config/ini_file.h"
#include "config/settings.h"
#include "headless/flight_runner.h"
#include "model/main_window_model.h"
#include "tests/support/flight_rig.h"
#include "tests/support/link_rig.h"
#include "tests/support/sim_fixture.h"
#include "tests/support/temp_dir.h"

namespace aviolog::planning {
namespace {

using model::Control;

// A form of the airline TAP in a working folder that has, or has not, an aircraft list.
struct FormRig {
    explicit FormRig(bool withFleet = false) {
        settings.company.CompanyICAO = "TAP";
        settings.company.CompanyIATA = "TP";
        settings.company.CompanyName = "Example Air";
        settings.company.PilotNumber = "123";
        settings.company.CallsignUses = "Flight";
        if (withFleet) {
            std::filesystem::copy_file(
                std::filesystem::path(AVIOLOG_PLANNING_DATA) / "TAPplanes.txt",
                dir / "TAPplanes.txt");
        }
    }
    FlightFormModel& form() {
        if (!initialised_) {
            form_.initialise();
            initialised_ = true;
        }
        return form_;
    }

    test::TempDir dir;
    config::Settings settings;
    model::FlightRecord record;
    model::MainWindowModel window;

  private:
    FlightFormModel form_{
        {.settings = settings, .record = record, .window = window, .workDir = dir.path()}};
    bool initialised_ = false;
};

TEST(FlightFormTest, ReadingTheFormKeepsWhatAnEmptiedControlHeld) {
    FormRig rig;
    FlightFormModel& form = rig.form();
    form.edit(FormField::Departure, "LPPT");
    form.edit(FormField::Departure, "");
    EXPECT_EQ(rig.record.departureIcao, "LPPT");
    form.readForm();
    EXPECT_EQ(rig.record.departureIcao, "LPPT");
}

TEST(FlightFormTest, ControlsCutToTheirLengthAndNumbersKeepDigits) {
    struct Row {
        const char* name;
        FormField field;
        std::string typed;
        std::string shown;
    };
    const Row rows[] = {
        {"departure 4", FormField::Departure, "LPPTX", "LPPT"},
        {"alternate 9", FormField::Alternate, "LPPR,LPPC,LEMD", "LPPR,LPPC"},
        {"flight level 7", FormField::FlightLevel, "FL240 step", "FL240 s"},
        {"passengers digits", FormField::Passengers, "1a3-2", "132"},
        {"cargo digits, 9 of them", FormField::Cargo, "12345678901", "123456789"},
        {"route 254", FormField::Route, std::string(300, 'R'), std::string(254, 'R')},
    };
    for (const Row& row : rows) {
        FormRig rig;
        rig.form().edit(row.field, row.typed);
        EXPECT_EQ(rig.form().text(row.field), row.shown) << row.name;
    }
}

TEST(FlightFormTest, StartLogIsEnabledOnceTheFormIsFilledAndTheLinkIsOpen) {
    for (const bool linkFirst : {false, true}) {
        const char* name = linkFirst ? "link first" : "form first";
        FormRig rig;
        FlightFormModel& form = rig.form();
        const auto enabled = [&] { return rig.window.control(Control::StartLog).enabled; };
        if (linkFirst) rig.window.meet(model::StartNeed::LinkOpen);
        EXPECT_FALSE(enabled()) << name << ": an empty form";
        form.edit(FormField::Departure, "LPPT");
        form.edit(FormField::Arrival, "LPPR");
        EXPECT_FALSE(enabled()) << name << ": no route yet";
        form.edit(FormField::Route, "DCT");
        EXPECT_EQ(enabled(), linkFirst) << name;
        if (!linkFirst) rig.window.meet(model::StartNeed::LinkOpen);
        EXPECT_TRUE(enabled()) << name;
        form.edit(FormField::Route, "");
        EXPECT_TRUE(enabled()) << name << ": never disabled by the form";
    }
}

TEST(FlightFormTest, CallsignFromPilotOrFlightNumber) {
    struct Row {
        const char* name;
        const char* uses;
        const char* flightNumber;  // typed after the form starts; null: none
        const char* callsign;
        const char* flightShown;
    };
    const Row rows[] = {
        {"pilot", "Pilot", nullptr, "TAP123", "TP"},
        {"flight without the IATA prefix", "Flight", "TP1944", "TAP1944", "TP1944"},
        {"one-character flight number", "Flight", "T", "TAP", "T"},
        {"other text takes neither rule", "flight", "TP1944", "", "TP1944"},
    };
    for (const Row& row : rows) {
        FormRig rig;
        rig.settings.company.CallsignUses = row.uses;
        FlightFormModel& form = rig.form();
        if (row.flightNumber != nullptr) form.edit(FormField::FlightNumber, row.flightNumber);
        EXPECT_EQ(form.text(FormField::Callsign), row.callsign) << row.name;
        EXPECT_EQ(form.text(FormField::FlightNumber), row.flightShown) << row.name;
    }
}

TEST(FlightFormTest, RemarksFromTheProfileSetting) {
    struct Row {
        const char* name;
        const char* setting;
        std::size_t online;
        std::size_t voice;
        const char* remarks;
    };
    const Row rows[] = {
        {"all selectors in lower case", "reg opr sel rmk/CHARTER", 0, 0,
         "+REG/AB-CDE+OPR/Example Air+SEL/AB-CD+RMK/CHARTER"},
        {"upper case", "REG RMK/NO SMOKING", 0, 0, "+REG/AB-CDE+RMK/NO SMOKING"},
        {"VATSIM voice first", "reg opr rmk/CHARTER", 1, 0,
         "/V+REG/AB-CDE+OPR/Example Air+RMK/CHARTER"},
        {"VATSIM text", "", 1, 1, "/T"},
        {"IVAO has no voice mark", "opr", 2, 1, "+OPR/Example Air"},
        {"a leading 0 stops", "0reg opr", 1, 0, "/V"},
        {"mixed case does not match", "Reg Opr", 0, 0, ""},
        {"rmk text stops at +", "rmk/ONE+TWO", 0, 0, "+RMK/ONE"},
        {"rmk at the end has no text", "reg rmk", 0, 0, "+REG/AB-CDE+RMK/"},
        {"lower rmk is searched first", "RMK/UP rmk/low", 0, 0, "+RMK/low"},
    };
    for (const Row& row : rows) {
        FormRig rig;
        rig.settings.company.Remarks = row.setting;
        FlightFormModel& form = rig.form();
        form.edit(FormField::Registration, "AB-CDE");
        form.edit(FormField::Selcal, "AB-CD");
        form.selectOnline(row.online);
        form.selectVoice(row.voice);
        EXPECT_EQ(form.text(FormField::Remarks), row.remarks) << row.name;
    }
}

TEST(FlightFormTest, VoiceListOnlyWhileVatsimIsSelected) {
    FormRig rig;
    FlightFormModel& form = rig.form();
    form.selectOnline(1);
    form.selectVoice(1);
    EXPECT_TRUE(form.voiceEnabled());
    EXPECT_EQ(form.text(FormField::Remarks), "/T");
    form.selectOnline(2);
    EXPECT_FALSE(form.voiceEnabled());
    EXPECT_EQ(form.text(FormField::Remarks), "");
    form.readForm();
    EXPECT_EQ(rig.record.onlineNetwork, "IVAO");
}

TEST(FlightFormTest, PilotNumberTypedBecomesTheProfiles) {
    FormRig rig;
    rig.form().edit(FormField::PilotNumber, "456");
    EXPECT_EQ(rig.settings.company.PilotNumber, "456");
    EXPECT_EQ(rig.record.pilotNumber, "456");
}

TEST(FlightFormTest, ObserversHearEveryChange) {
    struct Counter final : FlightFormObserver {
        void fieldChanged(FormField f) override { fields.push_back(f); }
        void layoutChanged() override { ++layouts; }
        void dateTimeChanged() override { ++dates; }
        std::vector<FormField> fields;
        int layouts = 0, dates = 0;
    } counter;
    FormRig rig;
    FlightFormModel& form = rig.form();
    form.addObserver(&counter);
    form.edit(FormField::Departure, "LPPT");
    form.selectOnline(1);
    form.editUtcTime(10, 0);
    EXPECT_EQ(counter.fields.front(), FormField::Departure);
    EXPECT_EQ(counter.fields.back(), FormField::Remarks) << "remarks rebuilt after the change";
    EXPECT_EQ(counter.layouts, 1);
    EXPECT_EQ(counter.dates, 1);
    form.removeObserver(&counter);
}

// ---- Aircraft list ----

TEST(AircraftListTest, FleetFileWithGapsAndUnevenLists) {
    FormRig rig(true);
    FlightFormModel& form = rig.form();
    const AircraftList& list = form.aircraftList();
    ASSERT_EQ(list.types().size(), 2u) << "[Plane.3] follows a gap and is not read";
    EXPECT_TRUE(form.listsShown());
    EXPECT_EQ(rig.record.aircraftType, "A320");
    EXPECT_EQ(rig.record.registration, "CS-TNA");
    EXPECT_EQ(rig.record.selcal, "AB-CD");
    EXPECT_EQ(form.registrationRows(), (std::vector<std::string>{"CS-TNA", "CS-TNB", "CS-TNC"}));
    EXPECT_EQ(form.selcalRows(), (std::vector<std::string>{"AB-CD", "", ""}));

    form.selectRegistration(2);
    EXPECT_EQ(rig.record.registration, "CS-TNC");
    EXPECT_EQ(rig.record.selcal, "") << "the third registration has no SELCAL";

    form.selectAircraft(1);
    EXPECT_EQ(rig.record.aircraftType, "A321");
    EXPECT_EQ(rig.record.registration, "CS-TJE");
    EXPECT_EQ(rig.record.selcal, "EF-GH");
    form.selectSelcal(1);
    EXPECT_EQ(form.selectedRow(), 1u);
    EXPECT_EQ(rig.record.registration, "CS-TJF");
    EXPECT_EQ(rig.record.selcal, "EF-GJ");

    // The log start reads the form: the list's values, not an old edit.
    form.edit(FormField::Registration, "XX-XXX");
    form.readForm();
    EXPECT_EQ(rig.record.registration, "CS-TJF");
}

TEST(AircraftListTest, AFleetFileSavedAsUtf8KeepsItsFirstType) {
    // Notepad's "UTF-8" puts a byte-order mark before the first section.
    FormRig rig;
    rig.dir.write("TAPplanes.txt",
                  "\xEF\xBB\xBF[Plane.0]\r\nName=A320\r\nReg=CS-TNA,CS-TNB\r\n"
                  "Flaps=RENTR\xC3\x89S,1,2,3,PLEINS\r\n\r\n[Plane.1]\r\nName=A321\r\n");
    FlightFormModel& form = rig.form();
    ASSERT_EQ(form.aircraftList().types().size(), 2u);
    EXPECT_EQ(rig.record.aircraftType, "A320");
    EXPECT_EQ(rig.record.registration, "CS-TNA");
    EXPECT_EQ(form.flapNames().name(0), "RENTR\xC9S") << "UTF-8 in the program's code page";
}

TEST(AircraftListTest, FlapNamesComeFromTheSelectedAircraftWhenTheFirstHasThem) {
    FormRig rig(true);
    FlightFormModel& form = rig.form();
    EXPECT_EQ(form.flapNames().name(0), "UP");
    EXPECT_EQ(form.flapNames().name(4), "FULL");
    form.selectAircraft(1);
    EXPECT_EQ(form.flapNames().name(0), "") << "A321 has no Flaps key: an empty slot";

    FormRig none;
    EXPECT_EQ(none.form().flapNames().name(0), std::nullopt) << "no list: numbers";
}

TEST(AircraftListTest, TableLimitsIgnoreExtraItems) {
    std::string text;
    for (int i = 0; i < 85; ++i) {
        text += "[Plane." + std::to_string(i) + "]\nName=T" + std::to_string(i) + "\n";
    }
    AircraftList list;
    EXPECT_EQ(list.load(config::IniDocument(text)), kMaxAircraftTypes);

    // 399 commas make 400 pieces; 25 flap names fit in 49 characters.
    std::string flaps;
    for (int i = 0; i < 25; ++i) flaps += (i ? "," : "") + std::string(1, char('a' + i));
    AircraftList one;
    one.load(config::IniDocument("[Plane.0]\nName=X\nReg=" + std::string(399, ',') +
                                 "\nSel=" + std::string(399, ',') + "\nFlaps=" + flaps + "\n"));
    ASSERT_EQ(one.types().size(), 1u);
    EXPECT_EQ(one.types()[0].registrations.size(), kMaxRegistrations);
    EXPECT_EQ(one.types()[0].selcals.size(), kMaxRegistrations);
    EXPECT_EQ(one.types()[0].flapNames.size(), kMaxFlapNames);
    EXPECT_EQ(one.types()[0].flapNames.back(), "t");
    EXPECT_EQ(one.types()[0].rowCount(), 1u) << "all registrations empty: one empty row";
}

// ---- Date and time box ----

TEST(DateTimeBoxTest, TheOtherCategoryFollowsAcrossMidnight) {
    // Offsets are minutes behind UTC, as the simulator serves them.
    struct Row {
        const char* name;
        int offsetMinutes;
        bool editUtc;
        int hour, minute;
        BoxDate edited;  // the date of the edited side
        int otherHour, otherMinute;
        BoxDate other;
    };
    const BoxDate may31{2004, 5, 31};
    const Row rows[] = {
        {"UTC 23:30 in Lisbon summer is local 00:30 next day",
         -60,
         true,
         23,
         30,
         may31,
         0,
         30,
         {2004, 6, 1}},
        {"UTC 01:00 in New York is local 21:00 the day before",
         240,
         true,
         1,
         0,
         {2004, 6, 1},
         21,
         0,
         may31},
        {"local 00:30 in Lisbon summer is UTC 23:30 the day before",
         -60,
         false,
         0,
         30,
         {2004, 6, 1},
         23,
         30,
         may31},
        {"local 21:00 in New York is UTC 01:00 next day",
         240,
         false,
         21,
         0,
         may31,
         1,
         0,
         {2004, 6, 1}},
        {"same day", 0, true, 12, 0, may31, 12, 0, may31},
        {"new year", -60, true, 23, 15, {2004, 12, 31}, 0, 15, {2005, 1, 1}},
        {"leap day", 300, false, 20, 0, {2004, 2, 28}, 1, 0, {2004, 2, 29}},
    };
    for (const Row& row : rows) {
        DateTimeBox box;
        box.fill(row.edited, 0, 0, row.edited, 0, 0, row.offsetMinutes);
        ASSERT_TRUE(row.editUtc ? box.editUtcTime(row.hour, row.minute)
                                : box.editLocalTime(row.hour, row.minute))
            << row.name;
        const model::DateTimeBox& b = box.box();
        EXPECT_EQ(row.editUtc ? b.localHour : b.utcHour, row.otherHour) << row.name;
        EXPECT_EQ(row.editUtc ? b.localMinute : b.utcMinute, row.otherMinute) << row.name;
        EXPECT_EQ(row.editUtc ? box.localDate() : box.utcDate(), row.other) << row.name;
        EXPECT_TRUE(b.setClock && b.setDate) << row.name;
    }
}

TEST(DateTimeBoxTest, TheLogStartIsHandedBothDates) {
    // The simulator's day of the year is set from the UTC date, a local log is dated by the
    // local one; across midnight they differ. 14 June 2024 is day 166.
    struct Row {
        const char* name;
        int offsetMinutes;
        bool editUtc;
        int hour, minute;
        BoxDate utc, local;
    };
    const BoxDate june14{2024, 6, 14};
    const Row rows[] = {
        {"Lisbon, UTC 23:30 is local 00:30", -60, true, 23, 30, june14, {2024, 6, 15}},
        {"UTC-4, UTC 02:00 is local 22:00", 240, true, 2, 0, june14, {2024, 6, 13}},
        {"Lisbon, local 00:30 is UTC 23:30", -60, false, 0, 30, {2024, 6, 13}, june14},
        {"UTC-4, local 21:00 is UTC 01:00", 240, false, 21, 0, {2024, 6, 15}, june14},
        {"no midnight between them", -60, true, 9, 25, june14, june14},
    };
    for (const Row& row : rows) {
        DateTimeBox box;
        box.fill(june14, 12, 0, june14, 12, 0, row.offsetMinutes);
        ASSERT_TRUE(row.editUtc ? box.editUtcTime(row.hour, row.minute)
                                : box.editLocalTime(row.hour, row.minute))
            << row.name;
        const model::DateTimeBox& b = box.box();
        EXPECT_EQ((BoxDate{b.utcYear, b.utcMonth, b.utcDay}), row.utc) << row.name;
        EXPECT_EQ((BoxDate{b.year, b.month, b.day}), row.local) << row.name;
    }
}

TEST(DateTimeBoxTest, AClockSetAcrossLocalMidnightIsFlownOnTheUtcDay) {
    // 14 June 2024, 09:25 UTC at Lisbon; the zone as the scenario's local offset.
    struct Row {
        const char* name;
        const char* localOffset;
        bool useLocal;
        int utcHour, utcMinute;
        const char* startLine;
        const char* header;  // the log's first line; nothing: not checked
        const char* date;    // the summary's Date
    };
    const Row rows[] = {
        {"UTC+1, UTC 23:30 (local 00:30 the next day)", "+60", false, 23, 30,
         "Start  [2024/06/14 23:30]", "[2024/06/14 23:30:00]", "2024/06/14"},
        {"UTC-4, UTC 02:00 (local 22:00 the day before)", "-240", false, 2, 0,
         "Start  [2024/06/14 02:00]", "[2024/06/14 02:00:00]", "2024/06/14"},
        {"UTC+1 in local time: the log keeps the local day", "+60", true, 23, 30,
         "Start  [2024/06/15 00:30]", nullptr, "2024/06/15"},
    };
    const std::string lisbon = readFileBytes(test::dataPath("scenarios/lppt-lppr.scn")).value();
    for (const Row& row : rows) {
        test::FlightRig rig({{"Aviolog", "UseLocal", row.useLocal ? "1" : "0"}});
        std::string scenario = lisbon;
        const std::size_t at = scenario.find("local-offset  +60");
        ASSERT_NE(at, std::string::npos);
        scenario.replace(at, 17, std::string("local-offset  ") + row.localOffset);
        rig.dir.write("zone.scn", scenario);

        headless::RunnerOptions o;
        o.workDir = rig.dir.path().string();
        o.scenarioPath = (rig.dir / "zone.scn").string();
        o.dateTimeBox.setClock = true;
        o.dateTimeBox.utcHour = row.utcHour;
        o.dateTimeBox.utcMinute = row.utcMinute;
        o.dateTimeBox.localHour = -1;  // the local row follows
        o.stopAtMs = 60 * 1000;
        const headless::RunResult r = headless::runFlight(o);
        ASSERT_FALSE(r.log.empty()) << row.name;
        const bool started = std::find(r.log.begin(), r.log.end(), row.startLine) != r.log.end();
        EXPECT_TRUE(started) << row.name << ": no line " << row.startLine << "\n" << r.log[0];
        if (row.header != nullptr) {
            EXPECT_EQ(r.log.front(), row.header) << row.name;
        }
        EXPECT_EQ(r.summary.Date, row.date) << row.name;
    }
}

TEST(DateTimeBoxTest, DatesCopyAndNonsenseIsRefused) {
    DateTimeBox box;
    box.fill({2024, 6, 14}, 9, 25, {2024, 6, 14}, 10, 25, -60);
    EXPECT_FALSE(box.box().setDate);
    EXPECT_TRUE(box.editUtcDate({2024, 7, 1}));
    EXPECT_EQ(box.localDate(), (BoxDate{2024, 7, 1}));
    EXPECT_TRUE(box.box().setDate);
    EXPECT_FALSE(box.box().setClock) << "a date edit does not set the clock";
    EXPECT_FALSE(box.editLocalDate({2023, 2, 29}));
    EXPECT_FALSE(box.editUtcTime(24, 0));
    EXPECT_FALSE(box.editLocalTime(9, 60));
    EXPECT_EQ(box.localDate(), (BoxDate{2024, 7, 1}));
    EXPECT_EQ(box.box().utcHour, 9);
}

TEST(DateTimeBoxTest, TheSimulatorsClockFillsBothCategories) {
    // Offsets are minutes behind UTC. 2004 is a leap year: its day 152 is 31 May.
    struct Row {
        const char* name;
        SimulatorClock clock;  // year, day of year, UTC h:m, local h:m, offset
        BoxDate utc;
        BoxDate local;
    };
    const Row rows[] = {
        {"Lisbon summer after 23:00 UTC: local is the next day",
         {2004, 152, 23, 30, 0, 30, -60},
         {2004, 5, 31},
         {2004, 6, 1}},
        {"Lisbon summer before 23:00 UTC: same day",
         {2004, 152, 22, 59, 23, 59, -60},
         {2004, 5, 31},
         {2004, 5, 31}},
        {"New York early UTC: local is the day before",
         {2004, 153, 1, 0, 21, 0, 240},
         {2004, 6, 1},
         {2004, 5, 31}},
        {"Tokyo evening: same day", {2004, 100, 11, 0, 20, 0, -540}, {2004, 4, 9}, {2004, 4, 9}},
        {"last day of a leap year into the new one",
         {2004, 366, 23, 0, 1, 0, -120},
         {2004, 12, 31},
         {2005, 1, 1}},
        {"first day of the year back into the old one",
         {2005, 1, 2, 0, 21, 0, 300},
         {2005, 1, 1},
         {2004, 12, 31}},
    };
    for (const Row& row : rows) {
        DateTimeBox box;
        EXPECT_FALSE(box.filled()) << row.name;
        box.fill(row.clock);
        EXPECT_TRUE(box.filled()) << row.name;
        EXPECT_EQ(box.utcDate(), row.utc) << row.name;
        EXPECT_EQ(box.localDate(), row.local) << row.name;
        const model::DateTimeBox& b = box.box();
        EXPECT_EQ(b.utcHour * 60 + b.utcMinute, row.clock.utcHour * 60 + row.clock.utcMinute)
            << row.name;
        EXPECT_EQ(b.localHour * 60 + b.localMinute,
                  row.clock.localHour * 60 + row.clock.localMinute)
            << row.name;
        EXPECT_FALSE(b.setClock || b.setDate) << row.name << ": nothing to write back yet";
    }
}

TEST(DateTimeBoxTest, TheClockIsReadFromTheSimulator) {
    test::LinkRig rig("lppt-lppr.scn");  // 14 June 2024, 09:25 UTC, local UTC+1
    ASSERT_TRUE(rig.link.open(0)) << rig.link.lastResult();
    const auto clock = readSimulatorClock(rig.link);
    ASSERT_TRUE(clock);
    DateTimeBox box;
    box.fill(*clock);
    EXPECT_EQ(box.utcDate(), (BoxDate{2024, 6, 14}));
    EXPECT_EQ(box.localDate(), (BoxDate{2024, 6, 14}));
    EXPECT_EQ(box.box().utcHour, 9);
    EXPECT_EQ(box.box().localHour, 10);
    EXPECT_EQ(box.offsetMinutes(), -60) << "minutes behind UTC";
    rig.link.close();
    EXPECT_FALSE(readSimulatorClock(rig.link)) << "no link, no clock";
}

}  // namespace
}  // namespace aviolog::planning
