#include "sim/in_process_sim_ipc.h"

#include <cerrno>

#include "sim/simulator.h"

namespace aviolog::sim {

class InProcessBlock final : public platform::SharedBlock {
  public:
    InProcessBlock(InProcessSimIpc& owner, std::string name, bool failMap)
        : owner_(owner), name_(std::move(name)), failMap_(failMap) {}
    ~InProcessBlock() override { owner_.blocks_.erase(name_); }
    std::byte* map() override { return failMap_ ? nullptr : owner_.blocks_.at(name_).data(); }
    void unmap() override {}

  private:
    InProcessSimIpc& owner_;
    std::string name_;
    bool failMap_;
};

InProcessSimIpc::InProcessSimIpc(sim::Simulator& simulator, platform::Clock& clock)
    : simulator_(simulator), clock_(clock) {}

platform::WindowHandle InProcessSimIpc::findWindow(std::string_view className) {
    if (simulatorGone || !windowClasses.contains(std::string(className))) return 0;
    windows_.insert(nextWindow_);
    return nextWindow_++;
}

void InProcessSimIpc::releaseWindow(platform::WindowHandle window) {
    windows_.erase(window);
}

std::uint32_t InProcessSimIpc::registerMessage(std::string_view) {
    return failRegister ? 0 : 0xC123;
}

std::uint16_t InProcessSimIpc::addAtom(std::string_view name) {
    if (failAtom) return 0;
    atoms_.emplace(nextAtom_, std::string(name));
    return nextAtom_++;
}

void InProcessSimIpc::deleteAtom(std::uint16_t atom) {
    atoms_.erase(atom);
}

std::unique_ptr<platform::SharedBlock> InProcessSimIpc::createBlock(std::string_view name,
                                                                    std::size_t size) {
    std::string key(name);
    if (existingBlocks.contains(key) || blocks_.contains(key)) return nullptr;
    blocks_.emplace(key, std::vector<std::byte>(size));
    blockNames.push_back(key);
    return std::make_unique<InProcessBlock>(*this, std::move(key), failMap);
}

platform::SendOutcome InProcessSimIpc::send(platform::WindowHandle window, std::uint32_t,
                                            std::uint32_t wParam, std::uint32_t, int timeoutMs) {
    ++sendCount;
    if (simulatorGone || !windows_.contains(window)) {
        return {platform::SendStatus::Failed, 0, EPIPE};
    }
    if (sendError != 0) return {platform::SendStatus::Failed, 0, sendError};
    if (!simulator_.answering()) {
        clock_.sleepMs(timeoutMs);
        return {platform::SendStatus::TimedOut, 0, 0};
    }
    if (replyOverride) return {platform::SendStatus::Answered, *replyOverride, 0};
    const auto atom = atoms_.find(static_cast<std::uint16_t>(wParam));
    if (atom == atoms_.end()) return {platform::SendStatus::Failed, 0, EINVAL};
    const auto block = blocks_.find(atom->second);
    if (block == blocks_.end()) return {platform::SendStatus::Answered, 0, 0};
    if (refuse && refuse(block->second)) return {platform::SendStatus::Answered, 0, 0};
    const std::uint32_t reply = simulator_.serve(block->second);
    if (afterServe) afterServe(block->second);
    return {platform::SendStatus::Answered, reply, 0};
}

}  // namespace aviolog::sim
