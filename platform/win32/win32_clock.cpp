#include "platform/win32/win32_clock.h"

#include <windows.h>

namespace aviolog::platform::win32 {

namespace {

CivilTime civil(const SYSTEMTIME& t) {
    return {t.wYear,   t.wMonth,  t.wDay,          t.wHour,
            t.wMinute, t.wSecond, t.wMilliseconds, t.wDayOfWeek};
}

}  // namespace

std::int64_t Win32Clock::monotonicMs() {
    return static_cast<std::int64_t>(GetTickCount64());
}

CivilTime Win32Clock::utcTime() {
    SYSTEMTIME t;
    GetSystemTime(&t);
    return civil(t);
}

CivilTime Win32Clock::localTime() {
    SYSTEMTIME t;
    GetLocalTime(&t);
    return civil(t);
}

int Win32Clock::zoneBiasMinutes() {
    TIME_ZONE_INFORMATION zone;
    const DWORD kind = GetTimeZoneInformation(&zone);
    return static_cast<int>(zone.Bias + (kind == TIME_ZONE_ID_DAYLIGHT ? zone.DaylightBias : 0));
}

void Win32Clock::sleepMs(int ms) {
    Sleep(static_cast<DWORD>(ms < 0 ? 0 : ms));
}

}  // namespace aviolog::platform::win32
