#pragma once

// The contents of the main window's tabs, one class per tab. Each draws a model of the
// core and forwards nothing of its own.

#include <wx/panel.h>

#include <string>

#include "model/main_window_model.h"

class wxPropertyGrid;
class wxWebView;

namespace aviolog::shell {

// "Flight Log": one row per log line, named by its time, valued by its text.
class LogView final : public wxPanel {
  public:
    LogView(wxWindow* parent, const model::MainWindowModel& window);
    void add(const std::string& line);
    void reload();
    int rowCount() const;

  private:
    const model::MainWindowModel& window_;
    wxPropertyGrid* grid_;
};

// "Flight/Plane Data": the plane, flight and results rows on the left; the date and time
// page on the right.
class ResultsView final : public wxPanel {
  public:
    ResultsView(wxWindow* parent, const model::MainWindowModel& window);
    void reload();

  private:
    const model::MainWindowModel& window_;
    wxPropertyGrid* data_;
};

// A tab whose model has not landed in this program yet: says so instead of pretending.
class PendingView : public wxPanel {
  public:
    PendingView(wxWindow* parent, const wxString& what);
};

// "Acars Messages": the ACARS view draws the ACARS model once it exists.
class AcarsView final : public PendingView {
  public:
    explicit AcarsView(wxWindow* parent);
};

// "Flight Plan": the flight data form draws the form model once it exists.
class FlightPlanView final : public PendingView {
  public:
    explicit FlightPlanView(wxWindow* parent);
};

// "Information browser": the web engine is made on the first page shown, so that an idle
// program does not carry one.
class BrowserView final : public wxPanel {
  public:
    explicit BrowserView(wxWindow* parent);
    void navigate(const wxString& address);
    bool engineCreated() const { return page_ != nullptr; }

  private:
    wxWebView* page_ = nullptr;
    wxWindow* hint_;
};

}  // namespace aviolog::shell
