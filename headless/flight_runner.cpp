#include "headless/flight_runner.h"

#include <poll.h>

#include <chrono>
#include <functional>

#include "app/application.h"
#include "common/text_file.h"
#include "common/text_format.h"
#include "headless/runner_stand_ins.h"
#include "planning/flight_form.h"
#include "planning/flight_plan_import.h"
#include "planning/fuel_page.h"
#include "platform/inline_gets.h"
#include "platform/posix/event_loop.h"
#include "platform/posix/native_platform.h"
#include "platform/virtual/virtual_scheduler.h"
#include "reporting/acars_view.h"
#include "sim/in_process_sim_ipc.h"
#include "sim/scenario.h"
#include "sim/simulator.h"

namespace aviolog::headless {

namespace {

using model::Channel;
using model::Control;
using recorder::FlightPhase;

// What the pilot does once the log has stopped: the summary window, the File menu,
// "Send LOG" and "Local DB", with the real pilot log file, database, mail and web.
void afterFlight(app::Application& app, const RunnerOptions& options, bool flown,
                 RunResult& result) {
    const auto check = [&](bool done, const char* failure) {
        if (!done) result.failedSteps.emplace_back(failure);
    };
    if (flown) {
        if (options.summaryAnswer == RunnerOptions::SummaryAnswer::Accept) {
            check(app.acceptFlight(), "the flight was not stored");
        }
        if (options.summaryAnswer == RunnerOptions::SummaryAnswer::Dismiss) app.dismissFlight();
        result.summaryClosed = options.summaryAnswer != RunnerOptions::SummaryAnswer::Leave &&
                               !app.window().summaryOffered();
        // Save Log needs a flight; the command line asks for one.
        if (!options.saveLogTo.empty()) check(app.saveLog(), "Save Log wrote no file");
    }
    if (!options.saveAcarsTo.empty()) check(app.saveAcars(), "Save ACARS wrote no file");
    if (options.sendLog) check(app.sendLog(), "Send LOG did not deliver every stored flight");
    if (options.showLocalDb) {
        if (const auto page = app.localDb()) result.localDbPage = page->string();
    }
    // Storing the flight may have added the version line.
    if (flown) result.log = app.window().lines(Channel::Log);
}

// The scenario text with the runner's extra events added to its [events] section.
std::string withExtraEvents(std::string text, const std::vector<std::string>& events) {
    if (events.empty()) return text;
    std::string lines;
    for (const std::string& e : events) lines += e + "\n";
    const std::size_t at = text.find("\n[events]");
    if (at == std::string::npos) return text + "\n[events]\n" + lines;
    const std::size_t lineEnd = text.find('\n', at + 1);
    text.insert(lineEnd == std::string::npos ? text.size() : lineEnd + 1, lines);
    return text;
}

// The scenario, and then each added event on its own, so that an error names the event
// the user typed rather than a line of a text he never saw. Empty on success.
std::string scenarioError(const std::string& text, const RunnerOptions& options) {
    const auto alone = sim::parseScenario(text);
    if (!alone.ok()) return options.scenarioPath + ": " + alone.error;
    for (const std::string& event : options.extraEvents) {
        const auto with = sim::parseScenario(withExtraEvents(text, {event}));
        if (with.ok()) continue;
        // "line N: message": the line is the event's own.
        std::string message = with.error;
        if (message.starts_with("line ")) {
            if (const std::size_t colon = message.find(": "); colon != std::string::npos) {
                message.erase(0, colon + 2);
            }
        }
        return "--event '" + event + "': " + message;
    }
    return {};
}

// The pilot fills the form: the fields typed on the command line, then the imports and
// the VA's booked flight; what is still empty comes from the scenario, when there is one.
void prepareForm(app::Application& app, const RunnerOptions& options, const sim::Scenario* sc) {
    using planning::FormField;
    planning::FlightFormModel& form = app.form();
    const model::FlightRecord& typed = options.form;
    const std::pair<FormField, const std::string*> fields[] = {
        {FormField::Departure, &typed.departureIcao},
        {FormField::Arrival, &typed.arrivalIcao},
        {FormField::Alternate, &typed.alternateIcao},
        {FormField::FlightLevel, &typed.flightLevel},
        {FormField::AircraftType, &typed.aircraftType},
        {FormField::PilotNumber, &typed.pilotNumber},
        {FormField::FlightNumber, &typed.flightNumber},
        {FormField::Registration, &typed.registration},
        {FormField::Selcal, &typed.selcal},
        {FormField::Callsign, &typed.callsign},
        {FormField::Route, &typed.route},
        {FormField::Passengers, &typed.passengers},
        {FormField::Cargo, &typed.cargo},
        {FormField::Remarks, &typed.remarks},
    };
    for (const auto& [field, value] : fields) {
        if (!value->empty()) form.edit(field, *value);
    }
    for (std::size_t i = 0; i < planning::kOnlineNetworks.size(); ++i) {
        if (typed.onlineNetwork == planning::kOnlineNetworks[i]) form.selectOnline(i);
    }
    if (typed.voiceMode == "Text") form.selectVoice(1);

    if (!options.plnFile.empty()) app.imports().importPln(options.plnFile);
    if (!options.fsaFile.empty()) app.imports().importFsa(options.fsaFile);
    if (options.servinfo) app.servinfoButton();
    if (options.flightFromVa) app.flightFromVaButton();

    form.readForm();
    const model::FlightRecord& r = app.record();
    if (sc != nullptr) {
        if (r.departureIcao.empty()) form.edit(FormField::Departure, sc->departure.icao);
        if (r.arrivalIcao.empty()) form.edit(FormField::Arrival, sc->arrival.icao);
        if (r.flightLevel.empty()) {
            form.edit(FormField::FlightLevel,
                      format("FL%03d", static_cast<int>(sc->profile.cruiseAltitudeFt / 100)));
        }
    }
    if (r.route.empty()) form.edit(FormField::Route, "DCT");
}

// The pilot's edits of the date and time page, made at the gate: the program has filled
// the page from the simulator's clock once the link came up.
void editDateTime(app::Application& app, const RunnerOptions& options) {
    planning::FlightFormModel& form = app.form();
    const model::DateTimeBox& wanted = options.dateTimeBox;
    if (wanted.setDate) form.editLocalDate({wanted.year, wanted.month, wanted.day});
    if (wanted.setClock) {
        form.editUtcTime(wanted.utcHour, wanted.utcMinute);
        const model::DateTimeBox& box = form.dateTimeBox();
        const bool localGiven = wanted.localHour >= 0;
        if (localGiven &&
            (box.localHour != wanted.localHour || box.localMinute != wanted.localMinute)) {
            form.editLocalTime(wanted.localHour, wanted.localMinute);
        }
    }
}

void prepareAtTheGate(app::Application& app, const RunnerOptions& options, RunResult& result) {
    editDateTime(app, options);
    planning::FuelPage& fuel = app.fuelPage();
    if (!options.simbriefUser.empty()) {
        if (!fuel.built()) fuel.build();
        app.settings().company.SimbriefUser = options.simbriefUser;
        if (!app.simbriefButton()) result.failedSteps.push_back("SimBrief");
    }
    if (!options.fuelLoads.empty() || options.fuelTotal || !options.simbriefUser.empty()) {
        if (!fuel.built()) fuel.build();
        if (options.fuelTotal) {
            long capacity = 0;
            for (const planning::TankRow& row : fuel.rows()) capacity += row.maximumKgOrLb;
            const std::vector<planning::TankRow> rows = fuel.rows();
            for (std::size_t i = 0; i < rows.size() && capacity > 0; ++i) {
                fuel.setLoad(i, static_cast<long>(static_cast<double>(*options.fuelTotal) *
                                                  rows[i].maximumKgOrLb / capacity));
            }
        }
        for (const auto& [tank, load] : options.fuelLoads) {
            const std::size_t row = fuel.rowNamed(tank);
            if (row < fuel.rows().size()) {
                fuel.setLoad(row, load);
            } else {
                result.pilotBoxes.push_back("[Fuel] no row \"" + tank + "\"");
            }
        }
        for (const planning::TankRow& row : fuel.rows()) {
            result.fuelRows.push_back(
                format("%s=%ld/%ld", row.name, row.loadKgOrLb, row.maximumKgOrLb));
        }
        result.fuelRows.push_back(format("%s=%ld", planning::kTotalFuelRow, fuel.totalKgOrLb()));
        result.fuelRows.push_back(std::string(planning::kRequestedFuelRow) + "=" +
                                  fuel.requestedTotal());
    }
    if (options.exportSb3) app.exportSb3Button();
}

// The pilot's side of the flight: presses Start LOG once the simulator is connected,
// and Stop LOG when told, or at the gate once blocks on is logged.
class PilotActions {
  public:
    PilotActions(app::Application& core, const RunnerOptions& options, RunResult& result)
        : core_(core), options_(options), result_(result) {}

    // Called between timer ticks; nowMs is the time since the start.
    void act(std::int64_t nowMs, std::string_view stage) {
        model::MainWindowModel& w = core_.window();
        // The form enables "Start LOG" as soon as it is filled; the pilot waits for the link.
        const bool canStart = w.control(Control::StartLog).shown &&
                              w.control(Control::StartLog).enabled && core_.link().isOpen();
        if (!prepared_ && canStart) {
            prepareAtTheGate(core_, options_, result_);
            prepared_ = true;
        }
        if (!started_ && canStart && !core_.settings().aviolog.AutomatedStart) {
            started_ = core_.startLogButton();
        }
        if (w.control(Control::StopLog).shown) started_ = true;
        if (started_ && options_.startDump && !dumpStarted_) {
            core_.startDumpButton();
            dumpStarted_ = true;
        }
        if (!started_ || !w.control(Control::StopLog).enabled || !options_.pressStop) return;
        const bool stopNow = (options_.stopAtMs && nowMs >= *options_.stopAtMs) ||
                             (!options_.stopAtStage.empty() && stage == options_.stopAtStage);
        if (core_.progress().blocksOnDone && !blocksOnSeenMs_) blocksOnSeenMs_ = nowMs;
        constexpr std::int64_t kPilotReactionMs = 5000;
        const bool atGate = blocksOnSeenMs_ && nowMs - *blocksOnSeenMs_ >= kPilotReactionMs;
        if (stopNow || atGate) core_.stopLogButton();
    }

    // Ctrl-C: "Stop LOG" when a log runs; false when there is no log to stop.
    bool stopForInterrupt() {
        const model::MainWindowModel& w = core_.window();
        if (stopPressed_ || !started_ || !w.control(Control::StopLog).enabled) return false;
        core_.stopLogButton();
        stopPressed_ = true;
        return true;
    }

    bool finished() const {
        const model::MainWindowModel& w = core_.window();
        return w.summaryOffered() || w.reducedMode() ||
               (core_.phase() == FlightPhase::Stopped && started_);
    }

  private:
    app::Application& core_;
    const RunnerOptions& options_;
    RunResult& result_;
    bool prepared_ = false;
    bool started_ = false;
    bool dumpStarted_ = false;
    bool stopPressed_ = false;
    std::optional<std::int64_t> blocksOnSeenMs_;
};

// Lines are passed on once the step that logged them is over, when the flight journal
// holds them: a line the runner has shown survives a kill of the program.
class LineObserver final : public model::MainWindowObserver {
  public:
    explicit LineObserver(const LineSink& sink) : sink_(sink) {}
    void lineAdded(Channel channel, const std::string& line) override {
        if (channel == Channel::Log && sink_) pending_.push_back(line);
    }
    void flush() {
        for (const std::string& line : pending_) sink_(line);
        pending_.clear();
    }

  private:
    const LineSink& sink_;
    std::vector<std::string> pending_;
};

RunResult::End endOf(app::Application& core, const PilotActions& pilot, bool interrupted) {
    if (core.window().summaryOffered()) return RunResult::End::Stopped;
    if (core.window().reducedMode()) return RunResult::End::Reduced;
    if (pilot.finished()) return RunResult::End::Crashed;
    return interrupted ? RunResult::End::Interrupted : RunResult::End::TimedOut;
}

// Live: the simulator found, lost or awaited, said once per change.
class LinkWatch {
  public:
    explicit LinkWatch(const RunnerOptions& options) : options_(options) {}
    void check(bool open) {
        if (!options_.onProgress || (said_ && open == open_)) return;
        options_.onProgress(open    ? "simulator connected"
                            : said_ ? "simulator lost; waiting for it to come back"
                                    : "waiting for the simulator");
        said_ = true;
        open_ = open;
    }

  private:
    const RunnerOptions& options_;
    bool said_ = false;
    bool open_ = false;
};

// The pilot, the dialogs, the stand-ins and the native platform of one run.
struct RunnerSide {
    RunnerSide(const RunnerOptions& options, RunResult& result)
        : native(options.ipcPrefix),
          pilot(options, result.pilotBoxes),
          dialogs(options, result.pilotBoxes),
          services(result.calls, options),
          inlineGets(inlineVaGets, result.calls),
          threadedGets(native.vaGets, result.calls) {}

    // The program's wiring with the runner's pilot and stand-ins; the simulator, the
    // recorder's timers and its clock are the run's. The VA's requests go to the workers
    // when live, and are answered before the next tick otherwise.
    app::Platform platform(platform::SimIpc& ipc, platform::Timers& timers, platform::Clock& clock,
                           bool live) {
        return {.ipc = ipc,
                .timers = timers,
                .clock = clock,
                .wallClock = native.clock,
                .pilot = pilot,
                .sound = services,
                .libraries = native.libraries,
                .http = native.http,
                .vaGets = live ? threadedGets : inlineGets,
                .connector = native.connector,
                .ids = native.ids,
                .network = native.network,
                .registry = native.registry};
    }

    platform::posix::NativePlatform native;
    CommandLinePilot pilot;
    CommandLineDialogs dialogs;
    RecordingServices services;
    // In virtual time every request is answered before the next tick, so a flight replays
    // the same; live, each site has its own worker and the answers come back through the
    // event loop.
    platform::InlineGets inlineVaGets{native.http};
    RecordingGets inlineGets;
    RecordingGets threadedGets;
};

// Start-up as the program does it; false when the folder gave no settings.
bool startUp(app::Application& app, const RunnerOptions& options, RunResult& result) {
    if (options.gaugePort) app.console().setGaugePort(*options.gaugePort);
    if (app.loadSettings()) {
        if (!options.keepJournal) app.journal().close();
        return true;
    }
    result.end = RunResult::End::BadInput;
    std::error_code ec;
    const std::filesystem::path dir(options.workDir);
    result.error = std::filesystem::exists(dir / "aviolog.ori", ec)
                       ? "cannot create aviolog.ini from aviolog.ori in " + options.workDir +
                             " (can the folder be written?)"
                       : "no settings in " + options.workDir + " (is aviolog.ori there?)";
    return false;
}

void collect(app::Application& app, RunResult& result) {
    result.log = app.window().lines(Channel::Log);
    if (const auto* rows = app.acarsView().rows().rows(reporting::kAcarsMessages)) {
        for (const model::PropertyRow& row : *rows) {
            result.acarsView.push_back(row.name.empty() ? "  " + row.value : row.name);
        }
    }
    result.summary = app.summary();
    result.summaryOffered = app.window().summaryOffered();
    result.status = app.window().status();
    result.record = app.record();
    const recorder::FlightJournal::Cost& cost = app.journal().cost();
    result.journalMakingNs = cost.making.count();
    result.journalWaitingNs = cost.waiting.count();
    result.journalLineWrites = cost.lineWrites;
    result.journalTickWrites = cost.tickWrites;
}

// How long, in the run's time, a run goes on after the flight while phpVMS calls wait.
constexpr std::int64_t kPhpVmsWaitMs = 10 * 60 * 1000;

// Flies until the pilot is done, the time limit or Ctrl-C; nowMs gives the time since the
// start. settle runs once the flight is over, before anything is collected.
template <typename Step, typename Now>
void fly(app::Application& app, const RunnerOptions& options, std::optional<std::int64_t> limitMs,
         RunResult& result, Step step, Now nowMs, const std::function<std::string_view()>& stage,
         const std::function<void()>& settle = {}) {
    PilotActions actions(app, options, result);
    LinkWatch link(options);
    app.start();
    bool interrupted = false;
    while (!actions.finished() && (!limitMs || nowMs() < *limitMs)) {
        if (options.stopRequested && options.stopRequested()) {
            interrupted = true;
            if (!actions.stopForInterrupt()) break;
            continue;
        }
        link.check(app.link().isOpen());
        step();
        actions.act(nowMs(), stage());
    }
    if (settle) settle();
    result.end = endOf(app, actions, interrupted);
    result.simulatedMs = nowMs();
    collect(app, result);
    afterFlight(app, options, true, result);
    // The program keeps sending what the phpVMS site has not taken while it stays open;
    // once the flight is over the run stays open for it a while (a run cut off in flight
    // ends as a killed program would), and what is left goes at the next start. OK and
    // Cancel may have given the VA a last request (a phpVMS PIREP filed or cancelled): it
    // gets the same moment to arrive as the flight's last messages.
    const std::int64_t waitUntil = nowMs() + kPhpVmsWaitMs;
    while (!app.flightLog().logging() && app.phpVms().waiting() > 0 && nowMs() < waitUntil &&
           !(options.stopRequested && options.stopRequested())) {
        step();
    }
    if (settle) settle();
    app.exit();
}

// How long a run waits at its end for VA requests still under way.
constexpr std::int64_t kDrainMs = 5000;

// The last messages of the flight (block on) may still be on their way: they get a moment
// to arrive. A site that does not answer by then is left behind.
void settle(platform::posix::ThreadedGets& gets, std::int64_t waitMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
    while (gets.outstanding() > 0 && std::chrono::steady_clock::now() < end) {
        pollfd ready{gets.readyFd(), POLLIN, 0};
        ::poll(&ready, 1, 50);
        gets.deliverAnswers();
    }
}

// The scenario of the run; nothing when a live run flies without one (a real simulator
// behind the bridge), or when it cannot be read, which result then says.
std::optional<sim::Scenario> loadScenario(const RunnerOptions& options, RunResult& result) {
    if (options.scenarioPath.empty()) {
        if (options.live) return std::nullopt;
        result.end = RunResult::End::BadInput;
        result.error = "a flight in virtual time needs a scenario";
        return std::nullopt;
    }
    const auto text = readFileBytes(options.scenarioPath);
    if (!text) {
        result.end = RunResult::End::BadInput;
        result.error = "cannot read the scenario " + options.scenarioPath;
        return std::nullopt;
    }
    auto parsed = sim::parseScenario(withExtraEvents(*text, options.extraEvents));
    if (!parsed.ok()) {
        result.end = RunResult::End::BadInput;
        result.error = scenarioError(*text, options);
        // Events that parse one by one may still clash together.
        if (result.error.empty())
            result.error = options.scenarioPath + " with the events: " + parsed.error;
        return std::nullopt;
    }
    return std::move(*parsed.value);
}

}  // namespace

RunResult runFlight(const RunnerOptions& options, const LineSink& onLine) {
    RunResult result;
    const std::optional<sim::Scenario> scenario = loadScenario(options, result);
    if (result.end == RunResult::End::BadInput) return result;
    RunnerSide side(options, result);
    LineObserver observer(onLine);
    AcarsCalls acarsCalls(result.calls);

    if (!options.live) {
        platform::VirtualScheduler scheduler;
        sim::Simulator simulator(*scenario);
        simulator.setMessageSink([&](std::string_view m) { result.simMessages.emplace_back(m); });
        sim::InProcessSimIpc ipc(simulator, scheduler);
        scheduler.setWorld([&](std::int64_t ms) { simulator.advance(ms); });
        const bool background = options.vaInBackground;
        platform::posix::ThreadedGets& gets = side.native.vaGets;
        app::Application app(side.platform(ipc, scheduler, scheduler, background), side.dialogs,
                             side.services.ports(), options.workDir);
        if (!startUp(app, options, result)) return result;
        prepareForm(app, options, &*scenario);
        app.window().addObserver(&observer);
        app.window().addObserver(&acarsCalls);
        scheduler.setTimerSink(&app);
        constexpr std::int64_t kStepMs = 100;
        constexpr std::int64_t kVirtualLimitMs = 5 * 3600 * 1000;
        fly(
            app, options, options.limitMs.value_or(kVirtualLimitMs), result,
            [&] {
                observer.flush();
                scheduler.runFor(kStepMs);
                if (background) gets.deliverAnswers();
                observer.flush();
            },
            [&] { return scheduler.nowMs(); }, [&] { return simulator.stageName(); },
            [&] { settle(gets, background ? kDrainMs : 0); });
        observer.flush();
        result.exchanges = static_cast<std::uint64_t>(ipc.sendCount);
        return result;
    }

    platform::posix::EventLoop loop;
    CountingSimIpc ipc(side.native.ipc);
    ScaledTimers timers(loop, options.speed);
    platform::posix::ThreadedGets& gets = side.native.vaGets;
    app::Application app(side.platform(ipc, timers, side.native.clock, true), side.dialogs,
                         side.services.ports(), options.workDir);
    if (!startUp(app, options, result)) return result;
    prepareForm(app, options, scenario ? &*scenario : nullptr);
    app.window().addObserver(&observer);
    app.window().addObserver(&acarsCalls);
    loop.setTimerSink(&app);
    if (gets.readyFd() >= 0)
        loop.watch(gets.readyFd(), POLLIN, [&](short) { gets.deliverAnswers(); });
    const std::int64_t startMs = side.native.clock.monotonicMs();
    fly(
        app, options, options.limitMs, result,
        [&] {
            observer.flush();
            loop.runOnce(50);
            if (gets.readyFd() < 0) gets.deliverAnswers();
            observer.flush();
        },
        [&] {
            return static_cast<std::int64_t>((side.native.clock.monotonicMs() - startMs) *
                                             options.speed);
        },
        [] { return std::string_view{}; }, [&] { settle(gets, kDrainMs); });
    observer.flush();
    result.maxTimerLateMs = loop.maxLateMs();
    result.exchanges = ipc.sends;
    return result;
}

RunResult runWithoutFlight(const RunnerOptions& options) {
    RunResult result;
    RunnerSide side(options, result);
    platform::posix::EventLoop loop;
    app::Application app(side.platform(side.native.ipc, loop, side.native.clock, false),
                         side.dialogs, side.services.ports(), options.workDir);
    if (!startUp(app, options, result)) return result;
    app.resendVaOutboxes();
    afterFlight(app, options, false, result);
    app.exit();
    result.end = RunResult::End::Stopped;
    return result;
}

std::string summaryText(const model::FlightSummary& s) {
    std::string text;
    for (const model::SummaryField& field : model::kSummaryFields) {
        text += format("%s=%s\n", field.key, (s.*field.value).c_str());
    }
    return text;
}

}  // namespace aviolog::headless
