#pragma once

// The program's side of the cockpit terminal: it owns the gauge link, decides what the
// terminal's keys mean, draws the menu and prompt pages on the terminal's page 3 and
// carries out the console's functions (ACARS messages, the log, weather, weights, a
// free-text comment), which the "Commands" dialog reaches as typed commands too.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "app/gauge_client.h"
#include "model/flight_services.h"
#include "recorder/recorder_context.h"

namespace aviolog::app {

// What the console uses: the simulator, the settings (the METAR source, the weight unit,
// the log's clock), the log display, and the services its commands call out to.
struct ConsoleContext {
    simlink::SimLink& link;
    const config::Settings& settings;
    model::MainWindowModel& window;
    // ACARS messages and METARs. The application makes them after the console: what the
    // terminal's keys send comes back to the terminal through the ACARS view, so the
    // console comes first and reaches them only once a key is pressed.
    model::FlightServices& services;
};

inline constexpr std::size_t kMenuRows = 9;
inline constexpr std::size_t kMenuWidth = 44;
inline constexpr std::size_t kMaxLabelChars = 49;
inline constexpr std::size_t kMaxCommandChars = 149;

// One page-3 screen: a left and a right label per row; the line-select keys sit beside
// rows 1, 3, 5 and 7. The recorder's interface to the gauge defines it.
using model::MenuPage;
using model::MenuRow;
static_assert(std::tuple_size_v<decltype(MenuPage::rows)> == kMenuRows);

// Nine lines of 44 characters, each followed by LF: the left label flush left, the right
// one flush right, beside their keys.
std::string renderMenuPage(const MenuPage& page);

MenuPage mainMenuPage();

class AcarsConsole final : public model::GaugeLink {
  public:
    AcarsConsole(ConsoleContext context, GaugeClient& client);

    // Where the terminal listens. The program always uses the default port; tests move
    // it off the shared one.
    void setGaugePort(int port) { port_ = port; }

    // model::GaugeLink: opened at log start, page-2 lines, the gauge timer's tick.
    bool isOpen() const override { return client_.active(); }
    void open(const std::string& machine) override;
    void page2Lines(const std::string& text) override { sendLines(2, text); }
    void page1Lines(const std::string& text) override { sendLines(1, text); }
    void refresh() override;

    // Lines for page 1 (ACARS messages) or page 2 (the flight log); skipped while the
    // terminal is not connected. A text longer than a record goes in several, cut at
    // line ends.
    void sendLines(int page, std::string_view text);
    // The page on the terminal's page 3, shown at once.
    void showPage(const MenuPage& page) override;

    // A command typed in the "Commands" dialog: "c TEXT" a comment, "w ICAO" a weather
    // report (when a METAR source is set), "p" the weights.
    void runCommand(std::string_view text);

    std::uint16_t menuDepth() const { return depth_; }
    const std::string& receivedText() const { return received_; }

  private:
    void sendPages();
    void dispatch(std::string_view text);
    void goBack();
    void deeper();
    bool freeText(std::string_view text);
    // The report for the first four characters, lower-cased; its log line goes to the log
    // display, and to page 2 too when asked. Nothing when no source or no report.
    std::optional<std::string> weather(std::string_view text, bool lineToGauge);
    void showWeather(const std::string& report);
    // The weights line to page 2 and the log display; false when the simulator did not answer.
    bool weightsLine(bool showPage);

    ConsoleContext c_;
    // Its lines go to the terminal's page 2 first, as every log line goes.
    recorder::LogLines lines_;
    GaugeClient& client_;
    int port_ = wire::kGaugeDefaultPort;
    std::uint16_t depth_ = 1;
    bool freeTextPending_ = false;
    bool weatherPending_ = false;
    std::string received_;
};

}  // namespace aviolog::app
