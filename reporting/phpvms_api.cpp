#include "reporting/phpvms_api.h"

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <utility>

#include "common/code_page.h"
#include "common/decimal_value.h"
#include "common/text_format.h"
#include "common/units.h"
#include "model/flight_record.h"
#include "model/flight_summary.h"

namespace aviolog::reporting {
namespace {

using nlohmann::json;

// The site's texts are UTF-8; the program's are Windows-1252.
std::string programText(const json& value) {
    if (value.is_string()) {
        const auto& text = value.get_ref<const std::string&>();
        return windows1252FromUtf8(text).value_or(text);
    }
    if (value.is_number_integer()) return std::to_string(value.get<long long>());
    if (value.is_number()) return format("%.0f", value.get<double>());
    return {};
}
std::string siteText(std::string_view text) {
    return utf8FromWindows1252(text);
}

std::string field(const json& object, const char* key) {
    if (!object.is_object()) return {};
    const auto it = object.find(key);
    return it == object.end() ? std::string() : programText(*it);
}

// A resource answer holds its object under "data".
const json& data(const json& answer) {
    static const json none;
    if (!answer.is_object()) return none;
    const auto it = answer.find("data");
    return it == answer.end() ? none : *it;
}

void takeAircraft(PhpVmsBid& bid, const json& aircraft) {
    if (!aircraft.is_object()) return;
    bid.aircraftId = field(aircraft, "id");
    bid.registration = field(aircraft, "registration");
    bid.aircraftType = field(aircraft, "icao");
}

PhpVmsBid bidFrom(const json& entry) {
    PhpVmsBid bid;
    const json& flight = entry.is_object() && entry.contains("flight") ? entry["flight"] : json();
    bid.flightId = field(flight, "id");
    bid.airlineId = field(flight, "airline_id");
    const json& airline =
        flight.is_object() && flight.contains("airline") ? flight["airline"] : json();
    bid.flightNumber = field(airline, "icao") + field(flight, "flight_number");
    bid.callsign = field(flight, "callsign");
    if (bid.callsign.empty()) bid.callsign = bid.flightNumber;
    bid.departure = field(flight, "dpt_airport_id");
    bid.arrival = field(flight, "arr_airport_id");
    bid.alternate = field(flight, "alt_airport_id");
    bid.route = field(flight, "route");
    bid.level = field(flight, "level");
    bid.passengers = field(flight, "pax");
    bid.cargo = field(flight, "cargo");
    if (entry.contains("aircraft")) takeAircraft(bid, entry["aircraft"]);
    // Without an aircraft of its own the bid offers its subfleets; the first aircraft is
    // the one a pilot would take.
    if (bid.aircraftId.empty() && flight.is_object() && flight.contains("subfleets")) {
        for (const json& subfleet : flight["subfleets"]) {
            if (!subfleet.is_object() || !subfleet.contains("aircraft")) continue;
            for (const json& aircraft : subfleet["aircraft"]) {
                takeAircraft(bid, aircraft);
                if (bid.aircraftType.empty()) bid.aircraftType = field(subfleet, "type");
                if (!bid.aircraftId.empty()) break;
            }
            if (!bid.aircraftId.empty()) break;
        }
    }
    return bid;
}

}  // namespace

platform::WebRequest phpVmsRequest(const config::PhpVmsSection& site, std::string method,
                                   std::string_view path, std::string body) {
    std::string base = site.Url;
    while (!base.empty() && base.back() == '/') base.pop_back();
    platform::WebRequest request{
        .method = std::move(method),
        .url = base + std::string(path),
        .headers = {"X-API-Key: " + site.ApiKey, "Accept: application/json"},
        .body = std::move(body)};
    if (!request.body.empty()) request.headers.emplace_back("Content-Type: application/json");
    return request;
}

std::vector<PhpVmsBid> readBids(std::string_view body) {
    const json answer = json::parse(body, nullptr, false);
    std::vector<PhpVmsBid> bids;
    const json& list = data(answer);
    if (!list.is_array()) return bids;
    for (const json& entry : list) {
        PhpVmsBid bid = bidFrom(entry);
        if (!bid.departure.empty() && !bid.arrival.empty()) bids.push_back(std::move(bid));
    }
    return bids;
}

std::vector<PhpVmsAircraft> readFleet(std::string_view body) {
    const json answer = json::parse(body, nullptr, false);
    std::vector<PhpVmsAircraft> fleet;
    const json& list = data(answer);
    if (!list.is_array()) return fleet;
    for (const json& subfleet : list) {
        if (!subfleet.is_object() || !subfleet.contains("aircraft")) continue;
        for (const json& aircraft : subfleet["aircraft"]) {
            fleet.push_back(
                {field(aircraft, "id"), field(aircraft, "icao"), field(aircraft, "registration")});
        }
    }
    return fleet;
}

std::optional<std::string> readUserAirline(std::string_view body) {
    const json answer = json::parse(body, nullptr, false);
    const json& user = data(answer);
    std::string id = field(user, "airline_id");
    if (id.empty() && user.is_object() && user.contains("airline")) {
        id = field(user["airline"], "id");
    }
    if (id.empty()) return std::nullopt;
    return id;
}

std::optional<std::string> readPirepId(std::string_view body) {
    std::string id = field(data(json::parse(body, nullptr, false)), "id");
    // The id goes into addresses: only what an id of the site can hold.
    if (id.empty() ||
        id.find_first_not_of("0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz-_") !=
            std::string::npos) {
        return std::nullopt;
    }
    return id;
}

std::string withoutKey(std::string text, std::string_view apiKey) {
    if (apiKey.empty()) return text;
    for (std::size_t at = text.find(apiKey); at != std::string::npos;
         at = text.find(apiKey, at + 3)) {
        text.replace(at, apiKey.size(), "***");
    }
    return text;
}

std::string refusalText(const platform::WebAnswer& answer, std::string_view apiKey) {
    const json body = json::parse(answer.body, nullptr, false);
    std::string reason;
    if (body.is_object()) {
        // A problem answer (RFC 7807) has its details; the key check an "error" object.
        reason = field(body, "details");
        if (reason.empty() && body.contains("error")) reason = field(body["error"], "message");
        if (reason.empty()) reason = field(body, "message");
        if (reason.empty()) reason = field(body, "title");
    }
    if (answer.status == 401 || answer.status == 403) {
        reason = "the API key was not accepted" + (reason.empty() ? "" : " (" + reason + ")") +
                 "; check it in the options (VA system)";
    } else if (answer.status == 404 && reason.empty()) {
        reason = "the flight or address is unknown to the site";
    } else if (reason.empty()) {
        reason = "no reason given";
    }
    // A reason runs on for pages; the box shows what a pilot reads.
    constexpr std::size_t kLongestReason = 300;
    if (reason.size() > kLongestReason) reason = reason.substr(0, kLongestReason) + "...";
    return withoutKey(format("The VA's phpVMS site refused the request (HTTP %ld): %s.",
                             answer.status, reason.c_str()),
                      apiKey);
}

int levelFeet(std::string_view flightLevel) {
    std::string_view digits = flightLevel;
    if (digits.size() >= 2 && (digits[0] == 'F' || digits[0] == 'f') &&
        (digits[1] == 'L' || digits[1] == 'l')) {
        digits.remove_prefix(2);
    }
    const int value = decimalValue(digits);
    if (value <= 0) return 0;
    // A flight level in hundreds of feet; a figure above 999 is already feet.
    return value < 1000 ? value * 100 : value;
}

int summaryMinutes(std::string_view hoursMinutes) {
    const std::size_t colon = hoursMinutes.find(':');
    if (colon == std::string_view::npos) return 0;
    return decimalValue(hoursMinutes.substr(0, colon)) * 60 +
           decimalValue(hoursMinutes.substr(colon + 1));
}

double summaryPounds(std::string_view value, WeightUnit unit) {
    const int figure = decimalValue(value);
    return unit == WeightUnit::Kilograms ? std::trunc(figure * kPoundsPerKg) : figure;
}

// The site keeps the airline apart from the number: "VAX123" is flight 123 of VAX.
std::string flightNumberOnly(std::string_view flightNumber) {
    const std::size_t digits = flightNumber.find_first_of("0123456789");
    if (digits == 0 || digits == std::string_view::npos) return std::string(flightNumber);
    for (std::size_t i = 0; i < digits; ++i) {
        if (!std::isalpha(static_cast<unsigned char>(flightNumber[i]))) {
            return std::string(flightNumber);
        }
    }
    return std::string(flightNumber.substr(digits));
}

std::string prefileBody(const model::FlightRecord& record, std::string_view airlineId,
                        std::string_view aircraftId) {
    json body = {{"airline_id", siteText(airlineId)},
                 {"aircraft_id", siteText(aircraftId)},
                 {"flight_number", siteText(flightNumberOnly(record.flightNumber))},
                 {"dpt_airport_id", siteText(record.departureIcao)},
                 {"arr_airport_id", siteText(record.arrivalIcao)},
                 {"source_name", kPhpVmsSourceName},
                 {"level", levelFeet(record.flightLevel)},
                 {"route", siteText(record.route)},
                 {"flight_type", "J"}};
    if (!record.alternateIcao.empty()) body["alt_airport_id"] = siteText(record.alternateIcao);
    return body.dump();
}

std::string fileBody(const model::FlightSummary& summary, const model::FlightRecord& record,
                     WeightUnit unit) {
    json body = {{"distance", decimalValue(summary.FlightLength)},
                 {"flight_time", summaryMinutes(summary.FlightDur)},
                 {"fuel_used", summaryPounds(summary.UsedFuel, unit)},
                 {"block_fuel", summaryPounds(summary.InitialFuel, unit)},
                 {"level", levelFeet(record.flightLevel)},
                 {"source_name", kPhpVmsSourceName},
                 {"notes", siteText(summary.logText)}};
    // A touchdown that was not seen has no rate: the site keeps none rather than 0.
    if (!summary.RateTD.empty()) body["landing_rate"] = decimalValue(summary.RateTD);
    // The landing analysis as the site's PIREP fields, name to value, the figures as the
    // summary holds them; a flight without them files none.
    static constexpr std::pair<const char*, std::string model::FlightSummary::*> kFields[] = {
        {"Touchdown G", &model::FlightSummary::TouchdownG},
        {"Bounces", &model::FlightSummary::Bounces},
        {"Bounce rates", &model::FlightSummary::BounceRates},
        {"Touchdown pitch", &model::FlightSummary::TouchdownPitch},
        {"Touchdown bank", &model::FlightSummary::TouchdownBank},
        {"Touchdown ground speed", &model::FlightSummary::TouchdownGS},
        {"Sink rate at 50 ft", &model::FlightSummary::Sink50ft},
        {"Sink rate at 20 ft", &model::FlightSummary::Sink20ft},
        {"Touchdown from threshold", &model::FlightSummary::ThresholdDist},
        {"From centre line", &model::FlightSummary::CentreLineDist},
        {"Landing note", &model::FlightSummary::LandingNote},
    };
    json fields = json::object();
    for (const auto& [name, member] : kFields) {
        const std::string& value = summary.*member;
        if (!value.empty()) fields[name] = siteText(value);
    }
    if (!fields.empty()) body["fields"] = std::move(fields);
    return body.dump();
}

}  // namespace aviolog::reporting
