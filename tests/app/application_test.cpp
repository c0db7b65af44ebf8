// The program's own start and end, as the runner drives them without a flight.

#include "app/application.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "common/text_format.h"
#include "headless/flight_runner.h"
#include "tests/support/flight_rig.h"

namespace aviolog::test {
namespace {

// Settings that cannot be written back at exit are not lost in silence: the pilot learns
// that this session's changes are gone, and where.
TEST(ApplicationExit, SettingsThatCannotBeSavedAreReported) {
    struct Row {
        const char* name;
        const char* readOnly;  // the file marked read-only; nullptr: none
    };
    for (const Row row : {Row{"written", nullptr}, Row{"aviolog.ini read-only", "aviolog.ini"},
                          Row{"profile read-only", "TAP.ini"}}) {
        FlightRig rig;
        if (row.readOnly != nullptr) {
            std::filesystem::permissions(rig.dir / row.readOnly,
                                         std::filesystem::perms::owner_read |
                                             std::filesystem::perms::group_read |
                                             std::filesystem::perms::others_read);
        }
        headless::RunnerOptions options;
        options.workDir = rig.dir.path().string();
        const headless::RunResult result = headless::runWithoutFlight(options);
        ASSERT_EQ(result.end, headless::RunResult::End::Stopped) << row.name;
        const std::string told =
            format(app::kSettingsNotSavedMessage, rig.dir.path().string().c_str()) + " -> OK";
        const bool reported = !result.pilotBoxes.empty() && result.pilotBoxes.back() == told;
        EXPECT_EQ(reported, row.readOnly != nullptr) << row.name;
    }
}

}  // namespace
}  // namespace aviolog::test
