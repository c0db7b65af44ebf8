#pragma once

#include "platform/dynamic_library.h"

namespace aviolog::platform::posix {

class PosixLibraryLoader final : public LibraryLoader {
  public:
    std::unique_ptr<DynamicLibrary> load(const std::string& path) override;
};

}  // namespace aviolog::platform::posix
