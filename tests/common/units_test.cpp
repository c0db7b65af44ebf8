#include "common/units.h"

#include <gtest/gtest.h>

#include <cmath>

#include "common/log_line.h"
#include "common/text_format.h"

namespace aviolog {
namespace {

TEST(Units, GreatCircleDistance) {
    struct Row {
        const char* name;
        double lat1, lon1, lat2, lon2, expectedNm, toleranceNm;
    };
    const Row rows[] = {
        {"Lisbon to Porto", 38.7813, -9.1359, 41.2481, -8.6814, 149.57, 0.05},
        {"same point is zero, not NaN", 41.2481, -8.6814, 41.2481, -8.6814, 0.0, 1e-9},
        {"one degree of latitude", 0.0, 0.0, 1.0, 0.0, 60.04, 0.01},
        {"across the date line", 0.0, 179.5, 0.0, -179.5, 60.04, 0.01},
        {"antipodes", 0.0, 0.0, 0.0, 180.0, 10808.0, 1.0},
    };
    for (const Row& row : rows) {
        const double nm = greatCircleNm(row.lat1, row.lon1, row.lat2, row.lon2);
        EXPECT_FALSE(std::isnan(nm)) << row.name;
        EXPECT_NEAR(nm, row.expectedNm, row.toleranceNm) << row.name;
    }
}

TEST(Units, WeightUnitAndTruncatingConversions) {
    EXPECT_EQ(weightUnitFrom("IS"), WeightUnit::Kilograms);
    EXPECT_EQ(weightUnitFrom("SI/IS"), WeightUnit::Kilograms);
    EXPECT_EQ(weightUnitFrom("US"), WeightUnit::Pounds);
    EXPECT_EQ(weightUnitFrom("is"), WeightUnit::Pounds);
    EXPECT_EQ(weightUnitFrom(""), WeightUnit::Pounds);
    EXPECT_EQ(kgToPounds(1000), 2204);
    EXPECT_EQ(poundsToKg(1000), 453);
    EXPECT_EQ(poundsToKg(kgToPounds(1000)), 999);  // the constants are not exact inverses
    EXPECT_EQ(kgToPounds(-1), -2);                 // toward zero, not down
}

TEST(Units, LogLineAndFormat) {
    EXPECT_EQ(logLine(9, 5, "Gear Down"), "09:05  Gear Down\n");
    EXPECT_EQ(logLine(23, 59, "TOC\n"), "23:59  TOC\n");
    const std::string longText(1000, 'a');
    EXPECT_EQ(format("%s|%d", longText.c_str(), 7), longText + "|7");
    EXPECT_EQ(format("%02d:%02d", 4, 30), "04:30");
}

}  // namespace
}  // namespace aviolog
