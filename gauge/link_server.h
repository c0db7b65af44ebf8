#pragma once

#include <memory>

#include "gauge/terminal.h"
#include "platform/nonblocking_tcp.h"
#include "platform/record_channel.h"

namespace aviolog::gauge {

// The terminal's end of the gauge link: listens for the program, serves one connection
// at a time and polls it from the host's update cycle without ever waiting.
class LinkServer final : public KeySender {
  public:
    static constexpr int kBacklog = 10;

    LinkServer(platform::NonBlockingNetwork& network, Terminal& terminal);

    // Sets up the listener once; a failure is shown on the terminal and not retried.
    void setUp(int port);
    bool listening() const { return listener_ != nullptr; }
    int port() const { return listener_ ? listener_->localPort() : 0; }
    bool connected() const { return channel_.isOpen(); }

    // One update cycle: accept a waiting program when none is connected, let the terminal
    // follow the link, then read at most once.
    void update();

    void sendText(std::string_view text) override;

  private:
    // However the link broke (a read, a flush or a key's send), the message pages go and
    // the terminal waits.
    void linkBroken();

    platform::NonBlockingNetwork& network_;
    Terminal& terminal_;
    bool started_ = false;
    bool linked_ = false;  // a program is connected, or was until a send broke the link
    std::unique_ptr<platform::NonBlockingListener> listener_;
    platform::RecordChannel channel_;
};

}  // namespace aviolog::gauge
