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

SimIpcServer::Mapping::Mapping(Mapping&& other) noexcept
    : view(other.view), guard(std::move(other.guard)) {
    other.view = nullptr;
}

SimIpcServer::Mapping::~Mapping() {
    guard = SharedMemoryGuard();
    if (view != nullptr) ::munmap(view, wire::kBlockSize);
}

void SimIpcServer::drop(int fd) {
    auto it = clients_.find(fd);
    if (it == clients_.end()) return;
    loop_.unwatch(fd);
    ::close(fd);
    clients_.erase(it);
}

SimIpcServer::Mapping* SimIpcServer::blockFor(Client& client, std::string_view name) {
    if (client.last != nullptr && client.lastName == name) return client.last;
    auto it = client.blocks.find(name);
    if (it == client.blocks.end()) {
        if (name.find('/') != std::string_view::npos ||
            client.blocks.size() >= kMaxBlocksPerClient) {
            return nullptr;
        }
        const int shm = ::shm_open(("/" + std::string(name)).c_str(), O_RDWR | O_CLOEXEC, 0);
        if (shm < 0) return nullptr;
        void* p = MAP_FAILED;
        struct stat st {};
        // A block smaller than the protocol's would let a walk run off the mapping.
        if (::fstat(shm, &st) == 0 && st.st_size >= static_cast<off_t>(wire::kBlockSize)) {
            p = ::mmap(nullptr, wire::kBlockSize, PROT_READ | PROT_WRITE, MAP_SHARED, shm, 0);
        }
        ::close(shm);
        // Failures are not remembered: the client may create the block again under the name.
        if (p == MAP_FAILED) return nullptr;
        SharedMemoryGuard guard(p, wire::kBlockSize);
        if (!guard.active()) {
            ::munmap(p, wire::kBlockSize);
            return nullptr;
        }
        it = client.blocks
                 .emplace(std::string(name), Mapping(static_cast<std::byte*>(p), std::move(guard)))
                 .first;
    }
    client.lastName.assign(name);
    client.last = &it->second;
    return client.last;
}

void SimIpcServer::forget(Client& client, std::string_view name) {
    client.last = nullptr;
    if (auto it = client.blocks.find(name); it != client.blocks.end()) client.blocks.erase(it);
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
        if (Mapping* block = blockFor(it->second, message->blockName)) {
            reply = handler_({block->view, wire::kBlockSize});
            ++served_;
            // The client shrank its block while we walked it: what we wrote went nowhere.
            if (block->guard.damaged()) {
                reply = 0;
                forget(it->second, message->blockName);
            }
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
