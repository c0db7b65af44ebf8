#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

namespace aviolog::platform {

// Socket error codes as the program reports them to the pilot and in diagnostics. They
// are the Windows Sockets numbers, so a code reads the same on every system.
namespace socket_error {
inline constexpr int kTimedOut = 10060;              // WSAETIMEDOUT
inline constexpr int kProtocolNotSupported = 10043;  // WSAEPROTONOSUPPORT
inline constexpr int kMessageTooLong = 10040;        // WSAEMSGSIZE
inline constexpr int kConnectionReset = 10054;       // WSAECONNRESET
inline constexpr int kConnectionRefused = 10061;     // WSAECONNREFUSED
inline constexpr int kHostNotFound = 11001;          // WSAHOST_NOT_FOUND
inline constexpr int kAddressNotAvailable = 10049;   // WSAEADDRNOTAVAIL
}  // namespace socket_error

enum class ReceiveResult { Data, TimedOut, Closed, Failed };

// One connected, blocking TCP stream. Every wait is bounded by the time-out given, on the
// wall clock. Closed when the object dies.
class TcpStream {
  public:
    virtual ~TcpStream() = default;
    // Sends every byte or fails (error()), waiting at most timeoutMs for the peer to take
    // them.
    virtual bool sendAll(std::string_view bytes, int timeoutMs) = 0;
    // Waits at most timeoutMs for data, then appends what one read returns, at most
    // maxBytes.
    virtual ReceiveResult receive(std::string& appendTo, std::size_t maxBytes, int timeoutMs) = 0;
    // The socket error code of the last failed call.
    virtual int error() const = 0;
};

enum class ConnectStep { Done, CreateSocket, Connect };

struct ConnectResult {
    std::unique_ptr<TcpStream> stream;  // set when step is Done
    ConnectStep step = ConnectStep::Done;
    int error = 0;
};

// Opens blocking TCP connections: name resolution, an optional local address to bind
// (empty means any), the connect bounded by timeoutMs.
class TcpConnector {
  public:
    virtual ~TcpConnector() = default;
    virtual ConnectResult connect(const std::string& host, int port,
                                  const std::string& localAddress, int timeoutMs) = 0;
    // This computer's host name, as it introduces itself to servers.
    virtual std::string localHostName() = 0;
};

}  // namespace aviolog::platform
