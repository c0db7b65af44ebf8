#include "config/options_items.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>

#include "common/text_format.h"
#include "config/ini_file.h"
#include "tests/support/settings_rig.h"

namespace aviolog::config {
namespace {

using test::SettingsRig;

// A rig whose company ABC is chosen at every start.
struct OptionsRig : SettingsRig {
    OptionsRig() {
        dir.write("ABC.ini", "[Aviolog]\r\nCompanyICAO=ABC\r\nCompanyName=Alpha Air\r\n");
        dialogs.onChooseCompany = [](CompanyChooser& c) {
            c.select(0);
            c.chooseSelected();
        };
    }
    // Exit and start again: the record as the next run reads it.
    Settings restart() {
        EXPECT_TRUE(saveSettings(settings, dir.path()));
        // The pilot chooses the company flown: under a changed ICAO, its own new profile.
        dialogs.onChooseCompany = [icao = settings.company.CompanyICAO](CompanyChooser& c) {
            for (std::size_t n = 0; n < c.entries().size(); ++n) {
                if (c.entries()[n].icao == icao) c.select(static_cast<int>(n));
            }
            c.chooseSelected();
        };
        Settings next;
        EXPECT_EQ(loadSettings(next, context()), LoadOutcome::Loaded);
        return next;
    }
};

const OptionItem& item(const char* label, const char* category) {
    for (const OptionCategory& c : optionCategories()) {
        if (std::string(c.name) != category) continue;
        for (const OptionItem& i : c.items) {
            if (std::string(i.label) == label) return i;
        }
    }
    ADD_FAILURE() << "no item " << label << " in " << category;
    static const OptionItem kNone{};
    return kNone;
}

// A value the item does not hold yet, and the text the settings file then stores.
std::pair<std::string, std::string> changedValue(const OptionItem& i, const Settings& s) {
    const std::string now = i.get(s);
    switch (i.kind) {
        case OptionKind::Checkbox:
            return now == "1" ? std::pair{"0", "0"} : std::pair{"1", "1"};
        case OptionKind::SliderEdit: {
            const std::string v = format("%d", i.minValue + 7);
            return {v, v};
        }
        case OptionKind::EditList:
            for (std::size_t n = 0; n < i.choices.size(); ++n) {
                const std::string choice = i.choices[n];
                if (choice == now) continue;
                if (std::string(i.key) == "UnitSystem")
                    return {choice, choice == "Pounds" ? "GB" : "IS"};
                if (std::string(i.key) == "Authenticate") return {choice, format("%zu", n)};
                return {choice, choice};
            }
            return {now, now};
        case OptionKind::Edit:
        case OptionKind::Button: {
            std::string v = "v" + std::string(i.key);
            if (i.maxChars != 0) v.resize(std::min(v.size(), i.maxChars));
            return {v, v};
        }
    }
    return {now, now};
}

// Every item of both pages reaches its key in its file and reads back after a restart.
TEST(OptionsItems, EveryItemReachesItsKeyAndSurvivesARestart) {
    for (const OptionCategory& category : optionCategories()) {
        for (const OptionItem& i : category.items) {
            const std::string row = std::string(category.name) + " / " + i.label;
            OptionsRig rig;
            ASSERT_EQ(rig.load(), LoadOutcome::Loaded) << row;
            const auto [shown, stored] = changedValue(i, rig.settings);
            ASSERT_NE(shown, i.get(rig.settings)) << row << ": the test needs a change";
            setOption(rig.settings, i, shown, rig.dir.path());
            EXPECT_EQ(i.get(rig.settings), shown) << row;

            const Settings next = rig.restart();
            if (i.file == OptionFile::Memory) {
                EXPECT_EQ(i.get(next), "0") << row << ": never stored, off at every start";
                continue;
            }
            const std::string file = i.file == OptionFile::Program         ? "aviolog.ini"
                                     : std::string(i.key) == "CompanyICAO" ? shown + ".ini"
                                                                           : "ABC.ini";
            const IniDocument text(rig.dir.read(file));
            EXPECT_EQ(text.find(i.section, i.key).value_or("<missing>"), stored)
                << row << ": [" << i.section << "] " << i.key << " in " << file;
            EXPECT_EQ(i.get(next), shown) << row << ": after a restart";
        }
    }
}

TEST(OptionsItems, LabelsAreUniqueWithinACategoryAndListsHaveChoices) {
    int items = 0;
    for (const OptionCategory& category : optionCategories()) {
        std::set<std::string> labels;
        for (const OptionItem& i : category.items) {
            ++items;
            EXPECT_TRUE(labels.insert(i.label).second) << category.name << " / " << i.label;
            EXPECT_EQ(i.kind == OptionKind::EditList, !i.choices.empty()) << i.label;
            EXPECT_EQ(i.kind == OptionKind::Button, i.chooser != OptionChooser::None) << i.label;
            EXPECT_EQ(i.kind == OptionKind::Edit, i.maxChars != 0) << i.label;
            if (i.kind == OptionKind::SliderEdit) {
                EXPECT_LT(i.minValue, i.maxValue) << i.label;
            }
        }
    }
    // 12 + 16 + 7 + 3 + 20 + 5 on the company page, 11 + 8 + 14 + 1 on the program page.
    EXPECT_EQ(items, 97);
}

TEST(OptionsItems, ChangesAreTranslatedAsTheyAreMade) {
    struct Row {
        const char* name;
        const char* label;
        const char* category;
        const char* text;
        std::string (*result)(const Settings&);
        const char* expected;
    };
    const Row rows[] = {
        {"minimum reset reads the leading digits", "Minimum Reset Time", "Realism", "12a",
         [](const Settings& s) { return format("%d", int(s.realism.MinReset)); }, "12"},
        {"a reset time without digits reads 0", "Maximum reset Time", "Realism", "abc",
         [](const Settings& s) { return format("%d", int(s.realism.MaxReset)); }, "0"},
        {"a reset time cannot wrap into a negative one", "Maximum reset Time", "Realism",
         "99999999", [](const Settings& s) { return format("%d", int(s.realism.MaxReset)); },
         "120"},
        {"the dump interval stays within its limits", "Seconds between updates",
         "Flight Information Dump", "0",
         [](const Settings& s) { return format("%d", int(s.flightInfo.LogUpdate)); }, "1"},
        {"Pounds selects pound mode", "Units", "Company Options", "Pounds",
         [](const Settings& s) {
             return std::string(s.company.UnitSystem == WeightUnit::Pounds ? "lb" : "kg");
         },
         "lb"},
        {"any other unit text is kilograms", "Units", "Company Options", "Stones",
         [](const Settings& s) {
             return std::string(s.company.UnitSystem == WeightUnit::Pounds ? "lb" : "kg");
         },
         "kg"},
        {"callsign by flight", "Number used in Callsign", "Company Options", "Flight",
         [](const Settings& s) { return s.company.CallsignUses; }, "Flight"},
        {"callsign by anything else is by pilot", "Number used in Callsign", "Company Options",
         "flight", [](const Settings& s) { return s.company.CallsignUses; }, "Pilot"},
        {"LOGIN PLAIN is method 3", "Authentication", "Mail configuration", "LOGIN PLAIN",
         [](const Settings& s) { return format("%d", s.mail.Authenticate); }, "3"},
        {"CRAM MD5 is method 1", "Authentication", "Mail configuration", "CRAM MD5",
         [](const Settings& s) { return format("%d", s.mail.Authenticate); }, "1"},
        {"NOAA asks the NOAA address", "Metar source", "General Aviolog options", "NOAA",
         [](const Settings& s) {
             return format("%d %s", int(s.metarSource), s.metarBaseUrl.c_str());
         },
         "2 https://aviationweather.gov/api/data/metar?format=raw&ids="},
        {"VATSIM asks the VATSIM address", "Metar source", "General Aviolog options", "VATSIM",
         [](const Settings& s) {
             return format("%d %s", int(s.metarSource), s.metarBaseUrl.c_str());
         },
         "0 https://metar.vatsim.net/metar.php"},
        {"No Metars makes METARs unavailable", "Metar source", "General Aviolog options",
         "No Metars",
         [](const Settings& s) {
             return format("%d %s", int(s.metarSource), s.metarBaseUrl.c_str());
         },
         "4 "},
    };
    for (const Row& row : rows) {
        OptionsRig rig;
        ASSERT_EQ(rig.load(), LoadOutcome::Loaded) << row.name;
        setOption(rig.settings, item(row.label, row.category), row.text, rig.dir.path());
        EXPECT_EQ(row.result(rig.settings), row.expected) << row.name;
    }
}

// The company ICAO names the profile and the pilot log file: one that would leave the
// folder is refused as it is typed, not at the next start.
TEST(OptionsItems, ACompanyIcaoLeavingTheFolderIsRefusedAtOnce) {
    struct Row {
        const char* name;
        const char* typed;
        bool refused;
    };
    const Row rows[] = {
        {"parent folder", "../zz", true}, {"slash", "a/b", true},   {"backslash", "a\\b", true},
        {"drive", "C:x", true},           {"two dots", "..", true}, {"plain", "TAP", false},
        {"digits", "TP1", false},
    };
    for (const Row& row : rows) {
        OptionsRig rig;
        ASSERT_EQ(rig.load(), LoadOutcome::Loaded) << row.name;
        const auto refused = setOption(rig.settings, item("Company ICAO", "Company Options"),
                                       row.typed, rig.dir.path());
        EXPECT_EQ(refused.has_value(), row.refused) << row.name;
        EXPECT_EQ(rig.settings.company.CompanyICAO, row.refused ? "ABC" : row.typed) << row.name;
        if (refused) {
            EXPECT_EQ(*refused, refusedTypedNameMessage(kCompanyIcaoWhat, row.typed)) << row.name;
        }
    }
}

TEST(OptionsItems, PoundsAreWrittenAsGBAtExit) {
    OptionsRig rig;
    rig.dir.write("ABC.ini", "[Aviolog]\r\nCompanyICAO=ABC\r\nUnitSystem=IS\r\n");
    ASSERT_EQ(rig.load(), LoadOutcome::Loaded);
    EXPECT_EQ(item("Units", "Company Options").get(rig.settings), "Kilograms");
    setOption(rig.settings, item("Units", "Company Options"), "Pounds", rig.dir.path());
    rig.restart();
    EXPECT_EQ(IniDocument(rig.dir.read("ABC.ini")).find("Aviolog", "UnitSystem").value_or(""),
              "GB");
}

TEST(OptionsItems, FolderChoicesEndInASeparatorAndServinfoNamesItsFile) {
    const OptionItem& servinfo = item("Servinfo Path", "General Aviolog options");
    const OptionItem& logPath = item("Log Path", "General Aviolog options");
    EXPECT_EQ(folderOptionValue(servinfo, "/home/pilot/sb"), "/home/pilot/sb/servinfo.tmp");
    EXPECT_EQ(folderOptionValue(servinfo, "/home/pilot/sb/"), "/home/pilot/sb/servinfo.tmp");
    EXPECT_EQ(folderOptionValue(logPath, "/logs"), "/logs/");
    EXPECT_EQ(folderOptionValue(logPath, "C:\\logs\\"), "C:\\logs\\");
}

}  // namespace
}  // namespace aviolog::config
