#include "platform/posix/posix_clock.h"

#include <cerrno>
#include <ctime>

#include "platform/posix/posix_util.h"

namespace aviolog::platform::posix {

namespace {

CivilTime civil(const std::tm& tm, long nanoseconds) {
    return {tm.tm_year + 1900,
            tm.tm_mon + 1,
            tm.tm_mday,
            tm.tm_hour,
            tm.tm_min,
            tm.tm_sec,
            static_cast<int>(nanoseconds / 1000000),
            tm.tm_wday};
}

}  // namespace

std::int64_t PosixClock::monotonicMs() {
    return monotonicNowMs();
}

CivilTime PosixClock::utcTime() {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    std::tm tm{};
    gmtime_r(&ts.tv_sec, &tm);
    return civil(tm, ts.tv_nsec);
}

CivilTime PosixClock::localTime() {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    std::tm tm{};
    localtime_r(&ts.tv_sec, &tm);
    return civil(tm, ts.tv_nsec);
}

int PosixClock::zoneBiasMinutes() {
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    return static_cast<int>(-tm.tm_gmtoff / 60);
}

void PosixClock::sleepMs(int ms) {
    if (ms <= 0) return;
    timespec left{ms / 1000, (ms % 1000) * 1000000L};
    while (nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
}

}  // namespace aviolog::platform::posix
