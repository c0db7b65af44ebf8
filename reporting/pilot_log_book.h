#pragma once

// The accepted flights on disk: the summary window's OK stores the flight in the pilot
// log file (and the local database), and the File menu saves the flight log or the ACARS
// journal where the pilot chooses.

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "model/flight_services.h"

namespace aviolog::platform {
class Pilot;
}

namespace aviolog::reporting {

inline constexpr const char* kCantWriteLogMessage = "Can't write Log file to ";
inline constexpr const char* kBugReportSuffix = " Please send a bug report";
inline constexpr const char* kLogDirectoryTitle = "Log Directory";
inline constexpr const char* kNoLogPathMessage = "Log path not specified, Check options";
inline constexpr const char* kLogFileFilter = "Log Files (*.txt)|*.txt||";
inline constexpr const char* kAcarsFileFilter = "ACARS Files (*.txt)|*.txt||";
inline constexpr const char* kAcarsJournal = ".\\acars.txt";
// The status bar once the summary's OK has stored the flight; %s is the pilot log file.
inline constexpr const char* kFlightStoredStatus = "Flight stored in %s";
inline constexpr const char* kFlightStoredWithDatabaseStatus =
    "Flight stored in %s and in the local database";
// The flight is safe in the pilot log file, the local database failed: the file, the
// database and the engine's own words.
inline constexpr const char* kDatabaseNotWrittenMessage =
    "The flight is stored in %s, but not in the local database %s (%s), so \"Local DB\" "
    "will not list it. Make that folder writable, or turn \"Use Local DataBase\" off in the "
    "options.";

// "LPPT_LPPR_2004-05-01": the airports and the flight date, its first two "/" made "-".
std::string defaultLogName(const std::string& departure, const std::string& destination,
                           const std::string& date);

class PilotLogBook final : public model::FlightStore {
  public:
    PilotLogBook(std::filesystem::path workDir, platform::Pilot& pilot)
        : workDir_(std::move(workDir)), pilot_(pilot) {}

    // The summary window's OK. When the file cannot be written the pilot may choose
    // another folder, which becomes the log folder; if the pilot cancels, or that fails
    // too, nothing is stored and the window stays open so the flight is not lost.
    bool store(const model::AcceptedFlight& flight) override;

    // "Save &Log": every line of the flight log view, then a seal line. True when the file
    // was written (false also when the pilot cancelled or there is no log folder).
    bool saveLog(const std::string& logPath, const std::string& departure,
                 const std::string& destination, const std::string& date,
                 const std::vector<std::string>& lines);
    // "Save &ACARS": a copy of the ACARS journal; true when it was written.
    bool saveAcars(const std::string& logPath);
    // A flight that will not be resumed, kept as a sealed saved log in the log folder (the
    // working folder when none is set) under the name "Save Log" would offer, with a
    // number added when that is taken. The file's path; nothing when it could not be
    // written.
    std::optional<std::filesystem::path> keepUnfinishedLog(const std::string& logPath,
                                                           const std::string& departure,
                                                           const std::string& destination,
                                                           const std::string& date,
                                                           const std::vector<std::string>& lines);

    // Whether the pilot log file already holds this flight: the same start, airports,
    // callsign, duration and fuel (a program killed between storing a flight and letting
    // its journal go).
    bool holds(const config::Settings& settings, const model::FlightSummary& flight) const;

  private:
    enum class Written { Yes, No, Refused };
    Written writeFlight(const std::string& name, const model::FlightSummary& summary);

    std::filesystem::path workDir_;
    platform::Pilot& pilot_;
};

}  // namespace aviolog::reporting
