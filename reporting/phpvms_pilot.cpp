#include "reporting/phpvms_pilot.h"

#include <algorithm>

#include "common/paths.h"
#include "common/text_format.h"
#include "config/settings.h"
#include "model/flight_record.h"
#include "model/flight_summary.h"
#include "planning/flight_form.h"
#include "platform/pilot.h"
#include "reporting/phpvms_flight.h"
#include "reporting/pilot_log_book.h"
#include "reporting/pilot_log_file.h"
#include "reporting/pirep_sender.h"
#include "reporting/seal.h"

namespace aviolog::reporting {
namespace {

using planning::FormField;

// One call the pilot waits for: the answer when the site took it; otherwise the pilot
// has been told why.
std::optional<std::string> ask(const PhpVmsPilotContext& c, const char* method,
                               const std::string& path, std::string body = {}) {
    if (c.settings.phpVms.Url.empty()) {
        c.pilot.warn(kNoPhpVmsSite);
        return std::nullopt;
    }
    const auto answer =
        c.http.send(phpVmsRequest(c.settings.phpVms, method, path, std::move(body)));
    if (!answer || answer->status >= 500) {
        c.pilot.warn(kPhpVmsUnreachable);
        return std::nullopt;
    }
    if (answer->status < 200 || answer->status >= 300) {
        c.pilot.warn(refusalText(*answer, c.settings.phpVms.ApiKey));
        return std::nullopt;
    }
    return answer->body;
}

void fill(planning::FlightFormModel& form, FormField field, const std::string& text) {
    if (!text.empty()) form.setField(field, text);
}

std::string logFileName(const config::Settings& s) {
    const std::string logPath = s.log.LogPath.empty() ? "." : s.log.LogPath;
    return pilotLogName(logPath, s.company.CompanyICAO, s.company.PilotNumber);
}

// The record a stored flight was flown with, as far as its summary tells.
model::FlightRecord recordOf(const model::FlightSummary& flight) {
    model::FlightRecord record;
    record.flightNumber = flight.FlightIATA;
    record.departureIcao = flight.DepAirport;
    record.arrivalIcao = flight.DestAirport;
    record.alternateIcao = flight.AltAirport;
    record.aircraftType = flight.PlaneType;
    record.registration = flight.AircraftRegist;
    return record;
}

std::optional<std::string> aircraftFor(const std::vector<PhpVmsAircraft>& fleet,
                                       const model::FlightRecord& record) {
    for (const PhpVmsAircraft& a : fleet) {
        if (!a.registration.empty() && a.registration == record.registration) return a.id;
    }
    for (const PhpVmsAircraft& a : fleet) {
        if (!a.icao.empty() && a.icao == record.aircraftType) return a.id;
    }
    if (fleet.empty()) return std::nullopt;
    return fleet.front().id;
}

}  // namespace

std::optional<PhpVmsBid> flightFromPhpVms(const PhpVmsPilotContext& c,
                                          planning::FlightFormModel& form) {
    const auto answer = ask(c, "GET", "/api/user/bids");
    if (!answer) return std::nullopt;
    std::vector<PhpVmsBid> bids = readBids(*answer);
    if (bids.empty()) {
        c.pilot.warn(kNoBids);
        return std::nullopt;
    }
    std::size_t chosen = 0;
    if (bids.size() > 1) {
        std::vector<std::string> items;
        for (const PhpVmsBid& b : bids) {
            const std::string& aircraft = b.registration.empty() ? b.aircraftType : b.registration;
            items.push_back(format("%s  %s - %s  %s", b.flightNumber.c_str(), b.departure.c_str(),
                                   b.arrival.c_str(), aircraft.c_str()));
        }
        const auto choice = c.pilot.chooseItem(kChooseBidTitle, items);
        if (!choice || *choice >= bids.size()) return std::nullopt;
        chosen = *choice;
    }
    PhpVmsBid& bid = bids[chosen];
    fill(form, FormField::FlightNumber, bid.flightNumber);
    fill(form, FormField::Callsign, bid.callsign);
    fill(form, FormField::Departure, bid.departure);
    fill(form, FormField::Arrival, bid.arrival);
    fill(form, FormField::Alternate, bid.alternate);
    fill(form, FormField::Route, bid.route);
    if (const int feet = levelFeet(bid.level); feet > 0) {
        form.setField(FormField::FlightLevel, format("%d", feet / 100));
    }
    if (!bid.aircraftType.empty()) {
        form.setField(FormField::AircraftType, bid.aircraftType);
        form.selectAircraftNamed(bid.aircraftType);
    }
    fill(form, FormField::Registration, bid.registration);
    fill(form, FormField::Passengers, bid.passengers);
    fill(form, FormField::Cargo, bid.cargo);
    return std::move(bid);
}

bool sendLogToPhpVms(const PhpVmsPilotContext& c, const std::vector<std::string>& fileWaiting) {
    const std::string name = logFileName(c.settings);
    PilotLogFile file(localPath(c.workDir, name));
    switch (file.open()) {
        case PilotLogFile::State::Missing:
        case PilotLogFile::State::Unreadable:
            c.pilot.warn(kNoLogFileMessage);
            return false;
        case PilotLogFile::State::Tampered:
            c.pilot.warn(kTamperedLogMessage);
            return false;
        case PilotLogFile::State::Sealed:
            break;
    }
    const auto user = ask(c, "GET", "/api/user");
    if (!user) return false;
    const auto fleetAnswer = ask(c, "GET", "/api/user/fleet");
    if (!fleetAnswer) return false;
    const std::string airline = readUserAirline(*user).value_or("");
    const std::vector<PhpVmsAircraft> fleet = readFleet(*fleetAnswer);
    int skipped = 0;
    for (int n = 1; !file.flight(n).Date.empty();) {
        const model::FlightSummary flight = file.flight(n);
        if (std::find(fileWaiting.begin(), fileWaiting.end(), storedFlightKey(flight)) !=
            fileWaiting.end()) {
            ++n;
            ++skipped;
            continue;
        }
        const model::FlightRecord record = recordOf(flight);
        const auto prefiled =
            ask(c, "POST", "/api/pireps/prefile",
                prefileBody(record, airline, aircraftFor(fleet, record).value_or("")));
        if (!prefiled) return false;
        const auto id = readPirepId(*prefiled);
        if (!id) {
            c.pilot.warn(kPhpVmsNoId);
            return false;
        }
        if (!ask(c, "POST", "/api/pireps/" + *id + "/file",
                 fileBody(flight, record, c.settings.company.UnitSystem))) {
            return false;
        }
        file.drop(n);
        if (!file.save()) {
            c.pilot.warn(kCantWriteLogMessage + name);
            return false;
        }
    }
    if (skipped > 0) {
        c.pilot.inform(kPhpVmsFileWaiting);
        return false;
    }
    c.pilot.inform(kPhpVmsFlightsFiled);
    return true;
}

bool dropFiledFlight(const PhpVmsPilotContext& c, const std::string& storedFlight) {
    PilotLogFile file(localPath(c.workDir, logFileName(c.settings)));
    if (file.open() != PilotLogFile::State::Sealed) return false;
    int found = 0;
    for (int n = 1; !file.flight(n).Date.empty(); ++n) {
        if (storedFlightKey(file.flight(n)) == storedFlight) found = n;
    }
    if (found == 0) return false;
    file.drop(found);
    return file.save();
}

}  // namespace aviolog::reporting
