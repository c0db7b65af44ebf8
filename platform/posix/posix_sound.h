#pragma once

#include <sys/types.h>

#include "platform/sound.h"

namespace aviolog::platform::posix {

// Plays through ALSA's aplay in a child process, so the user-interface thread never
// waits for audio; without aplay the warning is silent.
class PosixSound final : public Sound {
  public:
    ~PosixSound() override { stop(); }
    void playLoop(const std::string& path) override;
    void stop() override;
    void playOnce(const std::string& path) override;

  private:
    pid_t child_ = -1;
};

}  // namespace aviolog::platform::posix
