#include "model/right_column.h"

namespace aviolog::model {
namespace {

void set(std::array<ControlState, kButtonCount>& column, Button b, bool shown, bool enabled) {
    column[static_cast<int>(b)] = {shown, shown && enabled};
}

// Shown as the flight left it.
void follow(std::array<ControlState, kButtonCount>& column, const MainWindowModel& window, Button b,
            Control c) {
    set(column, b, window.control(c).shown, window.control(c).enabled);
}

}  // namespace

std::array<ControlState, kButtonCount> rightColumn(const MainWindowModel& window,
                                                   const ColumnContext& context) {
    std::array<ControlState, kButtonCount> column{};
    follow(column, window, Button::StartLog, Control::StartLog);
    follow(column, window, Button::StopLog, Control::StopLog);
    follow(column, window, Button::ResumeLog, Control::ResumeLog);

    const ButtonTargets& to = context.targets;
    const bool reduced = window.reducedMode();
    switch (context.tab) {
        case Tab::FlightLog:
            set(column, Button::Commands, !reduced,
                to.console && window.control(Control::Commands).enabled);
            set(column, Button::SendLog, true, true);
            break;
        case Tab::AcarsMessages:
            set(column, Button::SendLog, reduced, true);
            break;
        case Tab::FlightPlaneData:
            follow(column, window, Button::StartLogDump, Control::StartLogDump);
            follow(column, window, Button::StopLogDump, Control::StopLogDump);
            set(column, Button::SendLog, reduced, true);
            break;
        case Tab::FlightPlan:
            for (Button b : {Button::FsBuildImport, Button::FsFlightPlan, Button::Servinfo,
                             Button::ExportSb3, Button::Simbrief}) {
                set(column, b, true, to.flightPreparation);
            }
            set(column, Button::FlightFromVa, context.fpSiteSet, to.flightPreparation);
            break;
        case Tab::InformationBrowser:
            set(column, Button::AcarsRealTime, true, to.flightPreparation && to.browser);
            set(column, Button::LocalDb, true, to.browser);
            set(column, Button::VaSite, true, to.browser);
            set(column, Button::Landing, true, to.browser && context.landingPage);
            break;
    }
    return column;
}

}  // namespace aviolog::model
