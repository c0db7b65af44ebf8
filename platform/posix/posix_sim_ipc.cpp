#include "platform/posix/posix_sim_ipc.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstddef>
#include <cstring>

#include "platform/posix/posix_util.h"
#include "platform/posix/shared_memory_guard.h"
#include "wire/sim_ipc_wire.h"

namespace aviolog::platform::posix {

namespace {

class PosixSharedBlock final : public SharedBlock {
  public:
    PosixSharedBlock(std::string path, int fd, std::size_t size)
        : path_(std::move(path)), fd_(fd), size_(size) {}
    ~PosixSharedBlock() override {
        unmap();
        ::close(fd_);
        // The creator owns the name; the peer only ever opens it.
        ::shm_unlink(path_.c_str());
    }
    PosixSharedBlock(const PosixSharedBlock&) = delete;
    PosixSharedBlock& operator=(const PosixSharedBlock&) = delete;

    std::byte* map() override {
        if (view_ == nullptr) {
            void* p = ::mmap(nullptr, size_, PROT_READ | PROT_WRITE, MAP_SHARED, fd_, 0);
            if (p == MAP_FAILED) return nullptr;
            // The peer opens the block read-write and can shrink it under us.
            guard_ = SharedMemoryGuard(p, size_);
            if (!guard_.active()) {
                ::munmap(p, size_);
                return nullptr;
            }
            view_ = static_cast<std::byte*>(p);
        }
        return view_;
    }
    void unmap() override {
        guard_ = SharedMemoryGuard();
        if (view_ != nullptr) ::munmap(view_, size_);
        view_ = nullptr;
    }
    bool damaged() const override { return guard_.damaged(); }

  private:
    std::string path_;
    int fd_;
    std::size_t size_;
    std::byte* view_ = nullptr;
    SharedMemoryGuard guard_;
};

}  // namespace

PosixSimIpc::~PosixSimIpc() {
    for (auto& [handle, window] : windows_) disconnect(window);
}

int PosixSimIpc::connectTo(const std::string& className, pid_t* peerPid) {
    sockaddr_un addr;
    socklen_t len = 0;
    if (!abstractAddress(className, &addr, &len)) {
        errno = ENAMETOOLONG;
        return -1;
    }
    const int fd = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&addr), len) != 0) {
        const int err = errno;
        ::close(fd);
        errno = err;
        return -1;
    }
    ucred cred{};
    socklen_t credLen = sizeof cred;
    if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &credLen) == 0) *peerPid = cred.pid;
    return fd;
}

void PosixSimIpc::disconnect(Window& window) {
    if (window.fd >= 0) ::close(window.fd);
    window.fd = -1;
}

WindowHandle PosixSimIpc::findWindow(std::string_view className) {
    Window window{socketPrefix_ + std::string(className)};
    window.fd = connectTo(window.className, &window.peerPid);
    if (window.fd < 0) return 0;
    const WindowHandle handle = nextWindow_++;
    windows_.emplace(handle, std::move(window));
    return handle;
}

void PosixSimIpc::releaseWindow(WindowHandle handle) {
    if (auto it = windows_.find(handle); it != windows_.end()) {
        disconnect(it->second);
        windows_.erase(it);
    }
}

std::uint32_t PosixSimIpc::registerMessage(std::string_view name) {
    // Registered messages live in the range Windows gives them; the same name, the same id.
    const auto [it, added] = messages_.try_emplace(
        std::string(name), 0xC000u + static_cast<std::uint32_t>(messages_.size()));
    return it->second;
}

std::uint16_t PosixSimIpc::addAtom(std::string_view name) {
    if (name.empty() || name.size() > wire::kMaxBlockNameBytes || nextAtom_ == 0) return 0;
    const std::uint16_t atom = nextAtom_++;
    atoms_.emplace(atom, std::string(name));
    return atom;
}

void PosixSimIpc::deleteAtom(std::uint16_t atom) {
    atoms_.erase(atom);
    // A packet encoded for it must not outlive it.
    for (auto& [handle, window] : windows_) {
        if (window.packetAtom == atom) window.packetLength = 0;
    }
}

namespace {

// A block dies with its creator on the simulator's own system, but a name in /dev/shm
// outlives a process that was killed, and a later process given the same id would find
// its block name taken. The creator holds a shared lock on the block for as long as it
// lives, so a name nobody holds a lock on is such a leftover and may go.
bool removeLeftover(const std::string& path) {
    const int fd = ::shm_open(path.c_str(), O_RDWR | O_CLOEXEC, 0);
    if (fd < 0) return errno == ENOENT;
    const bool unheld = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
    if (unheld) ::shm_unlink(path.c_str());
    ::close(fd);
    return unheld;
}

int createHeld(const std::string& path) {
    const int fd = ::shm_open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd >= 0 && ::flock(fd, LOCK_SH | LOCK_NB) != 0) {
        ::close(fd);
        ::shm_unlink(path.c_str());
        return -1;
    }
    return fd;
}

}  // namespace

std::unique_ptr<SharedBlock> PosixSimIpc::createBlock(std::string_view name, std::size_t size) {
    std::string path = "/" + std::string(name);
    int fd = createHeld(path);
    if (fd < 0 && errno == EEXIST && removeLeftover(path)) fd = createHeld(path);
    if (fd < 0) return nullptr;
    if (::ftruncate(fd, static_cast<off_t>(size)) != 0) {
        ::close(fd);
        ::shm_unlink(path.c_str());
        return nullptr;
    }
    return std::make_unique<PosixSharedBlock>(std::move(path), fd, size);
}

namespace {

SendOutcome failedWith(int error) {
    return {SendStatus::Failed, 0, static_cast<std::uint32_t>(error)};
}

}  // namespace

bool PosixSimIpc::setTimeouts(Window& window, int timeoutMs) {
    if (window.socketTimeoutMs == timeoutMs) return true;
    // The socket keeps the time-outs, so an exchange costs no wait call of its own.
    const int ms = std::max(timeoutMs, 1);
    const timeval tv{ms / 1000, static_cast<suseconds_t>(ms % 1000) * 1000};
    if (::setsockopt(window.fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv) != 0 ||
        ::setsockopt(window.fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv) != 0) {
        return false;
    }
    window.socketTimeoutMs = timeoutMs;
    return true;
}

bool PosixSimIpc::preparePacket(Window& window, std::uint32_t message, std::uint32_t wParam,
                                std::uint32_t lParam) {
    if (window.packetLength != 0 && window.packetMessage == message &&
        window.packetAtom == wParam && window.packetLParam == lParam) {
        return true;
    }
    const auto atom = atoms_.find(static_cast<std::uint16_t>(wParam));
    if (atom == atoms_.end()) return false;
    window.packetLength =
        wire::encodePacket({message, wParam, lParam, atom->second}, window.packet);
    window.packetMessage = message;
    window.packetAtom = wParam;
    window.packetLParam = lParam;
    return window.packetLength != 0;
}

SendOutcome PosixSimIpc::send(WindowHandle handle, std::uint32_t message, std::uint32_t wParam,
                              std::uint32_t lParam, int timeoutMs) {
    auto it = windows_.find(handle);
    if (it == windows_.end()) return failedWith(EBADF);
    Window& window = it->second;
    if (!preparePacket(window, message, wParam, lParam)) return failedWith(EINVAL);

    if (window.fd < 0) {
        pid_t pid = 0;
        const int fd = connectTo(window.className, &pid);
        if (fd < 0) return failedWith(errno);
        if (pid != window.peerPid) {
            // Another process serves that name now: the window we found is gone.
            ::close(fd);
            return failedWith(ESRCH);
        }
        window.fd = fd;
        window.socketTimeoutMs = -1;
    }
    if (!setTimeouts(window, timeoutMs)) {
        const int err = errno;
        disconnect(window);
        return failedWith(err);
    }
    const SendOutcome outcome = exchangePacket(window);
    if (outcome.status != SendStatus::Answered) disconnect(window);
    return outcome;
}

SendOutcome PosixSimIpc::exchangePacket(Window& window) {
    // One message outstanding at a time: anything waiting now was never asked for, and
    // taking it for this exchange's reply would put every later one a reply behind.
    std::array<std::byte, wire::kReplyBytes> reply{};
    const ssize_t early = ::recv(window.fd, reply.data(), reply.size(), MSG_DONTWAIT | MSG_TRUNC);
    if (early == 0) return failedWith(ECONNRESET);
    if (early > 0) return {SendStatus::ProtocolError, 0, EPROTO};
    if (errno != EAGAIN && errno != EWOULDBLOCK) return failedWith(errno);

    // A signal can cut a wait short; the socket's time-out then starts again, a few
    // times at most, so the wait stays bounded without reading a clock every exchange.
    constexpr int kMaxInterruptions = 4;
    int interruptions = 0;
    for (;;) {
        const ssize_t sent =
            ::send(window.fd, window.packet.data(), window.packetLength, MSG_NOSIGNAL);
        if (sent == static_cast<ssize_t>(window.packetLength)) break;
        if (sent < 0 && errno == EINTR && ++interruptions <= kMaxInterruptions) continue;
        if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
            return {SendStatus::TimedOut, 0, 0};
        }
        return failedWith(sent < 0 ? errno : EMSGSIZE);
    }
    for (;;) {
        // MSG_TRUNC gives the packet's real length, so a longer reply shows as one.
        const ssize_t got = ::recv(window.fd, reply.data(), reply.size(), MSG_TRUNC);
        if (got == static_cast<ssize_t>(reply.size())) {
            return {SendStatus::Answered, wire::load32(reply.data()), 0};
        }
        if (got > 0) return {SendStatus::ProtocolError, 0, EPROTO};
        if (got == 0) return failedWith(ECONNRESET);
        if (errno == EINTR && ++interruptions <= kMaxInterruptions) continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) {
            return {SendStatus::TimedOut, 0, 0};
        }
        return failedWith(errno);
    }
}

std::uint32_t PosixSimIpc::processId() {
    return static_cast<std::uint32_t>(::getpid());
}

}  // namespace aviolog::platform::posix
