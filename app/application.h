#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "app/acars_console.h"
#include "app/gauge_client.h"
#include "config/settings.h"
#include "model/flight_record.h"
#include "model/flight_services.h"
#include "model/flight_summary.h"
#include "model/main_window_model.h"
#include "planning/flight_form.h"
#include "planning/flight_plan_import.h"
#include "planning/fuel_page.h"
#include "planning/weather.h"
#include "platform/timers.h"
#include "recorder/flight_journal.h"
#include "recorder/flight_log.h"
#include "recorder/flight_progress.h"
#include "recorder/recorder_context.h"
#include "reporting/acars_composer.h"
#include "reporting/acars_view.h"
#include "reporting/live_link.h"
#include "reporting/phpvms_flight.h"
#include "reporting/phpvms_outbox.h"
#include "reporting/pilot_log_book.h"
#include "reporting/va_traffic.h"
#include "simlink/sim_link.h"

namespace aviolog::platform {
class BackgroundGets;
class Clock;
class HttpClient;
class LibraryLoader;
class NonBlockingNetwork;
class Pilot;
class Registry;
class SimIpc;
class Sound;
class TcpConnector;
class UniqueIds;
}  // namespace aviolog::platform

namespace aviolog::mail {
class SmtpMailer;
}
namespace aviolog::reporting {
class PirepSender;
}

namespace aviolog::app {

class Dialogs;

inline constexpr const char* kDismissFlightQuestion =
    "Are you sure that you want to dismiss flight?";
// Exit could not write the settings back; %s is the folder.
inline constexpr const char* kSettingsNotSavedMessage =
    "Aviolog could not save its settings (aviolog.ini and the company profile) in %s, so "
    "what was changed in the options during this session is lost. Make the folder and its "
    "files writable, then change those options again.";

// The operating system as the program sees it.
struct Platform {
    platform::SimIpc& ipc;
    // The recorder runs on the clock that moves with the simulator; mail runs on the wall
    // clock. In the program they are one; in virtual time they differ.
    platform::Timers& timers;
    platform::Clock& clock;
    platform::Clock& wallClock;
    platform::Pilot& pilot;
    platform::Sound& sound;
    platform::LibraryLoader& libraries;
    platform::HttpClient& http;
    // The VA's ACARS, status and uplink scripts: never waited for on the recorder's thread.
    platform::BackgroundGets& vaGets;
    platform::TcpConnector& connector;
    platform::UniqueIds& ids;
    platform::NonBlockingNetwork& network;  // the cockpit terminal's link
    platform::Registry& registry;           // where the pilot's other Windows programs are
};

// What the recorder calls out to whose subsystems the application does not own yet:
// whoever builds the application supplies them.
struct FlightPorts {
    // Offline runs answer METARs and flap names from a table instead of the application's
    // weather service and aircraft list; null: the application's own.
    model::MetarFetcher* metar = nullptr;
    model::FlapNames* flapNames = nullptr;
};

// The program: owns the process-wide records (settings, flight record, flight progress,
// flight summary), the main window's model, the simulator link and every subsystem, and
// takes every timer tick. The desktop shell and the flight runner each build one with
// their platform and dialogs; a test builds a fresh one in a temporary folder.
class Application final : public platform::TimerSink {
  public:
    Application(Platform platform, Dialogs& dialogs, FlightPorts ports,
                std::filesystem::path workDir);
    ~Application() override;
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;

    // Start-up: the settings file and the company profile (with the dialogs they may
    // open), then the mailer. False when no settings could be made: the window then opens
    // without settings, timers or views.
    bool loadSettings();
    // Why there are no settings, for the window to show in place of its views.
    const std::string& noSettingsText() const { return noSettingsText_; }
    // Starts the connect procedure, as the main window does once it exists, and asks the VA
    // for the first uplink number.
    void start();
    // What the VA's sites had not answered when the program last ended, sent again in
    // order; start() does it, and a run without a flight asks for it.
    void resendVaOutboxes();
    // Exit: closes the link and writes the settings back. False when a file could not
    // be written, which the pilot is told.
    bool exit();

    void onTimer(int id) override;

    // The pilot's buttons.
    bool startLogButton() {
        const bool started = flightLog_.startButton();
        journal_.afterEvent(false);
        return started;
    }
    void stopLogButton() {
        flightLog_.stopButton();
        journal_.afterEvent(false);
    }
    void resumeLogButton() { flightLog_.resumeButton(); }
    void startDumpButton() { flightLog_.dump().start(); }
    void stopDumpButton() { flightLog_.dump().stop(); }
    // The OK and Cancel of the "Flight Summary" window; accepting is true once the flight
    // is stored.
    bool acceptFlight();
    void dismissFlight();
    // The File menu's "Save &Log" and "Save &ACARS"; true when the file was written.
    bool saveLog();
    bool saveAcars();
    // "Send LOG" (needs loaded settings); true when every stored flight was delivered.
    bool sendLog();
    // The "Commands" dialog's OK.
    void runCommand(std::string_view text) { console_.runCommand(text); }
    // "Local DB": writes the page of the stored flights; nothing when it could not (the
    // pilot has been told why).
    std::optional<std::filesystem::path> localDb();
    // The landing page of this run's flight, once it has been written.
    std::optional<std::filesystem::path> landingPage() const;
    // The Help menu's "&Bug Report" OK: the description mailed with the pilot's account
    // (needs loaded settings).
    void sendBugReport(std::string_view description);

    // Flight preparation: the flight-plan buttons, "Flight from VA", the fuel page (built
    // once the link is up), and the options dialog's change of the METAR source.
    void fsFlightPlanButton() { imports_.fsFlightPlanButton(); }
    void aviologButton() { imports_.aviologButton(); }
    void servinfoButton() { imports_.servinfoButton(); }
    void exportSb3Button() { imports_.exportSb3Button(); }
    void flightFromVaButton();
    // "SimBrief": the pilot's latest SimBrief plan into the form and the fuel page.
    bool simbriefButton();
    // "Acars RealTime": the address the browser opens.
    const std::string& realTimeAddress();
    bool buildFuelPage() { return fuel_.build(); }
    void metarSourceChanged() { weather_.select(settings_); }

    config::Settings& settings() { return settings_; }
    model::FlightRecord& record() { return record_; }
    recorder::FlightProgress& progress() { return progress_; }
    recorder::FlightPhase phase() const { return flight_.phase; }
    const model::FlightSummary& summary() const { return summary_; }
    model::MainWindowModel& window() { return window_; }
    simlink::SimLink& link() { return link_; }
    recorder::FlightLog& flightLog() { return flightLog_; }
    AcarsConsole& console() { return console_; }
    planning::FlightFormModel& form() { return form_; }
    planning::FlightPlanImport& imports() { return imports_; }
    planning::FuelPage& fuelPage() { return fuel_; }
    planning::Weather& weather() { return weather_; }
    reporting::AcarsMessenger& acars() { return acars_; }
    reporting::AcarsView& acarsView() { return acarsView_; }
    reporting::VaLiveLink& live() { return live_; }
    reporting::PhpVmsFlight& phpVms() { return phpVms_; }

    recorder::FlightJournal& journal() { return journal_; }

  private:
    void fillDateTime(const planning::SimulatorClock& clock);
    void phpVmsFiled(const std::string& storedFlight);
    // Start-up: a flight the program was recording when it last ended without stopping
    // the log is offered for resuming; declined, it is kept as a saved log.
    void offerUnfinishedFlight();
    void beginPhpVmsFlight();
    void restoreForm();

    // In the order they are made: each after what it uses.
    Platform platform_;
    Dialogs& dialogs_;
    std::filesystem::path workDir_;
    std::string noSettingsText_;

    config::Settings settings_;
    model::FlightRecord record_;
    recorder::FlightProgress progress_;
    recorder::FlightState flight_;
    model::FlightSummary summary_;
    model::MainWindowModel window_;
    simlink::SimLink link_;
    reporting::PilotLogBook book_;
    // Made once the settings are loaded: the mailer reads its own keys when created.
    std::unique_ptr<mail::SmtpMailer> mailer_;
    std::unique_ptr<reporting::PirepSender> pirep_;
    GaugeClient gaugeClient_;
    // The one member that refers to one made after it (services_): see ConsoleContext.
    AcarsConsole console_;
    planning::FlightFormModel form_;
    planning::Weather weather_;
    planning::FuelPage fuel_;
    planning::FlightPlanImport imports_;
    reporting::VaTraffic vaTraffic_;
    reporting::AcarsView acarsView_;
    reporting::AcarsDisplay acarsDisplay_;
    reporting::AcarsMessenger acars_;
    recorder::FlightUnderWayView flightUnderWay_;
    reporting::VaLiveLink live_;
    // A phpVMS 7 site follows the flight beside what the scripts get; with the scripts
    // chosen it sends nothing.
    reporting::PhpVmsDiskOutbox phpVmsOutbox_;
    reporting::PhpVmsFlight phpVms_;
    reporting::PhpVmsMoments phpVmsMoments_;
    reporting::PhpVmsBeat phpVmsBeat_;
    bool phpVmsBegun_ = false;
    model::FlightServices services_;
    recorder::FlightLog flightLog_;
    recorder::FlightJournal journal_;
};

}  // namespace aviolog::app
