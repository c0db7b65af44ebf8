#pragma once

#include <memory>
#include <string>

#include "config/settings.h"
#include "planning/flight_record.h"
#include "platform/timers.h"
#include "recorder/flight_log.h"
#include "recorder/flight_progress.h"
#include "recorder/flight_services.h"
#include "recorder/flight_summary.h"
#include "recorder/main_window_model.h"
#include "recorder/recorder_context.h"
#include "recorder/sim_link.h"

namespace aviolog::platform {
class SimIpc;
class Clock;
class Pilot;
class Sound;
class LibraryLoader;
}  // namespace aviolog::platform

namespace aviolog::recorder {

inline constexpr const char* kDismissFlightQuestion =
    "Are you sure that you want to dismiss flight?";

// The operating system as the core sees it.
struct CorePlatform {
    platform::SimIpc& ipc;
    platform::Timers& timers;
    platform::Clock& clock;
    platform::Pilot& pilot;
    platform::Sound& sound;
    platform::LibraryLoader& libraries;
};

// Owns the process-wide records (settings, flight record, flight progress, flight
// summary), the simulator link, the main window's model and the flight log, and takes
// every timer tick. One instance per program run; a test builds a fresh one.
class ApplicationCore final : public platform::TimerSink {
  public:
    ApplicationCore(CorePlatform platform, std::string workDir, config::Settings settings,
                    planning::FlightForm& form, FlightServices services);
    ~ApplicationCore() override;
    ApplicationCore(const ApplicationCore&) = delete;
    ApplicationCore& operator=(const ApplicationCore&) = delete;

    // Starts the connect procedure, as the main window does once it exists.
    void start();
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

    config::Settings& settings() { return settings_; }
    planning::FlightRecord& record() { return record_; }
    FlightProgress& progress() { return progress_; }
    FlightPhase phase() const { return context_.phase; }
    const FlightSummary& summary() const { return summary_; }
    MainWindowModel& window() { return window_; }
    SimLink& link() { return link_; }
    FlightLog& flightLog() { return flightLog_; }
    const RecorderContext& context() const { return context_; }

  private:
    config::Settings settings_;
    planning::FlightRecord record_;
    FlightProgress progress_;
    FlightSummary summary_;
    MainWindowModel window_;
    FlightServices services_;
    SimLink link_;
    platform::Timers& timers_;
    RecorderContext context_;
    FlightLog flightLog_;
};

}  // namespace aviolog::recorder
