#pragma once

#include <optional>
#include <string>
#include <vector>

namespace aviolog::platform {

// A request of a web API: any method, headers of its own ("Name: value") and a body.
struct WebRequest {
    std::string method = "GET";
    std::string url;
    std::vector<std::string> headers;
    std::string body;
};

// What the site answered: its status and its whole body.
struct WebAnswer {
    long status = 0;
    std::string body;
};

// One GET request. The body as received, or nothing when the address could not be opened
// (malformed address, name or connection failure, time-out). An HTTP error status still
// counts as an answer: its page is the body.
class HttpClient {
  public:
    virtual ~HttpClient() = default;
    virtual std::optional<std::string> get(const std::string& url) = 0;
    // Any request of a web API; nothing when no answer came (as get). A client that speaks
    // only GET of pages answers nothing, as a site out of reach.
    virtual std::optional<WebAnswer> send(const WebRequest&) { return std::nullopt; }
};

}  // namespace aviolog::platform
