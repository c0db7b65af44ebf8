#include "reporting/local_db_page.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/temp_dir.h"

namespace aviolog::reporting {
namespace {

using test::TempDir;

DatabaseFlight flight(const std::string& date, const std::string& duration, std::int32_t rateFpm) {
    DatabaseFlight f;
    f.Date = date;
    f.Duration = duration;
    f.ToutchDownVerticalSpeed = rateFpm;
    f.Depart = "LPPT";
    f.Arrival = "LFPG";
    f.Log = "09:05  Log started\n";
    return f;
}

// Stores the flights, oldest first, and writes the page.
std::string pageFor(const TempDir& dir, const std::vector<DatabaseFlight>& flights) {
    const LocalDatabase db(dir / "aviolog.db");
    for (const DatabaseFlight& f : flights) EXPECT_EQ(db.add(f), std::nullopt);
    const LocalDbPageResult result = writeLocalDbPage(dir.path());
    EXPECT_EQ(result.error, std::nullopt);
    EXPECT_TRUE(result.page.is_absolute());
    EXPECT_EQ(result.page, dir / "localdb.htm");
    return dir.read("localdb.htm");
}

// The part of the page from the element with this id to the end of the element.
std::string element(const std::string& html, const std::string& id, const std::string& end) {
    const std::size_t begin = html.find("id=\"" + id + "\"");
    if (begin == std::string::npos) return "";
    return html.substr(begin, html.find(end, begin) - begin);
}

std::size_t count(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
        ++n;
    }
    return n;
}

TEST(LocalDbPage, ListsEveryFlightNewestFirst) {
    TempDir dir;
    std::vector<DatabaseFlight> flights;
    for (const char* callsign : {"FIRST1", "SECOND2", "THIRD3"}) {
        flights.push_back(flight("2026/03/01", "01:00", -200));
        flights.back().Callsign = callsign;
    }
    const std::string html = pageFor(dir, flights);
    const std::size_t third = html.find("THIRD3");
    const std::size_t second = html.find("SECOND2");
    const std::size_t first = html.find("FIRST1");
    ASSERT_NE(first, std::string::npos);
    EXPECT_LT(third, second);
    EXPECT_LT(second, first);
    EXPECT_EQ(count(html, "<details>"), 3u) << "each flight's log can be opened";
}

TEST(LocalDbPage, ValuesAreEscapedAndKeepTheirCodePage) {
    TempDir dir;
    DatabaseFlight f = flight("2026/03/01", "01:00", -200);
    f.Callsign = "<b>&";
    f.Route = "A<>B \"q\"";
    f.Log = "</pre><script>alert(1)</script>\nCaf\xE9\n";
    f.PlaneType = "A320\xAE";
    const std::string html = pageFor(dir, {f});
    EXPECT_EQ(html.find("<b>&"), std::string::npos);
    EXPECT_EQ(html.find("<script>"), std::string::npos);
    EXPECT_NE(html.find("&lt;b&gt;&amp;"), std::string::npos);
    EXPECT_NE(html.find("A&lt;&gt;B &quot;q&quot;"), std::string::npos);
    EXPECT_NE(html.find("Caf\xE9\r\n"), std::string::npos) << "Windows-1252 bytes, CR LF lines";
    EXPECT_NE(html.find("A320\xAE"), std::string::npos);
    EXPECT_NE(html.find("<meta charset=\"windows-1252\">"), std::string::npos);
    EXPECT_EQ(html.find("http"), std::string::npos) << "nothing is fetched from a network";
}

TEST(LocalDbPage, WithoutFlightsThePageSaysSo) {
    struct Row {
        const char* name;
        bool createDatabase;
    };
    for (const Row row : {Row{"no database file", false}, Row{"empty database", true}}) {
        TempDir dir;
        if (row.createDatabase) {
            ASSERT_EQ(LocalDatabase(dir / "aviolog.db").prepare(), std::nullopt);
        }
        const LocalDbPageResult result = writeLocalDbPage(dir.path());
        ASSERT_EQ(result.error, std::nullopt) << row.name;
        const std::string html = dir.read("localdb.htm");
        EXPECT_NE(html.find("No flights yet"), std::string::npos) << row.name;
        EXPECT_EQ(html.find("<table"), std::string::npos) << row.name;
        EXPECT_EQ(html.find("<svg"), std::string::npos) << row.name;
        EXPECT_EQ(dir.exists("aviolog.db"), row.createDatabase) << row.name;
    }
}

TEST(LocalDbPage, AnUnreadableDatabaseIsReportedAndNoPageWritten) {
    TempDir dir;
    dir.write("aviolog.db", std::string(4096, '\x01'));
    const LocalDbPageResult result = writeLocalDbPage(dir.path());
    EXPECT_TRUE(result.error.has_value());
    EXPECT_FALSE(dir.exists("localdb.htm"));
}

TEST(LocalDbPage, LandingPlotShowsTheRecentFlightsColouredByFirmness) {
    TempDir dir;
    std::vector<DatabaseFlight> flights;
    // 25 flights; the 20 newest are 10 soft, 6 firm and 4 hard landings.
    for (int i = 0; i < 5; ++i) flights.push_back(flight("2026/01/01", "01:00", -900));
    for (int i = 0; i < 10; ++i) flights.push_back(flight("2026/01/02", "01:00", -120 - i));
    for (const int rate : {-300, -301, -450, -599, -600, -550}) {
        flights.push_back(flight("2026/01/03", "01:00", rate));
    }
    for (int i = 0; i < 4; ++i) flights.push_back(flight("2026/01/04", "01:00", -601 - 100 * i));
    const std::string plot = element(pageFor(dir, flights), "landing-rates", "</figure>");
    EXPECT_EQ(count(plot, "<rect class=\"bar "), kLandingRateBars);
    EXPECT_EQ(count(plot, "<rect class=\"bar soft\""), 10u);
    EXPECT_EQ(count(plot, "<rect class=\"bar firm\""), 6u);
    EXPECT_EQ(count(plot, "<rect class=\"bar hard\""), 4u);
    EXPECT_EQ(count(plot, "-900 ft/min"), 0u) << "older flights stay out of the plot";
}

TEST(LocalDbPage, MonthlyPlotSumsFlightTimePerMonth) {
    TempDir dir;
    const std::vector<DatabaseFlight> flights = {
        flight("2026/01/30", "01:45", -100), flight("2025/12/01", "00:30", -100),
        flight("2026/01/02", "02:20", -100), flight("2026/03/09", "10:05", -100),
        flight("not a date", "05:00", -100), flight("2026/03/10", "bad", -100),
    };
    const std::string html = pageFor(dir, flights);
    const std::string plot = element(html, "monthly-time", "</figure>");
    EXPECT_EQ(count(plot, "<rect class=\"bar month\""), 3u);
    const std::size_t december = plot.find("<title>2025/12: 0:30</title>");
    const std::size_t january = plot.find("<title>2026/01: 4:05</title>");
    const std::size_t march = plot.find("<title>2026/03: 10:05</title>");
    ASSERT_NE(december, std::string::npos);
    ASSERT_NE(january, std::string::npos);
    ASSERT_NE(march, std::string::npos);
    EXPECT_LT(december, january);
    EXPECT_LT(january, march);
    EXPECT_NE(html.find("<b>19:40</b><span>total flight time"), std::string::npos);
}

TEST(LocalDbPage, FlightsWithoutAYearAndMonthStillGiveAPage) {
    TempDir dir;
    const std::string html =
        pageFor(dir, {flight("", "01:00", -150), flight("not a date", "00:40", -700)});
    EXPECT_EQ(count(element(html, "landing-rates", "</figure>"), "<rect class=\"bar "), 2u);
    const std::string plot = element(html, "monthly-time", "</figure>");
    EXPECT_EQ(count(plot, "<rect class=\"bar month\""), 0u);
    EXPECT_NE(plot.find("no flight date reads year/month/day"), std::string::npos) << plot;
    EXPECT_NE(html.find("<b>1:40</b><span>total flight time"), std::string::npos);
}

TEST(LocalDbPage, DurationsAreHoursAndMinutes) {
    struct Row {
        const char* text;
        std::optional<std::int64_t> minutes;
    };
    const Row rows[] = {
        {"02:15", 135},          {"00:00", 0},           {"123:05", 7385},
        {"", std::nullopt},      {"2:", std::nullopt},   {":30", std::nullopt},
        {"-1:30", std::nullopt}, {"1:3x", std::nullopt},
    };
    for (const Row& row : rows) EXPECT_EQ(durationMinutes(row.text), row.minutes) << row.text;
}

}  // namespace
}  // namespace aviolog::reporting

namespace aviolog::reporting {
namespace {

// A flight whose landing page lies beside the log links to it; one from before the
// analysis, without a page, links nowhere.
TEST(LocalDbPage, EachFlightLinksToItsOwnLandingPage) {
    TempDir dir;
    std::vector<DatabaseFlight> flights{flight("2026/03/01", "01:00", -200),
                                        flight("2026/03/02", "01:10", -150)};
    flights[0].Hour = "09:05:00";
    flights[1].Hour = "14:30:00";
    dir.write("landing-20260302-1430.htm", "<html></html>");
    const std::string html = pageFor(dir, flights);
    EXPECT_EQ(count(html, "class=\"landing\""), 1U) << html;
    EXPECT_NE(html.find("href=\"landing-20260302-1430.htm\">Landing analysis</a>"),
              std::string::npos);
    EXPECT_EQ(html.find("landing-20260301-0905.htm"), std::string::npos);
}

}  // namespace
}  // namespace aviolog::reporting
