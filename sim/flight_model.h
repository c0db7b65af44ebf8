#pragma once

// A kinematic model that flies a scenario from gate to gate. It has no aerodynamics: each
// stage of the flight sets targets (track, speed, vertical speed, thrust) and the state
// follows them with rate limits, so that every value changes smoothly at small steps and
// a recorder sampling it sees what it would see in a real simulator.

#include <array>
#include <optional>
#include <vector>

#include "sim/scenario.h"

namespace aviolog::sim {

struct GeoPoint {
    double latitudeDeg = 0.0;
    double longitudeDeg = 0.0;
};

// The aircraft and its surroundings at one instant, in engineering units.
struct AircraftState {
    GeoPoint position;
    double altitudeFt = 0.0;         // above sea level
    double groundElevationFt = 0.0;  // of the ground under the aircraft
    double headingDeg = 0.0;         // true, 0 <= h < 360
    double noseUpDeg = 0.0;          // pitch, positive nose up
    double indicatedAirspeedKt = 0.0;
    double trueAirspeedKt = 0.0;
    double groundSpeedKt = 0.0;
    double verticalSpeedFpm = 0.0;
    double bankRightDeg = 0.0;
    double gForce = 1.0;  // along the aircraft's vertical axis
    bool onGround = true;
    bool parkingBrakeSet = true;
    bool gearDown = true;
    int flapsDetent = 0;
    std::array<double, kMaxEngines> n1Pct{};
    std::array<double, kMaxEngines> fuelFlowPph{};
    std::array<double, kTankCount> tankGal{};
    double grossWeightLb = 0.0;
    double windFromDeg = 0.0;
    double windSpeedKt = 0.0;
    double outsideAirTempC = 15.0;
    double totalAirTempC = 15.0;
    double seaLevelPressureMb = 1013.25;
    double altimeterMb = 1013.25;

    double heightAboveGroundFt() const { return altitudeFt - groundElevationFt; }
};

class FlightModel {
  public:
    explicit FlightModel(const Scenario& scenario);

    // Flies dtSec of model time; callers keep steps small (20 ms or less).
    void step(double dtSec);

    Stage stage() const { return stage_; }
    // Every stage entered so far, in order, the first one included.
    const std::vector<Stage>& stageHistory() const { return stageHistory_; }
    const Aircraft& aircraft() const { return sc_.aircraft; }
    const AircraftState& state() const { return s_; }
    double flownSec() const { return flownSec_; }
    // Parked at the arrival gate with the brake set.
    bool finished() const { return stage_ == Stage::Parked && s_.parkingBrakeSet; }

    double fuelOnBoardLb() const;
    double distanceToTouchdownNm() const;
    // The vertical speed of the last touchdown, ft/min (negative); none before the first.
    std::optional<double> lastTouchdownFpm() const { return lastTouchdownFpm_; }
    // The G of the last contact, held for a moment after it; none before the first.
    std::optional<double> lastContactG() const { return lastContactG_; }
    // Every contact of the wheels so far: its vertical speed (ft/min) and G.
    struct Contact {
        double verticalSpeedFpm;
        double gForce;
        GeoPoint position;
    };
    const std::vector<Contact>& contacts() const { return contacts_; }

    // Influences from outside the cockpit: the operator and the client program.
    void armBounce() { bounceArmed_ = true; }
    bool bounceArmed() const { return bounceArmed_; }
    double tankCapacityGal(int tank) const { return sc_.aircraft.tanks[tank].capacityGal; }
    void setTankGal(int tank, double gallons);
    void setParkingBrake(bool set) { s_.parkingBrakeSet = set; }
    // The lever moved by hand; false when the aircraft has no such detent.
    bool setFlapsDetent(int detent);
    // A step climb or descent: cruise and the descent planning aim for the new level.
    void setCruiseAltitudeFt(double altitudeFt);
    void overrideWind(std::optional<double> fromDeg, double speedKt);
    void overrideSeaLevelPressure(std::optional<double> millibars);

  private:
    struct Leg {
        GeoPoint from;
        GeoPoint to;
    };
    // What a stage asks of the aircraft for one step.
    struct Targets {
        double trackDeg = 0.0;       // over the ground
        bool crab = true;            // in the air, head into the wind to make good the track
        double speedKt = 0.0;        // IAS in the air, ground speed on the ground
        double accelKtPerSec = 1.5;  // towards a higher speed
        double decelKtPerSec = 1.5;  // towards a lower speed
        std::optional<double> verticalSpeedFpm;  // none: the stage sets it itself
        double n1Pct = 0.0;
        double fuelFlowPph = 0.0;
    };
    struct WindAndTemperature {
        double windFromDeg;
        double windSpeedKt;
        double temperatureC;
    };

    void setUpRoute();
    void startInTheAir();
    void buildTaxiOut();
    void buildTaxiIn();
    void enter(Stage next);

    Targets stageTargets();
    Targets powered(double PowerTable::*setting) const;
    Targets gate();
    Targets taxi(double speedKt, Stage next);
    Targets lineUp();
    Targets runwayRoll();
    Targets takeOffRoll();
    Targets rotate();
    Targets initialClimb();
    Targets climb();
    Targets cruise();
    Targets descent();
    Targets approachToLand();
    Targets flare();
    Targets bounce();
    Targets rollOut();
    Targets parked();
    void touchDown();
    void feelForces(double verticalSpeedBeforeFpm, double dtSec);

    bool followPath(double& speedTargetKt, double& trackDeg, double taxiSpeedKt);
    double runwayTrack() const;
    double finalTrack() const;
    double airborneTrack();
    double airLookAheadM() const;

    void steer(const Targets& t, double dtSec);
    double crabbedHeadingDeg(double trackDeg) const;
    void changeSpeed(const Targets& t, double dtSec);
    void move(double dtSec);
    void changePitch(double dtSec);
    void runEngines(const Targets& t, double dtSec);
    void drainFuel(double gallons);
    void updateSurroundings();
    WindAndTemperature weatherAt(double altitudeFt) const;

    double initialClimbSpeedKt() const;
    double captureFpm(double targetFt) const;
    void raiseGearAfterLiftOff();
    bool topOfDescentReached() const;
    double speedLimitedKt(double wantedKt, double decelKtPerSec) const;
    void lowerAltimeterBelowTransition();
    double approachSpeedKt(double toTouchdownNm) const;
    double flareHeightFt(double verticalSpeedFpm) const;
    double trueAirspeedFor(double iasKt, double altitudeFt) const;
    double cruiseTrueAltitudeFt() const;
    double glidePathFeetPerNm() const;
    double glidePathAltitudeFt(double toTouchdownNm) const;
    double flapLimitKt(int detent) const;
    bool extendFlapsFor(double iasKt);
    void retractFlapsFor(double iasKt);

    Scenario sc_;
    AircraftState s_;
    Stage stage_ = Stage::Gate;
    std::vector<Stage> stageHistory_;
    double stageSec_ = 0.0;
    double flownSec_ = 0.0;
    double dtSec_ = 0.0;

    // Lateral: a taxi path on the ground; in the air the runway course, a direct leg to
    // the intercept fix and the final course.
    double headingRateDps_ = 0.0;
    double trackDeg_ = 0.0;
    std::vector<GeoPoint> path_;
    std::size_t pathIndex_ = 0;  // the point being taxied to
    Leg runwayLeg_;
    Leg directLeg_;
    Leg finalLeg_;  // from the intercept fix to beyond the runway's end
    bool onDirect_ = false;
    bool onFinal_ = false;
    GeoPoint touchdownPoint_;
    double finalLegTouchdownM_ = 0.0;

    // Vertical
    double interceptAltitudeFt_ = 0.0;  // held before the glide path
    double glideInterceptNm_ = 0.0;     // where the glide path meets it, from touchdown
    double interceptFixNm_ = 0.0;
    bool glidePathCaptured_ = false;
    bool altimeterStandard_ = false;
    double flareStartFpm_ = 0.0;
    double liftOffSec_ = 0.0;
    bool bounceArmed_ = false;
    bool bounceAirborne_ = false;
    std::optional<double> lastTouchdownFpm_;
    std::optional<double> lastContactG_;
    double contactGLeftSec_ = 0.0;  // the contact's G is still felt
    std::vector<Contact> contacts_;
    double enginesStartSec_ = 0.0;
    double lastFlapChangeSec_ = -100.0;

    // The operator's weather.
    std::optional<double> windFromOverride_;
    double windSpeedOverride_ = 0.0;
    std::optional<double> qnhOverride_;
    double routeBlend_ = 0.0;  // 0 near the departure, 1 near the arrival
};

}  // namespace aviolog::sim
