#include "platform/posix/event_loop.h"

#include <poll.h>

#include <algorithm>
#include <cerrno>

#include "platform/posix/posix_util.h"

namespace aviolog::platform::posix {

void EventLoop::start(int id, int intervalMs) {
    const int interval = std::max(intervalMs, 1);
    timers_[id] = {interval, monotonicNowMs() + interval};
}

void EventLoop::stop(int id) {
    timers_.erase(id);
}

bool EventLoop::isRunning(int id) const {
    return timers_.contains(id);
}

void EventLoop::watch(int fd, short events, FdHandler handler) {
    watches_[fd] = {events, std::move(handler)};
}

void EventLoop::setEvents(int fd, short events) {
    if (auto it = watches_.find(fd); it != watches_.end()) it->second.events = events;
}

void EventLoop::unwatch(int fd) {
    watches_.erase(fd);
}

void EventLoop::run() {
    quit_ = false;
    while (!quit_) runOnce(1000);
}

void EventLoop::fireDueTimers() {
    // Like window timers, a late timer fires once and keeps its beat.
    const std::int64_t now = monotonicNowMs();
    std::vector<int> due;
    for (const auto& [id, timer] : timers_) {
        if (timer.dueMs <= now) due.push_back(id);
    }
    for (const int id : due) {
        auto it = timers_.find(id);
        if (it == timers_.end() || it->second.dueMs > now) continue;  // stopped or restarted
        // Measured when the handler starts: the earlier handlers of this round count.
        maxLateMs_ = std::max(maxLateMs_, monotonicNowMs() - it->second.dueMs);
        while (it->second.dueMs <= now) it->second.dueMs += it->second.intervalMs;
        if (sink_ != nullptr) sink_->onTimer(id);
        if (quit_) return;
    }
}

void EventLoop::runOnce(int maxWaitMs) {
    std::int64_t waitMs = maxWaitMs;
    const std::int64_t now = monotonicNowMs();
    for (const auto& [id, timer] : timers_) waitMs = std::min(waitMs, timer.dueMs - now);
    waitMs = std::max<std::int64_t>(waitMs, 0);

    // Its storage is kept between rounds: a server answers every request from here, and
    // an allocation per round is a cost of every exchange. Taken out while in use, so a
    // handler that runs a round of its own gets a vector of its own.
    std::vector<pollfd> fds = std::move(pollFds_);
    fds.clear();
    for (const auto& [fd, w] : watches_) fds.push_back({fd, w.events, 0});
    const int ready = ::poll(fds.data(), fds.size(), static_cast<int>(waitMs));
    if (ready > 0) {
        for (const pollfd& p : fds) {
            if (p.revents == 0) continue;
            // A handler may have unwatched this or another descriptor meanwhile.
            auto it = watches_.find(p.fd);
            if (it == watches_.end()) continue;
            FdHandler handler = it->second.handler;
            handler(p.revents);
            if (quit_) return;
        }
    }
    pollFds_ = std::move(fds);
    fireDueTimers();
}

}  // namespace aviolog::platform::posix
