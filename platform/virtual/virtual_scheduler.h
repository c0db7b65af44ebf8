#pragma once

#include <cstdint>
#include <ctime>
#include <functional>
#include <map>

#include "platform/clock.h"
#include "platform/timers.h"

namespace aviolog::platform {

// Timers and clock in simulated time. Running it fires due timers in order and steps
// the world (an in-process simulator) alongside, so hours of flight take milliseconds.
// A handler that sleeps (a wait inside an exchange) moves time and the world on without
// firing timers, as a blocked window thread would.
class VirtualScheduler final : public platform::Timers, public platform::Clock {
  public:
    // The wall clock starts at this UTC moment; local time is UTC minus the bias.
    explicit VirtualScheduler(std::time_t startUtc = 1083420000, int zoneBiasMinutes = 0);

    void setTimerSink(platform::TimerSink* sink) { sink_ = sink; }
    void setWorld(std::function<void(std::int64_t ms)> advance) { world_ = std::move(advance); }

    void start(int id, int intervalMs) override;
    void stop(int id) override;
    bool isRunning(int id) const override { return timers_.contains(id); }
    int intervalOf(int id) const;
    int startCount(int id) const;

    std::int64_t monotonicMs() override { return nowMs_; }
    platform::CivilTime utcTime() override;
    platform::CivilTime localTime() override;
    int zoneBiasMinutes() override { return zoneBiasMinutes_; }
    void sleepMs(int ms) override { passTime(ms); }

    // Runs ms of simulated time.
    void runFor(std::int64_t ms);
    // Runs until done() holds after a timer, or limitMs has passed; true when done.
    bool runUntil(const std::function<bool()>& done, std::int64_t limitMs);
    std::int64_t nowMs() const { return nowMs_; }

  private:
    struct Timer {
        int intervalMs;
        std::int64_t dueMs;
        std::uint64_t order;  // timers due together fire longest-waiting first
    };
    void passTime(std::int64_t ms);
    // Fires the earliest timer due by limitMs; false when none is.
    bool fireNext(std::int64_t limitMs);

    platform::TimerSink* sink_ = nullptr;
    std::function<void(std::int64_t)> world_;
    std::map<int, Timer> timers_;
    std::map<int, int> starts_;
    std::uint64_t nextOrder_ = 0;
    std::int64_t nowMs_ = 0;
    std::time_t startUtc_;
    int zoneBiasMinutes_;
};

}  // namespace aviolog::platform
