#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/sim_ipc.h"

namespace aviolog::sim {

class Simulator;

// The simulator IPC served in process by a Simulator, on a virtual clock, with the
// failures a test arranges. A silent simulator costs the sender its full time-out.
class InProcessSimIpc final : public platform::SimIpc {
  public:
    InProcessSimIpc(sim::Simulator& simulator, platform::Clock& clock);

    platform::WindowHandle findWindow(std::string_view className) override;
    void releaseWindow(platform::WindowHandle window) override;
    std::uint32_t registerMessage(std::string_view name) override;
    std::uint16_t addAtom(std::string_view name) override;
    void deleteAtom(std::uint16_t atom) override;
    std::unique_ptr<platform::SharedBlock> createBlock(std::string_view name,
                                                       std::size_t size) override;
    platform::SendOutcome send(platform::WindowHandle window, std::uint32_t message,
                               std::uint32_t wParam, std::uint32_t lParam, int timeoutMs) override;
    std::uint32_t processId() override { return 0x1A2B; }

    // What the test arranges.
    std::set<std::string> windowClasses{"UIPCMAIN"};
    bool failRegister = false;
    bool failAtom = false;
    bool failMap = false;
    std::set<std::string> existingBlocks;                  // names another process already holds
    std::optional<std::uint32_t> replyOverride;            // answer with this instead of serving
    std::uint32_t sendError = 0;                           // non-zero: every send fails with it
    bool simulatorGone = false;                            // sends fail as to a dead window
    std::function<void(std::span<std::byte>)> afterServe;  // a peer that garbles its answer
    // A peer that fails the exchanges it is given true for, unserved.
    std::function<bool(std::span<const std::byte>)> refuse;

    // What the test observes.
    int sendCount = 0;
    std::size_t liveBlocks() const { return blocks_.size(); }
    std::size_t liveAtoms() const { return atoms_.size(); }
    std::size_t liveWindows() const { return windows_.size(); }
    std::vector<std::string> blockNames;  // every block created, in order

  private:
    friend class InProcessBlock;
    sim::Simulator& simulator_;
    platform::Clock& clock_;
    std::map<std::string, std::vector<std::byte>> blocks_;
    std::map<std::uint16_t, std::string> atoms_;
    std::set<platform::WindowHandle> windows_;
    platform::WindowHandle nextWindow_ = 1;
    std::uint16_t nextAtom_ = 0xC000;
};

}  // namespace aviolog::sim
