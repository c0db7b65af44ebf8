#include "platform/posix/work_folder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "tests/support/temp_dir.h"

namespace aviolog::platform::posix {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

TEST(WorkFolder, ChoosesTheStartFolderOrTheDataFolder) {
    TempDir root;
    fs::create_directories(root / "empty");
    fs::create_directories(root / "withOri");
    fs::create_directories(root / "withIni");
    fs::create_directories(root / "oriIsAFolder/aviolog.ori");
    root.write("withOri/aviolog.ori", "[Aviolog]\r\n");
    root.write("withIni/aviolog.ini", "[Aviolog]\r\n");
    const fs::path share = root / "share";
    const fs::path home = root / "home";
    const struct {
        const char* name;
        const char* start;
        bool installed;
        std::string xdg;
        fs::path expected;
    } rows[] = {
        {"from the build tree, empty folder", "empty", false, "", root / "empty"},
        {"from the build tree, with the template", "withOri", false, "", root / "withOri"},
        {"installed, with the template", "withOri", true, "", root / "withOri"},
        {"installed, with the settings only", "withIni", true, "", root / "withIni"},
        {"installed, from the menu", "empty", true, "", home / ".local/share/aviolog"},
        {"installed, own data home", "empty", true, (root / "xdg").string(), root / "xdg/aviolog"},
        {"installed, relative data home is ignored", "empty", true, "xdg",
         home / ".local/share/aviolog"},
        {"installed, a folder named like the template", "oriIsAFolder", true, "",
         home / ".local/share/aviolog"},
    };
    for (const auto& row : rows) {
        const WorkFolderSetting setting{.startDir = root / row.start,
                                        .shareDir = row.installed ? share : fs::path(),
                                        .xdgDataHome = row.xdg,
                                        .home = home.string()};
        EXPECT_EQ(chooseWorkFolder(setting), row.expected) << row.name;
    }
}

// The first start makes the folder and seeds it; later starts keep what the pilot has.
TEST(WorkFolder, SeedsTheDataFolderWithoutReplacingThePilotsFiles) {
    TempDir root;
    fs::create_directories(root / "share");
    fs::create_directories(root / "start");
    root.write("share/aviolog.ori", "[Aviolog]\r\nUseGauge=0\r\n");
    root.write("share/apt.txt", "[Airports]\r\nLPPT=Lisbon;38.78;-9.13\r\n");
    const WorkFolderSetting setting{.startDir = root / "start",
                                    .shareDir = root / "share",
                                    .xdgDataHome = "",
                                    .home = (root / "home").string()};
    const fs::path data = root / "home/.local/share/aviolog";

    WorkFolder first = openWorkFolder(setting);
    EXPECT_EQ(first.dir, data);
    EXPECT_EQ(first.error, "");
    EXPECT_EQ(root.read("home/.local/share/aviolog/aviolog.ori"), root.read("share/aviolog.ori"));
    EXPECT_EQ(root.read("home/.local/share/aviolog/apt.txt"), root.read("share/apt.txt"));
    // Built without the runway list: nothing to seed, and no failure for it.
    EXPECT_FALSE(root.exists("home/.local/share/aviolog/runways.txt"));

    root.write("home/.local/share/aviolog/apt.txt", "[Airports]\r\nLPPT=My own name;1;2\r\n");
    root.write("home/.local/share/aviolog/aviolog.ini", "[Aviolog]\r\nUseGauge=1\r\n");
    root.write("share/runways.txt", "[LPPT]\r\n02=38.77;-9.14;22.0;3707;45;90;331\r\n");
    WorkFolder again = openWorkFolder(setting);
    EXPECT_EQ(again.error, "");
    EXPECT_EQ(root.read("home/.local/share/aviolog/apt.txt"),
              "[Airports]\r\nLPPT=My own name;1;2\r\n");
    EXPECT_EQ(root.read("home/.local/share/aviolog/aviolog.ini"), "[Aviolog]\r\nUseGauge=1\r\n");
    EXPECT_EQ(root.read("home/.local/share/aviolog/runways.txt"), root.read("share/runways.txt"));
}

TEST(WorkFolder, SaysWhenTheDataFolderCannotBeMade) {
    TempDir root;
    fs::create_directories(root / "share");
    root.write("share/aviolog.ori", "[Aviolog]\r\n");
    root.write("home", "a file where the home folder should be");
    const WorkFolderSetting setting{.startDir = root.path(),
                                    .shareDir = root / "share",
                                    .xdgDataHome = "",
                                    .home = (root / "home").string()};
    const WorkFolder folder = openWorkFolder(setting);
    EXPECT_EQ(folder.dir, root / "home/.local/share/aviolog");
    EXPECT_NE(folder.error.find("cannot make the folder"), std::string::npos) << folder.error;
}

}  // namespace
}  // namespace aviolog::platform::posix
