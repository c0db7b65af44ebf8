#include "recorder/flight_events.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "common/decimal_value.h"
#include "common/units.h"
#include "config/settings.h"
#include "model/flight_record.h"
#include "model/flight_services.h"
#include "platform/timers.h"
#include "recorder/recorder_context.h"
#include "recorder/timer_ids.h"
#include "simlink/sim_link.h"
#include "simlink/sim_time.h"
#include "simlink/sim_variables.h"
#include "wire/sim_picture.h"

namespace aviolog::recorder {

using namespace simlink;
using namespace wire;
using namespace model;

namespace {

constexpr const char* kBrakesOffWarning = "ATTENTION: Parking brakes OFF, SHOULD BE ON";
constexpr const char* kBrakesOffLine = "%02d:%02d  Parking Brakes off\n";
constexpr const char* kVrLine = "%02d:%02d  VR= %03d Knots\n";
constexpr const char* kV2Line = "%02d:%02d  V2= %03d Knots\n";
constexpr const char* kTakeOffKgLines =
    "%02d:%02d  Take-off\n%02d:%02d  Take off Weight: %02d Kg\n";
constexpr const char* kTakeOffLbLines =
    "%02d:%02d  Take-off\n%02d:%02d  Take off Weight: %02d Lbs\n";
constexpr const char* kTakeOffWindLine =
    "%02d:%02d  Wind: %03d\xBA @ %03d Knots Heading: %03d\xBA\n";
constexpr const char* kN1Line = "%02d:%02d  N11 %02d N12 %02d\n";
constexpr const char* kGearUpLine = "%02d:%02d  Gear Up: %03d Knots\n";
constexpr const char* kGearDownLine = "%02d:%02d  Gear Down: %02d Knots\n";
constexpr const char* kCruiseLine =
    "%02d:%02d  Wind:%03d\xBA@%03d Knots Heading: %03d\xBA Ground Speed: %03d Knots Altitude %03d "
    "ft\n";
constexpr const char* kTocLine = "%02d:%02d  TOC\n";
constexpr const char* kTodLine = "%02d:%02d  TOD\n";
constexpr const char* kFuelKgLine = "%02d:%02d  Fuel Weight: %02d Kg\n";
constexpr const char* kFuelLbLine = "%02d:%02d  Fuel Weight: %02d Lb\n";
constexpr const char* kFlapsNamedLine = "%02d:%02d  Flaps:%s at %d Knots\n";
constexpr const char* kFlapsLine = "%02d:%02d  Flaps:%d at %d Knots\n";
constexpr const char* kMetarLine = "%02d:%02d  %s:%s\n";
constexpr const char* kLandLine = "%02d:%02d  Land\n";
constexpr const char* kLandingWindLine = "%02d:%02d  Wind:%03d\xBA@%03d Knots\n";
constexpr const char* kLandingHeadingLine = "%02d:%02d  Heading: %03d\xBA\n";
constexpr const char* kDurationLine = "%02d:%02d  Flight Duration: %02d:%02d \n";
constexpr const char* kLandingWeightKgLine = "%02d:%02d  Landing Weight: %d Kg\n";
constexpr const char* kLandingWeightLbLine = "%02d:%02d  Landing Weight: %d Lbs\n";
constexpr const char* kTouchdownLine = "%02d:%02d  TouchDown:Rate %d ft/min Speed: %d Knots\n";
constexpr const char* kTouchdownMissedLine =
    "%02d:%02d  TouchDown: not recorded, the simulator was not answering\n";
constexpr const char* kBrakesOnLine = "%02d:%02d  Parking brakes on\n";
constexpr const char* kBlockToBlockLine = "%02d:%02d  Block to Block Duration: %02d:%02d \n";
constexpr const char* kFinalFuelKgLine = "%02d:%02d  Final Fuel: %02d Kg\n";
constexpr const char* kSpentFuelKgLine = "%02d:%02d  Spent Fuel: %02d Kg\n";
constexpr const char* kFinalFuelLbLine = "%02d:%02d  Final Fuel: %02d Lbls\n";
constexpr const char* kSpentFuelLbLine = "%02d:%02d  Spent Fuel: %02d Lbls\n";
constexpr const char* kFlightLengthLine = "%02d:%02d  Flight Length: %02d NM\n";
constexpr const char* kTodLandLine = "%02d:%02d  TOD Land Length: %02d NM\n";
constexpr const char* kZfwKgLine = "%02d:%02d  Zero fuel Weight: %02d Kg, Fuel Weight: %02d Kg\n";
constexpr const char* kZfwLbLine = "%02d:%02d  Zero fuel Weight: %02d Lbs, Fuel Weight: %02d Lbs\n";
constexpr const char* kCom1Line = "%02d:%02d  Com1 Freq=1%1d%1d.%1d%d\n";
constexpr const char* kPositionLine =
    "%02d:%02d  POS %c%02.0f\xBA %02.0f\xB4 %02.0f\xB4\xB4 %c%03.0f\xBA %02.0f\xB4 %02.0f\xB4\xB4 "
    "\n";

constexpr int kTouchdownArmHeightM = 400;
constexpr int kTouchdownStartHeightM = 300;
constexpr int kLandingAnalysisStartHeightM = 305;  // 1000 ft and a little
constexpr int kLandingHeightM = 300;
constexpr int kLandingGroundTicks = 15;
constexpr int kTouchdownSampleMs = 100;
constexpr double kPitchVrMinDeg = -30.0;  // nose up is negative
constexpr double kPitchVrMaxDeg = -5.0;
constexpr double kFeetPerMbCorrection = 29.53;
constexpr int kTocTodBandFt = 200;
constexpr int kReportMinutes = 15;

// Wind and heading as the log shows them: whole degrees and knots, read in one exchange.
struct WindAndHeading {
    int windFromDeg;
    int windKt;
    int headingDeg;
};
std::optional<WindAndHeading> readWindAndHeading(SimLink& link) {
    std::uint16_t windFrom = 0;
    std::uint16_t windKt = 0;
    std::int32_t heading = 0;
    if (!ReadBatch(link)
             .add(var::WindDirection, windFrom)
             .add(var::WindSpeed, windKt)
             .add(var::Heading, heading)
             .process()) {
        return std::nullopt;
    }
    return WindAndHeading{whole(convert::windDirectionDegrees(windFrom)), int(windKt),
                          whole(convert::headingDegrees(heading))};
}

}  // namespace

unsigned cruiseAltitudeFt(std::string_view level) {
    // In 64 bits, so that a number too long for the form's field cannot overflow.
    std::int64_t feet = 0;
    if (level.find("FL") != std::string_view::npos) {
        feet = std::int64_t{decimalValue(level.substr(2))} * 100;
    } else if (level.find('F') != std::string_view::npos ||
               level.find('A') != std::string_view::npos) {
        feet = std::int64_t{decimalValue(level.substr(1))} * 100;
    } else {
        feet = decimalValue(level);
    }
    feet = std::clamp<std::int64_t>(feet, INT32_MIN, INT32_MAX);
    return static_cast<unsigned>(static_cast<std::int32_t>(feet));
}

std::optional<FlightEvents::BrakeReading> FlightEvents::watchParkingBrake() {
    FlightProgress& p = c_.progress;
    const auto brake = readS16(c_.link, var::ParkingBrake);
    if (!brake) return std::nullopt;
    if (*brake == kParkingBrakeSet && p.brakeWatch != BrakeWatch::SeenSet &&
        p.brakeWatch != BrakeWatch::Released) {
        if (c_.settings.events.ComFreqEvent) {
            const auto com1 = readU16(c_.link, var::Com1Frequency);
            if (!com1) return std::nullopt;
            p.lastCom1 = *com1;
        }
        p.brakeWatch = BrakeWatch::SeenSet;
    } else if (*brake == 0 && p.brakeWatch == BrakeWatch::NotSeenSet) {
        if (showSimMessage(c_.link, kBrakesOffWarning)) p.brakeWatch = BrakeWatch::WarningShown;
        return BrakeReading{*brake, true};
    }
    return BrakeReading{*brake, false};
}

void FlightEvents::blocksOffStep() {
    FlightProgress& p = c_.progress;
    const auto reading = watchParkingBrake();
    if (!reading || reading->warned) return;
    if (reading->brake == 0 && p.brakeWatch == BrakeWatch::SeenSet) {
        // Everything is read before anything changes, so that a failed exchange leaves
        // the release to be seen again at the next tick instead of half recorded.
        const auto t = c_.readLogTime();
        if (!t) return;
        const auto weightLbs = readGrossWeightLbs(c_.link);
        if (!weightLbs) return;
        const auto utc = c_.readUtcTime();
        if (!utc) return;
        p.brakeWatch = BrakeWatch::Released;
        c_.appendLog(format(kBrakesOffLine, t->hour, t->minute));
        p.blockOffAtMin = p.flightClockMin;
        c_.services.acars.outMessage(utc->hour, utc->minute, readFuelOnBoardKg(c_.link),
                                     *weightLbs * kKgPerPound);
        c_.phase = FlightPhase::TaxiingOut;
    }
    const auto height = readHeightAboveGroundM(c_.link);
    if (height && *height >= kAirborneHeightM) c_.phase = FlightPhase::TaxiingOut;
}

void FlightEvents::takeOffStep() {
    FlightProgress& p = c_.progress;
    const config::EventsSection& events = c_.settings.events;
    if (events.VrV2Event && !p.vrLogged) {
        const auto pitch = readS32(c_.link, var::Pitch);
        if (!pitch) return;
        const double deg = convert::pitchDegrees(*pitch);
        if (deg < kPitchVrMaxDeg && deg > kPitchVrMinDeg) {
            const auto ias = readU32(c_.link, var::IndicatedAirspeed);
            if (!ias || !c_.logNow(kVrLine, int(convert::indicatedAirspeedKnots(*ias)))) return;
            p.vrLogged = true;
        }
    }
    const auto height = readHeightAboveGroundM(c_.link);
    if (!height || *height < kAirborneHeightM) return;

    if (p.brakeWatch != BrakeWatch::Released) {
        // Started in the air: the moment of lift-off stands for blocks off. Read before
        // anything is marked, so that a failed exchange leaves it all to the next tick.
        const auto weightLbs = readGrossWeightLbs(c_.link);
        if (!weightLbs) return;
        p.brakeWatch = BrakeWatch::Released;
        p.referenceWeightLbs = *weightLbs;
        p.blockOffAtMin = p.flightClockMin;
    }
    c_.timers.start(kDumpTimer, dumpIntervalMs(c_.settings));
    c_.phase = FlightPhase::Airborne;
    // The moment the phase changes: a failed exchange below must not lose it.
    p.takeOffAtMin = p.flightClockMin;

    if (events.VrV2Event) {
        const auto ias = readU32(c_.link, var::IndicatedAirspeed);
        if (!ias || !c_.logNow(kV2Line, int(convert::indicatedAirspeedKnots(*ias)))) return;
    }
    const auto weightLbs = readGrossWeightLbs(c_.link);
    if (!weightLbs) return;
    if (events.WeightEvent) {
        const auto t = c_.readLogTime();
        if (!t) return;
        if (c_.kilograms()) {
            c_.appendLog(format(kTakeOffKgLines, t->hour, t->minute, t->hour, t->minute,
                                whole(*weightLbs * kKgPerPound)));
        } else {
            c_.appendLog(
                format(kTakeOffLbLines, t->hour, t->minute, t->hour, t->minute, whole(*weightLbs)));
        }
    }
    const auto wind = readWindAndHeading(c_.link);
    if (!wind || !c_.logNow(kTakeOffWindLine, wind->windFromDeg, wind->windKt, wind->headingDeg)) {
        return;
    }
    if (events.TOLDPosEvent && !positionLine()) return;
    if (events.N1Event) {
        const auto n1 = readU16(c_.link, var::Engine1N1);
        if (!n1) return;
        const auto n2 = readU16(c_.link, var::Engine2N1);
        if (!n2 ||
            !c_.logNow(kN1Line, whole(convert::n1Percent(*n1)), whole(convert::n1Percent(*n2))))
            return;
    }
    const auto t = c_.readLogTime();
    if (!t) return;
    c_.services.acars.offMessage(t->hour, t->minute, readFuelOnBoardKg(c_.link),
                                 *weightLbs * kKgPerPound);
}

bool FlightEvents::positionLine() {
    const auto lat = readS32(c_.link, var::Latitude);
    if (!lat) return false;
    const auto lon = readU32(c_.link, var::Longitude);
    if (!lon) return false;
    const double latDeg = convert::latitudeDegrees(*lat);
    const double lonDeg = convert::longitudeDegrees(*lon);
    const Dms la = dms(latDeg);
    const Dms lo = dms(lonDeg);
    // The equator and the prime meridian count as north and east.
    return c_.logNow(kPositionLine, latDeg < 0 ? 'S' : 'N', la.degrees, la.minutes, la.seconds,
                     lonDeg < 0 ? 'W' : 'E', lo.degrees, lo.minutes, lo.seconds);
}

void FlightEvents::airborneStep() {
    if (!gearLines()) return;
    FlightProgress& p = c_.progress;
    // Both minute marks run on the flight clock, which a clock set by the pilot leaves alone.
    const int now = p.flightClockMin;
    if (!p.positionReferenceMin) p.positionReferenceMin = now;
    if (!p.lengthCountedToMin) p.lengthCountedToMin = now;
    if (!positionReport(now) || !countFlightLength(now) || !cruiseLines() || !flapsLine()) return;
    const auto height = readHeightAboveGroundM(c_.link);
    if (!height) return;
    armTouchdownSampler(*height);
    watchForLanding(*height);
}

bool FlightEvents::gearLines() {
    FlightProgress& p = c_.progress;
    if (!c_.settings.events.GearEvent) return true;
    const auto gear = readS32(c_.link, var::GearControl);
    if (!gear) return false;
    if (*gear == 0 && !p.gearUpLogged) {
        const auto ias = readU32(c_.link, var::IndicatedAirspeed);
        if (!ias || !c_.logNow(kGearUpLine, int(convert::indicatedAirspeedKnots(*ias))))
            return false;
        p.gearUpLogged = true;
    } else if (*gear == kGearDown && p.gearUpLogged) {
        const auto ias = readU32(c_.link, var::IndicatedAirspeed);
        if (!ias || !c_.logNow(kGearDownLine, int(convert::indicatedAirspeedKnots(*ias))))
            return false;
        p.gearUpLogged = false;
    }
    return true;
}

bool FlightEvents::positionReport(int nowMin) {
    FlightProgress& p = c_.progress;
    // At or past the mark: a tick that never saw minute 15 (the simulator was lost over
    // it) must not hold the next report back.
    if (nowMin - *p.positionReferenceMin < kReportMinutes) return true;
    c_.services.acars.positionReport();
    if (c_.settings.events.FlightPosEvent) {
        const auto wind = readWindAndHeading(c_.link);
        if (!wind) return false;
        const auto gs = readU32(c_.link, var::GroundSpeed);
        if (!gs) return false;
        const auto altitude = readS32(c_.link, var::Altitude);
        if (!altitude || !c_.logNow(kCruiseLine, wind->windFromDeg, wind->windKt, wind->headingDeg,
                                    whole(convert::groundSpeedKnots(*gs)),
                                    whole(convert::altitudeFeet(*altitude)))) {
            return false;
        }
    }
    p.positionReferenceMin = nowMin;
    return true;
}

// Once a minute the ground speed adds a minute of flight. Minutes the simulator flew
// while it was lost are counted by where the aircraft went meanwhile: the speed at the
// resume may be anything but the speed of those minutes.
bool FlightEvents::countFlightLength(int nowMin) {
    FlightProgress& p = c_.progress;
    if (!c_.settings.events.FlightLengthEvent || nowMin <= *p.lengthCountedToMin) return true;
    std::uint32_t gs = 0;
    std::int32_t lat = 0;
    std::uint32_t lon = 0;
    if (!ReadBatch(c_.link)
             .add(var::GroundSpeed, gs)
             .add(var::Latitude, lat)
             .add(var::Longitude, lon)
             .process()) {
        return false;
    }
    const int minutes = nowMin - *p.lengthCountedToMin;
    const double latDeg = convert::latitudeDegrees(lat);
    const double lonDeg = convert::longitudeDegrees(lon);
    if (minutes > 1 && p.lengthFixLatDeg) {
        p.flightLengthNm += static_cast<float>(
            greatCircleNm(*p.lengthFixLatDeg, p.lengthFixLonDeg, latDeg, lonDeg));
    } else {
        p.flightLengthNm += static_cast<float>(minutes * convert::nmFlownPerMinute(gs));
    }
    p.lengthCountedToMin = nowMin;
    p.lengthFixLatDeg = latDeg;
    p.lengthFixLonDeg = lonDeg;
    return true;
}

// TOC and TOD, each with the fuel on board.
bool FlightEvents::cruiseLines() {
    FlightProgress& p = c_.progress;
    if (!c_.settings.events.TOCTODEvent) return true;
    const unsigned cruiseFt = cruiseAltitudeFt(c_.record.flightLevel);
    std::int32_t altitude = 0;
    std::uint16_t seaLevel = 0;
    std::uint16_t altimeter = 0;
    if (!ReadBatch(c_.link)
             .add(var::Altitude, altitude)
             .add(var::SeaLevelPressure, seaLevel)
             .add(var::AltimeterSetting, altimeter)
             .process()) {
        return false;
    }
    const double correctionFt =
        (convert::millibars(altimeter) - convert::millibars(seaLevel)) * kFeetPerMbCorrection;
    // Compared as unsigned: a level below zero counts as far above any cruise level.
    const auto level = static_cast<std::uint32_t>(
        static_cast<std::int64_t>(convert::altitudeFeet(altitude) + correctionFt + kTocTodBandFt));
    const bool toc = !p.inCruise && level > cruiseFt;
    const bool tod = p.inCruise && level < cruiseFt;
    if (!toc && !tod) return true;
    // A failed read is tried again at the next tick rather than logged as a figure.
    const auto fuelKg = tryReadFuelOnBoardKg(c_.link);
    if (!fuelKg) return false;
    const auto t = c_.readLogTime();
    if (!t) return false;
    std::string text = format(toc ? kTocLine : kTodLine, t->hour, t->minute);
    text += c_.kilograms() ? format(kFuelKgLine, t->hour, t->minute, whole(*fuelKg))
                           : format(kFuelLbLine, t->hour, t->minute, whole(*fuelKg * kPoundsPerKg));
    c_.appendLog(text);
    p.inCruise = toc;
    if (tod) p.flightLengthAtTodNm = p.flightLengthNm;
    return true;
}

// The detent is kept for the summary whether or not its line is logged.
bool FlightEvents::flapsLine() {
    FlightProgress& p = c_.progress;
    std::uint32_t ias = 0;
    std::int32_t flaps = 0;
    std::uint16_t increment = 0;
    if (!ReadBatch(c_.link)
             .add(var::IndicatedAirspeed, ias)
             .add(var::FlapsControl, flaps)
             .add(var::FlapsDetentIncrement, increment)
             .process()) {
        return false;
    }
    // An aircraft without a detent increment has no detents to report.
    const auto detent = convert::flapDetent(flaps, increment);
    if (!detent) return true;
    p.flapDetent = *detent;
    if (!c_.settings.events.FlapsEvent || *detent == p.lastLoggedFlapDetent) return true;
    const int knots = int(convert::indicatedAirspeedKnots(ias));
    // A fleet file may name fewer detents than the aircraft has, or leave one out.
    const auto name = c_.services.flapNames.name(*detent);
    const bool logged = name && !name->empty() ? c_.logNow(kFlapsNamedLine, name->c_str(), knots)
                                               : c_.logNow(kFlapsLine, *detent, knots);
    if (!logged) return false;
    p.lastLoggedFlapDetent = *detent;
    return true;
}

// Armed high above the ground, started on the way down through the sampling height.
void FlightEvents::armTouchdownSampler(int heightM) {
    FlightProgress& p = c_.progress;
    const config::EventsSection& events = c_.settings.events;
    if (!events.ToutchDownEvent && !events.LandingEvent) return;
    if (heightM > kTouchdownArmHeightM) p.touchdownArmed = true;
    // The landing analysis looks from 1000 ft down.
    const int startHeightM =
        events.LandingEvent ? kLandingAnalysisStartHeightM : kTouchdownStartHeightM;
    if (heightM < startHeightM && p.touchdownArmed && !p.touchdownSamplerStarted) {
        c_.timers.start(kTouchdownTimer, kTouchdownSampleMs);
        p.touchdownSamplerStarted = true;
    }
}

// Landed once the wheels have stayed on the ground for a while, low.
void FlightEvents::watchForLanding(int heightM) {
    FlightProgress& p = c_.progress;
    const auto onGround = readU16(c_.link, var::OnGround);
    if (!onGround) return;
    if (*onGround == 0) {
        p.onGroundTicks = 0;
        return;
    }
    ++p.onGroundTicks;
    if (p.onGroundTicks > kLandingGroundTicks && heightM < kLandingHeightM) logLanding();
}

bool FlightEvents::logLanding() {
    FlightProgress& p = c_.progress;
    const config::EventsSection& events = c_.settings.events;
    if (events.MetarsEvent) logMetar(c_.record.arrivalIcao);
    c_.phase = FlightPhase::TaxiingIn;
    if (!c_.logNow(kLandLine)) return false;
    if (events.LandingEvent && !landingLines()) return false;

    const auto wind = readWindAndHeading(c_.link);
    if (!wind || !c_.logNow(kLandingWindLine, wind->windFromDeg, wind->windKt) ||
        !c_.logNow(kLandingHeadingLine, wind->headingDeg)) {
        return false;
    }

    p.landingAtMin = p.flightClockMin;
    p.flightDurationMin = p.takeOffAtMin ? *p.landingAtMin - *p.takeOffAtMin : 0;
    if (events.DurationEvent) {
        const HoursMinutes d = hoursMinutesOf(p.flightDurationMin);
        if (!c_.logNow(kDurationLine, d.hours, d.minutes)) return false;
    }

    const auto landingWeightLbs = readGrossWeightLbs(c_.link);
    if (!landingWeightLbs) return false;
    if (events.WeightEvent) {
        const bool logged =
            c_.kilograms() ? c_.logNow(kLandingWeightKgLine, whole(*landingWeightLbs * kKgPerPound))
                           : c_.logNow(kLandingWeightLbLine, whole(*landingWeightLbs));
        if (!logged) return false;
    }
    if (events.TOLDPosEvent && !positionLine()) return false;

    const auto weightLbs = readGrossWeightLbs(c_.link);
    if (!weightLbs) return false;
    const auto t = c_.readLogTime();
    if (!t) return false;
    c_.services.acars.onMessage(t->hour, t->minute, readFuelOnBoardKg(c_.link),
                                *weightLbs * kKgPerPound);
    return true;
}

// The analysis's lines below "Land", all at one time: by then the roll-out has lasted
// longer than the analysis waits, so a landing it has not finished was not seen whole.
bool FlightEvents::landingLines() {
    landing_.giveUp();
    const auto t = c_.readLogTime();
    if (!t) return false;
    std::string text;
    for (const std::string& line : landingReportLines(landing_.report())) {
        text += format("%02d:%02d  ", t->hour, t->minute) + line + "\n";
    }
    c_.appendLog(text);
    // The figures on the cockpit terminal's ACARS page too, where the pilot looks after
    // the landing.
    if (c_.lines.gauge.isOpen()) {
        for (const std::string& line : landingGaugeLines(landing_.report())) {
            c_.lines.gauge.page1Lines(line);
        }
    }
    return true;
}

bool FlightEvents::landingAnalysed() const {
    return c_.settings.events.LandingEvent;
}

namespace {

// What the sampler reads in its one exchange: the touchdown line's figures always, the
// landing analysis's when it runs.
struct SamplerReading {
    std::uint16_t onGround = 0;
    std::int32_t verticalSpeed = 0;
    std::uint32_t ias = 0;
    std::int32_t touchdownVerticalSpeed = 0;
    std::int16_t gForce = 0;
    std::int64_t altitude = 0;
    std::int32_t groundAltitude = 0;
    std::uint32_t groundSpeed = 0;
    std::int32_t pitch = 0;
    std::int32_t bank = 0;
    std::int32_t latitude = 0;
    std::uint32_t longitude = 0;
    std::int32_t heading = 0;
    std::uint16_t paused = 0;
    std::uint16_t slew = 0;
    std::uint16_t rate = kRateOneX;

    bool read(SimLink& link, bool analysed) {
        ReadBatch batch(link);
        batch.add(var::OnGround, onGround)
            .add(var::VerticalSpeed, verticalSpeed)
            .add(var::IndicatedAirspeed, ias)
            .add(var::TouchdownVerticalSpeed, touchdownVerticalSpeed);
        if (analysed) {
            batch.add(var::GForce, gForce)
                .add(kAltitude64, altitude)
                .add(var::GroundAltitude, groundAltitude)
                .add(var::GroundSpeed, groundSpeed)
                .add(var::Pitch, pitch)
                .add(var::Bank, bank)
                .add(var::Latitude, latitude)
                .add(var::Longitude, longitude)
                .add(var::Heading, heading)
                .add(var::PauseIndicator, paused)
                .add(var::SlewMode, slew)
                .add(var::SimulationRate, rate);
        }
        return batch.process();
    }

    LandingSample sample() const {
        constexpr double kTwoPow32 = 4294967296.0;
        LandingSample s;
        s.heightFt = (static_cast<double>(altitude) / kTwoPow32 - groundAltitude / 256.0) *
                     scale::kFeetPerMetre;
        s.verticalSpeedFpm = convert::verticalSpeedFpm(verticalSpeed);
        s.touchdownVerticalSpeedFpm = convert::verticalSpeedFpm(touchdownVerticalSpeed);
        s.onGround = onGround != 0;
        s.indicatedAirspeedKt = ias / 128.0;
        s.groundSpeedKt = convert::groundSpeedKnots(groundSpeed);
        s.noseUpDeg = -convert::pitchDegrees(pitch);
        s.bankRightDeg = -bank * scale::kAngleDegPerUnit;
        s.gForce = gForce * scale::kGPerUnit;
        s.latitudeDeg = convert::latitudeDegrees(latitude);
        s.longitudeDeg = convert::longitudeDegrees(longitude);
        s.headingTrueDeg = convert::headingDegrees(heading);
        s.paused = paused != 0;
        s.slewed = slew != 0;
        s.simulationRate = rate / double(kRateOneX);
        return s;
    }
};

}  // namespace

void FlightEvents::touchdownSampler() {
    FlightProgress& p = c_.progress;
    // Once the log is closed nothing more belongs in it.
    if (c_.phase == FlightPhase::Stopped) {
        c_.timers.stop(kTouchdownTimer);
        return;
    }
    const bool analysed = landingAnalysed();
    if (analysed && !runwaysLookedUp_ && runways_ != nullptr) {
        landing_.setRunways(runways_->runwayEnds(c_.record.arrivalIcao));
        runwaysLookedUp_ = true;
    }
    // One exchange: read apart, the wheels could touch between the ground flag and the
    // vertical speed, and the sample would be the speed on the runway (0).
    SamplerReading r;
    if (!r.read(c_.link, analysed)) {
        p.touchdownSampleFresh = false;
        if (analysed) landing_.sampleFailed(c_.link.failureCount() >= SimLink::kLostCount);
        return;
    }
    if (analysed) landing_.sample(r.sample());
    const bool lineDue =
        c_.settings.events.ToutchDownEvent && p.touchdown == FlightProgress::Touchdown::NotYet;
    if (lineDue && r.onGround == 0) {
        p.touchdownSampleFresh = true;
        p.touchdownVerticalSpeedRaw = r.verticalSpeed;
        p.touchdownSpeedRaw = r.ias;
    } else if (lineDue) {
        touchdownLine(r.touchdownVerticalSpeed);
        if (p.touchdown == FlightProgress::Touchdown::NotYet) return;
        p.touchdownArmed = false;
        if (!analysed) c_.timers.stop(kTouchdownTimer);
        return;
    }
    if (!lineDue && (!analysed || landing_.finished())) c_.timers.stop(kTouchdownTimer);
}

// At the first sample on the ground. The simulator's own rate at the contact is the sound
// figure; where it serves none, the last sample in the air stands for it.
void FlightEvents::touchdownLine(std::int32_t contactRateRaw) {
    FlightProgress& p = c_.progress;
    const bool lost =
        landingAnalysed() && landing_.report().status == LandingReport::Status::NotObserved;
    if (p.touchdownSampleFresh && !lost) {
        // Worked out from the kept values each time, so a retry after a failed exchange
        // gives the same figure.
        const std::int32_t raw = contactRateRaw != 0 ? contactRateRaw : p.touchdownVerticalSpeedRaw;
        p.touchdownRateFpm = whole(convert::verticalSpeedFpm(raw));
        if (!c_.logNow(kTouchdownLine, p.touchdownRateFpm,
                       int(convert::indicatedAirspeedKnots(p.touchdownSpeedRaw)))) {
            return;
        }
        p.touchdown = FlightProgress::Touchdown::Recorded;
    } else {
        // The wheels touched while the simulator was not answering: no sample of that
        // moment exists, and an older one would be a made-up figure.
        if (!c_.logNow(kTouchdownMissedLine)) return;
        p.touchdown = FlightProgress::Touchdown::NotObserved;
    }
}

bool FlightEvents::blocksOnStep(bool forced) {
    FlightProgress& p = c_.progress;
    const config::EventsSection& events = c_.settings.events;
    const auto brake = readS16(c_.link, var::ParkingBrake);
    if (!brake || (*brake != kParkingBrakeSet && !forced) || p.blocksOnDone) return false;
    // The final fuel goes into the stored flight and the PIREP: a read that failed is tried
    // again at the next tick. A forced stop cannot wait and keeps what the read gave.
    const auto read = tryReadFuelOnBoardKg(c_.link);
    if (!read && !forced) return false;
    const double fuelKg = read.value_or(-1.0);
    p.blocksOnDone = true;
    p.finalFuelKg = whole(fuelKg);
    if (!c_.logNow(kBrakesOnLine)) return true;
    p.blockOnAtMin = p.flightClockMin;
    // A log stopped before blocks off has no block time.
    p.blockToBlockMin = p.blockOffAtMin ? *p.blockOnAtMin - *p.blockOffAtMin : 0;

    const auto t = c_.readLogTime();
    if (!t) return true;
    const HoursMinutes block = hoursMinutesOf(p.blockToBlockMin);
    const HoursMinutes flight = hoursMinutesOf(p.flightDurationMin);
    const int spentKg = p.initialFuelKg - p.finalFuelKg;
    c_.services.acars.inMessage({.hour = t->hour,
                                 .minute = t->minute,
                                 .fuelKg = fuelKg,
                                 .fuelSpentKg = spentKg,
                                 .blockHours = block.hours,
                                 .blockMinutes = block.minutes,
                                 .flightHours = flight.hours,
                                 .flightMinutes = flight.minutes});

    std::string text = format(kBlockToBlockLine, t->hour, t->minute, block.hours, block.minutes);
    if (events.FuelEvent) {
        if (c_.kilograms()) {
            text += format(kFinalFuelKgLine, t->hour, t->minute, p.finalFuelKg);
            text += format(kSpentFuelKgLine, t->hour, t->minute, spentKg);
        } else {
            text +=
                format(kFinalFuelLbLine, t->hour, t->minute, whole(p.finalFuelKg * kPoundsPerKg));
            text += format(kSpentFuelLbLine, t->hour, t->minute, whole(spentKg * kPoundsPerKg));
        }
    }
    if (events.FlightLengthEvent) {
        text += format(kFlightLengthLine, t->hour, t->minute, whole(p.flightLengthNm));
    }
    // Without a TOD there is no distance from it.
    if (events.DistLandEvent && p.flightLengthAtTodNm) {
        text += format(kTodLandLine, t->hour, t->minute,
                       whole(p.flightLengthNm - *p.flightLengthAtTodNm));
    }
    c_.appendLog(text);
    return true;
}

void FlightEvents::com1Watch(std::uint16_t com1) {
    FlightProgress& p = c_.progress;
    if (!c_.settings.events.ComFreqEvent || c_.phase == FlightPhase::WaitingForBlocksOff) return;
    if (com1 == p.lastCom1) return;
    if (c_.logNow(kCom1Line, (com1 >> 12) & 0xF, (com1 >> 8) & 0xF, (com1 >> 4) & 0xF,
                  com1 & 0xF)) {
        p.lastCom1 = com1;
    }
}

void FlightEvents::zeroFuelWeightLine() {
    const FlightProgress& p = c_.progress;
    if (c_.kilograms()) {
        c_.logNow(kZfwKgLine, whole(p.referenceWeightLbs * kKgPerPound - p.initialFuelKg),
                  p.initialFuelKg);
    } else {
        c_.logNow(kZfwLbLine, whole(p.referenceWeightLbs - p.initialFuelKg * kPoundsPerKg),
                  whole(p.initialFuelKg * kPoundsPerKg));
    }
}

void FlightEvents::logMetar(const std::string& icao) {
    if (c_.settings.metarSource == config::MetarSource::None || icao.empty()) return;
    const auto metar = c_.services.metar.fetch(icao);
    if (!metar) return;
    if (c_.logNow(kMetarLine, metarSourceName(c_.settings.metarSource), metar->c_str())) {
        c_.services.acars.metarMessage(*metar);
    }
}

}  // namespace aviolog::recorder
