#include "platform/posix/operator_input.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>

namespace aviolog::platform::posix {

namespace {

// A line longer than this is no command: what has gathered is dropped.
constexpr std::size_t kMaxPendingBytes = 4096;

}  // namespace

OperatorInput::OperatorInput(EventLoop& loop, std::function<void(const std::string&)> onLine)
    : loop_(loop), onLine_(std::move(onLine)) {
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
    for (;;) {
        const ssize_t got = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (got > 0) {
            pending_.append(buffer, static_cast<std::size_t>(got));
            continue;
        }
        if (got < 0 && (errno == EAGAIN || errno == EINTR)) break;
        loop_.unwatch(STDIN_FILENO);
        watching_ = false;
        break;
    }
    for (std::size_t eol; (eol = pending_.find('\n')) != std::string::npos;) {
        std::string line = pending_.substr(0, eol);
        pending_.erase(0, eol + 1);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        onLine_(line);
    }
    if (pending_.size() > kMaxPendingBytes) pending_.clear();
}

}  // namespace aviolog::platform::posix
