#include "sim/scenario.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace aviolog::sim {
namespace {

// A small valid scenario; rows of the tests below change one line of it.
const std::vector<std::string> kBase{
    "# test scenario",                                                                    // 1
    "[flight]",                                                                           // 2
    "start 2024-02-29 23:30:00",                                                          // 3
    "local-offset -300",                                                                  // 4
    "[departure]",                                                                        // 5
    "icao KBOS",                                                                          // 6
    "position 42.3656N 71.0096W",                                                         // 7
    "elevation 20 ft",                                                                    // 8
    "runway-heading 333",                                                                 // 9
    "[arrival]",                                                                          // 10
    "icao KJFK",                                                                          // 11
    "position 40.6398 -73.7789",                                                          // 12
    "elevation 13",                                                                       // 13
    "runway-heading 43",                                                                  // 14
    "[aircraft]",                                                                         // 15
    "engines 2",                                                                          // 16
    "empty-weight 93000 lb",                                                              // 17
    "tank centre 2179 gal 25 %",                                                          // 18
    "fuel-flow taxi 600 take-off 6000 climb 5000 cruise 2500 descent 700 approach 1300",  // 19
    "flaps 5 4096",                                                                       // 20
    "flap-speeds 230 200 185 177",                                                        // 21
    "[profile]",                                                                          // 22
    "cruise FL300 450 kt",                                                                // 23
    "[events]",                                                                           // 24
    "at 0:12:30 pause",                                                                   // 25
    "on approach bounce",                                                                 // 26
};

std::string joined(const std::vector<std::string>& lines, const char* end = "\n") {
    std::string text;
    for (const std::string& l : lines) text += l + end;
    return text;
}

TEST(Scenario, ParsesTheValuesOfAFile) {
    const auto parsed = parseScenario(joined(kBase, "\r\n"));  // files may come with CR LF
    ASSERT_TRUE(parsed.ok()) << parsed.error;
    const Scenario& s = *parsed.value;
    struct Row {
        const char* name;
        double actual;
        double expected;
    };
    const Row rows[] = {
        {"start, seconds since 1970", double(s.startUtcSec), 1709249400.0},
        {"local offset", double(s.localOffsetMin), -300},
        {"west longitude is negative", s.departure.longitudeDeg, -71.0096},
        {"north latitude", s.departure.latitudeDeg, 42.3656},
        {"signed longitude", s.arrival.longitudeDeg, -73.7789},
        {"elevation with a unit word", s.departure.elevationFt, 20},
        {"elevation without one", s.arrival.elevationFt, 13},
        {"centre tank capacity", s.aircraft.tanks[0].capacityGal, 2179},
        {"centre tank level", s.aircraft.tanks[0].levelPercent, 25},
        {"cruise fuel flow", s.aircraft.fuelFlowPph.cruise, 2500},
        {"take-off fuel flow", s.aircraft.fuelFlowPph.takeOff, 6000},
        {"flight level in feet", s.profile.cruiseAltitudeFt, 30000},
        {"cruise true airspeed", s.profile.cruiseTasKt, 450},
        {"flap detent increment", double(s.aircraft.flapDetentIncrement), 4096},
        {"flap speeds", double(s.aircraft.flapSpeedsKt.size()), 4},
        {"events", double(s.events.size()), 2},
        {"first event at 12:30", double(s.events[0].atMs.value_or(-1)), 750000},
        {"its line", double(s.events[0].line), 25},
    };
    for (const Row& row : rows) EXPECT_DOUBLE_EQ(row.actual, row.expected) << row.name;
    EXPECT_TRUE(std::holds_alternative<cmd::Pause>(s.events[0].command));
    ASSERT_TRUE(s.events[1].onStage);
    EXPECT_EQ(*s.events[1].onStage, Stage::Approach);
    EXPECT_TRUE(std::holds_alternative<cmd::Bounce>(s.events[1].command));
}

TEST(Scenario, BadInputIsRefusedWithItsLine) {
    struct Row {
        const char* name;
        int first;  // lines first..last (1-based) are replaced; 0 appends
        int last;
        const char* replacement;  // may hold several lines, or none
        int errorLine;
        const char* says;
    };
    const Row rows[] = {
        {"unknown key", 8, 8, "height 20", 8, "unknown key 'height' in [departure]"},
        {"unknown section", 22, 22, "[route]", 22, "unknown section [route]"},
        {"key before any section", 2, 2, "start 2024-01-01 00:00", 2, "before the first [section]"},
        {"header with words", 24, 24, "[events now]", 24, "one word in brackets"},
        {"latitude out of range", 7, 7, "position 95N 71W", 7, "between -90 and 90"},
        {"sign and hemisphere", 7, 7, "position -42N 71W", 7, "both a sign and a hemisphere"},
        {"not a number", 8, 8, "elevation high", 8, "must be a number, not 'high'"},
        {"wrong unit", 8, 8, "elevation 20 m", 8, "the unit here is ft, not 'm'"},
        {"extra words", 6, 6, "icao KBOS KJFK", 6, "unexpected 'KJFK'"},
        {"missing value", 9, 9, "runway-heading", 9, "missing runway heading"},
        {"not an airport code", 6, 6, "icao BOSTON", 6, "four letters or digits"},
        {"no such date", 3, 3, "start 2023-02-29 10:00", 3, "not a date"},
        {"no such time", 3, 3, "start 2024-02-29 24:10", 3, "hh:mm"},
        {"unknown tank", 18, 18, "tank wing 100 gal 10 %", 18, "unknown tank 'wing'"},
        {"level above full", 18, 18, "tank centre 2179 gal 120 %", 18, "between 0 and 100"},
        {"tank given twice", 18, 18, "tank centre 10 10\ntank center 10 10", 19,
         "centre given twice"},
        {"incomplete power table", 19, 19, "fuel-flow taxi 600 cruise 2500", 19,
         "all six settings"},
        {"unknown power setting", 19, 19, "fuel-flow idle 600", 19, "unknown setting 'idle'"},
        {"flap lever overrun", 20, 20, "flaps 6 4096", 20, "beyond the end of the lever"},
        {"flap speed count", 21, 21, "flap-speeds 230 200", 21, "each of the 4 detents"},
        {"cruise level too high", 23, 23, "cruise FL900 450 kt", 23, "FL010 to FL450"},
        {"cruise level below the airports", 23, 23, "cruise 800 ft 200", 23, "FL010 to FL450"},
        {"key given twice", 14, 14, "runway-heading 43\nrunway-heading 44", 15, "given twice"},
        {"section given twice", 0, 0, "[profile]", 27, "section [profile] given twice"},
        {"unknown command in an event", 25, 25, "at 0:12:30 fly", 25, "unknown command 'fly'"},
        {"malformed command in an event", 25, 25, "at 0:12:30 rate", 25, "usage: rate"},
        {"bad event time", 25, 25, "at 0:72:30 pause", 25, "must be a time"},
        {"unknown stage", 26, 26, "on landing bounce", 26, "unknown stage 'landing'"},
        {"bad frequency", 0, 0, "[radio]\ncom1 150.0", 28, "between 118 and 136.99"},
        // Checks of the whole file name the section, or the end of the file.
        {"missing key", 13, 13, "", 10, "[arrival] has no 'elevation'"},
        {"missing section", 22, 23, "", 24, "end of file: no [profile] section"},
        {"no fuel", 18, 18, "tank centre 2179 gal 0 %", 15, "[aircraft] has no fuel"},
        {"approach too fast for full flaps", 23, 23, "cruise FL300 450 kt\napproach 175 kt", 22,
         "10 kt below"},
    };
    for (const Row& row : rows) {
        std::vector<std::string> lines = kBase;
        std::vector<std::string> added;
        for (std::string_view rest = row.replacement; !rest.empty();) {
            const std::size_t nl = rest.find('\n');
            added.emplace_back(rest.substr(0, nl));
            rest = nl == std::string_view::npos ? std::string_view{} : rest.substr(nl + 1);
        }
        if (row.first == 0) {
            lines.insert(lines.end(), added.begin(), added.end());
        } else {
            lines.erase(lines.begin() + row.first - 1, lines.begin() + row.last);
            lines.insert(lines.begin() + row.first - 1, added.begin(), added.end());
        }
        const auto parsed = parseScenario(joined(lines));
        ASSERT_FALSE(parsed.ok()) << row.name << ": accepted";
        const std::string prefix = "line " + std::to_string(row.errorLine) + ": ";
        EXPECT_EQ(parsed.error.rfind(prefix, 0), 0u) << row.name << ": " << parsed.error;
        EXPECT_NE(parsed.error.find(row.says), std::string::npos)
            << row.name << ": " << parsed.error;
    }
}

TEST(Scenario, ShippedScenariosAllLoad) {
    int count = 0;
    for (const auto& entry :
         std::filesystem::directory_iterator(std::string(AVIOLOG_DATA_DIR) + "/scenarios")) {
        if (entry.path().extension() != ".scn") continue;
        ++count;
        const auto loaded = loadScenario(entry.path().string());
        EXPECT_TRUE(loaded.ok()) << loaded.error;
    }
    EXPECT_GE(count, 4);
    const auto missing = loadScenario(std::string(AVIOLOG_DATA_DIR) + "/scenarios/none.scn");
    EXPECT_FALSE(missing.ok());
    EXPECT_NE(missing.error.find("cannot open"), std::string::npos) << missing.error;
}

TEST(Scenario, CommandLanguage) {
    struct Row {
        const char* line;
        bool ok;
        std::function<bool(const Command&)> means;  // for the accepted ones
    };
    auto is = [](auto expected) {
        return [expected](const Command& c) {
            using T = decltype(expected);
            return std::holds_alternative<T>(c);
        };
    };
    const Row rows[] = {
        {"pause", true, is(cmd::Pause{})},
        {"  UNPAUSE ", true, is(cmd::Unpause{})},
        {"slew on", true, [](const Command& c) { return std::get<cmd::Slew>(c).on; }},
        {"slew off", true, [](const Command& c) { return !std::get<cmd::Slew>(c).on; }},
        {"rate 4", true, [](const Command& c) { return std::get<cmd::Rate>(c).multiplier == 4.0; }},
        {"rate 0.25", true,
         [](const Command& c) { return std::get<cmd::Rate>(c).multiplier == 0.25; }},
        {"refuel left-main 20", true,
         [](const Command& c) {
             const auto& r = std::get<cmd::Refuel>(c);
             return r.tank == 5 && r.percent == 20.0;
         }},
        {"refuel center 5%", true,
         [](const Command& c) { return std::get<cmd::Refuel>(c).tank == 0; }},
        {"clock +2h", true,
         [](const Command& c) { return std::get<cmd::ClockShift>(c).seconds == 7200; }},
        {"clock -90m", true,
         [](const Command& c) { return std::get<cmd::ClockShift>(c).seconds == -5400; }},
        {"clock +1h30m", true,
         [](const Command& c) { return std::get<cmd::ClockShift>(c).seconds == 5400; }},
        {"clock 14:05", true,
         [](const Command& c) { return std::get<cmd::ClockSet>(c).secondOfDay == 50700; }},
        {"silent 30", true,
         [](const Command& c) { return std::get<cmd::Silent>(c).seconds == 30.0; }},
        {"com1 121.75", true,
         [](const Command& c) { return std::get<cmd::Com1>(c).bcd == 0x2175; }},
        {"com1 118.105", true,
         [](const Command& c) { return std::get<cmd::Com1>(c).bcd == 0x1810; }},
        {"wind 270 15", true,
         [](const Command& c) { return std::get<cmd::Wind>(c).fromDeg == 270.0; }},
        {"wind scenario", true, [](const Command& c) { return !std::get<cmd::Wind>(c).fromDeg; }},
        {"qnh 1005", true,
         [](const Command& c) { return std::get<cmd::Qnh>(c).millibars == 1005.0; }},
        {"", false, nullptr},
        {"fly", false, nullptr},
        {"pause now", false, nullptr},
        {"slew maybe", false, nullptr},
        {"rate", false, nullptr},
        {"rate 0", false, nullptr},
        {"rate fast", false, nullptr},
        {"refuel wing 20", false, nullptr},
        {"refuel left-main 120", false, nullptr},
        {"refuel left-main", false, nullptr},
        {"clock 2h", false, nullptr},
        {"clock +2x", false, nullptr},
        {"clock 25:00", false, nullptr},
        {"silent", false, nullptr},
        {"silent -1", false, nullptr},
        {"com1 150", false, nullptr},
        {"qnh 500", false, nullptr},
    };
    for (const Row& row : rows) {
        const auto parsed = parseCommand(row.line);
        ASSERT_EQ(parsed.ok(), row.ok) << "'" << row.line << "': " << parsed.error;
        if (row.ok) {
            EXPECT_TRUE(row.means(*parsed.value)) << "'" << row.line << "'";
        } else {
            EXPECT_FALSE(parsed.error.empty()) << "'" << row.line << "'";
        }
    }
}

TEST(Scenario, TheHelpListsTheVerbsTheParserKnows) {
    const std::string help = commandHelp();
    for (const CommandVerb& v : commandVerbs()) {
        const std::string verb(v.verb());
        EXPECT_NE(("\n" + help).find("\n" + std::string(v.synopsis) + " "), std::string::npos)
            << verb << " in\n"
            << help;
        const auto parsed = parseCommand(verb);
        const bool unknown = parsed.error.starts_with("unknown command");
        // A verb without a parser is the program's, not the simulator's.
        EXPECT_EQ(unknown, v.parse == nullptr) << verb << ": " << parsed.error;
    }
    EXPECT_NE(help.find("left-main"), std::string::npos) << help;
    for (std::size_t begin = 0, end; (end = help.find('\n', begin)) != std::string::npos;
         begin = end + 1) {
        EXPECT_LE(end - begin, 88u) << help.substr(begin, end - begin);
    }
}

TEST(Scenario, ACommandRefusedNamesOnlyItsOwnUsage) {
    const struct {
        const char* line;
        const char* error;
    } rows[] = {
        {"slew maybe", "usage: slew on | slew off"},
        {"crash-detection maybe", "usage: crash-detection on | crash-detection off"},
        {"Pause  Now", "'pause  now' takes no arguments"},
        {"quit", "unknown command 'quit'; try 'help'"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(parseCommand(row.line).error, row.error) << row.line;
    }
}

TEST(Scenario, CalendarOfTheSimulatorClock) {
    struct Row {
        const char* name;
        int year, month, day;
        int dayOfYear;
    };
    const Row rows[] = {
        {"first day", 2024, 1, 1, 1},
        {"leap day", 2024, 2, 29, 60},
        {"after a leap day", 2024, 3, 1, 61},
        {"no leap day", 2023, 3, 1, 60},
        {"last day of a leap year", 2024, 12, 31, 366},
        {"century without a leap day", 2100, 12, 31, 365},
        {"epoch", 1970, 1, 1, 1},
    };
    for (const Row& row : rows) {
        const std::int64_t sec = daysFromCivil(row.year, row.month, row.day) * 86400 + 3723;
        const CivilDateTime t = civilFromSeconds(sec);
        EXPECT_EQ(t.year, row.year) << row.name;
        EXPECT_EQ(t.month, row.month) << row.name;
        EXPECT_EQ(t.day, row.day) << row.name;
        EXPECT_EQ(t.dayOfYear, row.dayOfYear) << row.name;
        EXPECT_EQ(t.hour * 3600 + t.minute * 60 + t.second, 3723) << row.name;
    }
}

}  // namespace
}  // namespace aviolog::sim
