#pragma once

// The ACARS messages as texts: the multi-line text of the journal and the views, and the
// one-line web form of the VA's ACARS script, built from the same values.

#include <cstdint>
#include <string>
#include <string_view>

#include "common/units.h"

namespace aviolog::reporting {

inline constexpr std::size_t kAcarsTextLimit = 400;

// What the first four lines of every message show.
struct AcarsHeader {
    int day = 0;
    int month = 0;
    int year = 0;
    int utcHour = 0;
    int utcMinute = 0;
    std::string registration;
    std::string aircraftType;
    std::string companyIcao;
    std::string flightNumber;
    std::string label;  // "16", "QA", "QB", "QC" or "QD"
    std::uint16_t blockId = 0;
    std::uint16_t messageNumber = 0;
};

// The content of one message in both forms.
struct AcarsContent {
    std::string text;  // its lines, each ending in a line feed, then a blank line
    std::string form;  // as the "mcontent" value carries it after its own prefix
};

// The web form's values, unencoded.
struct AcarsForm {
    std::string dttm;
    std::string acftreg;
    std::string mlabel;
    std::string fltnum;
    std::string mcontent;
};

struct AcarsMessage {
    std::string text;
    AcarsForm form;
};

// The position report's values as read from the simulator, converted.
struct PositionValues {
    double latitudeDeg = 0.0;   // north positive
    double longitudeDeg = 0.0;  // east positive
    int altitudeFt = 0;
    int windDirectionDeg = 0;
    int windSpeedKt = 0;
    int totalAirTemperatureC = 0;
    int trueAirspeedKt = 0;
    int fuel = 0;  // in the company's unit
};

// "AUTOPOS N38º 46´ 12´´ W009º 07´ 48´´ " and its line feed.
std::string autoposLine(double latitudeDeg, double longitudeDeg);

AcarsContent positionContent(const PositionValues& v, WeightUnit unit);
AcarsContent metarContent(std::string_view metar);
// Times are the event's; weights in the company's unit.
AcarsContent outContent(int hour, int minute, int fuel, int totalWeight);
AcarsContent offContent(int hour, int minute, int fuel, int takeOffWeight, int n1Engine1,
                        int n1Engine2);
AcarsContent onContent(int hour, int minute, int fuel, int landingWeight);
AcarsContent inContent(int hour, int minute, int fuel, int fuelBurnt, int blockHours,
                       int blockMinutes, int flightHours, int flightMinutes);
AcarsContent freeTextContent(std::string_view text);

// The whole message. Label 16 keeps the line feed of its label line in the form, the
// others lose the line feeds of all four lines.
AcarsMessage composeAcars(const AcarsHeader& header, const AcarsContent& content);

// A weight given in kilograms, in the company's unit, truncated.
int weightIn(WeightUnit unit, double kg);

}  // namespace aviolog::reporting
