#include "bridge/xplane_link.h"

#include <arpa/inet.h>

#include <cmath>

#include "common/text_format.h"

namespace aviolog::bridge {

XPlaneLink::XPlaneLink(platform::posix::EventLoop& loop, XPlaneSettings settings,
                       PictureHandler onPicture, Report report)
    : settings_(settings),
      onPicture_(std::move(onPicture)),
      report_(std::move(report)),
      socket_(loop, [this](std::string_view d, const sockaddr_in& from) { onDatagram(d, from); }),
      beacon_(loop, [this](std::string_view d, const sockaddr_in& from) { onBeacon(d, from); }) {}

XPlaneLink::~XPlaneLink() {
    // Leave X-Plane sending nothing to a port nobody reads.
    if (settings_.simulator) subscribe(0);
}

bool XPlaneLink::start() {
    if (!socket_.bind(settings_.listen)) return false;
    if (settings_.simulator) {
        report_("asking X-Plane at " + addressText(*settings_.simulator) + " for its datarefs");
        subscribe(settings_.rateHz);
        return true;
    }
    sockaddr_in any{};
    any.sin_family = AF_INET;
    any.sin_addr.s_addr = htonl(INADDR_ANY);
    any.sin_port = htons(static_cast<std::uint16_t>(settings_.beaconPort));
    if (!beacon_.bind(any, true)) return false;
    if (!beacon_.joinGroup(std::string(xp::kBeaconGroup))) {
        report_("cannot join X-Plane's beacon group; only beacons sent to this computer arrive");
    }
    report_(format("looking for X-Plane's beacon on UDP port %d", settings_.beaconPort));
    return true;
}

void XPlaneLink::onBeacon(std::string_view datagram, const sockaddr_in& from) {
    const auto beacon = xp::parseBeacon(datagram);
    // Only the master machine flies the aircraft; external visuals and IOS do not.
    if (!beacon || beacon->hostId != 1 || beacon->role != 1) return;
    sockaddr_in simulator = from;
    simulator.sin_port = htons(static_cast<std::uint16_t>(beacon->port));
    if (settings_.simulator && settings_.simulator->sin_addr.s_addr == simulator.sin_addr.s_addr &&
        settings_.simulator->sin_port == simulator.sin_port) {
        return;
    }
    settings_.simulator = simulator;
    report_(format("found X-Plane %d on %s (%s)", beacon->version, addressText(simulator).c_str(),
                   beacon->computerName.c_str()));
    subscribe(settings_.rateHz);
}

void XPlaneLink::subscribe(int ratePerSec) {
    for (int i = 0; i < xp::kRefCount; ++i) send(xp::rrefRequest(ratePerSec, i, xp::kDatarefs[i]));
}

void XPlaneLink::keepSubscribed() {
    if (settings_.simulator && packets_ == packetsAtLastCheck_) subscribe(settings_.rateHz);
    packetsAtLastCheck_ = packets_;
}

void XPlaneLink::send(const std::string& packet) {
    if (settings_.simulator) socket_.sendTo(packet, *settings_.simulator);
}

void XPlaneLink::onDatagram(std::string_view datagram, const sockaddr_in& from) {
    // Answers come from X-Plane's own address; anything else is not for the picture.
    if (settings_.simulator && from.sin_addr.s_addr != settings_.simulator->sin_addr.s_addr) {
        ++rejected_;
        return;
    }
    const auto pairs = xp::parseRref(datagram);
    if (!pairs) {
        ++rejected_;
        return;
    }
    for (const xp::RrefValue& v : *pairs) {
        // A value that is not a number keeps the one before it.
        if (v.index >= 0 && v.index < xp::kRefCount && std::isfinite(v.value)) {
            values_[v.index] = v.value;
        }
    }
    ++packets_;
    wire::SimPicture picture = xp::toPicture(values_, settings_.protocol);
    // The rate at the first frame the gear carries weight, from the flight model's own
    // vertical velocity: the indicator is damped and would give a rate from before.
    constexpr double kFpmPerMetrePerSecond = 196.8503937;
    const double gearForceN = values_[xp::kGearNormalForce];
    picture.touchdownVerticalSpeedFpm =
        touchdown_.update(std::isfinite(gearForceN) && gearForceN > 0.0,
                          values_[xp::kLocalVy] * kFpmPerMetrePerSecond);
    onPicture_(picture);
}

void XPlaneLink::noteOnce(bool& noted, const std::string& line) {
    if (noted) return;
    noted = true;
    report_(line);
}

void XPlaneLink::setPaused(bool paused) {
    send(xp::commandPacket(paused ? "sim/operation/pause_on" : "sim/operation/pause_off"));
}

void XPlaneLink::setSimulationRate(double rate) {
    // The rate served counts the faster ground travel too: the rate set is all of it.
    send(xp::drefPacket(static_cast<float>(rate), "sim/time/sim_speed"));
    send(xp::drefPacket(1.0f, "sim/time/ground_speed"));
}

void XPlaneLink::clearCrash() {
    noteOnce(crashNoted_, "X-Plane's crash cannot be cleared from the network");
}

void XPlaneLink::setTankLevel(int tank, double share) {
    for (int xpTank = 0; xpTank < xp::kXpTanks; ++xpTank) {
        if (settings_.protocol.tankMap[xpTank] != tank) continue;
        const auto capacityKg = xp::tankCapacityKg(values_, xpTank);
        if (!capacityKg) {
            report_(format("tank %d: X-Plane's capacity is not known yet; level not set", xpTank));
            return;
        }
        send(xp::drefPacket(static_cast<float>(share * *capacityKg),
                            format("sim/flightmodel/weight/m_fuel[%d]", xpTank)));
        return;
    }
}

void XPlaneLink::endSlew() {}  // X-Plane has no slew mode to end

void XPlaneLink::showMessage(std::string_view text) {
    noteOnce(messageNoted_, "X-Plane shows no messages from the network; shown here instead");
    report_("[simulator message] " + std::string(text));
}

}  // namespace aviolog::bridge
