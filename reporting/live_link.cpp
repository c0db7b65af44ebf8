#include "reporting/live_link.h"

#include <charconv>

#include "common/paths.h"
#include "common/text_format.h"
#include "common/units.h"
#include "config/settings.h"
#include "model/flight_record.h"
#include "platform/sound.h"
#include "reporting/acars_view.h"
#include "reporting/va_request.h"
#include "reporting/va_traffic.h"
#include "simlink/sim_variables.h"

namespace aviolog::reporting {

using model::FlightPhase;
using simlink::ReadBatch;
namespace convert = simlink::convert;
namespace var = simlink::var;

namespace {

constexpr std::string_view kSendTo = "SENDTO";

bool letterOrDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// The key names this flight only where no letter or digit follows it: "SENDTOTP1944"
// is also the start of flight TP19445's key.
bool namesFlight(std::string_view piece, std::string_view key) {
    for (std::size_t at = piece.find(key); at != std::string_view::npos;
         at = piece.find(key, at + 1)) {
        const std::size_t after = at + key.size();
        if (after == piece.size() || !letterOrDigit(piece[after])) return true;
    }
    return false;
}

// A decimal number at the start of text, up to the end of its digits.
std::optional<int> leadingNumber(std::string_view text) {
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc{} || end == text.data()) return std::nullopt;
    return value;
}

const char* phaseCode(FlightPhase phase) {
    switch (phase) {
        case FlightPhase::WaitingForBlocksOff:
            return "1";
        case FlightPhase::TaxiingOut:
            return "2";
        case FlightPhase::Airborne:
            return "3";
        case FlightPhase::TaxiingIn:
        case FlightPhase::StopRequested:
            return "4";
        case FlightPhase::Stopped:
            return "";
    }
    return "";
}

struct Leg {
    int distanceNm = 0;
    std::optional<std::string> time;  // "%02d:%02d", when the aircraft is moving
};

// Below a knot the aircraft is parked (what the report's own "GS" shows as 0); a time
// from that drift would be days, not a time to the airport.
constexpr double kMovingKt = 1.0;

Leg legTo(const model::Airport& airport, double latDeg, double lonDeg, double groundSpeedKt) {
    Leg leg;
    leg.distanceNm =
        static_cast<int>(greatCircleNm(latDeg, lonDeg, airport.latitudeDeg, airport.longitudeDeg));
    if (groundSpeedKt >= kMovingKt) {
        const double hours = leg.distanceNm / groundSpeedKt;
        const int wholeHours = static_cast<int>(hours);
        leg.time = format("%02d:%02d", wholeHours, static_cast<int>((hours - wholeHours) * 60));
    }
    return leg;
}

bool known(const std::optional<model::Airport>& airport) {
    return airport && !airport->name.empty();
}

}  // namespace

UplinkAnswer readUplinkAnswer(std::string_view answer, std::string_view flightNumber) {
    UplinkAnswer result;
    if (!answer.starts_with('#') && !flightNumber.empty()) {
        const std::string key = std::string(kSendTo) + std::string(flightNumber);
        std::size_t start = 0;
        for (std::size_t end; (end = answer.find('%', start)) != std::string_view::npos;
             start = end + 1) {
            const std::string_view piece = answer.substr(start, end - start);
            if (namesFlight(piece, key)) result.messages.emplace_back(piece);
        }
    }
    const std::size_t hash = answer.find('#');
    if (hash != std::string_view::npos) {
        const std::size_t lineEnd = answer.find('\n', hash);
        if (lineEnd != std::string_view::npos) {
            result.lastNumber = leadingNumber(answer.substr(hash + 1, lineEnd - hash - 1));
        }
    }
    return result;
}

std::optional<int> readUplinkResetAnswer(std::string_view answer) {
    const std::size_t lineEnd = answer.find('\n');
    if (lineEnd == std::string_view::npos || lineEnd < 1) return std::nullopt;
    return leadingNumber(answer.substr(1, lineEnd - 1));
}

bool VaLiveLink::paused() {
    const auto pause = simlink::readU16(c_.link, var::PauseControl);
    // A simulator that cannot be read is as good as paused: the tick is skipped.
    return !pause || *pause != 0;
}

std::optional<std::string> VaLiveLink::positionAddress() {
    std::int32_t latitude = 0;
    std::int32_t longitude = 0;
    std::uint32_t groundSpeed = 0;
    std::int32_t altitudeM = 0;
    ReadBatch batch(c_.link);
    batch.add(var::Latitude, latitude)
        .add(var::Longitude, longitude)
        .add(var::GroundSpeed, groundSpeed)
        .add(var::Altitude, altitudeM);
    if (!batch.process()) return std::nullopt;
    const double latDeg = convert::latitudeDegrees(latitude);
    const double lonDeg = longitude * wire::scale::kLongitudeDegPerUnit;
    const double groundSpeedKt = convert::groundSpeedKnots(groundSpeed);
    // Signed: below sea level is a few feet below, not four billion metres up.
    const int altitudeFt = static_cast<int>(convert::altitudeFeet(altitudeM));

    const model::FlightRecord& r = c_.record;
    VaRequest request(c_.settings.company.StatusSite);
    request.add("lat", format("%f", latDeg))
        .add("long", format("%f", lonDeg))
        .add("GS", format("%d", c_.flight.groundSpeedKt()))
        .add("Alt", format("%d", altitudeFt))
        .add("IATA", r.flightNumber)
        .add("pnumber", c_.settings.company.PilotNumber)
        .add("depaptICAO", r.departureIcao);
    if (const auto& departure = c_.flight.departure(); known(departure)) {
        const Leg leg = legTo(*departure, latDeg, lonDeg, groundSpeedKt);
        request.add("depapt", departure->name).add("disdepapt", format("%d", leg.distanceNm));
        if (leg.time) request.add("timedepapt", *leg.time);
    }
    request.add("destaptICAO", r.arrivalIcao);
    if (const auto& arrival = c_.flight.arrival(); known(arrival)) {
        const Leg leg = legTo(*arrival, latDeg, lonDeg, groundSpeedKt);
        request.add("destapt", arrival->name).add("disdestapt", format("%d", leg.distanceNm));
        if (leg.time) request.add("timedestapt", *leg.time);
    }
    request.add("Ph", phaseCode(c_.flight.phase())).add("Regist", r.registration);
    return request.url();
}

void VaLiveLink::sendPosition() {
    if (paused() || c_.record.flightNumber.empty() || c_.traffic.status.givenUp()) return;
    if (auto address = positionAddress()) c_.traffic.status.sendKept(std::move(*address));
}

void VaLiveLink::pollUplink() {
    if (pollPending_ || paused() || !c_.settings.aviolog.AcarsEvent) return;
    if (c_.traffic.primary.givenUp()) return;
    const std::string flightNumber = c_.record.flightNumber;
    const std::string address = VaRequest(c_.settings.log.Uplink)
                                    .add("acarsid", format("%d", lastUplinkNumber_))
                                    .add("reg", flightNumber)
                                    .url();
    pollPending_ = true;
    c_.traffic.primary.send(
        address, [this, flightNumber](VaDestination& site, std::optional<std::string> answer) {
            pollPending_ = false;
            if (!answer) {
                site.failed();
            } else if (!answer->empty()) {
                site.succeeded();
                uplinkAnswered(*answer, flightNumber);
            }
        });
    // A poll dropped or ignored because the site was given up never answers; nothing is
    // polled there again anyway.
}

void VaLiveLink::uplinkAnswered(const std::string& answer, const std::string& flightNumber) {
    if (flightNumber.empty()) return;
    const UplinkAnswer read = readUplinkAnswer(answer, flightNumber);
    for (const std::string& message : read.messages) c_.view.addAcarsMessage(message);
    if (!read.messages.empty()) c_.sound.playOnce(localPath(c_.workDir, kCallSound).string());
    if (read.lastNumber) lastUplinkNumber_ = *read.lastNumber;
}

void VaLiveLink::resetUplinkNumber(std::string_view url) {
    c_.traffic.primary.send(std::string(url),
                            [this](VaDestination& site, std::optional<std::string> answer) {
                                if (!answer) {
                                    site.failed();
                                    return;
                                }
                                if (answer->empty()) return;
                                if (const auto number = readUplinkResetAnswer(*answer))
                                    lastUplinkNumber_ = *number;
                            });
}

}  // namespace aviolog::reporting
