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

void PosixSound::playOnce(const std::string& path) {
    // A grandchild plays, so nobody has to wait for it: the child exits at once and is
    // reaped here.
    const pid_t pid = fork();
    if (pid < 0) return;
    if (pid == 0) {
        if (fork() == 0) {
            execl("/bin/sh", "sh", "-c", "aplay -q -- \"$0\" 2>/dev/null", path.c_str(),
                  static_cast<char*>(nullptr));
            _exit(127);
        }
        _exit(0);
    }
    waitpid(pid, nullptr, 0);
}

void PosixSound::stop() {
    if (child_ <= 0) return;
    kill(-child_, SIGTERM);
    waitpid(child_, nullptr, 0);
    child_ = -1;
}

}  // namespace aviolog::platform::posix
