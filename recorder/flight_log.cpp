#include "recorder/flight_log.h"

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "common/text_case.h"
#include "common/text_file.h"
#include "common/text_format.h"
#include "common/units.h"
#include "config/settings.h"
#include "model/airports.h"
#include "model/flight_record.h"
#include "model/flight_services.h"
#include "model/flight_summary.h"
#include "model/main_window_model.h"
#include "platform/clock.h"
#include "platform/dynamic_library.h"
#include "platform/pilot.h"
#include "recorder/landing_page.h"
#include "recorder/recorder_context.h"
#include "recorder/timer_ids.h"
#include "simlink/sim_time.h"
#include "simlink/sim_variables.h"

namespace aviolog::recorder {

using namespace simlink;
using namespace wire;
using namespace model;

namespace {
constexpr const char* kResumeQuestion = "FS crash. Do You want to resume Log?";
constexpr const char* kAtDepartureQuestion = "Plane at Departure Airport?";
constexpr const char* kReducedModeMessage = "Aviolog will revert to send log/change options only.";
constexpr const char* kCloseQuestion = "Do you want to close the Log?";
constexpr const char* kStartLine = "Start  [%04d/%02d/%02d %02d:%02d]\n";
constexpr const char* kRestartedLine = "%02d:%02d  Aviolog restarted, flight resumed\n";

constexpr int kGaugeRefreshMs = 400;
constexpr int kGaugeRefreshAfterResumeMs = 500;
constexpr int kPositionReportMs = 120000;
constexpr int kUplinkPollMs = 30000;
constexpr int kMonitorMs = 1000;
constexpr int kAutoStartMs = 2000;
// How long Start waits for the simulator to finish loading the aircraft.
constexpr int kAircraftWaitMs = 250;
constexpr int kAircraftWaitAttempts = 120;

}  // namespace

// The simulator's clock as Start reads it, in one exchange.
struct StartClock {
    std::uint16_t dayOfYear = 0;
    std::uint16_t year = 0;
    std::uint8_t localHour = 0;
    std::uint8_t localMinute = 0;
    std::uint8_t utcHour = 0;
    std::uint8_t utcMinute = 0;
    double grossWeightLbs = 0.0;

    bool read(SimLink& link, bool withWeight) {
        return link.read(var::ZuluDayOfYear.offset, var::ZuluDayOfYear.size, &dayOfYear) &&
               link.read(var::ZuluYear.offset, var::ZuluYear.size, &year) &&
               link.read(var::LocalHour.offset, var::LocalHour.size, &localHour) &&
               link.read(var::LocalMinute.offset, var::LocalMinute.size, &localMinute) &&
               link.read(var::ZuluHour.offset, var::ZuluHour.size, &utcHour) &&
               link.read(var::ZuluMinute.offset, var::ZuluMinute.size, &utcMinute) &&
               (!withWeight ||
                link.read(var::GrossWeight.offset, var::GrossWeight.size, &grossWeightLbs)) &&
               link.process();
    }
};

FlightLog::FlightLog(RecorderContext context)
    : c_(std::move(context)),
      lines_(c_.lines()),
      runways_(std::filesystem::path(c_.workDir) / kRunwayFile),
      events_({.link = c_.link,
               .timers = c_.timers,
               .settings = c_.settings,
               .record = c_.record,
               .progress = c_.progress,
               .services = c_.services,
               .phase = c_.flight.phase,
               .lines = lines_}),
      realism_({.link = c_.link,
                .timers = c_.timers,
                .sound = c_.sound,
                .settings = c_.settings,
                .progress = c_.progress,
                .window = c_.window,
                .phase = c_.flight.phase,
                .lines = lines_},
               events_),
      dump_({.link = c_.link,
             .settings = c_.settings,
             .progress = c_.progress,
             .window = c_.window,
             .departure = c_.flight.departure,
             .arrival = c_.flight.arrival,
             .workDir = c_.workDir}) {
    events_.setRunwayLookup(&runways_);
}

bool FlightLog::logging() const {
    return c_.progress.logStarted && c_.flight.phase != FlightPhase::Stopped;
}

void FlightLog::simulatorLost() {
    // In the order they stop.
    constexpr int kFlightTimers[] = {kPositionTimer, kDumpTimer, kMonitorTimer, kGaugeTimer,
                                     kUplinkTimer};
    for (const int id : kFlightTimers) c_.timers.stop(id);
    if (!logging()) {
        // No flight to resume: the next simulator is met as the first one was, and nothing
        // of a flight that never ran may reach it. The failure count stays up until then, so
        // the reads still queued on the closed link are not taken for another loss.
        c_.timers.stop(kAutoStartTimer);
        if (c_.progress.logStarted) {
            c_.window.setStatus(kSimulatorGoneStatus);
            return;
        }
        c_.window.enable(Control::StartLog, false);
        startConnecting();
        return;
    }
    c_.window.enable(Control::ResumeLog, true);
    c_.window.setStatus(kLostStatus);
    c_.timers.start(kConnectTimer, kConnectIntervalMs);
}

void FlightLog::startConnecting() {
    c_.window.setStatus(kWaitingStatus);
    c_.timers.start(kConnectTimer, kConnectIntervalMs);
}

void FlightLog::onTimer(int id) {
    switch (id) {
        case kMonitorTimer:
            monitorTick();
            break;
        case kConnectTimer:
            connectProcedure();
            break;
        case kTouchdownTimer:
            events_.touchdownSampler();
            break;
        case kDumpTimer:
            dump_.update();
            break;
        case kPositionTimer:
            c_.services.live.sendPosition();
            break;
        case kGaugeTimer:
            c_.services.gauge.refresh();
            break;
        case kUplinkTimer:
            c_.services.live.pollUplink();
            break;
        case kAutoStartTimer:
            automatedStartWatch();
            break;
        default:
            break;
    }
}

// ---- Connecting ----

void FlightLog::connectProcedure() {
    c_.timers.stop(kConnectTimer);
    if (restarted_) {
        resumeRestartedFlight();
        return;
    }
    if (c_.link.failureCount() != 0 && logging()) {
        resumeLostFlight();
        return;
    }
    firstConnection();
}

void FlightLog::reducedMode() {
    c_.window.enterReducedMode();
    c_.window.setStatus(kReducedModeStatus);
}

bool FlightLog::resumeLostFlight() {
    const auto answer = c_.pilot.show(
        {kResumeQuestion, platform::MessageIcon::Question, platform::MessageButtons::YesNo, true});
    if (answer != platform::MessageAnswer::Yes) {
        c_.pilot.inform(kReducedModeMessage);
        reducedMode();
        return false;
    }
    if (!c_.link.open(0)) {
        c_.timers.start(kConnectTimer, kConnectIntervalMs);
        return false;
    }
    // The flight goes on where it was: nothing of the progress record is touched.
    startFlightTimers();
    if (c_.settings.aviolog.UseGauge && c_.services.gauge.isOpen()) {
        c_.timers.start(kGaugeTimer, kGaugeRefreshAfterResumeMs);
    }
    c_.link.setFailureCount(0);
    c_.progress.resumedAfterLoss = true;
    return true;
}

void FlightLog::startFlightTimers() {
    if (!c_.settings.company.StatusSite.empty()) c_.timers.start(kPositionTimer, kPositionReportMs);
    // The dump runs from take-off on; a loss before it must not start it early.
    if (c_.progress.takeOffAtMin) c_.timers.start(kDumpTimer, dumpIntervalMs(c_.settings));
    c_.timers.start(kMonitorTimer, kMonitorMs);
    c_.timers.start(kUplinkTimer, kUplinkPollMs);
}

void FlightLog::restartedFlight() {
    restarted_ = true;
    c_.flight.departure = model::lookupAirport(c_.workDir, c_.record.departureIcao);
    c_.flight.arrival = model::lookupAirport(c_.workDir, c_.record.arrivalIcao);
    c_.window.show(Control::Commands, true);
    c_.window.enable(Control::Commands, true);
    c_.window.show(Control::StartLog, false);
    c_.window.show(Control::StopLog, true);
    c_.window.enable(Control::StopLog, false);
    c_.window.enable(Control::FlightData, true);
}

void FlightLog::restartedStoppedFlight() {
    c_.window.show(Control::Commands, true);
    c_.window.enable(Control::Commands, false);
    c_.window.show(Control::StartLog, false);
    c_.window.show(Control::StopLog, true);
    c_.window.enable(Control::StopLog, false);
    c_.window.enable(Control::SaveLog, true);
    c_.window.setStatus(kLogClosedStatus);
    showResults();
    c_.window.offerSummary();
}

// As after a lost simulator: the minutes the program was down are counted by the first
// tick from the clock of the last one, and the phase goes on.
void FlightLog::resumeRestartedFlight() {
    if (!c_.link.open(0)) {
        c_.timers.start(kConnectTimer, kConnectIntervalMs);
        return;
    }
    restarted_ = false;
    c_.window.meet(model::StartNeed::LinkOpen);
    c_.window.viewsChanged();
    c_.link.setFailureCount(0);
    c_.progress.resumedAfterLoss = true;
    if (!lines_.logNow(kRestartedLine)) {
        lines_.appendLog(
            format(kRestartedLine, int(c_.progress.lastUtcHour), int(c_.progress.lastUtcMinute)));
    }
    startFlightTimers();
    if (c_.settings.aviolog.UseGauge) {
        c_.services.gauge.open(c_.settings.aviolog.Machine);
        c_.timers.start(kGaugeTimer, kGaugeRefreshMs);
    }
    // A sampler that ran when the program went down samples again; its first sample is
    // not fresh, so a touchdown already made is reported as not seen.
    const FlightProgress& p = c_.progress;
    if (c_.flight.phase == FlightPhase::Airborne && p.touchdownSamplerStarted &&
        p.touchdown == FlightProgress::Touchdown::NotYet) {
        c_.timers.start(kTouchdownTimer, 100);
    }
    c_.window.enable(Control::StopLog, true);
    c_.window.setStatus(kRecordingStatus);
}

void FlightLog::firstConnection() {
    if (!c_.settings.aviolog.StartWarning) {
        const auto answer = c_.pilot.show({kAtDepartureQuestion, platform::MessageIcon::Question,
                                           platform::MessageButtons::YesNo, true});
        if (answer != platform::MessageAnswer::Yes) {
            c_.pilot.show({kReducedModeMessage, platform::MessageIcon::Information,
                           platform::MessageButtons::OkCancel, true});
            reducedMode();
            return;
        }
    }
    if (!c_.link.open(0)) {
        c_.timers.start(kConnectTimer, kConnectIntervalMs);
        return;
    }
    c_.window.meet(model::StartNeed::LinkOpen);
    c_.window.viewsChanged();
    loadCargoPlugin();
    c_.link.setFailureCount(0);
    const bool automated = c_.settings.aviolog.AutomatedStart;
    c_.window.setStatus(automated ? kConnectedAutoStartStatus : kConnectedStatus);
    if (automated) c_.timers.start(kAutoStartTimer, kAutoStartMs);
}

void FlightLog::loadCargoPlugin() {
    const auto library = c_.libraries.load(c_.workDir + "/" + kCargoPlugin);
    if (!library) return;
    using LoadCargo = void (*)(int* cargo, void* link);
    const auto load = reinterpret_cast<LoadCargo>(library->symbol(kCargoExport));
    if (load == nullptr) return;
    int cargo = 0;
    load(&cargo, &c_.link);
    c_.record.cargo = format("%d", cargo);
    c_.form.setCargo(c_.record.cargo);
}

void FlightLog::automatedStartWatch() {
    const auto reading = events_.watchParkingBrake();
    if (!reading || reading->warned) return;
    if (reading->brake == 0 && c_.progress.brakeWatch == BrakeWatch::SeenSet) {
        c_.timers.stop(kAutoStartTimer);
        // A start that could not read the simulator is tried again by the next watch.
        if (!StartLog()) {
            c_.timers.start(kAutoStartTimer, kAutoStartMs);
            return;
        }
        // The release that started the log is the blocks off.
        events_.blocksOffStep();
        return;
    }
    const auto height = readHeightAboveGroundM(c_.link);
    if (!height || *height < kAirborneHeightM) return;
    c_.timers.stop(kAutoStartTimer);
    if (!StartLog()) {
        c_.timers.start(kAutoStartTimer, kAutoStartMs);
        return;
    }
    c_.flight.phase = FlightPhase::TaxiingOut;
}

// ---- Start ----

bool FlightLog::waitForAircraft(StartClock& clock) {
    for (int attempt = 0;; ++attempt) {
        // A weight no aircraft has is a failed read, not a loaded aircraft.
        if (!clock.read(c_.link, true) || !isPlausibleMass(clock.grossWeightLbs)) return false;
        if (clock.grossWeightLbs != 0.0) return true;
        if (attempt >= kAircraftWaitAttempts) return false;
        c_.clock.sleepMs(kAircraftWaitMs);
    }
}

bool FlightLog::startButton() {
    if (StartLog()) return true;
    c_.pilot.warn(startRefusal_);
    return false;
}

bool FlightLog::StartLog() {
    // A start asked for before the simulator is found must not read the link: that would
    // count as losing the simulator, and the connection that follows would offer to
    // resume a flight that never began.
    startRefusal_ = kNotConnectedMessage;
    if (!c_.link.isOpen()) return false;
    FlightProgress& p = c_.progress;
    const config::Settings& s = c_.settings;
    c_.form.readInto(c_.record);
    // The automated start has no button to wait for: a form without its airports and route
    // records no flight, and the watch goes on.
    startRefusal_ = kFormNotFilledMessage;
    if (!model::readyToStart(c_.record)) return false;
    c_.timers.stop(kMonitorTimer);
    c_.timers.stop(kAutoStartTimer);

    StartClock clock;
    startRefusal_ = kNoAnswerMessage;
    if (!clock.read(c_.link, false)) return false;
    const model::DateTimeBox& box = c_.form.dateTimeBox();
    if (box.setClock) {
        writeU8(c_.link, var::ZuluHour, static_cast<std::uint8_t>(box.utcHour));
        writeU8(c_.link, var::ZuluMinute, static_cast<std::uint8_t>(box.utcMinute));
        writeU8(c_.link, var::LocalHour, static_cast<std::uint8_t>(box.localHour));
        writeU8(c_.link, var::LocalMinute, static_cast<std::uint8_t>(box.localMinute));
    }
    if (box.setDate) {
        // The simulator's day is the UTC one: across midnight the local date is a day off.
        writeU16(c_.link, var::ZuluDayOfYear,
                 static_cast<std::uint16_t>(dayOfYear({box.utcYear, box.utcMonth, box.utcDay})));
        writeU16(c_.link, var::ZuluYear, static_cast<std::uint16_t>(box.utcYear));
    }
    // The clock is read again: the box may just have set it.
    startRefusal_ = kAircraftNotLoadedMessage;
    if (!waitForAircraft(clock)) return false;
    // Once the aircraft is loaded: the tanks of one still loading are no reference.
    realism_.takeFuelReferenceLevels();
    startRefusal_ = nullptr;
    p.logStarted = true;
    const CivilDate utcDate = dateFromDayOfYear(clock.year, clock.dayOfYear);

    c_.window.clear(Channel::Log);
    c_.window.clear(Channel::Acars);
    // Emptied before the first message of the flight (the METARs below), which it keeps.
    for (const char* name : {"log.txt", "acars.txt"}) {
        std::ofstream(c_.workDir + "/" + name, std::ios::binary | std::ios::trunc);
    }
    // The page of an earlier flight is not this one's.
    std::error_code ignored;
    std::filesystem::remove(std::filesystem::path(c_.workDir) / kLandingPage, ignored);
    const CivilDate date = s.company.UseLocal ? CivilDate{box.year, box.month, box.day} : utcDate;
    const int hour = s.company.UseLocal ? clock.localHour : clock.utcHour;
    const int minute = s.company.UseLocal ? clock.localMinute : clock.utcMinute;
    lines_.appendLog(format(kStartLine, date.year, date.month, date.day, hour, minute));
    p.startDate = format("%04d/%02d/%02d", date.year, date.month, date.day);
    p.startTime = format("%02d:%02d:00", int(clock.utcHour), int(clock.utcMinute));

    p.initialFuelKg = whole(readFuelOnBoardKg(c_.link));
    p.referenceWeightLbs = clock.grossWeightLbs;

    c_.flight.departure = model::lookupAirport(c_.workDir, c_.record.departureIcao);
    c_.flight.arrival = model::lookupAirport(c_.workDir, c_.record.arrivalIcao);

    if (!s.company.StatusSite.empty()) c_.timers.start(kPositionTimer, kPositionReportMs);
    c_.timers.start(kUplinkTimer, kUplinkPollMs);
    if (s.aviolog.UseGauge) {
        c_.services.gauge.open(s.aviolog.Machine);
        c_.timers.start(kGaugeTimer, kGaugeRefreshMs);
    }

    c_.flight.phase = FlightPhase::WaitingForBlocksOff;
    c_.window.show(Control::Commands, true);
    c_.window.enable(Control::Commands, true);
    c_.window.show(Control::StartLog, false);
    c_.window.show(Control::StopLog, true);
    c_.window.enable(Control::StopLog, true);

    if (s.events.WeightEvent) events_.zeroFuelWeightLine();
    if (s.events.MetarsEvent) {
        events_.logMetar(c_.record.departureIcao);
        events_.logMetar(c_.record.arrivalIcao);
    }

    if (const auto height = readHeightAboveGroundM(c_.link)) p.heightAtStartM = *height;
    // The clock as Start read it, unless it can be read afresh.
    const LogTime utc = lines_.readUtcTime().value_or(LogTime{clock.utcHour, clock.utcMinute});
    p.lastUtcHour = static_cast<std::uint8_t>(utc.hour);
    p.lastUtcMinute = static_cast<std::uint8_t>(utc.minute);
    if (s.realism.PIC) realism_.armCockpitCheck();

    c_.timers.start(kMonitorTimer, kMonitorMs);
    c_.window.enable(Control::FlightData, true);
    c_.window.setStatus(kRecordingStatus);
    return true;
}

// ---- The monitor ----

void FlightLog::monitorTick() {
    if (!realism_.firstHalf()) return;
    c_.form.readInto(c_.record);
    switch (c_.flight.phase) {
        case FlightPhase::WaitingForBlocksOff:
            events_.blocksOffStep();
            break;
        case FlightPhase::TaxiingOut:
            events_.takeOffStep();
            break;
        case FlightPhase::Airborne:
            events_.airborneStep();
            break;
        case FlightPhase::TaxiingIn:
            blocksOnAndMaybeStop(false);
            break;
        case FlightPhase::StopRequested:
            StopLog();
            break;
        case FlightPhase::Stopped:
            break;
    }
    // Once the log is closed nothing more belongs in it.
    if (c_.flight.phase != FlightPhase::Stopped) realism_.secondHalf();
}

void FlightLog::blocksOnAndMaybeStop(bool forced) {
    if (!events_.blocksOnStep(forced)) return;
    writeLandingPage();
    if (c_.settings.aviolog.AutomatedStop) StopLog();
}

// Beside the log, once for the window's browser tab and once under the flight's own name
// for the local database page. A flight that never landed has no page.
void FlightLog::writeLandingPage() {
    if (!c_.settings.events.LandingEvent) return;
    const LandingReport& r = events_.landing().report();
    const bool landed = r.status == LandingReport::Status::NotObserved || !r.contacts.empty();
    if (!landed) return;
    const FlightProgress& p = c_.progress;
    const std::string html = landingPageHtml(r, {.callsign = c_.record.callsign,
                                                 .departure = c_.record.departureIcao,
                                                 .arrival = c_.record.arrivalIcao,
                                                 .date = p.startDate,
                                                 .hour = p.startTime});
    const std::filesystem::path dir(c_.workDir);
    writeFileAtomically(dir / kLandingPage, html);
    writeFileAtomically(dir / landingPageName(p.startDate, p.startTime), html);
}

// ---- Stop ----

void FlightLog::stopButton() {
    // A log that a crash has ended has nothing left to stop.
    if (!c_.window.control(Control::StopLog).enabled || c_.flight.phase == FlightPhase::Stopped)
        return;
    const auto answer = c_.pilot.show(
        {kCloseQuestion, platform::MessageIcon::Question, platform::MessageButtons::YesNo});
    if (answer != platform::MessageAnswer::Yes) return;
    blocksOnAndMaybeStop(true);
    // Unless the blocks-on step has just stopped the log itself.
    if (c_.window.control(Control::StopLog).enabled) StopLog();
}

void FlightLog::resumeButton() {
    c_.window.enable(Control::ResumeLog, false);
    c_.window.enable(Control::FlightData, true);
    c_.timers.start(kMonitorTimer, kMonitorMs);
}

std::string FlightLog::header() const {
    const model::FlightRecord& r = c_.record;
    const config::Settings& s = c_.settings;
    std::string text =
        format("[%s %s]\n", c_.progress.startDate.c_str(), c_.progress.startTime.c_str());
    auto line = [&text](const char* fmt, const std::string& value) {
        if (!value.empty()) text += format(fmt, value.c_str());
    };
    line("Flight IATA:%s\n", r.flightNumber);
    line("Pilot Number:%s\n", s.company.PilotNumber);
    line("Company ICAO:%s\n", s.company.CompanyICAO);
    line("Aircraft Type:%s\n", r.aircraftType);
    if (s.events.UseCargo) {
        line(usesKilograms(c_.settings) ? "Cargo:%s Kg\n" : "Cargo:%s Lb\n", r.cargo);
    } else {
        line("PAX:%s\n", r.passengers);
    }
    line("Aircraft Registration:%s\n", r.registration);
    line("Departing Airport: %s\n", r.departureIcao);
    line("Destination Airport: %s\n", r.arrivalIcao);
    if (!equalsIgnoringCase(r.alternateIcao, "NONE"))
        line("Alternate Airport:%s\n", r.alternateIcao);
    text += format("Online: %s\n", r.onlineNetwork.c_str());
    line("Route:%s\n", r.route);
    line("Flight Level:%s\n", r.flightLevel);
    if (s.realism.NoSlew) text += "No Slew and time accel\n";
    if (s.realism.NoPause) text += "No pause\n";
    if (s.realism.Crash) text += "Crash detect\n";
    if (s.realism.PIC) {
        const CockpitCheckMinutes range = cockpitCheckMinutes(s.realism);
        text += format("Detect pilot in Cockpit between each  %d and %d minutes\n", range.min,
                       range.max);
    }
    return text;
}

void FlightLog::StopLog() {
    c_.flight.phase = FlightPhase::Stopped;
    // The touchdown sampler too: a touchdown line below the header would be lost to the
    // summary.
    for (const int id : {kMonitorTimer, kDumpTimer, kUplinkTimer, kTouchdownTimer}) {
        c_.timers.stop(id);
    }
    if (!c_.settings.company.StatusSite.empty()) c_.timers.stop(kPositionTimer);
    c_.window.enable(Control::StopLog, false);
    c_.window.enable(Control::Commands, false);
    c_.window.setStatus(kLogClosedStatus);

    // The header goes in front of every line logged so far, whatever their length.
    std::vector<std::string> lines;
    const std::string head = header();
    for (std::size_t begin = 0, end; (end = head.find('\n', begin)) != std::string::npos;
         begin = end + 1) {
        lines.push_back(head.substr(begin, end - begin));
    }
    const std::vector<std::string>& logged = c_.window.lines(Channel::Log);
    lines.insert(lines.end(), logged.begin(), logged.end());
    c_.window.replaceLines(Channel::Log, std::move(lines));

    fillSummary();
    c_.window.enable(Control::SaveLog, true);
    showResults();
    c_.window.offerSummary();
}

void FlightLog::fillSummary() {
    const FlightProgress& p = c_.progress;
    const model::FlightRecord& r = c_.record;
    const bool kg = usesKilograms(c_.settings);
    FlightSummary& m = c_.summary;
    auto fuel = [kg](int kilograms) {
        return format("%02d", kg ? kilograms : whole(kilograms * kPoundsPerKg));
    };
    m.Date = p.startDate;
    m.Hour = p.startTime;
    m.CallSign = r.callsign;
    m.FlightIATA = r.flightNumber;
    m.AircraftRegist = r.registration;
    m.DepAirport = r.departureIcao;
    m.DestAirport = r.arrivalIcao;
    m.AltAirport = r.alternateIcao;
    m.PlaneType = r.aircraftType;
    m.UsedFuel = fuel(p.initialFuelKg - p.finalFuelKg);
    m.InitialFuel = fuel(p.initialFuelKg);
    m.FuelEnd = fuel(p.finalFuelKg);
    const HoursMinutes block = hoursMinutesOf(p.blockToBlockMin);
    m.FlightDur = format("%02d:%02d", block.hours, block.minutes);
    m.FlightLength = format("%02d", whole(p.flightLengthNm));
    // A touchdown nobody saw has no figures, rather than made-up ones.
    const LandingReport& landing = events_.landing().report();
    const bool analysed = c_.settings.events.LandingEvent;
    const bool unseen =
        p.touchdown == FlightProgress::Touchdown::NotObserved ||
        (p.restartedBeforeTouchdown && p.touchdown != FlightProgress::Touchdown::Recorded) ||
        (analysed && landing.status == LandingReport::Status::NotObserved);
    m.RateTD = unseen ? "" : format("%d", p.touchdownRateFpm);
    m.speedTD =
        unseen ? "" : format("%d", int(convert::indicatedAirspeedKnots(p.touchdownSpeedRaw)));
    m.ZFW = format("%d", kg ? whole(p.referenceWeightLbs * kKgPerPound - p.initialFuelKg)
                            : whole(p.referenceWeightLbs - p.initialFuelKg * kPoundsPerKg));
    if (analysed) fillLandingSummary(landing, m);
    m.logText.clear();
    for (const std::string& line : c_.window.lines(Channel::Log)) {
        m.logText += line;
        m.logText += '\n';
    }
}

namespace {

// What a figure of the results is counted in; nullptr for text, dates and times. The
// summary itself keeps the bare figures it stores and reports.
const char* resultUnit(std::string_view key, const char* mass) {
    if (key == "UsedFuel" || key == "InitialFuel" || key == "FuelEnd" || key == "ZFW") return mass;
    if (key == "FlightLength") return "NM";
    if (key == "RateTD") return "ft/min";
    if (key == "speedTD") return "kt";
    if (key == "TouchdownG") return "G";
    if (key == "Sink50ft") return "ft/min";
    if (key == "ThresholdDist") return "m";
    return nullptr;
}

}  // namespace

void FlightLog::showResults() {
    const FlightSummary& m = c_.summary;
    const char* mass =
        weightSymbol(usesKilograms(c_.settings) ? WeightUnit::Kilograms : WeightUnit::Pounds);
    PropertyList& views = c_.window.results();
    for (const SummaryField& field : kSummaryFields) {
        if (!field.resultsLabel) continue;
        std::string value = m.*field.value;
        const char* unit = resultUnit(field.key, mass);
        if (unit != nullptr && !value.empty()) value += std::string(" ") + unit;
        views.add(kFlightResults, field.resultsLabel, std::move(value));
    }
    c_.window.showResults();
}

}  // namespace aviolog::recorder
