#include "planning/flight_plan_import.h"

#include "common/paths.h"
#include "common/text_case.h"
#include "common/text_file.h"
#include "config/ini_file.h"
#include "config/settings.h"
#include "planning/flight_form.h"
#include "planning/flight_plan_files.h"
#include "planning/fuel_page.h"
#include "platform/pilot.h"
#include "platform/registry.h"

namespace aviolog::planning {

namespace {

constexpr std::size_t kRegistryPathBytes = 200;

bool endsWithIgnoringCase(std::string_view text, std::string_view tail) {
    return text.size() >= tail.size() &&
           equalsIgnoringCase(text.substr(text.size() - tail.size()), tail);
}

}  // namespace

void FlightPlanImport::fsFlightPlanButton() {
    const std::string& folder = c_.settings.aviolog.FSFPPath;
    if (folder.empty()) {
        c_.pilot.warn(kFsPathIncorrect);
        return;
    }
    const auto file = c_.pilot.chooseFileToOpen({kPlnFilter, "pln", "", folder});
    if (file) importPln(localPath(c_.workDir, file->string()));
}

void FlightPlanImport::importPln(const std::filesystem::path& file) {
    const PlnPlan plan = readPln(readFileBytes(file).value_or(""));
    FlightFormModel& form = c_.form;
    if (plan.departure) form.setField(FormField::Departure, *plan.departure);
    if (plan.arrival) form.setField(FormField::Arrival, *plan.arrival);
    if (plan.flightLevel) form.setField(FormField::FlightLevel, *plan.flightLevel);
    // The waypoints join the route already in the record; a typed route seldom ends in a
    // blank, and glued to it the first waypoint would be a name no chart has.
    std::string route = form.record().route;
    const bool glued =
        !route.empty() && std::string_view(" \t\r\n").find(route.back()) == std::string_view::npos;
    if (glued && !plan.waypoints.empty()) route += ' ';
    for (const std::string& waypoint : plan.waypoints) route += waypoint + " ";
    form.setField(FormField::Route, route);
}

void FlightPlanImport::aviologButton() {
    const auto file = c_.pilot.chooseFileToOpen({kFsaFilter, "fsa", "", ".\\"});
    if (file) importFsa(localPath(c_.workDir, file->string()));
}

void FlightPlanImport::importFsa(const std::filesystem::path& file) {
    const FsaPlan plan = readFsa(readFileBytes(file).value_or(""), c_.settings.company.UnitSystem);
    for (const auto& [field, value] : plan.fields) c_.form.setField(field, value);
    if (plan.requestedFuel) c_.fuel.setRequestedTotal(*plan.requestedFuel);
}

void FlightPlanImport::servinfoButton() {
    FlightFormModel& form = c_.form;
    const config::CompanySection& company = c_.settings.company;
    if (form.record().callsign.empty()) {
        form.setField(FormField::Callsign,
                      company.CompanyICAO.substr(0, 3) + form.record().flightNumber);
    }
    form.readCallsign();
    for (const FormField f : {FormField::Departure, FormField::Arrival, FormField::Alternate,
                              FormField::FlightLevel, FormField::Route, FormField::AircraftType}) {
        form.clearControl(f);
    }
    const std::string callsign = form.record().callsign;
    if (callsign.empty()) return;
    const std::string& path = c_.settings.aviolog.Servinfo;
    const auto bytes = path.empty() ? std::nullopt : readFileBytes(localPath(c_.workDir, path));
    if (!bytes) {
        c_.pilot.warn(kNoServinfoFile);
        return;
    }
    std::optional<NetworkPlanResult> result;
    if (endsWithIgnoringCase(path, ".json")) result = readVatsimFeed(*bytes, callsign);
    if (!result) result = scanServinfo(*bytes, callsign);
    if (!result->plan) {
        c_.pilot.warn(result->warning);
        return;
    }
    const NetworkPlan& plan = *result->plan;
    form.setField(FormField::Departure, plan.departure);
    form.setField(FormField::Arrival, plan.arrival);
    form.setField(FormField::Alternate, plan.alternate);
    form.setField(FormField::FlightLevel, plan.flightLevel);
    form.setField(FormField::Route, plan.route);
    form.setField(FormField::AircraftType, plan.aircraftType);
}

std::optional<std::filesystem::path> FlightPlanImport::squawkBoxTarget() const {
    const auto folder = c_.registry.readString(platform::RegistryHive::LocalMachine, kSquawkBoxKey,
                                               kSquawkBoxValue, kRegistryPathBytes);
    if (!folder || folder->empty()) return std::nullopt;
    return c_.registry.hostPath(*folder + kSquawkBoxFile);
}

void FlightPlanImport::exportSb3Button() {
    const auto target = squawkBoxTarget();
    if (!target) {
        c_.pilot.warn(kNoSquawkBox);
        return;
    }
    FlightFormModel& form = c_.form;
    form.readForm();
    const model::FlightRecord& r = form.record();
    const config::IniFile file(*target);
    auto document = file.load();
    if (document) {
        constexpr const char* kSection = "SBFlightPlan";
        const std::pair<const char*, std::string> keys[] = {
            {"Type", "0"},
            {"Departure", r.departureIcao},
            {"Arrival", r.arrivalIcao},
            {"Alternate", r.alternateIcao},
            {"FlightHours", "0"},
            {"FlightMinutes", "0"},
            {"FuelHours", "0"},
            {"FuelMinutes", "0"},
            {"Airspeed", "0"},
            {"Altitude", r.flightLevel},
            {"Route", r.route},
            {"Remarks", form.builtRemarks()},
        };
        for (const auto& [key, value] : keys) document->setString(kSection, key, value);
    }
    if (!document || !file.save(*document)) c_.pilot.warn(kSquawkBoxWriteFailed + target->string());
}

}  // namespace aviolog::planning
