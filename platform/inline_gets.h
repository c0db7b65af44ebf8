#pragma once

#include "platform/background_gets.h"

namespace aviolog::platform {

class HttpClient;

// Every request answered before get() returns, on the caller's thread: in virtual time a
// request then lands before the next timer tick, so a flight stays reproducible.
class InlineGets final : public BackgroundGets {
  public:
    explicit InlineGets(HttpClient& client) : client_(client) {}

    void get(int lane, std::string url, Done done) override;
    void send(int lane, WebRequest request, SendDone done) override;
    // Nothing is ever pending.
    void dropPending(int) override {}

  private:
    HttpClient& client_;
};

}  // namespace aviolog::platform
