#include "planning/date_time_box.h"

#include <chrono>
#include <cstdint>

#include "simlink/sim_time.h"
#include "simlink/sim_variables.h"

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
    filled_ = true;
    box_.utcHour = utcHour;
    box_.utcMinute = utcMinute;
    box_.localHour = localHour;
    box_.localMinute = localMinute;
    publish();
}

std::optional<SimulatorClock> readSimulatorClock(simlink::SimLink& link) {
    namespace var = wire::var;
    std::uint16_t dayOfYear = 0;
    std::uint16_t year = 0;
    std::uint8_t utcHour = 0;
    std::uint8_t utcMinute = 0;
    std::uint8_t localHour = 0;
    std::uint8_t localMinute = 0;
    std::int16_t offsetMinutes = 0;
    const bool read = simlink::ReadBatch(link)
                          .add(var::ZuluDayOfYear, dayOfYear)
                          .add(var::ZuluYear, year)
                          .add(var::ZuluHour, utcHour)
                          .add(var::ZuluMinute, utcMinute)
                          .add(var::LocalHour, localHour)
                          .add(var::LocalMinute, localMinute)
                          .add(var::LocalTimeOffset, offsetMinutes)
                          .process();
    if (!read) return std::nullopt;
    return SimulatorClock{year,      dayOfYear,   utcHour,      utcMinute,
                          localHour, localMinute, offsetMinutes};
}

void DateTimeBox::fill(const SimulatorClock& clock) {
    const simlink::CivilDate utc = simlink::dateFromDayOfYear(clock.year, clock.dayOfYear);
    const BoxDate utcDate{utc.year, utc.month, utc.day};
    // The local date follows from the UTC side: the local time read is only what the
    // clock shows, and moved by the offset it would land on the wrong day.
    const Converted local = convert(clock.utcHour * 60 + clock.utcMinute - clock.offsetMinutes);
    const BoxDate localDate = isValidDate(utcDate) ? shiftDays(utcDate, local.dayShift) : utcDate;
    fill(utcDate, clock.utcHour, clock.utcMinute, localDate, clock.localHour, clock.localMinute,
         clock.offsetMinutes);
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
    box_.utcYear = utcDate_.year;
    box_.utcMonth = utcDate_.month;
    box_.utcDay = utcDate_.day;
    box_.year = localDate_.year;
    box_.month = localDate_.month;
    box_.day = localDate_.day;
}

}  // namespace aviolog::planning
