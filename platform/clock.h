#pragma once

#include <cstdint>

namespace aviolog::platform {

// A civil date and time, as the operating system reports it.
struct CivilTime {
    int year = 1970;
    int month = 1;  // 1..12
    int day = 1;    // 1..31
    int hour = 0;
    int minute = 0;
    int second = 0;
    int millisecond = 0;
    int dayOfWeek = 4;  // 0 = Sunday
};

// Wall time, independent of the simulator's clock: waits, time-outs and mail dates.
class Clock {
  public:
    virtual ~Clock() = default;

    // Milliseconds on a clock that never jumps; only differences mean anything.
    virtual std::int64_t monotonicMs() = 0;
    virtual CivilTime utcTime() = 0;
    virtual CivilTime localTime() = 0;
    // Minutes to add to local time to get UTC (west of Greenwich positive).
    virtual int zoneBiasMinutes() = 0;
    // Blocks the calling thread; the timers of the calling thread do not run meanwhile.
    virtual void sleepMs(int ms) = 0;
};

}  // namespace aviolog::platform
