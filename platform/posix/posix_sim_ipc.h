#pragma once

#include <sys/types.h>

#include <array>
#include <map>
#include <string>

#include "platform/sim_ipc.h"
#include "wire/sim_ipc_wire.h"

namespace aviolog::platform::posix {

// The simulator IPC on Linux: the "window" of class C is a SOCK_SEQPACKET socket bound
// in the abstract namespace to C, the block is POSIX shared memory "/" + name, and the
// message is one packet naming the block (atoms are per process here).
class PosixSimIpc final : public SimIpc {
  public:
    // The socket names are prefix + class name; a prefix keeps test peers apart from a
    // simulator the pilot is running on the same machine.
    explicit PosixSimIpc(std::string socketPrefix = {}) : socketPrefix_(std::move(socketPrefix)) {}
    ~PosixSimIpc() override;
    PosixSimIpc(const PosixSimIpc&) = delete;
    PosixSimIpc& operator=(const PosixSimIpc&) = delete;

    WindowHandle findWindow(std::string_view className) override;
    void releaseWindow(WindowHandle window) override;
    std::uint32_t registerMessage(std::string_view name) override;
    std::uint16_t addAtom(std::string_view name) override;
    void deleteAtom(std::uint16_t atom) override;
    std::unique_ptr<SharedBlock> createBlock(std::string_view name, std::size_t size) override;
    SendOutcome send(WindowHandle window, std::uint32_t message, std::uint32_t wParam,
                     std::uint32_t lParam, int timeoutMs) override;
    std::uint32_t processId() override;

  private:
    // One peer found by class name. Its identity is the peer process: after a time-out
    // the connection is dropped (a late reply must never answer a later request) and
    // re-made on the next send, but only to that same process, as a window handle would.
    struct Window {
        std::string className;
        int fd = -1;
        pid_t peerPid = 0;
        // The time-out the socket's send and receive time-outs are set to; -1: not yet.
        int socketTimeoutMs = -1;
        // The last message sent, encoded once: the same block goes out every exchange.
        std::uint32_t packetMessage = 0;
        std::uint32_t packetAtom = 0;
        std::uint32_t packetLParam = 0;
        std::size_t packetLength = 0;
        std::array<std::byte, wire::kMaxPacketBytes> packet{};
    };
    static int connectTo(const std::string& className, pid_t* peerPid);
    static void disconnect(Window& window);
    static bool setTimeouts(Window& window, int timeoutMs);
    bool preparePacket(Window& window, std::uint32_t message, std::uint32_t wParam,
                       std::uint32_t lParam);
    static SendOutcome exchangePacket(Window& window);

    std::string socketPrefix_;
    std::map<WindowHandle, Window> windows_;
    WindowHandle nextWindow_ = 1;
    std::map<std::string, std::uint32_t> messages_;
    std::map<std::uint16_t, std::string> atoms_;
    std::uint16_t nextAtom_ = 0xC000;
};

}  // namespace aviolog::platform::posix
