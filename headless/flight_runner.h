#pragma once

// The flight runner: flies an aviolog-sim scenario through the recorder in a working
// directory whose INI files decide the options, answering the pilot's questions as told,
// and reports the flight log, the summary and every call the recorder made outward.

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "model/flight_record.h"
#include "model/flight_summary.h"

namespace aviolog::headless {

struct RunnerOptions {
    std::string workDir = ".";
    // Empty for a live flight of a real simulator: the form then needs its airports typed.
    std::string scenarioPath;
    std::vector<std::string> extraEvents;  // scenario event lines: "at 0:20:00 refuel left-main 5"

    // Live: real timers against a running aviolog-sim; otherwise virtual time in process.
    bool live = false;
    double speed = 1.0;  // live: the speed the simulator runs at
    std::string ipcPrefix;

    // Answers by the start of the question's text; any other box gets its first button.
    std::vector<std::pair<std::string, std::string>> answers;

    // Fields of the flight data form the pilot filled; empty ones come from the scenario.
    model::FlightRecord form;
    model::DateTimeBox dateTimeBox;
    std::vector<std::string> flapNames;         // by detent, from 0; none: the aircraft list's
    std::map<std::string, std::string> metars;  // ICAO -> the METAR the service returns
    // METARs from the configured Provider through the real weather service instead of
    // the table above.
    bool providerMetars = false;

    // Flight preparation, in this order after the typed fields: the "FS Flight Plan" and
    // "Aviolog" imports of these files, "Servinfo", "Flight from VA"; then, once the link
    // is up, the fuel page's sliders ("left main tank" = load; or the total spread over
    // the tanks in proportion to their size) and "Export SB3" before Start.
    std::string plnFile;
    std::string fsaFile;
    bool servinfo = false;
    bool flightFromVa = false;
    // Which of several phpVMS bids "Flight from VA" takes, from 1.
    int bid = 1;
    // "SimBrief" with this user once the link is up (the fuel page then takes the ramp fuel).
    std::string simbriefUser;
    std::vector<std::pair<std::string, long>> fuelLoads;
    std::optional<long> fuelTotal;
    bool exportSb3 = false;

    // Virtual time: the VA's requests go out on worker threads as in the program and their
    // answers arrive between ticks, so the run no longer replays exactly (benchmarks).
    bool vaInBackground = false;

    bool startDump = false;
    // The flight journal, as the program keeps it; off, the recorder runs without one
    // (what a benchmark measures the journal against).
    bool keepJournal = true;
    // The port of the cockpit terminal, when UseGauge is on (the program's is fixed; tests
    // keep off the one a pilot's terminal may hold).
    std::optional<int> gaugePort;
    // Press "Stop LOG" at this time since the start (ms) or when the flight enters this
    // stage (virtual time only); otherwise at the gate once blocks on was logged.
    std::optional<std::int64_t> stopAtMs;
    std::string stopAtStage;
    bool pressStop = true;
    // Simulated time before the runner gives up: in virtual time five hours unless given;
    // live never unless given, for a live flight is the pilot's to end.
    std::optional<std::int64_t> limitMs;
    // Ctrl-C, asked between ticks: the log is stopped as "Stop LOG" stops it and the steps
    // after the flight follow; before the log has started the run just ends.
    std::function<bool()> stopRequested;
    // Live: what happens while the pilot waits (the simulator found or lost, each message
    // box), said when it changes rather than at every attempt.
    std::function<void(const std::string& text)> onProgress;

    // After the flight, in this order: the "Flight Summary" window's OK or Cancel, the
    // File menu's "Save &Log" and "Save &ACARS" to these files, "Send LOG", "Local DB".
    enum class SummaryAnswer { Leave, Accept, Dismiss };
    SummaryAnswer summaryAnswer = SummaryAnswer::Leave;
    std::string saveLogTo;
    std::string saveAcarsTo;
    bool sendLog = false;
    bool showLocalDb = false;

    // The dialogs' answers. "Send Log Parameters" is closed with OK and the profile's
    // number unless a number is given, or it is escaped; the browser answers OK unless
    // told; the "Log Directory" chooser is cancelled unless a folder is given.
    std::optional<std::string> sendPilotNumber;
    bool escapeSendLogParameters = false;
    bool browserOk = true;
    std::optional<std::string> logDirectory;
};

struct RunResult {
    enum class End { Stopped, Crashed, Reduced, TimedOut, BadInput, Interrupted };
    End end = End::TimedOut;
    std::string error;                     // for BadInput
    std::vector<std::string> log;          // the flight log, header included once stopped
    std::vector<std::string> calls;        // outward calls, in order
    std::vector<std::string> acarsView;    // the ACARS view's rows: headers, then indented lines
    std::vector<std::string> pilotBoxes;   // every message box, with its answer
    std::vector<std::string> simMessages;  // what the simulator was asked to show
    model::FlightSummary summary;
    bool summaryOffered = false;
    std::string status;
    std::int64_t simulatedMs = 0;
    std::uint64_t exchanges = 0;
    std::int64_t maxTimerLateMs = 0;  // live: the most a timer fired after its due time
    // What the flight journal cost the recorder's thread (benchmarks): making its text,
    // waiting for logged lines to reach the disk, and the states it handed over at a
    // logged line and at every ninth tick.
    std::int64_t journalMakingNs = 0;
    std::int64_t journalWaitingNs = 0;
    int journalLineWrites = 0;
    int journalTickWrites = 0;
    bool summaryClosed = false;  // accepted or dismissed
    // The steps after the flight that were asked for and did not succeed, for the pilot.
    std::vector<std::string> failedSteps;
    std::string localDbPage;            // the page written for "Local DB"
    model::FlightRecord record;         // the flight record as flown
    std::vector<std::string> fuelRows;  // the fuel page once loaded: "name=load/maximum"
};

// Called with every log line as it is added (live display).
using LineSink = std::function<void(const std::string& line)>;

RunResult runFlight(const RunnerOptions& options, const LineSink& onLine = {});

// No flight: the steps after one (File menu, "Send LOG", "Local DB") on what is stored.
RunResult runWithoutFlight(const RunnerOptions& options);

// The summary as "Key=value" lines, in the order the keys are stored.
std::string summaryText(const model::FlightSummary& summary);

}  // namespace aviolog::headless
