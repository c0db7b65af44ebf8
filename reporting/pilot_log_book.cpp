#include "reporting/pilot_log_book.h"

#include "common/paths.h"
#include "common/text_file.h"
#include "common/text_format.h"
#include "config/company_profiles.h"
#include "config/settings.h"
#include "model/flight_summary.h"
#include "model/main_window_model.h"
#include "platform/pilot.h"
#include "reporting/local_database.h"
#include "reporting/pilot_log_file.h"
#include "reporting/seal.h"

namespace aviolog::reporting {

std::string defaultLogName(const std::string& departure, const std::string& destination,
                           const std::string& date) {
    std::string name = departure + "_" + destination + "_" + date;
    for (int replaced = 0; replaced < 2; ++replaced) {
        const std::size_t slash = name.find('/');
        if (slash == std::string::npos) break;
        name[slash] = '-';
    }
    return name;
}

PilotLogBook::Written PilotLogBook::writeFlight(const std::string& name,
                                                const model::FlightSummary& summary) {
    PilotLogFile file(localPath(workDir_, name));
    switch (file.open()) {
        case PilotLogFile::State::Tampered:
            pilot_.warn(kTamperedLogMessage);
            return Written::Refused;
        case PilotLogFile::State::Unreadable:
            return Written::No;
        case PilotLogFile::State::Missing:
        case PilotLogFile::State::Sealed:
            break;
    }
    file.add(summary);
    return file.save() ? Written::Yes : Written::No;
}

bool PilotLogBook::store(const model::AcceptedFlight& flight) {
    config::Settings& settings = flight.settings;
    if (const auto refused =
            config::refusedFileName(settings.company.CompanyICAO, settings.company.PilotNumber)) {
        pilot_.warn(*refused);
        return false;
    }
    const auto nameIn = [&](const std::string& logPath) {
        return pilotLogName(logPath, settings.company.CompanyICAO, settings.company.PilotNumber);
    };
    std::string name = nameIn(settings.log.LogPath);
    Written written = writeFlight(name, flight.summary);
    if (written == Written::No) {
        pilot_.warn(kCantWriteLogMessage + name);
        const auto folder = pilot_.chooseFolder(kLogDirectoryTitle);
        if (!folder) return false;
        settings.log.LogPath = *folder + "\\";
        name = nameIn(settings.log.LogPath);
        written = writeFlight(name, flight.summary);
        if (written == Written::No) pilot_.warn(kCantWriteLogMessage + name + kBugReportSuffix);
    }
    if (written != Written::Yes) return false;

    bool inDatabase = false;
    if (settings.aviolog.UseDB) {
        // The flight is safe in the pilot log file by now; the window closes even when
        // the database fails, so that a second OK cannot store the flight twice.
        const auto error =
            addFlight(workDir_, settings, flight.record, flight.summary, flight.window);
        inDatabase = !error;
        if (error) {
            pilot_.error(format(kDatabaseNotWrittenMessage, name.c_str(),
                                localPath(workDir_, kLocalDatabaseFile).string().c_str(),
                                error->c_str()));
        }
    }
    flight.window.setStatus(
        format(inDatabase ? kFlightStoredWithDatabaseStatus : kFlightStoredStatus, name.c_str()));
    return true;
}

bool PilotLogBook::saveLog(const std::string& logPath, const std::string& departure,
                           const std::string& destination, const std::string& date,
                           const std::vector<std::string>& lines) {
    if (logPath.empty()) {
        pilot_.warn(kNoLogPathMessage);
        return false;
    }
    const auto chosen = pilot_.chooseFileToSave(
        {kLogFileFilter, "txt", defaultLogName(departure, destination, date), logPath});
    if (!chosen) return false;
    std::string text;
    for (const std::string& line : lines) text += line + "\n";
    if (!writeFileAtomically(*chosen, sealedBytes(text))) {
        pilot_.warn(kCantWriteLogMessage + chosen->string());
        return false;
    }
    return true;
}

bool PilotLogBook::holds(const config::Settings& settings,
                         const model::FlightSummary& flight) const {
    const std::filesystem::path path =
        localPath(workDir_, pilotLogName(settings.log.LogPath, settings.company.CompanyICAO,
                                         settings.company.PilotNumber));
    // Read only: a tampered file is left for the next store to refuse.
    if (checkSeal(path, false)) return false;
    PilotLogFile file(path);
    if (file.open() != PilotLogFile::State::Sealed) return false;
    const auto same = [&](const model::FlightSummary& stored) {
        return stored.Date == flight.Date && stored.Hour == flight.Hour &&
               stored.DepAirport == flight.DepAirport && stored.DestAirport == flight.DestAirport &&
               stored.CallSign == flight.CallSign && stored.FlightDur == flight.FlightDur &&
               stored.UsedFuel == flight.UsedFuel;
    };
    for (int n = 1;; ++n) {
        const model::FlightSummary stored = file.flight(n);
        if (stored.Date.empty()) return false;
        if (same(stored)) return true;
    }
}

std::optional<std::filesystem::path> PilotLogBook::keepUnfinishedLog(
    const std::string& logPath, const std::string& departure, const std::string& destination,
    const std::string& date, const std::vector<std::string>& lines) {
    const std::filesystem::path folder = logPath.empty() ? workDir_ : localPath(workDir_, logPath);
    const std::string name = defaultLogName(departure, destination, date);
    std::error_code ec;
    std::filesystem::path file = folder / (name + ".txt");
    for (int n = 2; std::filesystem::exists(file, ec) && n < 1000; ++n) {
        file = folder / (name + "_" + std::to_string(n) + ".txt");
    }
    std::string text;
    for (const std::string& line : lines) text += line + "\n";
    if (!writeFileAtomically(file, sealedBytes(text))) return std::nullopt;
    return file;
}

bool PilotLogBook::saveAcars(const std::string& logPath) {
    if (logPath.empty()) {
        pilot_.warn(kNoLogPathMessage);
        return false;
    }
    const auto chosen = pilot_.chooseFileToSave({kAcarsFileFilter, "txt", "*.txt", logPath});
    if (!chosen) return false;
    // No journal yet means no messages: the copy is empty.
    const auto journal = readFileBytes(localPath(workDir_, kAcarsJournal));
    if (!writeFileAtomically(*chosen, textModeBytes(textModeText(journal.value_or(""))))) {
        pilot_.warn(kCantWriteLogMessage + chosen->string());
        return false;
    }
    return true;
}

}  // namespace aviolog::reporting
