#include "config/settings_keys.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <variant>

#include "common/text_case.h"
#include "common/text_format.h"
#include "config/ini_file.h"
#include "config/options_items.h"
#include "tests/support/settings_rig.h"

namespace aviolog::config {
namespace {

using test::SettingsRig;

struct Table {
    const char* file;
    std::span<const SettingsKey> keys;
};
const Table kTables[] = {{"aviolog.ini", kProgramKeys}, {"profile", kProfileKeys}};

std::string rowName(const Table& table, const SettingsKey& key) {
    return format("%s [%s] %s", table.file, key.section, key.name);
}

// A value of the row's own, away from the member's default: text that names the row, a
// flipped flag or unit, a number no other row holds.
struct OwnValue {
    const SettingsKey& key;
    int row;

    void operator()(std::string* text) const {
        *text = format("v%d%s", row, key.name).substr(0, key.maxChars);
    }
    void operator()(bool* flag) const { *flag = !*flag; }
    void operator()(std::int16_t* number) const { *number = static_cast<std::int16_t>(100 + row); }
    void operator()(std::int32_t* number) const { *number = 100 + row; }
    void operator()(WeightUnit* unit) const {
        *unit = *unit == WeightUnit::Pounds ? WeightUnit::Kilograms : WeightUnit::Pounds;
    }
};

struct Text {
    std::string operator()(const std::string* text) const { return *text; }
    std::string operator()(const bool* flag) const { return *flag ? "on" : "off"; }
    std::string operator()(const std::int16_t* number) const { return format("%d", *number); }
    std::string operator()(const std::int32_t* number) const { return format("%d", *number); }
    std::string operator()(const WeightUnit* unit) const {
        return *unit == WeightUnit::Pounds ? "lb" : "kg";
    }
};

std::string textOf(const SettingsKey& key, const Settings& settings) {
    return std::visit(Text{}, valueOf(key, settings));
}

// Every key at once, each with a value of its own: a row that reads or writes another row's
// key, or writes a key that only the template sets, brings back a value that is not its own.
TEST(SettingsKeys, EveryKeyBringsBackItsOwnValueAfterSaveAndTheNextStart) {
    SettingsRig rig;
    rig.dir.write("aviolog.ini", SettingsRig::shippedTemplate());
    Settings saved;
    int row = 0;
    for (const Table& table : kTables) {
        for (const SettingsKey& key : table.keys)
            std::visit(OwnValue{key, ++row}, key.member(saved));
    }
    // A Provider that names no service is taken as damaged and replaced by the template's.
    saved.aviolog.Provider = "NOAA";
    saved.profilePath = profilePathFor(saved.company.CompanyICAO);
    ASSERT_TRUE(saveSettings(saved, rig.dir.path()));

    rig.dialogs.onChooseCompany = [icao = saved.company.CompanyICAO](CompanyChooser& c) {
        ASSERT_EQ(c.entries().size(), 1u);
        ASSERT_EQ(c.entries()[0].icao, icao);
        c.chooseSelected();
    };
    ASSERT_EQ(rig.load(), LoadOutcome::Loaded);
    const IniDocument shipped(SettingsRig::shippedTemplate());
    for (const Table& table : kTables) {
        for (const SettingsKey& key : table.keys) {
            const std::string value = textOf(key, rig.settings);
            if (key.written == Written::Never) {
                EXPECT_EQ(value, shipped.getString(key.section, key.name, "", key.maxChars))
                    << rowName(table, key) << ": the template's value, never the record's";
            } else {
                EXPECT_EQ(value, textOf(key, saved)) << rowName(table, key);
            }
        }
    }
}

// Copied rows are the fault a table invites: two keys filling one member, or two names the
// files cannot tell apart (they compare without regard to case).
TEST(SettingsKeys, NoTwoKeysShareAMemberOrAName) {
    Settings settings;
    std::map<const void*, std::string> members;
    for (const Table& table : kTables) {
        std::set<std::string> names;
        for (const SettingsKey& key : table.keys) {
            const std::string row = rowName(table, key);
            const void* member =
                std::visit([](const auto* m) -> const void* { return m; }, key.member(settings));
            const auto [first, fresh] = members.emplace(member, row);
            EXPECT_TRUE(fresh) << row << " fills the member of " << first->second;

            std::string name = std::string(key.section) + "/" + key.name;
            for (char& c : name) c = static_cast<char>(foldCase(static_cast<unsigned char>(c)));
            EXPECT_TRUE(names.insert(name).second) << row << " is there twice";
        }
    }
}

// The dialog shows and stores a member by its type, so an item must be of the member's kind:
// a checkbox on a text would store "1", an edit on a number its digits alone.
TEST(SettingsKeys, EveryOptionEditsAMemberOfItsKind) {
    Settings settings;
    for (const OptionCategory& category : optionCategories()) {
        for (const OptionItem& item : category.items) {
            const std::string row = std::string(category.name) + " / " + item.label;
            if (item.setting == nullptr) {
                EXPECT_EQ(item.file, OptionFile::Memory) << row << ": stored without a key";
                continue;
            }
            const SettingsMember member = item.setting->member(settings);
            const bool text = std::holds_alternative<std::string*>(member);
            const bool flag = std::holds_alternative<bool*>(member);
            switch (item.kind) {
                case OptionKind::Checkbox:
                    EXPECT_TRUE(flag) << row;
                    break;
                case OptionKind::SliderEdit:
                    EXPECT_TRUE(std::holds_alternative<std::int16_t*>(member) ||
                                std::holds_alternative<std::int32_t*>(member))
                        << row;
                    break;
                case OptionKind::Edit:
                case OptionKind::Button:
                    EXPECT_TRUE(text) << row;
                    break;
                case OptionKind::EditList:
                    EXPECT_FALSE(flag) << row;
                    break;
            }
        }
    }
}

}  // namespace
}  // namespace aviolog::config
