#include "recorder/realism_monitor.h"

#include <algorithm>
#include <array>
#include <cstdint>

#include "config/settings.h"
#include "model/main_window_model.h"
#include "platform/sound.h"
#include "platform/timers.h"
#include "recorder/flight_events.h"
#include "recorder/recorder_context.h"
#include "recorder/timer_ids.h"
#include "simlink/sim_link.h"
#include "simlink/sim_variables.h"

namespace aviolog::recorder {

using namespace simlink;
using namespace wire;
using namespace model;

namespace {
constexpr const char* kSlewOnLine = "%02d:%02d  Slew ON\n";
constexpr const char* kSlewOffLine = "%02d:%02d  Slew OFF\n";
constexpr const char* kStatusLine = "Aviolog Hdg: %03d\xBA GS: %03d Knots Alt: %05d ft\n";
constexpr const char* kRateLines[] = {
    "%02d:%02d  Simulation Rate 1x\n", "%02d:%02d  Simulation Rate 2x\n",
    "%02d:%02d  Simulation Rate 4x\n", "%02d:%02d  Simulation Rate 8x\n",
    "%02d:%02d  Simulation Rate 16x\n"};
constexpr const char* kUtcAddedLine = "%02d:%02d  UTC Jump: added 1 Hour to Log\n";
constexpr const char* kUtcRemovedLine = "%02d:%02d  UTC Jump: removed 1 Hour from Log\n";
constexpr const char* kCrashLine = "%02d:%02d  CRASH\n";
constexpr const char* kResetCounterMessage = "ATTENTION: You should reset counter";
constexpr const char* kResetFailedMessage = "ATTENTION: Failled to reset counter";
constexpr const char* kResetFailedLine = "%02d:%02d  Failled to reset counter\n";

constexpr int kUtcJumpMinutes = 15;
constexpr std::uint32_t kRefuelTolerance = 0x50000;  // 3.90625 % of a tank
constexpr std::uint32_t kHotKeyPressedBits = 0x0F000000;

}  // namespace

// What the first half looks at, read in one exchange at the start of the tick: the
// corrections it writes do not change any of the other values.
struct RealismMonitor::TickState {
    std::uint16_t pauseControl = 0;
    std::uint16_t pauseIndicator = 0;
    std::uint16_t crashDetection = 0;
    std::uint16_t slew = 0;
    std::int32_t altitude = 0;
    std::int32_t heading = 0;
    std::uint32_t groundSpeed = 0;
    std::uint16_t rate = 0;
    std::uint16_t com1 = 0;
    std::uint8_t utcHour = 0;
    std::uint8_t utcMinute = 0;

    bool read(SimLink& link) {
        return ReadBatch(link)
            .add(var::PauseControl, pauseControl)
            .add(var::PauseIndicator, pauseIndicator)
            .add(var::CrashDetection, crashDetection)
            .add(var::SlewMode, slew)
            .add(var::Altitude, altitude)
            .add(var::Heading, heading)
            .add(var::GroundSpeed, groundSpeed)
            .add(var::SimulationRate, rate)
            .add(var::Com1Frequency, com1)
            .add(var::ZuluHour, utcHour)
            .add(var::ZuluMinute, utcMinute)
            .process();
    }
};

bool RealismMonitor::firstHalf() {
    FlightProgress& p = c_.progress;
    const config::RealismSection& realism = c_.settings.realism;
    SimLink& link = c_.link;

    TickState t;
    if (!t.read(link) || t.pauseControl != 0) return false;
    if (realism.NoPause && t.pauseIndicator != 0 && !writeU16(link, var::PauseControl, 0)) {
        return false;
    }
    int& pauseAtNm = c_.settings.pauseBeforeDestinationNm;
    if (pauseAtNm > 0 && p.remainingDistanceNm < pauseAtNm) {
        if (writeU16(link, var::PauseControl, 1)) pauseAtNm = 0;
        return false;
    }
    if (realism.Crash && t.crashDetection == 0 && !writeU16(link, var::CrashDetection, 1)) {
        return false;
    }
    if (t.slew == 1 && !p.slewLogged) {
        if (!realism.NoSlew) {
            if (c_.logNow(kSlewOnLine)) p.slewLogged = true;
            return false;
        }
        if (!writeU16(link, var::SlewMode, 0)) return false;
    }

    c_.window.setStatus(format(kStatusLine, whole(convert::headingDegrees(t.heading)),
                               whole(convert::groundSpeedKnots(t.groundSpeed)),
                               whole(convert::altitudeFeet(t.altitude))));

    if (t.slew == 0 && p.slewLogged) {
        if (!c_.logNow(kSlewOffLine)) return false;
        p.slewLogged = false;
    }
    if (!simulationRate(t.rate)) return false;
    events_.com1Watch(t.com1);
    if (!utcJump({t.utcHour, t.utcMinute}, t.rate)) return false;
    return !realism.PIC || cockpitCheck();
}

bool RealismMonitor::simulationRate(std::uint16_t rate) {
    FlightProgress& p = c_.progress;
    if (rate == kRateOneX) {
        if (p.lastLoggedRate != 1) {
            if (!c_.logNow(kRateLines[0])) return false;
            p.lastLoggedRate = 1;
        }
        return true;
    }
    if (c_.settings.realism.NoSlew) return writeU16(c_.link, var::SimulationRate, kRateOneX);
    for (int i = 1, multiplier = 2; i < 5; ++i, multiplier *= 2) {
        if (rate == kRateOneX * multiplier && p.lastLoggedRate != multiplier) {
            if (!c_.logNow(kRateLines[i])) return false;
            p.lastLoggedRate = multiplier;
        }
    }
    return true;
}

namespace {
// How far the simulator's clock moves in one tick of flying: a minute mark at most, more
// only at the fastest simulation rates (128x runs two minutes a second).
int flyingMinutesPerTick(std::uint16_t rateRaw) {
    return 1 + rateRaw / (kRateOneX * 60);
}
}  // namespace

bool RealismMonitor::utcJump(LogTime utc, std::uint16_t rateRaw) {
    FlightProgress& p = c_.progress;
    int hour = utc.hour;
    if (hour == 0 && p.lastUtcHour == 23) hour = 24;
    if (hour == 23 && p.lastUtcHour == 0) hour = -1;
    // The minutes by which the clock went back since the last tick.
    const int back = (p.lastUtcHour - hour) * 60 + p.lastUtcMinute - utc.minute;
    if (p.resumedAfterLoss) {
        // Not a jump: the simulator flew on while it did not answer. Only a clock that
        // went back meanwhile gives no flying time.
        p.flightClockMin += std::max(-back, 0);
        p.resumedAfterLoss = false;
    } else if (back <= 0 && -back <= flyingMinutesPerTick(rateRaw)) {
        p.flightClockMin -= back;
    } else if (back > kUtcJumpMinutes || back < -kUtcJumpMinutes) {
        // The flight clock stands still over a jump, whatever its size; the line records
        // that the pilot moved the clock.
        if (!c_.logNow(back > 0 ? kUtcAddedLine : kUtcRemovedLine)) return false;
    }
    p.lastUtcHour = static_cast<std::uint8_t>(utc.hour);
    p.lastUtcMinute = static_cast<std::uint8_t>(utc.minute);
    return true;
}

void RealismMonitor::armCockpitCheck() {
    c_.progress.cockpitCheckSeconds = 0;
    writeU32(c_.link, var::HotKeyEntry(kCockpitHotKeyEntry), kCockpitHotKey);
}

bool RealismMonitor::cockpitCheck() {
    FlightProgress& p = c_.progress;
    const config::RealismSection& realism = c_.settings.realism;
    ++p.cockpitCheckSeconds;
    const int minutes = p.cockpitCheckSeconds / 60;
    const CockpitCheckMinutes range = cockpitCheckMinutes(realism);
    if (minutes >= range.min) {
        if (!p.cockpitSoundPlaying) {
            showSimMessage(c_.link, kResetCounterMessage);
            if (!realism.Wave.empty()) c_.sound.playLoop(realism.Wave);
            p.cockpitSoundPlaying = true;
        }
        const auto entry = readU32(c_.link, var::HotKeyEntry(kCockpitHotKeyEntry));
        if (!entry) return false;
        if ((*entry & kHotKeyPressedBits) != 0) {
            c_.sound.stop();
            p.cockpitSoundPlaying = false;
            p.cockpitCheckSeconds = 0;
            return writeU32(c_.link, var::HotKeyEntry(kCockpitHotKeyEntry), kCockpitHotKey);
        }
    }
    if (minutes >= range.max) {
        showSimMessage(c_.link, kResetFailedMessage);
        c_.sound.stop();
        p.cockpitSoundPlaying = false;
        p.cockpitCheckSeconds = 0;
        return c_.logNow(kResetFailedLine);
    }
    return true;
}

void RealismMonitor::takeFuelReferenceLevels() {
    std::array<std::uint32_t, kTankCount> levels{};
    if (!readTankLevels(levels)) return;
    c_.progress.fuelReferenceLevels = levels;
    c_.progress.fuelReferenceTaken = true;
}

bool RealismMonitor::readTankLevels(std::array<std::uint32_t, kTankCount>& levels) {
    ReadBatch batch(c_.link);
    for (int i = 0; i < kTankCount; ++i) batch.add(kFuelTanks[i].level, levels[i]);
    return batch.process();
}

void RealismMonitor::secondHalf() {
    if (c_.settings.aviolog.FuelTest) fuelFillCheck();
    crashCheck();
}

void RealismMonitor::fuelFillCheck() {
    std::array<std::uint32_t, kTankCount> levels{};
    if (!readTankLevels(levels)) return;
    if (!c_.progress.fuelReferenceTaken) {
        // Writing a reference never read would empty the tanks.
        c_.progress.fuelReferenceLevels = levels;
        c_.progress.fuelReferenceTaken = true;
        return;
    }
    for (int i = 0; i < kTankCount; ++i) {
        std::uint32_t& reference = c_.progress.fuelReferenceLevels[i];
        if (levels[i] > reference && levels[i] - reference > kRefuelTolerance) {
            // The tank now holds the reference again; keeping the added level as the
            // reference would let fuel added in the next second stay.
            if (!writeU32(c_.link, kFuelTanks[i].level, reference)) return;
            continue;
        }
        reference = levels[i];
    }
}

void RealismMonitor::crashCheck() {
    const auto crashed = readU16(c_.link, var::Crashed);
    if (!crashed || *crashed == 0 || !writeU16(c_.link, var::Crashed, 0)) return;
    c_.logNow(kCrashLine);
    // The crash ends the log: no header and no summary follow, so "Stop LOG" has
    // nothing left to do; only saving the log remains.
    c_.phase = FlightPhase::Stopped;
    c_.window.enable(Control::SaveLog, true);
    c_.window.enable(Control::StopLog, false);
    c_.window.enable(Control::Commands, false);
    c_.timers.stop(kMonitorTimer);
    c_.timers.stop(kTouchdownTimer);
}

}  // namespace aviolog::recorder
