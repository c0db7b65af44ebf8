#pragma once

// The bridge's link to a running FlightGear: its state arrives as generic-protocol
// datagrams; the program's writes leave as lines to its property interface.

#include <functional>
#include <optional>
#include <string>

#include "bridge/flightgear_protocol.h"
#include "bridge/offset_model.h"
#include "bridge/sockets.h"
#include "bridge/touchdown_latch.h"

namespace aviolog::bridge {

struct FlightGearSettings {
    sockaddr_in listen{};  // where FlightGear sends the generic protocol
    sockaddr_in props{};   // FlightGear's --telnet / --props port
    fg::Options protocol;
};

class FlightGearLink final : public SimCommands {
  public:
    using PictureHandler = std::function<void(const wire::SimPicture&)>;
    using Report = std::function<void(const std::string& line)>;

    FlightGearLink(platform::posix::EventLoop& loop, FlightGearSettings settings,
                   PictureHandler onPicture, Report report);

    // False, with errno set, when the datagram port cannot be bound.
    bool start();
    // Called every second or so: connects the property interface again when lost.
    void keepConnected();

    std::uint64_t packets() const { return packets_; }
    std::uint64_t rejected() const { return rejected_; }
    bool propsConnected() const { return props_.connected(); }

    void setPaused(bool paused) override;
    void setSimulationRate(double rate) override;
    void clearCrash() override;
    void setTankLevel(int tank, double share) override;
    void endSlew() override;
    void showMessage(std::string_view text) override;

  private:
    void onDatagram(std::string_view datagram);
    void noteFieldCount(std::string_view datagram);
    double touchdownRate(const fg::Sample& sample);
    void onPropsLine(std::string_view line);
    void onPropsConnected();
    void set(std::string_view property, std::string_view value);

    FlightGearSettings settings_;
    PictureHandler onPicture_;
    Report report_;
    UdpSocket udp_;
    LineClient props_;
    std::optional<fg::Sample> last_;
    TouchdownLatch touchdown_{TouchdownLatch::Take::LastAirborne};
    std::uint64_t packets_ = 0;
    std::uint64_t rejected_ = 0;
    int flapSettingsSeen_ = 0;
    bool slewNoted_ = false;
    bool loading_ = false;
    bool fieldCountNoted_ = false;
};

}  // namespace aviolog::bridge
