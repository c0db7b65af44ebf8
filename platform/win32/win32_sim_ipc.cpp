#include "platform/win32/win32_sim_ipc.h"

#include <windows.h>

#include <string>

namespace aviolog::platform::win32 {

namespace {

class Win32SharedBlock final : public SharedBlock {
  public:
    Win32SharedBlock(HANDLE mapping, std::size_t size) : mapping_(mapping), size_(size) {}
    ~Win32SharedBlock() override {
        unmap();
        CloseHandle(mapping_);
    }
    Win32SharedBlock(const Win32SharedBlock&) = delete;
    Win32SharedBlock& operator=(const Win32SharedBlock&) = delete;

    std::byte* map() override {
        if (view_ == nullptr) {
            view_ = static_cast<std::byte*>(MapViewOfFile(mapping_, FILE_MAP_WRITE, 0, 0, size_));
        }
        return view_;
    }
    void unmap() override {
        if (view_ != nullptr) UnmapViewOfFile(view_);
        view_ = nullptr;
    }

  private:
    HANDLE mapping_;
    std::size_t size_;
    std::byte* view_ = nullptr;
};

}  // namespace

WindowHandle Win32SimIpc::findWindow(std::string_view className) {
    const std::string name(className);
    return reinterpret_cast<WindowHandle>(FindWindowExA(nullptr, nullptr, name.c_str(), nullptr));
}

std::uint32_t Win32SimIpc::registerMessage(std::string_view name) {
    return RegisterWindowMessageA(std::string(name).c_str());
}

std::uint16_t Win32SimIpc::addAtom(std::string_view name) {
    return GlobalAddAtomA(std::string(name).c_str());
}

void Win32SimIpc::deleteAtom(std::uint16_t atom) {
    GlobalDeleteAtom(atom);
}

std::unique_ptr<SharedBlock> Win32SimIpc::createBlock(std::string_view name, std::size_t size) {
    HANDLE mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                        static_cast<DWORD>(size), std::string(name).c_str());
    if (mapping == nullptr) return nullptr;
    // Another process holds a block of that name: sharing it would mix two links.
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        CloseHandle(mapping);
        return nullptr;
    }
    return std::make_unique<Win32SharedBlock>(mapping, size);
}

SendOutcome Win32SimIpc::send(WindowHandle window, std::uint32_t message, std::uint32_t wParam,
                              std::uint32_t lParam, int timeoutMs) {
    DWORD_PTR result = 0;
    SetLastError(0);
    const LRESULT sent =
        SendMessageTimeoutA(reinterpret_cast<HWND>(window), message, wParam, lParam, SMTO_BLOCK,
                            static_cast<UINT>(timeoutMs), &result);
    if (sent != 0) return {SendStatus::Answered, static_cast<std::uint32_t>(result), 0};
    const DWORD error = GetLastError();
    // A time-out is what the link counts as "no error": the window is there, but silent.
    if (error == 0 || error == ERROR_TIMEOUT) return {SendStatus::TimedOut, 0, 0};
    return {SendStatus::Failed, 0, static_cast<std::uint32_t>(error)};
}

std::uint32_t Win32SimIpc::processId() {
    return GetCurrentProcessId();
}

}  // namespace aviolog::platform::win32
