#pragma once

#include <functional>
#include <optional>
#include <string>

#include "platform/http_client.h"

namespace aviolog::platform {

// GET requests that must not hold up the caller's thread: the recorder's timers keep
// their beat while a web site takes its 30 s to time out. Requests of one lane go out one
// after the other in the order given; each answer comes back through its callback on the
// caller's thread, in that same order. Lanes are independent of each other.
class BackgroundGets {
  public:
    // The answer as platform::httpGet gives it (every kept line followed by a line feed),
    // or nothing when the address could not be opened.
    using Done = std::function<void(std::optional<std::string> answer)>;

    virtual ~BackgroundGets() = default;
    using SendDone = std::function<void(std::optional<WebAnswer> answer)>;

    virtual void get(int lane, std::string url, Done done) = 0;
    // A request of a web API on the same lanes, in the same order as the lane's gets.
    // Where no web API can be reached it is answered at once with nothing.
    virtual void send(int, WebRequest, SendDone done) {
        if (done) done(std::nullopt);
    }
    // Forgets the lane's requests that have not gone out yet; their callbacks never run.
    virtual void dropPending(int lane) = 0;
};

}  // namespace aviolog::platform
