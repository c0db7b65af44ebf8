#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace aviolog::platform {

enum class RegistryHive { LocalMachine, CurrentUser };

// Where the Windows programs the pilot runs beside us (the simulator, SquawkBox, the
// weather engine) keep their install folders.
class Registry {
  public:
    virtual ~Registry() = default;

    // A string value of the key ("SOFTWARE\Vendor\Product", separators "\"), as stored,
    // in Windows-1252. maxBytes is the reader's buffer, terminating NUL included: a value
    // that does not fit reads as missing, as Windows refuses it, because a path cut short
    // names another place. Nothing when the key, the value or the registry is missing, or
    // the value is not text.
    virtual std::optional<std::string> readString(RegistryHive hive, std::string_view key,
                                                  std::string_view value,
                                                  std::size_t maxBytes) const = 0;

    // Whether the key exists, values or not (a program's key that opened).
    virtual bool hasKey(RegistryHive hive, std::string_view key) const = 0;

    // The place on this machine of a path those programs stored ("C:\Program Files\X").
    // On Windows the path itself.
    virtual std::filesystem::path hostPath(std::string_view windowsPath) const = 0;
};

}  // namespace aviolog::platform
