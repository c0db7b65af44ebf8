#include "sim/flight_model.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace aviolog::sim {

namespace {

constexpr double kPi = std::numbers::pi;
constexpr double kRadPerDeg = kPi / 180.0;
constexpr double kEarthRadiusM = 6371000.0;
constexpr double kMetresPerNm = 1852.0;
constexpr double kFeetPerNm = 6076.12;
constexpr double kMpsPerKt = 0.514444;
constexpr double kFpmPerKtOfPath = 101.269;  // ft/min for one knot along a path
constexpr double kGravityMps2 = 9.80665;

// Handling
constexpr double kAirBankDeg = 25.0;
constexpr double kAirTurnRateMaxDps = 3.0;
constexpr double kAirTurnRateAccelDps2 = 2.0;
constexpr double kAirHeadingGain = 0.4;  // deg/s of turn per degree of heading error
constexpr double kGroundTurnRateMaxDps = 15.0;
constexpr double kGroundLateralAccelMps2 = 1.5;
constexpr double kGroundTurnRateAccelDps2 = 30.0;
constexpr double kGroundHeadingGain = 1.5;
constexpr double kTaxiTurnSpeedKt = 8.0;
constexpr double kTaxiDecelMps2 = 0.9;
constexpr double kTaxiPathEfficiency = 0.97;  // slow turns and stops make taxiing slower
constexpr double kVerticalAccelFpmPerSec = 300.0;
constexpr double kPitchRateDps = 2.0;
constexpr double kRotationRateDps = 3.0;
constexpr double kLiftOffNoseUpDeg = 7.0;
constexpr double kEngineTimeConstantSec = 2.5;
constexpr double kEngineStartTimeConstantSec = 8.0;
constexpr double kShutdownDelaySec = 30.0;

// Profile
constexpr double kSpeedLimitAltitudeFt = 10000.0;
constexpr double kSpeedLimitKt = 250.0;
constexpr double kDirectToHeightFt = 800.0;
constexpr double kGearUpHeightFt = 35.0;
constexpr double kGearUpDelaySec = 2.5;
constexpr double kInterceptHeightFt = 3000.0;  // above the arrival, where the glide path starts
constexpr double kLevelBeforeGlidePathNm = 2.0;
constexpr double kApproachStageNm = 5.0;  // before the intercept fix
constexpr double kApproachEntryKt = 210.0;
constexpr double kStabilisedNm = 4.0;   // approach speed from here in
constexpr double kSpeedPerNmKt = 15.0;  // slowing down on the approach
constexpr double kGearDownHeightFt = 2000.0;
constexpr double kCaptureTimeSec = 25.0;
constexpr double kGlidePathTimeSec = 8.0;
constexpr double kFlareSec = 4.0;
constexpr double kFlareHoldSec = 2.0;       // at the touchdown rate before the wheels touch
constexpr double kTouchdownPointM = 400.0;  // past the threshold
constexpr double kReverseUntilKt = 70.0;
constexpr double kRollOutDecelKtPerSec = 3.3;
constexpr double kBounceContactSec = 0.3;
constexpr double kBounceUpFpm = 390.0;
constexpr double kBounceDecelFpmPerSec = 490.0;  // about 2.5 m/s^2
// The load at a contact grows with the sink rate and is felt for a while: a recorder
// sampling every 100 ms sees its peak several times.
constexpr double kContactFpmPerG = 700.0;
constexpr double kContactGSec = 0.5;
constexpr double kGravityFtPerSec2 = 32.174;
constexpr double kStandardPressureMb = 1013.25;
constexpr double kLapseRateCPerFt = 0.0019812;

// Taxi routes: distances in metres from the runway and the taxiway.
constexpr double kTaxiwayOffsetM = 150.0;
constexpr double kApronOffsetM = 120.0;
constexpr double kLineUpM = 60.0;
constexpr double kRunwayExitAheadM = 40.0;

double wrap360(double deg) {
    deg = std::fmod(deg, 360.0);
    return deg < 0.0 ? deg + 360.0 : deg;
}
double wrap180(double deg) {
    deg = wrap360(deg);
    return deg > 180.0 ? deg - 360.0 : deg;
}
double smoothstep(double x) {
    x = std::clamp(x, 0.0, 1.0);
    return x * x * (3.0 - 2.0 * x);
}
// Towards a target at limited rates: no value the model serves ever jumps.
double moveTowards(double value, double target, double maxUp, double maxDown) {
    if (target > value) return std::min(target, value + maxUp);
    return std::max(target, value - maxDown);
}
double lag(double value, double target, double dtSec, double timeConstantSec) {
    return target + (value - target) * std::exp(-dtSec / timeConstantSec);
}

// Spherical geometry; haversine and atan2 forms keep metre-sized distances exact.
double centralAngle(GeoPoint a, GeoPoint b) {
    const double p1 = a.latitudeDeg * kRadPerDeg;
    const double p2 = b.latitudeDeg * kRadPerDeg;
    const double dp = p2 - p1;
    const double dl = (b.longitudeDeg - a.longitudeDeg) * kRadPerDeg;
    const double h = std::sin(dp / 2) * std::sin(dp / 2) +
                     std::cos(p1) * std::cos(p2) * std::sin(dl / 2) * std::sin(dl / 2);
    return 2.0 * std::atan2(std::sqrt(h), std::sqrt(std::max(0.0, 1.0 - h)));
}
double distanceM(GeoPoint a, GeoPoint b) {
    return centralAngle(a, b) * kEarthRadiusM;
}
double bearingDeg(GeoPoint a, GeoPoint b) {
    const double p1 = a.latitudeDeg * kRadPerDeg;
    const double p2 = b.latitudeDeg * kRadPerDeg;
    const double dl = (b.longitudeDeg - a.longitudeDeg) * kRadPerDeg;
    const double y = std::sin(dl) * std::cos(p2);
    const double x = std::cos(p1) * std::sin(p2) - std::sin(p1) * std::cos(p2) * std::cos(dl);
    return wrap360(std::atan2(y, x) / kRadPerDeg);
}
GeoPoint destination(GeoPoint a, double courseDeg, double metres) {
    const double d = metres / kEarthRadiusM;
    const double c = courseDeg * kRadPerDeg;
    const double p1 = a.latitudeDeg * kRadPerDeg;
    const double l1 = a.longitudeDeg * kRadPerDeg;
    const double p2 =
        std::asin(std::sin(p1) * std::cos(d) + std::cos(p1) * std::sin(d) * std::cos(c));
    const double l2 = l1 + std::atan2(std::sin(c) * std::sin(d) * std::cos(p1),
                                      std::cos(d) - std::sin(p1) * std::sin(p2));
    return {p2 / kRadPerDeg, wrap180(l2 / kRadPerDeg)};
}

// Where a point lies against a great-circle leg.
struct LegFix {
    double courseDeg;    // of the leg, abeam the point
    double crossTrackM;  // positive right of the leg
    double alongM;       // from the leg's start, abeam the point
    double lengthM;
};
LegFix locate(GeoPoint from, GeoPoint to, GeoPoint p) {
    const double d13 = centralAngle(from, p);
    const double legCourse = bearingDeg(from, to);
    const double offCourse = (bearingDeg(from, p) - legCourse) * kRadPerDeg;
    LegFix fix;
    fix.lengthM = distanceM(from, to);
    fix.crossTrackM = std::asin(std::sin(d13) * std::sin(offCourse)) * kEarthRadiusM;
    fix.alongM = std::atan2(std::sin(d13) * std::cos(offCourse), std::cos(d13)) * kEarthRadiusM;
    if (fix.alongM < fix.lengthM - 1.0) {
        const GeoPoint abeam = destination(from, legCourse, std::max(0.0, fix.alongM));
        fix.courseDeg = bearingDeg(abeam, to);
    } else {
        fix.courseDeg = wrap360(bearingDeg(to, from) + 180.0);  // the course the leg ends on
    }
    return fix;
}

// The track that brings the aircraft onto a leg and along it.
double trackOntoLeg(const LegFix& fix, double lookAheadM, double maxInterceptDeg) {
    const double interceptDeg = std::atan2(fix.crossTrackM, lookAheadM) / kRadPerDeg;
    return wrap360(fix.courseDeg - std::clamp(interceptDeg, -maxInterceptDeg, maxInterceptDeg));
}

double densityRatio(double altitudeFt) {
    constexpr double kTropopauseFt = 36089.0;
    if (altitudeFt <= kTropopauseFt) {
        return std::pow(std::max(0.05, 1.0 - 6.8756e-6 * altitudeFt), 4.2559);
    }
    return 0.2971 * std::exp(-(altitudeFt - kTropopauseFt) / 20806.0);
}

double maxTurnRateDps(bool onGround, double speedMps) {
    if (onGround) {
        const double lateral = kGroundLateralAccelMps2 / std::max(speedMps, 0.1) / kRadPerDeg;
        // No wheel turns the aircraft while it stands still.
        return std::min({kGroundTurnRateMaxDps, lateral, speedMps * 8.0});
    }
    const double bank = kGravityMps2 * std::tan(kAirBankDeg * kRadPerDeg);
    return std::min(kAirTurnRateMaxDps, bank / std::max(speedMps, 1.0) / kRadPerDeg);
}

}  // namespace

// ---- Set-up ----

FlightModel::FlightModel(const Scenario& scenario) : sc_(scenario) {
    const Aircraft& a = sc_.aircraft;
    for (int i = 0; i < kTankCount; ++i) {
        s_.tankGal[i] = a.tanks[i].capacityGal * a.tanks[i].levelPercent / 100.0;
    }
    s_.groundElevationFt = sc_.departure.elevationFt;
    s_.altitudeFt = s_.groundElevationFt;
    s_.seaLevelPressureMb = sc_.weather.departureQnhMb;
    s_.altimeterMb = s_.seaLevelPressureMb;
    setUpRoute();
    if (sc_.profile.airStart.stage == Stage::Gate) {
        buildTaxiOut();
        s_.position = path_.front();
        s_.headingDeg = bearingDeg(path_[0], path_[1]);
        trackDeg_ = s_.headingDeg;
        const double gateSec = sc_.profile.gateTimeSec;
        enginesStartSec_ = gateSec - std::min(60.0, gateSec / 2.0);
        enter(Stage::Gate);
    } else {
        startInTheAir();
    }
    updateSurroundings();
    Targets hold;  // the airspeeds of the state it starts in
    hold.speedKt = s_.onGround ? s_.groundSpeedKt : s_.indicatedAirspeedKt;
    changeSpeed(hold, 0.0);
    s_.grossWeightLb = a.emptyWeightLb + a.payloadLb + fuelOnBoardLb();
}

void FlightModel::setUpRoute() {
    const Airport& dep = sc_.departure;
    const Airport& arr = sc_.arrival;
    const GeoPoint depPoint{dep.latitudeDeg, dep.longitudeDeg};
    const GeoPoint arrPoint{arr.latitudeDeg, arr.longitudeDeg};
    const GeoPoint threshold =
        destination(depPoint, dep.runwayHeadingDeg + 180.0, dep.runwayLengthM / 2);
    runwayLeg_ = {threshold, destination(threshold, dep.runwayHeadingDeg, 60.0 * kMetresPerNm)};

    interceptAltitudeFt_ = std::min(arr.elevationFt + kInterceptHeightFt, cruiseTrueAltitudeFt());
    glideInterceptNm_ = (interceptAltitudeFt_ - arr.elevationFt) / glidePathFeetPerNm();
    interceptFixNm_ = glideInterceptNm_ + kLevelBeforeGlidePathNm;
    touchdownPoint_ = destination(arrPoint, arr.runwayHeadingDeg + 180.0,
                                  arr.runwayLengthM / 2 - kTouchdownPointM);
    const GeoPoint fix =
        destination(touchdownPoint_, arr.runwayHeadingDeg + 180.0, interceptFixNm_ * kMetresPerNm);
    // The final leg runs on past the runway so that the roll-out keeps a course to follow.
    const GeoPoint runwayEnd = destination(arrPoint, arr.runwayHeadingDeg, arr.runwayLengthM / 2);
    finalLeg_ = {fix, destination(runwayEnd, arr.runwayHeadingDeg, 2.0 * kMetresPerNm)};
    finalLegTouchdownM_ = distanceM(fix, touchdownPoint_);
}

void FlightModel::startInTheAir() {
    const Profile& p = sc_.profile;
    const Aircraft& a = sc_.aircraft;
    s_.onGround = false;
    s_.parkingBrakeSet = false;
    s_.gearDown = false;
    const GeoPoint depPoint{sc_.departure.latitudeDeg, sc_.departure.longitudeDeg};
    const double PowerTable::*setting = &PowerTable::cruise;
    if (p.airStart.stage == Stage::Cruise) {
        directLeg_ = {depPoint, finalLeg_.from};
        onDirect_ = true;
        s_.position = destination(depPoint, bearingDeg(depPoint, finalLeg_.from),
                                  p.airStart.distanceNm * kMetresPerNm);
        updateSurroundings();
        s_.altitudeFt = cruiseTrueAltitudeFt();
        altimeterStandard_ = s_.altitudeFt > sc_.weather.transitionAltitudeFt;
        s_.headingDeg = locate(directLeg_.from, directLeg_.to, s_.position).courseDeg;
        s_.indicatedAirspeedKt = p.cruiseTasKt * std::sqrt(densityRatio(s_.altitudeFt));
        enter(Stage::Cruise);
    } else {
        setting = &PowerTable::approach;
        onFinal_ = true;
        glidePathCaptured_ = true;
        const double toGoNm = p.airStart.distanceNm;
        s_.position = destination(touchdownPoint_, sc_.arrival.runwayHeadingDeg + 180.0,
                                  toGoNm * kMetresPerNm);
        s_.altitudeFt = glidePathAltitudeFt(toGoNm);
        s_.headingDeg = sc_.arrival.runwayHeadingDeg;
        s_.indicatedAirspeedKt = approachSpeedKt(toGoNm);
        while (extendFlapsFor(s_.indicatedAirspeedKt)) {
            // every detent this speed allows
        }
        s_.gearDown = toGoNm <= glideInterceptNm_ + 1.0;
        s_.trueAirspeedKt = trueAirspeedFor(s_.indicatedAirspeedKt, s_.altitudeFt);
        s_.verticalSpeedFpm = -s_.trueAirspeedKt * glidePathFeetPerNm() / 60.0;
        enter(Stage::Approach);
    }
    s_.trueAirspeedKt = trueAirspeedFor(s_.indicatedAirspeedKt, s_.altitudeFt);
    s_.groundSpeedKt = s_.trueAirspeedKt;
    trackDeg_ = s_.headingDeg;
    updateSurroundings();
    s_.headingDeg = crabbedHeadingDeg(trackDeg_);
    for (int e = 0; e < a.engineCount; ++e) {
        s_.n1Pct[e] = a.n1Pct.*setting;
        s_.fuelFlowPph[e] = a.fuelFlowPph.*setting;
    }
}

// Gate, parallel taxiway and holding point lie on the taxiway side of the runway; the
// aircraft taxis against the runway direction to the threshold and lines up there.
void FlightModel::buildTaxiOut() {
    const Airport& dep = sc_.departure;
    const double side = dep.taxiwaySide == Side::Right ? 90.0 : -90.0;
    const double h = dep.runwayHeadingDeg;
    const double lengthM =
        sc_.profile.taxiOutSpeedKt * kMpsPerKt * sc_.profile.taxiOutSec * kTaxiPathEfficiency;
    const double parallelM = std::max(100.0, lengthM - kApronOffsetM - kTaxiwayOffsetM - kLineUpM);
    const GeoPoint threshold = runwayLeg_.from;
    const GeoPoint holding = destination(threshold, h + side, kTaxiwayOffsetM);
    const GeoPoint entry = destination(holding, h, parallelM);
    const GeoPoint gate = destination(entry, h + side, kApronOffsetM);
    path_ = {gate, entry, holding, threshold, destination(threshold, h, kLineUpM)};
    pathIndex_ = 1;
}

// Off the runway to the taxiway side, back along the parallel taxiway, into the stand.
void FlightModel::buildTaxiIn() {
    const Airport& arr = sc_.arrival;
    const double side = arr.taxiwaySide == Side::Right ? 90.0 : -90.0;
    const double h = arr.runwayHeadingDeg;
    const double lengthM =
        sc_.profile.taxiInSpeedKt * kMpsPerKt * sc_.profile.taxiInSec * kTaxiPathEfficiency;
    const double parallelM =
        std::max(100.0, lengthM - kRunwayExitAheadM - kTaxiwayOffsetM - kApronOffsetM);
    const GeoPoint exit = destination(s_.position, h, kRunwayExitAheadM);
    const GeoPoint taxiway = destination(exit, h + side, kTaxiwayOffsetM);
    const GeoPoint abeamGate = destination(taxiway, h + 180.0, parallelM);
    path_ = {s_.position, exit, taxiway, abeamGate,
             destination(abeamGate, h + side, kApronOffsetM)};
    pathIndex_ = 1;
}

void FlightModel::enter(Stage next) {
    stage_ = next;
    stageSec_ = 0.0;
    stageHistory_.push_back(next);
    switch (next) {
        case Stage::TaxiOut:
            s_.parkingBrakeSet = false;
            break;
        case Stage::Flare:
            flareStartFpm_ = s_.verticalSpeedFpm;
            break;
        case Stage::TaxiIn:
            buildTaxiIn();
            s_.flapsDetent = 0;  // cleaned up once off the runway
            break;
        case Stage::Parked:
            s_.parkingBrakeSet = true;
            s_.groundSpeedKt = 0.0;
            break;
        default:
            break;
    }
}

// ---- Outside influences ----

void FlightModel::setTankGal(int tank, double gallons) {
    if (tank < 0 || tank >= kTankCount) return;
    s_.tankGal[tank] = std::clamp(gallons, 0.0, sc_.aircraft.tanks[tank].capacityGal);
    s_.grossWeightLb = sc_.aircraft.emptyWeightLb + sc_.aircraft.payloadLb + fuelOnBoardLb();
}

bool FlightModel::setFlapsDetent(int detent) {
    if (detent < 0 || detent >= sc_.aircraft.flapPositions) return false;
    s_.flapsDetent = detent;
    return true;
}

void FlightModel::setCruiseAltitudeFt(double altitudeFt) {
    sc_.profile.cruiseAltitudeFt = altitudeFt;
}

void FlightModel::overrideWind(std::optional<double> fromDeg, double speedKt) {
    windFromOverride_ = fromDeg;
    windSpeedOverride_ = speedKt;
    updateSurroundings();
}

void FlightModel::overrideSeaLevelPressure(std::optional<double> millibars) {
    qnhOverride_ = millibars;
    updateSurroundings();
}

double FlightModel::fuelOnBoardLb() const {
    double gallons = 0.0;
    for (double g : s_.tankGal) gallons += g;
    return gallons * sc_.aircraft.fuelDensityLbPerGal;
}

// ---- One step ----

void FlightModel::step(double dtSec) {
    if (dtSec <= 0.0) return;
    dtSec_ = dtSec;
    flownSec_ += dtSec;
    stageSec_ += dtSec;
    updateSurroundings();
    const Targets t = stageTargets();
    steer(t, dtSec);
    changeSpeed(t, dtSec);
    const double verticalSpeedBeforeFpm = s_.verticalSpeedFpm;
    if (!s_.onGround && t.verticalSpeedFpm) {
        s_.verticalSpeedFpm =
            moveTowards(s_.verticalSpeedFpm, *t.verticalSpeedFpm, kVerticalAccelFpmPerSec * dtSec,
                        kVerticalAccelFpmPerSec * dtSec);
    }
    move(dtSec);
    changePitch(dtSec);
    runEngines(t, dtSec);
    if (!s_.onGround && s_.altitudeFt <= s_.groundElevationFt) {
        touchDown();
    } else {
        feelForces(verticalSpeedBeforeFpm, dtSec);
    }
}

// The load factor from the change of the vertical speed and the bank; a contact's load
// stands for its moment and then the wheels carry 1 G.
void FlightModel::feelForces(double verticalSpeedBeforeFpm, double dtSec) {
    if (contactGLeftSec_ > 0.0) {
        contactGLeftSec_ -= dtSec;
        return;
    }
    if (s_.onGround) {
        s_.bankRightDeg = 0.0;
        s_.gForce = 1.0;
        return;
    }
    const double speedMps = s_.trueAirspeedKt * kMpsPerKt;
    s_.bankRightDeg = std::atan(headingRateDps_ * kRadPerDeg * speedMps / 9.80665) / kRadPerDeg;
    const double climbAccelFtPerSec2 =
        (s_.verticalSpeedFpm - verticalSpeedBeforeFpm) / 60.0 / dtSec;
    s_.gForce =
        (1.0 + climbAccelFtPerSec2 / kGravityFtPerSec2) / std::cos(s_.bankRightDeg * kRadPerDeg);
}

FlightModel::Targets FlightModel::stageTargets() {
    switch (stage_) {
        case Stage::Gate:
            return gate();
        case Stage::TaxiOut:
            return taxi(sc_.profile.taxiOutSpeedKt, Stage::LineUp);
        case Stage::LineUp:
            return lineUp();
        case Stage::TakeOff:
            return takeOffRoll();
        case Stage::Rotate:
            return rotate();
        case Stage::InitialClimb:
            return initialClimb();
        case Stage::Climb:
            return climb();
        case Stage::Cruise:
            return cruise();
        case Stage::Descent:
            return descent();
        case Stage::Approach:
            return approachToLand();
        case Stage::Flare:
            return flare();
        case Stage::Bounce:
            return bounce();
        case Stage::RollOut:
            return rollOut();
        case Stage::TaxiIn:
            return taxi(sc_.profile.taxiInSpeedKt, Stage::Parked);
        case Stage::Parked:
            return parked();
    }
    return parked();
}

FlightModel::Targets FlightModel::powered(double PowerTable::*setting) const {
    Targets t;
    t.n1Pct = sc_.aircraft.n1Pct.*setting;
    t.fuelFlowPph = sc_.aircraft.fuelFlowPph.*setting;
    t.trackDeg = trackDeg_;
    return t;
}

// ---- Stages on the ground ----

FlightModel::Targets FlightModel::gate() {
    Targets t = powered(&PowerTable::taxi);
    t.crab = false;
    t.speedKt = 0.0;
    if (stageSec_ < enginesStartSec_) {
        t.n1Pct = 0.0;
        t.fuelFlowPph = 0.0;
    }
    if (stageSec_ >= sc_.profile.gateTimeSec) enter(Stage::TaxiOut);
    return t;
}

FlightModel::Targets FlightModel::taxi(double speedKt, Stage next) {
    Targets t = powered(&PowerTable::taxi);
    t.crab = false;
    t.accelKtPerSec = 1.5;
    t.decelKtPerSec = 2.5;
    const bool reached = followPath(t.speedKt, t.trackDeg, speedKt);
    // Flaps go to the take-off setting once the aircraft rolls clear of the stand.
    if (stage_ == Stage::TaxiOut && stageSec_ >= 20.0) s_.flapsDetent = sc_.aircraft.takeOffFlaps;
    if (reached && s_.groundSpeedKt <= 0.0) enter(next);
    return t;
}

// Steers along the taxi path and slows for its turns and its end. True at the end.
bool FlightModel::followPath(double& speedTargetKt, double& trackDeg, double taxiSpeedKt) {
    const GeoPoint from = path_[pathIndex_ - 1];
    const GeoPoint to = path_[pathIndex_];
    const LegFix fix = locate(from, to, s_.position);
    const double remainingM = fix.lengthM - fix.alongM;
    const double speedMps = s_.groundSpeedKt * kMpsPerKt;
    double allowedMps = 0.0;
    bool reached = false;
    if (pathIndex_ + 1 < path_.size()) {
        const double nextCourse = bearingDeg(to, path_[pathIndex_ + 1]);
        const double turnDeg = std::abs(wrap180(nextCourse - fix.courseDeg));
        const double turnMps = std::min(kTaxiTurnSpeedKt, taxiSpeedKt) * kMpsPerKt;
        const double radiusM = 1.5 * turnMps / (maxTurnRateDps(true, turnMps) * kRadPerDeg);
        const double leadM = std::min(radiusM * std::tan(turnDeg / 2.0 * kRadPerDeg), 60.0);
        allowedMps =
            std::sqrt(turnMps * turnMps + 2.0 * kTaxiDecelMps2 * std::max(0.0, remainingM - leadM));
        if (remainingM <= leadM) ++pathIndex_;
    } else {
        allowedMps = std::sqrt(2.0 * kTaxiDecelMps2 * std::max(0.0, remainingM - 0.5));
        reached = remainingM <= 1.0;
    }
    speedTargetKt = reached ? 0.0 : std::min(taxiSpeedKt, allowedMps / kMpsPerKt);
    trackDeg = trackOntoLeg(fix, 15.0 + 2.0 * speedMps, 60.0);
    return reached;
}

FlightModel::Targets FlightModel::lineUp() {
    Targets t = powered(&PowerTable::taxi);
    t.crab = false;
    t.speedKt = 0.0;
    t.trackDeg = runwayTrack();
    s_.flapsDetent = sc_.aircraft.takeOffFlaps;
    if (stageSec_ >= sc_.profile.lineUpSec) enter(Stage::TakeOff);
    return t;
}

double FlightModel::runwayTrack() const {
    const LegFix fix = locate(runwayLeg_.from, runwayLeg_.to, s_.position);
    return trackOntoLeg(fix, 150.0 + 3.0 * s_.groundSpeedKt * kMpsPerKt, 10.0);
}

FlightModel::Targets FlightModel::runwayRoll() {
    const Aircraft& a = sc_.aircraft;
    Targets t = powered(&PowerTable::takeOff);
    t.crab = false;
    t.trackDeg = runwayTrack();
    // Acceleration follows the engines as they spool up, and fades as the speed grows.
    const double span = std::max(1.0, a.n1Pct.takeOff - a.n1Pct.taxi);
    const double thrust = std::clamp((s_.n1Pct[0] - a.n1Pct.taxi) / span, 0.0, 1.0);
    t.speedKt = 400.0;
    t.accelKtPerSec = std::max(1.5, 4.8 - 0.012 * s_.indicatedAirspeedKt) * thrust;
    return t;
}

FlightModel::Targets FlightModel::takeOffRoll() {
    const Targets t = runwayRoll();
    if (s_.indicatedAirspeedKt >= sc_.profile.rotateKt) enter(Stage::Rotate);
    return t;
}

FlightModel::Targets FlightModel::rotate() {
    Targets t = runwayRoll();
    if (s_.noseUpDeg >= kLiftOffNoseUpDeg) {
        s_.onGround = false;
        liftOffSec_ = flownSec_;
        enter(Stage::InitialClimb);
        t.verticalSpeedFpm = sc_.profile.climbFpm;
        t.speedKt = initialClimbSpeedKt();
        t.accelKtPerSec = 1.5;
    }
    return t;
}

// ---- Stages in the air ----

double FlightModel::initialClimbSpeedKt() const {
    return std::min(sc_.profile.rotateKt + 20.0, flapLimitKt(s_.flapsDetent) - 5.0);
}

double FlightModel::captureFpm(double targetFt) const {
    return (targetFt - s_.altitudeFt) * 60.0 / kCaptureTimeSec;
}

FlightModel::Targets FlightModel::initialClimb() {
    Targets t = powered(&PowerTable::takeOff);
    if (!onDirect_ && !onFinal_ && s_.heightAboveGroundFt() >= kDirectToHeightFt) {
        directLeg_ = {s_.position, finalLeg_.from};
        onDirect_ = true;
    }
    t.trackDeg = airborneTrack();
    t.speedKt = initialClimbSpeedKt();
    t.verticalSpeedFpm = std::min(sc_.profile.climbFpm, captureFpm(cruiseTrueAltitudeFt()));
    raiseGearAfterLiftOff();
    if (s_.heightAboveGroundFt() >= sc_.profile.accelerationHeightFt) enter(Stage::Climb);
    return t;
}

void FlightModel::raiseGearAfterLiftOff() {
    if (s_.gearDown && s_.heightAboveGroundFt() > kGearUpHeightFt &&
        flownSec_ - liftOffSec_ >= kGearUpDelaySec) {
        s_.gearDown = false;
    }
}

FlightModel::Targets FlightModel::climb() {
    Targets t = powered(&PowerTable::climb);
    if (!onDirect_ && !onFinal_) {
        directLeg_ = {s_.position, finalLeg_.from};
        onDirect_ = true;
    }
    t.trackDeg = airborneTrack();
    raiseGearAfterLiftOff();
    const double cruiseFt = cruiseTrueAltitudeFt();
    double speedKt = s_.altitudeFt < kSpeedLimitAltitudeFt ? kSpeedLimitKt : sc_.profile.climbIasKt;
    speedKt = std::min(speedKt, sc_.profile.cruiseTasKt * std::sqrt(densityRatio(s_.altitudeFt)));
    t.speedKt = std::min(speedKt, flapLimitKt(s_.flapsDetent) - 5.0);
    t.verticalSpeedFpm = std::min(sc_.profile.climbFpm, captureFpm(cruiseFt));
    retractFlapsFor(s_.indicatedAirspeedKt);
    if (s_.altitudeFt > sc_.weather.transitionAltitudeFt) altimeterStandard_ = true;
    if (topOfDescentReached()) {
        enter(Stage::Descent);
    } else if (std::abs(s_.altitudeFt - cruiseFt) < 50.0) {
        enter(Stage::Cruise);
    }
    return t;
}

FlightModel::Targets FlightModel::cruise() {
    Targets t = powered(&PowerTable::cruise);
    t.trackDeg = airborneTrack();
    t.speedKt = sc_.profile.cruiseTasKt * std::sqrt(densityRatio(s_.altitudeFt));
    t.accelKtPerSec = 1.0;
    t.decelKtPerSec = 1.0;
    t.verticalSpeedFpm = std::clamp(captureFpm(cruiseTrueAltitudeFt()), -1000.0, 1000.0);
    if (topOfDescentReached()) enter(Stage::Descent);
    return t;
}

// The top of descent: where descending at the profile's rate, at a speed between the
// present one and the one near the ground, ends level at the intercept altitude before
// the fix, with a little room to slow down.
bool FlightModel::topOfDescentReached() const {
    const double toLoseFt = std::max(0.0, s_.altitudeFt - interceptAltitudeFt_);
    const double minutes = toLoseFt / sc_.profile.descentFpm;
    const double lowGsKt = trueAirspeedFor(kSpeedLimitKt, interceptAltitudeFt_);
    const double averageGsKt = (s_.groundSpeedKt + lowGsKt) / 2.0;
    const double neededNm = minutes * averageGsKt / 60.0 + 3.0;
    return distanceToTouchdownNm() - interceptFixNm_ <= neededNm;
}

double FlightModel::speedLimitedKt(double wantedKt, double decelKtPerSec) const {
    if (wantedKt <= kSpeedLimitKt) return wantedKt;
    // Slow down early enough to cross the limit altitude at the limit speed.
    const double slowingSec = std::max(0.0, s_.indicatedAirspeedKt - kSpeedLimitKt) / decelKtPerSec;
    const double marginFt = slowingSec * std::abs(s_.verticalSpeedFpm) / 60.0 + 300.0;
    return s_.altitudeFt - kSpeedLimitAltitudeFt < marginFt ? kSpeedLimitKt : wantedKt;
}

FlightModel::Targets FlightModel::descent() {
    Targets t = powered(&PowerTable::descent);
    t.trackDeg = airborneTrack();
    t.speedKt = speedLimitedKt(sc_.profile.descentIasKt, t.decelKtPerSec);
    const double rate = sc_.profile.descentFpm;
    const double toLoseFt = s_.altitudeFt - interceptAltitudeFt_;
    const double toFixNm = distanceToTouchdownNm() - interceptFixNm_ - 1.0;
    double neededFpm = 1.5 * rate;
    if (toFixNm > 0.5 && s_.groundSpeedKt > 1.0) {
        neededFpm = toLoseFt / (toFixNm / s_.groundSpeedKt * 60.0);
    }
    const double descentFpm = std::clamp(neededFpm, 0.5 * rate, 1.5 * rate);
    t.verticalSpeedFpm = std::max(-descentFpm, std::min(0.0, captureFpm(interceptAltitudeFt_)));
    lowerAltimeterBelowTransition();
    if (distanceToTouchdownNm() <= interceptFixNm_ + kApproachStageNm) enter(Stage::Approach);
    return t;
}

void FlightModel::lowerAltimeterBelowTransition() {
    // Back to the local pressure at the transition level, a thousand feet up.
    if (s_.altitudeFt < sc_.weather.transitionAltitudeFt + 1000.0) altimeterStandard_ = false;
}

double FlightModel::approachSpeedKt(double toTouchdownNm) const {
    const Profile& p = sc_.profile;
    const double entryKt = std::min(kApproachEntryKt, flapLimitKt(1) - 15.0);
    const double profileKt = p.approachKt + (toTouchdownNm - kStabilisedNm) * kSpeedPerNmKt;
    return std::clamp(profileKt, p.approachKt, std::max(entryKt, p.approachKt));
}

FlightModel::Targets FlightModel::approachToLand() {
    const Profile& p = sc_.profile;
    Targets t = powered(&PowerTable::approach);
    t.trackDeg = airborneTrack();
    const double toGoNm = distanceToTouchdownNm();
    t.decelKtPerSec = 1.0;
    t.speedKt = std::min(speedLimitedKt(approachSpeedKt(toGoNm), t.decelKtPerSec),
                         flapLimitKt(s_.flapsDetent) - 5.0);
    if (flownSec_ - lastFlapChangeSec_ >= 3.0) extendFlapsFor(s_.indicatedAirspeedKt);
    if (!s_.gearDown &&
        (toGoNm <= glideInterceptNm_ + 1.0 || s_.heightAboveGroundFt() < kGearDownHeightFt)) {
        s_.gearDown = true;
    }
    const double pathFt = glidePathAltitudeFt(toGoNm);
    if (!glidePathCaptured_ && onFinal_ && s_.altitudeFt >= pathFt - 10.0) {
        glidePathCaptured_ = true;
    }
    if (glidePathCaptured_) {
        const double alongFpm = -s_.groundSpeedKt * glidePathFeetPerNm() / 60.0;
        const double correctFpm = (pathFt - s_.altitudeFt) * 60.0 / kGlidePathTimeSec;
        t.verticalSpeedFpm = std::clamp(alongFpm + correctFpm, -2000.0, 500.0);
    } else {
        t.verticalSpeedFpm =
            std::clamp(captureFpm(interceptAltitudeFt_), -1.5 * p.descentFpm, 1000.0);
    }
    lowerAltimeterBelowTransition();
    if (glidePathCaptured_ && s_.gearDown &&
        s_.heightAboveGroundFt() <= flareHeightFt(s_.verticalSpeedFpm)) {
        enter(Stage::Flare);
    }
    return t;
}

// The flare takes the sink rate from the approach to the touchdown rate in kFlareSec,
// then holds the touchdown rate for kFlareHoldSec until the wheels touch: the height
// that needs, from the present rate.
double FlightModel::flareHeightFt(double verticalSpeedFpm) const {
    const double fromFps = std::abs(verticalSpeedFpm) / 60.0;
    const double toFps = std::abs(sc_.profile.touchdownFpm) / 60.0;
    return (fromFps + toFps) / 2.0 * kFlareSec + toFps * kFlareHoldSec;
}

FlightModel::Targets FlightModel::flare() {
    Targets t = powered(&PowerTable::descent);
    t.crab = false;  // the pilot kicks the crab out to land along the runway
    t.trackDeg = finalTrack();
    t.speedKt = sc_.profile.approachKt - 5.0;
    t.decelKtPerSec = 0.8;
    const double share = smoothstep(stageSec_ / kFlareSec);
    s_.verticalSpeedFpm = flareStartFpm_ + (sc_.profile.touchdownFpm - flareStartFpm_) * share;
    return t;
}

FlightModel::Targets FlightModel::bounce() {
    Targets t = powered(&PowerTable::descent);
    t.crab = false;
    t.trackDeg = finalTrack();
    t.speedKt = sc_.profile.approachKt - 10.0;
    if (!bounceAirborne_) {
        if (stageSec_ >= kBounceContactSec) {
            // The struts throw the aircraft back into the air.
            bounceAirborne_ = true;
            s_.onGround = false;
            s_.verticalSpeedFpm = kBounceUpFpm;
        }
    } else {
        s_.verticalSpeedFpm = std::max(sc_.profile.touchdownFpm,
                                       s_.verticalSpeedFpm - kBounceDecelFpmPerSec * dtSec_);
    }
    return t;
}

void FlightModel::touchDown() {
    lastTouchdownFpm_ = s_.verticalSpeedFpm;
    lastContactG_ = 1.0 + std::abs(s_.verticalSpeedFpm) / kContactFpmPerG;
    contacts_.push_back({s_.verticalSpeedFpm, *lastContactG_, s_.position});
    s_.gForce = *lastContactG_;
    s_.bankRightDeg = 0.0;
    contactGLeftSec_ = kContactGSec;
    s_.altitudeFt = s_.groundElevationFt;
    s_.verticalSpeedFpm = 0.0;
    s_.onGround = true;
    const double windToDeg = s_.windFromDeg + 180.0;
    const double alongKt =
        s_.trueAirspeedKt + s_.windSpeedKt * std::cos((windToDeg - s_.headingDeg) * kRadPerDeg);
    s_.groundSpeedKt = std::max(0.0, alongKt);
    trackDeg_ = s_.headingDeg;
    if (stage_ == Stage::Flare && bounceArmed_) {
        bounceArmed_ = false;
        bounceAirborne_ = false;
        enter(Stage::Bounce);
    } else {
        enter(Stage::RollOut);
    }
}

FlightModel::Targets FlightModel::rollOut() {
    const Aircraft& a = sc_.aircraft;
    Targets t = powered(&PowerTable::taxi);
    t.crab = false;
    t.trackDeg = finalTrack();
    t.speedKt = sc_.profile.taxiInSpeedKt;
    t.decelKtPerSec = kRollOutDecelKtPerSec;
    if (s_.indicatedAirspeedKt > kReverseUntilKt && stageSec_ > 1.0) {
        t.n1Pct = a.reverseN1Pct;
        const double span = std::max(1.0, a.n1Pct.takeOff - a.n1Pct.taxi);
        const double share = std::clamp((a.reverseN1Pct - a.n1Pct.taxi) / span, 0.0, 1.0);
        t.fuelFlowPph = a.fuelFlowPph.taxi + (a.fuelFlowPph.takeOff - a.fuelFlowPph.taxi) * share;
    }
    if (s_.groundSpeedKt <= sc_.profile.taxiInSpeedKt + 0.3) enter(Stage::TaxiIn);
    return t;
}

FlightModel::Targets FlightModel::parked() {
    Targets t = powered(&PowerTable::taxi);
    t.crab = false;
    t.speedKt = 0.0;
    if (stageSec_ >= kShutdownDelaySec) {
        t.n1Pct = 0.0;
        t.fuelFlowPph = 0.0;
    }
    return t;
}

// ---- Lateral guidance ----

double FlightModel::airLookAheadM() const {
    return std::max(1000.0, s_.groundSpeedKt * kMpsPerKt * 30.0);
}

double FlightModel::finalTrack() const {
    const LegFix fix = locate(finalLeg_.from, finalLeg_.to, s_.position);
    const double lookAheadM =
        s_.onGround ? 150.0 + 3.0 * s_.groundSpeedKt * kMpsPerKt : airLookAheadM();
    return trackOntoLeg(fix, lookAheadM, s_.onGround ? 10.0 : 45.0);
}

// Runway heading after take-off, then direct to the intercept fix, turning onto the
// final course early enough to roll out on it.
double FlightModel::airborneTrack() {
    if (onFinal_) return finalTrack();
    if (onDirect_) {
        const LegFix fix = locate(directLeg_.from, directLeg_.to, s_.position);
        const double remainingM = fix.lengthM - fix.alongM;
        const double finalCourse = bearingDeg(finalLeg_.from, finalLeg_.to);
        const double turnDeg = std::abs(wrap180(finalCourse - fix.courseDeg));
        const double speedMps = s_.groundSpeedKt * kMpsPerKt;
        const double radiusM = speedMps / (maxTurnRateDps(false, speedMps) * kRadPerDeg);
        const double leadM = std::min(
            radiusM * std::tan(std::min(turnDeg, 170.0) / 2.0 * kRadPerDeg), 5.0 * kMetresPerNm);
        if (remainingM <= std::max(leadM, 100.0)) {
            onFinal_ = true;
            return finalTrack();
        }
        return trackOntoLeg(fix, airLookAheadM(), 45.0);
    }
    const LegFix fix = locate(runwayLeg_.from, runwayLeg_.to, s_.position);
    return trackOntoLeg(fix, airLookAheadM(), 30.0);
}

double FlightModel::distanceToTouchdownNm() const {
    double toGoM = 0.0;
    if (onFinal_) {
        toGoM = finalLegTouchdownM_ - locate(finalLeg_.from, finalLeg_.to, s_.position).alongM;
    } else if (onDirect_) {
        const LegFix fix = locate(directLeg_.from, directLeg_.to, s_.position);
        toGoM = std::max(0.0, fix.lengthM - fix.alongM) + finalLegTouchdownM_;
    } else {
        toGoM = distanceM(s_.position, finalLeg_.from) + finalLegTouchdownM_;
    }
    return toGoM / kMetresPerNm;
}

// ---- Following the targets ----

void FlightModel::steer(const Targets& t, double dtSec) {
    const double wantedDeg = t.crab && !s_.onGround ? crabbedHeadingDeg(t.trackDeg) : t.trackDeg;
    const double errorDeg = wrap180(wantedDeg - s_.headingDeg);
    const double speedMps = (s_.onGround ? s_.groundSpeedKt : s_.trueAirspeedKt) * kMpsPerKt;
    const double maxRate = maxTurnRateDps(s_.onGround, speedMps);
    const double gain = s_.onGround ? kGroundHeadingGain : kAirHeadingGain;
    const double accel = s_.onGround ? kGroundTurnRateAccelDps2 : kAirTurnRateAccelDps2;
    const double wantedRate = std::clamp(gain * errorDeg, -maxRate, maxRate);
    headingRateDps_ = moveTowards(headingRateDps_, wantedRate, accel * dtSec, accel * dtSec);
    s_.headingDeg = wrap360(s_.headingDeg + headingRateDps_ * dtSec);
}

// The heading that makes good a track against the wind.
double FlightModel::crabbedHeadingDeg(double trackDeg) const {
    if (s_.trueAirspeedKt <= 30.0) return trackDeg;
    const double cross = s_.windSpeedKt * std::sin((s_.windFromDeg - trackDeg) * kRadPerDeg);
    return wrap360(trackDeg +
                   std::asin(std::clamp(cross / s_.trueAirspeedKt, -0.5, 0.5)) / kRadPerDeg);
}

void FlightModel::changeSpeed(const Targets& t, double dtSec) {
    const double up = t.accelKtPerSec * dtSec;
    const double down = t.decelKtPerSec * dtSec;
    const double sigma = densityRatio(s_.altitudeFt);
    if (s_.onGround) {
        s_.groundSpeedKt = std::max(0.0, moveTowards(s_.groundSpeedKt, t.speedKt, up, down));
        const double headwindKt =
            s_.windSpeedKt * std::cos((s_.windFromDeg - s_.headingDeg) * kRadPerDeg);
        s_.trueAirspeedKt = std::max(0.0, s_.groundSpeedKt + headwindKt);
        s_.indicatedAirspeedKt = s_.trueAirspeedKt * std::sqrt(sigma);
    } else {
        s_.indicatedAirspeedKt =
            std::max(0.0, moveTowards(s_.indicatedAirspeedKt, t.speedKt, up, down));
        s_.trueAirspeedKt = s_.indicatedAirspeedKt / std::sqrt(sigma);
    }
}

void FlightModel::move(double dtSec) {
    if (s_.onGround) {
        trackDeg_ = s_.headingDeg;
        s_.altitudeFt = s_.groundElevationFt;
        s_.verticalSpeedFpm = 0.0;
    } else {
        const double windToRad = (s_.windFromDeg + 180.0) * kRadPerDeg;
        const double headingRad = s_.headingDeg * kRadPerDeg;
        const double east =
            s_.trueAirspeedKt * std::sin(headingRad) + s_.windSpeedKt * std::sin(windToRad);
        const double north =
            s_.trueAirspeedKt * std::cos(headingRad) + s_.windSpeedKt * std::cos(windToRad);
        s_.groundSpeedKt = std::hypot(east, north);
        if (s_.groundSpeedKt > 0.01) trackDeg_ = wrap360(std::atan2(east, north) / kRadPerDeg);
        s_.altitudeFt += s_.verticalSpeedFpm / 60.0 * dtSec;
    }
    s_.position = destination(s_.position, trackDeg_, s_.groundSpeedKt * kMpsPerKt * dtSec);
}

void FlightModel::changePitch(double dtSec) {
    if (stage_ == Stage::Rotate) {
        s_.noseUpDeg = std::min(s_.noseUpDeg + kRotationRateDps * dtSec, 15.0);
        return;
    }
    double wantedDeg = 0.0;
    double rateDps = 1.5;  // the nose comes down gently after touchdown
    if (!s_.onGround) {
        const double pathDeg =
            std::atan2(s_.verticalSpeedFpm, std::max(1.0, s_.trueAirspeedKt) * kFpmPerKtOfPath) /
            kRadPerDeg;
        const double ias = std::max(60.0, s_.indicatedAirspeedKt);
        const double attackDeg =
            std::clamp(2.5 * (280.0 / ias) * (280.0 / ias), 0.0, 13.0) - 1.0 * s_.flapsDetent;
        wantedDeg = pathDeg + attackDeg;
        rateDps = kPitchRateDps;
    }
    s_.noseUpDeg = moveTowards(s_.noseUpDeg, wantedDeg, rateDps * dtSec, rateDps * dtSec);
}

void FlightModel::runEngines(const Targets& t, double dtSec) {
    const Aircraft& a = sc_.aircraft;
    const bool fuelLeft = fuelOnBoardLb() > 0.0;
    const double tau = stage_ == Stage::Gate ? kEngineStartTimeConstantSec : kEngineTimeConstantSec;
    double burnLb = 0.0;
    for (int e = 0; e < a.engineCount; ++e) {
        s_.n1Pct[e] = lag(s_.n1Pct[e], fuelLeft ? t.n1Pct : 0.0, dtSec, tau);
        s_.fuelFlowPph[e] = lag(s_.fuelFlowPph[e], fuelLeft ? t.fuelFlowPph : 0.0, dtSec, tau);
        burnLb += s_.fuelFlowPph[e] * dtSec / 3600.0;
    }
    drainFuel(burnLb / a.fuelDensityLbPerGal);
    s_.grossWeightLb = a.emptyWeightLb + a.payloadLb + fuelOnBoardLb();
}

// Centre tanks first, then the outer ones, the main tanks last; tanks of one group
// empty evenly.
void FlightModel::drainFuel(double gallons) {
    static constexpr std::array<std::array<int, 3>, 5> kGroups{{
        {0, 1, 2},    // centre, centre 2, centre 3
        {3, 4, -1},   // external 1, 2
        {7, 10, -1},  // left and right tip
        {6, 9, -1},   // left and right aux
        {5, 8, -1},   // left and right main
    }};
    for (const auto& group : kGroups) {
        while (gallons > 1e-12) {
            int withFuel = 0;
            for (int tank : group) withFuel += tank >= 0 && s_.tankGal[tank] > 0.0 ? 1 : 0;
            if (withFuel == 0) break;
            const double share = gallons / withFuel;
            for (int tank : group) {
                if (tank < 0 || s_.tankGal[tank] <= 0.0) continue;
                const double taken = std::min(share, s_.tankGal[tank]);
                s_.tankGal[tank] -= taken;
                gallons -= taken;
            }
        }
    }
}

// ---- Surroundings ----

void FlightModel::updateSurroundings() {
    const Airport& dep = sc_.departure;
    const Airport& arr = sc_.arrival;
    const GeoPoint depPoint{dep.latitudeDeg, dep.longitudeDeg};
    const GeoPoint arrPoint{arr.latitudeDeg, arr.longitudeDeg};
    // Level ground around each airport, a smooth slope between.
    const double pairM = distanceM(depPoint, arrPoint);
    const double marginM = std::min(5.0 * kMetresPerNm, pairM / 4.0);
    const double fromDep = std::max(0.0, distanceM(s_.position, depPoint) - marginM);
    const double toArr = std::max(0.0, distanceM(s_.position, arrPoint) - marginM);
    routeBlend_ = fromDep + toArr > 0.0 ? smoothstep(fromDep / (fromDep + toArr)) : 0.5;
    s_.groundElevationFt = dep.elevationFt + (arr.elevationFt - dep.elevationFt) * routeBlend_;

    const WindAndTemperature air = weatherAt(s_.altitudeFt);
    s_.windFromDeg = windFromOverride_ ? *windFromOverride_ : air.windFromDeg;
    s_.windSpeedKt = windFromOverride_ ? windSpeedOverride_ : air.windSpeedKt;
    s_.outsideAirTempC = air.temperatureC;
    const Weather& w = sc_.weather;
    s_.seaLevelPressureMb =
        qnhOverride_ ? *qnhOverride_
                     : w.departureQnhMb + (w.arrivalQnhMb - w.departureQnhMb) * routeBlend_;
    s_.altimeterMb = altimeterStandard_ ? kStandardPressureMb : s_.seaLevelPressureMb;
    const double kelvin = s_.outsideAirTempC + 273.15;
    const double mach = s_.trueAirspeedKt / (38.967854 * std::sqrt(kelvin));
    s_.totalAirTempC = kelvin * (1.0 + 0.2 * mach * mach) - 273.15;
}

FlightModel::WindAndTemperature FlightModel::weatherAt(double altitudeFt) const {
    const auto& layers = sc_.weather.layers;
    if (layers.empty()) return {0.0, 0.0, 15.0 - kLapseRateCPerFt * altitudeFt};
    if (altitudeFt <= layers.front().altitudeFt) {
        const WeatherLayer& l = layers.front();
        return {l.windFromDeg, l.windSpeedKt,
                l.temperatureC + kLapseRateCPerFt * (l.altitudeFt - altitudeFt)};
    }
    if (altitudeFt >= layers.back().altitudeFt) {
        const WeatherLayer& l = layers.back();
        return {l.windFromDeg, l.windSpeedKt,
                l.temperatureC - kLapseRateCPerFt * (altitudeFt - l.altitudeFt)};
    }
    std::size_t i = 1;
    while (layers[i].altitudeFt < altitudeFt) ++i;
    const WeatherLayer& lo = layers[i - 1];
    const WeatherLayer& hi = layers[i];
    const double f = (altitudeFt - lo.altitudeFt) / (hi.altitudeFt - lo.altitudeFt);
    // Interpolate the wind as a vector, so that 350 and 010 blend through north.
    auto east = [](const WeatherLayer& l) {
        return l.windSpeedKt * std::sin(l.windFromDeg * kRadPerDeg);
    };
    auto north = [](const WeatherLayer& l) {
        return l.windSpeedKt * std::cos(l.windFromDeg * kRadPerDeg);
    };
    const double e = east(lo) + (east(hi) - east(lo)) * f;
    const double n = north(lo) + (north(hi) - north(lo)) * f;
    const double speed = std::hypot(e, n);
    const double from = speed > 1e-9 ? wrap360(std::atan2(e, n) / kRadPerDeg) : lo.windFromDeg;
    return {from, speed, lo.temperatureC + (hi.temperatureC - lo.temperatureC) * f};
}

// ---- Aircraft and profile figures ----

double FlightModel::trueAirspeedFor(double iasKt, double altitudeFt) const {
    return iasKt / std::sqrt(densityRatio(altitudeFt));
}

// The cruise level is a pressure altitude; the aircraft flies it on the standard setting,
// so its true altitude moves with the sea-level pressure below it.
double FlightModel::cruiseTrueAltitudeFt() const {
    constexpr double kFeetPerMb = 29.53;
    return sc_.profile.cruiseAltitudeFt +
           (s_.seaLevelPressureMb - kStandardPressureMb) * kFeetPerMb;
}

double FlightModel::glidePathFeetPerNm() const {
    return std::tan(sc_.profile.glidePathDeg * kRadPerDeg) * kFeetPerNm;
}

double FlightModel::glidePathAltitudeFt(double toTouchdownNm) const {
    return sc_.arrival.elevationFt + toTouchdownNm * glidePathFeetPerNm();
}

double FlightModel::flapLimitKt(int detent) const {
    const auto& speeds = sc_.aircraft.flapSpeedsKt;
    if (detent <= 0 || speeds.empty()) return 1000.0;
    return speeds[std::min<std::size_t>(detent, speeds.size()) - 1];
}

bool FlightModel::extendFlapsFor(double iasKt) {
    const int last = sc_.aircraft.flapPositions - 1;
    if (s_.flapsDetent >= last || iasKt > flapLimitKt(s_.flapsDetent + 1) - 10.0) return false;
    ++s_.flapsDetent;
    lastFlapChangeSec_ = flownSec_;
    return true;
}

void FlightModel::retractFlapsFor(double iasKt) {
    if (s_.flapsDetent <= 0 || flownSec_ - lastFlapChangeSec_ < 3.0) return;
    if (iasKt >= flapLimitKt(s_.flapsDetent) - 20.0) {
        --s_.flapsDetent;
        lastFlapChangeSec_ = flownSec_;
    }
}

}  // namespace aviolog::sim
