#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

namespace aviolog::platform {

// The handle of the simulator interface's "window" found by class name; 0 means none.
using WindowHandle = std::uintptr_t;

// A named block of shared memory created by the client for one link.
// Destroying it unmaps any view and releases the name.
class SharedBlock {
  public:
    virtual ~SharedBlock() = default;
    // A writable view of the whole block, or null when it cannot be mapped.
    virtual std::byte* map() = 0;
    virtual void unmap() = 0;
    // True once the peer has shrunk the block under the view: what the view holds then
    // is no longer shared, and no exchange through it can succeed.
    virtual bool damaged() const { return false; }
};

enum class SendStatus {
    Answered,  // the peer replied; see reply
    TimedOut,  // no reply within the time-out
    Failed,    // the system refused the send; see systemError
    // The peer broke the protocol: a reply that nobody asked for, or one that is not
    // exactly the 32-bit result. The connection has been dropped.
    ProtocolError,
};

struct SendOutcome {
    SendStatus status = SendStatus::Failed;
    std::uint32_t reply = 0;
    // The system's last error after the attempt; 0 when it reported none.
    std::uint32_t systemError = 0;
};

// The calls the simulator link makes to reach the simulator interface, modelled on the
// Windows ones (window lookup, registered message, global atom, named mapping, send with a
// time-out) so that the Windows and Linux transports are interchangeable.
class SimIpc {
  public:
    virtual ~SimIpc() = default;

    virtual WindowHandle findWindow(std::string_view className) = 0;
    // Lets go of a window found earlier; the handle is invalid afterwards.
    virtual void releaseWindow(WindowHandle window) = 0;
    // 0 when the message cannot be registered.
    virtual std::uint32_t registerMessage(std::string_view name) = 0;
    // 0 when the atom cannot be created.
    virtual std::uint16_t addAtom(std::string_view name) = 0;
    virtual void deleteAtom(std::uint16_t atom) = 0;
    // A new block of the given size; null when it cannot be created or the name exists.
    virtual std::unique_ptr<SharedBlock> createBlock(std::string_view name, std::size_t size) = 0;
    // Sends the message and waits at most timeoutMs for the peer's reply.
    virtual SendOutcome send(WindowHandle window, std::uint32_t message, std::uint32_t wParam,
                             std::uint32_t lParam, int timeoutMs) = 0;
    virtual std::uint32_t processId() = 0;
};

}  // namespace aviolog::platform
