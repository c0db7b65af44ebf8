#pragma once

// The bridge's link to X-Plane 11/12 over its UDP network interface: RREF
// subscriptions for every dataref the variables need, DREF and CMND for the writes, and
// the BECN beacon to find the simulator when no address is given.

#include <functional>
#include <optional>
#include <string>

#include "bridge/offset_model.h"
#include "bridge/sockets.h"
#include "bridge/touchdown_latch.h"
#include "bridge/xplane_protocol.h"

namespace aviolog::bridge {

struct XPlaneSettings {
    std::optional<sockaddr_in> simulator;  // nothing: found by its beacon
    sockaddr_in listen{};                  // where the answers arrive (port 0: any)
    int beaconPort = xp::kBeaconPort;
    int rateHz = 20;
    xp::Options protocol;
};

class XPlaneLink final : public SimCommands {
  public:
    using PictureHandler = std::function<void(const wire::SimPicture&)>;
    using Report = std::function<void(const std::string& line)>;

    XPlaneLink(platform::posix::EventLoop& loop, XPlaneSettings settings, PictureHandler onPicture,
               Report report);
    ~XPlaneLink() override;

    bool start();
    // Called every two seconds: subscribes again when X-Plane has gone quiet (restarted,
    // or the subscriptions were lost with a datagram).
    void keepSubscribed();

    std::uint64_t packets() const { return packets_; }
    std::uint64_t rejected() const { return rejected_; }

    void setPaused(bool paused) override;
    void setSimulationRate(double rate) override;
    void clearCrash() override;
    void setTankLevel(int tank, double share) override;
    void endSlew() override;
    void showMessage(std::string_view text) override;

  private:
    void onDatagram(std::string_view datagram, const sockaddr_in& from);
    void onBeacon(std::string_view datagram, const sockaddr_in& from);
    void subscribe(int ratePerSec);
    void send(const std::string& packet);
    void noteOnce(bool& noted, const std::string& line);

    XPlaneSettings settings_;
    PictureHandler onPicture_;
    Report report_;
    UdpSocket socket_;
    UdpSocket beacon_;
    xp::Values values_ = xp::unknownValues();
    TouchdownLatch touchdown_{TouchdownLatch::Take::AtContact};
    std::uint64_t packets_ = 0;
    std::uint64_t rejected_ = 0;
    std::uint64_t packetsAtLastCheck_ = 0;
    bool crashNoted_ = false;
    bool messageNoted_ = false;
};

}  // namespace aviolog::bridge
