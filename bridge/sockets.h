#pragma once

// The bridge's sockets: a UDP socket for the simulator's datagrams and a line-based TCP
// client for FlightGear's property interface, both non-blocking, run by an EventLoop.

#include <netinet/in.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/posix/event_loop.h"

namespace aviolog::bridge {

// An IPv4 address and port; resolve() takes a dotted address or a host name.
std::optional<sockaddr_in> resolve(const std::string& host, int port);
std::string addressText(const sockaddr_in& address);

// A bound UDP socket; every datagram received goes to the handler. Closed when it dies.
class UdpSocket {
  public:
    using Handler = std::function<void(std::string_view datagram, const sockaddr_in& from)>;

    UdpSocket(platform::posix::EventLoop& loop, Handler handler);
    ~UdpSocket();
    UdpSocket(const UdpSocket&) = delete;
    UdpSocket& operator=(const UdpSocket&) = delete;

    // False, with errno set, when the address cannot be bound.
    bool bind(const sockaddr_in& address, bool reuse = false);
    // Joins an IPv4 multicast group on every interface.
    bool joinGroup(const std::string& group);
    bool sendTo(std::string_view datagram, const sockaddr_in& to);
    int port() const;

  private:
    void receive();

    platform::posix::EventLoop& loop_;
    Handler handler_;
    std::vector<char> buffer_;
    int fd_ = -1;
};

// A TCP connection that sends and receives CR LF lines and connects again when lost.
class LineClient {
  public:
    using LineHandler = std::function<void(std::string_view line)>;
    using ConnectHandler = std::function<void()>;

    LineClient(platform::posix::EventLoop& loop, sockaddr_in peer, LineHandler onLine,
               ConnectHandler onConnect);
    ~LineClient();
    LineClient(const LineClient&) = delete;
    LineClient& operator=(const LineClient&) = delete;

    // Starts connecting unless connected or connecting; the owner calls it again from a
    // timer while connected() is false.
    void connect();
    bool connected() const { return connected_; }
    // False when not connected, or when the peer stopped taking data.
    bool send(std::string_view bytes);

  private:
    void onEvents(short revents);
    void close();

    platform::posix::EventLoop& loop_;
    sockaddr_in peer_;
    LineHandler onLine_;
    ConnectHandler onConnect_;
    int fd_ = -1;
    bool connected_ = false;
    std::string input_;
    std::string output_;
};

}  // namespace aviolog::bridge
