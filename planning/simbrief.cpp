#include "planning/simbrief.h"

#include <cmath>
#include <nlohmann/json.hpp>
#include <vector>

#include "common/code_page.h"
#include "common/text_format.h"
#include "common/units.h"
#include "planning/flight_form.h"
#include "planning/fuel_page.h"
#include "platform/http_client.h"
#include "platform/pilot.h"

namespace aviolog::planning {
namespace {

using nlohmann::json;

// SimBrief writes most figures as text; either way the program takes its text.
std::string text(const json& object, const char* section, const char* key) {
    if (!object.is_object() || !object.contains(section)) return {};
    const json& part = object[section];
    if (!part.is_object() || !part.contains(key)) return {};
    const json& value = part[key];
    if (value.is_string()) {
        const auto& utf8 = value.get_ref<const std::string&>();
        return windows1252FromUtf8(utf8).value_or(utf8);
    }
    if (value.is_number_integer()) return std::to_string(value.get<long long>());
    if (value.is_number()) return format("%.0f", value.get<double>());
    return {};
}

long number(const std::string& figure) {
    char* end = nullptr;
    const double value = std::strtod(figure.c_str(), &end);
    if (end == figure.c_str() || !std::isfinite(value) || value < 0 || value > 1e7) return 0;
    return static_cast<long>(value);
}

bool isIcao(const std::string& code) {
    if (code.size() < 3 || code.size() > 4) return false;
    for (const char c : code) {
        if (!std::isalnum(static_cast<unsigned char>(c))) return false;
    }
    return true;
}

long inUnit(long load, WeightUnit from, WeightUnit to) {
    if (from == to) return load;
    return static_cast<long>(to == WeightUnit::Pounds ? load * kPoundsPerKg : load * kKgPerPound);
}

}  // namespace

std::string simbriefAddress(std::string_view base, std::string_view user) {
    std::string escaped;
    for (const char c : user) {
        const auto byte = static_cast<unsigned char>(c);
        if (std::isalnum(byte) || c == '-' || c == '_' || c == '.') {
            escaped += c;
        } else {
            escaped += format("%%%02X", byte);
        }
    }
    return std::string(base) + "?username=" + escaped + "&json=1";
}

std::optional<SimbriefPlan> readSimbriefPlan(std::string_view answer, std::string* refusal) {
    const json ofp = json::parse(answer, nullptr, false);
    if (!ofp.is_object()) return std::nullopt;
    const std::string status = text(ofp, "fetch", "status");
    if (!status.empty() && status != "Success") {
        if (refusal) *refusal = status;
        return std::nullopt;
    }
    SimbriefPlan plan;
    plan.origin = text(ofp, "origin", "icao_code");
    plan.destination = text(ofp, "destination", "icao_code");
    if (!isIcao(plan.origin) || !isIcao(plan.destination)) return std::nullopt;
    plan.alternate = text(ofp, "alternate", "icao_code");
    if (!isIcao(plan.alternate)) plan.alternate.clear();
    plan.route = text(ofp, "general", "route");
    plan.initialAltitudeFt = static_cast<int>(number(text(ofp, "general", "initial_altitude")));
    plan.aircraftIcao = text(ofp, "aircraft", "icaocode");
    if (plan.aircraftIcao.empty()) plan.aircraftIcao = text(ofp, "aircraft", "icao_code");
    plan.registration = text(ofp, "aircraft", "reg");
    plan.callsign = text(ofp, "atc", "callsign");
    plan.flightNumber =
        text(ofp, "general", "icao_airline") + text(ofp, "general", "flight_number");
    plan.passengers = text(ofp, "weights", "pax_count");
    plan.cargo = text(ofp, "weights", "cargo");
    plan.rampFuel = number(text(ofp, "fuel", "plan_ramp"));
    plan.rampFuelUnit =
        text(ofp, "params", "units") == "lbs" ? WeightUnit::Pounds : WeightUnit::Kilograms;
    return plan;
}

bool fillFromSimbrief(const SimbriefContext& c) {
    const std::string& user = c.settings.company.SimbriefUser;
    if (user.empty()) {
        c.pilot.warn(kNoSimbriefUser);
        return false;
    }
    const std::string& base = c.settings.aviolog.SimbriefSite.empty()
                                  ? kDefaultSimbriefSite
                                  : c.settings.aviolog.SimbriefSite;
    const auto answer = c.http.get(simbriefAddress(base, user));
    if (!answer) {
        c.pilot.warn(kSimbriefUnreachable);
        return false;
    }
    std::string refusal;
    const auto plan = readSimbriefPlan(*answer, &refusal);
    if (!plan) {
        c.pilot.warn(refusal.empty()
                         ? std::string(kNotAnOfp)
                         : std::string(kNotAnOfp) + " SimBrief: " + refusal.substr(0, 200));
        return false;
    }
    auto set = [&](FormField field, const std::string& value) {
        if (!value.empty()) c.form.setField(field, value);
    };
    set(FormField::Departure, plan->origin);
    set(FormField::Arrival, plan->destination);
    set(FormField::Alternate, plan->alternate);
    set(FormField::Route, plan->route);
    if (plan->initialAltitudeFt > 0) {
        c.form.setField(FormField::FlightLevel, format("%d", plan->initialAltitudeFt / 100));
    }
    if (!plan->aircraftIcao.empty()) {
        c.form.setField(FormField::AircraftType, plan->aircraftIcao);
        c.form.selectAircraftNamed(plan->aircraftIcao);
    }
    set(FormField::Registration, plan->registration);
    set(FormField::Callsign, plan->callsign);
    set(FormField::FlightNumber, plan->flightNumber);
    set(FormField::Passengers, plan->passengers);
    set(FormField::Cargo, plan->cargo);

    const WeightUnit unit = c.settings.company.UnitSystem;
    const long ramp = inUnit(plan->rampFuel, plan->rampFuelUnit, unit);
    if (ramp <= 0) return true;
    c.fuel.setRequestedTotal(format("%ld", ramp));
    if (!c.fuel.built()) return true;
    // Spread by the tanks' size, as a fuel truck fills them; what a full tank cannot take
    // stays on the truck.
    long capacity = 0;
    for (const TankRow& row : c.fuel.rows()) capacity += row.maximumKgOrLb;
    if (capacity <= 0) return true;
    const std::vector<TankRow> rows = c.fuel.rows();
    const double share = std::min(1.0, static_cast<double>(ramp) / static_cast<double>(capacity));
    for (std::size_t i = 0; i < rows.size(); ++i) {
        c.fuel.setLoad(i, static_cast<long>(share * static_cast<double>(rows[i].maximumKgOrLb)));
    }
    return true;
}

}  // namespace aviolog::planning
