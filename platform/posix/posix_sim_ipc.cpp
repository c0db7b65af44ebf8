#include "platform/posix/posix_sim_ipc.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstddef>
#include <cstring>

#include "platform/posix/posix_util.h"
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
            if (p != MAP_FAILED) view_ = static_cast<std::byte*>(p);
        }
        return view_;
    }
    void unmap() override {
        if (view_ != nullptr) ::munmap(view_, size_);
        view_ = nullptr;
    }

  private:
    std::string path_;
    int fd_;
    std::size_t size_;
    std::byte* view_ = nullptr;
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
}

std::unique_ptr<SharedBlock> PosixSimIpc::createBlock(std::string_view name, std::size_t size) {
    std::string path = "/" + std::string(name);
    const int fd = ::shm_open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) return nullptr;
    if (::ftruncate(fd, static_cast<off_t>(size)) != 0) {
        ::close(fd);
        ::shm_unlink(path.c_str());
        return nullptr;
    }
    return std::make_unique<PosixSharedBlock>(std::move(path), fd, size);
}

SendOutcome PosixSimIpc::send(WindowHandle handle, std::uint32_t message, std::uint32_t wParam,
                              std::uint32_t lParam, int timeoutMs) {
    const auto failed = [](int error) {
        return SendOutcome{SendStatus::Failed, 0, static_cast<std::uint32_t>(error)};
    };
    auto it = windows_.find(handle);
    auto atom = atoms_.find(static_cast<std::uint16_t>(wParam));
    if (it == windows_.end()) return failed(EBADF);
    if (atom == atoms_.end()) return failed(EINVAL);
    Window& window = it->second;

    if (window.fd < 0) {
        pid_t pid = 0;
        const int fd = connectTo(window.className, &pid);
        if (fd < 0) return failed(errno);
        if (pid != window.peerPid) {
            // Another process serves that name now: the window we found is gone.
            ::close(fd);
            return failed(ESRCH);
        }
        window.fd = fd;
    }

    std::array<std::byte, wire::kMaxPacketBytes> packet{};
    const std::size_t length = wire::encodePacket({message, wParam, lParam, atom->second}, packet);
    if (::send(window.fd, packet.data(), length, MSG_NOSIGNAL) != static_cast<ssize_t>(length)) {
        const int err = errno;
        disconnect(window);
        return failed(err);
    }

    const std::int64_t deadline = monotonicNowMs() + timeoutMs;
    for (;;) {
        pollfd p{window.fd, POLLIN, 0};
        const int waitMs = static_cast<int>(std::max<std::int64_t>(deadline - monotonicNowMs(), 0));
        const int ready = ::poll(&p, 1, waitMs);
        if (ready < 0 && errno == EINTR) continue;
        if (ready < 0) {
            const int err = errno;
            disconnect(window);
            return failed(err);
        }
        if (ready == 0) {
            disconnect(window);
            return {SendStatus::TimedOut, 0, 0};
        }
        std::array<std::byte, wire::kReplyBytes> reply{};
        const ssize_t got = ::recv(window.fd, reply.data(), reply.size(), 0);
        if (got == static_cast<ssize_t>(reply.size())) {
            return {SendStatus::Answered, wire::load32(reply.data()), 0};
        }
        // A closed peer (0) or a malformed reply: the window is no longer usable.
        const int err = got < 0 ? errno : ECONNRESET;
        disconnect(window);
        return failed(err);
    }
}

std::uint32_t PosixSimIpc::processId() {
    return static_cast<std::uint32_t>(::getpid());
}

}  // namespace aviolog::platform::posix
