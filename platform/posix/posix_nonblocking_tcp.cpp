#include "platform/posix/posix_nonblocking_tcp.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include "platform/posix/posix_tcp_client.h"
#include "platform/posix/posix_util.h"

namespace aviolog::platform::posix {
namespace {

bool wouldBlock(int error) {
    return error == EAGAIN || error == EWOULDBLOCK || error == EINTR;
}

class PosixStream final : public NonBlockingStream {
  public:
    PosixStream(int fd, bool connected) : fd_(fd), connected_(connected) {}

    bool connected() override {
        if (connected_ || failed_) return connected_;
        pollfd entry{fd_.get(), POLLOUT, 0};
        if (::poll(&entry, 1, 0) <= 0) return false;
        int error = 0;
        socklen_t size = sizeof error;
        if (::getsockopt(fd_.get(), SOL_SOCKET, SO_ERROR, &error, &size) != 0 || error != 0) {
            failed_ = true;
            return false;
        }
        connected_ = true;
        return true;
    }

    std::optional<std::size_t> send(std::string_view bytes) override {
        if (!connected()) {
            if (failed_) return std::nullopt;
            return std::size_t{0};
        }
        const ssize_t sent =
            ::send(fd_.get(), bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (sent >= 0) return static_cast<std::size_t>(sent);
        if (wouldBlock(errno)) return std::size_t{0};
        failed_ = true;
        return std::nullopt;
    }

    StreamRead receive(std::span<char> into, std::size_t& gotBytes) override {
        gotBytes = 0;
        if (!connected()) return failed_ ? StreamRead::Failed : StreamRead::WouldBlock;
        const ssize_t got = ::recv(fd_.get(), into.data(), into.size(), MSG_DONTWAIT);
        if (got > 0) {
            gotBytes = static_cast<std::size_t>(got);
            return StreamRead::Data;
        }
        if (got == 0) return StreamRead::Closed;
        if (wouldBlock(errno)) return StreamRead::WouldBlock;
        failed_ = true;
        return StreamRead::Failed;
    }

  private:
    Descriptor fd_;
    bool connected_;
    bool failed_ = false;
};

class PosixListener final : public NonBlockingListener {
  public:
    explicit PosixListener(int fd) : fd_(fd) {}

    std::unique_ptr<NonBlockingStream> accept() override {
        const int fd = ::accept4(fd_.get(), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) return nullptr;
        return std::make_unique<PosixStream>(fd, true);
    }

    int localPort() const override {
        sockaddr_in address{};
        socklen_t length = sizeof address;
        if (::getsockname(fd_.get(), reinterpret_cast<sockaddr*>(&address), &length) != 0) return 0;
        return ntohs(address.sin_port);
    }

  private:
    Descriptor fd_;
};

}  // namespace

std::unique_ptr<NonBlockingStream> PosixNonBlockingNetwork::connect(const std::string& host,
                                                                    int port) {
    if (port <= 0 || port > 65535) return nullptr;
    const AddressList addresses = streamAddresses(host, port, AF_INET);
    if (!addresses) return nullptr;
    Descriptor fd(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (fd.get() < 0) return nullptr;
    // Keys and pages are small writes that should leave at once.
    const int on = 1;
    ::setsockopt(fd.get(), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    const int result = ::connect(fd.get(), addresses->ai_addr, addresses->ai_addrlen);
    if (result != 0 && errno != EINPROGRESS && errno != EINTR) {
        // Refused at once: the stream reports the failure on its first use, as a connect
        // that fails later would.
        return std::make_unique<PosixStream>(fd.release(), false);
    }
    return std::make_unique<PosixStream>(fd.release(), result == 0);
}

ListenResult PosixNonBlockingNetwork::listen(int port, int backlog) {
    Descriptor fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (fd.get() < 0) return {nullptr, ListenStep::CreateSocket, socketErrorCode(errno)};
    const int flags = ::fcntl(fd.get(), F_GETFL);
    if (flags < 0 || ::fcntl(fd.get(), F_SETFL, flags | O_NONBLOCK) != 0) {
        return {nullptr, ListenStep::NonBlocking, socketErrorCode(errno)};
    }
    // A terminal restarted at once must find its port again, not wait out TIME_WAIT.
    const int on = 1;
    ::setsockopt(fd.get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    if (port < 0 || port > 65535 ||
        ::bind(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        return {nullptr, ListenStep::Bind, socketErrorCode(errno)};
    }
    if (::listen(fd.get(), backlog) != 0) {
        return {nullptr, ListenStep::Listen, socketErrorCode(errno)};
    }
    return {std::make_unique<PosixListener>(fd.release()), ListenStep::Done, 0};
}

}  // namespace aviolog::platform::posix
