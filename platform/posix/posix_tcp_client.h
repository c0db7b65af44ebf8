#pragma once

#include <netdb.h>

#include <memory>
#include <string>

#include "platform/clock.h"
#include "platform/tcp_client.h"

namespace aviolog::platform::posix {

// Blocking TCP over BSD sockets. Waits are polls bounded on the given clock, so a peer
// that stops answering costs at most the time-out.
class PosixTcpConnector final : public TcpConnector {
  public:
    explicit PosixTcpConnector(Clock& clock) : clock_(clock) {}

    ConnectResult connect(const std::string& host, int port, const std::string& localAddress,
                          int timeoutMs) override;
    std::string localHostName() override;

  private:
    Clock& clock_;
};

// The Windows Sockets number for an errno value, so the pilot sees the same codes as on
// Windows; values without a counterpart are returned as they are.
int socketErrorCode(int errnoValue);

using AddressList = std::unique_ptr<addrinfo, decltype(&::freeaddrinfo)>;
// The stream addresses of host (a name or a numeric address) and port, of the family
// asked for; empty when the name does not resolve.
AddressList streamAddresses(const std::string& host, int port, int family = AF_UNSPEC);

}  // namespace aviolog::platform::posix
