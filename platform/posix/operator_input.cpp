#include "platform/posix/operator_input.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace aviolog::platform::posix {

namespace {

// A line longer than this is no command: what has gathered is dropped.
constexpr std::size_t kMaxPendingBytes = 4096;

}  // namespace

bool OperatorInput::endOfInputEndsTheSession() {
    struct stat info {};
    if (::fstat(STDIN_FILENO, &info) != 0) return false;  // closed
    if (S_ISCHR(info.st_mode)) return ::isatty(STDIN_FILENO) == 1;
    return true;
}

OperatorInput::OperatorInput(EventLoop& loop, std::function<void(const std::string&)> onLine,
                             std::function<void()> onEnd)
    : loop_(loop), onLine_(std::move(onLine)), onEnd_(std::move(onEnd)) {
    const int flags = ::fcntl(STDIN_FILENO, F_GETFL);
    if (flags < 0) return;  // no standard input at all
    ::fcntl(STDIN_FILENO, F_SETFL, flags | O_NONBLOCK);
    loop_.watch(STDIN_FILENO, POLLIN, [this](short) { read(); });
    watching_ = true;
}

OperatorInput::~OperatorInput() {
    if (watching_) loop_.unwatch(STDIN_FILENO);
}

void OperatorInput::read() {
    char buffer[512];
    bool ended = false;
    for (;;) {
        const ssize_t got = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (got > 0) {
            pending_.append(buffer, static_cast<std::size_t>(got));
            continue;
        }
        if (got < 0 && (errno == EAGAIN || errno == EINTR)) break;
        loop_.unwatch(STDIN_FILENO);
        watching_ = false;
        ended = got == 0;
        break;
    }
    for (std::size_t eol; (eol = pending_.find('\n')) != std::string::npos;) {
        std::string line = pending_.substr(0, eol);
        pending_.erase(0, eol + 1);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        onLine_(line);
    }
    if (pending_.size() > kMaxPendingBytes) pending_.clear();
    if (!watching_ && !pending_.empty()) {
        // A script's last command without its line end is a command all the same.
        std::string line;
        line.swap(pending_);
        if (line.back() == '\r') line.pop_back();
        onLine_(line);
    }
    if (ended && onEnd_) onEnd_();
}

}  // namespace aviolog::platform::posix
