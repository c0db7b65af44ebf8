#include "planning/flight_plan_files.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "common/text_file.h"

namespace aviolog::planning {
namespace {

std::string sample(const char* name) {
    return readFileBytes(std::filesystem::path(AVIOLOG_PLANNING_DATA) / name).value_or("");
}

TEST(FlightPlanFilesTest, SimulatorPlansOfEveryGeneration) {
    struct Row {
        const char* name;
        std::string bytes;
        const char* departure;
        const char* arrival;
        const char* level;
        std::vector<std::string> waypoints;
    };
    const std::string bom = "\xEF\xBB\xBF";
    const std::vector<std::string> lisbonPorto = {"LPPT", "FTM", "ESP", "LPPR"};
    const Row rows[] = {
        {"FS2002 INI: the identifier first, coordinates after, gap after waypoint.3",
         sample("lppt-lppr-fs2002.pln"), "LPPT", "LPPR", "24000", lisbonPorto},
        {"FS2004 INI: nine items, the region first, the identifier second",
         sample("lppt-lppr-fs2004.pln"), "LPPT", "LPPR", "24000", lisbonPorto},
        {"FS2004 INI without the trailing separator",
         "[flightplan]\nwaypoint.0=LP, FTM, , FTM, V, N39* 39.95', W8* 29.32', +000000.00\n",
         nullptr,
         nullptr,
         nullptr,
         {"FTM"}},
        {"FS2004 INI saved as UTF-8 by an editor", bom + sample("lppt-lppr-fs2004.pln"), "LPPT",
         "LPPR", "24000", lisbonPorto},
        {"FSX XML",
         sample("egll-lfpg-fsx.pln"),
         "EGLL",
         "LFPG",
         "31000",
         {"EGLL", "MID", "ABNUR", "LFPG"}},
        {"MSFS XML with BOM, CR LF and a decimal level",
         sample("lppt-lemd-msfs.pln"),
         "LPPT",
         "LEMD",
         "24000",
         {"LPPT",
          "ES\xD1"
          "ES",
          "LEMD"}},
        {"MSFS 2024 XML: identifiers under ICAO, a bare position passed over",
         sample("lppt-lppr-msfs2024.pln"),
         "LPPT",
         "LPPR",
         "24000",
         {"LPPT", "NIKOL", "FTM", "ROSAL", "ESP", "LPPR"}},
    };
    for (const Row& row : rows) {
        const PlnPlan plan = readPln(row.bytes);
        EXPECT_EQ(plan.departure.value_or("(none)"), row.departure ? row.departure : "(none)")
            << row.name;
        EXPECT_EQ(plan.arrival.value_or("(none)"), row.arrival ? row.arrival : "(none)")
            << row.name;
        EXPECT_EQ(plan.flightLevel.value_or("(none)"), row.level ? row.level : "(none)")
            << row.name;
        EXPECT_EQ(plan.waypoints, row.waypoints) << row.name;
    }
}

TEST(FlightPlanFilesTest, PlansWithoutTheirKeysOrBrokenChangeNothing) {
    struct Row {
        const char* name;
        std::string bytes;
    };
    const Row rows[] = {
        {"empty", ""},
        {"other section", "[other]\ndeparture_id=LPPT\n"},
        {"broken XML",
         "<?xml version=\"1.0\"?><SimBase.Document><FlightPlan.FlightPlan><DepartureID>"},
        {"NUL bytes and no line end", std::string("\0\0\0[flightplan", 14)},
    };
    for (const Row& row : rows) {
        const PlnPlan plan = readPln(row.bytes);
        EXPECT_FALSE(plan.departure || plan.arrival || plan.flightLevel) << row.name;
        EXPECT_TRUE(plan.waypoints.empty()) << row.name;
    }
}

TEST(FlightPlanFilesTest, AtMost255WaypointsOfAtMost99Characters) {
    std::string text = "[flightplan]\r\ndeparture_id=" + std::string(500, 'D') + "\r\n";
    for (int i = 0; i < 300; ++i)
        text += "waypoint." + std::to_string(i) + "=WP" + std::to_string(i) + ", V\r\n";
    const PlnPlan plan = readPln(text);
    EXPECT_EQ(plan.departure, std::string(99, 'D'));
    ASSERT_EQ(plan.waypoints.size(), kMaxPlnWaypoints);
    EXPECT_EQ(plan.waypoints.back(), "WP254");
}

TEST(FlightPlanFilesTest, FsBuildPlansAndTheirFuel) {
    struct Row {
        const char* name;
        std::string bytes;
        WeightUnit unit;
        std::vector<std::pair<FormField, std::string>> fields;
        std::optional<std::string> fuel;
    };
    const std::vector<std::pair<FormField, std::string>> lbsFields = {
        {FormField::Departure, "LPPT"},      {FormField::Arrival, "LPPR"},
        {FormField::Alternate, "LPPC"},      {FormField::Route, "FTM UN873 ESP"},
        {FormField::AircraftType, "A320"},   {FormField::FlightLevel, "FL240"},
        {FormField::FlightNumber, "TP1944"}, {FormField::Registration, "CS-TNA"},
        {FormField::Passengers, "132"},      {FormField::Cargo, "2500"},
    };
    const Row rows[] = {
        {"pounds into kilograms", sample("lbs.fsa"), WeightUnit::Kilograms, lbsFields, "453"},
        {"pounds in pound mode", sample("lbs.fsa"), WeightUnit::Pounds, lbsFields, "1000"},
        {"saved as UTF-8 by an editor", "\xEF\xBB\xBF" + sample("lbs.fsa"), WeightUnit::Kilograms,
         lbsFields, "453"},
        {"kilograms into pounds, long values cut",
         sample("kgs.fsa"),
         WeightUnit::Pounds,
         {{FormField::Departure, "EGLL"},
          {FormField::Arrival, "LFPG"},
          {FormField::Route, "MID L9 ABNUR"},
          {FormField::AircraftType, "B738"},
          {FormField::FlightLevel, "FL310"},
          {FormField::FlightNumber, "BA304AB"},
          {FormField::Registration, "G-ABCDE"}},
         "11022"},
        {"kilograms in kilogram mode", sample("kgs.fsa"), WeightUnit::Kilograms, {}, "5000"},
    };
    for (const Row& row : rows) {
        const FsaPlan plan = readFsa(row.bytes, row.unit);
        if (!row.fields.empty()) {
            EXPECT_EQ(plan.fields, row.fields) << row.name;
        }
        EXPECT_EQ(plan.requestedFuel, row.fuel) << row.name;
    }
    EXPECT_EQ(readFsa("[aviolog]\nFuel=2000\nUnits=lbs\n", WeightUnit::Kilograms).requestedFuel,
              "2000")
        << "Units compared exactly";
    EXPECT_EQ(readFsa("[aviolog]\nUnits=LBS\n", WeightUnit::Kilograms).requestedFuel, std::nullopt);
}

TEST(FlightPlanFilesTest, ServinfoFindsThePilotsOwnRecord) {
    const std::string file = sample("servinfo.tmp");
    struct Row {
        const char* name;
        const char* callsign;
        const char* warning;
        NetworkPlan plan;
    };
    const Row rows[] = {
        {"a callsign that prefixes another's takes its own record",
         "DLH1",
         nullptr,
         {"B738", "EDDM", "FL360", "EGLL", "NONE", "INPUD Q113 BOMBI"}},
        {"the longer callsign",
         "DLH12",
         nullptr,
         {"A320", "EDDF", "FL350", "LEMD", "LEBL", "ANEKI Y163 NATOR UN850 TRA"}},
        {"connected without a plan", "TAP123", kNoPlanInServinfo, {}},
        {"not connected", "IBE3101", kNoCallsignInServinfo, {}},
        {"a part of a callsign", "LH1", kNoCallsignInServinfo, {}},
    };
    for (const Row& row : rows) {
        const NetworkPlanResult result = scanServinfo(file, row.callsign);
        if (row.warning != nullptr) {
            EXPECT_FALSE(result.plan) << row.name;
            EXPECT_STREQ(result.warning, row.warning) << row.name;
            continue;
        }
        ASSERT_TRUE(result.plan) << row.name;
        const NetworkPlan& p = *result.plan;
        EXPECT_EQ(p.aircraftType, row.plan.aircraftType) << row.name;
        EXPECT_EQ(p.departure, row.plan.departure) << row.name;
        EXPECT_EQ(p.flightLevel, row.plan.flightLevel) << row.name;
        EXPECT_EQ(p.arrival, row.plan.arrival) << row.name;
        EXPECT_EQ(p.alternate, row.plan.alternate) << row.name;
        EXPECT_EQ(p.route, row.plan.route) << row.name;
    }
}

TEST(FlightPlanFilesTest, ServinfoScansHugeAndBrokenFilesToTheEnd) {
    const std::string record =
        "TAP1944:1:P:PILOT::0:0:0:0:A320:420:LPPTXX:FL240:LPPR:S:1:1:2000:::1:I:0:0:0:0:0:0:LPPC:/"
        "v/:FTM UN873 ESP\n";
    struct Row {
        const char* name;
        std::string bytes;
        bool found;
    };
    const Row rows[] = {
        {"after 200 KiB", std::string(200 * 1024, 'x') + "\n" + record, true},
        {"last record without line end",
         std::string(60, '\n') + record.substr(0, record.size() - 1), true},
        {"NUL bytes before it", std::string(60, '\0') + "\n" + record, true},
        {"record cut after the aircraft", std::string(60, '\n') + "TAP1944:1:P:PILOT::0:0:0:0:A320",
         true},
        {"callsign at the very end", std::string(60, '\n') + "TAP1944", false},
        {"inside the skipped start", record + std::string(10, '\n'), false},
    };
    for (const Row& row : rows) {
        const NetworkPlanResult result = scanServinfo(row.bytes, "TAP1944");
        EXPECT_EQ(result.plan.has_value(), row.found) << row.name;
    }
    const auto cut =
        scanServinfo(std::string(60, '\n') + "TAP1944:1:P:PILOT::0:0:0:0:A320", "TAP1944");
    ASSERT_TRUE(cut.plan);
    EXPECT_EQ(cut.plan->departure, "");
    EXPECT_EQ(cut.plan->alternate, "NONE");
    const auto full = scanServinfo(std::string(60, '\n') + record, "TAP1944");
    ASSERT_TRUE(full.plan);
    EXPECT_EQ(full.plan->departure, "LPPT") << "first four characters";
    EXPECT_EQ(full.plan->alternate, "LPPC");
}

TEST(FlightPlanFilesTest, VatsimFeedPilotsAndPrefiles) {
    const std::string feed = sample("vatsim-data.json");
    struct Row {
        const char* name;
        const char* callsign;
        const char* warning;
        NetworkPlan plan;
    };
    const Row rows[] = {
        {"connected pilot",
         "DLH12",
         nullptr,
         {"A320", "EDDF", "35000", "LEMD", "LEBL", "ANEKI Y163 NATOR UN850 TRA"}},
        {"empty short type: the type before the first \"/\" of aircraft, empty alternate",
         "TAP1944",
         nullptr,
         {"A20N", "LPPT", "FL240", "LPPR", "NONE", "FTM UN873 ESP"}},
        {"prefiled", "IBE3101", nullptr, {"A321", "LEMD", "36000", "LPPT", "LPPR", "BRA UN10 ZMR"}},
        {"no short type, aircraft with a wake category first",
         "BAW15",
         nullptr,
         {"B744", "EGLL", "34000", "KJFK", "KBOS", "CPT UL9 STU"}},
        {"empty short type, aircraft the type alone",
         "EZY8471",
         nullptr,
         {"A319", "LPPT", "37000", "LFPG", "NONE", "ESP UN872 KOVIN"}},
        {"flight_plan null", "TAP123", kNoPlanInServinfo, {}},
        {"prefix of a callsign", "DLH1", kNoCallsignInServinfo, {}},
    };
    for (const Row& row : rows) {
        const auto result = readVatsimFeed(feed, row.callsign);
        ASSERT_TRUE(result) << row.name;
        if (row.warning != nullptr) {
            EXPECT_STREQ(result->warning, row.warning) << row.name;
            continue;
        }
        ASSERT_TRUE(result->plan) << row.name;
        EXPECT_EQ(result->plan->aircraftType, row.plan.aircraftType) << row.name;
        EXPECT_EQ(result->plan->departure, row.plan.departure) << row.name;
        EXPECT_EQ(result->plan->flightLevel, row.plan.flightLevel) << row.name;
        EXPECT_EQ(result->plan->arrival, row.plan.arrival) << row.name;
        EXPECT_EQ(result->plan->alternate, row.plan.alternate) << row.name;
        EXPECT_EQ(result->plan->route, row.plan.route) << row.name;
    }
    EXPECT_FALSE(readVatsimFeed("{\"pilots\": [", "DLH12")) << "not a feed";
    EXPECT_FALSE(readVatsimFeed(sample("servinfo.tmp"), "DLH12")) << "not JSON";
}

}  // namespace
}  // namespace aviolog::planning
