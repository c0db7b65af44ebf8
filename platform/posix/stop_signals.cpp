#include "platform/posix/stop_signals.h"

#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

namespace aviolog::platform::posix {

namespace {

sigset_t stopSet() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    return set;
}

}  // namespace

StopSignals::StopSignals() {
    const sigset_t set = stopSet();
    if (sigprocmask(SIG_BLOCK, &set, nullptr) != 0) return;
    blocked_ = true;
    fd_ = signalfd(-1, &set, SFD_CLOEXEC | SFD_NONBLOCK);
    if (fd_ < 0) {
        sigprocmask(SIG_UNBLOCK, &set, nullptr);
        blocked_ = false;
    }
}

StopSignals::~StopSignals() {
    received();  // a signal still waiting would otherwise end the process once unblocked
    if (fd_ >= 0) ::close(fd_);
    if (blocked_) {
        const sigset_t set = stopSet();
        sigprocmask(SIG_UNBLOCK, &set, nullptr);
    }
}

int StopSignals::received() {
    if (fd_ < 0) return received_;
    signalfd_siginfo info{};
    while (::read(fd_, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) ++received_;
    return received_;
}

}  // namespace aviolog::platform::posix
