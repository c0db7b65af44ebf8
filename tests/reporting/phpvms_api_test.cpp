// What goes to a phpVMS 7 site and what is read from its answers, case by case.

#include "reporting/phpvms_api.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "config/options_items.h"
#include "model/flight_record.h"
#include "model/flight_summary.h"
#include "reporting/phpvms_flight.h"

namespace aviolog::reporting {
namespace {

using nlohmann::json;

TEST(PhpVmsApi, TheRealismLinesOfTheLogAreEventsAndNoOtherLine) {
    const struct {
        const char* line;
        const char* event;  // null: not an event
    } rows[] = {
        {"09:51  Slew ON", "Slew ON"},
        {"09:51  Slew OFF", "Slew OFF"},
        {"09:52  Simulation Rate 4x", "Simulation Rate 4x"},
        {"09:56  Simulation Rate 1x", "Simulation Rate 1x"},
        {"07:53  UTC Jump: added 1 Hour to Log", "UTC Jump: added 1 Hour to Log"},
        {"11:02  UTC Jump: removed 1 Hour from Log", "UTC Jump: removed 1 Hour from Log"},
        {"10:20  Failled to reset counter", "Failled to reset counter"},
        {"09:53  CRASH", "CRASH"},
        // Lines that only look alike.
        {"09:51  Slew ONCE", nullptr},
        {"09:53  CRASHED", nullptr},
        {"Slew ON", nullptr},
        {"9:51  Slew ON", nullptr},
        {"09:51 Slew ON", nullptr},
        {"09:51  ", nullptr},
        {"10:09  TouchDown:Rate -139 ft/min Speed: 132 Knots", nullptr},
        {"No Slew and time accel", nullptr},
        {"", nullptr},
    };
    for (const auto& row : rows) {
        const auto event = realismEvent(row.line);
        if (row.event) {
            EXPECT_EQ(event.value_or("(none)"), row.event) << row.line;
        } else {
            EXPECT_FALSE(event) << row.line;
        }
    }
}

TEST(PhpVmsApi, LevelsFlightNumbersAndDurations) {
    const struct {
        const char* text;
        int feet;
    } levels[] = {{"FL350", 35000}, {"fl090", 9000}, {"350", 35000},
                  {"35000", 35000}, {"", 0},         {"FLX", 0}};
    for (const auto& row : levels) EXPECT_EQ(levelFeet(row.text), row.feet) << row.text;

    const struct {
        const char* text;
        const char* number;
    } numbers[] = {{"VAX123", "123"},
                   {"123", "123"},
                   {"TP1944A", "1944A"},
                   {"AB-12", "AB-12"},
                   {"CHARTER", "CHARTER"}};
    for (const auto& row : numbers) EXPECT_EQ(flightNumberOnly(row.text), row.number) << row.text;

    EXPECT_EQ(summaryMinutes("01:23"), 83);
    EXPECT_EQ(summaryMinutes("00:00"), 0);
    EXPECT_EQ(summaryMinutes("garbage"), 0);
}

TEST(PhpVmsApi, ARefusalReadsAsTheSitesReasonAndNeverShowsTheKey) {
    const std::string key = "s3cret-key";
    const struct {
        const char* name;
        long status;
        std::string body;
        const char* says;
    } rows[] = {
        {"missing key", 401,
         R"j({"error":{"code":"401","message":"Invalid or missing API key (No user matches the provided key)"}})j",
         "API key was not accepted"},
        {"echoed key", 401, R"({"error":{"message":"no user for s3cret-key"}})", "***"},
        {"problem", 400,
         R"({"type":"x/aircraft-not-at-airport","title":"t","details":"The aircraft is not at the departure airport","status":400})",
         "The aircraft is not at the departure airport"},
        {"validation", 400, R"({"message":"The airline id field is required."})",
         "The airline id field is required."},
        {"not json", 404, "<html>Not Found</html>", "unknown to the site"},
        {"endless reason", 400, R"({"message":")" + std::string(5000, 'x') + R"("})", "..."},
    };
    for (const auto& row : rows) {
        const std::string text = refusalText({row.status, row.body}, key);
        EXPECT_NE(text.find(row.says), std::string::npos) << row.name << ": " << text;
        EXPECT_EQ(text.find(key), std::string::npos) << row.name;
        EXPECT_NE(text.find("HTTP " + std::to_string(row.status)), std::string::npos) << row.name;
        EXPECT_LT(text.size(), 400u) << row.name;
    }
}

TEST(PhpVmsApi, TheRequestCarriesTheKeyInItsHeaderOnly) {
    const config::PhpVmsSection site{"https://va.example.org//", "abc", ""};
    const platform::WebRequest r = phpVmsRequest(site, "POST", "/api/pireps/prefile", "{}");
    EXPECT_EQ(r.url, "https://va.example.org/api/pireps/prefile");
    EXPECT_EQ(r.url.find("abc"), std::string::npos);
    EXPECT_NE(std::find(r.headers.begin(), r.headers.end(), "X-API-Key: abc"), r.headers.end());
    EXPECT_NE(std::find(r.headers.begin(), r.headers.end(), "Content-Type: application/json"),
              r.headers.end());
}

TEST(PhpVmsApi, BidsWithTheirAircraftOrTheFirstOfTheirSubfleets) {
    const std::string answer = R"({"data":[
      {"id":1,"flight":{"id":"a","airline_id":2,"airline":{"icao":"VAX"},"flight_number":"7",
        "dpt_airport_id":"EDDF","arr_airport_id":"EDDM","level":24000,"route":"R",
        "subfleets":[{"type":"A320","aircraft":[]},
                     {"type":"B738","aircraft":[{"id":9,"icao":"B738","registration":"D-ABCD"}]}]}},
      {"id":2,"flight":{"id":"b","airline_id":2,"flight_number":"8","dpt_airport_id":"EDDM",
        "arr_airport_id":"EDDF","callsign":"VAX8X"},"aircraft":{"id":5,"icao":"A20N","registration":"D-AINA"}},
      {"id":3,"flight":{"id":"c"}}]})";
    const auto bids = readBids(answer);
    ASSERT_EQ(bids.size(), 2u);  // the one without airports is no flight to fly
    EXPECT_EQ(bids[0].flightNumber, "VAX7");
    EXPECT_EQ(bids[0].callsign, "VAX7");
    EXPECT_EQ(bids[0].aircraftId, "9");
    EXPECT_EQ(bids[0].registration, "D-ABCD");
    EXPECT_EQ(bids[0].level, "24000");
    EXPECT_EQ(bids[1].callsign, "VAX8X");
    EXPECT_EQ(bids[1].aircraftId, "5");
    EXPECT_EQ(bids[1].aircraftType, "A20N");
    for (const char* bad : {"", "[]", "{\"data\":{}}", "not json"}) {
        EXPECT_TRUE(readBids(bad).empty()) << bad;
    }
}

TEST(PhpVmsApi, APirepIdThatWouldLeaveItsAddressIsRefused) {
    EXPECT_EQ(readPirepId(R"({"data":{"id":"gXo4Lk"}})"), "gXo4Lk");
    EXPECT_EQ(readPirepId(R"({"data":{"id":42}})"), "42");
    for (const char* bad :
         {R"({"data":{"id":"../user"}})", R"({"data":{"id":"a/b"}})", R"({"data":{}})", "x"}) {
        EXPECT_FALSE(readPirepId(bad)) << bad;
    }
}

TEST(PhpVmsApi, TheFiledPirepInPhpVmsUnitsWhicheverUnitTheProfileKeeps) {
    model::FlightSummary s;
    s.FlightLength = "148";
    s.FlightDur = "01:05";
    s.UsedFuel = "1000";
    s.InitialFuel = "3000";
    s.RateTD = "-139";
    s.logText = "14:00  Start\n";
    model::FlightRecord record;
    record.flightLevel = "FL240";
    const json kg = json::parse(fileBody(s, record, WeightUnit::Kilograms));
    EXPECT_EQ(kg["distance"], 148);
    EXPECT_EQ(kg["flight_time"], 65);
    EXPECT_EQ(kg["fuel_used"], 2204.0);  // 1000 kg × 2.20459, truncated
    EXPECT_EQ(kg["block_fuel"], 6613.0);
    EXPECT_EQ(kg["landing_rate"], -139);
    EXPECT_EQ(kg["level"], 24000);
    EXPECT_EQ(kg["notes"], "14:00  Start\n");
    const json lb = json::parse(fileBody(s, record, WeightUnit::Pounds));
    EXPECT_EQ(lb["fuel_used"], 1000.0);
    s.RateTD.clear();  // no touchdown seen: no rate rather than 0
    EXPECT_FALSE(json::parse(fileBody(s, record, WeightUnit::Pounds)).contains("landing_rate"));
    // Without the landing analysis no fields; with it, its figures by name.
    EXPECT_FALSE(lb.contains("fields"));
    s.TouchdownG = "1.32";
    s.Bounces = "0";
    const json fields = json::parse(fileBody(s, record, WeightUnit::Pounds))["fields"];
    EXPECT_EQ(fields, (json{{"Touchdown G", "1.32"}, {"Bounces", "0"}}));
}

TEST(PhpVmsApi, TheVaSystemHasACategoryOfItsOwnInTheCompanyOptions) {
    const config::OptionCategory* found = nullptr;
    for (const config::OptionCategory& c : config::optionCategories()) {
        if (std::string_view(c.name) == "VA system") found = &c;
    }
    ASSERT_NE(found, nullptr);
    std::vector<std::string> keys;
    for (const config::OptionItem& i : found->items) keys.push_back(i.key);
    EXPECT_EQ(keys, (std::vector<std::string>{"VaSystem", "Url", "ApiKey", "AirlineIcao",
                                              "SimbriefUser"}));
    config::Settings s;
    EXPECT_EQ(s.company.VaSystem, "Scripts");  // the web scripts unless the profile says so
    EXPECT_FALSE(config::usesPhpVms(s.company));
}

}  // namespace
}  // namespace aviolog::reporting
