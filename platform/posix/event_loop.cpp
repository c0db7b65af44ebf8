#include "platform/posix/event_loop.h"

#include <sys/epoll.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <vector>

#include "platform/posix/posix_util.h"

namespace aviolog::platform::posix {

namespace {

// The poll event bits and epoll's have the same values on Linux.
static_assert(POLLIN == EPOLLIN && POLLOUT == EPOLLOUT && POLLRDHUP == EPOLLRDHUP &&
              POLLHUP == EPOLLHUP && POLLERR == EPOLLERR && POLLPRI == EPOLLPRI);

epoll_event eventFor(int fd, short events) {
    epoll_event e{};
    e.events = static_cast<std::uint16_t>(events);
    e.data.fd = fd;
    return e;
}

}  // namespace

EventLoop::EventLoop() : epollFd_(::epoll_create1(EPOLL_CLOEXEC)) {}

EventLoop::~EventLoop() {
    if (epollFd_ >= 0) ::close(epollFd_);
}

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
    unwatch(fd);
    Watch w{events, std::move(handler)};
    epoll_event e = eventFor(fd, events);
    if (::epoll_ctl(epollFd_, EPOLL_CTL_ADD, fd, &e) != 0) {
        // A descriptor closed without unwatch left the kernel's list by itself, so the
        // only refusal left is a descriptor that cannot be waited for.
        w.alwaysReady = errno == EPERM;
        if (!w.alwaysReady) return;
        ++alwaysReadyCount_;
    }
    watches_.emplace(fd, std::move(w));
}

void EventLoop::setEvents(int fd, short events) {
    auto it = watches_.find(fd);
    if (it == watches_.end()) return;
    it->second.events = events;
    if (it->second.alwaysReady) return;
    epoll_event e = eventFor(fd, events);
    ::epoll_ctl(epollFd_, EPOLL_CTL_MOD, fd, &e);
}

void EventLoop::unwatch(int fd) {
    auto it = watches_.find(fd);
    if (it == watches_.end()) return;
    if (it->second.alwaysReady) --alwaysReadyCount_;
    watches_.erase(it);
    // Fails harmlessly when the descriptor is already closed.
    ::epoll_ctl(epollFd_, EPOLL_CTL_DEL, fd, nullptr);
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
    if (!timers_.empty()) {
        const std::int64_t now = monotonicNowMs();
        for (const auto& [id, timer] : timers_) waitMs = std::min(waitMs, timer.dueMs - now);
        waitMs = std::max<std::int64_t>(waitMs, 0);
    }

    if (alwaysReadyCount_ > 0) waitMs = 0;

    // On the stack: a handler that runs a round of its own gets events of its own.
    std::array<epoll_event, 16> events;
    int ready = ::epoll_wait(epollFd_, events.data(), static_cast<int>(events.size()),
                             static_cast<int>(waitMs));
    ready = std::max(ready, 0);
    if (alwaysReadyCount_ > 0) {
        for (const auto& [fd, w] : watches_) {
            const auto wanted = static_cast<std::uint32_t>(w.events & (POLLIN | POLLOUT));
            if (w.alwaysReady && wanted != 0 && ready < static_cast<int>(events.size())) {
                events[static_cast<std::size_t>(ready++)] =
                    eventFor(fd, static_cast<short>(wanted));
            }
        }
    }
    for (int i = 0; i < ready; ++i) {
        // A handler may have unwatched this or another descriptor meanwhile.
        auto it = watches_.find(events[i].data.fd);
        if (it == watches_.end()) continue;
        FdHandler handler = it->second.handler;
        handler(static_cast<short>(events[i].events));
        if (quit_) return;
    }
    if (!timers_.empty()) fireDueTimers();
}

}  // namespace aviolog::platform::posix
