#include "reporting/phpvms_flight.h"

#include <algorithm>
#include <cctype>
#include <nlohmann/json.hpp>
#include <utility>

#include "common/code_page.h"
#include "common/text_format.h"
#include "common/units.h"
#include "config/settings.h"
#include "model/flight_record.h"
#include "model/flight_summary.h"
#include "platform/background_gets.h"
#include "reporting/acars_view.h"
#include "reporting/phpvms_api.h"
#include "simlink/sim_variables.h"

namespace aviolog::reporting {
namespace {

using nlohmann::json;
using Kind = PhpVmsCall::Kind;

// phpVMS's own phase codes of a PIREP's status.
constexpr const char* kOffBlocks = "OFB";
constexpr const char* kTakeOff = "TOF";
constexpr const char* kLanded = "LAN";
constexpr const char* kOnBlocks = "ONB";
constexpr const char* kPositionPath = "/api/pireps/{pirep}/acars/position";

// The realism monitor's lines, after their "HH:MM  " time: the pilot's acts a VA wants to
// see beside the flight's moments.
constexpr std::string_view kRealismLines[] = {
    "Slew ON", "Slew OFF", "Simulation Rate ", "UTC Jump: ", "Failled to reset counter", "CRASH",
};

bool serverFault(const std::optional<platform::WebAnswer>& answer) {
    return !answer || answer->status >= 500 || answer->status == 429;
}

}  // namespace

std::optional<std::string_view> realismEvent(std::string_view line) {
    constexpr std::size_t kTimeWidth = 7;  // "HH:MM  "
    const auto digit = [&](std::size_t i) {
        return std::isdigit(static_cast<unsigned char>(line[i])) != 0;
    };
    if (line.size() <= kTimeWidth || !digit(0) || !digit(1) || line[2] != ':' || !digit(3) ||
        !digit(4) || line.substr(5, 2) != "  ") {
        return std::nullopt;
    }
    const std::string_view text = line.substr(kTimeWidth);
    for (std::string_view known : kRealismLines) {
        // "Slew ON" must not take "Slew OFF"'s place: a whole line or a prefix ending in a space.
        const bool whole = known.back() != ' ';
        if (whole ? text == known : text.starts_with(known)) return text;
    }
    return std::nullopt;
}

void PhpVmsFlight::useBid(std::string airlineId, std::string aircraftId) {
    airlineId_ = std::move(airlineId);
    aircraftId_ = std::move(aircraftId);
}

void PhpVmsFlight::dropQueued() {
    c_.outbox.clear();
    positionCallWaiting_ = false;
    if (sending_) frontGone_ = true;
}

void PhpVmsFlight::begin() {
    dropQueued();
    active_ = true;
    cancelWanted_ = false;
    backoffTicks_ = 0;
    failedInARow_ = 0;
    positionNumber_ = 0;
    positions_.clear();
    pirepId_.reset();
    lastRefusal_.clear();
    flightKey_ = format("%s%s%s", c_.record.flightNumber.c_str(), c_.startDate.c_str(),
                        c_.startTime.c_str());
    flightKey_.erase(std::remove_if(flightKey_.begin(), flightKey_.end(),
                                    [](unsigned char ch) { return !std::isalnum(ch); }),
                     flightKey_.end());
    // The ids come from the bid; without one the site says which airline and aircraft.
    if (airlineId_.empty()) push(Kind::User, "GET", "/api/user");
    if (aircraftId_.empty()) push(Kind::Fleet, "GET", "/api/user/fleet");
    push(Kind::Prefile, "POST", "/api/pireps/prefile");
    // The lines logged before the site heard of the flight (the Start line) go first.
    for (const std::string& line : c_.window.lines(model::Channel::Log)) {
        lineAdded(model::Channel::Log, line);
    }
    pump();
}

void PhpVmsFlight::push(Kind kind, std::string method, std::string path, std::string body) {
    c_.outbox.push({kind, std::move(method), std::move(path), std::move(body)});
}

void PhpVmsFlight::samplePosition() {
    std::int32_t latitude = 0;
    std::uint32_t longitude = 0;
    std::int32_t altitudeM = 0;
    std::int32_t heading = 0;
    std::uint32_t groundSpeed = 0;
    std::uint32_t indicated = 0;
    std::int32_t vertical = 0;
    simlink::ReadBatch batch(c_.link);
    batch.add(simlink::var::Latitude, latitude)
        .add(simlink::var::Longitude, longitude)
        .add(simlink::var::Altitude, altitudeM)
        .add(simlink::var::Heading, heading)
        .add(simlink::var::GroundSpeed, groundSpeed)
        .add(simlink::var::IndicatedAirspeed, indicated)
        .add(simlink::var::VerticalSpeed, vertical);
    if (!batch.process()) return;  // a tick without the simulator has no position
    using namespace simlink::convert;
    ++positionNumber_;
    json position{{"id", format("%s-%d", flightKey_.c_str(), positionNumber_)},
                  {"lat", latitudeDegrees(latitude)},
                  {"lon", longitudeDegrees(longitude)},
                  {"altitude", static_cast<int>(altitudeFeet(altitudeM))},
                  {"heading", static_cast<int>(headingDegrees(heading)) % 360},
                  {"gs", static_cast<int>(groundSpeedKnots(groundSpeed))},
                  {"ias", indicatedAirspeedKnots(indicated)},
                  {"vs", static_cast<int>(verticalSpeedFpm(vertical))},
                  {"distance", static_cast<int>(c_.flightLengthNm)}};
    // phpVMS keeps a position's fuel in lb; a failed or implausible read is left out
    // rather than sent as a figure the site would chart.
    const double fuelKg = simlink::readFuelOnBoardKg(c_.link);
    if (fuelKg >= 0.0) position["fuel"] = static_cast<int>(fuelKg * kPoundsPerKg);
    positions_.push_back(position.dump());
}

void PhpVmsFlight::tick() {
    if (!active_) return;
    samplePosition();
    // Positions that wait for a batch already on its way go with the next one.
    if (!positionCallWaiting_ && !positions_.empty()) {
        std::string batch = "{\"positions\":[";
        for (std::size_t i = 0; i < positions_.size(); ++i) {
            if (i > 0) batch += ',';
            batch += positions_[i];
        }
        batch += "]}";
        push(Kind::Plain, "POST", kPositionPath, std::move(batch));
        positions_.clear();
        positionCallWaiting_ = true;
    }
    if (backoffTicks_ > 0) --backoffTicks_;
    pump();
}

void PhpVmsFlight::moment(const char* status, std::string_view event) {
    if (!active_) return;
    push(Kind::Plain, "POST", "/api/pireps/{pirep}/update", json{{"status", status}}.dump());
    push(Kind::Plain, "POST", "/api/pireps/{pirep}/acars/events",
         json{{"events", json::array({{{"event", utf8FromWindows1252(event)}}})}}.dump());
    pump();
}

void PhpVmsFlight::lineAdded(model::Channel channel, const std::string& line) {
    if (!active_ || channel != model::Channel::Log || line.empty()) return;
    constexpr std::size_t kLongestLog = 1000;  // what the site's log rule takes
    push(Kind::Plain, "POST", "/api/pireps/{pirep}/acars/logs",
         json{{"logs", json::array({{{"log", utf8FromWindows1252(line.substr(0, kLongestLog))}}})}}
             .dump());
    if (const auto event = realismEvent(line)) {
        push(Kind::Plain, "POST", "/api/pireps/{pirep}/acars/events",
             json{{"events", json::array({{{"event", utf8FromWindows1252(*event)}}})}}.dump());
    }
    pump();
}

void PhpVmsFlight::file(const model::FlightSummary& summary) {
    if (!active_) return;
    push(Kind::File, "POST", "/api/pireps/{pirep}/file",
         fileBody(summary, c_.record, c_.settings.company.UnitSystem));
    // Filing does not wait for the next tick.
    backoffTicks_ = 0;
    pump();
}

void PhpVmsFlight::cancel() {
    if (!active_) return;
    // Nothing more of this flight is worth sending.
    const bool prefileUnderWay = sending_ && !pirepId_;
    dropQueued();
    if (!pirepId_) {
        // The site has nothing to cancel yet; a prefile on its way is cancelled once it is in.
        if (prefileUnderWay) {
            cancelWanted_ = true;
        } else {
            active_ = false;
        }
        return;
    }
    push(Kind::Cancel, "PUT", "/api/pireps/{pirep}/cancel");
    backoffTicks_ = 0;
    pump();
}

std::optional<std::string> PhpVmsFlight::resolve(const std::string& path) const {
    std::string text = path;
    const std::pair<const char*, const std::optional<std::string>> fills[] = {
        {"{pirep}", pirepId_},
    };
    for (const auto& [name, value] : fills) {
        const std::size_t at = text.find(name);
        if (at == std::string::npos) continue;
        if (!value) return std::nullopt;
        text.replace(at, std::string_view(name).size(), *value);
    }
    return text;
}

void PhpVmsFlight::pump() {
    if (sending_ || backoffTicks_ > 0) return;
    const PhpVmsCall* call = c_.outbox.front();
    if (!call) return;
    const std::optional<std::string> path = resolve(call->path);
    if (!path) return;  // waits for the prefile's answer
    PhpVmsCall copy = *call;
    if (copy.kind == Kind::Prefile) copy.body = prefileBody(c_.record, airlineId_, aircraftId_);
    sending_ = true;
    c_.gets.send(kLane, phpVmsRequest(c_.settings.phpVms, copy.method, *path, copy.body),
                 [this, copy](std::optional<platform::WebAnswer> answer) {
                     answered(copy, std::move(answer));
                 });
}

void PhpVmsFlight::answered(const PhpVmsCall& call, std::optional<platform::WebAnswer> answer) {
    sending_ = false;
    const bool gone = std::exchange(frontGone_, false);
    if (gone && call.kind != Kind::Prefile) {
        pump();
        return;
    }
    if (serverFault(answer)) {
        if (gone) {
            active_ = false;  // dismissed, and the site never had the PIREP
            return;
        }
        // Tried again after 1, 2, 4 ... ticks; the call keeps its place and its ids.
        backoffTicks_ = std::min(1 << std::min(failedInARow_, 3), kLongestBackoffTicks);
        ++failedInARow_;
        return;
    }
    failedInARow_ = 0;
    if (!gone) c_.outbox.pop();
    if (call.path == kPositionPath) {
        positionCallWaiting_ = false;
    }
    if (answer->status >= 200 && answer->status < 300) {
        taken(call, answer->body);
    } else {
        refused(call, *answer);
    }
    pump();
}

void PhpVmsFlight::taken(const PhpVmsCall& call, const std::string& body) {
    switch (call.kind) {
        case Kind::User:
            if (auto id = readUserAirline(body)) airlineId_ = *id;
            break;
        case Kind::Fleet: {
            const auto fleet = readFleet(body);
            const auto byReg =
                std::find_if(fleet.begin(), fleet.end(), [&](const PhpVmsAircraft& a) {
                    return !a.registration.empty() && a.registration == c_.record.registration;
                });
            const auto byType =
                std::find_if(fleet.begin(), fleet.end(), [&](const PhpVmsAircraft& a) {
                    return !a.icao.empty() && a.icao == c_.record.aircraftType;
                });
            if (byReg != fleet.end()) {
                aircraftId_ = byReg->id;
            } else if (byType != fleet.end()) {
                aircraftId_ = byType->id;
            } else if (!fleet.empty()) {
                aircraftId_ = fleet.front().id;
            }
            break;
        }
        case Kind::Prefile:
            pirepId_ = readPirepId(body);
            if (!pirepId_) {
                lastRefusal_ = kPhpVmsNoId;
                c_.window.setStatus(lastRefusal_);
                c_.view.addAcarsMessage(lastRefusal_);
                dropQueued();
                active_ = false;
            } else if (std::exchange(cancelWanted_, false)) {
                push(Kind::Cancel, "PUT", "/api/pireps/{pirep}/cancel");
            }
            break;
        case Kind::File:
            c_.window.setStatus(format("PIREP %s filed with the VA.", pirepId_->c_str()));
            active_ = false;
            if (onFiled_) onFiled_();
            break;
        case Kind::Cancel:
            active_ = false;
            break;
        case Kind::Plain:
            break;
    }
}

void PhpVmsFlight::refused(const PhpVmsCall& call, const platform::WebAnswer& answer) {
    lastRefusal_ = refusalText(answer, c_.settings.phpVms.ApiKey);
    c_.window.setStatus(lastRefusal_);
    c_.view.addAcarsMessage(lastRefusal_);
    // Without a PIREP nothing else of the flight can go; the flight is kept on this
    // computer and "Send LOG" files it later. A refused position or log line is dropped.
    if (call.kind != Kind::Plain) {
        dropQueued();
        active_ = false;
    }
}

bool PhpVmsMoments::on() const {
    return config::usesPhpVms(settings_.company);
}

void PhpVmsMoments::outMessage(int h, int m, double fuelKg, double weightKg) {
    inner_.outMessage(h, m, fuelKg, weightKg);
    if (on()) flight_.moment(kOffBlocks, "Blocks off");
}
void PhpVmsMoments::offMessage(int h, int m, double fuelKg, double weightKg) {
    inner_.offMessage(h, m, fuelKg, weightKg);
    if (on()) flight_.moment(kTakeOff, "Take off");
}
void PhpVmsMoments::onMessage(int h, int m, double fuelKg, double weightKg) {
    inner_.onMessage(h, m, fuelKg, weightKg);
    if (on()) flight_.moment(kLanded, "Landed");
}
void PhpVmsMoments::inMessage(const model::BlocksOnReport& report) {
    inner_.inMessage(report);
    if (on()) flight_.moment(kOnBlocks, "Blocks on");
}

}  // namespace aviolog::reporting
