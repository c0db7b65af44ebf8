#include "reporting/local_db_page.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <system_error>

#include "common/decimal_value.h"
#include "common/html_text.h"
#include "common/paths.h"
#include "common/text_file.h"
#include "common/text_format.h"
#include "model/flight_summary.h"

namespace aviolog::reporting {

namespace {

// A landing above the first rate (ft/min) is soft, down to the second firm, below it hard.
constexpr int kFirmLandingFpm = -300;
constexpr int kHardLandingFpm = -600;

// The drawing size of both plots, in the page's pixels at full width.
constexpr int kPlotWidth = 612;
constexpr int kPlotHeight = 186;

constexpr const char* kStyle = R"(
body { font: 15px/1.45 system-ui, "Segoe UI", Tahoma, Arial, sans-serif; margin: 0;
  background: #eef1f5; color: #1d2733; }
header { background: #17324d; color: #fff; padding: 18px 28px; }
header h1 { margin: 0; font-size: 22px; font-weight: 600; }
header p { margin: 4px 0 0; color: #b9cbe0; }
main { padding: 20px 28px 40px; }
.totals { display: flex; gap: 14px; flex-wrap: wrap; margin-bottom: 18px; }
.total { background: #fff; border-radius: 8px; padding: 10px 18px; min-width: 140px;
  box-shadow: 0 1px 3px rgba(0,0,0,.08); }
.total b { display: block; font-size: 22px; color: #17324d; }
.total span { color: #5b6b7c; font-size: 13px; }
.plots { display: flex; gap: 18px; flex-wrap: wrap; margin-bottom: 22px; }
figure { background: #fff; border-radius: 8px; margin: 0; padding: 12px 16px 8px;
  flex: 1 1 420px; box-shadow: 0 1px 3px rgba(0,0,0,.08); }
figcaption { font-weight: 600; margin-bottom: 6px; }
figcaption small { font-weight: 400; color: #5b6b7c; }
svg { width: 100%; height: auto; display: block; }
svg text { font: 10px system-ui, Arial, sans-serif; fill: #5b6b7c; }
.soft { fill: #2e9d57; } .firm { fill: #e0a02a; } .hard { fill: #d2453a; }
.month { fill: #3a78b8; }
.none { color: #5b6b7c; }
.rate { display: inline-block; width: 8px; height: 8px; border-radius: 50%; margin-right: 5px; }
.rate.soft { background: #2e9d57; } .rate.firm { background: #e0a02a; }
.rate.hard { background: #d2453a; }
.guide { stroke: #c5ced8; stroke-dasharray: 3 3; }
.axis { stroke: #8a99a8; }
.legend span { display: inline-block; width: 10px; height: 10px; border-radius: 2px;
  margin: 0 4px 0 10px; vertical-align: -1px; }
.flights { overflow-x: auto; background: #fff; border-radius: 8px;
  box-shadow: 0 1px 3px rgba(0,0,0,.08); }
table { border-collapse: collapse; width: 100%; font-size: 13px; }
th { background: #dfe6ee; text-align: left; padding: 7px 7px; font-weight: 600;
  white-space: nowrap; position: sticky; top: 0; }
td { padding: 5px 7px; border-top: 1px solid #e6ebf0; white-space: nowrap; }
td.num { text-align: right; font-variant-numeric: tabular-nums; }
td.route { white-space: normal; min-width: 150px; max-width: 360px; color: #44515f; }
tr.log td { border-top: none; padding: 0 8px 4px; }
tr.log summary { cursor: pointer; color: #3a78b8; font-size: 12px; width: max-content; }
tr.log pre { background: #f6f8fa; border: 1px solid #e1e6eb; border-radius: 6px;
  padding: 10px; max-height: 420px; overflow: auto; font-size: 12.5px; white-space: pre; }
tbody:hover tr { background: #f7fafd; }
.empty { background: #fff; border-radius: 8px; padding: 40px; text-align: center;
  color: #5b6b7c; box-shadow: 0 1px 3px rgba(0,0,0,.08); }
)";

std::string hoursMinutes(std::int64_t minutes) {
    return format("%lld:%02lld", static_cast<long long>(minutes / 60),
                  static_cast<long long>(minutes % 60));
}

const char* landingClass(std::int32_t rateFpm) {
    if (rateFpm > kFirmLandingFpm) return "soft";
    if (rateFpm >= kHardLandingFpm) return "firm";
    return "hard";
}

// "YYYY/MM" of a "YYYY/MM/DD" date; nothing for a date of another form.
std::optional<std::string> monthOf(std::string_view date) {
    if (date.size() < 7 || date[4] != '/') return std::nullopt;
    for (const std::size_t i : {0, 1, 2, 3, 5, 6}) {
        if (date[i] < '0' || date[i] > '9') return std::nullopt;
    }
    return std::string(date.substr(0, 7));
}

std::string totals(const std::vector<DatabaseFlight>& flights) {
    std::int64_t minutes = 0;
    std::int64_t distanceNm = 0;
    for (const DatabaseFlight& f : flights) {
        minutes += durationMinutes(f.Duration).value_or(0);
        distanceNm += f.Length;
    }
    const auto card = [](const std::string& value, const char* what) {
        return "<div class=\"total\"><b>" + value + "</b><span>" + what + "</span></div>\n";
    };
    return "<section class=\"totals\">\n" +
           card(format("%zu", flights.size()), flights.size() == 1 ? "flight" : "flights") +
           card(hoursMinutes(minutes), "total flight time") +
           card(format("%lld NM", static_cast<long long>(distanceNm)), "total distance") +
           "</section>\n";
}

// Bars hang down from the zero line: the harder the landing, the longer the bar. Oldest on
// the left, so the newest landing is the last bar.
std::string landingRatePlot(const std::vector<DatabaseFlight>& flights) {
    const std::size_t count = std::min(flights.size(), kLandingRateBars);
    std::int64_t deepestFpm = -kHardLandingFpm - kFirmLandingFpm;  // room beyond the hard line
    for (std::size_t i = 0; i < count; ++i) {
        deepestFpm =
            std::max<std::int64_t>(deepestFpm, -std::int64_t{flights[i].ToutchDownVerticalSpeed});
    }
    constexpr int kLeft = 44, kTop = 12, kHeight = 150, kStep = 28, kBar = 20;
    constexpr int width = kPlotWidth;
    const auto y = [&](std::int64_t fpm) {
        return kTop + static_cast<int>(std::llround(double(fpm) * kHeight / double(deepestFpm)));
    };
    std::string svg =
        format("<svg viewBox=\"0 0 %d %d\" role=\"img\" aria-label=\"Landing rates\">\n", width,
               kPlotHeight);
    for (const int fpm : {0, -kFirmLandingFpm, -kHardLandingFpm}) {
        svg += format(
            "<line class=\"%s\" x1=\"%d\" y1=\"%d\" x2=\"%d\" y2=\"%d\"/>"
            "<text x=\"%d\" y=\"%d\" text-anchor=\"end\">%d</text>\n",
            fpm == 0 ? "axis" : "guide", kLeft - 4, y(fpm), width - 4, y(fpm), kLeft - 8,
            y(fpm) + 3, -fpm);
    }
    for (std::size_t n = 0; n < count; ++n) {
        const DatabaseFlight& f = flights[count - 1 - n];
        const std::int32_t rate = f.ToutchDownVerticalSpeed;
        const int x = kLeft + static_cast<int>(n) * kStep + (kStep - kBar) / 2;
        const int height = std::max(2, y(std::max<std::int64_t>(-std::int64_t{rate}, 0)) - kTop);
        svg +=
            format("<rect class=\"bar %s\" x=\"%d\" y=\"%d\" width=\"%d\" height=\"%d\" rx=\"2\">",
                   landingClass(rate), x, kTop, kBar, height);
        svg += "<title>" + htmlEscaped(f.Date + " " + f.Depart + " - " + f.Arrival) +
               format(": %d ft/min</title></rect>", rate);
        svg += format("<text x=\"%d\" y=\"%d\" text-anchor=\"middle\">%d</text>\n", x + kBar / 2,
                      kTop + height + 12, rate);
    }
    return "<figure id=\"landing-rates\"><figcaption>Landing rates <small>" +
           (count == 1 ? std::string("the last flight") : format("the last %zu flights", count)) +
           ", ft/min</small></figcaption>\n" + svg +
           "</svg>\n<div class=\"legend\"><small><span style=\"background:#2e9d57\">"
           "</span>above -300<span style=\"background:#e0a02a\"></span>-300 to -600"
           "<span style=\"background:#d2453a\"></span>below -600</small></div></figure>\n";
}

// Flight time summed per month of the flight date, oldest month on the left.
std::string monthlyTimePlot(const std::vector<DatabaseFlight>& flights) {
    std::map<std::string, std::int64_t> minutesPerMonth;
    for (const DatabaseFlight& f : flights) {
        if (const auto month = monthOf(f.Date)) {
            minutesPerMonth[*month] += durationMinutes(f.Duration).value_or(0);
        }
    }
    std::vector<std::pair<std::string, std::int64_t>> months(minutesPerMonth.begin(),
                                                             minutesPerMonth.end());
    if (months.size() > kMonthBars) months.erase(months.begin(), months.end() - kMonthBars);
    std::int64_t most = 60;
    for (const auto& [month, minutes] : months) most = std::max(most, minutes);

    if (months.empty()) {
        return "<figure id=\"monthly-time\"><figcaption>Flight time per month</figcaption>\n"
               "<p class=\"none\">Flight time is summed by the month of the flight date, and "
               "no flight date reads year/month/day.</p></figure>\n";
    }
    // Both plots share one drawing size, so they sit side by side at the same scale.
    constexpr int kLeft = 8, kTop = 16, kHeight = 140;
    const int step = std::min(60, (kPlotWidth - kLeft - 8) / static_cast<int>(months.size()));
    const int bar = step * 7 / 10;
    // A few months stand in the middle rather than crowd the left edge.
    const int first = kLeft + (kPlotWidth - kLeft - 8 - step * static_cast<int>(months.size())) / 2;
    // Narrow bars have no room for "YYYY/MM": they show the month, and the year under
    // January and under the first bar.
    const bool shortLabels = step < 46;
    std::string svg =
        format("<svg viewBox=\"0 0 %d %d\" role=\"img\" aria-label=\"Flight time per month\">\n",
               kPlotWidth, kPlotHeight);
    svg += format("<line class=\"axis\" x1=\"%d\" y1=\"%d\" x2=\"%d\" y2=\"%d\"/>\n", kLeft,
                  kTop + kHeight, kPlotWidth - 4, kTop + kHeight);
    for (std::size_t n = 0; n < months.size(); ++n) {
        const auto& [month, minutes] = months[n];
        const int height =
            std::max(2, static_cast<int>(std::llround(double(minutes) * kHeight / double(most))));
        const int x = first + static_cast<int>(n) * step + (step - bar) / 2;
        const int middle = x + bar / 2;
        const int top = kTop + kHeight - height;
        svg += format(
            "<rect class=\"bar month\" x=\"%d\" y=\"%d\" width=\"%d\" height=\"%d\" rx=\"2\">", x,
            top, bar, height);
        svg += "<title>" + month + ": " + hoursMinutes(minutes) + "</title></rect>";
        svg += format("<text x=\"%d\" y=\"%d\" text-anchor=\"middle\"%s>%s</text>", middle, top - 4,
                      shortLabels ? " font-size=\"8\"" : "", hoursMinutes(minutes).c_str());
        const std::string label = shortLabels ? month.substr(5) : month;
        svg += format("<text x=\"%d\" y=\"%d\" text-anchor=\"middle\">%s</text>", middle,
                      kTop + kHeight + 13, label.c_str());
        if (shortLabels && (n == 0 || month.substr(5) == "01")) {
            svg += format("<text x=\"%d\" y=\"%d\" text-anchor=\"middle\">%s</text>", middle,
                          kTop + kHeight + 25, month.substr(0, 4).c_str());
        }
        svg += "\n";
    }
    return "<figure id=\"monthly-time\"><figcaption>Flight time per month <small>hh:mm</small>"
           "</figcaption>\n" +
           svg + "</svg></figure>\n";
}

std::string flightRows(const DatabaseFlight& f,
                       const std::function<bool(const std::string&)>& pageKept) {
    const auto text = [](const std::string& value) {
        return "<td>" + htmlEscaped(value) + "</td>";
    };
    const auto number = [](std::int64_t value) {
        return format("<td class=\"num\">%lld</td>", static_cast<long long>(value));
    };
    std::string row = "<tbody><tr>" + number(f.TotalFlightNumber) + text(f.Date) + text(f.Hour) +
                      text(f.Callsign) + text(f.IATANumber) + text(f.Registration) +
                      text(f.Depart) + text(f.Arrival) + text(f.PlaneType) + number(f.SpentFuel) +
                      "<td class=\"num\">" + htmlEscaped(f.Duration) + "</td>" + number(f.Length) +
                      format("<td class=\"num\"><span class=\"rate %s\"></span>%d</td>",
                             landingClass(f.ToutchDownVerticalSpeed), f.ToutchDownVerticalSpeed) +
                      number(f.ToutchDownSpeed) + text(f.FlightLevel) + "<td class=\"route\">" +
                      htmlEscaped(f.Route) + "</td></tr>\n";
    const std::string landing = model::landingPageName(f.Date, f.Hour);
    row += "<tr class=\"log\"><td colspan=\"16\">";
    if (pageKept && pageKept(landing)) {
        row += "<a class=\"landing\" href=\"" + htmlEscaped(landing) + "\">Landing analysis</a>";
    }
    row += "<details><summary>Flight log</summary><pre>" + htmlEscaped(f.Log) +
           "</pre></details></td></tr></tbody>\n";
    return row;
}

std::string flightTable(const std::vector<DatabaseFlight>& flights,
                        const std::function<bool(const std::string&)>& pageKept) {
    std::string table =
        "<div "
        "class=\"flights\"><table>\n<thead><tr><th>#</th><th>Date</th><th>Start</th><th>Callsign</"
        "th>"
        "<th>Flight</th><th>Reg.</th><th>From</th><th>To</th><th>Aircraft</th>"
        "<th>Fuel</th><th>Duration</th><th>Dist. NM</th><th>Landing ft/min</th>"
        "<th>Landing kt</th><th>Level</th><th>Route</th></tr></thead>\n";
    for (const DatabaseFlight& f : flights) table += flightRows(f, pageKept);
    return table + "</table></div>\n";
}

}  // namespace

std::optional<std::int64_t> durationMinutes(std::string_view text) {
    const std::size_t colon = text.find(':');
    if (colon == 0 || colon == std::string_view::npos || colon + 1 == text.size()) {
        return std::nullopt;
    }
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (i != colon && (text[i] < '0' || text[i] > '9')) return std::nullopt;
    }
    return std::int64_t{decimalValue(text.substr(0, colon))} * 60 +
           decimalValue(text.substr(colon + 1));
}

std::string localDbPageHtml(const std::vector<DatabaseFlight>& flights,
                            const std::function<bool(const std::string&)>& pageKept) {
    std::string html =
        "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"windows-1252\">\n"
        "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
        "<title>Local flight database</title>\n<style>" +
        std::string(kStyle) +
        "</style>\n</head>\n<body>\n<header><h1>Local flight database</h1>"
        "<p>Every flight you accepted, newest first</p></header>\n<main>\n";
    if (flights.empty()) {
        html +=
            "<div class=\"empty\"><p><b>No flights yet.</b></p>"
            "<p>Each flight you accept is added here.</p></div>\n";
    } else {
        html += totals(flights);
        html += "<section class=\"plots\">\n" + landingRatePlot(flights) +
                monthlyTimePlot(flights) + "</section>\n";
        html += flightTable(flights, pageKept);
    }
    return textModeBytes(html + "</main>\n</body>\n</html>\n");
}

LocalDbPageResult writeLocalDbPage(const std::filesystem::path& workDir) {
    LocalDbPageResult result;
    const StoredFlights stored = LocalDatabase(localPath(workDir, kLocalDatabaseFile)).flights();
    if (stored.error) {
        result.error = stored.error;
        return result;
    }
    std::error_code ec;
    const std::filesystem::path page =
        std::filesystem::absolute(localPath(workDir, kLocalDbPage), ec);
    // The landing pages lie beside it, in the working directory.
    const auto kept = [&workDir](const std::string& name) {
        std::error_code missing;
        return std::filesystem::is_regular_file(workDir / name, missing);
    };
    if (ec || !writeFileAtomically(page, localDbPageHtml(stored.flights, kept))) {
        result.error = kPageNotWritten;
        return result;
    }
    result.page = page;
    return result;
}

}  // namespace aviolog::reporting
