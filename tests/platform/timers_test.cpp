#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <functional>
#include <utility>
#include <vector>

#include "platform/posix/event_loop.h"
#include "platform/virtual/virtual_scheduler.h"

namespace aviolog {
namespace {

class Recorder final : public platform::TimerSink {
  public:
    explicit Recorder(std::function<void(int)> onFire = {}) : onFire_(std::move(onFire)) {}
    void onTimer(int id) override {
        fired.push_back(id);
        if (onFire_) onFire_(id);
    }
    std::vector<int> fired;

  private:
    std::function<void(int)> onFire_;
};

TEST(VirtualScheduler, FiresDueTimersInOrderAndStepsTheWorld) {
    platform::VirtualScheduler clock;
    std::int64_t worldMs = 0;
    clock.setWorld([&](std::int64_t ms) { worldMs += ms; });
    Recorder sink;
    clock.setTimerSink(&sink);
    clock.start(1, 1000);
    clock.start(4, 100);
    clock.start(3, 2000);
    clock.runFor(2000);
    ASSERT_EQ(sink.fired.size(), 20u + 2u + 1u);
    EXPECT_EQ(std::count(sink.fired.begin(), sink.fired.end(), 4), 20);
    // Timers due together fire longest-waiting first.
    EXPECT_EQ(sink.fired[9], 1);
    EXPECT_EQ(sink.fired[10], 4);
    const std::vector<int> atTwoSeconds(sink.fired.end() - 3, sink.fired.end());
    EXPECT_EQ(atTwoSeconds, (std::vector<int>{3, 1, 4}));
    EXPECT_EQ(worldMs, 2000);
    EXPECT_EQ(clock.nowMs(), 2000);
}

TEST(VirtualScheduler, ASleepingHandlerDelaysTimersWhichThenFireOnce) {
    platform::VirtualScheduler clock;
    std::int64_t worldMs = 0;
    clock.setWorld([&](std::int64_t ms) { worldMs += ms; });
    bool slept = false;
    Recorder sink([&](int id) {
        if (id == 3 && !std::exchange(slept, true)) {
            clock.sleepMs(5000);  // a blocking exchange with a hung simulator
        }
    });
    clock.setTimerSink(&sink);
    clock.start(1, 1000);
    clock.start(3, 2500);
    clock.runFor(9500);
    // The handler of timer 3 holds everything up from 2.5 s to 7.5 s: timer 1 (due at 3 s)
    // and timer 3 itself (due at 5 s) then fire once each, and timer 1 keeps its beat.
    const std::vector<int> expected{1, 1, 3, 1, 3, 1, 1};
    EXPECT_EQ(sink.fired, expected);
    EXPECT_EQ(worldMs, clock.nowMs());
}

TEST(VirtualScheduler, StopAndRestartFromAHandler) {
    platform::VirtualScheduler clock;
    Recorder sink([&](int id) {
        if (id == 3) {
            clock.stop(3);
            clock.start(1, 500);
        }
    });
    clock.setTimerSink(&sink);
    clock.start(3, 2000);
    clock.runFor(3000);
    const std::vector<int> expected{3, 1, 1};
    EXPECT_EQ(sink.fired, expected);
    EXPECT_FALSE(clock.isRunning(3));
    EXPECT_EQ(clock.startCount(1), 1);
}

TEST(EventLoop, RunsTimersAndDescriptorsOnOneThread) {
    platform::posix::EventLoop loop;
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    int reads = 0;
    Recorder sink([&](int id) {
        if (id == 1 && sink.fired.size() == 2) {
            ASSERT_EQ(write(fds[1], "x", 1), 1);
        }
        if (id == 2) loop.quit();
    });
    loop.setTimerSink(&sink);
    loop.watch(fds[0], POLLIN, [&](short) {
        char c;
        ASSERT_EQ(read(fds[0], &c, 1), 1);
        ++reads;
        loop.unwatch(fds[0]);
    });
    loop.start(1, 5);
    loop.start(2, 60);
    loop.run();
    EXPECT_GE(std::count(sink.fired.begin(), sink.fired.end(), 1), 5);
    EXPECT_EQ(reads, 1);
    EXPECT_TRUE(loop.isRunning(1));
    loop.stop(1);
    EXPECT_FALSE(loop.isRunning(1));
    close(fds[0]);
    close(fds[1]);
}

// An operator's input may be a file or /dev/null, which no kernel wait list takes: such a
// descriptor is ready at once, as poll() has it, and a loop watching it never sleeps on it.
TEST(EventLoop, InputThatCannotBeWaitedForIsReadyAtOnce) {
    char path[] = "/tmp/aviolog-loop-XXXXXX";
    const int file = mkstemp(path);
    ASSERT_GE(file, 0);
    unlink(path);
    const int devNull = open("/dev/null", O_RDONLY);
    ASSERT_GE(devNull, 0);
    for (const int fd : {file, devNull}) {
        platform::posix::EventLoop loop;
        short seen = 0;
        loop.watch(fd, POLLIN, [&](short revents) { seen = revents; });
        loop.runOnce(5000);
        EXPECT_EQ(seen, POLLIN) << "descriptor " << fd;
        // Events 0: nothing asked for, nothing reported, no busy handler.
        seen = 0;
        loop.setEvents(fd, 0);
        loop.runOnce(0);
        EXPECT_EQ(seen, 0) << "descriptor " << fd;
        loop.unwatch(fd);
        close(fd);
    }
}

}  // namespace
}  // namespace aviolog
