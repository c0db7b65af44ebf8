#include "sim/simulator.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

#include "common/text_format.h"
#include "common/units.h"
#include "sim/flight_model.h"
#include "sim/scenario.h"
#include "wire/sim_offsets.h"
#include "wire/sim_picture.h"

namespace aviolog::sim {

namespace var = wire::var;
namespace scale = wire::scale;
using wire::SimVariable;

namespace {

constexpr double kMaxModelStepMs = 20.0;
// Whole microseconds keep the clock exact over thousands of 20 ms steps.
constexpr std::int64_t kMicrosPerSec = 1000000;
constexpr std::uint16_t kRateMinRaw = 64;     // 1/4 x
constexpr std::uint16_t kRateMaxRaw = 32768;  // 128 x

using wire::kZuluSecond;
// A variable of the interface that the recorder does not read but a simulator serves.
constexpr SimVariable kEngineCountVar{0x0AEC, 2};

bool overlaps(SimVariable v, std::uint32_t offset, std::size_t size) {
    return offset < static_cast<std::uint32_t>(v.offset + v.size) && v.offset < offset + size;
}

std::string com1Label(std::uint16_t bcd) {
    return format("1%X%X.%X%X", bcd >> 12, (bcd >> 8) & 0xF, (bcd >> 4) & 0xF, bcd & 0xF);
}

}  // namespace

struct Simulator::Impl {
    Impl(const Scenario& s, SimulatorOptions o)
        : options(o),
          clockUs(s.startUtcSec * kMicrosPerSec),
          localOffsetMin(s.localOffsetMin),
          crashDetection(s.crashDetection),
          com1(s.com1Bcd) {
        for (const ScenarioEvent& e : s.events) (e.atMs ? timed : staged).push_back(e);
        std::stable_sort(timed.begin(), timed.end(),
                         [](const auto& a, const auto& b) { return *a.atMs < *b.atMs; });
        stagedFired.assign(staged.size(), false);
    }

    SimulatorOptions options;
    double hostMs = 0.0;   // time passed through advance(), pauses included
    std::int64_t clockUs;  // the simulator clock, UTC; it stops while paused
    std::int64_t clockSec() const { return clockUs / kMicrosPerSec; }
    int localOffsetMin;
    std::uint16_t rateRaw = wire::kRateOneX;
    bool pausedByControl = false;  // through PauseControl
    bool pausedByPilot = false;    // the operator's pause, seen only in PauseIndicator
    bool slew = false;
    bool crashDetection;
    bool crashed = false;
    std::optional<double> silentUntilMs;
    std::uint16_t com1;
    std::uint16_t libraryVersion = 0;  // kept aside: it shares bytes with the simulator version
    std::function<void(std::string_view)> messageSink;
    std::function<void(std::string_view)> eventSink;

    std::vector<ScenarioEvent> timed;  // by time
    std::size_t nextTimed = 0;
    std::vector<ScenarioEvent> staged;
    std::vector<bool> stagedFired;
    std::size_t stagesSeen = 0;

    bool paused() const { return pausedByControl || pausedByPilot; }
    double rate() const { return rateRaw / 256.0; }
};

Simulator::Simulator(const Scenario& scenario, SimulatorOptions options)
    : model_(std::make_unique<FlightModel>(scenario)),
      impl_(std::make_unique<Impl>(scenario, options)) {
    publish();
}

Simulator::~Simulator() = default;

// ---- Time ----

void Simulator::advance(std::int64_t ms) {
    if (ms <= 0) return;
    const double endMs = impl_->hostMs + static_cast<double>(ms);
    fireDueEvents();
    while (impl_->hostMs < endMs) {
        // Steps of at most kMaxModelStepMs of model time, cut at the next timed event.
        double stepMs = std::min(endMs - impl_->hostMs, kMaxModelStepMs / impl_->rate());
        if (impl_->nextTimed < impl_->timed.size()) {
            const double dueMs = static_cast<double>(*impl_->timed[impl_->nextTimed].atMs);
            if (dueMs > impl_->hostMs) stepMs = std::min(stepMs, dueMs - impl_->hostMs);
        }
        stepWorld(stepMs);
        // Land exactly on the end, so that many calls add up to whole milliseconds.
        const bool last = endMs - (impl_->hostMs + stepMs) < 1e-6;
        impl_->hostMs = last ? endMs : impl_->hostMs + stepMs;
        fireDueEvents();
    }
    if (impl_->silentUntilMs && impl_->hostMs >= *impl_->silentUntilMs)
        impl_->silentUntilMs.reset();
    publish();  // memory() shows the world as it now is, not as it was at the last request
}

std::int64_t Simulator::elapsedMs() const {
    return std::llround(impl_->hostMs);
}

void Simulator::stepWorld(double hostMs) {
    Impl& m = *impl_;
    if (m.paused()) return;
    const double modelSec = hostMs * m.rate() / 1000.0;
    m.clockUs += std::llround(modelSec * kMicrosPerSec);
    // A crashed or slewed aircraft stays where it is; the clock goes on.
    if (m.slew || m.crashed) return;
    model_->step(modelSec);
    fireStageEvents();
}

void Simulator::fireDueEvents() {
    Impl& m = *impl_;
    while (m.nextTimed < m.timed.size() && *m.timed[m.nextTimed].atMs <= m.hostMs + 1e-6) {
        const ScenarioEvent& e = m.timed[m.nextTimed++];
        runEvent(e);
    }
}

void Simulator::fireStageEvents() {
    Impl& m = *impl_;
    const auto& history = model_->stageHistory();
    for (; m.stagesSeen < history.size(); ++m.stagesSeen) {
        for (std::size_t i = 0; i < m.staged.size(); ++i) {
            if (!m.stagedFired[i] && *m.staged[i].onStage == history[m.stagesSeen]) {
                m.stagedFired[i] = true;
                runEvent(m.staged[i]);
            }
        }
    }
}

void Simulator::runEvent(const ScenarioEvent& e) {
    const CommandResult r = execute(e.command);
    if (impl_->eventSink) {
        impl_->eventSink(
            format("%s %s: %s", statusTime().c_str(), e.text.c_str(), r.message.c_str()));
    }
}

bool Simulator::answering() const {
    return !impl_->silentUntilMs || impl_->hostMs >= *impl_->silentUntilMs;
}

bool Simulator::finished() const {
    return model_->finished();
}

std::string_view Simulator::stageName() const {
    return sim::stageName(model_->stage());
}

void Simulator::setMessageSink(std::function<void(std::string_view)> sink) {
    impl_->messageSink = std::move(sink);
}

void Simulator::setEventSink(std::function<void(std::string_view)> sink) {
    impl_->eventSink = std::move(sink);
}

// ---- The variables ----

std::uint32_t Simulator::serve(std::span<std::byte> block) {
    // The world only moves in advance() and commands, and both publish it.
    const std::uint32_t reply = wire::serveRequests(block, *this);
    publishIfStale();
    return reply;
}

void Simulator::readVariable(std::uint32_t offset, std::span<std::byte> out) {
    publishIfStale();
    memory_.read(offset, out);
}

void Simulator::writeVariable(std::uint32_t offset, std::span<const std::byte> data) {
    publishIfStale();  // a write of part of a variable keeps the rest as it is now
    Impl& m = *impl_;
    const std::size_t size = data.size();
    // Stored first, so that a write spanning several variables is read back field by field.
    memory_.write(offset, data);
    auto touched = [&](SimVariable v) { return overlaps(v, offset, size); };
    if (touched(var::LibraryVersion)) m.libraryVersion = memory_.u16(var::LibraryVersion.offset);
    if (touched(var::PauseControl)) {
        m.pausedByControl = memory_.u16(var::PauseControl.offset) != 0;
        if (!m.pausedByControl) m.pausedByPilot = false;  // releasing releases any pause
    }
    if (touched(var::SlewMode)) m.slew = memory_.u16(var::SlewMode.offset) != 0;
    if (touched(var::SimulationRate)) {
        const std::uint16_t raw = memory_.u16(var::SimulationRate.offset);
        if (raw >= kRateMinRaw && raw <= kRateMaxRaw) m.rateRaw = raw;
    }
    if (touched(var::CrashDetection))
        m.crashDetection = memory_.u16(var::CrashDetection.offset) != 0;
    if (touched(var::Crashed)) m.crashed = memory_.u16(var::Crashed.offset) != 0;
    for (int i = 0; i < kTankCount; ++i) {
        const SimVariable level = wire::kFuelTanks[i].level;
        if (!touched(level)) continue;
        model_->setTankGal(
            i, wire::gallonsFromServedLevel(memory_.u32(level.offset), model_->tankCapacityGal(i)));
    }
    writeClock(offset, size);
    if (touched(var::SimMessageControl)) {
        std::array<char, wire::kSimMessageBytes> text{};
        memory_.read(var::SimMessageText.offset, std::as_writable_bytes(std::span{text}));
        const std::size_t length = std::find(text.begin(), text.end(), '\0') - text.begin();
        if (length > 0 && m.messageSink) m.messageSink(std::string_view(text.data(), length));
    }
    stale_ = true;  // what the simulator owns reads back as the simulator has it
}

// Writes of the clock set it, one field at a time, keeping the others.
void Simulator::writeClock(std::uint32_t offset, std::size_t size) {
    Impl& m = *impl_;
    const std::int64_t fractionUs = m.clockUs % kMicrosPerSec;
    auto setUtc = [&](std::int64_t sec) { m.clockUs = sec * kMicrosPerSec + fractionUs; };
    auto timeOfDay = [](const CivilDateTime& t) {
        return t.hour * 3600 + t.minute * 60 + t.second;
    };
    if (overlaps(var::ZuluYear, offset, size)) {
        const int year = memory_.u16(var::ZuluYear.offset);
        const CivilDateTime t = civilFromSeconds(m.clockSec());
        if (year >= 1900 && year <= 2200) {
            const int day = std::min(t.dayOfYear, isLeapYear(year) ? 366 : 365);
            setUtc((daysFromCivil(year, 1, 1) + day - 1) * 86400 + timeOfDay(t));
        }
    }
    if (overlaps(var::ZuluDayOfYear, offset, size)) {
        const int day = memory_.u16(var::ZuluDayOfYear.offset);
        const CivilDateTime t = civilFromSeconds(m.clockSec());
        if (day >= 1 && day <= (isLeapYear(t.year) ? 366 : 365)) {
            setUtc((daysFromCivil(t.year, 1, 1) + day - 1) * 86400 + timeOfDay(t));
        }
    }
    struct TimeField {
        SimVariable v;
        bool local;
        int unitSec;  // 3600: the hour, 60: the minute, 1: the second
    };
    static constexpr TimeField kFields[] = {
        {var::LocalHour, true, 3600}, {var::LocalMinute, true, 60}, {kZuluSecond, false, 1},
        {var::ZuluHour, false, 3600}, {var::ZuluMinute, false, 60},
    };
    const std::int64_t offsetSec = std::int64_t{m.localOffsetMin} * 60;
    for (const TimeField& f : kFields) {
        if (!overlaps(f.v, offset, size)) continue;
        const int value = memory_.u8(f.v.offset);
        if (value >= (f.unitSec == 3600 ? 24 : 60)) continue;
        const std::int64_t shift = f.local ? offsetSec : 0;
        const CivilDateTime t = civilFromSeconds(m.clockSec() + shift);
        int hour = t.hour;
        int minute = t.minute;
        int second = t.second;
        if (f.unitSec == 3600) hour = value;
        if (f.unitSec == 60) {
            minute = value;
            second = 0;  // setting the minute starts it
        }
        if (f.unitSec == 1) second = value;
        const std::int64_t dayStart = daysFromCivil(t.year, t.month, t.day) * 86400;
        setUtc(dayStart + std::int64_t{hour} * 3600 + std::int64_t{minute} * 60 + second - shift);
    }
}

void Simulator::publishIfStale() {
    if (stale_) publish();
}

void Simulator::publish() {
    stale_ = false;
    const Impl& m = *impl_;
    const AircraftState& s = model_->state();
    const Aircraft& a = model_->aircraft();
    wire::SimPicture p;
    p.latitudeDeg = s.position.latitudeDeg;
    p.longitudeDeg = s.position.longitudeDeg;
    p.altitudeFt = s.altitudeFt;
    p.groundElevationFt = s.groundElevationFt;
    p.noseUpDeg = s.noseUpDeg;
    p.bankRightDeg = s.bankRightDeg;
    p.headingTrueDeg = s.headingDeg;
    p.groundSpeedKt = s.groundSpeedKt;
    p.trueAirspeedKt = s.trueAirspeedKt;
    p.indicatedAirspeedKt = s.indicatedAirspeedKt;
    p.verticalSpeedFpm = s.verticalSpeedFpm;
    p.onGround = s.onGround ? 1 : 0;
    p.touchdownVerticalSpeedFpm =
        s.onGround ? model_->lastTouchdownFpm().value_or(0.0) : s.verticalSpeedFpm;
    p.gForce = s.gForce;

    p.altimeterMb = s.altimeterMb;
    p.seaLevelPressureMb = s.seaLevelPressureMb;
    p.windSpeedKt = s.windSpeedKt;
    p.windFromDeg = s.windFromDeg;
    p.totalAirTempC = s.totalAirTempC;
    p.com1Bcd = m.com1;

    p.parkingBrake = s.parkingBrakeSet ? 1 : 0;
    p.gearLever = s.gearDown ? 1 : 0;
    p.flapsLever = std::min(s.flapsDetent * a.flapDetentIncrement, wire::kFlapsFull) /
                   static_cast<double>(wire::kFlapsFull);
    p.flapDetentIncrement = a.flapDetentIncrement;
    p.n1Pct = {s.n1Pct[0], s.n1Pct[1]};
    for (int e = 0; e < wire::kEngineCount; ++e) p.fuelFlowPph[e] = s.fuelFlowPph[e];
    p.grossWeightLb = s.grossWeightLb;
    p.fuelDensityLbPerGal = a.fuelDensityLbPerGal;
    for (int i = 0; i < kTankCount; ++i) {
        const double capacity = model_->tankCapacityGal(i);
        p.tankLevel[i] = capacity > 0.0 ? s.tankGal[i] / capacity : 0.0;
        p.tankCapacityGal[i] = capacity;
    }

    p.utcSec = m.clockSec();
    p.localOffsetMin = m.localOffsetMin;

    p.pauseControl = m.pausedByControl ? 1 : 0;
    p.paused = m.paused() ? 1 : 0;
    p.slew = m.slew ? 1 : 0;
    p.simulationRate = m.rate();
    p.crashDetection = m.crashDetection ? 1 : 0;
    p.crashed = m.crashed ? 1 : 0;
    wire::publishPicture(p, memory_);

    memory_.setU16(kEngineCountVar.offset, static_cast<std::uint16_t>(a.engineCount));
    memory_.setU32(var::FsuipcVersion.offset, m.options.fsuipcVersion);
    memory_.setU32(var::SimulatorVersion.offset, m.options.simulatorVersion);
}

// ---- Commands ----

CommandResult Simulator::command(std::string_view line) {
    const Parsed<Command> parsed = parseCommand(line);
    if (!parsed.ok()) return {false, parsed.error};
    return execute(*parsed.value);
}

// One handler per command; the runner reaches the simulator's insides as a member type.
struct Simulator::CommandRunner {
    Simulator& sim;
    Impl& m;

    CommandResult operator()(const cmd::Pause&);
    CommandResult operator()(const cmd::Unpause&);
    CommandResult operator()(const cmd::Slew& c);
    CommandResult operator()(const cmd::Rate& c);
    CommandResult operator()(const cmd::Crash&);
    CommandResult operator()(const cmd::CrashDetection& c);
    CommandResult operator()(const cmd::Refuel& c);
    CommandResult operator()(const cmd::ClockShift& c);
    CommandResult operator()(const cmd::ClockSet& c);
    CommandResult operator()(const cmd::Bounce&);
    CommandResult operator()(const cmd::Silent& c);
    CommandResult operator()(const cmd::Answer&);
    CommandResult operator()(const cmd::Com1& c);
    CommandResult operator()(const cmd::Wind& c);
    CommandResult operator()(const cmd::Qnh& c);
    CommandResult operator()(const cmd::Brake& c);
    CommandResult operator()(const cmd::Flaps& c);
    CommandResult operator()(const cmd::Level& c);
    CommandResult operator()(const cmd::HotKey& c);
    CommandResult operator()(const cmd::Status&);
    CommandResult operator()(const cmd::Help&);
};

CommandResult Simulator::execute(const Command& c) {
    CommandResult r = std::visit(CommandRunner{*this, *impl_}, c);
    publish();
    return r;
}

CommandResult Simulator::CommandRunner::operator()(const cmd::Pause&) {
    m.pausedByPilot = true;
    return {true, "paused"};
}

CommandResult Simulator::CommandRunner::operator()(const cmd::Unpause&) {
    m.pausedByPilot = false;
    m.pausedByControl = false;
    return {true, "running"};
}

CommandResult Simulator::CommandRunner::operator()(const cmd::Slew& c) {
    m.slew = c.on;
    return {true, c.on ? "slew mode on: the aircraft holds where it is" : "slew mode off"};
}

CommandResult Simulator::CommandRunner::operator()(const cmd::Rate& c) {
    m.rateRaw = static_cast<std::uint16_t>(
        std::clamp(std::lround(c.multiplier * 256.0), long{kRateMinRaw}, long{kRateMaxRaw}));
    return {true, format("simulation rate %gx", m.rate())};
}

CommandResult Simulator::CommandRunner::operator()(const cmd::Crash&) {
    if (!m.crashDetection) {
        return {true, "crash detection is off: the simulator does not notice the crash"};
    }
    m.crashed = true;
    return {true, "crashed; the aircraft stays where it is until the crash is cleared"};
}

CommandResult Simulator::CommandRunner::operator()(const cmd::CrashDetection& c) {
    m.crashDetection = c.on;
    return {true, c.on ? "crash detection on" : "crash detection off"};
}

CommandResult Simulator::CommandRunner::operator()(const cmd::Refuel& c) {
    const double capacity = sim.model_->tankCapacityGal(c.tank);
    if (capacity <= 0.0)
        return {false, format("this aircraft has no %s tank", tankKey(c.tank).c_str())};
    const double before = sim.model_->state().tankGal[c.tank];
    sim.model_->setTankGal(c.tank, before + capacity * c.percent / 100.0);
    const double after = sim.model_->state().tankGal[c.tank];
    return {true, format("%s from %.1f%% to %.1f%%", tankKey(c.tank).c_str(),
                         before / capacity * 100.0, after / capacity * 100.0)};
}

CommandResult Simulator::CommandRunner::operator()(const cmd::ClockShift& c) {
    m.clockUs += c.seconds * kMicrosPerSec;
    return {true, "clock now " + sim.clockText()};
}

CommandResult Simulator::CommandRunner::operator()(const cmd::ClockSet& c) {
    const CivilDateTime t = civilFromSeconds(m.clockSec());
    const std::int64_t midnight = daysFromCivil(t.year, t.month, t.day) * 86400;
    m.clockUs = (midnight + c.secondOfDay) * kMicrosPerSec;
    return {true, "clock now " + sim.clockText()};
}

CommandResult Simulator::CommandRunner::operator()(const cmd::Bounce&) {
    sim.model_->armBounce();
    return {true, "the next touchdown bounces"};
}

CommandResult Simulator::CommandRunner::operator()(const cmd::Silent& c) {
    m.silentUntilMs = m.hostMs + c.seconds * 1000.0;
    return {true, format("not answering for %g s", c.seconds)};
}

CommandResult Simulator::CommandRunner::operator()(const cmd::Answer&) {
    m.silentUntilMs.reset();
    return {true, "answering"};
}

CommandResult Simulator::CommandRunner::operator()(const cmd::Com1& c) {
    m.com1 = c.bcd;
    return {true, "COM1 " + com1Label(c.bcd)};
}

CommandResult Simulator::CommandRunner::operator()(const cmd::Wind& c) {
    sim.model_->overrideWind(c.fromDeg, c.speedKt);
    if (!c.fromDeg) return {true, "the scenario's winds"};
    return {true, format("wind %03.0f at %.0f kt everywhere", *c.fromDeg, c.speedKt)};
}

CommandResult Simulator::CommandRunner::operator()(const cmd::Qnh& c) {
    sim.model_->overrideSeaLevelPressure(c.millibars);
    if (!c.millibars) return {true, "the scenario's pressure"};
    return {true, format("sea-level pressure %.1f hPa everywhere", *c.millibars)};
}

CommandResult Simulator::CommandRunner::operator()(const cmd::Brake& c) {
    sim.model_->setParkingBrake(c.set);
    return {true, c.set ? "parking brake set" : "parking brake released"};
}

CommandResult Simulator::CommandRunner::operator()(const cmd::Flaps& c) {
    if (!sim.model_->setFlapsDetent(c.detent)) {
        return {false, format("this aircraft's flaps have no detent %d", c.detent)};
    }
    return {true, format("flap lever at detent %d", c.detent)};
}

CommandResult Simulator::CommandRunner::operator()(const cmd::Level& c) {
    sim.model_->setCruiseAltitudeFt(c.altitudeFt);
    return {true, format("new cruise level %.0f ft", c.altitudeFt)};
}

CommandResult Simulator::CommandRunner::operator()(const cmd::HotKey& c) {
    // The simulator interface marks a pressed hot key in the entry's top byte.
    const std::uint32_t offset = var::HotKeyEntry(c.entry).offset;
    const std::uint32_t entry = sim.memory_.u32(offset);
    if ((entry & 0xFFFF) == 0) return {false, format("hot-key entry %d holds no key", c.entry)};
    sim.memory_.setU32(offset, entry | 0x01000000);
    return {true, format("hot key of entry %d pressed", c.entry)};
}

CommandResult Simulator::CommandRunner::operator()(const cmd::Status&) {
    return {true, sim.statusLine()};
}

CommandResult Simulator::CommandRunner::operator()(const cmd::Help&) {
    return {true, commandHelp()};
}

// ---- Status ----

std::string Simulator::clockText() const {
    const CivilDateTime t = civilFromSeconds(impl_->clockSec());
    return format("%04d-%02d-%02d %02d:%02d:%02dZ", t.year, t.month, t.day, t.hour, t.minute,
                  t.second);
}

std::string Simulator::statusTime() const {
    const std::int64_t sec = elapsedMs() / 1000;
    return format("T+%02lld:%02lld:%02lld", static_cast<long long>(sec / 3600),
                  static_cast<long long>(sec / 60 % 60), static_cast<long long>(sec % 60));
}

std::string Simulator::statusLine() const {
    const Impl& m = *impl_;
    const AircraftState& s = model_->state();
    const double lat = s.position.latitudeDeg;
    const double lon = s.position.longitudeDeg;
    const CivilDateTime t = civilFromSeconds(m.clockSec());
    std::string line = format(
        "%s %02d:%02d:%02dZ %-13s %c%.4f %c%.4f alt %.0f ft agl %.0f ft ias %.0f gs %.0f "
        "vs %+.0f hdg %03.0f fuel %.0f kg gear %s flaps %d brake %s rate %gx",
        statusTime().c_str(), t.hour, t.minute, t.second, std::string(stageName()).c_str(),
        lat >= 0 ? 'N' : 'S', std::abs(lat), lon >= 0 ? 'E' : 'W', std::abs(lon), s.altitudeFt,
        s.heightAboveGroundFt(), s.indicatedAirspeedKt, s.groundSpeedKt, s.verticalSpeedFpm,
        std::fmod(std::round(s.headingDeg), 360.0), model_->fuelOnBoardLb() * kKgPerPound,
        s.gearDown ? "down" : "up", s.flapsDetent, s.parkingBrakeSet ? "set" : "off", m.rate());
    if (m.paused()) line += " PAUSED";
    if (m.slew) line += " SLEW";
    if (m.crashed) line += " CRASHED";
    if (!answering()) line += " SILENT";
    return line;
}

}  // namespace aviolog::sim
