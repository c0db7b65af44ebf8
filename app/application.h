#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "config/settings.h"
#include "model/flight_record.h"
#include "model/flight_summary.h"
#include "model/main_window_model.h"
#include "platform/timers.h"
#include "recorder/flight_log.h"
#include "recorder/flight_progress.h"
#include "recorder/flight_services.h"
#include "recorder/recorder_context.h"
#include "reporting/pilot_log_book.h"
#include "simlink/sim_link.h"

namespace aviolog::platform {
class Clock;
class HttpClient;
class LibraryLoader;
class Pilot;
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
    platform::TcpConnector& connector;
    platform::UniqueIds& ids;
};

// What the recorder calls out to whose subsystems the application does not own yet:
// whoever builds the application supplies them.
struct FlightPorts {
    recorder::AcarsComposer& acars;
    recorder::MetarFetcher& metar;
    recorder::GaugeLink& gauge;
    recorder::LiveLink& live;
    recorder::FlapNames& flapNames;
    model::FlightForm& form;
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
    // Starts the connect procedure, as the main window does once it exists.
    void start();
    // Exit: closes the link and writes the settings back. False when a file could not
    // be written.
    bool exit();

    void onTimer(int id) override { flightLog_.onTimer(id); }

    // The pilot's buttons.
    bool startLogButton() { return flightLog_.StartLog(); }
    void stopLogButton() { flightLog_.stopButton(); }
    void resumeLogButton() { flightLog_.resumeButton(); }
    void startDumpButton() { flightLog_.dump().start(); }
    void stopDumpButton() { flightLog_.dump().stop(); }
    // The OK and Cancel of the "Flight Summary" window.
    void acceptFlight();
    void dismissFlight();
    // The File menu's "Save &Log" and "Save &ACARS".
    void saveLog();
    void saveAcars();
    // "Send LOG" (needs loaded settings).
    void sendLog();
    // "Local DB": writes the page of the stored flights; nothing when it could not (the
    // pilot has been told why).
    std::optional<std::filesystem::path> localDb();
    // The Help menu's "&Bug Report" OK: the description mailed with the pilot's account
    // (needs loaded settings).
    void sendBugReport(std::string_view description);

    config::Settings& settings() { return settings_; }
    model::FlightRecord& record() { return record_; }
    recorder::FlightProgress& progress() { return progress_; }
    recorder::FlightPhase phase() const { return context_.phase; }
    const model::FlightSummary& summary() const { return summary_; }
    model::MainWindowModel& window() { return window_; }
    simlink::SimLink& link() { return link_; }
    recorder::FlightLog& flightLog() { return flightLog_; }
    const recorder::RecorderContext& context() const { return context_; }

  private:
    Platform platform_;
    Dialogs& dialogs_;
    std::filesystem::path workDir_;

    config::Settings settings_;
    model::FlightRecord record_;
    recorder::FlightProgress progress_;
    model::FlightSummary summary_;
    model::MainWindowModel window_;
    simlink::SimLink link_;
    reporting::PilotLogBook book_;
    // Made once the settings are loaded: the mailer reads its own keys when created.
    std::unique_ptr<mail::SmtpMailer> mailer_;
    std::unique_ptr<reporting::PirepSender> pirep_;
    recorder::FlightServices services_;
    recorder::RecorderContext context_;
    recorder::FlightLog flightLog_;
};

}  // namespace aviolog::app
