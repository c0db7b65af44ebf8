#include "reporting/acars_view.h"

#include "model/flight_services.h"

namespace aviolog::reporting {
namespace {

struct Marker {
    std::string_view text;
    const char* header;
};

constexpr Marker kMarkers[] = {
    {"AUTOPOS", "AutoPos Message"}, {"METAR", "Metar Message"}, {"BLQ OFF", "Block off Message"},
    {"T/O", "Take off Message"},    {"LDG", "Landing Message"}, {"BLK ON", "Block on Message"},
    {"Uplink", kUplinkPageTitle},
};
constexpr const char* kFreeTextHeader = "Free text Message";
constexpr std::string_view kSendTo = "SENDTO";
constexpr std::string_view kHtmlBreak = "<br>";
constexpr char kPoundByte = '\xA3';

}  // namespace

AcarsViewEntry readAcarsMessage(std::string_view text) {
    AcarsViewEntry entry;
    for (std::size_t at = 0; at < text.size(); ++at) {
        for (const Marker& m : kMarkers) {
            if (text.substr(at, m.text.size()) != m.text) continue;
            entry.headers.emplace_back(m.header);
            if (m.header == kUplinkPageTitle) entry.uplink = true;
        }
    }
    if (entry.headers.empty()) entry.headers.emplace_back(kFreeTextHeader);

    auto addLine = [&](std::string_view line) {
        if (line.empty()) return;
        entry.lines.emplace_back(line);
        if (entry.sendToLine.empty() && line.find(kSendTo) != std::string_view::npos) {
            entry.sendToLine = line;
        }
    };
    std::size_t start = 0;
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t breakLength = 0;
        if (text[at] == '\n' || text[at] == kPoundByte) breakLength = 1;
        if (text.substr(at, kHtmlBreak.size()) == kHtmlBreak) breakLength = kHtmlBreak.size();
        if (breakLength == 0) {
            ++at;
            continue;
        }
        addLine(text.substr(start, at - start));
        at += breakLength;
        start = at;
    }
    addLine(text.substr(start));
    return entry;
}

model::MenuPage uplinkPage(std::string_view sendToLine) {
    model::MenuPage page;
    page.rows[0].left = kUplinkPageTitle;
    std::size_t row = 2;
    for (std::size_t at = 0; at < sendToLine.size() && row < page.rows.size();
         at += kGaugeRowChars, ++row) {
        page.rows[row].left = sendToLine.substr(at, kGaugeRowChars);
    }
    return page;
}

void AcarsView::addAcarsMessage(std::string_view text) {
    const AcarsViewEntry entry = readAcarsMessage(text);
    for (const std::string& header : entry.headers) rows_.add(kAcarsMessages, header, "");
    const bool gaugeOpen = gauge_.isOpen();
    for (const std::string& line : entry.lines) {
        rows_.add(kAcarsMessages, "", line);
        if (gaugeOpen) gauge_.page1Lines(line);
    }
    if (entry.uplink && gaugeOpen) gauge_.showPage(uplinkPage(entry.sendToLine));
    window_.viewsChanged();
}

}  // namespace aviolog::reporting
