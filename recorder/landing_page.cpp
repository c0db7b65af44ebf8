#include "recorder/landing_page.h"

#include <algorithm>
#include <cmath>
#include <string_view>
#include <vector>

#include "common/html_text.h"
#include "common/text_format.h"

namespace aviolog::recorder {

namespace {

constexpr double kWindowSec = LandingAnalysis::kTraceSec;
constexpr int kPlotWidth = 720;
constexpr int kPlotHeight = 150;
constexpr int kLeft = 58;  // room for the axis's figures
constexpr int kRight = 12;
constexpr int kTop = 10;
constexpr int kBottom = 24;

constexpr const char* kStyle = R"(
body { font: 15px/1.45 system-ui, "Segoe UI", Tahoma, Arial, sans-serif; margin: 0;
  background: #eef1f5; color: #1d2733; }
header { background: #17324d; color: #fff; padding: 16px 26px; }
header h1 { margin: 0; font-size: 21px; font-weight: 600; }
header p { margin: 4px 0 0; color: #b9cbe0; }
main { padding: 18px 26px 36px; }
ul.figures { background: #fff; border-radius: 8px; padding: 12px 18px 12px 36px; margin: 0 0 16px;
  box-shadow: 0 1px 3px rgba(0,0,0,.08); }
ul.figures li.first { font-size: 19px; font-weight: 600; color: #17324d; list-style: none;
  margin-left: -18px; }
ul.figures li.warning { color: #b3261e; font-weight: 600; }
figure { background: #fff; border-radius: 8px; margin: 0 0 14px; padding: 10px 14px 6px;
  box-shadow: 0 1px 3px rgba(0,0,0,.08); max-width: 760px; }
figcaption { font-weight: 600; margin-bottom: 4px; }
svg text { font-size: 11px; fill: #5b6b7c; }
.line { fill: none; stroke: #1f6fb2; stroke-width: 2; }
.contact { stroke: #b3261e; stroke-width: 1.5; stroke-dasharray: 4 3; }
.axis { stroke: #c9d2dc; stroke-width: 1; }
)";

struct Series {
    const char* caption;
    const char* unit;
    double TracePoint::*value;
};

// One plot: the series over the window, a grid line at each of five values, the contacts.
std::string plot(const std::vector<TracePoint>& points, double fromSec, const Series& series,
                 const std::vector<LandingContact>& contacts) {
    double low = 0.0;
    double high = 0.0;
    for (const TracePoint& p : points) {
        low = std::min(low, p.*series.value);
        high = std::max(high, p.*series.value);
    }
    if (high - low < 1.0) high = low + 1.0;
    const double innerW = kPlotWidth - kLeft - kRight;
    const double innerH = kPlotHeight - kTop - kBottom;
    auto x = [&](double sec) { return kLeft + (sec - fromSec) / kWindowSec * innerW; };
    auto y = [&](double v) { return kTop + (high - v) / (high - low) * innerH; };

    std::string svg = format(
        "<figure><figcaption>%s (%s)</figcaption><svg viewBox=\"0 0 %d %d\" "
        "style=\"width:100%%;height:auto\" role=\"img\">",
        series.caption, series.unit, kPlotWidth, kPlotHeight);
    for (int i = 0; i <= 4; ++i) {
        const double v = low + (high - low) * i / 4.0;
        svg += format("<line class=\"axis\" x1=\"%d\" y1=\"%.1f\" x2=\"%d\" y2=\"%.1f\"/>", kLeft,
                      y(v), kPlotWidth - kRight, y(v));
        svg += format("<text x=\"%d\" y=\"%.1f\" text-anchor=\"end\">%.0f</text>", kLeft - 6,
                      y(v) + 4, v);
    }
    for (int sec = 0; sec <= 60; sec += 10) {
        svg += format("<text x=\"%.1f\" y=\"%d\" text-anchor=\"middle\">%d s</text>",
                      x(fromSec + sec), kPlotHeight - 6, sec - 60);
    }
    std::string path;
    for (const TracePoint& p : points) {
        path += format("%s%.1f,%.1f", path.empty() ? "M" : " L", x(p.atSec), y(p.*series.value));
    }
    if (!path.empty()) svg += "<path class=\"line\" d=\"" + path + "\"/>";
    for (std::size_t i = 0; i < contacts.size(); ++i) {
        if (contacts[i].atSec < fromSec) continue;
        svg += format(
            "<line class=\"contact\" x1=\"%.1f\" y1=\"%d\" x2=\"%.1f\" y2=\"%.0f\"><title>%s %d: "
            "%d ft/min</title></line>",
            x(contacts[i].atSec), kTop, x(contacts[i].atSec), kTop + innerH,
            i == 0 ? "Touchdown" : "Bounce", int(i), contacts[i].rateFpm);
    }
    return svg + "</svg></figure>\n";
}

}  // namespace

std::string landingPageHtml(const LandingReport& report, const LandingPageTitle& title) {
    std::string html =
        "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"windows-1252\">"
        "<title>Landing " +
        htmlEscaped(title.callsign) + "</title><style>" + kStyle + "</style></head><body>\n";
    html += "<header><h1>Landing at " + htmlEscaped(title.arrival) + "</h1><p>" +
            htmlEscaped(title.callsign) + " " + htmlEscaped(title.departure) + " - " +
            htmlEscaped(title.arrival) + ", " + htmlEscaped(title.date) + " " +
            htmlEscaped(title.hour) + "</p></header>\n<main>\n<ul class=\"figures\">";
    const std::vector<std::string> lines = landingReportLines(report);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const bool warning = lines[i].starts_with("Touchdown while") ||
                             lines[i].starts_with("Touchdown at simulation rate") ||
                             report.status != LandingReport::Status::Observed;
        html += std::string("<li class=\"") + (i == 0 ? "first" : "") +
                (warning ? " warning" : "") + "\">" + htmlEscaped(lines[i]) + "</li>";
    }
    html += "</ul>\n";
    const std::vector<TracePoint>& trace = report.trace;
    if (!trace.empty()) {
        const double toSec = trace.back().atSec;
        const double fromSec = toSec - kWindowSec;
        std::vector<TracePoint> shown;
        for (const TracePoint& p : trace) {
            if (p.atSec >= fromSec) shown.push_back(p);
        }
        const Series series[] = {{"Height above the ground", "ft", &TracePoint::heightFt},
                                 {"Vertical speed", "ft/min", &TracePoint::verticalSpeedFpm},
                                 {"Indicated airspeed", "kt", &TracePoint::indicatedAirspeedKt}};
        for (const Series& s : series) html += plot(shown, fromSec, s, report.contacts);
    }
    return html + "</main></body></html>\n";
}

}  // namespace aviolog::recorder
