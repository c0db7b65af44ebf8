#include "shell/views.h"

#include <wx/propgrid/propgrid.h>
#include <wx/propgrid/props.h>
#include <wx/sizer.h>
#include <wx/stattext.h>
#include <wx/webview.h>

#include "shell/wx_text.h"

namespace aviolog::shell {
namespace {

constexpr const char* kLogMessages = "Log Messages";

wxPropertyGrid* propertyList(wxWindow* parent) {
    auto* grid = new wxPropertyGrid(parent, wxID_ANY, wxDefaultPosition, wxDefaultSize,
                                    wxPG_SPLITTER_AUTO_CENTER | wxPG_STATIC_LAYOUT);
    grid->SetColumnProportion(0, 1);
    grid->SetColumnProportion(1, 3);
    return grid;
}

// A row shown, never edited.
void addRow(wxPropertyGrid* grid, wxPGProperty* category, const std::string& name,
            const std::string& value) {
    // Rows of a category may share a name (every minute of the log has several lines).
    auto* row = new wxStringProperty(wx(name), wxPG_LABEL, wx(value));
    row->SetName(wxString::Format("%s/%u", category->GetLabel(), category->GetChildCount()));
    grid->AppendIn(category, row);
    row->ChangeFlag(wxPG_PROP_READONLY, true);
}

wxPGProperty* category(wxPropertyGrid* grid, const std::string& caption) {
    wxPGProperty* found = grid->GetProperty(wx(caption));
    if (found != nullptr) return found;
    return grid->Append(new wxPropertyCategory(wx(caption)));
}

}  // namespace

// ---- Log ----

LogView::LogView(wxWindow* parent, const model::MainWindowModel& window)
    : wxPanel(parent), window_(window), grid_(propertyList(this)) {
    grid_->SetToolTip("Log Display");
    auto* sizer = new wxBoxSizer(wxVERTICAL);
    sizer->Add(grid_, 1, wxEXPAND);
    SetSizer(sizer);
    reload();
}

// The row's name is the line's time (its first five characters), its value the text from
// the eighth character on.
void LogView::add(const std::string& line) {
    const std::string name = line.substr(0, 5);
    const std::string value = line.size() > 7 ? line.substr(7) : std::string();
    addRow(grid_, category(grid_, kLogMessages), name, value);
    grid_->EnsureVisible(grid_->GetLastItem(wxPG_ITERATE_DEFAULT));
}

void LogView::reload() {
    grid_->Freeze();
    grid_->Clear();
    category(grid_, kLogMessages);
    for (const std::string& line : window_.lines(model::Channel::Log)) add(line);
    grid_->Thaw();
}

int LogView::rowCount() const {
    const wxPGProperty* log = grid_->GetProperty(kLogMessages);
    return log == nullptr ? 0 : static_cast<int>(log->GetChildCount());
}

// ---- Results ----

ResultsView::ResultsView(wxWindow* parent, const model::MainWindowModel& window)
    : wxPanel(parent), window_(window), data_(propertyList(this)) {
    auto* sizer = new wxBoxSizer(wxHORIZONTAL);
    sizer->Add(data_, 3, wxEXPAND);
    auto* dateTime = new wxStaticText(
        this, wxID_ANY,
        "UTC and Local date and time\n\nThe date and time editors come with the flight "
        "data form, which this version does not have yet.",
        wxDefaultPosition, wxDefaultSize, wxALIGN_CENTRE_HORIZONTAL);
    dateTime->Wrap(FromDIP(180));
    sizer->Add(dateTime, 2, wxALIGN_CENTER_VERTICAL | wxALL, 8);
    SetSizer(sizer);
    reload();
}

void ResultsView::reload() {
    data_->Freeze();
    data_->Clear();
    for (const char* caption : {model::kPlaneData, model::kFlightData}) category(data_, caption);
    for (const model::PropertyCategory& c : window_.results().categories()) {
        wxPGProperty* cat = category(data_, c.caption);
        for (const model::PropertyRow& row : c.rows) addRow(data_, cat, row.name, row.value);
    }
    data_->Thaw();
}

// ---- Views to come ----

PendingView::PendingView(wxWindow* parent, const wxString& what) : wxPanel(parent) {
    auto* text = new wxStaticText(this, wxID_ANY, what, wxDefaultPosition, wxDefaultSize,
                                  wxALIGN_CENTRE_HORIZONTAL);
    text->Wrap(FromDIP(380));
    auto* sizer = new wxBoxSizer(wxVERTICAL);
    sizer->AddStretchSpacer();
    sizer->Add(text, 0, wxALIGN_CENTER | wxALL, 20);
    sizer->AddStretchSpacer();
    SetSizer(sizer);
}

AcarsView::AcarsView(wxWindow* parent)
    : PendingView(parent,
                  "Not available yet.\n\nACARS messages are not composed or shown by this "
                  "version of Aviolog: they come with its ACARS update.") {}

FlightPlanView::FlightPlanView(wxWindow* parent)
    : PendingView(parent,
                  "Not available yet.\n\nThe flight data form, the aircraft lists, the flight "
                  "plan imports and the fuel page come with the flight preparation update. "
                  "Until then a log records the flight without the form's details.") {}

// ---- Browser ----

BrowserView::BrowserView(wxWindow* parent) : wxPanel(parent) {
    hint_ = new wxStaticText(this, wxID_ANY,
                             "\"Local DB\" shows your stored flights here, \"VA Site\" your "
                             "virtual airline's site.",
                             wxDefaultPosition, wxDefaultSize, wxALIGN_CENTRE_HORIZONTAL);
    auto* sizer = new wxBoxSizer(wxVERTICAL);
    sizer->AddStretchSpacer();
    sizer->Add(hint_, 0, wxALIGN_CENTER | wxALL, 20);
    sizer->AddStretchSpacer();
    SetSizer(sizer);
}

void BrowserView::navigate(const wxString& address) {
    if (page_ == nullptr) {
        page_ = wxWebView::New(this, wxID_ANY, address);
        GetSizer()->Clear(true);
        hint_ = nullptr;
        GetSizer()->Add(page_, 1, wxEXPAND);
        Layout();
        return;
    }
    page_->LoadURL(address);
}

}  // namespace aviolog::shell
