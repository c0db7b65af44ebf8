#pragma once

#include <cstddef>

namespace aviolog::platform::posix {

// A mapping of shared memory that another process owns as much as we do: the peer can
// shrink the object under our mapping at any moment, and touching a page that went with
// it raises SIGBUS, which would end the program. While a guard stands for a mapping, such
// a fault maps zero pages where the lost ones were and marks the mapping damaged: the
// access completes, and the owner checks damaged() and fails its exchange instead.
//
// The faults arrive in a signal handler, which can reach only process-wide state, so the
// guarded ranges live in one fixed table; a guard that finds it full stands for nothing
// (active() is false) and its owner should refuse the mapping.
class SharedMemoryGuard {
  public:
    SharedMemoryGuard() = default;
    SharedMemoryGuard(void* begin, std::size_t size);
    ~SharedMemoryGuard();
    SharedMemoryGuard(SharedMemoryGuard&& other) noexcept;
    SharedMemoryGuard& operator=(SharedMemoryGuard&& other) noexcept;
    SharedMemoryGuard(const SharedMemoryGuard&) = delete;
    SharedMemoryGuard& operator=(const SharedMemoryGuard&) = delete;

    bool active() const { return slot_ >= 0; }
    // True once part of the mapping was lost; the mapping then holds private zero pages.
    bool damaged() const;

  private:
    void release();
    int slot_ = -1;
};

}  // namespace aviolog::platform::posix
