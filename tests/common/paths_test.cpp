#include "common/paths.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "tests/support/temp_dir.h"

namespace aviolog {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

// Runs in the directory, as the program does when its working directory is ".".
class InDirectory {
  public:
    explicit InDirectory(const fs::path& dir) : before_(fs::current_path()) {
        fs::current_path(dir);
    }
    ~InDirectory() { fs::current_path(before_); }
    InDirectory(const InDirectory&) = delete;
    InDirectory& operator=(const InDirectory&) = delete;

  private:
    fs::path before_;
};

// Files made on Windows keep the case they were given there; the program names them its
// own way, and must find them whatever the working directory is called.
TEST(LocalPath, FindsFilesAndFoldersWhoseCaseDiffers) {
    TempDir dir;
    fs::create_directory(dir / "Logs");
    for (const char* name : {"tap123.dat", "tap.ini", "aviolog.ini", "Logs/TAP7.dat"}) {
        dir.write(name, "x");
    }
    const struct {
        const char* name;
        bool inDot;  // the working directory is "."
        const char* stored;
        const char* expected;  // from the working directory
    } rows[] = {
        {"pilot log file", false, ".\\TAP123.dat", "tap123.dat"},
        {"pilot log file in \".\"", true, ".\\TAP123.dat", "tap123.dat"},
        {"profile in \".\"", true, ".\\TAP.ini", "tap.ini"},
        {"bare name in \".\"", true, "TAP.INI", "tap.ini"},
        {"exact name", true, ".\\aviolog.ini", "aviolog.ini"},
        {"LogPath folder of another case", false, "logs\\tap7.dat", "Logs/TAP7.dat"},
        {"LogPath folder of another case in \".\"", true, ".\\LOGS\\tap7.DAT", "Logs/TAP7.dat"},
        {"new file in a folder of another case", true, ".\\logs\\TAP8.dat", "Logs/TAP8.dat"},
        {"new file keeps its name", true, ".\\TAP9.dat", "TAP9.dat"},
        {"missing folder keeps its name", false, "Other\\tap.ini", "Other/tap.ini"},
    };
    for (const auto& row : rows) {
        if (row.inDot) {
            const InDirectory cd(dir.path());
            EXPECT_EQ(localPath(".", row.stored), fs::path(row.expected)) << row.name;
        } else {
            EXPECT_EQ(localPath(dir.path(), row.stored), dir / row.expected) << row.name;
        }
    }
    EXPECT_EQ(localPath("/nowhere", (dir / "LOGS" / "tap7.dat").string()), dir / "Logs/TAP7.dat")
        << "an absolute path";
}

}  // namespace
}  // namespace aviolog
