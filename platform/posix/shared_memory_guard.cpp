#include "platform/posix/shared_memory_guard.h"

#include <signal.h>
#include <sys/mman.h>

#include <atomic>
#include <cstdint>
#include <mutex>

namespace aviolog::platform::posix {

namespace {

struct GuardedRange {
    std::atomic<std::uintptr_t> begin{0};
    std::atomic<std::size_t> size{0};
    std::atomic<bool> damaged{false};
};

// Enough for every link and every client a simulator serves; the server caps its own.
constexpr int kGuardedRanges = 256;

// Process-wide by necessity: the SIGBUS handler can reach nothing else.
GuardedRange gRanges[kGuardedRanges];
struct sigaction gPreviousAction;
std::once_flag gInstalled;

void onSigbus(int signal, siginfo_t* info, void* context) {
    const auto address = reinterpret_cast<std::uintptr_t>(info->si_addr);
    for (GuardedRange& range : gRanges) {
        const std::uintptr_t begin = range.begin.load(std::memory_order_acquire);
        const std::size_t size = range.size.load(std::memory_order_acquire);
        if (begin == 0 || address < begin || address - begin >= size) continue;
        // Private zero pages in place of the whole range: the faulting access, and every
        // later one, completes; the owner learns from the flag.
        if (::mmap(reinterpret_cast<void*>(begin), size, PROT_READ | PROT_WRITE,
                   MAP_FIXED | MAP_PRIVATE | MAP_ANONYMOUS, -1, 0) == MAP_FAILED) {
            break;  // no pages to put there: ending is better than faulting forever
        }
        range.damaged.store(true, std::memory_order_release);
        return;
    }
    // Not one of ours: whoever handled SIGBUS before decides, or the default ends us
    // when the access faults again.
    if ((gPreviousAction.sa_flags & SA_SIGINFO) != 0 && gPreviousAction.sa_sigaction != nullptr) {
        gPreviousAction.sa_sigaction(signal, info, context);
        return;
    }
    if (gPreviousAction.sa_handler != SIG_DFL && gPreviousAction.sa_handler != SIG_IGN) {
        gPreviousAction.sa_handler(signal);
        return;
    }
    ::sigaction(SIGBUS, &gPreviousAction, nullptr);
}

void installHandler() {
    struct sigaction action {};
    action.sa_sigaction = onSigbus;
    action.sa_flags = SA_SIGINFO | SA_NODEFER;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGBUS, &action, &gPreviousAction);
}

}  // namespace

SharedMemoryGuard::SharedMemoryGuard(void* begin, std::size_t size) {
    if (begin == nullptr || size == 0) return;
    std::call_once(gInstalled, installHandler);
    for (int i = 0; i < kGuardedRanges; ++i) {
        std::uintptr_t free = 0;
        GuardedRange& range = gRanges[i];
        if (!range.begin.compare_exchange_strong(free, reinterpret_cast<std::uintptr_t>(begin),
                                                 std::memory_order_acq_rel)) {
            continue;
        }
        range.damaged.store(false, std::memory_order_relaxed);
        range.size.store(size, std::memory_order_release);
        slot_ = i;
        return;
    }
}

SharedMemoryGuard::~SharedMemoryGuard() {
    release();
}

SharedMemoryGuard::SharedMemoryGuard(SharedMemoryGuard&& other) noexcept : slot_(other.slot_) {
    other.slot_ = -1;
}

SharedMemoryGuard& SharedMemoryGuard::operator=(SharedMemoryGuard&& other) noexcept {
    if (this != &other) {
        release();
        slot_ = other.slot_;
        other.slot_ = -1;
    }
    return *this;
}

bool SharedMemoryGuard::damaged() const {
    return slot_ >= 0 && gRanges[slot_].damaged.load(std::memory_order_acquire);
}

void SharedMemoryGuard::release() {
    if (slot_ < 0) return;
    GuardedRange& range = gRanges[slot_];
    range.size.store(0, std::memory_order_release);
    range.begin.store(0, std::memory_order_release);
    slot_ = -1;
}

}  // namespace aviolog::platform::posix
