#pragma once

// The main window's tabs and the column of buttons beside them: which button stands where,
// and which are shown and enabled for the selected tab and the flight's state. The window
// draws what this decides.

#include <array>

#include "model/main_window_model.h"

namespace aviolog::model {

enum class Tab { FlightLog, AcarsMessages, FlightPlaneData, FlightPlan, InformationBrowser };
inline constexpr int kTabCount = 5;
inline constexpr std::array<const char*, kTabCount> kTabNames{
    "Flight Log", "Acars Messages", "Flight/Plane Data", "Flight Plan", "Information browser"};

enum class Button {
    StartLog,
    StopLog,
    ResumeLog,
    Commands,
    FsBuildImport,  // captioned "Aviolog"
    AcarsRealTime,
    StartLogDump,
    StopLogDump,
    SendLog,
    FsFlightPlan,
    LocalDb,
    Servinfo,
    VaSite,
    FlightFromVa,
    ExportSb3,
    Landing,
    Simbrief,
};
inline constexpr int kButtonCount = 17;

struct ButtonInfo {
    Button button;
    const char* caption;
    int placeY;           // dialog units from the top; buttons of one place never show together
    const char* tooltip;  // "" when none
};

inline constexpr std::array<ButtonInfo, kButtonCount> kButtons{{
    {Button::StartLog, "Start LOG", 20, "Star Log Session"},
    {Button::StopLog, "Stop LOG", 20, ""},
    {Button::ResumeLog, "Resume Log", 20, ""},
    {Button::Commands, "Commands", 42, "Commands like w p ..."},
    {Button::FsBuildImport, "Aviolog", 42, ""},
    {Button::AcarsRealTime, "Acars RealTime", 42, ""},
    {Button::StartLogDump, "Start LOG Dump", 42, ""},
    {Button::StopLogDump, "Stop LOG Dump", 42, ""},
    {Button::SendLog, "Send LOG", 60, "Send log to VA"},
    {Button::FsFlightPlan, "FS Flight Plan", 60, ""},
    {Button::LocalDb, "Local DB", 60, ""},
    {Button::Servinfo, "Servinfo", 78, ""},
    {Button::VaSite, "VA Site", 78, ""},
    {Button::FlightFromVa, "Flight from VA", 96, ""},
    {Button::ExportSb3, "Export SB3", 114, ""},
    {Button::Landing, "Landing", 96, "The landing analysis of this flight"},
    {Button::Simbrief, "SimBrief", 132, "Your latest SimBrief flight plan"},
}};

// What the buttons hand over to, as far as the program has it: a button whose subsystem
// is missing is shown where it belongs but cannot be pressed.
struct ButtonTargets {
    bool flightPreparation = false;  // the importers, the exporter, the VA's flight plan
    bool console = false;            // the "Commands" dialog's console
    bool browser = false;            // the browser view
};

struct ColumnContext {
    Tab tab = Tab::FlightPlan;
    bool fpSiteSet = false;  // `FPSite` is not empty, or the profile's phpVMS site is set
    ButtonTargets targets;
    bool landingPage = false;  // the flight's landing page has been written
};

// Every button's state. The buttons at place 20 follow the flight whatever the tab; the
// others belong to their tab. Once only sending logs remains, "Send LOG" takes place 60 on
// every tab whose own buttons leave it free, and "Commands" is gone.
std::array<ControlState, kButtonCount> rightColumn(const MainWindowModel& window,
                                                   const ColumnContext& context);

}  // namespace aviolog::model
