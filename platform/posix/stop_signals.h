#pragma once

namespace aviolog::platform::posix {

// Ctrl-C and a polite kill (SIGINT, SIGTERM) as events rather than deaths: while the
// object lives the signals are held and read from a descriptor, so that the program ends
// its work in order and its owners release what they hold (the simulator link's shared
// memory block would otherwise stay in /dev/shm). Make it before any thread starts, so
// that every thread holds the signals too; the mask is restored when it dies.
class StopSignals {
  public:
    StopSignals();
    ~StopSignals();
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    // -1 when the descriptor could not be made: then the signals act as they always do.
    int fd() const { return fd_; }
    // The signals received so far (each read from the descriptor once).
    int received();

  private:
    int fd_ = -1;
    int received_ = 0;
    bool blocked_ = false;
};

}  // namespace aviolog::platform::posix
