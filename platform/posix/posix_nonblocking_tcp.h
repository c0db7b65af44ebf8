#pragma once

#include "platform/nonblocking_tcp.h"

namespace aviolog::platform::posix {

// Non-blocking TCP over BSD sockets.
class PosixNonBlockingNetwork final : public NonBlockingNetwork {
  public:
    std::unique_ptr<NonBlockingStream> connect(const std::string& host, int port) override;
    ListenResult listen(int port, int backlog) override;
};

}  // namespace aviolog::platform::posix
