#include "bridge/fsuipc_relay_client.h"

#include <fcntl.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/posix/posix_util.h"

namespace aviolog::bridge {

namespace relay = wire::relay;
using platform::posix::monotonicNowMs;

namespace {

// Waits for the socket to be ready for events until the deadline; false when it is not.
bool waitFor(int fd, short events, std::int64_t deadlineMs) {
    for (;;) {
        const std::int64_t left = deadlineMs - monotonicNowMs();
        if (left <= 0) return false;
        pollfd p{fd, events, 0};
        const int ready = ::poll(&p, 1, static_cast<int>(left));
        if (ready > 0) return true;
        if (ready < 0 && errno != EINTR) return false;
    }
}

}  // namespace

FsuipcRelayClient::FsuipcRelayClient(const sockaddr_in& relay, RelayTiming timing)
    : relay_(relay), timing_(timing) {}

FsuipcRelayClient::~FsuipcRelayClient() {
    disconnect();
}

bool FsuipcRelayClient::connect(std::int64_t deadlineMs) {
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd_ < 0) return false;
    const int one = 1;
    ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    const int started = ::connect(fd_, reinterpret_cast<const sockaddr*>(&relay_), sizeof relay_);
    int error = 0;
    socklen_t length = sizeof error;
    if (started != 0 &&
        (errno != EINPROGRESS ||
         !waitFor(fd_, POLLOUT,
                  std::min(monotonicNowMs() + timing_.connectTimeoutMs, deadlineMs)) ||
         ::getsockopt(fd_, SOL_SOCKET, SO_ERROR, &error, &length) != 0 || error != 0)) {
        disconnect();
        return false;
    }
    return true;
}

void FsuipcRelayClient::disconnect() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

bool FsuipcRelayClient::quiet() {
    std::byte stray{};
    const ssize_t got = ::recv(fd_, &stray, 1, MSG_DONTWAIT | MSG_PEEK);
    return got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
}

bool FsuipcRelayClient::sendRequest(std::span<const std::byte> request, std::int64_t deadlineMs) {
    std::size_t done = 0;
    while (done < request.size()) {
        const ssize_t sent =
            ::send(fd_, request.data() + done, request.size() - done, MSG_NOSIGNAL);
        if (sent > 0) {
            done += static_cast<std::size_t>(sent);
        } else if (sent < 0 && (errno == EAGAIN || errno == EINTR)) {
            if (!waitFor(fd_, POLLOUT, deadlineMs)) return false;
        } else {
            return false;
        }
    }
    return true;
}

bool FsuipcRelayClient::receive(std::byte* data, std::size_t size, std::int64_t deadlineMs) {
    while (size > 0) {
        const ssize_t got = ::recv(fd_, data, size, 0);
        if (got > 0) {
            data += got;
            size -= static_cast<std::size_t>(got);
        } else if (got < 0 && (errno == EAGAIN || errno == EINTR)) {
            if (!waitFor(fd_, POLLIN, deadlineMs)) return false;
        } else {
            return false;
        }
    }
    return true;
}

std::uint32_t FsuipcRelayClient::failed() {
    // Whatever the relay sends late on this connection belongs to a request given up.
    disconnect();
    ++failures_;
    return 0;
}

std::uint32_t FsuipcRelayClient::exchange(std::span<std::byte> block) {
    ++exchanges_;
    const std::size_t length = relay::requestLength(block);
    // Bytes nobody asked for, or a connection the relay has closed, fail this exchange as
    // a stray or a lost reply does on the Linux transport; the next one connects afresh.
    if (fd_ >= 0 && !quiet()) return failed();
    // One deadline for connecting and answering: the bridge must answer before the program
    // gives the exchange up, or its late reply would fail the next exchange as well.
    const std::int64_t deadline = monotonicNowMs() + timing_.answerTimeoutMs;
    if (fd_ < 0 && !connect(deadline)) return failed();

    relay::encodeRequest(
        {static_cast<std::uint32_t>(length), static_cast<std::uint32_t>(timing_.sendTimeoutMs)},
        std::span<std::byte, relay::kRequestHeaderBytes>(out_.data(), relay::kRequestHeaderBytes));
    std::memcpy(out_.data() + relay::kRequestHeaderBytes, block.data(), length);
    if (!sendRequest({out_.data(), relay::kRequestHeaderBytes + length}, deadline)) return failed();

    std::array<std::byte, relay::kAnswerHeaderBytes> headerBytes{};
    if (!receive(headerBytes.data(), headerBytes.size(), deadline)) return failed();
    const auto header = relay::decodeAnswer(headerBytes);
    if (!header || header->length != length) return failed();
    if (!receive(answer_.data(), length, deadline)) return failed();
    // FSUIPC did not answer inside the prefix: the block holds no answer to pass on.
    if (header->status != relay::kAnswered) {
        ++failures_;
        return 0;
    }
    std::memcpy(block.data(), answer_.data(), length);
    return header->reply;
}

}  // namespace aviolog::bridge
