#pragma once

// The calendar of simulator clocks: proleptic Gregorian, UTC, whole seconds since
// 1970-01-01.

#include <cstdint>

namespace aviolog {

struct CivilDateTime {
    int year = 1970;
    int month = 1;
    int day = 1;
    int dayOfYear = 1;  // 1 = 1 January
    int hour = 0;
    int minute = 0;
    int second = 0;
};

std::int64_t daysFromCivil(int year, int month, int day);
CivilDateTime civilFromSeconds(std::int64_t secondsSinceEpoch);
bool isLeapYear(int year);

}  // namespace aviolog
