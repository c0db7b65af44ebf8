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

namespace {

// What the columns of one update read and share, and where they show it.
struct Reading {
    SimLink& link;
    PropertyList& views;
    FlightProgress& progress;
    const std::optional<model::Airport>& departure;
    const std::optional<model::Airport>& arrival;
    bool kilograms;
    // Read by the first column, for the legs and the speeds.
    double latDeg = 0.0;
    double lonDeg = 0.0;
    double gsKt = 0.0;
    // Read by the fuel columns, for the endurance.
    double fuelKg = 0.0;
    double flowPph = 0.0;

    void flightData(const char* name, std::string value) {
        views.add(kFlightData, name, std::move(value));
    }
    void planeData(const char* name, std::string value) {
        views.add(kPlaneData, name, std::move(value));
    }
    // The views show each figure with its unit; the dump file's columns stay bare figures.
    const char* massSymbol() const {
        return weightSymbol(kilograms ? WeightUnit::Kilograms : WeightUnit::Pounds);
    }
};

// One column of the dump file and of the views, in the order of both. fill reads what it
// needs, shows it, and returns the file's fields, each ended by a comma ("" leaves them
// empty); nothing when an exchange failed, which ends the row there.
struct Column {
    bool config::FlightInfoSection::*logged;  // null: shown in the views only
    int fields;
    std::optional<std::string> (*fill)(Reading&);
};

// The remaining distance and time to an airport, in the flight data view.
double legTo(Reading& r, const model::Airport& airport, const char* label) {
    r.flightData(label, airport.name);
    const double nm = greatCircleNm(r.latDeg, r.lonDeg, airport.latitudeDeg, airport.longitudeDeg);
    r.flightData("Distance", format("%d NM", whole(nm)));
    if (r.gsKt != 0.0) {
        const double hours = nm / r.gsKt;
        r.flightData("Time", format("%02d:%02d", whole(hours), whole((hours - whole(hours)) * 60)));
    }
    return nm;
}

std::optional<std::string> positionAndLegs(Reading& r) {
    const auto lat = readS32(r.link, var::Latitude);
    if (!lat) return std::nullopt;
    const auto lon = readU32(r.link, var::Longitude);
    if (!lon) return std::nullopt;
    const auto gsRaw = readU32(r.link, var::GroundSpeed);
    if (!gsRaw) return std::nullopt;
    r.latDeg = convert::latitudeDegrees(*lat);
    r.lonDeg = convert::longitudeDegrees(*lon);
    r.gsKt = convert::groundSpeedKnots(*gsRaw);
    r.progress.groundSpeedKt = whole(r.gsKt);
    if (r.departure) legTo(r, *r.departure, "From");
    if (r.arrival) r.progress.remainingDistanceNm = whole(legTo(r, *r.arrival, "To"));
    return "";
}

std::optional<std::string> altitude(Reading& r) {
    const auto raw = readS32(r.link, var::Altitude);
    if (!raw) return std::nullopt;
    const int feet = whole(convert::altitudeFeet(*raw));
    r.flightData("Altitude", format("%d ft", feet));
    return format("%d,", feet);
}

std::optional<std::string> heading(Reading& r) {
    const auto raw = readS32(r.link, var::Heading);
    if (!raw) return std::nullopt;
    const int degrees = whole(convert::headingDegrees(*raw));
    r.flightData("Heading", format("%d\xBA", degrees));
    return format("%d,", degrees);
}

std::optional<std::string> groundSpeed(Reading& r) {
    r.flightData("Ground Speed", format("%d kt", whole(r.gsKt)));
    return format("%d,", whole(r.gsKt));
}

std::optional<std::string> trueAirspeed(Reading& r) {
    const auto raw = readU32(r.link, var::TrueAirspeed);
    if (!raw) return std::nullopt;
    const int knots = whole(convert::trueAirspeedKnots(*raw));
    r.flightData("Total Speed", format("%d kt", knots));
    return format("%d,", knots);
}

std::optional<std::string> indicatedAirspeed(Reading& r) {
    const auto raw = readU32(r.link, var::IndicatedAirspeed);
    if (!raw) return std::nullopt;
    const int knots = int(convert::indicatedAirspeedKnots(*raw));
    r.flightData("Indicated Speed", format("%d kt", knots));
    return format("%d,", knots);
}

// The view shows the direction first, the file the speed.
std::optional<std::string> winds(Reading& r) {
    const auto windFrom = readU16(r.link, var::WindDirection);
    if (!windFrom) return std::nullopt;
    const auto windKt = readU16(r.link, var::WindSpeed);
    if (!windKt) return std::nullopt;
    const int windDeg = whole(convert::windDirectionDegrees(*windFrom));
    r.flightData("Winds", format("%02d@%02d kt", windDeg, int(*windKt)));
    return format("%02d,%02d,", int(*windKt), windDeg);
}

std::optional<std::string> fuelOnBoard(Reading& r) {
    // A failed exchange ends the row; only an implausible total is shown as -1.
    const auto kg = tryReadFuelOnBoardKg(r.link);
    if (!kg) return std::nullopt;
    r.fuelKg = *kg;
    const int fuel = r.kilograms ? whole(r.fuelKg) : whole(r.fuelKg * kPoundsPerKg);
    r.planeData("Fuel On Board", format("%02d %s", fuel, r.massSymbol()));
    return format("%d,", fuel);
}

std::optional<std::string> fuelFlow(Reading& r) {
    for (const SimVariable engine : kEngineFuelFlows) {
        const auto flow = readFuelFlowPph(r.link, engine);
        if (!flow) return std::nullopt;
        r.flowPph += *flow;
    }
    const int flow = r.kilograms ? whole(r.flowPph * kKgPerPound) : whole(r.flowPph);
    r.planeData("Fuel Flow", format("%02d %s/h", flow, r.massSymbol()));
    return format("%d,", flow);
}

// A flow next to nothing gives an endurance no clock shows: left empty.
std::optional<std::string> endurance(Reading& r) {
    const double hours = r.flowPph == 0.0 ? 0.0 : r.fuelKg * kPoundsPerKg / r.flowPph;
    if (!std::isfinite(hours) || std::fabs(hours) >= kLargestMass) return "";
    const int h = whole(hours);
    const int m = whole((hours - h) * 60);
    r.planeData("Endurance", format("%02d:%02d ", h, m));
    return format("%02d:%02d,", h, m);
}

// On the flight clock, from the take-off: nothing to show before there was one.
std::optional<std::string> flightTime(Reading& r) {
    const auto takeOffAtMin = r.progress.takeOffAtMin;
    if (!takeOffAtMin) return "";
    const HoursMinutes flown = hoursMinutesOf(r.progress.flightClockMin - *takeOffAtMin);
    r.flightData("Duration", format("%02d:%02d ", flown.hours, flown.minutes));
    return format("%02d:%02d,", flown.hours, flown.minutes);
}

std::optional<std::string> flightLength(Reading& r) {
    const int nm = whole(r.progress.flightLengthNm);
    r.flightData("Length", format("%d NM", nm));
    return format("%d,", nm);
}

std::optional<std::string> weight(Reading& r) {
    const auto lbs = readGrossWeightLbs(r.link);
    if (!lbs) return std::nullopt;
    const int shown = r.kilograms ? whole(*lbs * kKgPerPound) : whole(*lbs);
    r.planeData("Weight", format("%d %s", shown, r.massSymbol()));
    return format("%d,", shown);
}

using Section = config::FlightInfoSection;
constexpr Column kColumns[] = {
    {nullptr, 0, positionAndLegs},
    {&Section::LogAltitude, 1, altitude},
    {&Section::LogHeading, 1, heading},
    {&Section::LogGroundSpeed, 1, groundSpeed},
    {&Section::LogTotalSpeed, 1, trueAirspeed},
    {&Section::LogIndicatedSpeed, 1, indicatedAirspeed},
    {&Section::LogWinds, 2, winds},
    {&Section::LogFuelOnBoard, 1, fuelOnBoard},
    {&Section::LogFuelFlow, 1, fuelFlow},
    {&Section::LogEndurance, 1, endurance},
    {&Section::LogFlightTime, 1, flightTime},
    {&Section::LogFlightLength, 1, flightLength},
    {&Section::LogPlaneWeight, 1, weight},
};

}  // namespace

// One row of the dump: each column is written as it is read; a column the update could
// not reach is left empty, so every row has as many fields as the settings ask for.
class FlightInfoDump::Row {
  public:
    // Not writing: the update only fills the views.
    Row() = default;
    // A row of the file: its number, then as many fields as the settings ask for.
    Row(int number, const config::FlightInfoSection& f)
        : settings_(&f), text_(format("%d,", number)) {
        for (const Column& column : kColumns) pending_ += wanted(column) ? column.fields : 0;
    }
    void add(const Column& column, const std::string& fields) {
        if (!wanted(column)) return;
        text_ +=
            fields.empty() ? std::string(static_cast<std::size_t>(column.fields), ',') : fields;
        pending_ -= column.fields;
    }
    bool writing() const { return settings_ != nullptr; }
    // The text with the commas of the columns never reached.
    std::string finish() {
        text_.append(static_cast<std::size_t>(std::max(pending_, 0)), ',');
        return text_ + "\r\n";
    }

  private:
    bool wanted(const Column& column) const {
        return settings_ != nullptr && column.logged != nullptr && settings_->*column.logged;
    }

    const config::FlightInfoSection* settings_ = nullptr;
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

void FlightInfoDump::resume(int rowCount) {
    // Appended to: the rows before the restart are the flight's too.
    file_.reset(std::fopen(localPath(c_.workDir, c_.settings.flightInfo.LogPath).c_str(), "ab"));
    on_ = true;
    rowCounter_ = rowCount;
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
    Reading reading{c_.link,      c_.window.results(), c_.progress,
                    c_.departure, c_.arrival,          c_.kilograms()};
    for (const Column& column : kColumns) {
        const auto fields = column.fill(reading);
        if (!fields) return;
        row.add(column, *fields);
    }
}

}  // namespace aviolog::recorder
