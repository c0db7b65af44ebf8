#pragma once

#include "platform/unique_ids.h"

namespace aviolog::platform::posix {

// Version 4 UUIDs from the kernel's random source.
class PosixUniqueIds final : public UniqueIds {
  public:
    std::string newUuid() override;
};

}  // namespace aviolog::platform::posix
