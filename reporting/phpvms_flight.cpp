#include "reporting/phpvms_flight.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <set>
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
#include "reporting/pilot_log_file.h"
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
constexpr const char* kPirepMark = "{pirep}";
constexpr const char* kPositionPath = "/api/pireps/{pirep}/acars/position";
constexpr std::string_view kPositionTail = "/acars/position";
constexpr std::string_view kPirepsPath = "/api/pireps/";
constexpr std::string_view kLogsTail = "/acars/logs";
constexpr std::size_t kLongestLog = 1000;  // what the site's log rule takes
// The flight's own lines of the journal.
constexpr const char* kJournalActive = "phpvms.active";
constexpr const char* kJournalPirep = "phpvms.pirep";
constexpr const char* kJournalFlightKey = "phpvms.flightKey";
constexpr const char* kJournalPositionNumber = "phpvms.positionNumber";
constexpr const char* kJournalAirline = "phpvms.airline";
constexpr const char* kJournalAircraft = "phpvms.aircraft";
constexpr const char* kJournalPosition = "phpvms.position";

// The realism monitor's lines, after their "HH:MM  " time: the pilot's acts a VA wants to
// see beside the flight's moments.
constexpr std::string_view kRealismLines[] = {
    "Slew ON", "Slew OFF", "Simulation Rate ", "UTC Jump: ", "Failled to reset counter", "CRASH",
};

bool serverFault(const std::optional<platform::WebAnswer>& answer) {
    return !answer || answer->status >= 500 || answer->status == 429;
}

// A file sent again after the site took it (its answer was lost, or the program died
// before it could count it) finds the PIREP read-only: it is filed, as the pilot wanted.
bool alreadyFiled(const PhpVmsCall& call, const platform::WebAnswer& answer) {
    if (call.kind != PhpVmsCall::Kind::File || answer.status != 400) return false;
    const json problem = json::parse(answer.body, nullptr, false);
    return problem.is_object() && problem.contains("type") && problem["type"].is_string() &&
           problem["type"].get<std::string>().ends_with("/pirep-read-only");
}

std::string withPirep(std::string path, const std::string& id) {
    const std::size_t at = path.find(kPirepMark);
    if (at != std::string::npos) path.replace(at, std::string_view(kPirepMark).size(), id);
    return path;
}

// The PIREP a call's path names; empty while it waits for the prefile.
std::string pirepOf(std::string_view path) {
    if (!path.starts_with(kPirepsPath)) return {};
    path.remove_prefix(kPirepsPath.size());
    const std::string_view id = path.substr(0, path.find('/'));
    return id == kPirepMark || id == "prefile" ? std::string{} : std::string(id);
}

// The ids of the positions a batch carries.
std::vector<std::string> positionIds(std::string_view body) {
    std::vector<std::string> ids;
    const json batch = json::parse(body, nullptr, false);
    if (!batch.is_object() || !batch.contains("positions") || !batch["positions"].is_array()) {
        return ids;
    }
    for (const json& position : batch["positions"]) {
        if (position.is_object() && position.contains("id") && position["id"].is_string()) {
            ids.push_back(position["id"].get<std::string>());
        }
    }
    return ids;
}

// The line an ACARS log call carries.
std::string loggedLine(std::string_view body) {
    const json call = json::parse(body, nullptr, false);
    if (!call.is_object() || !call.contains("logs") || !call["logs"].is_array() ||
        call["logs"].empty() || !call["logs"][0].is_object() || !call["logs"][0].contains("log") ||
        !call["logs"][0]["log"].is_string()) {
        return {};
    }
    return call["logs"][0]["log"].get<std::string>();
}

std::string positionId(std::string_view position) {
    const json p = json::parse(position, nullptr, false);
    if (!p.is_object() || !p.contains("id") || !p["id"].is_string()) return {};
    return p["id"].get<std::string>();
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

bool PhpVmsFlight::ours(const PhpVmsCall& call) const {
    if (call.kind == Kind::User || call.kind == Kind::Fleet || call.kind == Kind::Prefile) {
        return true;
    }
    const std::string pirep = pirepOf(call.path);
    return pirep.empty() ? call.path.find(kPirepMark) != std::string::npos : pirep == pirepId_;
}

bool PhpVmsFlight::positionCallWaiting() const {
    return std::any_of(
        c_.outbox.calls().begin(), c_.outbox.calls().end(),
        [&](const PhpVmsCall& call) { return call.path.ends_with(kPositionTail) && ours(call); });
}

void PhpVmsFlight::dropQueued() {
    std::deque<PhpVmsCall> kept;
    bool frontDropped = false;
    for (const PhpVmsCall& call : c_.outbox.calls()) {
        if (!ours(call)) {
            kept.push_back(call);
        } else if (&call == c_.outbox.front()) {
            frontDropped = true;
        }
    }
    if (kept.size() == c_.outbox.size()) return;
    c_.outbox.replace(std::move(kept));
    if (sending_ && frontDropped) frontGone_ = true;
}

std::vector<std::string> PhpVmsFlight::filesWaiting() const {
    std::vector<std::string> flights;
    for (const PhpVmsCall& call : c_.outbox.calls()) {
        if (call.kind == Kind::File && !call.flight.empty()) flights.push_back(call.flight);
    }
    return flights;
}

void PhpVmsFlight::queuePrefile(bool inFront) {
    std::deque<PhpVmsCall> chain;
    // The ids come from the bid; without one the site says which airline and aircraft.
    if (airlineId_.empty()) chain.push_back({Kind::User, "GET", "/api/user", {}, {}});
    if (aircraftId_.empty()) chain.push_back({Kind::Fleet, "GET", "/api/user/fleet", {}, {}});
    chain.push_back({Kind::Prefile, "POST", "/api/pireps/prefile", {}, {}});
    if (!inFront) {
        for (PhpVmsCall& call : chain) c_.outbox.push(std::move(call));
        return;
    }
    for (const PhpVmsCall& call : c_.outbox.calls()) chain.push_back(call);
    c_.outbox.replace(std::move(chain));
}

void PhpVmsFlight::begin() {
    // What an earlier flight left that still waits for its PIREP's number can never go.
    pirepId_.reset();
    dropQueued();
    active_ = true;
    resumed_ = false;
    cancelWanted_ = false;
    backoffTicks_ = 0;
    failedInARow_ = 0;
    positionNumber_ = 0;
    positions_.clear();
    lastRefusal_.clear();
    flightKey_ = format("%s%s%s", c_.record.flightNumber.c_str(), c_.startDate.c_str(),
                        c_.startTime.c_str());
    flightKey_.erase(std::remove_if(flightKey_.begin(), flightKey_.end(),
                                    [](unsigned char ch) { return !std::isalnum(ch); }),
                     flightKey_.end());
    queuePrefile(false);
    journalDue_ = true;
    // The lines logged before the site heard of the flight (the Start line) go first.
    for (const std::string& line : c_.window.lines(model::Channel::Log)) {
        lineAdded(model::Channel::Log, line);
    }
    pump();
}

void PhpVmsFlight::push(Kind kind, std::string method, std::string path, std::string body) {
    // Once the site gave the number, a call on disk carries it and goes without this flight.
    if (pirepId_) path = withPirep(std::move(path), *pirepId_);
    c_.outbox.push({kind, std::move(method), std::move(path), std::move(body), {}});
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
    journalDue_ = true;
}

void PhpVmsFlight::tick() {
    if (!active_) return;
    samplePosition();
    // Positions that wait for a batch already on its way go with the next one.
    if (!positionCallWaiting()) sendPositions();
    pump();
}

void PhpVmsFlight::sendPositions() {
    if (positions_.empty()) return;
    std::string batch = "{\"positions\":[";
    for (std::size_t i = 0; i < positions_.size(); ++i) {
        if (i > 0) batch += ',';
        batch += positions_[i];
    }
    batch += "]}";
    push(Kind::Plain, "POST", kPositionPath, std::move(batch));
    positions_.clear();
    journalDue_ = true;
}

void PhpVmsFlight::beat() {
    if (backoffTicks_ > 0) --backoffTicks_;
    pump();
}

void PhpVmsFlight::sendNow() {
    backoffTicks_ = 0;
    pump();
}

void PhpVmsFlight::resendOutbox() {
    if (!active_) dropQueued();
    backoffTicks_ = 0;
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
    // The last positions go before the PIREP is closed to them.
    sendPositions();
    push(Kind::File, "POST", "/api/pireps/{pirep}/file",
         fileBody(summary, c_.record, c_.settings.company.UnitSystem));
    c_.outbox.replace([&] {
        std::deque<PhpVmsCall> calls = c_.outbox.calls();
        calls.back().flight = storedFlightKey(summary);
        return calls;
    }());
    // Filing does not wait for the next tick.
    backoffTicks_ = 0;
    pump();
}

void PhpVmsFlight::cancel() {
    if (!active_) return;
    // Nothing more of this flight is worth sending.
    const PhpVmsCall* front = c_.outbox.front();
    const bool prefileUnderWay =
        sending_ && !frontGone_ && front && front->kind == Kind::Prefile && !pirepId_;
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
    if ((answer->status >= 200 && answer->status < 300) || alreadyFiled(call, *answer)) {
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
            journalDue_ = true;
            if (pirepId_) {
                // Every call waiting for the number takes it, on disk too.
                std::deque<PhpVmsCall> calls = c_.outbox.calls();
                for (PhpVmsCall& waiting : calls) {
                    waiting.path = withPirep(std::move(waiting.path), *pirepId_);
                }
                c_.outbox.replace(std::move(calls));
            }
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
            c_.window.setStatus(format("PIREP %s filed with the VA.", pirepOf(call.path).c_str()));
            // An earlier flight's file (left by an earlier run) ends nothing of this one.
            if (ours(call)) active_ = false;
            if (onFiled_) onFiled_(call.flight);
            break;
        case Kind::Cancel:
            if (ours(call)) active_ = false;
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
    if (call.kind != Kind::Plain && ours(call)) {
        dropQueued();
        active_ = false;
    }
}

void PhpVmsFlight::writeJournal(model::JournalValues& out) const {
    if (flightKey_.empty()) return;  // the site never heard of this flight
    out.emplace_back(kJournalActive, active_ ? "1" : "0");
    if (pirepId_) out.emplace_back(kJournalPirep, *pirepId_);
    out.emplace_back(kJournalFlightKey, flightKey_);
    out.emplace_back(kJournalPositionNumber, std::to_string(positionNumber_));
    out.emplace_back(kJournalAirline, airlineId_);
    out.emplace_back(kJournalAircraft, aircraftId_);
    for (const std::string& position : positions_) out.emplace_back(kJournalPosition, position);
}

void PhpVmsFlight::restoreJournal(const model::JournalValues& values) {
    bool found = false;
    std::vector<std::string> positions;
    std::optional<std::string> pirep;
    for (const auto& [key, value] : values) {
        if (key == kJournalActive) {
            found = true;
            active_ = value == "1";
        } else if (key == kJournalPirep) {
            pirep = value;
        } else if (key == kJournalFlightKey) {
            flightKey_ = value;
        } else if (key == kJournalPositionNumber) {
            positionNumber_ = std::atoi(value.c_str());
        } else if (key == kJournalAirline) {
            airlineId_ = value;
        } else if (key == kJournalAircraft) {
            aircraftId_ = value;
        } else if (key == kJournalPosition) {
            positions.push_back(value);
        }
    }
    if (!found) return;
    resumed_ = true;
    pirepId_ = pirep;
    // A batch on disk may be newer than the journal: its positions are not sampled again,
    // and its ids are never given to another position.
    std::set<std::string> queued;
    const std::string ownPrefix = flightKey_ + "-";
    for (const PhpVmsCall& call : c_.outbox.calls()) {
        if (!call.path.ends_with(kPositionTail) || !ours(call)) continue;
        for (const std::string& id : positionIds(call.body)) {
            queued.insert(id);
            if (id.starts_with(ownPrefix)) {
                positionNumber_ =
                    std::max(positionNumber_, std::atoi(id.c_str() + ownPrefix.size()));
            }
        }
    }
    positions_.clear();
    for (std::string& position : positions) {
        if (!queued.contains(positionId(position))) positions_.push_back(std::move(position));
    }
    // A line sent for the ACARS log after the journal was last written is not in the
    // flight's log any more (it may be logged again): the PIREP must not have it either.
    std::set<std::string> logged;
    for (const std::string& line : c_.window.lines(model::Channel::Log)) {
        logged.insert(utf8FromWindows1252(line.substr(0, kLongestLog)));
    }
    std::deque<PhpVmsCall> kept;
    for (const PhpVmsCall& call : c_.outbox.calls()) {
        if (call.path.ends_with(kLogsTail) && ours(call)) {
            const std::string line = loggedLine(call.body);
            if (!line.empty() && !logged.contains(line)) continue;
        }
        kept.push_back(call);
    }
    if (kept.size() != c_.outbox.size()) c_.outbox.replace(std::move(kept));
    // The number came after the journal was last written: asked again, the site answers a
    // repeated prefile of the flight with the PIREP it made.
    const bool prefileWaiting =
        std::any_of(c_.outbox.calls().begin(), c_.outbox.calls().end(),
                    [](const PhpVmsCall& call) { return call.kind == Kind::Prefile; });
    if (active_ && !pirepId_ && !prefileWaiting) queuePrefile(true);
}

std::string storedFlightKey(const model::FlightSummary& summary) {
    return json::array(
               {summary.Date, summary.Hour, summary.FlightIATA.substr(0, kMaxStoredValueChars)})
        .dump();
}

void PhpVmsMoments::tell(const char* status, std::string_view event) {
    if (!config::usesPhpVms(settings_.company)) return;
    begin_();
    flight_.moment(status, event);
}

void PhpVmsMoments::outMessage(int h, int m, double fuelKg, double weightKg) {
    inner_.outMessage(h, m, fuelKg, weightKg);
    tell(kOffBlocks, "Blocks off");
}
void PhpVmsMoments::offMessage(int h, int m, double fuelKg, double weightKg) {
    inner_.offMessage(h, m, fuelKg, weightKg);
    tell(kTakeOff, "Take off");
}
void PhpVmsMoments::onMessage(int h, int m, double fuelKg, double weightKg) {
    inner_.onMessage(h, m, fuelKg, weightKg);
    tell(kLanded, "Landed");
}
void PhpVmsMoments::inMessage(const model::BlocksOnReport& report) {
    inner_.inMessage(report);
    tell(kOnBlocks, "Blocks on");
}

}  // namespace aviolog::reporting
