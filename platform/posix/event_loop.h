#pragma once

#include <poll.h>

#include <cstdint>
#include <functional>
#include <map>

#include "platform/timers.h"

namespace aviolog::platform::posix {

// A single-threaded loop of timers and file descriptors, the Linux stand-in for a
// window's message loop: handlers run one at a time on the thread that calls run().
class EventLoop final : public Timers {
  public:
    using FdHandler = std::function<void(short revents)>;

    EventLoop();
    ~EventLoop() override;
    EventLoop(const EventLoop&) = delete;
    EventLoop& operator=(const EventLoop&) = delete;

    void setTimerSink(TimerSink* sink) { sink_ = sink; }
    void start(int id, int intervalMs) override;
    void stop(int id) override;
    bool isRunning(int id) const override;

    // Watches fd for the poll events given; events 0 still reports hang-ups and errors.
    void watch(int fd, short events, FdHandler handler);
    void setEvents(int fd, short events);
    void unwatch(int fd);

    // Runs until quit() is called from a handler.
    void run();
    void quit() { quit_ = true; }
    // Waits at most maxWaitMs for one round of due timers and ready descriptors.
    void runOnce(int maxWaitMs);
    // The most any timer has fired after its due time so far.
    std::int64_t maxLateMs() const { return maxLateMs_; }

  private:
    struct Timer {
        int intervalMs;
        std::int64_t dueMs;
    };
    struct Watch {
        short events;
        FdHandler handler;
        // Files and /dev/null cannot be waited for: like poll, they are always ready.
        bool alwaysReady = false;
    };
    void fireDueTimers();

    TimerSink* sink_ = nullptr;
    // The kernel keeps the watch list between rounds, so a server waiting for its next
    // request registers nothing anew: a round is one epoll_wait.
    int epollFd_;
    std::map<int, Timer> timers_;
    std::map<int, Watch> watches_;
    int alwaysReadyCount_ = 0;
    bool quit_ = false;
    std::int64_t maxLateMs_ = 0;
};

}  // namespace aviolog::platform::posix
