#include "planning/weather.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "common/text_file.h"
#include "headless/flight_runner.h"
#include "model/main_window_model.h"
#include "platform/posix/wine_registry.h"
#include "tests/planning/scripted_http.h"
#include "tests/support/flight_rig.h"
#include "tests/support/temp_dir.h"

namespace aviolog::planning {
namespace {

using config::MetarSource;

std::string sample(const char* name) {
    return readFileBytes(std::filesystem::path(AVIOLOG_PLANNING_DATA) / name).value_or("");
}

config::Settings source(MetarSource s, std::string base) {
    config::Settings settings;
    settings.metarSource = s;
    settings.metarBaseUrl = std::move(base);
    return settings;
}

struct WeatherRig {
    test::TempDir dir;
    test::ScriptedHttp http;
    platform::posix::WineRegistry registry{dir / "no-prefix"};
    Weather weather{http, registry, dir.path()};
};

TEST(WeatherTest, AddressOfEachService) {
    struct Row {
        const char* name;
        MetarSource source;
        std::string base;
        const char* typed;
        std::string url;
    };
    const Row rows[] = {
        {"VATSIM", MetarSource::VATSIM, "https://metar.vatsim.net/metar.php", "lppt",
         "https://metar.vatsim.net/metar.php?id=LPPT"},
        {"IVAO capital I", MetarSource::IVAO, "http://wx.example/metar.php", "LPPR",
         "http://wx.example/metar.php?Id=LPPR"},
        {"NOAA of 2004, code upper-cased", MetarSource::NOAA, "http://u", "egll",
         "http://u?cccc=EGLL"},
        {"a base with its own query takes the code at its end", MetarSource::NOAA,
         "https://aviationweather.gov/api/data/metar?format=raw&ids=", "egll",
         "https://aviationweather.gov/api/data/metar?format=raw&ids=EGLL"},
        {"prefix cut to 63 characters", MetarSource::VATSIM, std::string(70, 'h'), "LPPT",
         std::string(63, 'h') + "LPPT"},
        {"a long base with its own query is not cut", MetarSource::NOAA,
         "https://aviationweather.gov/api/data/metar?format=raw&taf=false&hours=0&ids=", "egll",
         "https://aviationweather.gov/api/data/metar?format=raw&taf=false&hours=0&ids=EGLL"},
    };
    for (const Row& row : rows) {
        WeatherRig rig;
        rig.weather.select(source(row.source, row.base));
        rig.weather.fetch(row.typed);
        ASSERT_EQ(rig.http.urls.size(), 1u) << row.name;
        EXPECT_EQ(rig.http.urls[0], row.url) << row.name;
    }
}

TEST(WeatherTest, AnAddressThatCannotBeSentWholeIsSaidSo) {
    struct Row {
        const char* name;
        MetarSource source;
        std::string base;
        bool warned;
    };
    const std::string longBase = "https://weather.example-virtual-airline.org/services/metar.php";
    const Row rows[] = {
        {"the template's VATSIM address", MetarSource::VATSIM, "https://metar.vatsim.net/metar.php",
         false},
        {"59 characters and \"?id=\" make 63", MetarSource::VATSIM, std::string(59, 'h'), false},
        {"60 characters and \"?id=\" make 64", MetarSource::VATSIM, std::string(60, 'h'), true},
        {"a long IVAO address", MetarSource::IVAO, longBase, true},
        {"a long address with its own query", MetarSource::IVAO, longBase + "?Id=", false},
        {"no service, no address", MetarSource::AS2004, longBase, false},
    };
    for (const Row& row : rows) {
        const auto warning = metarAddressWarning(source(row.source, row.base));
        EXPECT_EQ(warning.has_value(), row.warned) << row.name;
        EXPECT_EQ(metarAddress(row.source, row.base).cut, row.warned) << row.name;
    }
    const auto warning = metarAddressWarning(source(MetarSource::IVAO, longBase));
    ASSERT_TRUE(warning);
    EXPECT_EQ(*warning,
              "The IVAO METAR address of aviolog.ini ([Metar] IVAO) is 66 characters long with "
              "its query \"?Id=\", and only the first 63 are used: METARs may not arrive. "
              "Shorten it, or write it with its own query (ending in \"?Id=\"), which may be "
              "longer.");
}

TEST(WeatherTest, ACutAddressIsSaidOnceAtStartUp) {
    test::FlightRig rig(
        {{"Metar", "VATSIM",
          "https://weather.example-virtual-airline.org/services/vatsim/metar.php", true}});
    headless::RunnerOptions options;
    options.stopAtMs = 5 * 60 * 1000;
    const headless::RunResult r = rig.fly("lppt-lppr.scn", options);
    const auto said = std::count_if(r.pilotBoxes.begin(), r.pilotBoxes.end(), [](const auto& b) {
        return b.starts_with("The VATSIM METAR address of aviolog.ini ([Metar] VATSIM) is 73 ");
    });
    EXPECT_EQ(said, 1) << (r.pilotBoxes.empty() ? "no box" : r.pilotBoxes.front());
}

TEST(WeatherTest, ReportsFromEachAnswer) {
    struct Row {
        const char* name;
        MetarSource source;
        std::optional<std::string> answer;
        std::optional<std::string> report;
    };
    const std::string egll = "EGLL 141020Z 24012KT 9999 FEW035 18/09 Q1021 NOSIG";
    const Row rows[] = {
        {"VATSIM whole answer, two line feeds removed", MetarSource::VATSIM, egll + "\n\n", egll},
        {"only two line feeds are removed", MetarSource::VATSIM, egll + "\n\n\n", egll + "\n"},
        {"empty answer", MetarSource::IVAO, "", std::nullopt},
        {"only line feeds", MetarSource::VATSIM, "\n\n\n", std::nullopt},
        {"an HTML error page", MetarSource::VATSIM,
         "<!DOCTYPE html>\n<html><head><title>502 Bad Gateway</title></head>\n<body>EGLL "
         "unavailable</body></html>\n",
         std::nullopt},
        {"a message instead of a report", MetarSource::IVAO, "No METAR found for EGLL\n",
         std::nullopt},
        {"another station's report", MetarSource::VATSIM, "LFPG 141030Z 00000KT CAVOK\n",
         std::nullopt},
        {"blanks before the report", MetarSource::IVAO, " \r\n" + egll + "\n", egll},
        {"no answer", MetarSource::VATSIM, std::nullopt, std::nullopt},
        {"NOAA page of 2004", MetarSource::NOAA, sample("noaa-2004-egll.html"), egll},
        {"NOAA page naming the station three times", MetarSource::NOAA,
         sample("noaa-2004-egll-none.html"), std::nullopt},
        {"NOAA raw answer of today", MetarSource::NOAA, sample("noaa-raw-egll.txt"), egll},
        {"NOAA raw answer for another station", MetarSource::NOAA, "LFPG 141030Z 00000KT CAVOK\n",
         std::nullopt},
        {"NOAA report beyond 19000 characters", MetarSource::NOAA,
         "<p>" + std::string(19000, ' ') + "EGLL EGLL EGLL EGLL x<", std::nullopt},
        {"NOAA without a closing <", MetarSource::NOAA, "<p>EGLL EGLL EGLL EGLL report",
         std::nullopt},
    };
    for (const Row& row : rows) {
        WeatherRig rig;
        rig.weather.select(source(row.source, "http://wx"));
        rig.http.answers.push_back(row.answer);
        EXPECT_EQ(rig.weather.fetch("EGLL"), row.report) << row.name;
    }
}

TEST(WeatherTest, TwoFailedDownloadsInARowEndDownloadsForTheRun) {
    WeatherRig rig;
    rig.weather.select(source(MetarSource::VATSIM, "http://wx"));
    rig.http.answers = {std::nullopt, "LPPT 1\n", std::nullopt, std::nullopt, "LPPT 2\n"};
    EXPECT_FALSE(rig.weather.fetch("LPPT"));
    EXPECT_EQ(rig.weather.fetch("LPPT"), "LPPT 1") << "a success clears the count";
    EXPECT_FALSE(rig.weather.fetch("LPPT"));
    EXPECT_FALSE(rig.weather.fetch("LPPT"));
    EXPECT_FALSE(rig.weather.fetch("LPPT")) << "the network is back, but no request is made";
    EXPECT_EQ(rig.http.urls.size(), 4u);
    rig.weather.select(source(MetarSource::NOAA, "http://wx"));
    EXPECT_FALSE(rig.weather.fetch("LPPT")) << "choosing another source does not reset it";
    EXPECT_EQ(rig.http.urls.size(), 4u);
}

TEST(WeatherTest, As2004ExportFile) {
    WeatherRig rig;
    // No registry: the file in the working directory.
    std::filesystem::copy_file(std::filesystem::path(AVIOLOG_PLANNING_DATA) / "wx-export.met",
                               rig.dir / "wx-export.met");
    rig.weather.select(source(MetarSource::AS2004, ""));
    EXPECT_EQ(rig.weather.fetch("egll"), "EGLL 141020Z 24012KT 9999 FEW035 18/09 Q1021 NOSIG")
        << "CR LF line";
    EXPECT_EQ(rig.weather.fetch("LPPR"), "LPPR 141000Z 34012KT 9999 FEW020 19/13 Q1016")
        << "last line without line end";
    EXPECT_FALSE(rig.weather.fetch("LEMD"));
    EXPECT_TRUE(rig.http.urls.empty());

    // The engine's folder from the registry, inside the Wine prefix.
    test::TempDir prefix;
    std::filesystem::create_directories(prefix / "drive_c/AS2004");
    writeFileAtomically(prefix / "system.reg",
                        "WINE REGISTRY Version 2\n\n[Software\\\\HiFi\\\\AS2004] 1\n"
                        "\"Install_Path\"=\"C:\\\\AS2004\\\\\"\n");
    writeFileAtomically(prefix / "drive_c/AS2004/wx-export.met",
                        "LEMD 141000Z 03005KT CAVOK 25/05 Q1020\n");
    platform::posix::WineRegistry registry(prefix.path());
    Weather fromRegistry(rig.http, registry, rig.dir.path());
    fromRegistry.select(source(MetarSource::AS2004, ""));
    EXPECT_EQ(fromRegistry.fetch("LEMD"), "LEMD 141000Z 03005KT CAVOK 25/05 Q1020");
}

}  // namespace
}  // namespace aviolog::planning
