#pragma once

// The simulator's calendar: its day of the year as a date, dates and clock as
// OLE-automation days (whole days since 30 December 1899 plus the fraction of the day),
// and durations as the log shows them.

namespace aviolog::simlink {

struct CivilDate {
    int year = 0;
    int month = 0;
    int day = 0;
};

struct HoursMinutes {
    int hours = 0;
    int minutes = 0;
};

bool isLeapYear(int year);
// Month and day of a day of the year (1 = 1 January); days outside the year are taken
// as its first or last day.
CivilDate dateFromDayOfYear(int year, int dayOfYear);
int dayOfYear(const CivilDate& date);
double oleDays(const CivilDate& date, int hour, int minute);

// A duration in days as hours (modulo 24) and minutes, after rounding by half a second
// away from zero.
HoursMinutes durationHoursMinutes(double days);

// A duration in whole minutes as hours (modulo 24) and minutes; a negative one, which no
// flight has, as 00:00.
HoursMinutes hoursMinutesOf(int minutes);

}  // namespace aviolog::simlink
