#pragma once

#include <string_view>

namespace aviolog {

// Both constants are used exactly as written; they are deliberately not exact inverses,
// and stored logs and reports depend on the figures they produce.
inline constexpr double kPoundsPerKg = 2.20459;
inline constexpr double kKgPerPound = 0.45359908191545817;

enum class WeightUnit { Kilograms, Pounds };

// Kilogram mode when the unit-system setting contains "IS", pound mode otherwise.
WeightUnit weightUnitFrom(std::string_view unitSystem);

// The symbol the views put after a weight: "kg" or "lb".
inline const char* weightSymbol(WeightUnit unit) {
    return unit == WeightUnit::Kilograms ? "kg" : "lb";
}

// Conversions truncate toward zero, as every weight the program shows or stores does.
long kgToPounds(double kg);
long poundsToKg(double pounds);

// Great-circle distance in nautical miles between two points given in degrees.
double greatCircleNm(double lat1Deg, double lon1Deg, double lat2Deg, double lon2Deg);

// Degrees, minutes and seconds of an angle's absolute value, each rounded down, as the
// log's and the messages' positions show them.
struct Dms {
    double degrees;
    double minutes;
    double seconds;
};
Dms dms(double angleDeg);

}  // namespace aviolog
