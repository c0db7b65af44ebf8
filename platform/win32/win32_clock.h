#pragma once

#include "platform/clock.h"

namespace aviolog::platform::win32 {

class Win32Clock final : public Clock {
  public:
    std::int64_t monotonicMs() override;
    CivilTime utcTime() override;
    CivilTime localTime() override;
    int zoneBiasMinutes() override;
    void sleepMs(int ms) override;
};

}  // namespace aviolog::platform::win32
