#include "planning/flight_plan_files.h"

#include <cstdlib>
#include <nlohmann/json.hpp>
#include <pugixml.hpp>

#include "common/code_page.h"
#include "common/text_format.h"
#include "config/ini_file.h"

namespace aviolog::planning {

namespace {

constexpr std::size_t kPlnValueChars = 99;
constexpr std::size_t kServinfoSkippedChars = 50;

std::string beforeComma(std::string_view value) {
    return std::string(value.substr(0, value.find(',')));
}

// The XML plan starts with a tag once blanks and a UTF-8 byte order mark are passed.
bool looksLikeXml(std::string_view bytes) {
    if (bytes.starts_with("\xEF\xBB\xBF")) bytes.remove_prefix(3);
    const std::size_t first = bytes.find_first_not_of(" \t\r\n");
    return first != std::string_view::npos && bytes[first] == '<';
}

// XML and JSON texts arrive as UTF-8; the program's text is Windows-1252.
std::string windows1252FromUtf8(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i++]);
        const int extra = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC0 ? 1 : 0;
        if (extra == 0 || i + extra > text.size()) {
            out += lead < 0x80 ? static_cast<char>(lead) : '?';
            continue;
        }
        char32_t c = lead & (0x3F >> extra);
        for (int k = 0; k < extra; ++k)
            c = (c << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
        i += extra;
        out += windows1252From(c);
    }
    return out;
}

// "24000.000" as MSFS writes the level reads "24000"; other texts stay as they are.
std::string withoutZeroFraction(std::string text) {
    const std::size_t dot = text.find('.');
    if (dot != std::string::npos && dot > 0 &&
        text.find_first_not_of('0', dot + 1) == std::string::npos) {
        text.erase(dot);
    }
    return text;
}

// The identifier of an XML waypoint: its id, or where MSFS 2024 leaves the id out, the
// ICAO identifier it carries.
std::string xmlWaypointId(const pugi::xml_node waypoint) {
    std::string id = waypoint.attribute("id").value();
    if (id.empty()) id = waypoint.child("ICAO").child("ICAOIdent").text().get();
    return windows1252FromUtf8(id).substr(0, kPlnValueChars);
}

// The identifier of an INI waypoint. FS2002 writes it first ("FTM, V, N38* 53.42', ...");
// FS2004 writes nine items, the region first and the identifier second ("LP, FTM, , FTM,
// V, ..."); the trailing separator may be missing.
std::string iniWaypointId(std::string_view value) {
    constexpr std::size_t kFs2004Items = 9;
    std::vector<std::string_view> items;
    for (std::size_t begin = 0;;) {
        const std::size_t comma = value.find(',', begin);
        items.push_back(
            value.substr(begin, comma == std::string_view::npos ? comma : comma - begin));
        if (comma == std::string_view::npos) break;
        begin = comma + 1;
    }
    std::string_view id = items.size() >= kFs2004Items - 1 ? items[1] : items[0];
    const std::size_t first = id.find_first_not_of(" \t");
    id = first == std::string_view::npos ? std::string_view() : id.substr(first);
    return std::string(id.substr(0, id.find_last_not_of(" \t") + 1));
}

PlnPlan readXmlPln(std::string_view bytes) {
    PlnPlan plan;
    pugi::xml_document doc;
    if (!doc.load_buffer(bytes.data(), bytes.size(), pugi::parse_default, pugi::encoding_auto)) {
        return plan;
    }
    const pugi::xml_node fp = doc.child("SimBase.Document").child("FlightPlan.FlightPlan");
    auto text = [&](const char* name) -> std::optional<std::string> {
        const pugi::xml_node node = fp.child(name);
        if (!node) return std::nullopt;
        return windows1252FromUtf8(node.text().get()).substr(0, kPlnValueChars);
    };
    plan.departure = text("DepartureID");
    plan.arrival = text("DestinationID");
    if (auto level = text("CruisingAlt")) plan.flightLevel = withoutZeroFraction(std::move(*level));
    for (const pugi::xml_node wp : fp.children("ATCWaypoint")) {
        if (plan.waypoints.size() == kMaxPlnWaypoints) break;
        // A point with no name at all (a bare position) is passed over, not the route's end.
        std::string id = xmlWaypointId(wp);
        if (!id.empty()) plan.waypoints.push_back(std::move(id));
    }
    return plan;
}

PlnPlan readIniPln(std::string_view bytes) {
    PlnPlan plan;
    const config::IniDocument file(windows1252FromFileText(bytes));
    auto value = [&](std::string_view key) -> std::optional<std::string> {
        const std::string v = file.getString("flightplan", key, "", kPlnValueChars);
        if (v.empty()) return std::nullopt;
        return v;
    };
    if (auto v = value("departure_id")) plan.departure = beforeComma(*v);
    if (auto v = value("destination_id")) plan.arrival = beforeComma(*v);
    plan.flightLevel = value("cruising_altitude");
    for (std::size_t i = 0; i < kMaxPlnWaypoints; ++i) {
        const auto v = value(format("waypoint.%zu", i));
        if (!v) break;
        plan.waypoints.push_back(iniWaypointId(*v));
    }
    return plan;
}

// Where the record whose first field is the callsign starts, scanning from `from`.
std::size_t findRecord(std::string_view text, std::size_t from, std::string_view callsign) {
    for (std::size_t at = text.find(callsign, from); at != std::string_view::npos;
         at = text.find(callsign, at + 1)) {
        const bool recordStart = at == from || text[at - 1] == '\n' || text[at - 1] == '\r';
        const std::size_t end = at + callsign.size();
        if (recordStart && end < text.size() && text[end] == ':') return at;
    }
    return std::string_view::npos;
}

// The record's fields up to its line end.
std::vector<std::string_view> fieldsOf(std::string_view text, std::size_t at) {
    std::string_view line = text.substr(at);
    line = line.substr(0, line.find_first_of("\r\n"));
    std::vector<std::string_view> fields;
    std::size_t begin = 0;
    while (true) {
        const std::size_t colon = line.find(':', begin);
        fields.push_back(
            line.substr(begin, colon == std::string_view::npos ? colon : colon - begin));
        if (colon == std::string_view::npos) break;
        begin = colon + 1;
    }
    return fields;
}

std::string field(const std::vector<std::string_view>& fields, std::size_t n) {
    return n < fields.size() ? std::string(fields[n]) : std::string();
}

std::string jsonText(const nlohmann::json& object, const char* key) {
    const auto it = object.find(key);
    if (it == object.end() || !it->is_string()) return {};
    return windows1252FromUtf8(it->get<std::string>());
}

// The type of a filed "aircraft": before the first "/" of "A20N/M-SDE2E3FGHIRWXY/LB1"; in
// the older "H/B744/L" the one-letter wake category comes first, and no type has one letter.
std::string typeOfAircraft(std::string_view aircraft) {
    const std::size_t slash = aircraft.find('/');
    if (slash == 1 && aircraft.size() > 2) aircraft.remove_prefix(2);
    return std::string(aircraft.substr(0, aircraft.find('/')));
}

NetworkPlanResult planFromFeed(const nlohmann::json& entry) {
    const auto fp = entry.find("flight_plan");
    if (fp == entry.end() || !fp->is_object()) return {std::nullopt, kNoPlanInServinfo};
    NetworkPlan plan;
    plan.aircraftType = jsonText(*fp, "aircraft_short");
    if (plan.aircraftType.empty()) plan.aircraftType = typeOfAircraft(jsonText(*fp, "aircraft"));
    if (plan.aircraftType.empty()) return {std::nullopt, kNoPlanInServinfo};
    plan.departure = jsonText(*fp, "departure").substr(0, 4);
    plan.flightLevel = jsonText(*fp, "altitude");
    plan.arrival = jsonText(*fp, "arrival").substr(0, 4);
    plan.alternate = jsonText(*fp, "alternate").substr(0, 4);
    if (plan.alternate.empty()) plan.alternate = "NONE";
    plan.route = jsonText(*fp, "route");
    return {std::move(plan), nullptr};
}

}  // namespace

PlnPlan readPln(std::string_view bytes) {
    return looksLikeXml(bytes) ? readXmlPln(bytes) : readIniPln(bytes);
}

FsaPlan readFsa(std::string_view bytes, WeightUnit unit) {
    const config::IniDocument file(windows1252FromFileText(bytes));
    FsaPlan plan;
    const std::pair<const char*, std::pair<FormField, std::size_t>> keys[] = {
        {"Depicao", {FormField::Departure, 4}},
        {"Arricao", {FormField::Arrival, 4}},
        {"AltIicao", {FormField::Alternate, 4}},
        {"FP", {FormField::Route, 254}},
        {"Planeicao", {FormField::AircraftType, 9}},
        {"FL", {FormField::FlightLevel, 7}},
        {"FlightIATA", {FormField::FlightNumber, 7}},
        {"AircraftRegist", {FormField::Registration, 7}},
        {"PAX", {FormField::Passengers, 7}},
        {"Cargo", {FormField::Cargo, 7}},
    };
    for (const auto& [key, target] : keys) {
        std::string value = file.getString("aviolog", key, "", target.second);
        if (!value.empty()) plan.fields.emplace_back(target.first, std::move(value));
    }
    const std::string fuel = file.getString("aviolog", "Fuel", "", 7);
    if (fuel.empty()) return plan;
    const std::string units = file.getString("aviolog", "Units", "", 7);
    const long amount = std::strtol(fuel.c_str(), nullptr, 10);
    // The factors are single precision, and so is the product.
    float converted = static_cast<float>(amount);
    if (units == "LBS" && unit == WeightUnit::Kilograms) converted *= 0.45359725f;
    if (units == "KGS" && unit == WeightUnit::Pounds) converted *= 2.204599f;
    plan.requestedFuel = format("%ld", static_cast<long>(converted));
    return plan;
}

NetworkPlanResult scanServinfo(std::string_view bytes, std::string_view callsign) {
    if (callsign.empty() || bytes.size() <= kServinfoSkippedChars)
        return {std::nullopt, kNoCallsignInServinfo};
    const std::size_t at = findRecord(bytes, kServinfoSkippedChars, callsign);
    if (at == std::string_view::npos) return {std::nullopt, kNoCallsignInServinfo};
    const std::vector<std::string_view> fields = fieldsOf(bytes, at);
    NetworkPlan plan;
    plan.aircraftType = field(fields, 9);
    if (plan.aircraftType.empty()) return {std::nullopt, kNoPlanInServinfo};
    plan.departure = field(fields, 11).substr(0, 4);
    plan.flightLevel = field(fields, 12);
    plan.arrival = field(fields, 13).substr(0, 4);
    plan.alternate = field(fields, 28).substr(0, 4);
    if (plan.alternate.empty()) plan.alternate = "NONE";
    plan.route = field(fields, 30);
    return {std::move(plan), nullptr};
}

std::optional<NetworkPlanResult> readVatsimFeed(std::string_view bytes, std::string_view callsign) {
    const nlohmann::json feed = nlohmann::json::parse(bytes, nullptr, false);
    if (feed.is_discarded() || !feed.is_object()) return std::nullopt;
    for (const char* list : {"pilots", "prefiles"}) {
        const auto entries = feed.find(list);
        if (entries == feed.end() || !entries->is_array()) continue;
        for (const nlohmann::json& entry : *entries) {
            if (entry.is_object() && jsonText(entry, "callsign") == callsign)
                return planFromFeed(entry);
        }
    }
    return NetworkPlanResult{std::nullopt, kNoCallsignInServinfo};
}

}  // namespace aviolog::planning
