#include "config/settings_file.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/text_format.h"
#include "config/ini_file.h"
#include "tests/support/settings_rig.h"

namespace aviolog::config {
namespace {

using test::SettingsRig;
using Strings = std::vector<std::string>;

IniDocument fileIn(const SettingsRig& rig, const char* name) {
    return IniDocument(rig.dir.read(name));
}

TEST(SettingsLoad, FirstStartCopiesTheTemplateOnceAndShowsTheMessageOnce) {
    SettingsRig rig;
    rig.choosePrivateFlight();
    ASSERT_EQ(rig.load(), LoadOutcome::Loaded);
    EXPECT_EQ(rig.pilot.texts(), Strings{kNoSettingsMessage});
    EXPECT_EQ(rig.pilot.shown[0].icon, platform::MessageIcon::Information);
    EXPECT_EQ(rig.dir.read("aviolog.ini"), SettingsRig::shippedTemplate());
    EXPECT_EQ(rig.settings.metarSource, MetarSource::VATSIM);
    EXPECT_EQ(rig.settings.metarBaseUrl, "https://metar.vatsim.net/metar.php");

    Settings again;
    ASSERT_EQ(loadSettings(again, rig.context()), LoadOutcome::Loaded);
    EXPECT_EQ(rig.pilot.shown.size(), 1u);
}

TEST(SettingsLoad, AnEmptyProviderAlsoRecreatesTheFileFromATextModeCopy) {
    SettingsRig rig;
    rig.dir.write("aviolog.ori", "[Aviolog]\nProvider=IVAO\n[Metar]\nIVAO=http://wx\n");
    rig.dir.write("aviolog.ini", "[Aviolog]\r\nProvider=\r\nUseDB=0\r\n");
    rig.choosePrivateFlight();
    ASSERT_EQ(rig.load(), LoadOutcome::Loaded);
    EXPECT_EQ(rig.pilot.texts(), Strings{kNoSettingsMessage});
    EXPECT_EQ(rig.dir.read("aviolog.ini"),
              "[Aviolog]\r\nProvider=IVAO\r\n[Metar]\r\nIVAO=http://wx\r\n");
    EXPECT_TRUE(rig.settings.aviolog.UseDB) << "values come from the new file";
    EXPECT_EQ(rig.settings.metarSource, MetarSource::IVAO);
}

TEST(SettingsLoad, WithoutTemplateInitialisationStopsBeforeTheCompanyIsChosen) {
    SettingsRig rig;
    std::filesystem::remove(rig.dir / "aviolog.ori");
    EXPECT_EQ(rig.load(), LoadOutcome::NoSettings);
    EXPECT_EQ(rig.pilot.texts(), (Strings{kNoSettingsMessage, kNoTemplateMessage}));
    EXPECT_EQ(rig.pilot.shown[1].icon, platform::MessageIcon::Error);
    EXPECT_EQ(rig.dialogs.companyDialogs, 0);
    EXPECT_FALSE(rig.dir.exists("aviolog.ini"));
}

TEST(SettingsLoad, ProviderSelectsTheMetarSourceByExactName) {
    struct Row {
        const char* name;
        const char* provider;
        MetarSource source;
        const char* baseUrl;
        bool damaged;
    };
    const Row rows[] = {
        {"VATSIM", "VATSIM", MetarSource::VATSIM, "https://v", false},
        {"IVAO", "IVAO", MetarSource::IVAO, "https://i", false},
        {"NOAA", "NOAA", MetarSource::NOAA, "https://n", false},
        {"AS2004 file", "AS2004", MetarSource::AS2004, "", false},
        {"none", "No Metars", MetarSource::None, "", false},
        // Repaired from the shipped template, whose source is VATSIM.
        {"lower case is damaged", "noaa", MetarSource::VATSIM, "https://metar.vatsim.net/metar.php",
         true},
        {"unknown is damaged", "METAR.ORG", MetarSource::VATSIM,
         "https://metar.vatsim.net/metar.php", true},
    };
    for (const Row& row : rows) {
        SettingsRig rig;
        rig.choosePrivateFlight();
        const std::string ini = std::string("[Aviolog]\r\nProvider=") + row.provider +
                                "\r\n[Metar]\r\nVATSIM=https://v\r\nIVAO=https://i\r\n"
                                "NOAA=https://n\r\n";
        rig.dir.write("aviolog.ini", ini);
        ASSERT_EQ(rig.load(), LoadOutcome::Loaded) << row.name;
        EXPECT_EQ(rig.settings.metarSource, row.source) << row.name;
        EXPECT_EQ(rig.settings.metarBaseUrl, row.baseUrl) << row.name;
        if (row.damaged) {
            EXPECT_EQ(rig.pilot.texts(), Strings{kCorruptedSettingsMessage}) << row.name;
            EXPECT_EQ(rig.pilot.shown[0].icon, platform::MessageIcon::Warning) << row.name;
            EXPECT_EQ(rig.dir.read("aviolog.ini"), SettingsRig::shippedTemplate()) << row.name;
            // The record takes the template's value, so Save does not damage the new file
            // again and the next start finds it sound.
            EXPECT_EQ(rig.settings.aviolog.Provider, "VATSIM") << row.name;
            ASSERT_TRUE(saveSettings(rig.settings, rig.dir.path())) << row.name;
            EXPECT_EQ(fileIn(rig, "aviolog.ini").getString("Aviolog", "Provider", "", 99), "VATSIM")
                << row.name;
            Settings next;
            rig.pilot.shown.clear();
            ASSERT_EQ(loadSettings(next, rig.context()), LoadOutcome::Loaded) << row.name;
            EXPECT_TRUE(rig.pilot.shown.empty()) << row.name << ": reported again";
        } else {
            EXPECT_TRUE(rig.pilot.shown.empty()) << row.name;
            EXPECT_EQ(rig.dir.read("aviolog.ini"), ini) << row.name;
        }
    }
}

// The template is there, but aviolog.ini cannot be written (here a folder of that name
// stands in for a read-only folder, which root could write): the pilot is told that, not
// that the template is missing.
TEST(SettingsLoad, ASettingsFileThatCannotBeWrittenIsNotAMissingTemplate) {
    struct Row {
        const char* name;
        const char* settings;  // aviolog.ini before start-up; nullptr: none
        LoadOutcome outcome;
    };
    const Row rows[] = {
        {"first start", nullptr, LoadOutcome::FolderNotWritable},
        {"damaged provider", "[Aviolog]\r\nProvider=noaa\r\n", LoadOutcome::Loaded},
    };
    for (const Row& row : rows) {
        SettingsRig rig;
        rig.choosePrivateFlight();
        const auto settingsFile = rig.dir / "aviolog.ini";
        if (row.settings != nullptr) {
            // Read first, then made unwritable before the repair writes it.
            rig.dir.write("aviolog.ini", row.settings);
            rig.dialogs.onChooseCompany = [&](CompanyChooser& c) {
                std::filesystem::remove(settingsFile);
                std::filesystem::create_directory(settingsFile);
                c.privateFlight();
            };
        } else {
            std::filesystem::create_directory(settingsFile);
        }
        EXPECT_EQ(rig.load(), row.outcome) << row.name;
        const Strings texts = rig.pilot.texts();
        ASSERT_EQ(texts.size(), 2U) << row.name;
        EXPECT_EQ(texts[1], format(kSettingsNotWritableMessage, rig.dir.path().string().c_str()))
            << row.name;
        EXPECT_EQ(rig.pilot.shown[1].icon, platform::MessageIcon::Error) << row.name;
    }
    EXPECT_NE(noSettingsExplanation(LoadOutcome::FolderNotWritable, "/pilot/aviolog")
                  .find("write aviolog.ini in /pilot/aviolog"),
              std::string::npos);
    EXPECT_NE(noSettingsExplanation(LoadOutcome::NoSettings, "/pilot/aviolog").find("aviolog.ori"),
              std::string::npos);
}

// "New Company" opens the options before the company is known: the program page shows the
// settings file's values, and what the pilot changes there is what the program runs with.
TEST(SettingsLoad, ProgramSettingsEditedForANewCompanyAreKept) {
    SettingsRig rig;
    rig.dir.write("aviolog.ini",
                  "[Aviolog]\r\nProvider=NOAA\r\nStartWarning=0\r\nUseGauge=0\r\n"
                  "[Metar]\r\nNOAA=https://n\r\n");
    std::string providerShown;
    rig.dialogs.onOptions = [&](Settings& s, OptionsPage) {
        providerShown = s.aviolog.Provider;
        s.aviolog.StartWarning = true;
        s.aviolog.UseGauge = true;
        s.company.CompanyICAO = "NEW";
    };
    rig.dialogs.onChooseCompany = [](CompanyChooser& c) {
        c.newCompany();
        ASSERT_EQ(c.entries().size(), 1U);
        c.chooseSelected();
    };
    ASSERT_EQ(rig.load(), LoadOutcome::Loaded);
    EXPECT_EQ(providerShown, "NOAA");
    EXPECT_EQ(rig.settings.company.CompanyICAO, "NEW");
    EXPECT_TRUE(rig.settings.aviolog.StartWarning);
    EXPECT_TRUE(rig.settings.aviolog.UseGauge);
    EXPECT_EQ(rig.settings.metarSource, MetarSource::NOAA);
    ASSERT_TRUE(saveSettings(rig.settings, rig.dir.path()));
    EXPECT_EQ(fileIn(rig, "aviolog.ini").getInt("Aviolog", "StartWarning", 0), 1);
    EXPECT_EQ(fileIn(rig, "aviolog.ini").getInt("Aviolog", "UseGauge", 0), 1);
}

TEST(SettingsLoad, ADamagedFileWithoutTemplateWarnsAndStartUpGoesOn) {
    SettingsRig rig;
    rig.choosePrivateFlight();
    std::filesystem::remove(rig.dir / "aviolog.ori");
    rig.dir.write("aviolog.ini", "[Aviolog]\r\nProvider=Metars\r\nUseGauge=1\r\n");
    EXPECT_EQ(rig.load(), LoadOutcome::Loaded);
    EXPECT_EQ(rig.pilot.texts(), (Strings{kCorruptedSettingsMessage, kNoTemplateOnRepairMessage}));
    EXPECT_EQ(rig.pilot.shown[1].icon, platform::MessageIcon::Error);
    EXPECT_TRUE(rig.settings.aviolog.UseGauge);
}

TEST(SettingsLoad, MissingAndOddValuesGiveTheDefaultsAndCuts) {
    SettingsRig rig;
    rig.choosePrivateFlight();
    rig.dir.write(
        "aviolog.ini",
        "[Aviolog]\r\nProvider=No Metars\r\n[Log]\r\n[FlightInfo]\r\nLogUpdate=70000\r\n");
    rig.dir.write("user.ini",
                  "[Aviolog]\r\nCompanyICAO=user\r\nPilotNumber=1234567890123\r\n"
                  "[Realism]\r\nWave=C:\\Sounds\\warning-long.wav\r\nMinReset=abc\r\n");
    ASSERT_EQ(rig.load(), LoadOutcome::Loaded);
    const Settings& s = rig.settings;
    EXPECT_EQ(s.log.LogPath, ".\\");
    EXPECT_EQ(s.flightInfo.LogPath, ".\\flightlog.csv");
    EXPECT_EQ(s.aviolog.Machine, "127.0.0.1");
    EXPECT_EQ(s.realism.Wave, "C:\\Sounds\\warning-long.wav") << "the chooser's whole path";
    EXPECT_EQ(s.company.PilotNumber, "123456789");
    EXPECT_EQ(s.realism.MinReset, 0);
    EXPECT_EQ(s.flightInfo.LogUpdate, static_cast<std::int16_t>(70000)) << "a 16-bit key";
    EXPECT_EQ(s.log.AcarsReal, kDefaultAcarsReal);
    EXPECT_EQ(s.sendLog, SendLogSection{}) << "a profile without [SendLog]";
    EXPECT_FALSE(s.sendLog.Password || s.sendLog.IATAN || s.sendLog.Alternate ||
                 s.sendLog.IniFuel || s.sendLog.EndFuel || s.sendLog.TD || s.sendLog.ZFW);
    EXPECT_TRUE(s.sendLog.PilotNumber && s.sendLog.Log && s.sendLog.Version);

    ASSERT_TRUE(saveSettings(s, rig.dir.path()));
    EXPECT_EQ(fileIn(rig, "aviolog.ini").getString("Log", "AcarsReal", "", 99), kDefaultAcarsReal);
}

TEST(SettingsLoad, AnEmptyMachineStaysEmptyAndTheAddressFieldShowsLoopback) {
    SettingsRig rig;
    rig.choosePrivateFlight();
    rig.dir.write("aviolog.ini", "[Aviolog]\r\nProvider=No Metars\r\nMachine=\r\n");
    ASSERT_EQ(rig.load(), LoadOutcome::Loaded);
    EXPECT_EQ(rig.settings.aviolog.Machine, "");
    EXPECT_EQ(gaugeAddressShown(rig.settings), "127.0.0.1");

    ASSERT_TRUE(storeGaugeAddress(rig.settings, rig.dir.path(), {192, 168, 0, 12}));
    EXPECT_EQ(fileIn(rig, "aviolog.ini").getString("Aviolog", "Machine", "", 99), "192.168.0.12");
    ASSERT_TRUE(saveSettings(rig.settings, rig.dir.path()));
    EXPECT_EQ(fileIn(rig, "aviolog.ini").getString("Aviolog", "Machine", "", 99), "192.168.0.12")
        << "Save at exit must not put the old address back";
}

TEST(SettingsLoad, UnitSystemIsKilogramsWhenItContainsISAndSavesAsISOrGB) {
    struct Row {
        const char* name;
        const char* stored;
        WeightUnit unit;
        const char* saved;
    };
    const Row rows[] = {
        {"IS", "IS", WeightUnit::Kilograms, "IS"},
        {"ISO contains IS", "ISO", WeightUnit::Kilograms, "IS"},
        {"lower case is pounds", "is", WeightUnit::Pounds, "GB"},
        {"GB", "GB", WeightUnit::Pounds, "GB"},
        {"empty", "", WeightUnit::Pounds, "GB"},
    };
    for (const Row& row : rows) {
        SettingsRig rig;
        rig.choosePrivateFlight();
        rig.dir.write("aviolog.ini", "[Aviolog]\r\nProvider=No Metars\r\n");
        rig.dir.write("user.ini", std::string("[Aviolog]\r\nUnitSystem=") + row.stored + "\r\n");
        ASSERT_EQ(rig.load(), LoadOutcome::Loaded) << row.name;
        EXPECT_EQ(rig.settings.company.UnitSystem, row.unit) << row.name;
        ASSERT_TRUE(saveSettings(rig.settings, rig.dir.path())) << row.name;
        EXPECT_EQ(fileIn(rig, "user.ini").getString("Aviolog", "UnitSystem", "?", 99), row.saved)
            << row.name;
    }
}

TEST(SettingsLoad, ChangeYesOpensTheOptionsDialogAtEveryStart) {
    struct Row {
        const char* change;
        bool opens;
    };
    for (const Row row : {Row{"yes", true}, Row{"Yes", false}, Row{"", false}}) {
        SettingsRig rig;
        rig.choosePrivateFlight();
        rig.dir.write("aviolog.ini", "[Aviolog]\r\nProvider=No Metars\r\n");
        rig.dir.write("user.ini", std::string("[Aviolog]\r\nChange=") + row.change + "\r\n");
        rig.dialogs.onOptions = [](Settings& s, OptionsPage) { s.company.CompanySite = "edited"; };
        ASSERT_EQ(rig.load(), LoadOutcome::Loaded);
        EXPECT_EQ(rig.dialogs.optionPages.size(), row.opens ? 1u : 0u) << row.change;
        if (row.opens) {
            EXPECT_EQ(rig.dialogs.optionPages[0], OptionsPage::Company);
            EXPECT_EQ(rig.settings.company.CompanySite, "edited");
        }
        ASSERT_TRUE(saveSettings(rig.settings, rig.dir.path()));
        EXPECT_EQ(fileIn(rig, "user.ini").getString("Aviolog", "Change", "", 99), row.change)
            << "Save never writes Change";
    }
}

// Every member away from its default, so a key read under one name and written under
// another shows up as a value that does not survive the round trip.
Settings everyValueChanged() {
    Settings s;
    s.aviolog = {"AS2004",
                 "C:\\Servinfo\\servinfo.tmp",
                 true,
                 false,
                 "C:\\Plans\\",
                 "10.0.0.2",
                 true,
                 true,
                 true,
                 true,
                 false,
                 false,
                 ""};  // SimbriefSite: set by hand only, never written
    s.log = {"D:\\Logs\\", "", "", "", "http://va.example/rt.php"};
    s.mail = {"Pilot Name", "pilot@va.example", 2, "pilot", "secret", "smtp.va.example"};
    FlightInfoSection& f = s.flightInfo;
    f.LogAltitude = f.LogGroundSpeed = f.LogIndicatedSpeed = f.LogTotalSpeed = false;
    f.LogWinds = f.LogHeading = f.LogPlaneWeight = f.LogFuelOnBoard = false;
    f.LogFuelFlow = f.LogEndurance = f.LogFlightTime = f.LogFlightLength = false;
    f.LogUpdate = 17;
    f.LogPath = "dump.csv";
    s.company = {"TAP",
                 "Air Portugal",
                 "http://tap.example",
                 "TP",
                 "123",
                 "Pilot",
                 WeightUnit::Kilograms,
                 "reg opr",
                 true,
                 "http://acars.example",
                 "http://status.example",
                 "http://fp.example",
                 "phpVMS7",
                 "ann.pilot"};
    s.phpVms = {"https://va.example.org", "k3y", "VAX"};
    EventsSection& e = s.events;
    e.UseCargo = e.FlapsEvent = e.ToutchDownEvent = e.TOLDPosEvent = e.TOCTODEvent = false;
    e.ComFreqEvent = e.GearEvent = e.FlightLengthEvent = e.VrV2Event = e.PIREPEvent = false;
    e.FlightPosEvent = e.N1Event = e.DurationEvent = e.FuelEvent = e.WeightEvent = false;
    e.MetarsEvent = e.DistLandEvent = false;
    s.realism = {true, true, true, true, 5, 30, "ding.wav"};
    s.pirep = {"http://va.example/pirep.php", "pireps@va.example", "http://va.example/p", "pw"};
    SendLogSection& l = s.sendLog;
    l.Password = l.IATAN = l.Alternate = l.IniFuel = l.EndFuel = l.TD = l.ZFW = true;
    l.PilotNumber = l.Date = l.Hour = l.Callsign = l.Regist = l.Depart = l.Arrival = false;
    l.PlaneType = l.SpentFuel = l.Dur = l.Len = l.Log = l.Version = false;
    s.profilePath = ".\\TAP.ini";
    return s;
}

TEST(SettingsSave, EveryValueSurvivesSaveAndTheNextLoad) {
    SettingsRig rig;
    rig.dir.write("aviolog.ini", SettingsRig::shippedTemplate());
    const Settings saved = everyValueChanged();
    ASSERT_TRUE(saveSettings(saved, rig.dir.path()));

    rig.dialogs.onChooseCompany = [](CompanyChooser& c) {
        ASSERT_EQ(c.entries().size(), 1u);
        c.chooseSelected();
    };
    ASSERT_EQ(rig.load(), LoadOutcome::Loaded);
    Settings expected = saved;
    expected.metarSource = MetarSource::AS2004;
    // Save never writes these; they come from the template.
    expected.log.AcarsSite = expected.log.Uplink = expected.log.UplinkReset = "";
    EXPECT_EQ(rig.settings.aviolog, expected.aviolog);
    EXPECT_EQ(rig.settings.log, expected.log);
    EXPECT_EQ(rig.settings.mail, expected.mail);
    EXPECT_EQ(rig.settings.flightInfo, expected.flightInfo);
    EXPECT_EQ(rig.settings.company, expected.company);
    EXPECT_EQ(rig.settings.events, expected.events);
    EXPECT_EQ(rig.settings.realism, expected.realism);
    EXPECT_EQ(rig.settings.pirep, expected.pirep);
    EXPECT_EQ(rig.settings.sendLog, expected.sendLog);
    EXPECT_EQ(rig.settings, expected);
}

TEST(SettingsSave, WritesExactlyTheListedKeysInTheirOrder) {
    SettingsRig rig;
    ASSERT_TRUE(saveSettings(everyValueChanged(), rig.dir.path()));

    const IniDocument profile = fileIn(rig, "TAP.ini");
    EXPECT_EQ(profile.sectionNames(),
              (Strings{"Aviolog", "Events", "Realism", "Log", "SendLog", "phpVMS"}));
    EXPECT_EQ(profile.keyNames("Aviolog"),
              (Strings{"CompanyICAO", "CompanyName", "CompanySite", "UnitSystem", "Remarks",
                       "UseLocal", "PilotNumber", "CompanyIATA", "CallsignUses", "AcarsSite",
                       "StatusSite", "FPSite", "VaSystem", "SimbriefUser"}));
    EXPECT_EQ(profile.keyNames("phpVMS"), (Strings{"Url", "ApiKey", "AirlineIcao"}));
    EXPECT_EQ(profile.keyNames("Events"),
              (Strings{"UseCargo", "FlapsEvent", "ToutchDownEvent", "TOLDPosEvent", "TOCTODEvent",
                       "ComFreqEvent", "GearEvent", "FlightLengthEvent", "VrV2Event", "PIREPEvent",
                       "FlightPosEvent", "N1Event", "DurationEvent", "FuelEvent", "WeightEvent",
                       "MetarsEvent", "DistLandEvent", "LandingEvent"}));
    EXPECT_EQ(profile.keyNames("Realism"),
              (Strings{"NoSlew", "NoPause", "Crash", "PIC", "MinReset", "MaxReset", "Wave"}));
    EXPECT_EQ(profile.keyNames("Log"), (Strings{"Log", "Mail", "URL", "passwd"}));
    EXPECT_EQ(profile.keyNames("SendLog"),
              (Strings{"Password",  "PilotNumber", "Date",    "Hour",    "Callsign",
                       "IATAN",     "Regist",      "Depart",  "Arrival", "Alternate",
                       "PlaneType", "SpentFuel",   "IniFuel", "EndFuel", "Dur",
                       "Len",       "TD",          "ZFW",     "Log",     "Version"}));
    EXPECT_EQ(profile.getString("Aviolog", "UnitSystem", "", 9), "IS");
    EXPECT_EQ(profile.getString("Realism", "MaxReset", "", 9), "30");

    const IniDocument program = fileIn(rig, "aviolog.ini");
    EXPECT_EQ(program.sectionNames(), (Strings{"Aviolog", "Log", "MailSettings", "FlightInfo"}));
    EXPECT_EQ(program.keyNames("Aviolog"),
              (Strings{"Servinfo", "UseGauge", "UseDB", "FSFPPath", "Provider", "Machine",
                       "AcarsEvent", "StartWarning", "AutomatedStart", "MinimizeSystray",
                       "AutomatedStop", "FuelTest"}));
    EXPECT_EQ(program.keyNames("Log"), (Strings{"LogPath", "AcarsReal"}));
    EXPECT_EQ(program.keyNames("MailSettings"),
              (Strings{"Name", "Address", "Authenticate", "Username", "Password", "Host"}));
    EXPECT_EQ(
        program.keyNames("FlightInfo"),
        (Strings{"LogAltitude", "LogGroundSpeed", "LogIndicatedSpeed", "LogTotalSpeed", "LogWinds",
                 "LogHeading", "LogPlaneWeight", "LogFuelOnBoard", "LogFuelFlow", "LogEndurance",
                 "LogFlightTime", "LogFlightLength", "LogUpdate", "LogPath"}));
}

TEST(SettingsSave, LeavesTheKeysItNeverWritesAsTheyWere) {
    SettingsRig rig;
    rig.dir.write("aviolog.ini",
                  "; hand edited\r\n[Aviolog]\r\nProvider=VATSIM\r\n[Log]\r\nAcarsSite=http://a\r\n"
                  "Uplink=http://u\r\nUplinkReset=http://r\r\n[MailSettings]\r\nPort=587\r\n"
                  "BoundIP=10.0.0.9\r\n[Metar]\r\nVATSIM=http://m\r\n");
    rig.choosePrivateFlight();
    ASSERT_EQ(rig.load(), LoadOutcome::Loaded);
    rig.settings.log.AcarsSite = rig.settings.log.Uplink = rig.settings.log.UplinkReset = "x";
    ASSERT_TRUE(saveSettings(rig.settings, rig.dir.path()));

    const std::string text = rig.dir.read("aviolog.ini");
    const IniDocument program(text);
    EXPECT_EQ(text.rfind("; hand edited\r\n[Aviolog]\r\n", 0), 0u);
    EXPECT_EQ(program.getString("Log", "AcarsSite", "", 99), "http://a");
    EXPECT_EQ(program.getString("Log", "Uplink", "", 99), "http://u");
    EXPECT_EQ(program.getString("Log", "UplinkReset", "", 99), "http://r");
    EXPECT_EQ(program.getInt("MailSettings", "Port", 0), 587);
    EXPECT_EQ(program.getString("MailSettings", "BoundIP", "", 99), "10.0.0.9");
    EXPECT_EQ(program.getString("Metar", "VATSIM", "", 99), "http://m");
}

TEST(SettingsSave, FailsWithoutTouchingAnUnwritableDirectory) {
    SettingsRig rig;
    Settings s = everyValueChanged();
    EXPECT_FALSE(saveSettings(s, rig.dir / "missing"));
    EXPECT_FALSE(rig.dir.exists("missing"));
}

TEST(SettingsStartup, TheUplinkNumberIsResetOnlyWhenAcarsIsOnline) {
    struct Recorder : UplinkReset {
        void resetUplinkNumber(std::string_view url) override { urls.emplace_back(url); }
        Strings urls;
    };
    Settings s;
    s.log.UplinkReset = "http://va.example/reset.php";
    Recorder offline;
    finishStartup(s, offline);
    EXPECT_TRUE(offline.urls.empty());
    s.aviolog.AcarsEvent = true;
    Recorder online;
    finishStartup(s, online);
    EXPECT_EQ(online.urls, Strings{"http://va.example/reset.php"});
}

}  // namespace
}  // namespace aviolog::config
