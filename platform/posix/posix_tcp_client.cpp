#include "platform/posix/posix_tcp_client.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <limits>

#include "platform/posix/posix_util.h"

namespace aviolog::platform::posix {
namespace {

// Milliseconds left until the deadline, never negative; poll takes an int.
int remainingMs(Clock& clock, std::int64_t deadlineMs) {
    const std::int64_t left = deadlineMs - clock.monotonicMs();
    if (left <= 0) return 0;
    return left > std::numeric_limits<int>::max() ? std::numeric_limits<int>::max()
                                                  : static_cast<int>(left);
}

// Polls until the event arrives or the deadline passes; 1 ready, 0 timed out, -1 error.
int waitFor(Clock& clock, int fd, short events, std::int64_t deadlineMs) {
    for (;;) {
        pollfd entry{fd, events, 0};
        const int ready = ::poll(&entry, 1, remainingMs(clock, deadlineMs));
        if (ready > 0) return 1;
        if (ready == 0) {
            if (clock.monotonicMs() >= deadlineMs) return 0;
            continue;
        }
        if (errno != EINTR) return -1;
    }
}

class PosixTcpStream final : public TcpStream {
  public:
    PosixTcpStream(Clock& clock, int fd) : clock_(clock), fd_(fd) {}

    bool sendAll(std::string_view bytes, int timeoutMs) override {
        const std::int64_t deadline = clock_.monotonicMs() + timeoutMs;
        while (!bytes.empty()) {
            const int ready = waitFor(clock_, fd_.get(), POLLOUT, deadline);
            if (ready == 0) return fail(ETIMEDOUT);
            if (ready < 0) return fail(errno);
            const ssize_t sent = ::send(fd_.get(), bytes.data(), bytes.size(), MSG_NOSIGNAL);
            if (sent < 0) {
                if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) continue;
                return fail(errno);
            }
            bytes.remove_prefix(static_cast<std::size_t>(sent));
        }
        return true;
    }

    ReceiveResult receive(std::string& appendTo, std::size_t maxBytes, int timeoutMs) override {
        const std::int64_t deadline = clock_.monotonicMs() + timeoutMs;
        for (;;) {
            const int ready = waitFor(clock_, fd_.get(), POLLIN, deadline);
            if (ready == 0) {
                error_ = socketErrorCode(ETIMEDOUT);
                return ReceiveResult::TimedOut;
            }
            if (ready < 0) {
                error_ = socketErrorCode(errno);
                return ReceiveResult::Failed;
            }
            const std::size_t before = appendTo.size();
            appendTo.resize(before + maxBytes);
            const ssize_t got = ::recv(fd_.get(), appendTo.data() + before, maxBytes, 0);
            appendTo.resize(before + (got > 0 ? static_cast<std::size_t>(got) : 0));
            if (got > 0) return ReceiveResult::Data;
            if (got == 0) {
                error_ = socket_error::kConnectionReset;
                return ReceiveResult::Closed;
            }
            if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) continue;
            error_ = socketErrorCode(errno);
            return ReceiveResult::Failed;
        }
    }

    int error() const override { return error_; }

  private:
    bool fail(int errnoValue) {
        error_ = socketErrorCode(errnoValue);
        return false;
    }

    Clock& clock_;
    Descriptor fd_;
    int error_ = 0;
};

// A non-blocking connect bounded by the deadline; 0 or the errno of the failure.
int connectWithin(Clock& clock, int fd, const sockaddr* address, socklen_t length,
                  std::int64_t deadlineMs) {
    if (::connect(fd, address, length) == 0) return 0;
    if (errno != EINPROGRESS && errno != EINTR) return errno;
    const int ready = waitFor(clock, fd, POLLOUT, deadlineMs);
    if (ready == 0) return ETIMEDOUT;
    if (ready < 0) return errno;
    int failure = 0;
    socklen_t size = sizeof failure;
    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &failure, &size) != 0) return errno;
    return failure;
}

bool localSockaddr(const std::string& text, int family, sockaddr_storage* out, socklen_t* length) {
    *out = {};
    if (family == AF_INET) {
        auto* v4 = reinterpret_cast<sockaddr_in*>(out);
        v4->sin_family = AF_INET;
        *length = sizeof *v4;
        return ::inet_pton(AF_INET, text.c_str(), &v4->sin_addr) == 1;
    }
    auto* v6 = reinterpret_cast<sockaddr_in6*>(out);
    v6->sin6_family = AF_INET6;
    *length = sizeof *v6;
    return ::inet_pton(AF_INET6, text.c_str(), &v6->sin6_addr) == 1;
}

}  // namespace

int socketErrorCode(int errnoValue) {
    switch (errnoValue) {
        case ETIMEDOUT:
            return socket_error::kTimedOut;
        case ECONNREFUSED:
            return socket_error::kConnectionRefused;
        case ECONNRESET:
        case EPIPE:
            return socket_error::kConnectionReset;
        case EADDRNOTAVAIL:
            return socket_error::kAddressNotAvailable;
        case EADDRINUSE:
            return 10048;
        case ENETUNREACH:
            return 10051;
        case EHOSTUNREACH:
            return 10065;
        case EACCES:
            return 10013;
        case EMSGSIZE:
            return socket_error::kMessageTooLong;
        case EAFNOSUPPORT:
            return 10047;
        case EMFILE:
        case ENFILE:
            return 10024;
        default:
            return errnoValue;
    }
}

AddressList streamAddresses(const std::string& host, int port, int family) {
    addrinfo hints{};
    hints.ai_family = family;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(port);
    if (::getaddrinfo(host.c_str(), service.c_str(), &hints, &found) != 0) found = nullptr;
    return {found, ::freeaddrinfo};
}

ConnectResult PosixTcpConnector::connect(const std::string& host, int port,
                                         const std::string& localAddress, int timeoutMs) {
    const std::int64_t deadline = clock_.monotonicMs() + timeoutMs;
    const AddressList addresses = streamAddresses(host, port);
    if (!addresses) return {nullptr, ConnectStep::Connect, socket_error::kHostNotFound};

    ConnectResult result{nullptr, ConnectStep::Connect, socket_error::kHostNotFound};
    for (const addrinfo* a = addresses.get(); a != nullptr; a = a->ai_next) {
        sockaddr_storage local{};
        socklen_t localLength = 0;
        if (!localAddress.empty() &&
            !localSockaddr(localAddress, a->ai_family, &local, &localLength)) {
            result = {nullptr, ConnectStep::Connect, socket_error::kAddressNotAvailable};
            continue;
        }
        Descriptor fd(
            ::socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol));
        if (fd.get() < 0) {
            result = {nullptr, ConnectStep::CreateSocket, socketErrorCode(errno)};
            continue;
        }
        if (!localAddress.empty() &&
            ::bind(fd.get(), reinterpret_cast<const sockaddr*>(&local), localLength) != 0) {
            result = {nullptr, ConnectStep::Connect, socketErrorCode(errno)};
            continue;
        }
        const int failure = connectWithin(clock_, fd.get(), a->ai_addr, a->ai_addrlen, deadline);
        if (failure != 0) {
            result = {nullptr, ConnectStep::Connect, socketErrorCode(failure)};
            continue;
        }
        // Commands and their replies are short writes answered at once; waiting to merge
        // them (Nagle against the peer's delayed ACK) would add tens of milliseconds each.
        const int on = 1;
        ::setsockopt(fd.get(), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        return {std::make_unique<PosixTcpStream>(clock_, fd.release()), ConnectStep::Done, 0};
    }
    return result;
}

std::string PosixTcpConnector::localHostName() {
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0 || name[0] == '\0') return "localhost";
    return name;
}

}  // namespace aviolog::platform::posix
