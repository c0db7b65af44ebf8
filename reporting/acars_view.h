#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "model/main_window_model.h"

namespace aviolog::model {
class GaugeLink;
struct MenuPage;
}  // namespace aviolog::model

namespace aviolog::reporting {

inline constexpr const char* kAcarsMessages = "Acars Messages";
inline constexpr const char* kUplinkPageTitle = "Uplink Message";
inline constexpr std::size_t kGaugeRowChars = 44;

// The rows one ACARS message adds to the view, and what it sends to the gauge.
struct AcarsViewEntry {
    std::vector<std::string> headers;  // one per marker found, in the order found
    std::vector<std::string> lines;    // the text cut at LF, "<br>" and byte 163
    bool uplink = false;
    std::string sendToLine;  // the line holding "SENDTO"; empty when none
};

// Reads a message the way the ACARS view lists it. Empty pieces between two breaks are
// no lines: they would be blank rows and blank gauge lines.
AcarsViewEntry readAcarsMessage(std::string_view text);

// The gauge's third page for an uplink message: the title in row 1, then the line that
// holds "SENDTO" in pieces of 44 characters from row 3 on, as far as the page reaches.
model::MenuPage uplinkPage(std::string_view sendToLine);

// The "Acars Messages" tab: a header row per kind of message, then a row per line; every
// line also goes to the gauge's first page, and an uplink message takes the gauge's third
// page.
class AcarsView {
  public:
    AcarsView(model::MainWindowModel& window, model::GaugeLink& gauge)
        : window_(window), gauge_(gauge) {}

    void addAcarsMessage(std::string_view text);

    const model::PropertyList& rows() const { return rows_; }

  private:
    model::MainWindowModel& window_;  // told when rows change
    model::GaugeLink& gauge_;
    model::PropertyList rows_;
};

// The main window's append display for the ACARS channel: the line list and the view.
class AcarsDisplay {
  public:
    AcarsDisplay(model::MainWindowModel& window, AcarsView& view) : window_(window), view_(view) {}
    void show(std::string_view text) {
        window_.appendDisplay(model::Channel::Acars, text);
        view_.addAcarsMessage(text);
        shown_.emplace_back(text);
    }
    // Every message shown in this run, in order: what a restarted program shows again.
    const std::vector<std::string>& shown() const { return shown_; }
    AcarsView& view() { return view_; }

  private:
    model::MainWindowModel& window_;
    AcarsView& view_;
    std::vector<std::string> shown_;
};

}  // namespace aviolog::reporting
