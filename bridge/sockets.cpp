#include "bridge/sockets.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <vector>

namespace aviolog::bridge {

namespace {

// Beyond this a peer that does not read is not a peer worth queueing for.
constexpr std::size_t kMaxQueuedBytes = 64 * 1024;
constexpr std::size_t kMaxLineBytes = 4096;
constexpr std::size_t kMaxDatagramBytes = 65536;

}  // namespace

std::optional<sockaddr_in> resolve(const std::string& host, int port) {
    if (port < 0 || port > 65535) return std::nullopt;  // 0: any free port
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    if (host.empty() || host == "*") {
        address.sin_addr.s_addr = htonl(INADDR_ANY);
        return address;
    }
    if (inet_pton(AF_INET, host.c_str(), &address.sin_addr) == 1) return address;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    addrinfo* found = nullptr;
    if (getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || found == nullptr) {
        return std::nullopt;
    }
    address.sin_addr = reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr;
    freeaddrinfo(found);
    return address;
}

std::string addressText(const sockaddr_in& address) {
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &address.sin_addr, text, sizeof text);
    return std::string(text) + ":" + std::to_string(ntohs(address.sin_port));
}

UdpSocket::UdpSocket(platform::posix::EventLoop& loop, Handler handler)
    : loop_(loop), handler_(std::move(handler)), buffer_(kMaxDatagramBytes) {}

UdpSocket::~UdpSocket() {
    if (fd_ >= 0) {
        loop_.unwatch(fd_);
        ::close(fd_);
    }
}

bool UdpSocket::bind(const sockaddr_in& address, bool reuse) {
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) return false;
    const int on = 1;
    if (reuse) ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        const int err = errno;
        ::close(fd);
        errno = err;
        return false;
    }
    fd_ = fd;
    loop_.watch(fd_, POLLIN, [this](short) { receive(); });
    return true;
}

bool UdpSocket::joinGroup(const std::string& group) {
    ip_mreq request{};
    if (fd_ < 0 || inet_pton(AF_INET, group.c_str(), &request.imr_multiaddr) != 1) return false;
    request.imr_interface.s_addr = htonl(INADDR_ANY);
    return ::setsockopt(fd_, IPPROTO_IP, IP_ADD_MEMBERSHIP, &request, sizeof request) == 0;
}

bool UdpSocket::sendTo(std::string_view datagram, const sockaddr_in& to) {
    if (fd_ < 0) return false;
    return ::sendto(fd_, datagram.data(), datagram.size(), 0,
                    reinterpret_cast<const sockaddr*>(&to),
                    sizeof to) == static_cast<ssize_t>(datagram.size());
}

int UdpSocket::port() const {
    sockaddr_in address{};
    socklen_t length = sizeof address;
    if (fd_ < 0 || ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        return 0;
    }
    return ntohs(address.sin_port);
}

void UdpSocket::receive() {
    std::vector<char>& buffer = buffer_;
    for (;;) {
        sockaddr_in from{};
        socklen_t length = sizeof from;
        const ssize_t got = ::recvfrom(fd_, buffer.data(), buffer.size(), 0,
                                       reinterpret_cast<sockaddr*>(&from), &length);
        if (got < 0) return;  // drained (EAGAIN) or a passing error: wait for the next
        handler_(std::string_view(buffer.data(), static_cast<std::size_t>(got)), from);
    }
}

LineClient::LineClient(platform::posix::EventLoop& loop, sockaddr_in peer, LineHandler onLine,
                       ConnectHandler onConnect)
    : loop_(loop), peer_(peer), onLine_(std::move(onLine)), onConnect_(std::move(onConnect)) {}

LineClient::~LineClient() {
    close();
}

void LineClient::close() {
    if (fd_ >= 0) {
        loop_.unwatch(fd_);
        ::close(fd_);
    }
    fd_ = -1;
    connected_ = false;
    input_.clear();
    output_.clear();
}

void LineClient::connect() {
    if (fd_ >= 0) return;
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) return;
    const int rc = ::connect(fd, reinterpret_cast<const sockaddr*>(&peer_), sizeof peer_);
    if (rc != 0 && errno != EINPROGRESS) {
        ::close(fd);
        return;
    }
    fd_ = fd;
    loop_.watch(fd_, POLLOUT, [this](short revents) { onEvents(revents); });
}

bool LineClient::send(std::string_view bytes) {
    if (!connected_ || output_.size() + bytes.size() > kMaxQueuedBytes) return false;
    output_.append(bytes);
    loop_.setEvents(fd_, POLLIN | POLLOUT);
    return true;
}

void LineClient::onEvents(short revents) {
    if (!connected_) {
        int error = 0;
        socklen_t length = sizeof error;
        if ((revents & (POLLERR | POLLHUP)) != 0 ||
            ::getsockopt(fd_, SOL_SOCKET, SO_ERROR, &error, &length) != 0 || error != 0) {
            close();
            return;
        }
        connected_ = true;
        loop_.setEvents(fd_, POLLIN);
        if (onConnect_) onConnect_();
        return;
    }
    if ((revents & POLLIN) != 0 || (revents & (POLLERR | POLLHUP)) != 0) {
        char buffer[4096];
        const ssize_t got = ::recv(fd_, buffer, sizeof buffer, 0);
        if (got == 0 || (got < 0 && errno != EAGAIN && errno != EINTR)) {
            close();
            return;
        }
        if (got > 0) input_.append(buffer, static_cast<std::size_t>(got));
        for (std::size_t eol; (eol = input_.find('\n')) != std::string::npos;) {
            std::string line = input_.substr(0, eol);
            input_.erase(0, eol + 1);
            if (!line.empty() && line.back() == '\r') line.pop_back();
            onLine_(line);
            if (fd_ < 0) return;
        }
        if (input_.size() > kMaxLineBytes) input_.clear();
    }
    if ((revents & POLLOUT) != 0 && !output_.empty()) {
        const ssize_t sent = ::send(fd_, output_.data(), output_.size(), MSG_NOSIGNAL);
        if (sent < 0 && errno != EAGAIN && errno != EINTR) {
            close();
            return;
        }
        if (sent > 0) output_.erase(0, static_cast<std::size_t>(sent));
    }
    if (fd_ >= 0) loop_.setEvents(fd_, output_.empty() ? POLLIN : POLLIN | POLLOUT);
}

}  // namespace aviolog::bridge
