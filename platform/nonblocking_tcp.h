#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace aviolog::platform {

enum class StreamRead { Data, WouldBlock, Closed, Failed };

// One TCP stream that never waits: every call returns at once. A stream made by connect
// may still be connecting; sends and reads before the connect completes would block.
// Closed when the object dies.
class NonBlockingStream {
  public:
    virtual ~NonBlockingStream() = default;
    // True once the connection is established. A connect that failed shows as a failed
    // read or send.
    virtual bool connected() = 0;
    // The number of bytes the system took (0 when it would block), or nothing when the
    // connection failed.
    virtual std::optional<std::size_t> send(std::string_view bytes) = 0;
    // What one read returns, at most into.size() bytes; gotBytes is set for Data.
    virtual StreamRead receive(std::span<char> into, std::size_t& gotBytes) = 0;
};

// A listening socket; accept takes one waiting connection, or returns null at once.
class NonBlockingListener {
  public:
    virtual ~NonBlockingListener() = default;
    virtual std::unique_ptr<NonBlockingStream> accept() = 0;
    // The port it listens on (the one the system chose when asked for port 0).
    virtual int localPort() const = 0;
};

// The steps of setting up a listener, so that a failure can name the one that failed.
enum class ListenStep { Done, CreateSocket, NonBlocking, Bind, Listen };

struct ListenResult {
    std::unique_ptr<NonBlockingListener> listener;  // set when step is Done
    ListenStep step = ListenStep::Done;
    int error = 0;
};

class NonBlockingNetwork {
  public:
    virtual ~NonBlockingNetwork() = default;
    // Starts an IPv4 connect to host (dotted decimal or a name) and port without waiting
    // for it; null when no socket could be made or the host is unknown.
    virtual std::unique_ptr<NonBlockingStream> connect(const std::string& host, int port) = 0;
    // Listens on every local IPv4 address.
    virtual ListenResult listen(int port, int backlog) = 0;
};

}  // namespace aviolog::platform
