#pragma once

// The main window as data: its two line stores, the states of the flight controls, the
// status text and the rows of the information views. The core changes it; whoever draws
// the window observes it.

#include <string>
#include <string_view>
#include <vector>

namespace aviolog::model {

enum class Channel { Log, Acars };

// The controls whose state the flight log drives.
enum class Control {
    StartLog,
    StopLog,
    ResumeLog,
    Commands,
    FlightData,  // the form's flight-data button
    SendLog,
    SaveLog,  // the "Save &Log" menu command
    StartLogDump,
    StopLogDump,
};
inline constexpr int kControlCount = 9;

// What "Start LOG" waits for: the form's departure, arrival and route, and the open link.
enum class StartNeed { FormFilled, LinkOpen };

struct ControlState {
    bool shown = false;
    bool enabled = false;
    bool operator==(const ControlState&) const = default;
};

struct PropertyRow {
    std::string name;
    std::string value;
    bool operator==(const PropertyRow&) const = default;
};

struct PropertyCategory {
    std::string caption;
    std::vector<PropertyRow> rows;
};

// Categories in the order of first use, rows in the order added.
class PropertyList {
  public:
    void add(std::string_view category, std::string name, std::string value);
    void clear(std::string_view category);
    const std::vector<PropertyRow>* rows(std::string_view category) const;
    const std::vector<PropertyCategory>& categories() const { return categories_; }

  private:
    std::vector<PropertyCategory> categories_;
};

class MainWindowObserver {
  public:
    virtual ~MainWindowObserver() = default;
    virtual void lineAdded(Channel, const std::string& /*line*/) {}
    virtual void linesReplaced(Channel) {}
    virtual void controlsChanged() {}
    virtual void statusChanged(const std::string& /*text*/) {}
    virtual void viewsChanged() {}
    virtual void summaryOffered() {}
};

// A flight-log line as the log view shows it. A line that begins with its time ("hh:mm",
// then two blanks) is named by the time and valued by the text from its eighth character
// on; any other line (the header that the stop puts in front of the log) is valued whole,
// with no name.
PropertyRow logViewRow(std::string_view line);

inline constexpr const char* kPlaneData = "Plane Data";
inline constexpr const char* kFlightData = "Flight Data";
inline constexpr const char* kFlightResults = "Flight Results";

class MainWindowModel {
  public:
    MainWindowModel();

    // Adds every line-feed-terminated line of text to the channel; a last part without
    // a line feed is not a line yet and is dropped.
    void appendDisplay(Channel channel, std::string_view text);
    void clear(Channel channel);
    void replaceLines(Channel channel, std::vector<std::string> lines);
    const std::vector<std::string>& lines(Channel channel) const;

    ControlState control(Control c) const { return controls_[static_cast<int>(c)]; }
    void show(Control c, bool shown);
    void enable(Control c, bool enabled);
    // "Start LOG" is enabled once both needs are met, in either order; nothing here
    // disables it again.
    void meet(StartNeed need);

    const std::string& status() const { return status_; }
    void setStatus(std::string text);

    // Only sending logs and changing options remain.
    bool reducedMode() const { return reducedMode_; }
    void enterReducedMode();

    PropertyList& results() { return results_; }
    const PropertyList& results() const { return results_; }
    void viewsChanged();
    bool resultsShown() const { return resultsShown_; }
    void showResults();

    bool summaryOffered() const { return summaryOffered_; }
    void offerSummary();
    void closeSummary() { summaryOffered_ = false; }

    void addObserver(MainWindowObserver* observer) { observers_.push_back(observer); }
    void removeObserver(MainWindowObserver* observer);

  private:
    void controlsChanged();

    std::vector<std::string> logLines_;
    std::vector<std::string> acarsLines_;
    ControlState controls_[kControlCount];
    bool formFilled_ = false;
    bool linkOpen_ = false;
    std::string status_;
    bool reducedMode_ = false;
    PropertyList results_;
    bool resultsShown_ = false;
    bool summaryOffered_ = false;
    std::vector<MainWindowObserver*> observers_;
};

}  // namespace aviolog::model
