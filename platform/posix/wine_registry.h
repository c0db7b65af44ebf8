#pragma once

#include <filesystem>

#include "platform/registry.h"

namespace aviolog::platform::posix {

// The registry of a Wine prefix, where a pilot who runs the Windows programs under Wine
// has them: HKEY_LOCAL_MACHINE in "system.reg", HKEY_CURRENT_USER in "user.reg". The files
// are read afresh at every call (the programs may be installed while we run). A 32-bit
// program's keys in a 64-bit prefix live under "Software\Wow6432Node", where they are
// looked up second. Drive letters map through the prefix's "dosdevices" links.
class WineRegistry final : public Registry {
  public:
    explicit WineRegistry(std::filesystem::path prefix) : prefix_(std::move(prefix)) {}

    // $WINEPREFIX, or "~/.wine" when it is not set.
    static WineRegistry fromEnvironment();

    std::optional<std::string> readString(RegistryHive hive, std::string_view key,
                                          std::string_view value,
                                          std::size_t maxBytes) const override;
    bool hasKey(RegistryHive hive, std::string_view key) const override;
    std::filesystem::path hostPath(std::string_view windowsPath) const override;

    const std::filesystem::path& prefix() const { return prefix_; }

  private:
    std::filesystem::path prefix_;
};

}  // namespace aviolog::platform::posix
