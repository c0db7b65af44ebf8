#pragma once

#include "platform/timers.h"
#include "recorder/flight_events.h"
#include "recorder/flight_info_dump.h"
#include "recorder/realism_monitor.h"
#include "recorder/recorder_context.h"
#include "recorder/runway_file.h"
#include "simlink/sim_link.h"

namespace aviolog::recorder {

struct StartClock;

// What the status bar says of the simulator and the log while the monitor's own line is
// not there: before a log, after it, and while the simulator is lost.
inline constexpr const char* kWaitingStatus = "Waiting for the simulator...";
inline constexpr const char* kConnectedStatus =
    "Connected to the simulator: Start LOG records the flight";
inline constexpr const char* kConnectedAutoStartStatus =
    "Connected to the simulator: the log starts when the parking brake is released";
inline constexpr const char* kRecordingStatus = "Recording the flight";
inline constexpr const char* kLostStatus = "Simulator lost: the log can be resumed once it is back";
inline constexpr const char* kLogClosedStatus = "Log closed";
inline constexpr const char* kSimulatorGoneStatus = "Log closed; the simulator has gone";
inline constexpr const char* kReducedModeStatus =
    "Not recording: only sending logs and changing options remain";

// Why a press of "Start LOG" started nothing.
inline constexpr const char* kNotConnectedMessage =
    "Aviolog is not connected to the simulator yet, so the log was not started. Start the "
    "simulator; Start LOG works once the status bar says it is connected.";
inline constexpr const char* kFormNotFilledMessage =
    "The flight has no departure, arrival or route yet, so the log was not started. Fill them "
    "in on the Flight Plan page, then press Start LOG.";
inline constexpr const char* kNoAnswerMessage =
    "The simulator did not answer, so the log was not started. Press Start LOG again once "
    "the simulator runs.";
inline constexpr const char* kAircraftNotLoadedMessage =
    "The simulator has not finished loading the aircraft, so the log was not started. Press "
    "Start LOG again once the aircraft is loaded.";

// The life of one recorded flight: connecting, starting the log, the monitor tick,
// stopping, and resuming after the simulator was lost. Every periodic job is one of
// the main window's timers, and all of them arrive here.
class FlightLog final : public platform::TimerSink, public simlink::LinkLossObserver {
  public:
    // The cargo plug-in beside the program, and what it exports.
    static constexpr const char* kCargoPlugin = "RfPCargoloader.so";
    static constexpr const char* kCargoExport = "LoadRfPCargo";

    explicit FlightLog(RecorderContext context);

    void onTimer(int id) override;

    // The connect procedure's first run, two seconds after start-up.
    void startConnecting();
    void connectProcedure();
    // Starts the log; false when the simulator could not be read (the automated start
    // tries again at its next watch).
    bool StartLog();
    // The "Start LOG" button: the log, or the pilot is told why it did not start.
    bool startButton();
    // The "Stop LOG" button, with its question.
    void stopButton();
    // The "Resume Log" button.
    void resumeButton();
    // The flight put back from the journal after the program itself was restarted: the
    // window shows a running log, and the connect procedure takes the flight up as soon as
    // the simulator answers, without asking again.
    void restartedFlight();
    // The same for a flight that had stopped and whose summary was still open: the window as
    // the stop left it, and the summary offered again.
    void restartedStoppedFlight();
    // The stop steps: header, rebuilt log, flight summary, results.
    void StopLog();

    FlightEvents& events() { return events_; }
    RealismMonitor& realism() { return realism_; }
    FlightInfoDump& dump() { return dump_; }

    // The simulator is lost: the flight timers stop, "Resume Log" is enabled and the
    // connect procedure is armed to offer the resume.
    void simulatorLost() override;

    // A flight is being recorded: started, and not yet ended by a stop or a crash.
    bool logging() const;

  private:
    bool resumeLostFlight();
    void resumeRestartedFlight();
    void startFlightTimers();
    void reducedMode();
    void firstConnection();
    void loadCargoPlugin();
    void automatedStartWatch();
    bool waitForAircraft(StartClock& clock);
    void monitorTick();
    void blocksOnAndMaybeStop(bool forced);
    void writeLandingPage();
    std::string header() const;
    void fillSummary();
    void showResults();

    RecorderContext c_;
    LogLines lines_;
    // Why the last StartLog did not start the log.
    const char* startRefusal_ = nullptr;
    // A flight from the journal waits for the simulator.
    bool restarted_ = false;
    RunwayFile runways_;
    FlightEvents events_;
    RealismMonitor realism_;
    FlightInfoDump dump_;
};

}  // namespace aviolog::recorder
