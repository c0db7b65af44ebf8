#include "platform/posix/sim_ipc_server.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstddef>
#include <cstring>

#include "platform/posix/posix_util.h"
#include "wire/sim_ipc_wire.h"

namespace aviolog::platform::posix {

SimIpcServer::SimIpcServer(EventLoop& loop, Handler handler)
    : loop_(loop), handler_(std::move(handler)) {}

SimIpcServer::~SimIpcServer() {
    while (!clients_.empty()) drop(clients_.begin()->first);
    if (listenFd_ >= 0) {
        loop_.unwatch(listenFd_);
        ::close(listenFd_);
    }
}

bool SimIpcServer::listen(std::string_view className) {
    sockaddr_un addr;
    socklen_t len = 0;
    if (!abstractAddress(className, &addr, &len)) {
        errno = ENAMETOOLONG;
        return false;
    }
    const int fd = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) return false;
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&addr), len) != 0 || ::listen(fd, 16) != 0) {
        const int err = errno;
        ::close(fd);
        errno = err;
        return false;
    }
    listenFd_ = fd;
    loop_.watch(listenFd_, POLLIN, [this](short) { accept(); });
    return true;
}

short SimIpcServer::clientEvents() const {
    return answering_ ? static_cast<short>(POLLIN | POLLRDHUP) : static_cast<short>(POLLRDHUP);
}

void SimIpcServer::setAnswering(bool answering) {
    // Called on every model tick; only a change touches the watched descriptors.
    if (answering == answering_) return;
    answering_ = answering;
    for (const auto& [fd, client] : clients_) loop_.setEvents(fd, clientEvents());
}

void SimIpcServer::accept() {
    for (;;) {
        const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd < 0) return;
        clients_.emplace(fd, Client{});
        loop_.watch(fd, clientEvents(), [this, fd](short revents) { serve(fd, revents); });
    }
}

void SimIpcServer::drop(int fd) {
    auto it = clients_.find(fd);
    if (it == clients_.end()) return;
    for (auto& [name, mapping] : it->second.blocks) {
        if (mapping.view != nullptr) ::munmap(mapping.view, wire::kBlockSize);
    }
    loop_.unwatch(fd);
    ::close(fd);
    clients_.erase(it);
}

std::byte* SimIpcServer::blockFor(Client& client, const std::string& name) {
    auto it = client.blocks.find(name);
    if (it != client.blocks.end()) return it->second.view;
    Mapping mapping;
    if (name.find('/') == std::string::npos) {
        const int shm = ::shm_open(("/" + name).c_str(), O_RDWR | O_CLOEXEC, 0);
        if (shm >= 0) {
            struct stat st {};
            // A block smaller than the protocol's would let a walk run off the mapping.
            if (::fstat(shm, &st) == 0 && st.st_size >= static_cast<off_t>(wire::kBlockSize)) {
                void* p =
                    ::mmap(nullptr, wire::kBlockSize, PROT_READ | PROT_WRITE, MAP_SHARED, shm, 0);
                if (p != MAP_FAILED) mapping.view = static_cast<std::byte*>(p);
            }
            ::close(shm);
        }
    }
    // Failures are not remembered: the client may create the block again under the name.
    if (mapping.view != nullptr) client.blocks.emplace(name, mapping);
    return mapping.view;
}

void SimIpcServer::serve(int fd, short revents) {
    // A sender that hung up has given up on its request (it timed out): serving it now
    // would touch a block it is already filling again.
    if ((revents & (POLLHUP | POLLRDHUP | POLLERR)) != 0) {
        drop(fd);
        return;
    }
    if (!answering_ || (revents & POLLIN) == 0) return;
    auto it = clients_.find(fd);
    if (it == clients_.end()) return;

    std::array<std::byte, wire::kMaxPacketBytes + 1> packet{};
    const ssize_t got = ::recv(fd, packet.data(), packet.size(), 0);
    if (got < 0 && (errno == EAGAIN || errno == EINTR)) return;
    if (got <= 0) {
        drop(fd);
        return;
    }
    std::uint32_t reply = 0;
    if (const auto message = wire::decodePacket({packet.data(), static_cast<std::size_t>(got)})) {
        if (std::byte* block = blockFor(it->second, message->blockName)) {
            reply = handler_({block, wire::kBlockSize});
            ++served_;
        }
    }
    std::array<std::byte, wire::kReplyBytes> answer{};
    wire::store32(answer.data(), reply);
    if (::send(fd, answer.data(), answer.size(), MSG_NOSIGNAL) !=
        static_cast<ssize_t>(answer.size())) {
        drop(fd);
    }
}

}  // namespace aviolog::platform::posix
