#include "platform/posix/wine_registry.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>

#include "tests/support/temp_dir.h"

namespace aviolog::platform::posix {
namespace {

const std::filesystem::path kPrefix = std::filesystem::path(AVIOLOG_PLANNING_DATA) / "wineprefix";

TEST(WineRegistryTest, StringValuesAsTheProgramsStoredThem) {
    struct Row {
        const char* name;
        RegistryHive hive;
        const char* key;
        const char* value;
        std::size_t maxBytes;
        std::optional<std::string> expected;
    };
    const Row rows[] = {
        // The file holds the key "...SquawkBox\\30" first: a prefix must not match.
        {"SquawkBox folder, key in other case", RegistryHive::LocalMachine,
         "SOFTWARE\\Level 27 Technologies\\SquawkBox\\3", "SBDir", 200,
         "C:\\Program Files\\SquawkBox"},
        {"value name in other case", RegistryHive::LocalMachine,
         "SOFTWARE\\Level 27 Technologies\\SquawkBox\\3", "sbdir", 200,
         "C:\\Program Files\\SquawkBox"},
        {"32-bit program in a 64-bit prefix", RegistryHive::LocalMachine, "SOFTWARE\\HiFi\\AS2004",
         "Install_Path", 200, "C:\\Program Files (x86)\\HiFi\\AS2004\\"},
        {"simulator folder", RegistryHive::LocalMachine,
         "SOFTWARE\\Microsoft\\Microsoft Games\\Flight Simulator\\9.0", "EXE Path", 200,
         "D:\\Jeux\\Flight Simulator 9"},
        {"expandable string read unexpanded", RegistryHive::LocalMachine,
         "SOFTWARE\\Microsoft\\Microsoft Games\\Flight Simulator\\9.0", "SetupPath", 200,
         "%ProgramFiles%\\Microsoft Games"},
        {"escapes and UTF-8 become Windows-1252", RegistryHive::LocalMachine,
         "SOFTWARE\\Microsoft\\Microsoft Games\\Flight Simulator\\9.0", "Pilot", 200,
         "Jos\xE9 \"Z\xE9\" M\x80ller"},
        {"default value", RegistryHive::LocalMachine, "Software\\Classes\\.txt", "", 200,
         "txtfile"},
        {"number is not text", RegistryHive::LocalMachine,
         "SOFTWARE\\Level 27 Technologies\\SquawkBox\\3", "Version", 200, std::nullopt},
        {"binary is not text", RegistryHive::LocalMachine, "SOFTWARE\\HiFi\\AS2004", "Licence", 200,
         std::nullopt},
        {"missing value", RegistryHive::LocalMachine,
         "SOFTWARE\\Level 27 Technologies\\SquawkBox\\3", "Nothing", 200, std::nullopt},
        {"missing key", RegistryHive::LocalMachine, "SOFTWARE\\Nobody", "SBDir", 200, std::nullopt},
        {"too long for the buffer", RegistryHive::LocalMachine,
         "SOFTWARE\\Microsoft\\Microsoft Games\\Flight Simulator\\9.0", "LongPath", 100,
         std::nullopt},
        {"exactly fits with its NUL", RegistryHive::LocalMachine,
         "SOFTWARE\\Level 27 Technologies\\SquawkBox\\3", "Callsign", 7, "TAP123"},
        {"one byte short", RegistryHive::LocalMachine,
         "SOFTWARE\\Level 27 Technologies\\SquawkBox\\3", "Callsign", 6, std::nullopt},
        {"current user", RegistryHive::CurrentUser, "Software\\Wine\\Explorer", "Desktop", 200,
         "Default"},
        {"machine key not in the user's file", RegistryHive::CurrentUser,
         "SOFTWARE\\Level 27 Technologies\\SquawkBox\\3", "SBDir", 200, std::nullopt},
    };
    const WineRegistry registry(kPrefix);
    for (const Row& row : rows) {
        EXPECT_EQ(registry.readString(row.hive, row.key, row.value, row.maxBytes), row.expected)
            << row.name;
    }
}

TEST(WineRegistryTest, MissingOrBrokenFilesReadAsMissingValues) {
    const test::TempDir dir;
    const WineRegistry none(dir.path());
    EXPECT_EQ(none.readString(RegistryHive::LocalMachine, "Software\\X", "Y", 200), std::nullopt);

    std::filesystem::copy_file(
        std::filesystem::path(AVIOLOG_PLANNING_DATA) / "wineprefix-broken.reg", dir / "system.reg");
    const WineRegistry broken(dir.path());
    EXPECT_EQ(
        broken.readString(RegistryHive::LocalMachine, "Software\\Broken", "Unterminated", 200),
        std::nullopt);
}

TEST(WineRegistryTest, WindowsPathsLieInThePrefixWhateverTheirCase) {
    const test::TempDir dir;
    std::filesystem::create_directories(dir / "drive_c/Program Files/SquawkBox");
    std::filesystem::create_directories(dir / "other-disk/Jeux");
    std::filesystem::create_directories(dir / "dosdevices");
    std::filesystem::create_directory_symlink(dir / "other-disk", dir / "dosdevices/d:");
    const WineRegistry registry(dir.path());

    struct Row {
        const char* name;
        const char* windowsPath;
        std::filesystem::path expected;
    };
    const Row rows[] = {
        {"C: without dosdevices link", "c:\\PROGRAM FILES\\squawkbox",
         dir / "drive_c/Program Files/SquawkBox"},
        {"file not there yet keeps its name", "C:\\Program Files\\SquawkBox\\aviologexp.sfp",
         dir / "drive_c/Program Files/SquawkBox/aviologexp.sfp"},
        {"other drive through its link", "D:\\jeux\\Flight Simulator 9",
         dir / "dosdevices/d:/Jeux/Flight Simulator 9"},
        {"trailing separator", "C:\\Program Files\\", dir / "drive_c/Program Files"},
        {"no drive stays relative", "wx\\export", "wx/export"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(registry.hostPath(row.windowsPath), row.expected) << row.name;
    }
}

}  // namespace
}  // namespace aviolog::platform::posix
