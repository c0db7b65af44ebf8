#include "bridge/flightgear_link.h"

#include <algorithm>

#include "common/text_format.h"

namespace aviolog::bridge {

FlightGearLink::FlightGearLink(platform::posix::EventLoop& loop, FlightGearSettings settings,
                               PictureHandler onPicture, Report report)
    : settings_(settings),
      onPicture_(std::move(onPicture)),
      report_(std::move(report)),
      udp_(loop, [this](std::string_view d, const sockaddr_in&) { onDatagram(d); }),
      props_(
          loop, settings.props, [this](std::string_view line) { onPropsLine(line); },
          [this] { onPropsConnected(); }) {}

bool FlightGearLink::start() {
    if (!udp_.bind(settings_.listen)) return false;
    props_.connect();
    return true;
}

void FlightGearLink::keepConnected() {
    props_.connect();
}

void FlightGearLink::onDatagram(std::string_view datagram) {
    // FlightGear may put more than one line into a datagram when it falls behind; the
    // newest complete line is the picture.
    while (!datagram.empty() && (datagram.back() == '\n' || datagram.back() == '\r')) {
        datagram.remove_suffix(1);
    }
    const std::size_t lastLine = datagram.rfind('\n');
    if (lastLine != std::string_view::npos) {
        // The older lines still count for the rate at touchdown: one of them may be the
        // last sample in the air.
        std::string_view older = datagram.substr(0, lastLine);
        while (!older.empty()) {
            const std::size_t end = older.find('\n');
            std::string_view line = older.substr(0, end);
            if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
            if (const auto earlier = fg::parsePacket(line); earlier && fg::loaded(*earlier)) {
                touchdownRate(*earlier);
            }
            older.remove_prefix(end == std::string_view::npos ? older.size() : end + 1);
        }
        datagram.remove_prefix(lastLine + 1);
    }
    auto sample = fg::parsePacket(datagram);
    if (!sample) {
        ++rejected_;
        noteFieldCount(datagram);
        return;
    }
    ++packets_;
    // While FlightGear loads (at its start, after a reset or a restart) nothing it sends
    // is the aircraft yet: no picture, so the program goes unanswered as with a simulator
    // that hangs, and finds the aircraft again once it is there.
    const bool loaded = fg::loaded(*sample);
    if (loaded == loading_) {
        loading_ = !loaded;
        report_(loaded ? "FlightGear has loaded the aircraft and its scenery"
                       : "FlightGear is loading: its data is not served until it has finished");
    }
    if (!loaded) return;
    last_ = *sample;
    wire::SimPicture picture = fg::toPicture(*sample, settings_.protocol);
    picture.touchdownVerticalSpeedFpm = touchdownRate(*sample);
    onPicture_(picture);
}

// FlightGear's flight model runs faster than it sends: the contact itself falls between
// two packets, and the last one in the air is the nearest sample of the rate before it.
double FlightGearLink::touchdownRate(const fg::Sample& sample) {
    const auto& v = sample.values;
    const bool wheelsDown = v[fg::kWow0] > 0.5 || v[fg::kWow1] > 0.5 || v[fg::kWow2] > 0.5;
    return touchdown_.update(wheelsDown, v[fg::kVerticalSpeed] * 60.0);
}

// A protocol file installed for another version of the bridge sends another number of
// fields: every packet is refused, and the pilot is told why once.
void FlightGearLink::noteFieldCount(std::string_view datagram) {
    if (fieldCountNoted_ || datagram.empty()) return;
    const auto fields = std::count(datagram.begin(), datagram.end(), ',') + 1;
    if (fields == fg::kFieldCount) return;
    fieldCountNoted_ = true;
    report_(
        format("FlightGear sends %d fields, this bridge reads %d: install its protocol "
               "file again (aviolog-bridge --print-fg-protocol)",
               static_cast<int>(fields), fg::kFieldCount));
}

void FlightGearLink::onPropsConnected() {
    report_("FlightGear's property interface connected");
    // Data mode: no prompts and no echo of each set.
    props_.send("data\r\n");
    if (!settings_.protocol.flapDetents) {
        flapSettingsSeen_ = 0;
        props_.send("ls /sim/flaps\r\n");
    }
}

void FlightGearLink::onPropsLine(std::string_view line) {
    // The only question the bridge asks is the list of the aircraft's flap settings:
    // "setting", "setting[1]", ... one per lever position, "up" included.
    if (line.substr(0, 7) != "setting") return;
    ++flapSettingsSeen_;
    if (flapSettingsSeen_ >= 2) settings_.protocol.flapDetents = flapSettingsSeen_ - 1;
}

void FlightGearLink::set(std::string_view property, std::string_view value) {
    const std::string line = fg::setLine(property, value);
    if (!props_.send(line)) {
        report_(format("FlightGear's property interface is not connected: not sent: %.*s",
                       static_cast<int>(line.size() - 2), line.data()));
    }
}

void FlightGearLink::setPaused(bool paused) {
    // As FlightGear's own pause key does: the flight model and the clock stop together.
    set("/sim/freeze/master", paused ? "true" : "false");
    set("/sim/freeze/clock", paused ? "true" : "false");
}

void FlightGearLink::setSimulationRate(double rate) {
    set("/sim/speed-up", format("%g", rate));
}

void FlightGearLink::clearCrash() {
    set("/sim/crashed", "false");
}

void FlightGearLink::setTankLevel(int tank, double share) {
    for (int fgTank = 0; fgTank < fg::kFgTanks; ++fgTank) {
        if (settings_.protocol.tankMap[fgTank] != tank) continue;
        const double capacity =
            last_ ? last_->values[fg::kTankCapacityFirst + fgTank] : wire::kUnknown;
        if (!(capacity > 0.0)) {
            report_(
                format("tank %d: FlightGear's capacity is not known yet; level not set", fgTank));
            return;
        }
        set(format("/consumables/fuel/tank[%d]/level-gal_us", fgTank),
            format("%.4f", share * capacity));
        return;
    }
}

void FlightGearLink::endSlew() {
    if (slewNoted_) return;
    slewNoted_ = true;
    report_("FlightGear cannot leave the UFO flight model in flight: slew stays on");
}

void FlightGearLink::showMessage(std::string_view text) {
    set(fg::kMessageProperty, text);
}

}  // namespace aviolog::bridge
