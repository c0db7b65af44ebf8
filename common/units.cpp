#include "common/units.h"

#include <algorithm>
#include <cmath>

namespace aviolog {

namespace {
constexpr double kRadiansPerDegree = 0.01745329252;
constexpr double kEarthRadiusKm = 6371.0;
constexpr double kNmPerKm = 0.5399568;
}  // namespace

WeightUnit weightUnitFrom(std::string_view unitSystem) {
    return unitSystem.find("IS") != std::string_view::npos ? WeightUnit::Kilograms
                                                           : WeightUnit::Pounds;
}

long kgToPounds(double kg) {
    return static_cast<long>(kg * kPoundsPerKg);
}

long poundsToKg(double pounds) {
    return static_cast<long>(pounds * kKgPerPound);
}

double greatCircleNm(double lat1Deg, double lon1Deg, double lat2Deg, double lon2Deg) {
    const double phi1 = lat1Deg * kRadiansPerDegree;
    const double phi2 = lat2Deg * kRadiansPerDegree;
    const double dLambda = (lon1Deg - lon2Deg) * kRadiansPerDegree;
    const double c =
        std::cos(dLambda) * std::cos(phi1) * std::cos(phi2) + std::sin(phi1) * std::sin(phi2);
    // Rounding can push the cosine of two equal points just past 1, where acos is NaN.
    return std::acos(std::clamp(c, -1.0, 1.0)) * kEarthRadiusKm * kNmPerKm;
}

Dms dms(double angleDeg) {
    const double a = std::fabs(angleDeg);
    const double degrees = std::floor(a);
    const double minutesExact = (a - degrees) * 60.0;
    const double minutes = std::floor(minutesExact);
    return {degrees, minutes, std::floor((minutesExact - minutes) * 60.0)};
}

}  // namespace aviolog
