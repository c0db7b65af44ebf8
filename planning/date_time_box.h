#pragma once

#include <optional>

#include "model/flight_record.h"

namespace aviolog::simlink {
class SimLink;
}

namespace aviolog::planning {

struct BoxDate {
    int year = 0;
    int month = 0;
    int day = 0;
    bool operator==(const BoxDate&) const = default;
};

// The simulator's clock as the date and time page reads it. The zone offset is minutes
// behind UTC, as the simulator serves it.
struct SimulatorClock {
    int year = 0;
    int dayOfYear = 0;
    int utcHour = 0;
    int utcMinute = 0;
    int localHour = 0;
    int localMinute = 0;
    int offsetMinutes = 0;
};

// The clock in one exchange; nothing when the exchange failed.
std::optional<SimulatorClock> readSimulatorClock(simlink::SimLink& link);

// The form's date and time box: categories "UTC" and "Local", each with a date and a
// time. The simulator's clock fills it; an edit of one row makes the other category
// follow. The zone offset is the simulator's: minutes behind UTC (UTC = local + offset),
// so Lisbon in summer is -60 and New York in winter +300.
class DateTimeBox {
  public:
    // What the simulator's clock shows; sets no flag.
    void fill(BoxDate utcDate, int utcHour, int utcMinute, BoxDate localDate, int localHour,
              int localMinute, int offsetMinutes);
    // What the simulator's clock shows, the local date worked out from the UTC date: a
    // day later or earlier when the UTC time moved by the offset crosses midnight.
    void fill(const SimulatorClock& clock);

    // The pilot's edits. A date is copied to the other date; a time is converted with the
    // offset, and the other date moves by a day when the conversion crosses midnight.
    // Values outside the calendar or the clock are refused (false) and change nothing.
    bool editUtcDate(BoxDate date);
    bool editLocalDate(BoxDate date);
    bool editUtcTime(int hour, int minute);
    bool editLocalTime(int hour, int minute);

    // Whether the simulator's clock has filled the box yet.
    bool filled() const { return filled_; }
    BoxDate utcDate() const { return utcDate_; }
    BoxDate localDate() const { return localDate_; }
    int offsetMinutes() const { return offsetMinutes_; }
    // What the log start reads: both times, both dates, and the flags.
    const model::DateTimeBox& box() const { return box_; }

  private:
    void publish();

    BoxDate utcDate_;
    BoxDate localDate_;
    int offsetMinutes_ = 0;
    bool filled_ = false;
    model::DateTimeBox box_;
};

// The date moved by whole days across months and years.
BoxDate shiftDays(BoxDate date, int days);
bool isValidDate(BoxDate date);

}  // namespace aviolog::planning
