#pragma once

// Small helpers shared by the Linux implementations.

#include <sys/socket.h>
#include <sys/un.h>
#include <time.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace aviolog::platform::posix {

// A file descriptor closed with its owner.
class Descriptor {
  public:
    explicit Descriptor(int fd = -1) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }
    int release() {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }

  private:
    int fd_;
};

inline std::int64_t monotonicNowMs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

// The address of name in the abstract namespace: a NUL, then the name without a
// terminator, the length covering exactly those bytes. False when the name is too long.
inline bool abstractAddress(std::string_view name, sockaddr_un* addr, socklen_t* length) {
    *addr = {};
    addr->sun_family = AF_UNIX;
    if (name.empty() || name.size() + 1 > sizeof addr->sun_path) return false;
    std::memcpy(addr->sun_path + 1, name.data(), name.size());
    *length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name.size());
    return true;
}

}  // namespace aviolog::platform::posix
