#pragma once

// The main window: five tabs, the column of buttons beside them, the menu, the "Flight
// Summary" window and the tray icon. It draws the application's main window model and
// hands every button and menu command to the application.

#include <wx/frame.h>
#include <wx/taskbar.h>

#include <array>
#include <chrono>
#include <filesystem>
#include <memory>

#include "model/main_window_model.h"
#include "model/right_column.h"

class wxButton;
class wxNotebook;
class wxStaticBitmap;

namespace aviolog::app {
class Application;
}

namespace aviolog::shell {

class AcarsMessagesView;
class BrowserModule;
class BrowserView;
class FlightPlanView;
class FlightSummaryWindow;
class LogView;
class ResultsView;
class WxDialogs;
class WxPilot;

class MainFrame;

// The icon in the notification area while the window is minimised there.
class TrayIcon final : public wxTaskBarIcon {
  public:
    explicit TrayIcon(MainFrame& frame);
    bool inTray() const { return inTray_; }
    void showIcon();
    void hideIcon();

  protected:
    wxMenu* CreatePopupMenu() override;

  private:
    MainFrame& frame_;
    bool inTray_ = false;
};

class MainFrame final : public wxFrame, public model::MainWindowObserver {
  public:
    using Clock = std::chrono::steady_clock;

    MainFrame(app::Application& app, WxPilot& pilot, WxDialogs& dialogs, BrowserModule& browser,
              std::filesystem::path workDir, bool settingsLoaded, Clock::time_point processStart,
              Clock::time_point dialogsClosed);
    ~MainFrame() override;

    // "Maximise" from the tray.
    void restoreFromTray();

    // What the window shows: the tabs, the buttons with their places on screen, the menu
    // and the views.
    wxString reportText();

    void lineAdded(model::Channel channel, const std::string& line) override;
    void linesReplaced(model::Channel channel) override;
    void controlsChanged() override;
    void statusChanged(const std::string& text) override;
    void viewsChanged() override;
    void summaryOffered() override;

  private:
    void buildMenu();
    void buildTabs(bool settingsLoaded);
    void buildButtons();
    void loadLogo();
    void layOut();
    void sizeWindow();
    model::ColumnContext columnContext() const;
    void refreshButtons();
    void press(model::Button button);
    void askCommand();
    void onClose(wxCloseEvent& event);
    void onIconize(wxIconizeEvent& event);
    void onFirstIdle(wxIdleEvent& event);

    app::Application& app_;
    WxPilot& pilot_;
    WxDialogs& dialogs_;
    BrowserModule& browser_;
    std::filesystem::path workDir_;
    bool settingsLoaded_;
    Clock::time_point processStart_;
    Clock::time_point dialogsClosed_;
    long onScreenMs_ = -1;  // since the start-up dialogs closed
    long sinceStartMs_ = -1;

    wxNotebook* tabs_ = nullptr;
    LogView* logView_ = nullptr;
    AcarsMessagesView* acarsView_ = nullptr;
    FlightPlanView* flightPlanView_ = nullptr;
    ResultsView* resultsView_ = nullptr;
    BrowserView* browserView_ = nullptr;
    std::array<wxButton*, model::kButtonCount> buttons_{};
    wxStaticBitmap* logo_ = nullptr;
    // The menu of the bar that is open now, for the report: keys meant for it wait until it is.
    const wxMenu* openMenu_ = nullptr;
    FlightSummaryWindow* summary_ = nullptr;
    std::unique_ptr<TrayIcon> tray_;
};

// Writes what is on screen to "aviolog-window.txt" in the working directory: the main
// window (when there is one yet), every other open window with its controls, and the
// message box. Tests and support read it on SIGUSR2; the pilot never needs it.
void writeWindowReport(const std::filesystem::path& workDir, MainFrame* frame,
                       const WxPilot& pilot);

}  // namespace aviolog::shell
