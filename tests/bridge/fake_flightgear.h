#pragma once

// A stand-in for FlightGear on loopback: a property tree, sent as generic-protocol UDP
// lines in the format that the shipped protocol file defines, and a property interface
// (the --telnet/--props port) that records every line and applies each "set" to the tree.

#include <atomic>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace aviolog::test {

// A UDP port on loopback that was free a moment ago.
int freeUdpPort();

class FakeFlightGear {
  public:
    // protocolFile: the generic protocol XML to send by.
    explicit FakeFlightGear(const std::string& protocolFile);
    ~FakeFlightGear();
    FakeFlightGear(const FakeFlightGear&) = delete;
    FakeFlightGear& operator=(const FakeFlightGear&) = delete;

    // Starts sending to 127.0.0.1:udpPort at rateHz and serving the property interface.
    bool start(int udpPort, double rateHz);
    int propsPort() const { return propsPort_; }

    void set(const std::string& property, double value);
    void setText(const std::string& property, const std::string& value);
    double get(const std::string& property) const;
    // Stops or resumes the datagrams, as a FlightGear that hangs or comes back.
    void setSending(bool sending) { sending_ = sending; }
    // Sends one datagram as it is, between the regular ones.
    void sendRaw(const std::string& datagram);
    // Called before each datagram with the seconds since the last: the test's flight.
    void setStepper(std::function<void(FakeFlightGear&, double)> stepper);

    std::vector<std::string> propsLines() const;
    int chunkCount() const { return static_cast<int>(chunks_.size()); }
    std::string packet() const;

  private:
    struct Chunk {
        std::string node;
        std::string type;
        std::string format;
    };
    void sendLoop(double rateHz);
    void propsLoop();
    void handleLine(const std::string& line, int fd);

    std::vector<Chunk> chunks_;
    mutable std::mutex mutex_;
    std::map<std::string, std::string> tree_;
    std::vector<std::string> propsLines_;
    std::function<void(FakeFlightGear&, double)> stepper_;
    std::atomic<bool> sending_{true};
    std::atomic<bool> stop_{false};
    int udpFd_ = -1;
    int udpPort_ = 0;
    int listenFd_ = -1;
    int propsPort_ = 0;
    std::thread sender_;
    std::thread props_;
};

}  // namespace aviolog::test
