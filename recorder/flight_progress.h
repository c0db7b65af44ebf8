#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "model/flight_phase.h"
#include "wire/sim_offsets.h"

namespace aviolog::recorder {

using model::FlightPhase;

// The parking-brake watch shared by the blocks-off step and the automated start.
enum class BrakeWatch : std::uint8_t {
    NotSeenSet = 0,
    WarningShown = 1,
    SeenSet = 2,
    Released = 3,  // blocks off done
};

// Everything the recorder learns about the flight. Set once at program start and never
// reset: one program run records one flight, and a resumed flight must find it intact.
struct FlightProgress {
    // True from the moment Start has begun the log: a simulator lost before it leaves no
    // flight to resume.
    bool logStarted = false;
    // Set at Start.
    std::string startDate;  // "%04d/%02d/%02d"
    std::string startTime;  // "%02d:%02d:00"
    double referenceWeightLbs = 0.0;
    int initialFuelKg = 0;
    int heightAtStartM = 0;

    // The flight's own clock, in whole minutes since Start. It follows the simulator's
    // clock while that runs as flying time does (a minute at a time, or across a lost
    // simulator), and stands still when the clock is set back or forward: a jump of the
    // clock is never flying. The moments of the flight are read on it, so every duration
    // is a difference of two of its readings and never negative.
    int flightClockMin = 0;
    // Nothing until the moment was recorded.
    std::optional<int> blockOffAtMin;
    std::optional<int> takeOffAtMin;
    std::optional<int> landingAtMin;
    std::optional<int> blockOnAtMin;
    int flightDurationMin = 0;
    int blockToBlockMin = 0;
    int finalFuelKg = 0;

    float flightLengthNm = 0.0F;
    // Set at each TOD; nothing while no TOD was logged.
    std::optional<float> flightLengthAtTodNm;
    // Where the flight length has been counted up to, on the flight clock, and where the
    // aircraft was then.
    std::optional<int> lengthCountedToMin;
    std::optional<double> lengthFixLatDeg;
    double lengthFixLonDeg = 0.0;

    // The touchdown sampler's last sample in the air, taken at its previous run; a failed
    // exchange since then means the touchdown was not seen and nothing is reported.
    enum class Touchdown { NotYet, Recorded, NotObserved };
    Touchdown touchdown = Touchdown::NotYet;
    bool touchdownSampleFresh = false;
    int touchdownRateFpm = 0;
    std::int32_t touchdownVerticalSpeedRaw = 0;  // the last airborne sample
    std::uint32_t touchdownSpeedRaw = 0;         // IndicatedAirspeed, knots x 128
    // The program was restarted before the touchdown was recorded: a landing that nobody
    // sampled (the wheels touched while it was down) has no figures either.
    bool restartedBeforeTouchdown = false;
    // ... or after it, before the landing's analysis was done: the touchdown keeps its
    // figures, the rest of the landing was not seen.
    bool restartedAfterTouchdown = false;

    // Event detection.
    BrakeWatch brakeWatch = BrakeWatch::NotSeenSet;
    bool vrLogged = false;
    bool gearUpLogged = false;
    bool inCruise = false;
    // The flight clock's reading at the last 15-minute report (or the first airborne tick).
    std::optional<int> positionReferenceMin;
    int flapDetent = 0;
    int lastLoggedFlapDetent = 0;
    bool touchdownArmed = false;
    bool touchdownSamplerStarted = false;
    std::uint16_t onGroundTicks = 0;
    bool blocksOnDone = false;
    std::uint16_t lastCom1 = 0;

    // Realism monitor: the simulator's UTC clock at the previous tick. After a resume
    // the first reading is taken from there, as the time the simulator flew on alone.
    std::uint8_t lastUtcHour = 0;
    std::uint8_t lastUtcMinute = 0;
    bool resumedAfterLoss = false;
    bool slewLogged = false;
    int lastLoggedRate = 0;  // 0, 1, 2, 4, 8 or 16
    int remainingDistanceNm = 0;
    int groundSpeedKt = 0;  // the dump's last figure, for the live position report
    std::array<std::uint32_t, wire::kTankCount> fuelReferenceLevels{};
    // Only levels read from the simulator are a reference, never the zeros before the
    // first good read: those would empty every tank.
    bool fuelReferenceTaken = false;
    std::uint16_t cockpitCheckSeconds = 0;
    bool cockpitSoundPlaying = false;
};

}  // namespace aviolog::recorder
