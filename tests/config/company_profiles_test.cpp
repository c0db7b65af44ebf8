#include "config/company_profiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "config/ini_file.h"
#include "tests/support/settings_rig.h"

namespace aviolog::config {
namespace {

using test::SettingsRig;
using Strings = std::vector<std::string>;

Strings textsOf(const std::vector<CompanyEntry>& entries) {
    Strings texts;
    for (const CompanyEntry& entry : entries) texts.push_back(entry.text);
    return texts;
}

TEST(CompanyList, ListsProfilesWithACompanyIcaoInNameOrder) {
    struct Row {
        const char* name;
        std::vector<std::pair<const char*, const char*>> files;
        Strings expected;
    };
    const Row rows[] = {
        {"the settings file and a profile without ICAO are left out",
         {{"aviolog.ini", "[Aviolog]\r\nCompanyICAO=AVI\r\n"},
          {"ABC.ini", "[Aviolog]\r\nCompanyICAO=ABC\r\nCompanyName=Alpha Air\r\n"},
          {"x.ini", "[Aviolog]\r\nCompanyName=No Code\r\n"}},
         {"ABC - Alpha Air"}},
        {"the skip compares the whole name with case",
         {{"Aviolog.ini", "[Aviolog]\r\nCompanyICAO=AV\r\n"}, {"AVIOLOG.INI", "[Log]\r\n"}},
         {"AV"}},
        {"name order ignores case; other extensions are not profiles",
         {{"zed.ini", "[aviolog]\r\ncompanyicao=ZED\r\n"},
          {"Beta.INI", "[Aviolog]\r\nCompanyICAO=BET\r\nCompanyName=Beta\r\n"},
          {"alpha.ini", "[Aviolog]\r\nCompanyICAO=ALP\r\n"},
          {"gamma.ini.bak", "[Aviolog]\r\nCompanyICAO=GAM\r\n"},
          {"delta.txt", "[Aviolog]\r\nCompanyICAO=DEL\r\n"}},
         {"ALP", "BET - Beta", "ZED"}},
        {"no profiles", {}, {}},
    };
    for (const Row& row : rows) {
        test::TempDir dir;
        for (const auto& [name, text] : row.files) dir.write(name, text);
        EXPECT_EQ(textsOf(listCompanies(dir.path())), row.expected) << row.name;
    }
}

TEST(CompanyList, HoldsTwentyEntriesAtMost) {
    test::TempDir dir;
    dir.write("aa.ini", "[Aviolog]\r\nCompanyName=skipped, does not count\r\n");
    for (int i = 0; i < 25; ++i) {
        const std::string icao = "C" + std::to_string(10 + i);
        dir.write(icao + ".ini", "[Aviolog]\r\nCompanyICAO=" + icao + "\r\n");
    }
    const auto companies = listCompanies(dir.path());
    ASSERT_EQ(companies.size(), kMaxCompanies);
    EXPECT_EQ(companies.front().icao, "C10");
    EXPECT_EQ(companies.back().icao, "C29");
}

TEST(CompanyChooser, ChoicesSetTheCompanyIcao) {
    SettingsRig rig;
    rig.dir.write("ABC.ini", "[Aviolog]\r\nCompanyICAO=ABC\r\n");
    rig.dir.write("XYZ.ini", "[Aviolog]\r\nCompanyICAO=XYZ\r\n");
    CompanyChooser chooser(rig.settings, rig.dir.path(), rig.pilot, rig.dialogs);
    EXPECT_EQ(chooser.selected(), 0);
    chooser.select(1);
    EXPECT_TRUE(chooser.chooseSelected());
    EXPECT_TRUE(chooser.chosen());
    EXPECT_EQ(rig.settings.company.CompanyICAO, "XYZ");

    chooser.privateFlight();
    EXPECT_EQ(rig.settings.company.CompanyICAO, "user");

    test::TempDir empty;
    Settings settings;
    CompanyChooser none(settings, empty.path(), rig.pilot, rig.dialogs);
    EXPECT_EQ(none.selected(), -1);
    EXPECT_FALSE(none.chooseSelected()) << "nothing selected: the dialog stays open";
    EXPECT_FALSE(none.chosen());
}

TEST(CompanyChooser, PrivateFlightRunsOnUserIni) {
    SettingsRig rig;
    rig.choosePrivateFlight();
    ASSERT_EQ(rig.load(), LoadOutcome::Loaded);
    EXPECT_EQ(rig.settings.company.CompanyICAO, "user");
    EXPECT_EQ(rig.settings.profilePath, ".\\user.ini");
    ASSERT_TRUE(saveSettings(rig.settings, rig.dir.path()));
    EXPECT_EQ(IniDocument(rig.dir.read("user.ini")).getString("Aviolog", "CompanyICAO", "", 9),
              "user");
}

// A company ICAO changed in the options is saved as that company's profile: the next start
// lists it and, chosen, finds every setting. The old company's profile is left as it was.
TEST(CompanyChooser, AnIcaoChangedInTheOptionsKeepsItsSettings) {
    SettingsRig rig;
    rig.dir.write("TAP.ini",
                  "[Aviolog]\r\nCompanyICAO=TAP\r\nCompanyName=TAP Air\r\n"
                  "Extra=kept\r\n");
    rig.dialogs.onChooseCompany = [](CompanyChooser& c) {
        c.select(0);
        c.chooseSelected();
    };
    ASSERT_EQ(rig.load(), LoadOutcome::Loaded);
    ASSERT_EQ(rig.settings.company.CompanyICAO, "TAP");
    rig.settings.company.CompanyICAO = "TPX";
    rig.settings.company.CompanySite = "http://tpx.example";
    ASSERT_TRUE(saveSettings(rig.settings, rig.dir.path()));
    EXPECT_EQ(IniDocument(rig.dir.read("TAP.ini")).getString("Aviolog", "CompanyICAO", "", 9),
              "TAP");

    SettingsRig next;
    next.dir.write("TAP.ini", rig.dir.read("TAP.ini"));
    next.dir.write("TPX.ini", rig.dir.read("TPX.ini"));
    next.dialogs.onChooseCompany = [](CompanyChooser& c) {
        ASSERT_EQ(textsOf(c.entries()), (Strings{"TAP - TAP Air", "TPX - TAP Air"}));
        c.select(1);
        c.chooseSelected();
    };
    ASSERT_EQ(next.load(), LoadOutcome::Loaded);
    EXPECT_EQ(next.settings.company.CompanyICAO, "TPX");
    EXPECT_EQ(next.settings.company.CompanySite, "http://tpx.example");
    EXPECT_EQ(IniDocument(next.dir.read("TPX.ini")).getString("Aviolog", "Extra", "", 9), "kept");
}

TEST(CompanyChooser, ClosingWithoutAChoiceUsesTheNamelessProfile) {
    SettingsRig rig;
    rig.dir.write("ABC.ini", "[Aviolog]\r\nCompanyICAO=ABC\r\n");
    ASSERT_EQ(rig.load(), LoadOutcome::Loaded);
    EXPECT_EQ(rig.settings.company.CompanyICAO, "");
    EXPECT_EQ(rig.settings.profilePath, ".\\.ini");
    EXPECT_EQ(rig.settings.events, EventsSection{});
}

TEST(CompanyChooser, NewCompanyWritesItsProfileAndCanThenBeChosen) {
    SettingsRig rig;
    rig.settings.sendLog.Password = true;
    rig.settings.sendLog.Alternate = true;
    rig.settings.sendLog.TD = true;
    rig.settings.sendLog.Date = false;
    rig.dialogs.onOptions = [](Settings& s, OptionsPage page) {
        EXPECT_EQ(page, OptionsPage::Company);
        s.company.CompanyICAO = "NEW";
        s.company.CompanyName = "New Air";
        s.company.CompanySite = "http://new.example";
        s.realism.Wave = "bell.wav";
        s.pirep.Log = "http://new.example/pirep.php";
    };
    rig.dialogs.onChooseCompany = [](CompanyChooser& chooser) {
        chooser.newCompany();
        EXPECT_FALSE(chooser.chosen()) << "the dialog stays open";
        ASSERT_EQ(textsOf(chooser.entries()), Strings{"NEW - New Air"});
        chooser.chooseSelected();
    };
    ASSERT_EQ(rig.load(), LoadOutcome::Loaded);
    EXPECT_TRUE(rig.pilot.texts().size() == 1) << "only the first-start message";

    // The saved-at-exit keys are not in the new file yet, but the value entered survives.
    EXPECT_EQ(rig.settings.company.CompanySite, "http://new.example");
    const IniDocument created(rig.dir.read("NEW.ini"));
    EXPECT_EQ(created.keyNames("Aviolog"), (Strings{"CompanyICAO", "CompanyName", "Remarks",
                                                    "UseLocal", "PilotNumber", "AcarsSite"}));
    EXPECT_EQ(created.sectionNames(), (Strings{"Aviolog", "Events", "Realism", "Log", "SendLog"}));
    EXPECT_EQ(created.keyNames("Log"), (Strings{"Log", "Mail", "URL", "passwd"}));
    EXPECT_EQ(created.keyNames("Events").size(), 18u);
    EXPECT_EQ(created.keyNames("SendLog").size(), 20u);
    EXPECT_EQ(created.getString("Realism", "Wave", "", 9), "bell.wav");

    const SendLogSection& f = rig.settings.sendLog;
    EXPECT_TRUE(f.Password && f.Alternate) << "kept as they were";
    EXPECT_TRUE(f.Date && !f.TD) << "new-profile values";

    ASSERT_TRUE(saveSettings(rig.settings, rig.dir.path()));
    EXPECT_EQ(IniDocument(rig.dir.read("NEW.ini")).getString("Aviolog", "CompanySite", "", 99),
              "http://new.example");
}

TEST(CompanyChooser, NewCompanyWithoutIcaoFallsBackToPrivateFlights) {
    SettingsRig rig;
    CompanyChooser chooser(rig.settings, rig.dir.path(), rig.pilot, rig.dialogs);
    chooser.newCompany();
    ASSERT_EQ(rig.pilot.shown.size(), 1u);
    EXPECT_EQ(rig.pilot.shown[0].text, kNoCompanyIcaoMessage);
    EXPECT_EQ(rig.pilot.shown[0].buttons, platform::MessageButtons::OkCancel);
    EXPECT_EQ(rig.settings.company.CompanyICAO, "user");
    EXPECT_EQ(rig.settings.profilePath, ".\\user.ini");
    EXPECT_FALSE(chooser.chosen());
    EXPECT_FALSE(rig.dir.exists("user.ini")) << "nothing is written until Save";
}

TEST(CompanyNames, ValuesThatCouldNameAFileOutsideTheFolderAreRefused) {
    const struct {
        const char* name;
        std::string value;
        bool stays;
    } rows[] = {
        {"plain ICAO", "TAP", true},
        {"empty", "", true},
        {"pilot number", "A123", true},
        {"one dot", "T.A", true},
        {"two folders up", "..\\..\\pwned", false},
        {"parent alone", "..", false},
        {"slash", "a/b", false},
        {"backslash", "a\\b", false},
        {"drive", "C:pwn", false},
        {"absolute", "/etc/x", false},
        {"line feed", "TAP\n", false},
        {"tab", "T\tP", false},
        {"delete", "T\x7FP", false},
        {"NUL", std::string("T\0P", 3), false},
    };
    for (const auto& row : rows) EXPECT_EQ(staysInFolder(row.value), row.stays) << row.name;
}

// A profile as a VA could hand it out: its ICAO and pilot number would write the profile
// and the pilot log file two folders up.
TEST(CompanyNames, AHostileProfileWritesNothingOutsideTheFolder) {
    SettingsRig rig;
    const std::filesystem::path work = rig.dir / "a" / "b" / "work";
    std::filesystem::create_directories(work);
    test::TempDir& dir = rig.dir;
    dir.write("a/b/work/aviolog.ori", SettingsRig::shippedTemplate());
    dir.write("a/b/work/evil.ini", "[Aviolog]\r\nCompanyICAO=..\\..\\pwned\r\nPilotNumber=123\r\n");
    // Listed as TAP, so TAP.ini is the profile read: that one's values are hostile.
    dir.write("a/b/work/listed.ini", "[Aviolog]\r\nCompanyICAO=TAP\r\n");
    dir.write("a/b/work/TAP.ini", "[Aviolog]\r\nCompanyICAO=..\\..\\pwn\r\nPilotNumber=..\\x\r\n");
    const struct {
        const char* name;
        int entry;  // in list order: evil.ini, listed.ini, TAP.ini
        const char* icao;
        const char* pilot;
        std::vector<std::string> refused;
    } rows[] = {
        {"the listed ICAO", 0, "user", "", {"The company ICAO \"..\\..\\pwned\" names files"}},
        {"the values inside the profile read",
         1,
         "TAP",
         "",
         {"The company ICAO \"..\\..\\pwn\" names files",
          "The pilot number \"..\\x\" names files"}},
    };
    for (const auto& row : rows) {
        config::Settings settings;
        test::ScriptedPilot pilot;
        test::ScriptedDialogs dialogs;
        dialogs.onChooseCompany = [&](CompanyChooser& chooser) {
            chooser.select(row.entry);
            if (!chooser.chooseSelected()) chooser.privateFlight();
        };
        ASSERT_EQ(loadSettings(settings, {.workDir = work, .pilot = pilot, .dialogs = dialogs}),
                  LoadOutcome::Loaded)
            << row.name;
        EXPECT_EQ(settings.company.CompanyICAO, row.icao) << row.name;
        EXPECT_EQ(settings.company.PilotNumber, row.pilot) << row.name;
        std::vector<std::string> refusals;
        for (const std::string& text : pilot.texts()) {
            if (text.starts_with("The ")) refusals.push_back(text);
        }
        ASSERT_EQ(refusals.size(), row.refused.size()) << row.name;
        for (std::size_t i = 0; i < row.refused.size(); ++i) {
            EXPECT_TRUE(refusals[i].starts_with(row.refused[i])) << row.name << ": " << refusals[i];
        }
        EXPECT_TRUE(saveSettings(settings, work)) << row.name;
    }
    for (const char* outside : {"pwned.ini", "pwn.ini", "a/pwned.ini", "a/pwn.ini", "a/b/x.ini"}) {
        EXPECT_FALSE(dir.exists(outside)) << outside;
    }
}

TEST(ProfileConversion, MovesOldPerCompanyKeysIntoTheCurrentLayout) {
    test::TempDir dir;
    dir.write("ABC.ini",
              "[Aviolog]\r\nCompanyICAO=ABC\r\n"
              "[Log]\r\nSiteLogABC=http://abc.example/log.php\r\npasswd=pw\r\n"
              "[Mail]\r\nSiteLogABC=pireps@abc.example\r\nDate=0\r\nTD=1\r\nExtra=kept\r\n"
              "[URL]\r\nSiteLogABC=http://abc.example/pirep\r\n");
    ASSERT_TRUE(convertProfile(dir / "ABC.ini", "ABC"));
    const IniDocument p(dir.read("ABC.ini"));
    EXPECT_EQ(p.getString("Log", "Log", "", 199), "http://abc.example/log.php");
    EXPECT_FALSE(p.find("Log", "SiteLogABC"));
    EXPECT_EQ(p.getString("Log", "Mail", "", 199), "pireps@abc.example");
    EXPECT_EQ(p.getString("Log", "URL", "", 199), "http://abc.example/pirep");
    for (const char* key : {"Password", "PilotNumber", "Hour", "Callsign", "Regist", "Depart",
                            "Arrival", "PlaneType", "SpentFuel", "Dur", "Len", "Version"}) {
        EXPECT_EQ(p.getInt("SendLog", key, -1), 1) << key;
    }
    EXPECT_EQ(p.getInt("SendLog", "Date", -1), 0) << "moved from [Mail], overriding the 1";
    EXPECT_EQ(p.getInt("SendLog", "TD", -1), 1);
    EXPECT_EQ(p.getInt("SendLog", "ZFW", -1), -1) << "absent in [Mail]: stays absent";
    EXPECT_EQ(p.keyNames("Mail"), (Strings{"SiteLogABC", "Extra"}));

    const std::string converted = dir.read("ABC.ini");
    ASSERT_TRUE(convertProfile(dir / "ABC.ini", "ABC"));
    EXPECT_EQ(dir.read("ABC.ini"), converted) << "a converted profile does not change";
}

TEST(ProfileConversion, WithoutOldKeysWritesEmptyDestinationsAndNoSendLogFlags) {
    test::TempDir dir;
    dir.write("ABC.ini", "[Aviolog]\r\nCompanyICAO=ABC\r\n");
    ASSERT_TRUE(convertProfile(dir / "ABC.ini", "ABC"));
    EXPECT_EQ(dir.read("ABC.ini"),
              "[Aviolog]\r\nCompanyICAO=ABC\r\n[Log]\r\nLog=\r\nMail=\r\nURL=\r\n");
}

}  // namespace
}  // namespace aviolog::config
