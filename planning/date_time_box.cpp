#include "planning/date_time_box.h"

#include <chrono>

namespace aviolog::planning {

namespace {

constexpr int kMinutesPerDay = 1440;

std::chrono::year_month_day civil(BoxDate d) {
    return {std::chrono::year(d.year), std::chrono::month(static_cast<unsigned>(d.month)),
            std::chrono::day(static_cast<unsigned>(d.day))};
}

bool isValidTime(int hour, int minute) {
    return hour >= 0 && hour < 24 && minute >= 0 && minute < 60;
}

// The other side's minutes of the day, and by how many days its date differs.
struct Converted {
    int minutes;
    int dayShift;
};

Converted convert(int minutes) {
    int days = minutes / kMinutesPerDay;
    int rest = minutes % kMinutesPerDay;
    if (rest < 0) {
        rest += kMinutesPerDay;
        --days;
    }
    return {rest, days};
}

}  // namespace

BoxDate shiftDays(BoxDate date, int days) {
    const std::chrono::year_month_day moved{std::chrono::sys_days(civil(date)) +
                                            std::chrono::days(days)};
    return {int(moved.year()), static_cast<int>(unsigned(moved.month())),
            static_cast<int>(unsigned(moved.day()))};
}

bool isValidDate(BoxDate date) {
    return date.year >= 1 && date.year <= 9999 && civil(date).ok();
}

void DateTimeBox::fill(BoxDate utcDate, int utcHour, int utcMinute, BoxDate localDate,
                       int localHour, int localMinute, int offsetMinutes) {
    utcDate_ = utcDate;
    localDate_ = localDate;
    offsetMinutes_ = offsetMinutes;
    box_.utcHour = utcHour;
    box_.utcMinute = utcMinute;
    box_.localHour = localHour;
    box_.localMinute = localMinute;
    publish();
}

bool DateTimeBox::editUtcDate(BoxDate date) {
    if (!isValidDate(date)) return false;
    utcDate_ = localDate_ = date;
    box_.setDate = true;
    publish();
    return true;
}

bool DateTimeBox::editLocalDate(BoxDate date) {
    if (!isValidDate(date)) return false;
    utcDate_ = localDate_ = date;
    box_.setDate = true;
    publish();
    return true;
}

bool DateTimeBox::editUtcTime(int hour, int minute) {
    if (!isValidTime(hour, minute)) return false;
    box_.utcHour = hour;
    box_.utcMinute = minute;
    const Converted local = convert(hour * 60 + minute - offsetMinutes_);
    box_.localHour = local.minutes / 60;
    box_.localMinute = local.minutes % 60;
    if (isValidDate(utcDate_)) localDate_ = shiftDays(utcDate_, local.dayShift);
    box_.setDate = box_.setClock = true;
    publish();
    return true;
}

bool DateTimeBox::editLocalTime(int hour, int minute) {
    if (!isValidTime(hour, minute)) return false;
    box_.localHour = hour;
    box_.localMinute = minute;
    const Converted utc = convert(hour * 60 + minute + offsetMinutes_);
    box_.utcHour = utc.minutes / 60;
    box_.utcMinute = utc.minutes % 60;
    if (isValidDate(localDate_)) utcDate_ = shiftDays(localDate_, utc.dayShift);
    box_.setDate = box_.setClock = true;
    publish();
    return true;
}

void DateTimeBox::publish() {
    box_.year = localDate_.year;
    box_.month = localDate_.month;
    box_.day = localDate_.day;
}

}  // namespace aviolog::planning
