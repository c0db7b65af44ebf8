#pragma once

#include "platform/sim_ipc.h"

namespace aviolog::platform::win32 {

// The simulator interface as Windows offers it: the window found by class, the registered
// message, a global atom naming a page-file mapping, and a blocking send with a time-out.
class Win32SimIpc final : public SimIpc {
  public:
    WindowHandle findWindow(std::string_view className) override;
    // A window handle is not owned: nothing to let go of.
    void releaseWindow(WindowHandle) override {}
    std::uint32_t registerMessage(std::string_view name) override;
    std::uint16_t addAtom(std::string_view name) override;
    void deleteAtom(std::uint16_t atom) override;
    std::unique_ptr<SharedBlock> createBlock(std::string_view name, std::size_t size) override;
    SendOutcome send(WindowHandle window, std::uint32_t message, std::uint32_t wParam,
                     std::uint32_t lParam, int timeoutMs) override;
    std::uint32_t processId() override;
};

}  // namespace aviolog::platform::win32
