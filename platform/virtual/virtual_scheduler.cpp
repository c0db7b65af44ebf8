#include "platform/virtual/virtual_scheduler.h"

#include <algorithm>

namespace aviolog::platform {

namespace {

platform::CivilTime civil(std::time_t t, std::int64_t ms) {
    std::tm tm{};
    gmtime_r(&t, &tm);
    return {
        tm.tm_year + 1900,           tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec,
        static_cast<int>(ms % 1000), tm.tm_wday};
}

}  // namespace

VirtualScheduler::VirtualScheduler(std::time_t startUtc, int zoneBiasMinutes)
    : startUtc_(startUtc), zoneBiasMinutes_(zoneBiasMinutes) {}

void VirtualScheduler::start(int id, int intervalMs) {
    const int interval = std::max(intervalMs, 1);
    timers_[id] = {interval, nowMs_ + interval, nextOrder_++};
    ++starts_[id];
}

void VirtualScheduler::stop(int id) {
    timers_.erase(id);
}

int VirtualScheduler::intervalOf(int id) const {
    const auto it = timers_.find(id);
    return it == timers_.end() ? 0 : it->second.intervalMs;
}

int VirtualScheduler::startCount(int id) const {
    const auto it = starts_.find(id);
    return it == starts_.end() ? 0 : it->second;
}

platform::CivilTime VirtualScheduler::utcTime() {
    return civil(startUtc_ + static_cast<std::time_t>(nowMs_ / 1000), nowMs_);
}

platform::CivilTime VirtualScheduler::localTime() {
    return civil(startUtc_ + static_cast<std::time_t>(nowMs_ / 1000) - zoneBiasMinutes_ * 60,
                 nowMs_);
}

void VirtualScheduler::passTime(std::int64_t ms) {
    if (ms <= 0) return;
    nowMs_ += ms;
    if (world_) world_(ms);
}

bool VirtualScheduler::fireNext(std::int64_t limitMs) {
    auto next = timers_.end();
    for (auto it = timers_.begin(); it != timers_.end(); ++it) {
        if (next == timers_.end() || it->second.dueMs < next->second.dueMs ||
            (it->second.dueMs == next->second.dueMs && it->second.order < next->second.order)) {
            next = it;
        }
    }
    if (next == timers_.end() || next->second.dueMs > limitMs) return false;
    const int id = next->first;
    passTime(next->second.dueMs - nowMs_);
    // A timer that fell behind (a handler slept) fires once and keeps its beat.
    while (next->second.dueMs <= nowMs_) next->second.dueMs += next->second.intervalMs;
    next->second.order = nextOrder_++;
    if (sink_ != nullptr) sink_->onTimer(id);
    return true;
}

void VirtualScheduler::runFor(std::int64_t ms) {
    const std::int64_t end = nowMs_ + ms;
    while (fireNext(end)) {
    }
    passTime(end - nowMs_);
}

bool VirtualScheduler::runUntil(const std::function<bool()>& done, std::int64_t limitMs) {
    const std::int64_t end = nowMs_ + limitMs;
    while (!done()) {
        if (!fireNext(end)) {
            passTime(end - nowMs_);
            return done();
        }
    }
    return true;
}

}  // namespace aviolog::platform
