#pragma once

namespace aviolog::platform {

// Receives the ticks of the timers started through Timers.
class TimerSink {
  public:
    virtual ~TimerSink() = default;
    virtual void onTimer(int id) = 0;
};

// Window timers: periodic, identified by a small integer, all run on one thread.
// Starting a running timer restarts it with the new interval.
class Timers {
  public:
    virtual ~Timers() = default;
    virtual void start(int id, int intervalMs) = 0;
    virtual void stop(int id) = 0;
    virtual bool isRunning(int id) const = 0;
};

}  // namespace aviolog::platform
