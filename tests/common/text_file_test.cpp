#include "common/text_file.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "tests/support/temp_dir.h"

namespace aviolog {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

// The number of a process that has ended: a child that exits at once, reaped.
pid_t endedProcess() {
    const pid_t child = ::fork();
    if (child == 0) ::_exit(0);
    int status = 0;
    ::waitpid(child, &status, 0);
    return child;
}

// A write killed half way leaves its temporary file beside the target, as large as the
// file; the next write of the same target clears what no living process is writing.
TEST(WriteFileAtomically, RemovesTheTemporariesOfKilledWritesOfTheSameFile) {
    TempDir dir;
    const std::string dead = std::to_string(endedProcess());
    const std::string alive = std::to_string(::getppid());
    const struct {
        const char* name;
        std::string file;
        bool kept;
    } rows[] = {
        {"killed write of the target", ".TAP123.dat." + dead + ".0", false},
        {"another killed write of the target", ".TAP123.dat." + dead + ".17", false},
        {"a write of the target still running", ".TAP123.dat." + alive + ".3", true},
        {"killed write of another file", ".TAP124.dat." + dead + ".0", true},
        {"a name that only looks alike", ".TAP123.dat.notanumber.0", true},
        {"no counter", ".TAP123.dat." + dead, true},
        {"the pilot's own file", "TAP123.dat.bak", true},
    };
    for (const auto& row : rows) dir.write(row.file, std::string(4096, 'x'));
    ASSERT_TRUE(writeFileAtomically(dir / "TAP123.dat", "[FlightLog1]\r\n"));
    for (const auto& row : rows) EXPECT_EQ(dir.exists(row.file), row.kept) << row.name;
    EXPECT_EQ(dir.read("TAP123.dat"), "[FlightLog1]\r\n");
}

}  // namespace
}  // namespace aviolog
