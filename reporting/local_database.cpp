#include "reporting/local_database.h"

#include <sqlite3.h>

#include <algorithm>
#include <limits>
#include <memory>
#include <string_view>
#include <system_error>
#include <type_traits>
#include <utility>

#include "common/code_page.h"
#include "common/decimal_value.h"
#include "common/paths.h"
#include "common/text_case.h"
#include "config/settings.h"
#include "model/flight_record.h"
#include "model/flight_summary.h"
#include "model/main_window_model.h"

namespace aviolog::reporting {

namespace {

// Long enough for a page being written while the pilot accepts a flight.
constexpr int kBusyTimeoutMs = 5000;

// The one list of the table's columns, in order: the schema, the insert and the read all
// walk it, so they cannot drift apart.
template <typename Flight, typename Visit>
void forEachColumn(Flight& f, Visit&& visit) {
    visit("TotalFlightNumber", f.TotalFlightNumber);
    visit("CompanyICAO", f.CompanyICAO);
    visit("FlightNumber", f.FlightNumber);
    visit("PilotNumber", f.PilotNumber);
    visit("Date", f.Date);
    visit("Hour", f.Hour);
    visit("Callsign", f.Callsign);
    visit("IATANumber", f.IATANumber);
    visit("Registration", f.Registration);
    visit("Depart", f.Depart);
    visit("Arrival", f.Arrival);
    visit("PlaneType", f.PlaneType);
    visit("SpentFuel", f.SpentFuel);
    visit("InitFuel", f.InitFuel);
    visit("EndFuel", f.EndFuel);
    visit("Duration", f.Duration);
    visit("Length", f.Length);
    visit("ToutchDownVerticalSpeed", f.ToutchDownVerticalSpeed);
    visit("ToutchDownSpeed", f.ToutchDownSpeed);
    visit("TakeOffWeight", f.TakeOffWeight);
    visit("FlightLevel", f.FlightLevel);
    visit("Route", f.Route);
    visit("Log", f.Log);
    visit("TouchdownG", f.TouchdownG);
    visit("Bounces", f.Bounces);
}

// The columns a table made before the landing analysis lacks: the last ones.
constexpr std::size_t kLandingColumns = 2;

template <typename T>
constexpr bool kIsKey = std::is_same_v<T, std::int64_t>;

std::vector<std::string> columnNames() {
    std::vector<std::string> names;
    const DatabaseFlight flight;
    forEachColumn(flight, [&](const char* name, const auto&) { names.emplace_back(name); });
    return names;
}

// Each column's name with its type, as the table declares it.
std::vector<std::string> columnDefinitions() {
    std::vector<std::string> definitions;
    const DatabaseFlight flight;
    forEachColumn(flight, [&](const char* name, const auto& member) {
        using T = std::decay_t<decltype(member)>;
        std::string definition = name;
        if constexpr (kIsKey<T>) {
            definition += " INTEGER PRIMARY KEY AUTOINCREMENT";
        } else if constexpr (std::is_same_v<T, std::string>) {
            definition += " TEXT";
        } else {
            definition += " INTEGER";
        }
        definitions.push_back(std::move(definition));
    });
    return definitions;
}

std::string createTableSql() {
    std::string sql = std::string("CREATE TABLE IF NOT EXISTS ") + kDatabaseTable + " (";
    bool first = true;
    for (const std::string& definition : columnDefinitions()) {
        sql += (first ? "" : ", ") + definition;
        first = false;
    }
    return sql + ")";
}

// Every column but the key, which the database numbers.
std::string insertSql() {
    std::string names;
    std::string marks;
    for (const std::string& name : columnNames()) {
        if (name == "TotalFlightNumber") continue;
        names += (names.empty() ? "" : ", ") + name;
        marks += marks.empty() ? "?" : ", ?";
    }
    return std::string("INSERT INTO ") + kDatabaseTable + " (" + names + ") VALUES (" + marks + ")";
}

// The columns the table has, and NULL for those an older table lacks.
std::string selectSql(std::size_t present) {
    std::string names;
    const std::vector<std::string> all = columnNames();
    for (std::size_t i = 0; i < all.size(); ++i) {
        names += (names.empty() ? "" : ", ") + (i < present ? all[i] : std::string("NULL"));
    }
    return "SELECT " + names + " FROM " + kDatabaseTable + " ORDER BY TotalFlightNumber DESC";
}

struct CloseDatabase {
    void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
struct FinalizeStatement {
    void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};
using Database = std::unique_ptr<sqlite3, CloseDatabase>;
using Statement = std::unique_ptr<sqlite3_stmt, FinalizeStatement>;

std::string engineError(sqlite3* db) {
    return db ? sqlite3_errmsg(db) : "out of memory";
}

// The open file, or the engine's reason why not. A handle comes back even when the open
// failed, and has to be closed too.
std::pair<Database, std::optional<std::string>> openDatabase(const std::filesystem::path& file,
                                                             int flags) {
    sqlite3* raw = nullptr;
    const int rc = sqlite3_open_v2(file.c_str(), &raw, flags, nullptr);
    Database db(raw);
    if (rc != SQLITE_OK) return {nullptr, engineError(raw)};
    sqlite3_busy_timeout(db.get(), kBusyTimeoutMs);
    return {std::move(db), std::nullopt};
}

std::optional<std::string> execute(sqlite3* db, const std::string& sql) {
    char* message = nullptr;
    if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &message) == SQLITE_OK) return std::nullopt;
    std::string text = message ? message : engineError(db);
    sqlite3_free(message);
    return text;
}

std::pair<Statement, std::optional<std::string>> prepareStatement(sqlite3* db,
                                                                  const std::string& sql) {
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &raw, nullptr) != SQLITE_OK) {
        return {Statement(raw), engineError(db)};
    }
    return {Statement(raw), std::nullopt};
}

// Whether the file holds the table at all; a file that is not a database fails here.
std::pair<bool, std::optional<std::string>> hasTable(sqlite3* db) {
    auto [statement, error] = prepareStatement(
        db, std::string("SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = '") +
                kDatabaseTable + "' COLLATE NOCASE");
    if (error) return {false, error};
    const int rc = sqlite3_step(statement.get());
    if (rc == SQLITE_ROW) return {true, std::nullopt};
    if (rc == SQLITE_DONE) return {false, std::nullopt};
    return {false, engineError(db)};
}

// A table made elsewhere must have our columns in our order; writing into a table of
// another layout would put values under the wrong names. A table made before the landing
// columns has all the others: how many of ours the table has.
std::pair<std::size_t, std::optional<std::string>> presentColumns(sqlite3* db) {
    auto [statement, error] =
        prepareStatement(db, std::string("PRAGMA table_info(") + kDatabaseTable + ")");
    if (error) return {0, error};
    std::vector<std::string> found;
    int rc;
    while ((rc = sqlite3_step(statement.get())) == SQLITE_ROW) {
        found.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(statement.get(), 1)));
    }
    if (rc != SQLITE_DONE) return {0, engineError(db)};
    const std::vector<std::string> wanted = columnNames();
    if (found.size() != wanted.size() && found.size() != wanted.size() - kLandingColumns) {
        return {0, std::string(kWrongColumns)};
    }
    // Column names ignore case in SQL, so a table made with other capitals is the same.
    if (!std::equal(
            found.begin(), found.end(), wanted.begin(),
            [](const std::string& a, const std::string& b) { return equalsIgnoringCase(a, b); })) {
        return {0, std::string(kWrongColumns)};
    }
    return {found.size(), std::nullopt};
}

std::pair<Database, std::optional<std::string>> openForWriting(const std::filesystem::path& file) {
    auto [db, error] = openDatabase(file, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
    if (error) return {nullptr, error};
    if (auto created = execute(db.get(), createTableSql())) return {nullptr, created};
    const auto [present, wrong] = presentColumns(db.get());
    if (wrong) return {nullptr, wrong};
    const std::vector<std::string> definitions = columnDefinitions();
    for (std::size_t i = present; i < definitions.size(); ++i) {
        const std::string add =
            std::string("ALTER TABLE ") + kDatabaseTable + " ADD COLUMN " + definitions[i];
        if (auto failed = execute(db.get(), add)) return {nullptr, failed};
    }
    return {std::move(db), std::nullopt};
}

// SQLite's TEXT is UTF-8, and other tools read the file: the program's Windows-1252 goes
// in as UTF-8, with its byte length so that NULs stay, and the bytes the code page leaves
// without a character keep their place so that every text reads back as it was stored.
int bindText(sqlite3_stmt* statement, int index, const std::string& text) {
    const std::string utf8 = utf8FromWindows1252(text, UndefinedBytes::Keep);
    return sqlite3_bind_text64(statement, index, utf8.data(), utf8.size(), SQLITE_TRANSIENT,
                               SQLITE_UTF8);
}

// Rows stored before the text was UTF-8 hold Windows-1252 bytes, which are not UTF-8
// (the code page's letters are single bytes above 0x7F): those read as they are.
std::string columnText(sqlite3_stmt* statement, int index) {
    const auto* bytes = static_cast<const char*>(sqlite3_column_blob(statement, index));
    const int size = sqlite3_column_bytes(statement, index);
    if (!bytes) return {};
    const std::string_view stored(bytes, static_cast<std::size_t>(size));
    return windows1252FromUtf8(stored).value_or(std::string(stored));
}

// A row written by another program may hold any integer; ours are 32-bit.
std::int32_t column32(sqlite3_stmt* statement, int index) {
    return static_cast<std::int32_t>(std::clamp<sqlite3_int64>(
        sqlite3_column_int64(statement, index), std::numeric_limits<std::int32_t>::min(),
        std::numeric_limits<std::int32_t>::max()));
}

DatabaseFlight readRow(sqlite3_stmt* statement) {
    DatabaseFlight flight;
    int index = 0;
    forEachColumn(flight, [&](const char*, auto& member) {
        using T = std::decay_t<decltype(member)>;
        if constexpr (kIsKey<T>) {
            member = sqlite3_column_int64(statement, index);
        } else if constexpr (std::is_same_v<T, std::string>) {
            member = columnText(statement, index);
        } else if constexpr (std::is_same_v<T, std::optional<std::int32_t>>) {
            if (sqlite3_column_type(statement, index) != SQLITE_NULL) {
                member = column32(statement, index);
            }
        } else {
            member = column32(statement, index);
        }
        ++index;
    });
    return flight;
}

}  // namespace

LocalDatabase::LocalDatabase(std::filesystem::path file) : file_(std::move(file)) {}

std::optional<std::string> LocalDatabase::prepare() const {
    return openForWriting(file_).second;
}

std::optional<std::string> LocalDatabase::add(const DatabaseFlight& flight) const {
    auto [db, error] = openForWriting(file_);
    if (error) return error;
    auto [statement, prepared] = prepareStatement(db.get(), insertSql());
    if (prepared) return prepared;
    int index = 0;
    int rc = SQLITE_OK;
    forEachColumn(flight, [&](const char*, const auto& member) {
        using T = std::decay_t<decltype(member)>;
        if constexpr (kIsKey<T>) {
            return;
        } else {
            ++index;
            if (rc != SQLITE_OK) return;
            if constexpr (std::is_same_v<T, std::string>) {
                rc = bindText(statement.get(), index, member);
            } else if constexpr (std::is_same_v<T, std::optional<std::int32_t>>) {
                rc = member ? sqlite3_bind_int(statement.get(), index, *member)
                            : sqlite3_bind_null(statement.get(), index);
            } else {
                rc = sqlite3_bind_int(statement.get(), index, member);
            }
        }
    });
    if (rc != SQLITE_OK) return engineError(db.get());
    if (sqlite3_step(statement.get()) != SQLITE_DONE) return engineError(db.get());
    return std::nullopt;
}

StoredFlights LocalDatabase::flights() const {
    StoredFlights result;
    std::error_code ec;
    if (!std::filesystem::exists(file_, ec)) return result;
    auto [db, error] = openDatabase(file_, SQLITE_OPEN_READONLY);
    if (error) {
        result.error = error;
        return result;
    }
    const auto [present, missing] = hasTable(db.get());
    if (missing || !present) {
        result.error = missing;
        return result;
    }
    const auto [columns, wrong] = presentColumns(db.get());
    if ((result.error = wrong)) return result;
    auto [statement, prepared] = prepareStatement(db.get(), selectSql(columns));
    if (prepared) {
        result.error = prepared;
        return result;
    }
    int rc;
    while ((rc = sqlite3_step(statement.get())) == SQLITE_ROW) {
        result.flights.push_back(readRow(statement.get()));
    }
    if (rc != SQLITE_DONE) {
        result.flights.clear();
        result.error = engineError(db.get());
    }
    return result;
}

DatabaseFlight databaseFlight(const config::Settings& settings, const model::FlightRecord& record,
                              const model::FlightSummary& summary, std::string log) {
    DatabaseFlight f;
    f.CompanyICAO = settings.company.CompanyICAO;
    f.PilotNumber = decimalValue(settings.company.PilotNumber);
    f.Date = summary.Date;
    f.Hour = summary.Hour;
    f.Callsign = summary.CallSign;
    f.IATANumber = summary.FlightIATA;
    f.Registration = summary.AircraftRegist;
    f.Depart = summary.DepAirport;
    f.Arrival = summary.DestAirport;
    f.PlaneType = summary.PlaneType;
    f.SpentFuel = decimalValue(summary.UsedFuel);
    f.InitFuel = decimalValue(summary.InitialFuel);
    f.EndFuel = decimalValue(summary.FuelEnd);
    f.Duration = summary.FlightDur;
    f.Length = decimalValue(summary.FlightLength);
    f.ToutchDownVerticalSpeed = decimalValue(summary.RateTD);
    f.ToutchDownSpeed = decimalValue(summary.speedTD);
    f.TakeOffWeight = decimalValue(summary.ZFW);
    f.FlightLevel = record.flightLevel;
    f.Route = record.route;
    f.Log = std::move(log);
    f.TouchdownG = summary.TouchdownG;
    if (!summary.Bounces.empty()) f.Bounces = decimalValue(summary.Bounces);
    return f;
}

std::optional<std::string> addFlight(const std::filesystem::path& workDir,
                                     const config::Settings& settings,
                                     const model::FlightRecord& record,
                                     const model::FlightSummary& summary,
                                     model::MainWindowModel& window) {
    // The row holds the view as it reads once the version line is added; the view gets
    // the line only when the row is stored, so a failed database adds nothing to it.
    std::string log;
    for (const std::string& line : window.lines(model::Channel::Log)) log += line + "\n";
    const std::string versionLine = std::string(kVersionLine) + "\n";
    log += versionLine;
    const LocalDatabase database(localPath(workDir, kLocalDatabaseFile));
    if (auto error = database.add(databaseFlight(settings, record, summary, std::move(log)))) {
        return error;
    }
    window.appendDisplay(model::Channel::Log, versionLine);
    return std::nullopt;
}

}  // namespace aviolog::reporting
