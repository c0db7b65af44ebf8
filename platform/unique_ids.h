#pragma once

#include <string>

namespace aviolog::platform {

// Freshly generated UUIDs (RFC 4122 version 4) in their textual form,
// "xxxxxxxx-xxxx-4xxx-yxxx-xxxxxxxxxxxx" with lower-case hex digits.
class UniqueIds {
  public:
    virtual ~UniqueIds() = default;
    virtual std::string newUuid() = 0;
};

}  // namespace aviolog::platform
