#pragma once

// The permanent record of every accepted flight: an SQLite file beside the program, one row
// per flight in table "Aviolog". Each call opens the file and closes it again, so the
// program holds nothing open between flights and a page writer can read at any time.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace aviolog::config {
struct Settings;
}
namespace aviolog::model {
struct FlightRecord;
struct FlightSummary;
class MainWindowModel;
}  // namespace aviolog::model

namespace aviolog::reporting {

// An Access file ".\aviolog.mdb" of another installation has another name and stays untouched.
inline constexpr const char* kLocalDatabaseFile = ".\\aviolog.db";
inline constexpr const char* kVersionLine = "Aviolog 4.0.10";

inline constexpr const char* kDatabaseTable = "Aviolog";
inline constexpr const char* kWrongColumns =
    "Table Aviolog in the local database does not have the expected columns";

// One row of table "Aviolog", columns as members, in column order. Text is Windows-1252.
struct DatabaseFlight {
    std::int64_t TotalFlightNumber = 0;  // numbered by the database, never reused
    std::string CompanyICAO;
    std::optional<std::int32_t> FlightNumber;  // not set by this program: NULL
    std::int32_t PilotNumber = 0;
    std::string Date;
    std::string Hour;
    std::string Callsign;
    std::string IATANumber;
    std::string Registration;
    std::string Depart;
    std::string Arrival;
    std::string PlaneType;
    std::int32_t SpentFuel = 0;
    std::int32_t InitFuel = 0;
    std::int32_t EndFuel = 0;
    std::string Duration;  // "hh:mm"
    std::int32_t Length = 0;
    std::int32_t ToutchDownVerticalSpeed = 0;  // ft/min
    std::int32_t ToutchDownSpeed = 0;          // knots
    std::int32_t TakeOffWeight = 0;            // the zero-fuel weight, as it was always stored
    std::string FlightLevel;
    std::string Route;
    std::string Log;
    // Added with the landing analysis: a table made before has them added when a flight
    // is stored, and reads them as empty until then.
    std::string TouchdownG = {};               // "1.31"; empty when not measured
    std::optional<std::int32_t> Bounces = {};  // NULL when not measured

    bool operator==(const DatabaseFlight&) const = default;
};

struct StoredFlights {
    std::vector<DatabaseFlight> flights;  // newest (highest TotalFlightNumber) first
    std::optional<std::string> error;     // the engine's text when the read failed
};

class LocalDatabase {
  public:
    explicit LocalDatabase(std::filesystem::path file);

    // Creates the file and the table when missing and checks that an existing table has
    // the columns this program writes, in order; the error text otherwise.
    std::optional<std::string> prepare() const;
    // Adds the row (its TotalFlightNumber is assigned by the database); the error text on
    // failure, and then nothing is stored.
    std::optional<std::string> add(const DatabaseFlight& flight) const;
    // Every row, newest first. A missing file or a file without the table holds no flights
    // and is not created by reading.
    StoredFlights flights() const;

    const std::filesystem::path& file() const { return file_; }

  private:
    std::filesystem::path file_;
};

// The row the accept step stores: the profile, the form's record, the summary and the log.
DatabaseFlight databaseFlight(const config::Settings& settings, const model::FlightRecord& record,
                              const model::FlightSummary& summary, std::string log);

// The accept step's "add flight": stores one row built from the profile, the flight record,
// the summary and the flight log view's lines with kVersionLine after them (each followed
// by a line feed), and adds kVersionLine to the view. The error text on failure, for the
// pilot; the view is then left as it was, so accepting again adds one line.
std::optional<std::string> addFlight(const std::filesystem::path& workDir,
                                     const config::Settings& settings,
                                     const model::FlightRecord& record,
                                     const model::FlightSummary& summary,
                                     model::MainWindowModel& window);

}  // namespace aviolog::reporting
