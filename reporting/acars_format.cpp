#include "reporting/acars_format.h"

#include <cmath>
#include <cstdlib>

#include "common/text_format.h"
#include "common/units.h"

namespace aviolog::reporting {
namespace {

constexpr const char* kDateLine = "[%02d-%02d-%02d %02d:%02d]\n";
constexpr const char* kAircraftLine = "ACARS mode: C Aircraft reg: %s [%s %s]\n";
constexpr const char* kLabelLine = "Message Label: %s Block id: %02d MSg. no: M%02dA\n";
constexpr const char* kFlightLine = "Flight id: %s\n";
constexpr const char* kContentLine = "Message content: \n";
constexpr const char* kFormContentPrefix = "Message content: \xA3";
constexpr char kPound = '\xA3';  // the web form's line break

constexpr const char* kAltitude = "/ALT %02d ";
constexpr const char* kWind = "/WND %02d%02d ";
constexpr const char* kTemperature = "/TAT %02d /TAS %02d ";
constexpr const char* kPositionFuel = "/FOB %02d";
constexpr const char* kMetar = "METAR %s \n\n";
constexpr const char* kOut = "BLQ OFF %02d:%02d /FOB %02d /TAW %02d";
constexpr const char* kOff = "T/O %02d:%02d /FOB %02d /TOW %02d";
constexpr const char* kOffN1 = "/N1/1 %02d /N1/2 %02d";
constexpr const char* kOn = "LDG %02d:%02d /FOB %02d /LDW %02d";
constexpr const char* kIn = "BLK ON: %02d:%02d /FOB %02d /TFB %02d ";
constexpr const char* kInTimes = "/BBT %02d:%02d /FT %02d%02d ";

// Lines of a text content: each line ends in a line feed and a blank line closes them;
// the form joins them with the pound byte.
AcarsContent lines(std::initializer_list<std::string> parts) {
    AcarsContent c;
    bool first = true;
    for (const std::string& part : parts) {
        c.text += part + "\n";
        if (!first) c.form += kPound;
        c.form += part;
        first = false;
    }
    c.text += "\n";
    return c;
}

}  // namespace

int weightIn(WeightUnit unit, double kg) {
    return unit == WeightUnit::Pounds ? static_cast<int>(kgToPounds(kg)) : static_cast<int>(kg);
}

std::string autoposLine(double latitudeDeg, double longitudeDeg) {
    // A position exactly on the equator or the prime meridian counts as north or east, so
    // that it still gets its line.
    const Dms lat = dms(latitudeDeg);
    const Dms lon = dms(longitudeDeg);
    return format(
        "AUTOPOS %c%02.0f\xBA %02.0f\xB4 %02.0f\xB4\xB4 %c%03.0f\xBA %02.0f\xB4 %02.0f\xB4\xB4 \n",
        latitudeDeg < 0.0 ? 'S' : 'N', lat.degrees, lat.minutes, lat.seconds,
        longitudeDeg < 0.0 ? 'W' : 'E', lon.degrees, lon.minutes, lon.seconds);
}

AcarsContent positionContent(const PositionValues& v, WeightUnit unit) {
    std::string position = autoposLine(v.latitudeDeg, v.longitudeDeg);
    const std::string altitude = format(kAltitude, v.altitudeFt);
    const std::string wind = format(kWind, v.windDirectionDeg, v.windSpeedKt);
    const std::string temperature = format(kTemperature, v.totalAirTemperatureC, v.trueAirspeedKt);
    const std::string fuel = format(kPositionFuel, v.fuel);

    AcarsContent c;
    c.text = position + altitude + "\n" + wind + temperature + "\n" + fuel + " \n\n";
    position.pop_back();  // its line feed
    c.form = position + kPound + altitude + kPound + wind + kPound + temperature + kPound + fuel;
    if (unit == WeightUnit::Pounds) c.form += ' ';
    return c;
}

AcarsContent metarContent(std::string_view metar) {
    const std::string text = format(kMetar, std::string(metar).c_str());
    return {text, text};
}

AcarsContent outContent(int hour, int minute, int fuel, int totalWeight) {
    return lines({format(kOut, hour, minute, fuel, totalWeight)});
}

AcarsContent offContent(int hour, int minute, int fuel, int takeOffWeight, int n1Engine1,
                        int n1Engine2) {
    return lines(
        {format(kOff, hour, minute, fuel, takeOffWeight), format(kOffN1, n1Engine1, n1Engine2)});
}

AcarsContent onContent(int hour, int minute, int fuel, int landingWeight) {
    return lines({format(kOn, hour, minute, fuel, landingWeight)});
}

AcarsContent inContent(int hour, int minute, int fuel, int fuelBurnt, int blockHours,
                       int blockMinutes, int flightHours, int flightMinutes) {
    return lines({format(kIn, hour, minute, fuel, fuelBurnt),
                  format(kInTimes, blockHours, blockMinutes, flightHours, flightMinutes)});
}

AcarsContent freeTextContent(std::string_view text) {
    return {std::string(text) + "\n\n", std::string(text)};
}

AcarsMessage composeAcars(const AcarsHeader& h, const AcarsContent& content) {
    const std::string date = format(kDateLine, h.day, h.month, h.year, h.utcHour, h.utcMinute);
    const std::string aircraft = format(kAircraftLine, h.registration.c_str(),
                                        h.aircraftType.c_str(), h.companyIcao.c_str());
    const std::string label =
        format(kLabelLine, h.label.c_str(), int{h.blockId}, int{h.messageNumber});
    const std::string flight = format(kFlightLine, h.flightNumber.c_str());

    auto withoutLineFeed = [](const std::string& line) { return line.substr(0, line.size() - 1); };
    AcarsMessage m;
    m.text = date + aircraft + label + flight + kContentLine + content.text;
    m.form.dttm = withoutLineFeed(date);
    m.form.acftreg = withoutLineFeed(aircraft);
    m.form.mlabel = h.label == "16" ? label : withoutLineFeed(label);
    m.form.fltnum = withoutLineFeed(flight);
    m.form.mcontent = kFormContentPrefix + content.form;
    return m;
}

}  // namespace aviolog::reporting
