#include "shell/views.h"

#include <wx/datectrl.h>
#include <wx/dateevt.h>
#include <wx/propgrid/propgrid.h>
#include <wx/propgrid/props.h>
#include <wx/scrolwin.h>
#include <wx/sizer.h>
#include <wx/slider.h>
#include <wx/statbox.h>
#include <wx/stattext.h>
#include <wx/timectrl.h>

#include <string>
#include <utility>

#include "reporting/acars_view.h"
#include "shell/wx_text.h"

namespace aviolog::shell {
namespace {

constexpr const char* kLogMessages = "Log Messages";

// nameShare and valueShare: how the width is split between the two columns.
wxPropertyGrid* propertyList(wxWindow* parent, int nameShare = 1, int valueShare = 3) {
    auto* grid = new wxPropertyGrid(parent, wxID_ANY, wxDefaultPosition, wxDefaultSize,
                                    wxPG_SPLITTER_AUTO_CENTER | wxPG_STATIC_LAYOUT);
    grid->SetColumnProportion(0, nameShare);
    grid->SetColumnProportion(1, valueShare);
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
    : wxPanel(parent), window_(window), grid_(propertyList(this, 1, 9)) {
    grid_->SetToolTip("Log Display");
    auto* sizer = new wxBoxSizer(wxVERTICAL);
    sizer->Add(grid_, 1, wxEXPAND);
    SetSizer(sizer);
    reload();
}

void LogView::add(const std::string& line) {
    const model::PropertyRow row = model::logViewRow(line);
    addRow(grid_, category(grid_, kLogMessages), row.name, row.value);
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

wxString LogView::rowsReport() const {
    wxString out;
    const wxPGProperty* log = grid_->GetProperty(kLogMessages);
    if (log == nullptr) return out;
    for (unsigned i = 0; i < log->GetChildCount(); ++i) {
        const wxPGProperty* row = log->Item(i);
        out += "logrow \"" + row->GetLabel() + "\" = \"" + row->GetValueAsString() + "\"\n";
    }
    return out;
}

// ---- Results ----

namespace {

// The years the simulator's calendar is set to.
constexpr int kFirstYear = 1900;
constexpr int kLastYear = 2099;
constexpr const char* kClockHint = "The simulator's clock is shown here once it is connected.";

wxDateTime toWx(planning::BoxDate date) {
    if (!planning::isValidDate(date)) return wxInvalidDateTime;
    return wxDateTime(static_cast<wxDateTime::wxDateTime_t>(date.day),
                      static_cast<wxDateTime::Month>(date.month - 1), date.year);
}

planning::BoxDate fromWx(const wxDateTime& date) {
    if (!date.IsValid()) return {};
    return {date.GetYear(), static_cast<int>(date.GetMonth()) + 1, date.GetDay()};
}

wxString dateText(planning::BoxDate d) {
    return wxString::Format("%04d-%02d-%02d", d.year, d.month, d.day);
}

}  // namespace

ResultsView::ResultsView(wxWindow* parent, const model::MainWindowModel& window,
                         planning::FlightFormModel& form)
    : wxPanel(parent), window_(window), form_(form), data_(propertyList(this, 1, 1)) {
    auto* sizer = new wxBoxSizer(wxHORIZONTAL);
    sizer->Add(data_, 3, wxEXPAND);
    page_ = new wxBoxSizer(wxVERTICAL);
    clockHint_ = new wxStaticText(this, wxID_ANY, kClockHint);
    clockHint_->Wrap(FromDIP(170));
    page_->Add(clockHint_, 0, wxALL, 4);
    utc_ = addSide(page_, "UTC", true);
    local_ = addSide(page_, "Local", false);
    sizer->Add(page_, 2, wxEXPAND | wxLEFT, 4);
    SetSizer(sizer);
    form_.addObserver(this);
    reload();
    refreshDateTime();
}

ResultsView::~ResultsView() {
    form_.removeObserver(this);
}

// A category of the page: its date and its time editor, each handing the pilot's change
// to the form.
ResultsView::Side ResultsView::addSide(wxSizer* sizer, const char* caption, bool utc) {
    auto* box = new wxStaticBoxSizer(wxVERTICAL, this, caption);
    wxWindow* inside = box->GetStaticBox();
    auto* rows = new wxFlexGridSizer(2, 4, 6);
    rows->AddGrowableCol(1);
    Side side{};
    side.box = box;
    side.date = new wxDatePickerCtrl(inside, wxID_ANY, wxDefaultDateTime, wxDefaultPosition,
                                     wxDefaultSize, wxDP_DROPDOWN | wxDP_SHOWCENTURY);
    // Typed dates the picker cannot read come back out of this range, and are refused.
    side.date->SetRange(wxDateTime(1, wxDateTime::Jan, kFirstYear),
                        wxDateTime(31, wxDateTime::Dec, kLastYear));
    side.time = new wxTimePickerCtrl(inside, wxID_ANY);
    rows->Add(new wxStaticText(inside, wxID_ANY, "Date"), 0, wxALIGN_CENTER_VERTICAL);
    rows->Add(side.date, 1, wxEXPAND);
    rows->Add(new wxStaticText(inside, wxID_ANY, "Time"), 0, wxALIGN_CENTER_VERTICAL);
    rows->Add(side.time, 1, wxEXPAND);
    box->Add(rows, 0, wxEXPAND | wxALL, 4);
    sizer->Add(box, 0, wxEXPAND | wxALL, 4);

    side.date->Bind(wxEVT_DATE_CHANGED, [this, utc](wxDateEvent& event) {
        const planning::BoxDate date = fromWx(event.GetDate());
        const bool taken = utc ? form_.editUtcDate(date) : form_.editLocalDate(date);
        if (!taken) dateTimeChanged();  // the editors show the box again
    });
    side.time->Bind(wxEVT_TIME_CHANGED, [this, utc, time = side.time](wxDateEvent&) {
        int hour = 0;
        int minute = 0;
        int second = 0;
        time->GetTime(&hour, &minute, &second);
        const bool taken =
            utc ? form_.editUtcTime(hour, minute) : form_.editLocalTime(hour, minute);
        if (!taken) dateTimeChanged();
    });
    return side;
}

// The editors are set after the editor's own event has returned.
void ResultsView::dateTimeChanged() {
    if (refreshPending_) return;
    refreshPending_ = true;
    CallAfter([this] { refreshDateTime(); });
}

void ResultsView::refreshDateTime() {
    refreshPending_ = false;
    const planning::DateTimeBox& box = form_.dateTime();
    const model::DateTimeBox& times = box.box();
    const bool filled = box.filled();
    // Until the simulator's clock is read there is nothing to show or edit.
    page_->Show(clockHint_, !filled);
    for (const Side& side : {utc_, local_}) page_->Show(side.box, filled);
    if (filled) {
        const wxDateTime utcDate = toWx(box.utcDate());
        const wxDateTime localDate = toWx(box.localDate());
        if (utcDate.IsValid()) utc_.date->SetValue(utcDate);
        if (localDate.IsValid()) local_.date->SetValue(localDate);
        utc_.time->SetTime(times.utcHour, times.utcMinute, 0);
        local_.time->SetTime(times.localHour, times.localMinute, 0);
    }
    Layout();
}

wxString ResultsView::dateTimeReport() const {
    wxString out;
    for (const auto& [caption, side] : {std::pair{"UTC", utc_}, std::pair{"Local", local_}}) {
        int hour = 0;
        int minute = 0;
        int second = 0;
        side.time->GetTime(&hour, &minute, &second);
        const wxRect date = side.date->GetScreenRect();
        const wxRect time = side.time->GetScreenRect();
        // The time editor's hour sits at its left end.
        out += wxString::Format("datetime %s date \"%s\" shown=%d at %d %d\n", caption,
                                dateText(fromWx(side.date->GetValue())), side.date->IsShown(),
                                date.x + date.width / 2, date.y + date.height / 2);
        out +=
            wxString::Format("datetime %s time \"%02d:%02d\" shown=%d at %d %d\n", caption, hour,
                             minute, side.time->IsShown(), time.x + 12, time.y + time.height / 2);
    }
    return out;
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

// ---- ACARS ----

AcarsMessagesView::AcarsMessagesView(wxWindow* parent, const reporting::AcarsView& view)
    : wxPanel(parent), view_(view), grid_(propertyList(this)) {
    grid_->SetToolTip("ACARS messages Display");
    auto* sizer = new wxBoxSizer(wxVERTICAL);
    sizer->Add(grid_, 1, wxEXPAND);
    SetSizer(sizer);
    reload();
}

void AcarsMessagesView::reload() {
    grid_->Freeze();
    grid_->Clear();
    category(grid_, reporting::kAcarsMessages);
    for (const model::PropertyCategory& c : view_.rows().categories()) {
        wxPGProperty* cat = category(grid_, c.caption);
        for (const model::PropertyRow& row : c.rows) addRow(grid_, cat, row.name, row.value);
    }
    wxPGProperty* last = grid_->GetLastItem(wxPG_ITERATE_DEFAULT);
    if (last != nullptr) grid_->EnsureVisible(last);
    grid_->Thaw();
}

int AcarsMessagesView::rowCount() const {
    int rows = 0;
    for (const model::PropertyCategory& c : view_.rows().categories())
        rows += static_cast<int>(c.rows.size());
    return rows;
}

// ---- Flight Plan ----

namespace {

using planning::FormField;

constexpr const char* kOnlineProperty = "online";
constexpr const char* kVoiceProperty = "voice";

wxString fieldProperty(FormField field) {
    return wxString::Format("field%d", static_cast<int>(field));
}

wxArrayString choices(const std::vector<std::string>& texts) {
    wxArrayString out;
    for (const std::string& t : texts) out.Add(wx(t));
    return out;
}

template <std::size_t N>
wxArrayString choices(const std::array<const char*, N>& texts) {
    wxArrayString out;
    for (const char* t : texts) out.Add(t);
    return out;
}

wxString kgOrLb(long value, const planning::FuelPage& page) {
    return wxString::Format("%ld %s", value, page.unitSymbol());
}

}  // namespace

FlightPlanView::FlightPlanView(wxWindow* parent, planning::FlightFormModel& form,
                               planning::FuelPage& fuel)
    : wxPanel(parent),
      form_(form),
      fuel_(fuel),
      grid_(new wxPropertyGrid(this, wxID_ANY, wxDefaultPosition, wxDefaultSize,
                               wxPG_SPLITTER_AUTO_CENTER | wxPG_STATIC_LAYOUT)),
      fuelPanel_(new wxScrolledWindow(this)) {
    grid_->SetExtraStyle(wxPG_EX_HELP_AS_TOOLTIPS);
    grid_->SetColumnProportion(0, 2);
    grid_->SetColumnProportion(1, 3);
    grid_->Bind(wxEVT_PG_CHANGED, &FlightPlanView::onFormChanged, this);
    fuelPanel_->SetScrollRate(0, FromDIP(10));
    auto* sizer = new wxBoxSizer(wxHORIZONTAL);
    sizer->Add(grid_, 3, wxEXPAND);
    sizer->Add(fuelPanel_, 2, wxEXPAND | wxLEFT, 4);
    SetSizer(sizer);
    form_.addObserver(this);
    fuel_.setObserver(this);
    rebuildForm();
    rebuildFuel();
}

FlightPlanView::~FlightPlanView() {
    form_.removeObserver(this);
    fuel_.setObserver(nullptr);
}

// The model may change while the grid is inside its own change event: the grid is
// touched after the event has returned.
void FlightPlanView::fieldChanged(FormField) {
    if (refreshPending_) return;
    refreshPending_ = true;
    CallAfter([this] { refreshFields(); });
}

void FlightPlanView::layoutChanged() {
    if (rebuildPending_) return;
    rebuildPending_ = true;
    CallAfter([this] { rebuildForm(); });
}

void FlightPlanView::rebuildForm() {
    rebuildPending_ = false;
    refreshPending_ = false;
    const wxPGProperty* was = grid_->GetSelection();
    const wxString selected = was != nullptr ? was->GetName() : fieldProperty(FormField::Departure);
    grid_->Freeze();
    grid_->Clear();
    grid_->Append(new wxPropertyCategory("Flight Data", "flightData"));
    const bool lists = form_.listsShown();
    for (std::size_t i = 0; i < planning::kFormFieldCount; ++i) {
        const auto field = static_cast<FormField>(i);
        const planning::FieldInfo& info = planning::fieldInfo(field);
        if (field == FormField::Passengers && !form_.paxShown()) continue;
        wxPGProperty* row = nullptr;
        if (lists && field == FormField::AircraftType) {
            std::vector<std::string> names;
            for (const planning::AircraftType& t : form_.aircraftList().types())
                names.push_back(t.name);
            row = new wxEnumProperty(info.label, fieldProperty(field), choices(names));
            row->SetChoiceSelection(static_cast<int>(form_.selectedAircraft()));
        } else if (lists && (field == FormField::Registration || field == FormField::Selcal)) {
            const auto rows =
                field == FormField::Registration ? form_.registrationRows() : form_.selcalRows();
            row = new wxEnumProperty(info.label, fieldProperty(field), choices(rows));
            if (!rows.empty() && form_.selectedRow() < rows.size())
                row->SetChoiceSelection(static_cast<int>(form_.selectedRow()));
        } else {
            row = new wxStringProperty(info.label, fieldProperty(field), wx(form_.text(field)));
        }
        if (*info.tooltip != '\0') row->SetHelpString(info.tooltip);
        grid_->Append(row);
        if (dynamic_cast<wxEnumProperty*>(row) == nullptr)
            grid_->SetPropertyMaxLength(row, static_cast<int>(info.maxChars));
    }
    auto* online = grid_->Append(
        new wxEnumProperty("Online", kOnlineProperty, choices(planning::kOnlineNetworks)));
    online->SetChoiceSelection(static_cast<int>(form_.online()));
    online->SetHelpString(planning::kOnlineTooltip);
    auto* voice =
        grid_->Append(new wxEnumProperty("Voice", kVoiceProperty, choices(planning::kVoiceModes)));
    voice->SetChoiceSelection(static_cast<int>(form_.voice()));
    grid_->EnableProperty(voice, form_.voiceEnabled());
    // A grid without a selected row takes any key, the menu's Alt keys too, to select one.
    wxPGProperty* keep = grid_->GetProperty(selected);
    grid_->SelectProperty(keep != nullptr ? keep : grid_->wxPropertyGridInterface::GetFirst(),
                          false);
    grid_->Thaw();
}

wxPoint FlightPlanView::valueCentre(FormField field) const {
    wxPGProperty* row = grid_->GetProperty(fieldProperty(field));
    if (row == nullptr || !grid_->IsShownOnScreen()) return {-1, -1};
    const wxRect cell = grid_->GetPropertyRect(row, row);
    const int splitter = grid_->GetSplitterPosition();
    const wxPoint inside = grid_->CalcScrolledPosition(
        wxPoint(splitter + (grid_->GetClientSize().x - splitter) / 2, cell.y + cell.height / 2));
    return grid_->ClientToScreen(inside);
}

void FlightPlanView::refreshFields() {
    refreshPending_ = false;
    for (std::size_t i = 0; i < planning::kFormFieldCount; ++i) {
        const auto field = static_cast<FormField>(i);
        wxPGProperty* row = grid_->GetProperty(fieldProperty(field));
        if (row == nullptr || dynamic_cast<wxEnumProperty*>(row) != nullptr) continue;
        const wxString text = wx(form_.text(field));
        if (row->GetValueAsString() != text) row->SetValue(text);
    }
    wxPGProperty* voice = grid_->GetProperty(kVoiceProperty);
    if (voice != nullptr) grid_->EnableProperty(voice, form_.voiceEnabled());
}

void FlightPlanView::onFormChanged(wxPropertyGridEvent& event) {
    wxPGProperty* row = event.GetProperty();
    if (row == nullptr) return;
    const wxString name = row->GetName();
    const auto index = static_cast<std::size_t>(std::max(0, row->GetChoiceSelection()));
    if (name == kOnlineProperty) {
        form_.selectOnline(index);
        return;
    }
    if (name == kVoiceProperty) {
        form_.selectVoice(index);
        return;
    }
    long number = 0;
    if (!name.StartsWith("field") || !name.Mid(5).ToLong(&number)) return;
    const auto field = static_cast<FormField>(number);
    if (dynamic_cast<wxEnumProperty*>(row) == nullptr) {
        form_.edit(field, cp1252(row->GetValueAsString()));
    } else if (field == FormField::AircraftType) {
        form_.selectAircraft(index);
    } else if (field == FormField::Registration) {
        form_.selectRegistration(index);
    } else {
        form_.selectSelcal(index);
    }
}

// Sliders are remade only when the tanks change; a moved slider's own event must not
// destroy it.
void FlightPlanView::fuelPageChanged() {
    if (fuel_.rows().size() == sliders_.size() && total_ != nullptr) {
        refreshFuel();
        return;
    }
    CallAfter([this] { rebuildFuel(); });
}

void FlightPlanView::rebuildFuel() {
    fuelPanel_->DestroyChildren();
    sliders_.clear();
    loads_.clear();
    total_ = nullptr;
    requested_ = nullptr;
    auto* sizer = new wxBoxSizer(wxVERTICAL);
    sizer->Add(new wxStaticText(fuelPanel_, wxID_ANY, planning::kFuelGroup), 0, wxALL, 4);
    if (!fuel_.built()) {
        auto* hint = new wxStaticText(fuelPanel_, wxID_ANY,
                                      "The tanks are read from the simulator once it is "
                                      "connected.");
        hint->Wrap(FromDIP(200));
        sizer->Add(hint, 0, wxALL, 4);
        fuelPanel_->SetSizer(sizer);
        fuelPanel_->Layout();
        return;
    }
    // The tank's name above its slider: the page is narrow and the names are long.
    for (std::size_t i = 0; i < fuel_.rows().size(); ++i) {
        const planning::TankRow& tank = fuel_.rows()[i];
        sizer->Add(new wxStaticText(fuelPanel_, wxID_ANY, tank.name), 0, wxLEFT | wxTOP, 4);
        auto* line = new wxBoxSizer(wxHORIZONTAL);
        auto* slider = new wxSlider(fuelPanel_, wxID_ANY, static_cast<int>(tank.loadKgOrLb), 0,
                                    static_cast<int>(std::max(1L, tank.maximumKgOrLb)));
        slider->SetToolTip("0 - " + kgOrLb(tank.maximumKgOrLb, fuel_));
        slider->Bind(wxEVT_SLIDER,
                     [this, i, slider](wxCommandEvent&) { fuel_.setLoad(i, slider->GetValue()); });
        line->Add(slider, 1, wxALIGN_CENTER_VERTICAL);
        auto* load = new wxStaticText(fuelPanel_, wxID_ANY, kgOrLb(tank.maximumKgOrLb, fuel_),
                                      wxDefaultPosition, wxDefaultSize, wxALIGN_RIGHT);
        load->SetMinSize(load->GetBestSize());  // room for the largest figure
        load->SetLabel(kgOrLb(tank.loadKgOrLb, fuel_));
        line->Add(load, 0, wxALIGN_CENTER_VERTICAL | wxLEFT | wxRIGHT, 4);
        sizer->Add(line, 0, wxEXPAND | wxLEFT, 4);
        sliders_.push_back(slider);
        loads_.push_back(load);
    }
    auto* table = new wxFlexGridSizer(2, 2, 4);
    table->AddGrowableCol(0);
    table->Add(new wxStaticText(fuelPanel_, wxID_ANY, planning::kTotalFuelRow));
    total_ = new wxStaticText(fuelPanel_, wxID_ANY, kgOrLb(fuel_.totalKgOrLb(), fuel_));
    table->Add(total_, 0, wxALIGN_RIGHT);
    table->Add(new wxStaticText(fuelPanel_, wxID_ANY, planning::kRequestedFuelRow));
    requested_ = new wxStaticText(fuelPanel_, wxID_ANY, wx(fuel_.requestedTotal()));
    table->Add(requested_, 0, wxALIGN_RIGHT);
    sizer->Add(table, 0, wxEXPAND | wxALL, 4);
    fuelPanel_->SetSizer(sizer);
    fuelPanel_->FitInside();
    fuelPanel_->Layout();
}

void FlightPlanView::refreshFuel() {
    for (std::size_t i = 0; i < sliders_.size(); ++i) {
        const long load = fuel_.rows()[i].loadKgOrLb;
        if (sliders_[i]->GetValue() != load) sliders_[i]->SetValue(static_cast<int>(load));
        loads_[i]->SetLabel(kgOrLb(load, fuel_));
    }
    total_->SetLabel(kgOrLb(fuel_.totalKgOrLb(), fuel_));
    requested_->SetLabel(wx(fuel_.requestedTotal()));
    fuelPanel_->Layout();
}

// ---- Browser ----

namespace {
constexpr const char* kBrowserHint =
    "\"Local DB\" shows your stored flights here, \"VA Site\" your virtual airline's site.";
}  // namespace

BrowserView::BrowserView(wxWindow* parent, BrowserModule& module)
    : wxPanel(parent), module_(module) {
    hint_ = new wxStaticText(this, wxID_ANY, kBrowserHint, wxDefaultPosition, wxDefaultSize,
                             wxALIGN_CENTRE_HORIZONTAL);
    auto* sizer = new wxBoxSizer(wxVERTICAL);
    sizer->AddStretchSpacer();
    sizer->Add(hint_, 0, wxALIGN_CENTER | wxALL, 20);
    sizer->AddStretchSpacer();
    SetSizer(sizer);
}

void BrowserView::showHint(const wxString& text) {
    hint_->SetLabel(text);
    hint_->Wrap(FromDIP(380));
    Layout();
}

void BrowserView::navigate(const wxString& address) {
    if (page_) {
        page_->load(address);
        return;
    }
    page_ = module_.newPage(this, address);
    if (!page_) {
        // The pilot sees why instead of an empty page.
        showHint(module_.error());
        return;
    }
    GetSizer()->Clear(true);
    hint_ = nullptr;
    GetSizer()->Add(page_->window(), 1, wxEXPAND);
    Layout();
}

wxString BrowserView::address() const {
    return page_ ? page_->address() : wxString();
}

}  // namespace aviolog::shell
