// Whole flights in virtual time, each compared with its golden file. Set
// AVIOLOG_UPDATE_GOLDEN=1 to rewrite the files after a deliberate change, and read the
// difference before committing it.

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <ostream>
#include <string>
#include <vector>

#include "common/text_file.h"
#include "model/flight_summary.h"
#include "tests/support/flight_rig.h"

namespace aviolog::test {
namespace {

using Edit = FlightRig::Edit;

struct GoldenFlight {
    const char* name;
    const char* scenario;
    std::vector<Edit> edits;
    std::vector<std::string> events;
    headless::RunResult::End end = headless::RunResult::End::Stopped;
    std::string stopAt;  // a stage, or empty: at the gate
};

// Test listings name the flight rather than dump its bytes.
void PrintTo(const GoldenFlight& g, std::ostream* os) {
    *os << g.name;
}

GoldenFlight flight(const char* name, const char* scenario, std::vector<Edit> edits = {},
                    std::vector<std::string> events = {},
                    headless::RunResult::End end = headless::RunResult::End::Stopped,
                    std::string stopAt = {}) {
    return {name, scenario, std::move(edits), std::move(events), end, std::move(stopAt)};
}

const std::vector<GoldenFlight>& goldenFlights() {
    using End = headless::RunResult::End;
    static const std::vector<GoldenFlight> flights = {
        flight("normal-kg", "lppt-lppr.scn"),
        flight("normal-lb", "lppt-lppr.scn", {{"Aviolog", "UnitSystem", "GB"}}),
        flight("switches-off", "lppt-lppr.scn",
               {{"Events", "WeightEvent", "0"},
                {"Events", "N1Event", "0"},
                {"Events", "TOLDPosEvent", "0"},
                {"Events", "VrV2Event", "0"},
                {"Events", "ComFreqEvent", "0"},
                {"Events", "FlightLengthEvent", "0"},
                {"Events", "ToutchDownEvent", "0"},
                {"Events", "MetarsEvent", "0"}}),
        flight("air-start", "air-start.scn"),
        flight("bounce", "touch-and-bounce.scn"),
        flight("step-climb", "lppt-lemd-cruise.scn", {},
               {"at 0:03:00 level FL200", "at 0:09:00 level FL240"}),
        flight("flaps-two-detents", "air-start.scn", {},
               {"at 0:02:00 flaps 2", "at 0:04:00 flaps 0"}),
        flight("realism-off", "air-start.scn", {},
               {"at 0:01:00 pause", "at 0:01:30 unpause", "at 0:02:00 slew on",
                "at 0:02:10 slew off", "at 0:03:00 rate 4", "at 0:04:00 rate 1"}),
        flight("realism-on", "air-start.scn",
               {{"Realism", "NoSlew", "1"}, {"Realism", "NoPause", "1"}},
               {"at 0:01:00 pause", "at 0:02:00 slew on", "at 0:03:00 rate 4"}),
        flight("pilot-in-cockpit", "lppt-lemd-cruise.scn",
               {{"Realism", "PIC", "1"},
                {"Realism", "MinReset", "1"},
                {"Realism", "MaxReset", "3"},
                {"Realism", "Wave", "alarm.wav"}},
               {"at 0:01:40 hotkey 55"}),
        flight("clock-back-2h", "air-start.scn", {}, {"at 0:03:00 clock -2h"}),
        flight("crash", "air-start.scn", {{"Realism", "Crash", "1"}}, {"at 0:03:00 crash"},
               End::Crashed),
        flight("lost-in-cruise", "lppt-lppr.scn", {}, {"on cruise silent 120"}),
        flight("manual-stop-airborne", "lppt-lppr.scn", {}, {}, End::Stopped, "cruise"),
        flight("automated-start-brake-never-set", "lppt-lppr.scn",
               {{"Aviolog", "AutomatedStart", "1", true}},
               {"at 0:00:01 brake off", "at 0:01:00 brake on"}),
    };
    return flights;
}

class GoldenFlightTest : public ::testing::TestWithParam<GoldenFlight> {};

headless::RunResult flyGolden(const GoldenFlight& g, std::vector<Edit> edits) {
    FlightRig rig(std::move(edits));
    headless::RunnerOptions options;
    options.extraEvents = g.events;
    options.stopAtStage = g.stopAt;
    options.flapNames = {"UP", "1", "2", "3", "FULL"};
    options.metars = {{"LPPT", "LPPT 140920Z 34010KT CAVOK 21/12 Q1018"},
                      {"LPPR", "LPPR 141000Z 34012KT 9999 FEW020 19/13 Q1016"}};
    if (std::string(g.name) == "flaps-two-detents") options.flapNames.clear();
    return rig.fly(g.scenario, options);
}

// The golden file as it reads without the landing analysis: its lines below "Land" and
// its keys after the older ones taken out.
std::string withoutLandingAnalysis(const std::string& text) {
    static const char* const kLinePrefixes[] = {
        "Touchdown: ",  "Bounce ", "At contact: ",     "Last 50 ft: ",
        "Last 20 ft: ", "Runway ", "Touchdown while ", "Touchdown at simulation rate "};
    std::string kept;
    for (std::size_t begin = 0, end; begin < text.size(); begin = end + 1) {
        end = text.find('\n', begin);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(begin, end - begin);
        bool added = false;
        // A log line: "hh:mm  " and then its text.
        if (line.size() > 7 && line[2] == ':' && line.compare(5, 2, "  ") == 0) {
            for (const char* prefix : kLinePrefixes)
                added = added || line.compare(7, std::strlen(prefix), prefix) == 0;
        }
        for (std::size_t i = model::kFirstLandingField; i < model::kSummaryFields.size(); ++i) {
            added = added || line.starts_with(std::string(model::kSummaryFields[i].key) + "=");
        }
        if (!added) kept += line + (end < text.size() ? "\n" : "");
    }
    return kept;
}

TEST_P(GoldenFlightTest, LogSummaryAndCallsMatchTheGoldenFile) {
    const GoldenFlight& g = GetParam();
    const headless::RunResult result = flyGolden(g, g.edits);
    EXPECT_EQ(result.end, g.end) << g.name;

    const std::string golden = std::string(AVIOLOG_GOLDEN_DIR) + "/" + g.name + ".log";
    const std::string actual = render(result);
    if (std::getenv("AVIOLOG_UPDATE_GOLDEN") != nullptr) {
        ASSERT_TRUE(writeFileAtomically(golden, actual)) << golden;
    }
    EXPECT_EQ(actual, readFileBytes(golden).value_or("(no golden file)")) << g.name;
}

// Without the landing switch the log is the one from before the analysis, byte for byte:
// the golden file with the analysis's lines and keys taken out.
TEST_P(GoldenFlightTest, WithoutTheLandingAnalysisOnlyItsLinesAndKeysAreMissing) {
    const GoldenFlight& g = GetParam();
    std::vector<Edit> edits = g.edits;
    edits.push_back({"Events", "LandingEvent", "0"});
    const headless::RunResult result = flyGolden(g, edits);
    const std::string golden = std::string(AVIOLOG_GOLDEN_DIR) + "/" + g.name + ".log";
    const std::string withAnalysis = readFileBytes(golden).value_or("(no golden file)");
    const std::string actual = render(result);
    EXPECT_EQ(withoutLandingAnalysis(actual), withoutLandingAnalysis(withAnalysis)) << g.name;
    for (const char* line : {"  Touchdown: ", "  At contact: ", "  Last 50 ft: "}) {
        EXPECT_EQ(actual.find(line), std::string::npos) << g.name << ": " << line;
    }
}

INSTANTIATE_TEST_SUITE_P(Flights, GoldenFlightTest, ::testing::ValuesIn(goldenFlights()),
                         [](const auto& info) {
                             std::string name = info.param.name;
                             for (char& c : name) {
                                 if (c == '-') c = '_';
                             }
                             return name;
                         });

}  // namespace
}  // namespace aviolog::test
