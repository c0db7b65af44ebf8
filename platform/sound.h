#pragma once

#include <string>

namespace aviolog::platform {

// Plays WAV files for the pilot's attention.
class Sound {
  public:
    virtual ~Sound() = default;
    // Plays the file over and over until stop(); a file that cannot be played is silent.
    virtual void playLoop(const std::string& path) = 0;
    virtual void stop() = 0;
    // Plays the file once, without waiting for it and without stopping a loop.
    virtual void playOnce(const std::string& path) = 0;
};

}  // namespace aviolog::platform
