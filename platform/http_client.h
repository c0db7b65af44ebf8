#pragma once

#include <optional>
#include <string>

namespace aviolog::platform {

// One GET request. The body as received, or nothing when the address could not be opened
// (malformed address, name or connection failure, time-out). An HTTP error status still
// counts as an answer: its page is the body.
class HttpClient {
  public:
    virtual ~HttpClient() = default;
    virtual std::optional<std::string> get(const std::string& url) = 0;
};

}  // namespace aviolog::platform
