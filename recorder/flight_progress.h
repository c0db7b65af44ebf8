#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "wire/sim_offsets.h"

namespace aviolog::recorder {

// The phase the monitor dispatches on.
enum class FlightPhase : unsigned {
    WaitingForBlocksOff = 0,
    TaxiingOut = 1,
    Airborne = 2,
    TaxiingIn = 3,
    StopRequested = 4,
    Stopped = 5,
};

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
    // Set at Start.
    std::string startDate;  // "%04d/%02d/%02d"
    std::string startTime;  // "%02d:%02d:00"
    double referenceWeightLbs = 0.0;
    int initialFuelKg = 0;
    int heightAtStartM = 0;

    // Simulator times in OLE-automation days, durations in days.
    double blockOffTime = 0.0;
    double takeOffTime = 0.0;
    double landingTime = 0.0;
    double flightDuration = 0.0;
    double blockOnTime = 0.0;
    double blockToBlockDuration = 0.0;
    int finalFuelKg = 0;

    float flightLengthNm = 0.0F;
    float flightLengthAtTodNm = 0.0F;
    int touchdownRateFpm = 0;
    std::int32_t touchdownVerticalSpeedRaw = 0;  // the last airborne sample
    std::uint32_t touchdownSpeedRaw = 0;         // IndicatedAirspeed, knots x 128

    // Event detection.
    BrakeWatch brakeWatch = BrakeWatch::NotSeenSet;
    bool vrLogged = false;
    bool gearUpLogged = false;
    bool inCruise = false;
    std::uint8_t positionReferenceMinute = 0;
    bool positionReferenceSet = false;
    int flightLengthMinute = 1;  // 1..15
    int flapDetent = 0;
    int lastLoggedFlapDetent = 0;
    bool touchdownArmed = false;
    bool touchdownSamplerStarted = false;
    std::uint16_t onGroundTicks = 0;
    bool blocksOnDone = false;
    std::uint16_t lastCom1 = 0;

    // Realism monitor.
    std::uint8_t lastUtcHour = 0;
    std::uint8_t lastUtcMinute = 0;
    int utcCorrectionHours = 0;
    bool slewLogged = false;
    int lastLoggedRate = 0;  // 0, 1, 2, 4, 8 or 16
    int remainingDistanceNm = 0;
    int groundSpeedKt = 0;  // the dump's last figure, for the live position report
    std::array<std::uint32_t, wire::kTankCount> fuelReferenceLevels{};
    std::uint16_t cockpitCheckSeconds = 0;
    bool cockpitSoundPlaying = false;
};

}  // namespace aviolog::recorder
