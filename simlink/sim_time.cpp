#include "simlink/sim_time.h"

#include <algorithm>
#include <array>
#include <cstdint>

namespace aviolog::simlink {

namespace {
constexpr std::array<int, 12> kMonthDays{31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
constexpr double kHalfSecondDays = 5.787037037037037e-6;

int daysInMonth(int year, int month) {
    return month == 2 && isLeapYear(year) ? 29 : kMonthDays[month - 1];
}

// Days from 1970-01-01 (H. Hinnant's civil-date algorithm).
long daysFromCivil(int year, int month, int day) {
    const int y = year - (month <= 2 ? 1 : 0);
    const int era = (y >= 0 ? y : y - 399) / 400;
    const int yoe = y - era * 400;
    const int doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return static_cast<long>(era) * 146097 + doe - 719468;
}

constexpr long kOleEpochFrom1970 = -25569;  // 1899-12-30
}  // namespace

bool isLeapYear(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

CivilDate dateFromDayOfYear(int year, int dayOfYear) {
    int remaining = std::clamp(dayOfYear, 1, isLeapYear(year) ? 366 : 365);
    int month = 1;
    while (remaining > daysInMonth(year, month)) {
        remaining -= daysInMonth(year, month);
        ++month;
    }
    return {year, month, remaining};
}

int dayOfYear(const CivilDate& date) {
    int day = date.day;
    for (int m = 1; m < date.month && m <= 12; ++m) day += daysInMonth(date.year, m);
    return day;
}

double oleDays(const CivilDate& date, int hour, int minute) {
    const long days = daysFromCivil(date.year, date.month, date.day) - kOleEpochFrom1970;
    return static_cast<double>(days) + (hour * 60 + minute) / 1440.0;
}

HoursMinutes durationHoursMinutes(double days) {
    const double rounded = days + (days < 0 ? -kHalfSecondDays : kHalfSecondDays);
    return {static_cast<int>(static_cast<std::int64_t>(rounded * 24) % 24),
            static_cast<int>(static_cast<std::int64_t>(rounded * 1440) % 60)};
}

HoursMinutes hoursMinutesOf(int minutes) {
    const int m = std::max(minutes, 0);
    return {m / 60 % 24, m % 60};
}

}  // namespace aviolog::simlink
