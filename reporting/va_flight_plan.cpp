#include "reporting/va_flight_plan.h"

#include <cstdlib>
#include <vector>

#include "common/paths.h"
#include "common/text_file.h"
#include "config/settings.h"
#include "planning/flight_form.h"
#include "platform/http_get.h"
#include "platform/pilot.h"
#include "reporting/va_request.h"

namespace aviolog::reporting {

namespace {

using planning::FormField;

constexpr std::size_t kLineChars = 98;  // of lines 2 to 16, before the line feed
constexpr std::size_t kPlanLines = 16;

// The answer's lines without their line feeds; a last line without one still counts.
std::vector<std::string_view> linesOf(std::string_view text) {
    std::vector<std::string_view> lines;
    std::size_t begin = 0;
    while (begin < text.size() && lines.size() < kPlanLines) {
        const std::size_t end = text.find('\n', begin);
        lines.push_back(text.substr(begin, end == std::string_view::npos ? end : end - begin));
        if (end == std::string_view::npos) break;
        begin = end + 1;
    }
    return lines;
}

bool firstWordIsOk(std::string_view answer) {
    const std::size_t start = answer.find_first_not_of(" \t");
    if (start == std::string_view::npos) return false;
    const std::size_t end = answer.find_first_of(" \t\r\n", start);
    return answer.substr(start, end == std::string_view::npos ? end : end - start) == "OK";
}

// The number in characters [from, from + count) of the line, as atoi reads it.
int numberAt(std::string_view line, std::size_t from, std::size_t count) {
    if (from >= line.size()) return 0;
    return std::atoi(std::string(line.substr(from, count)).c_str());
}

void fillTime(std::string_view line, planning::FlightFormModel& form) {
    if (line.empty()) return;
    // A time the clock does not have is refused by the box and changes nothing.
    form.editUtcTime(numberAt(line, 0, 2), numberAt(line, 3, 2));
}

void fillDate(std::string_view line, planning::FlightFormModel& form) {
    if (line.empty()) return;
    form.editUtcDate({numberAt(line, 0, 4), numberAt(line, 5, 2), numberAt(line, 8, 2)});
}

}  // namespace

void fillFormFromFlightPlan(std::string_view answer, planning::FlightFormModel& form) {
    const std::vector<std::string_view> lines = linesOf(answer);
    auto line = [&](std::size_t number) -> std::string_view {
        if (number > lines.size()) return {};
        std::string_view text = lines[number - 1].substr(0, kLineChars);
        if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
        return text;
    };
    auto set = [&](std::size_t number, FormField field) {
        if (!line(number).empty()) form.setField(field, line(number));
    };
    set(2, FormField::Departure);
    set(3, FormField::Arrival);
    set(4, FormField::Alternate);
    set(5, FormField::FlightLevel);
    if (!line(6).empty()) {
        form.setField(FormField::AircraftType, line(6));
        form.selectAircraftNamed(line(6));
    }
    // The date first: the time then moves the other category's date across midnight.
    fillDate(line(8), form);
    fillTime(line(7), form);
    set(9, FormField::FlightNumber);
    set(10, FormField::Registration);
    set(11, FormField::Callsign);
    set(12, FormField::Route);
    if (!line(13).empty()) form.setWeightText(std::string(line(13)));
    set(14, FormField::Selcal);
    set(15, FormField::Passengers);
    set(16, FormField::Cargo);
}

VaFlightPlanOutcome flightFromVa(const VaFlightPlanContext& c) {
    config::CompanySection& company = c.settings.company;
    company.PilotNumber = c.form.text(FormField::PilotNumber).substr(0, 9);
    const std::string url =
        VaRequest(company.FPSite).add("pilot", company.CompanyICAO + company.PilotNumber).url();
    const auto answer = platform::httpGet(c.http, url);
    if (!answer || answer->empty()) {
        c.pilot.warn(kCantReachVa);
        return VaFlightPlanOutcome::Unreachable;
    }
    if (!firstWordIsOk(*answer)) return VaFlightPlanOutcome::Refused;
    // The file keeps the answer for the pilot; the form is filled from what it holds.
    const std::filesystem::path file = localPath(c.workDir, kFlightPlanFile);
    const bool stored = writeFileAtomically(file, textModeBytes(*answer));
    const auto text = stored ? readFileBytes(file) : std::nullopt;
    fillFormFromFlightPlan(text ? textModeText(*text) : *answer, c.form);
    return VaFlightPlanOutcome::Filled;
}

const std::string& realTimeAddress(config::Settings& settings) {
    if (settings.log.AcarsReal.empty()) settings.log.AcarsReal = config::kDefaultAcarsReal;
    return settings.log.AcarsReal;
}

}  // namespace aviolog::reporting
