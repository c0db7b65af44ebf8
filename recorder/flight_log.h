#pragma once

#include "platform/timers.h"
#include "recorder/flight_events.h"
#include "recorder/flight_info_dump.h"
#include "recorder/realism_monitor.h"
#include "recorder/recorder_context.h"
#include "simlink/sim_link.h"

namespace aviolog::recorder {

struct StartClock;

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

    void connectProcedure();
    // The "Start LOG" button; false when the simulator could not be read.
    bool StartLog();
    // The "Stop LOG" button, with its question.
    void stopButton();
    // The "Resume Log" button.
    void resumeButton();
    // The stop steps: header, rebuilt log, flight summary, results.
    void StopLog();

    FlightEvents& events() { return events_; }
    RealismMonitor& realism() { return realism_; }
    FlightInfoDump& dump() { return dump_; }

    // The simulator is lost: the flight timers stop, "Resume Log" is enabled and the
    // connect procedure is armed to offer the resume.
    void simulatorLost() override;

  private:
    bool resumeLostFlight();
    void firstConnection();
    void loadCargoPlugin();
    void automatedStartWatch();
    bool waitForAircraft(StartClock& clock);
    void monitorTick();
    void blocksOnAndMaybeStop(bool forced);
    std::string header() const;
    void fillSummary();
    void showResults();

    RecorderContext c_;
    LogLines lines_;
    FlightEvents events_;
    RealismMonitor realism_;
    FlightInfoDump dump_;
};

}  // namespace aviolog::recorder
