#pragma once

// The contents of the main window's tabs, one class per tab. Each draws a model of the
// core and forwards nothing of its own.

#include <wx/panel.h>

#include <memory>
#include <string>
#include <vector>

#include "model/main_window_model.h"
#include "planning/date_time_box.h"
#include "planning/flight_form.h"
#include "planning/fuel_page.h"
#include "shell/browser_module.h"

class wxPropertyGrid;
class wxPropertyGridEvent;
class wxScrolledWindow;
class wxSlider;
class wxStaticText;
class wxDatePickerCtrl;
class wxTimePickerCtrl;
class wxSizer;

namespace aviolog::reporting {
class AcarsView;
}

namespace aviolog::shell {

// "Flight Log": one row per log line, named by its time, valued by its text.
class LogView final : public wxPanel {
  public:
    LogView(wxWindow* parent, const model::MainWindowModel& window);
    void add(const std::string& line);
    void reload();
    int rowCount() const;
    // Every row as drawn, "logrow \"time\" = \"text\"" a line, for the window report.
    wxString rowsReport() const;

  private:
    const model::MainWindowModel& window_;
    wxPropertyGrid* grid_;
};

// "Flight/Plane Data": the plane, flight and results rows on the left; the date and time
// page on the right, whose editors the simulator's clock fills and whose every change
// goes to the form model, which makes the other category follow.
class ResultsView final : public wxPanel, public planning::FlightFormObserver {
  public:
    ResultsView(wxWindow* parent, const model::MainWindowModel& window,
                planning::FlightFormModel& form);
    ~ResultsView() override;
    void reload();
    void dateTimeChanged() override;
    // The four editors as they are on screen, one line each, for the window report.
    wxString dateTimeReport() const;

  private:
    struct Side {
        wxSizer* box;
        wxDatePickerCtrl* date;
        wxTimePickerCtrl* time;
    };
    Side addSide(wxSizer* sizer, const char* caption, bool utc);
    void refreshDateTime();

    const model::MainWindowModel& window_;
    planning::FlightFormModel& form_;
    wxPropertyGrid* data_;
    wxSizer* page_ = nullptr;
    wxStaticText* clockHint_ = nullptr;
    Side utc_{};
    Side local_{};
    bool refreshPending_ = false;
};

// A tab whose model has not landed in this program yet: says so instead of pretending.
class PendingView : public wxPanel {
  public:
    PendingView(wxWindow* parent, const wxString& what);
};

// "Acars Messages": a header row per kind of message, then a row per line.
class AcarsMessagesView final : public wxPanel {
  public:
    AcarsMessagesView(wxWindow* parent, const reporting::AcarsView& view);
    void reload();
    int rowCount() const;

  private:
    const reporting::AcarsView& view_;
    wxPropertyGrid* grid_;
};

// "Flight Plan": the flight data form on the left, the fuel page with a slider per tank
// on the right. Every edit goes to the form model, every slider to the fuel page.
class FlightPlanView final : public wxPanel,
                             public planning::FlightFormObserver,
                             public planning::FuelPageObserver {
  public:
    FlightPlanView(wxWindow* parent, planning::FlightFormModel& form, planning::FuelPage& fuel);
    ~FlightPlanView() override;

    void fieldChanged(planning::FormField field) override;
    void layoutChanged() override;
    void fuelPageChanged() override;
    std::size_t sliderCount() const { return sliders_.size(); }
    // The middle of a field's value cell on the screen; (-1, -1) when not drawn.
    wxPoint valueCentre(planning::FormField field) const;

  private:
    void rebuildForm();
    void refreshFields();
    void rebuildFuel();
    void refreshFuel();
    void onFormChanged(wxPropertyGridEvent& event);

    planning::FlightFormModel& form_;
    planning::FuelPage& fuel_;
    wxPropertyGrid* grid_;
    wxScrolledWindow* fuelPanel_;
    std::vector<wxSlider*> sliders_;
    std::vector<wxStaticText*> loads_;
    wxStaticText* total_ = nullptr;
    wxStaticText* requested_ = nullptr;
    bool refreshPending_ = false;
    bool rebuildPending_ = false;
};

// "Information browser": the web engine is loaded and made on the first page shown, so
// that an idle program does not carry one.
class BrowserView final : public wxPanel {
  public:
    BrowserView(wxWindow* parent, BrowserModule& module);
    void navigate(const wxString& address);
    bool engineCreated() const { return page_ != nullptr; }
    // The page's address as the engine has it ("" before the first page).
    wxString address() const;

  private:
    void showHint(const wxString& text);

    BrowserModule& module_;
    std::unique_ptr<BrowserPage> page_;
    wxStaticText* hint_;
};

}  // namespace aviolog::shell
