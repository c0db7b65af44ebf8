#include "shell/main_frame.h"

#include <wx/bitmap.h>
#include <wx/button.h>
#include <wx/choice.h>
#include <wx/dialog.h>
#include <wx/log.h>
#include <wx/menu.h>
#include <wx/notebook.h>
#include <wx/panel.h>
#include <wx/propgrid/manager.h>
#include <wx/propgrid/propgrid.h>
#include <wx/propgrid/props.h>
#include <wx/sizer.h>
#include <wx/statbmp.h>
#include <wx/statusbr.h>
#include <wx/textctrl.h>
#include <wx/textdlg.h>

#include "app/application.h"
#include "common/text_file.h"
#include "model/flight_summary.h"
#include "platform/pilot.h"
#include "shell/views.h"
#include "shell/wx_dialogs.h"
#include "shell/wx_platform.h"
#include "shell/wx_text.h"

namespace aviolog::shell {

using model::Button;
using model::Channel;
using model::Control;
using model::Tab;

namespace {

constexpr const char* kQuitQuestion = "Do you want to Quit?";
constexpr const char* kReportFile = "aviolog-window.txt";
constexpr const char* kTrayTip = "Aviolog";
constexpr int kCommandMaxChars = 149;

enum MenuId {
    kSaveLog = wxID_HIGHEST + 1,
    kSaveAcars,
    kExit,
    kOptions,
    kAbout,
    kBugReport,
    kTrayMaximise,
    kTrayMinimise,
};

// The layout in dialog units, as the window has always opened: the tabs on the left, the
// column of buttons on the right with each button at its place, the logo at the foot of
// the column. The tabs take what a resize gives or takes; the column keeps its width.
const wxSize kWindowDlu{402, 196};
const wxSize kTabsMarginDlu{5, 4};  // between the tabs and the column; below the tabs
const wxSize kButtonDlu{61, 18};
const wxSize kLogoDlu{48, 42};
constexpr int kLogoIndentDlu = 2;
constexpr int kColumnRightDlu = 6;
constexpr int kLogoBottomDlu = 7;
// Small enough for any screen, large enough to keep the column and a readable tab.
const wxSize kTabsMinDlu{200, 150};

wxString quoted(const wxString& text) {
    wxString q = text;
    q.Replace("\n", "\\n");
    return "\"" + q + "\"";
}

wxString centre(const wxWindow* w) {
    const wxRect r = w->GetScreenRect();
    return wxString::Format("%d %d", r.x + r.width / 2, r.y + r.height / 2);
}

// The controls of an open window, for the report.
void describeControls(const wxWindow* parent, wxString& out) {
    for (const wxWindow* w : parent->GetChildren()) {
        if (!w->IsShown()) continue;
        if (const auto* b = dynamic_cast<const wxButton*>(w)) {
            out += wxString::Format("control button %s enabled=%d at %s\n", quoted(b->GetLabel()),
                                    b->IsEnabled(), centre(b));
        } else if (const auto* c = dynamic_cast<const wxChoice*>(w)) {
            out += wxString::Format("control choice %s items=%u at %s\n",
                                    quoted(c->GetStringSelection()), c->GetCount(), centre(c));
        } else if (const auto* t = dynamic_cast<const wxTextCtrl*>(w)) {
            out += wxString::Format("control text %s at %s\n", quoted(t->GetValue()), centre(t));
        } else if (const auto* m = dynamic_cast<const wxPropertyGridManager*>(w)) {
            const wxPropertyGrid* grid = m->GetGrid();
            const wxRect shown = grid->GetScreenRect();
            out += wxString::Format("propertygrid top=%d bottom=%d\n", shown.y,
                                    shown.y + shown.height);
            for (unsigned page = 0; page < m->GetPageCount(); ++page) {
                wxPropertyGridPage* p = m->GetPage(page);
                for (auto it = p->GetIterator(wxPG_ITERATE_ALL); !it.AtEnd(); ++it) {
                    wxPGProperty* prop = *it;
                    // The start of the value cell, where a check box is drawn.
                    wxString where = "-1 -1";
                    if (static_cast<int>(page) == m->GetSelectedPage()) {
                        const wxRect r = grid->GetPropertyRect(prop, prop);
                        const wxPoint at = grid->ClientToScreen(grid->CalcScrolledPosition(
                            wxPoint(grid->GetSplitterPosition() + 10, r.y + r.height / 2)));
                        where = wxString::Format("%d %d", at.x, at.y);
                    }
                    out += wxString::Format("property page=%u %s = %s category=%d name=%s at %s\n",
                                            page, quoted(prop->GetLabel()),
                                            quoted(prop->GetValueAsString()), prop->IsCategory(),
                                            quoted(prop->GetName()), where);
                }
            }
            continue;
        }
        describeControls(w, out);
    }
}

}  // namespace

// ---- "Flight Summary" ----

class FlightSummaryWindow final : public wxDialog {
  public:
    FlightSummaryWindow(wxWindow* parent, app::Application& app)
        : wxDialog(parent, wxID_ANY, "Flight Summary", wxDefaultPosition, wxDefaultSize,
                   wxDEFAULT_DIALOG_STYLE | wxRESIZE_BORDER),
          app_(app) {
        grid_ = new wxPropertyGrid(this, wxID_ANY, wxDefaultPosition, FromDIP(wxSize(380, 420)),
                                   wxPG_SPLITTER_AUTO_CENTER | wxPG_STATIC_LAYOUT);
        auto* sizer = new wxBoxSizer(wxVERTICAL);
        sizer->Add(grid_, 1, wxEXPAND | wxALL, 5);
        sizer->Add(CreateButtonSizer(wxOK | wxCANCEL), 0, wxEXPAND | wxALL, 5);
        SetSizerAndFit(sizer);
        Bind(
            wxEVT_BUTTON, [this](wxCommandEvent&) { answer(true); }, wxID_OK);
        Bind(
            wxEVT_BUTTON, [this](wxCommandEvent&) { answer(false); }, wxID_CANCEL);
        Bind(wxEVT_CLOSE_WINDOW, [this](wxCloseEvent&) { answer(false); });
    }

    void offer() {
        grid_->Clear();
        const model::FlightSummary& s = app_.summary();
        for (const model::SummaryField& field : model::kSummaryFields) {
            auto* row = new wxStringProperty(field.key, field.key, wx(s.*field.value));
            grid_->Append(row);
            row->ChangeFlag(wxPG_PROP_READONLY, true);
        }
        CentreOnParent();
        Show();
        Raise();
    }

  private:
    // OK stores the flight; Cancel asks before the flight is dismissed. The window stays
    // while the flight is still on offer (it could not be stored, or the pilot said No).
    void answer(bool ok) {
        if (ok) {
            app_.acceptFlight();
        } else {
            app_.dismissFlight();
        }
        if (!app_.window().summaryOffered()) Hide();
    }

    app::Application& app_;
    wxPropertyGrid* grid_;
};

// ---- Tray ----

TrayIcon::TrayIcon(MainFrame& frame) : frame_(frame) {
    Bind(wxEVT_TASKBAR_LEFT_DCLICK, [this](wxTaskBarIconEvent&) { frame_.restoreFromTray(); });
    Bind(
        wxEVT_MENU, [this](wxCommandEvent&) { frame_.restoreFromTray(); }, kTrayMaximise);
}

void TrayIcon::showIcon() {
    inTray_ = SetIcon(programIcon(32), kTrayTip);
}

void TrayIcon::hideIcon() {
    RemoveIcon();
    inTray_ = false;
}

wxMenu* TrayIcon::CreatePopupMenu() {
    auto* menu = new wxMenu;
    menu->Append(kTrayMaximise, "Maximise");
    // "Minimise" has always been there and has never done anything.
    menu->Append(kTrayMinimise, "Minimise");
    return menu;
}

// ---- The main window ----

MainFrame::MainFrame(app::Application& app, WxPilot& pilot, WxDialogs& dialogs,
                     BrowserModule& browser, std::filesystem::path workDir, bool settingsLoaded,
                     Clock::time_point processStart, Clock::time_point dialogsClosed)
    : wxFrame(nullptr, wxID_ANY, "Aviolog"),
      app_(app),
      pilot_(pilot),
      dialogs_(dialogs),
      browser_(browser),
      workDir_(std::move(workDir)),
      settingsLoaded_(settingsLoaded),
      processStart_(processStart),
      dialogsClosed_(dialogsClosed) {
    buildMenu();
    wxIconBundle icons;
    icons.AddIcon(programIcon(16));
    icons.AddIcon(programIcon(32));
    SetIcons(icons);
    tray_ = std::make_unique<TrayIcon>(*this);
    CreateStatusBar();
    buildTabs(settingsLoaded);
    buildButtons();
    loadLogo();
    layOut();
    tabs_->SetSelection(static_cast<int>(Tab::FlightPlan));
    refreshButtons();
    sizeWindow();

    summary_ = new FlightSummaryWindow(this, app_);
    app_.window().addObserver(this);
    statusChanged(app_.window().status());  // set before the window was there to show it
    pilot_.setParent(this);
    dialogs_.setParent(this);

    Bind(wxEVT_CLOSE_WINDOW, &MainFrame::onClose, this);
    Bind(wxEVT_ICONIZE, &MainFrame::onIconize, this);
    Bind(wxEVT_IDLE, &MainFrame::onFirstIdle, this);
    tabs_->Bind(wxEVT_NOTEBOOK_PAGE_CHANGED, [this](wxBookCtrlEvent& e) {
        refreshButtons();
        e.Skip();
    });
}

MainFrame::~MainFrame() {
    app_.window().removeObserver(this);
    pilot_.setParent(nullptr);
    dialogs_.setParent(nullptr);
}

void MainFrame::buildMenu() {
    auto* file = new wxMenu;
    file->Append(kSaveLog, "Save &Log");
    file->Append(kSaveAcars, "Save &ACARS");
    file->AppendSeparator();
    file->Append(kExit, "E&xit");
    auto* config = new wxMenu;
    config->Append(kOptions, "Options");
    auto* help = new wxMenu;
    help->Append(kAbout, "&About ...");
    help->Append(kBugReport, "&Bug Report");
    auto* bar = new wxMenuBar;
    bar->Append(file, "&File");
    bar->Append(config, "&Config");
    bar->Append(help, "&Help");
    SetMenuBar(bar);
    Bind(wxEVT_MENU_OPEN, [this](wxMenuEvent& e) {
        openMenu_ = e.GetMenu();
        e.Skip();
    });
    Bind(wxEVT_MENU_CLOSE, [this](wxMenuEvent& e) {
        if (e.GetMenu() == openMenu_) openMenu_ = nullptr;
        e.Skip();
    });

    Bind(
        wxEVT_MENU, [this](wxCommandEvent&) { app_.saveLog(); }, kSaveLog);
    Bind(
        wxEVT_MENU, [this](wxCommandEvent&) { app_.saveAcars(); }, kSaveAcars);
    Bind(
        wxEVT_MENU, [this](wxCommandEvent&) { Close(); }, kExit);
    Bind(
        wxEVT_MENU,
        [this](wxCommandEvent&) {
            dialogs_.editOptions(app_.settings(), config::OptionsPage::Company);
            app_.metarSourceChanged();  // the METARs come from the source chosen there
            refreshButtons();
        },
        kOptions);
    Bind(
        wxEVT_MENU, [this](wxCommandEvent&) { dialogs_.about(); }, kAbout);
    Bind(
        wxEVT_MENU,
        [this](wxCommandEvent&) {
            if (const auto text = dialogs_.bugReport()) app_.sendBugReport(*text);
        },
        kBugReport);
}

void MainFrame::buildTabs(bool settingsLoaded) {
    auto* panel = new wxPanel(this);
    // At the size it opens with: views made in a notebook of no size at all squeeze their
    // scroll bars below nothing before the first layout.
    tabs_ = new wxNotebook(panel, wxID_ANY, wxDefaultPosition,
                           ConvertDialogToPixels(kWindowDlu - kButtonDlu));
    if (!settingsLoaded) {
        // Without settings there is nothing to record or show: the pilot has been told why.
        for (const char* name : model::kTabNames) {
            tabs_->AddPage(new PendingView(tabs_, wx(app_.noSettingsText())), name);
        }
        return;
    }
    const model::MainWindowModel& window = app_.window();
    logView_ = new LogView(tabs_, window);
    resultsView_ = new ResultsView(tabs_, window, app_.form());
    browserView_ = new BrowserView(tabs_, browser_);
    acarsView_ = new AcarsMessagesView(tabs_, app_.acarsView());
    flightPlanView_ = new FlightPlanView(tabs_, app_.form(), app_.fuelPage());
    tabs_->AddPage(logView_, model::kTabNames[0]);
    tabs_->AddPage(acarsView_, model::kTabNames[1]);
    tabs_->AddPage(resultsView_, model::kTabNames[2]);
    tabs_->AddPage(flightPlanView_, model::kTabNames[3]);
    tabs_->AddPage(browserView_, model::kTabNames[4]);
}

void MainFrame::buildButtons() {
    wxWindow* panel = tabs_->GetParent();
    for (const model::ButtonInfo& info : model::kButtons) {
        auto* b = new wxButton(panel, wxID_ANY, info.caption, wxDefaultPosition,
                               ConvertDialogToPixels(kButtonDlu));
        if (*info.tooltip != '\0') b->SetToolTip(info.tooltip);
        if (info.button == Button::Servinfo) b->SetToolTip(planning::kServinfoButtonTooltip);
        b->Bind(wxEVT_BUTTON, [this, which = info.button](wxCommandEvent&) { press(which); });
        buttons_[static_cast<int>(info.button)] = b;
    }
}

// ".\" + ICAO + ".bmp" in the logo area; none leaves the area empty.
void MainFrame::loadLogo() {
    if (!settingsLoaded_) return;
    const std::filesystem::path file = workDir_ / (app_.settings().company.CompanyICAO + ".bmp");
    std::error_code error;
    if (!std::filesystem::is_regular_file(file, error)) return;
    wxLogNull quiet;  // a damaged file is no reason to bother the pilot
    wxBitmap bitmap(wxString(file.string()), wxBITMAP_TYPE_BMP);
    if (!bitmap.IsOk()) return;
    logo_ = new wxStaticBitmap(tabs_->GetParent(), wxID_ANY, bitmap, wxDefaultPosition,
                               ConvertDialogToPixels(kLogoDlu));
}

// The buttons that share a place stand in one slot of the button's height, so that a
// place keeps its height when none of its buttons is shown and the places below stay
// where they are.
void MainFrame::layOut() {
    const auto px = [this](wxSize dlu) { return ConvertDialogToPixels(dlu); };
    auto* column = new wxBoxSizer(wxVERTICAL);
    int belowDlu = 0;  // where the last place ended
    for (std::size_t i = 0; i < model::kButtons.size();) {
        const int placeY = model::kButtons[i].placeY;
        column->AddSpacer(px({0, placeY - belowDlu}).y);
        auto* slot = new wxBoxSizer(wxVERTICAL);
        slot->SetMinSize(px(kButtonDlu));
        for (; i < model::kButtons.size() && model::kButtons[i].placeY == placeY; ++i) {
            slot->Add(buttons_[static_cast<int>(model::kButtons[i].button)], 0, wxEXPAND);
        }
        column->Add(slot, 0, wxEXPAND);
        belowDlu = placeY + kButtonDlu.y;
    }
    column->AddStretchSpacer();
    if (logo_ != nullptr) {
        column->Add(logo_, 0, wxLEFT, px({kLogoIndentDlu, 0}).x);
    } else {
        column->AddSpacer(px(kLogoDlu).y);
    }
    column->AddSpacer(px({0, kLogoBottomDlu}).y);

    tabs_->SetMinSize(px(kTabsMinDlu));
    auto* row = new wxBoxSizer(wxHORIZONTAL);
    row->Add(tabs_, 1, wxEXPAND | wxBOTTOM, px(kTabsMarginDlu).y);
    row->AddSpacer(px(kTabsMarginDlu).x);
    row->Add(column, 0, wxEXPAND | wxRIGHT, px({kColumnRightDlu, 0}).x);
    tabs_->GetParent()->SetSizer(row);
}

// Once the buttons not shown are hidden: a place then counts once, not once per button.
void MainFrame::sizeWindow() {
    wxSizer* row = tabs_->GetParent()->GetSizer();
    // The client area excludes the menu and status bars already.
    SetMinClientSize(row->GetMinSize());
    SetClientSize(ConvertDialogToPixels(kWindowDlu));
}

model::ColumnContext MainFrame::columnContext() const {
    return {.tab = static_cast<Tab>(std::max(0, tabs_->GetSelection())),
            .fpSiteSet = config::usesPhpVms(app_.settings().company)
                             ? !app_.settings().phpVms.Url.empty()
                             : !app_.settings().company.FPSite.empty(),
            .targets = {.flightPreparation = settingsLoaded_,
                        .console = settingsLoaded_,
                        .browser = settingsLoaded_},
            .landingPage = app_.landingPage().has_value()};
}

void MainFrame::refreshButtons() {
    const auto column = model::rightColumn(app_.window(), columnContext());
    for (int i = 0; i < model::kButtonCount; ++i) {
        buttons_[i]->Show(column[i].shown);
        buttons_[i]->Enable(column[i].enabled);
    }
    GetMenuBar()->Enable(kSaveLog, app_.window().control(Control::SaveLog).enabled);
    tabs_->GetParent()->Layout();
}

void MainFrame::press(Button button) {
    switch (button) {
        case Button::StartLog:
            app_.startLogButton();
            break;
        case Button::StopLog:
            app_.stopLogButton();
            break;
        case Button::ResumeLog:
            app_.resumeLogButton();
            break;
        case Button::SendLog:
            app_.sendLog();
            break;
        case Button::StartLogDump:
            app_.startDumpButton();
            break;
        case Button::StopLogDump:
            app_.stopDumpButton();
            break;
        case Button::LocalDb:
            if (const auto page = app_.localDb()) {
                browserView_->navigate("file://" + wxString(page->string()));
            }
            break;
        case Button::VaSite:
            if (!app_.settings().company.CompanySite.empty()) {
                browserView_->navigate(wx(app_.settings().company.CompanySite));
            }
            break;
        case Button::Commands:
            askCommand();
            break;
        case Button::FsBuildImport:
            app_.aviologButton();
            break;
        case Button::FsFlightPlan:
            app_.fsFlightPlanButton();
            break;
        case Button::Servinfo:
            app_.servinfoButton();
            break;
        case Button::ExportSb3:
            app_.exportSb3Button();
            break;
        case Button::FlightFromVa:
            app_.flightFromVaButton();
            break;
        case Button::Landing:
            if (const auto page = app_.landingPage()) {
                browserView_->navigate("file://" + wxString(page->string()));
            }
            break;
        case Button::Simbrief:
            app_.simbriefButton();
            break;
        case Button::AcarsRealTime:
            if (const std::string& address = app_.realTimeAddress(); !address.empty())
                browserView_->navigate(wx(address));
            break;
    }
}

// One edit field and OK; the console reads the command.
void MainFrame::askCommand() {
    wxTextEntryDialog dialog(this, wxEmptyString, "Commands");
    dialog.SetMaxLength(kCommandMaxChars);
    if (dialog.ShowModal() == wxID_OK) app_.runCommand(cp1252(dialog.GetValue()));
}

void MainFrame::onClose(wxCloseEvent& event) {
    if (event.CanVeto()) {
        const auto answer = pilot_.show(
            {kQuitQuestion, platform::MessageIcon::Question, platform::MessageButtons::YesNo});
        if (answer != platform::MessageAnswer::Yes) {
            event.Veto();
            return;
        }
    }
    tray_->hideIcon();
    Destroy();
}

void MainFrame::onIconize(wxIconizeEvent& event) {
    event.Skip();
    // Without a notification area the window goes to the task bar as usual.
    if (!event.IsIconized() || !settingsLoaded_ || !app_.settings().aviolog.MinimizeSystray ||
        !wxTaskBarIcon::IsAvailable()) {
        return;
    }
    tray_->showIcon();
    if (tray_->inTray()) Hide();
}

void MainFrame::restoreFromTray() {
    tray_->hideIcon();
    // Out of its iconic state before it is mapped again: mapped first, the window comes back
    // iconic, which sends it straight back to the tray.
    Iconize(false);
    Show();
    Raise();
}

void MainFrame::onFirstIdle(wxIdleEvent& event) {
    event.Skip();
    if (!IsShown()) return;
    using std::chrono::duration_cast;
    using std::chrono::milliseconds;
    const auto now = Clock::now();
    onScreenMs_ = static_cast<long>(duration_cast<milliseconds>(now - dialogsClosed_).count());
    sinceStartMs_ = static_cast<long>(duration_cast<milliseconds>(now - processStart_).count());
    Unbind(wxEVT_IDLE, &MainFrame::onFirstIdle, this);
}

// ---- The model's changes ----

void MainFrame::lineAdded(Channel channel, const std::string& line) {
    if (channel == Channel::Log && logView_ != nullptr) logView_->add(line);
}

void MainFrame::linesReplaced(Channel channel) {
    if (channel == Channel::Log && logView_ != nullptr) logView_->reload();
}

void MainFrame::controlsChanged() {
    refreshButtons();
}

void MainFrame::statusChanged(const std::string& text) {
    std::string shown = text;
    while (!shown.empty() && (shown.back() == '\n' || shown.back() == '\r')) shown.pop_back();
    SetStatusText(wx(shown));
}

void MainFrame::viewsChanged() {
    if (resultsView_ != nullptr) resultsView_->reload();
    if (acarsView_ != nullptr) acarsView_->reload();
}

void MainFrame::summaryOffered() {
    summary_->offer();
}

// ---- Report ----

wxString MainFrame::reportText() {
    wxString out;
    out += wxString::Format(
        "window %s shown=%d iconized=%d tray=%d onScreenMs=%ld sinceStartMs=%ld\n",
        quoted(GetTitle()), IsShown(), IsIconized(), tray_->inTray(), onScreenMs_, sinceStartMs_);
    // Where the parts of the window are, in its client area.
    const wxSize client = GetClientSize();
    const wxRect tabsRect = tabs_->GetRect();
    int columnLeft = client.x;
    int columnRight = 0;
    int columnBottom = 0;
    for (const wxButton* b : buttons_) {
        if (!b->IsShown()) continue;
        const wxRect r = b->GetRect();
        columnLeft = std::min(columnLeft, r.x);
        columnRight = std::max(columnRight, r.GetRight() + 1);
        columnBottom = std::max(columnBottom, r.GetBottom() + 1);
    }
    out += wxString::Format(
        "layout client=%d %d tabs=%d %d %d %d column=%d %d bottom=%d min=%d %d\n", client.x,
        client.y, tabsRect.x, tabsRect.y, tabsRect.width, tabsRect.height, columnLeft, columnRight,
        columnBottom, GetMinClientSize().x, GetMinClientSize().y);
    const wxRect strip = tabs_->GetScreenRect();
    for (int page = 0; page < static_cast<int>(tabs_->GetPageCount()); ++page) {
        // Where the tab's label is: the first point along the strip that hits it.
        wxString where = "?";
        for (int x = 2; x < strip.width; x += 4) {
            if (tabs_->HitTest(wxPoint(x, 10)) == page) {
                where = wxString::Format("%d %d", strip.x + x + 8, strip.y + 10);
                break;
            }
        }
        out += wxString::Format("tab %d %s selected=%d at %s\n", page,
                                quoted(tabs_->GetPageText(page)), tabs_->GetSelection() == page,
                                where);
    }
    for (const model::ButtonInfo& info : model::kButtons) {
        const wxButton* b = buttons_[static_cast<int>(info.button)];
        out += wxString::Format("button %s shown=%d enabled=%d at %s\n", quoted(info.caption),
                                b->IsShown(), b->IsEnabled(), centre(b));
    }
    const wxMenuBar* bar = GetMenuBar();
    for (size_t index = 0; index < bar->GetMenuCount(); ++index) {
        const wxMenu* menu = bar->GetMenu(index);
        if (menu == openMenu_) out += "menuopen " + quoted(bar->GetMenuLabel(index)) + "\n";
        for (const wxMenuItem* item : menu->GetMenuItems()) {
            if (item->IsSeparator()) continue;
            out += wxString::Format("menu %s enabled=%d\n", quoted(item->GetItemLabel()),
                                    item->IsEnabled());
        }
    }
    out += "status " + quoted(GetStatusBar()->GetStatusText()) + "\n";
    out += wxString::Format("logo %d\n", logo_ != nullptr);
    if (!settingsLoaded_) out += "nosettings " + quoted(wx(app_.noSettingsText())) + "\n";
    if (logView_ != nullptr) {
        out += wxString::Format("logview rows=%d\n", logView_->rowCount());
        out += logView_->rowsReport();
    }
    for (const std::string& line : app_.window().lines(Channel::Log))
        out += "logline " + quoted(wx(line)) + "\n";
    for (const model::PropertyCategory& c : app_.window().results().categories()) {
        out += wxString::Format("results %s rows=%zu\n", quoted(wx(c.caption)), c.rows.size());
    }
    if (resultsView_ != nullptr) out += resultsView_->dateTimeReport();
    if (acarsView_ != nullptr)
        out += wxString::Format("acarsview rows=%d\n", acarsView_->rowCount());
    if (flightPlanView_ != nullptr) {
        out += wxString::Format("fuel sliders=%zu\n", flightPlanView_->sliderCount());
        for (std::size_t i = 0; i < planning::kFormFieldCount; ++i) {
            const auto field = static_cast<planning::FormField>(i);
            const wxPoint at = flightPlanView_->valueCentre(field);
            out +=
                wxString::Format("form %s %s at %d %d\n", quoted(planning::fieldInfo(field).label),
                                 quoted(wx(app_.form().text(field))), at.x, at.y);
        }
    }
    if (browserView_ != nullptr)
        out += wxString::Format("browser engine=%d address=%s\n", browserView_->engineCreated(),
                                quoted(browserView_->address()));
    return out;
}

void writeWindowReport(const std::filesystem::path& workDir, MainFrame* frame,
                       const WxPilot& pilot) {
    wxString out = frame != nullptr ? frame->reportText() : wxString("window none\n");
    for (const wxWindow* w : wxTopLevelWindows) {
        if (w == frame || !w->IsShown()) continue;
        const wxRect r = w->GetScreenRect();
        out += "open " + quoted(w->GetLabel()) +
               wxString::Format(" size=%d %d at %d %d\n", r.width, r.height, r.x, r.y);
        describeControls(w, out);
    }
    if (!pilot.openBox().empty()) out += "box " + quoted(wx(pilot.openBox())) + "\n";
    writeFileAtomically(workDir / kReportFile, out.utf8_string());
}

}  // namespace aviolog::shell
