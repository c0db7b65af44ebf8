#include "tools/probe_snapshot.h"

#include <cmath>

#include "common/text_format.h"

namespace aviolog::probe {

using namespace aviolog::simlink;
using namespace aviolog::wire;

bool readSnapshot(SimLink& link, Snapshot& s) {
    const struct {
        SimVariable v;
        void* to;
    } items[] = {
        {var::ZuluHour, &s.zuluHour},
        {var::ZuluMinute, &s.zuluMinute},
        {var::ZuluDayOfYear, &s.dayOfYear},
        {var::ZuluYear, &s.year},
        {var::Latitude, &s.latitude},
        {var::Longitude, &s.longitude},
        {var::Altitude, &s.altitudeM},
        {var::GroundAltitude, &s.groundAltitude},
        {var::Pitch, &s.pitch},
        {var::Heading, &s.heading},
        {var::VerticalSpeed, &s.verticalSpeed},
        {var::GroundSpeed, &s.groundSpeed},
        {var::IndicatedAirspeed, &s.indicatedAirspeed},
        {var::OnGround, &s.onGround},
        {var::WindSpeed, &s.windSpeed},
        {var::WindDirection, &s.windDirection},
        {var::Com1Frequency, &s.com1},
        {var::AltimeterSetting, &s.altimeter},
        {var::ParkingBrake, &s.parkingBrake},
        {var::GearControl, &s.gear},
        {var::FlapsControl, &s.flaps},
        {var::FlapsDetentIncrement, &s.flapIncrement},
        {var::Engine1N1, &s.n1[0]},
        {var::Engine2N1, &s.n1[1]},
        {var::FuelWeightPerGallon, &s.density},
        {var::GrossWeight, &s.grossWeightLbs},
        {var::PauseIndicator, &s.pauseIndicator},
        {var::SlewMode, &s.slew},
        {var::SimulationRate, &s.rate},
        {var::Crashed, &s.crashed},
    };
    for (const auto& item : items) {
        if (!link.read(item.v.offset, item.v.size, item.to)) return false;
    }
    for (int t = 0; t < kTankCount; ++t) {
        if (!link.read(kFuelTanks[t].level.offset, 4, &s.tankLevel[t]) ||
            !link.read(kFuelTanks[t].capacity.offset, 4, &s.tankCapacity[t])) {
            return false;
        }
    }
    return link.process();
}

std::string describe(const Snapshot& s) {
    double fuelKg = 0.0;
    for (int t = 0; t < kTankCount; ++t) {
        fuelKg += convert::tankFuelKg(s.tankLevel[t], s.tankCapacity[t], s.density);
    }
    const auto detent = convert::flapDetent(s.flaps, s.flapIncrement);
    const char* brake = s.parkingBrake == kParkingBrakeSet ? "SET"
                        : s.parkingBrake == 0              ? "off"
                                                           : "part";
    std::string flags;
    if (s.pauseIndicator != 0) flags += " PAUSED";
    if (s.slew != 0) flags += " SLEW";
    if (s.rate != kRateOneX) flags += format(" RATE %gx", s.rate / 256.0);
    if (s.crashed != 0) flags += " CRASHED";
    return format(
        "%02u:%02uZ %s brake %-4s lat %9.5f lon %10.5f alt %6.0f ft agl %5d m hdg %03.0f "
        "ias %3u gs %3.0f vs %+5.0f pitch %+5.1f gear %s flaps %s n1 %3.0f/%3.0f "
        "fuel %6.0f kg gw %6.0f lb wind %03.0f/%02u com1 %s qnh %4.0f%s",
        s.zuluHour, s.zuluMinute, s.onGround != 0 ? "GND" : "AIR", brake,
        convert::latitudeDegrees(s.latitude), convert::longitudeDegrees(s.longitude),
        convert::altitudeFeet(s.altitudeM),
        convert::heightAboveGroundM(s.altitudeM, s.groundAltitude),
        std::floor(convert::headingDegrees(s.heading)),
        convert::indicatedAirspeedKnots(s.indicatedAirspeed),
        convert::groundSpeedKnots(s.groundSpeed), convert::verticalSpeedFpm(s.verticalSpeed),
        convert::pitchDegrees(s.pitch),
        s.gear == kGearDown ? "dn"
        : s.gear == 0       ? "up"
                            : "tr",
        detent ? std::to_string(*detent).c_str() : "-", convert::n1Percent(s.n1[0]),
        convert::n1Percent(s.n1[1]), fuelKg, s.grossWeightLbs,
        std::floor(convert::windDirectionDegrees(s.windDirection)), s.windSpeed,
        convert::com1Text(s.com1).c_str(), convert::millibars(s.altimeter), flags.c_str());
}

}  // namespace aviolog::probe
