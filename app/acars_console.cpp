#include "app/acars_console.h"

#include <algorithm>
#include <utility>

#include "common/text_case.h"
#include "common/text_format.h"
#include "common/units.h"
#include "config/settings.h"
#include "model/main_window_model.h"
#include "simlink/sim_variables.h"

namespace aviolog::app {
namespace {

using wire::GaugeRecordType;

constexpr const char* kShowAcarsLabel = "Show ACARS";
constexpr const char* kFreeTextLabel = "Free text";
constexpr const char* kShowLogLabel = "Show LOG";
constexpr const char* kWeatherLabel = "Weather";
constexpr const char* kPlaneWeightLabel = "Plane Weight";
constexpr const char* kWeatherPrompt = "Input METAR ICAO";
constexpr const char* kFreeTextPrompt = "Input the free text comment";
constexpr const char* kMetarTitle = "METAR";
constexpr const char* kWeightsTitle = "Aircraft Weights";
constexpr const char* kZfwKgRow = "Zero fuel Weight: %02d Kg";
constexpr const char* kZfwLbRow = "Zero fuel Weight: %02d Lb";
constexpr const char* kFuelKgRow = "Fuel Weight: %02d Kg";
constexpr const char* kFuelLbRow = "Fuel Weight: %02d Lb";
constexpr const char* kWeightsKgLine =
    "%02d:%02d  Zero fuel Weight: %02d Kg, Fuel Weight: %02d Kg\n";
constexpr const char* kWeightsLbLine =
    "%02d:%02d  Zero fuel Weight: %02d Lb, Fuel Weight: %02d Lb\n";
constexpr const char* kFreeTextLine = "%02d:%02d  %s\n";
constexpr const char* kMetarLine = "%02d:%02d  %s:%s\n";
constexpr std::size_t kAirportChars = 4;

bool startsWithIgnoringCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() &&
           equalsIgnoringCase(text.substr(0, prefix.size()), prefix);
}

std::string lowerCase(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return lower;
}

MenuPage singleRowPage(const char* title) {
    MenuPage page;
    page.rows[0].left = title;
    return page;
}

}  // namespace

std::string renderMenuPage(const MenuPage& page) {
    std::string text;
    text.reserve(kMenuRows * (kMenuWidth + 1));
    for (const MenuRow& row : page.rows) {
        const std::string_view left = std::string_view(row.left).substr(0, kMaxLabelChars);
        const std::string_view right = std::string_view(row.right).substr(0, kMaxLabelChars);
        // Labels too long to share a row are written side by side; the terminal cuts the row.
        const std::size_t used = left.size() + right.size();
        text.append(left);
        text.append(used < kMenuWidth ? kMenuWidth - used : 0, ' ');
        text.append(right);
        text += '\n';
    }
    return text;
}

MenuPage mainMenuPage() {
    MenuPage page;
    page.rows[0] = {kShowAcarsLabel, kFreeTextLabel};
    page.rows[2].left = kShowLogLabel;
    page.rows[4].left = kWeatherLabel;
    page.rows[6].left = kPlaneWeightLabel;
    return page;
}

AcarsConsole::AcarsConsole(ConsoleContext context, GaugeClient& client)
    : c_(std::move(context)),
      lines_{.link = c_.link, .settings = c_.settings, .gauge = *this, .window = c_.window},
      client_(client) {}

void AcarsConsole::open(const std::string& machine) {
    if (client_.open(machine, port_)) sendPages();
}

void AcarsConsole::sendPages() {
    showPage(mainMenuPage());
    // The log so far (at log start, its opening lines), so that a terminal that joins or
    // comes back shows the whole flight.
    std::string log;
    for (const std::string& line : c_.window.lines(model::Channel::Log)) log += line + '\n';
    sendLines(2, log);
}

void AcarsConsole::sendLines(int page, std::string_view text) {
    if (!client_.connected()) return;
    const GaugeRecordType type =
        page == 1 ? GaugeRecordType::Page1Lines : GaugeRecordType::Page2Lines;
    while (!text.empty()) {
        std::size_t cut = text.size();
        if (cut > wire::kGaugeMaxTextChars) {
            const std::size_t lf = text.rfind('\n', wire::kGaugeMaxTextChars - 1);
            cut = lf == std::string_view::npos ? wire::kGaugeMaxTextChars : lf + 1;
        }
        client_.send(type, text.substr(0, cut));
        text.remove_prefix(cut);
    }
}

void AcarsConsole::showPage(const MenuPage& page) {
    client_.send(GaugeRecordType::Page3Lines, renderMenuPage(page));
    client_.send(GaugeRecordType::Command, wire::gauge_command::kPage3);
}

void AcarsConsole::refresh() {
    // Keys pressed while the simulator is paused wait in the socket until it runs again.
    const auto paused = simlink::readU16(c_.link, simlink::var::PauseControl);
    if (!paused || *paused != 0) return;
    wire::GaugeRecord record;
    switch (client_.poll(record)) {
        case GaugeClient::Event::Nothing:
            break;
        case GaugeClient::Event::Connected:
            sendPages();
            break;
        case GaugeClient::Event::Record:
            received_ = std::move(record.text);  // the type is not looked at
            dispatch(received_);
            break;
    }
}

void AcarsConsole::goBack() {
    if (depth_ > 1) --depth_;
    if (depth_ == 1) showPage(mainMenuPage());
}

void AcarsConsole::deeper() {
    if (depth_ < UINT16_MAX) ++depth_;
}

// Every check runs on the same text, in this order: a pending prompt takes whatever comes
// next, a key name too.
void AcarsConsole::dispatch(std::string_view text) {
    namespace key = wire::gauge_key;
    if (startsWithIgnoringCase(text, key::kShift)) goBack();
    // Shift itself (not a typed line that begins with the word) leaves a prompt unanswered:
    // the pilot backs out, and "Shift" never reaches the airline as a comment or a station.
    if ((freeTextPending_ || weatherPending_) && equalsIgnoringCase(text, key::kShift)) {
        freeTextPending_ = false;
        weatherPending_ = false;
        // The prompt asks for nothing any more: it gives way to the menu.
        if (depth_ > 1) showPage(mainMenuPage());
    }
    if (freeTextPending_) {
        freeTextPending_ = false;
        if (freeText(text)) {
            if (depth_ > 1) --depth_;
            showPage(mainMenuPage());
        }
    }
    if (weatherPending_) {
        weatherPending_ = false;
        if (const auto report = weather(text, false)) showWeather(*report);
    }
    if (startsWithIgnoringCase(text, key::kLeft[0])) {
        deeper();
        client_.send(GaugeRecordType::Command, wire::gauge_command::kPage1);
    }
    if (startsWithIgnoringCase(text, key::kLeft[1])) {
        deeper();
        client_.send(GaugeRecordType::Command, wire::gauge_command::kPage2);
    }
    if (startsWithIgnoringCase(text, key::kLeft[2])) {
        deeper();
        showPage(singleRowPage(kWeatherPrompt));
        weatherPending_ = true;
    }
    if (startsWithIgnoringCase(text, key::kLeft[3])) {
        deeper();
        weightsLine(true);
    }
    if (startsWithIgnoringCase(text, key::kRight[0])) {
        deeper();
        freeTextPending_ = true;
        showPage(singleRowPage(kFreeTextPrompt));
    }
}

bool AcarsConsole::freeText(std::string_view text) {
    const auto time = lines_.readLogTime();
    if (!time) return false;
    const std::string comment(text);
    c_.services.acars.freeTextMessage(time->hour, time->minute, comment);
    // To page 2 first, then the log display, as every log line goes.
    lines_.appendLog(format(kFreeTextLine, time->hour, time->minute, comment.c_str()));
    return true;
}

std::optional<std::string> AcarsConsole::weather(std::string_view text, bool lineToGauge) {
    const config::MetarSource source = c_.settings.metarSource;
    if (source == config::MetarSource::None) return std::nullopt;
    const std::string airport = lowerCase(text.substr(0, kAirportChars));
    auto report = c_.services.metar.fetch(airport);
    if (!report) return std::nullopt;
    if (const auto time = lines_.readLogTime()) {
        const std::string line = format(kMetarLine, time->hour, time->minute,
                                        config::metarSourceName(source), report->c_str());
        if (lineToGauge) {
            lines_.appendLog(line);
        } else {
            c_.window.appendDisplay(model::Channel::Log, line);
        }
    }
    c_.services.acars.metarMessage(*report);
    return report;
}

void AcarsConsole::showWeather(const std::string& report) {
    MenuPage page = singleRowPage(kMetarTitle);
    // What does not fit the page's eight rows is left out; the log has it whole.
    std::string_view rest = report;
    for (std::size_t r = 1; r < kMenuRows && !rest.empty(); ++r) {
        page.rows[r].left = std::string(rest.substr(0, kMenuWidth));
        rest.remove_prefix(std::min(rest.size(), kMenuWidth));
    }
    showPage(page);
}

bool AcarsConsole::weightsLine(bool withPage) {
    const auto grossLbs = simlink::readDouble(c_.link, simlink::var::GrossWeight);
    const double fuelKg = simlink::readFuelOnBoardKg(c_.link);
    const auto time = lines_.readLogTime();
    if (!grossLbs || fuelKg < 0.0 || !time) return false;
    const bool kg = recorder::usesKilograms(c_.settings);
    const int zeroFuel = kg ? recorder::whole(*grossLbs * kKgPerPound - fuelKg)
                            : recorder::whole(*grossLbs - fuelKg * kPoundsPerKg);
    const int fuel = kg ? recorder::whole(fuelKg) : recorder::whole(fuelKg * kPoundsPerKg);
    lines_.appendLog(
        format(kg ? kWeightsKgLine : kWeightsLbLine, time->hour, time->minute, zeroFuel, fuel));
    if (withPage) {
        MenuPage page = singleRowPage(kWeightsTitle);
        page.rows[1].left = format(kg ? kZfwKgRow : kZfwLbRow, zeroFuel);
        page.rows[2].left = format(kg ? kFuelKgRow : kFuelLbRow, fuel);
        showPage(page);
    }
    return true;
}

void AcarsConsole::runCommand(std::string_view text) {
    text = text.substr(0, kMaxCommandChars);
    if (startsWithIgnoringCase(text, "c ")) freeText(text.substr(2));
    if (c_.settings.metarSource != config::MetarSource::None &&
        startsWithIgnoringCase(text, "w ")) {
        weather(text.substr(2), true);
    }
    if (!text.empty() && (text[0] == 'p' || text[0] == 'P')) weightsLine(false);
}

}  // namespace aviolog::app
