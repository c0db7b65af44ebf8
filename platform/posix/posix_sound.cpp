#include "platform/posix/posix_sound.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

namespace aviolog::platform::posix {

void PosixSound::playLoop(const std::string& path) {
    stop();
    const pid_t pid = fork();
    if (pid < 0) return;
    if (pid == 0) {
        setpgid(0, 0);
        // The loop ends by itself when aplay is missing or cannot play the file.
        execl("/bin/sh", "sh", "-c", "while aplay -q -- \"$0\" 2>/dev/null; do :; done",
              path.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    setpgid(pid, pid);
    child_ = pid;
}

void PosixSound::stop() {
    if (child_ <= 0) return;
    kill(-child_, SIGTERM);
    waitpid(child_, nullptr, 0);
    child_ = -1;
}

}  // namespace aviolog::platform::posix
