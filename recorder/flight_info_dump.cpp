#include "recorder/flight_info_dump.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string_view>

#include "common/paths.h"
#include "common/text_format.h"
#include "common/units.h"
#include "config/settings.h"
#include "model/main_window_model.h"
#include "recorder/recorder_context.h"
#include "simlink/sim_link.h"
#include "simlink/sim_time.h"
#include "simlink/sim_variables.h"

namespace aviolog::recorder {

using namespace simlink;
using namespace wire;
using namespace model;

// One row of the dump: each column is written as it is read; a column the update could
// not reach is left empty, so every row has as many fields as the settings ask for.
class FlightInfoDump::Row {
  public:
    // Not writing: the update only fills the views.
    Row() = default;
    // A row of the file: its number, then as many fields as the settings ask for.
    Row(int number, const config::FlightInfoSection& f)
        : writing_(true), text_(format("%d,", number)) {
        for (const bool column :
             {f.LogAltitude, f.LogHeading, f.LogGroundSpeed, f.LogTotalSpeed, f.LogIndicatedSpeed,
              f.LogFuelOnBoard, f.LogFuelFlow, f.LogEndurance, f.LogFlightTime, f.LogFlightLength,
              f.LogPlaneWeight}) {
            pending_ += column ? 1 : 0;
        }
        pending_ += f.LogWinds ? 2 : 0;
    }
    void add(bool wanted, const std::string& fields, int commas = 1) {
        if (!writing_ || !wanted) return;
        text_ += fields;
        pending_ -= commas;
    }
    bool writing() const { return writing_; }
    // The text with the commas of the columns never reached.
    std::string finish() {
        text_.append(static_cast<std::size_t>(std::max(pending_, 0)), ',');
        return text_ + "\r\n";
    }

  private:
    bool writing_ = false;
    std::string text_;
    int pending_ = 0;
};

void FlightInfoDump::start() {
    file_.reset(std::fopen(localPath(c_.workDir, c_.settings.flightInfo.LogPath).c_str(), "wb"));
    on_ = true;
    c_.window.show(Control::StartLogDump, false);
    c_.window.show(Control::StopLogDump, true);
    c_.window.enable(Control::StopLogDump, true);
}

void FlightInfoDump::stop() {
    on_ = false;
    file_.reset();
    c_.window.show(Control::StopLogDump, false);
    c_.window.show(Control::StartLogDump, true);
}

void FlightInfoDump::update() {
    const auto paused = readU16(c_.link, var::PauseControl);
    if (!paused || *paused != 0) return;
    PropertyList& views = c_.window.results();
    views.clear(kFlightData);
    views.clear(kPlaneData);

    Row row;
    if (on_ && file_ != nullptr) row = Row(++rowCounter_, c_.settings.flightInfo);
    fill(row);
    if (row.writing()) {
        const std::string text = row.finish();
        std::fwrite(text.data(), 1, text.size(), file_.get());
        std::fflush(file_.get());
    }
    c_.window.viewsChanged();
}

void FlightInfoDump::fill(Row& row) {
    const config::FlightInfoSection& f = c_.settings.flightInfo;
    const bool kg = c_.kilograms();
    // The views show each figure with its unit; the dump file's columns stay bare figures.
    const char* mass = weightSymbol(kg ? WeightUnit::Kilograms : WeightUnit::Pounds);
    PropertyList& views = c_.window.results();
    auto flightData = [&](const char* name, std::string value) {
        views.add(kFlightData, name, std::move(value));
    };
    auto planeData = [&](const char* name, std::string value) {
        views.add(kPlaneData, name, std::move(value));
    };

    const auto lat = readS32(c_.link, var::Latitude);
    if (!lat) return;
    const auto lon = readU32(c_.link, var::Longitude);
    if (!lon) return;
    const auto gsRaw = readU32(c_.link, var::GroundSpeed);
    if (!gsRaw) return;
    const double latDeg = convert::latitudeDegrees(*lat);
    const double lonDeg = convert::longitudeDegrees(*lon);
    const double gsKt = convert::groundSpeedKnots(*gsRaw);
    c_.progress.groundSpeedKt = whole(gsKt);

    auto legTo = [&](const model::Airport& airport, const char* label) {
        flightData(label, airport.name);
        const double nm = greatCircleNm(latDeg, lonDeg, airport.latitudeDeg, airport.longitudeDeg);
        flightData("Distance", format("%d NM", whole(nm)));
        if (gsKt != 0.0) {
            const double hours = nm / gsKt;
            flightData("Time",
                       format("%02d:%02d", whole(hours), whole((hours - whole(hours)) * 60)));
        }
        return nm;
    };
    if (c_.departure) legTo(*c_.departure, "From");
    if (c_.arrival) c_.progress.remainingDistanceNm = whole(legTo(*c_.arrival, "To"));

    const auto altitude = readS32(c_.link, var::Altitude);
    if (!altitude) return;
    const int altitudeFt = whole(convert::altitudeFeet(*altitude));
    flightData("Altitude", format("%d ft", altitudeFt));
    row.add(f.LogAltitude, format("%d,", altitudeFt));

    const auto headingRaw = readS32(c_.link, var::Heading);
    if (!headingRaw) return;
    const int heading = whole(convert::headingDegrees(*headingRaw));
    flightData("Heading", format("%d\xBA", heading));
    row.add(f.LogHeading, format("%d,", heading));

    flightData("Ground Speed", format("%d kt", whole(gsKt)));
    row.add(f.LogGroundSpeed, format("%d,", whole(gsKt)));

    const auto tas = readU32(c_.link, var::TrueAirspeed);
    if (!tas) return;
    const int tasKt = whole(convert::trueAirspeedKnots(*tas));
    flightData("Total Speed", format("%d kt", tasKt));
    row.add(f.LogTotalSpeed, format("%d,", tasKt));

    const auto ias = readU32(c_.link, var::IndicatedAirspeed);
    if (!ias) return;
    const int iasKt = int(convert::indicatedAirspeedKnots(*ias));
    flightData("Indicated Speed", format("%d kt", iasKt));
    row.add(f.LogIndicatedSpeed, format("%d,", iasKt));

    const auto windFrom = readU16(c_.link, var::WindDirection);
    if (!windFrom) return;
    const auto windKt = readU16(c_.link, var::WindSpeed);
    if (!windKt) return;
    const int windDeg = whole(convert::windDirectionDegrees(*windFrom));
    flightData("Winds", format("%02d@%02d kt", windDeg, int(*windKt)));
    row.add(f.LogWinds, format("%02d,%02d,", int(*windKt), windDeg), 2);

    const double fuelKg = readFuelOnBoardKg(c_.link);
    const int fuel = kg ? whole(fuelKg) : whole(fuelKg * kPoundsPerKg);
    planeData("Fuel On Board", format("%02d %s", fuel, mass));
    row.add(f.LogFuelOnBoard, format("%d,", fuel));

    double flowPph = 0.0;
    for (const SimVariable engine : kEngineFuelFlows) {
        const auto flow = readFuelFlowPph(c_.link, engine);
        if (!flow) return;
        flowPph += *flow;
    }
    const int flow = kg ? whole(flowPph * kKgPerPound) : whole(flowPph);
    planeData("Fuel Flow", format("%02d %s/h", flow, mass));
    row.add(f.LogFuelFlow, format("%d,", flow));

    // A flow next to nothing gives an endurance no clock shows: left empty.
    const double enduranceH = flowPph == 0.0 ? 0.0 : fuelKg * kPoundsPerKg / flowPph;
    if (std::isfinite(enduranceH) && std::fabs(enduranceH) < kLargestMass) {
        const int endH = whole(enduranceH);
        const int endM = whole((enduranceH - endH) * 60);
        planeData("Endurance", format("%02d:%02d ", endH, endM));
        row.add(f.LogEndurance, format("%02d:%02d,", endH, endM));
    } else {
        row.add(f.LogEndurance, ",");
    }

    // On the flight clock, from the take-off: nothing to show before there was one.
    if (const auto takeOffAtMin = c_.progress.takeOffAtMin) {
        const HoursMinutes flown = hoursMinutesOf(c_.progress.flightClockMin - *takeOffAtMin);
        flightData("Duration", format("%02d:%02d ", flown.hours, flown.minutes));
        row.add(f.LogFlightTime, format("%02d:%02d,", flown.hours, flown.minutes));
    } else {
        row.add(f.LogFlightTime, ",");
    }

    const int lengthNm = whole(c_.progress.flightLengthNm);
    flightData("Length", format("%d NM", lengthNm));
    row.add(f.LogFlightLength, format("%d,", lengthNm));

    const auto weightLbs = readGrossWeightLbs(c_.link);
    if (!weightLbs) return;
    const int weight = kg ? whole(*weightLbs * kKgPerPound) : whole(*weightLbs);
    planeData("Weight", format("%d %s", weight, mass));
    row.add(f.LogPlaneWeight, format("%d,", weight));
}

}  // namespace aviolog::recorder
