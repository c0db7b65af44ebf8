#include "reporting/local_database.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <string>
#include <thread>
#include <vector>

#include "common/text_file.h"
#include "common/text_format.h"
#include "config/settings.h"
#include "model/flight_record.h"
#include "model/flight_summary.h"
#include "model/main_window_model.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wait.h"

namespace aviolog::reporting {
namespace {

using model::Channel;
using test::TempDir;

constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();

// The state of the program at the accept step of one flight.
struct AcceptRig {
    AcceptRig() {
        settings.company.CompanyICAO = "TAP";
        settings.company.PilotNumber = "123";
        record.flightLevel = "FL350";
        record.route = "ESP DCT NANDO UN872 BAN";
        summary = {
            "2026/03/14", "09:05:00", "TAP123", "TP123", "CS-TNA", "LPPT",
            "LFPG",       "LFPO",     "A320",   "5321",  "9000",   "3679",
            "02:15",      "781",      "-139",   "128",   "61000",  "ignored: the view is the log"};
        window.appendDisplay(Channel::Log, "09:05  Log started\n09:20  Take off\n");
    }
    std::optional<std::string> accept() {
        return addFlight(dir.path(), settings, record, summary, window);
    }
    StoredFlights stored() const { return LocalDatabase(dir / "aviolog.db").flights(); }

    TempDir dir;
    config::Settings settings;
    model::FlightRecord record;
    model::FlightSummary summary;
    model::MainWindowModel window;
};

// Whether the thread sleeps in the system now, as a thread does between the attempts
// that SQLite's busy time-out makes.
bool sleepingInTheSystem(pid_t thread) {
    const auto line = readFileBytes("/proc/self/task/" + std::to_string(thread) + "/syscall");
    if (!line) return false;
    const long number = std::strtol(line->c_str(), nullptr, 10);
    return number == SYS_nanosleep || number == SYS_clock_nanosleep;
}

// Runs one statement on the file outside the code under test.
void runSql(const std::filesystem::path& file, const std::string& sql) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK);
    char* error = nullptr;
    EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error), SQLITE_OK)
        << (error ? error : "");
    sqlite3_free(error);
    sqlite3_close(db);
}

TEST(LocalDatabase, AcceptedFlightIsStoredWithTheVersionLineAsLastLogLine) {
    AcceptRig rig;
    ASSERT_EQ(rig.accept(), std::nullopt);
    EXPECT_EQ(rig.window.lines(Channel::Log).back(), kVersionLine);

    const StoredFlights stored = rig.stored();
    ASSERT_EQ(stored.error, std::nullopt);
    ASSERT_EQ(stored.flights.size(), 1u);
    DatabaseFlight expected;
    expected.TotalFlightNumber = stored.flights[0].TotalFlightNumber;
    expected.CompanyICAO = "TAP";
    expected.PilotNumber = 123;
    expected.Date = "2026/03/14";
    expected.Hour = "09:05:00";
    expected.Callsign = "TAP123";
    expected.IATANumber = "TP123";
    expected.Registration = "CS-TNA";
    expected.Depart = "LPPT";
    expected.Arrival = "LFPG";
    expected.PlaneType = "A320";
    expected.SpentFuel = 5321;
    expected.InitFuel = 9000;
    expected.EndFuel = 3679;
    expected.Duration = "02:15";
    expected.Length = 781;
    expected.ToutchDownVerticalSpeed = -139;
    expected.ToutchDownSpeed = 128;
    expected.TakeOffWeight = 61000;
    expected.FlightLevel = "FL350";
    expected.Route = "ESP DCT NANDO UN872 BAN";
    expected.Log = "09:05  Log started\n09:20  Take off\nAviolog 4.0.10\n";
    EXPECT_EQ(stored.flights[0], expected);
}

TEST(LocalDatabase, EveryFlightGetsItsOwnNumberAndTheNewestComesFirst) {
    AcceptRig rig;
    ASSERT_EQ(rig.accept(), std::nullopt);
    rig.summary.DepAirport = "LFPG";
    ASSERT_EQ(rig.accept(), std::nullopt);
    const StoredFlights stored = rig.stored();
    ASSERT_EQ(stored.flights.size(), 2u);
    EXPECT_GT(stored.flights[0].TotalFlightNumber, stored.flights[1].TotalFlightNumber);
    EXPECT_EQ(stored.flights[0].Depart, "LFPG");
    EXPECT_EQ(stored.flights[0].FlightNumber, std::nullopt);
}

TEST(LocalDatabase, ProfileAndSummaryNumbersUseTheDecimalReading) {
    struct Row {
        const char* pilot;
        const char* rate;
        const char* zfw;
        std::int32_t pilotExpected;
        std::int32_t rateExpected;
        std::int32_t zfwExpected;
    };
    const Row rows[] = {
        {"A12", "-139", "61000", 0, -139, 61000},
        {" 0042", " -88ft", "x", 42, -88, 0},
        {"123456789012", "-99999999999", "", kMax, kMin, 0},
    };
    for (const Row& row : rows) {
        AcceptRig rig;
        rig.settings.company.PilotNumber = row.pilot;
        rig.summary.RateTD = row.rate;
        rig.summary.ZFW = row.zfw;
        ASSERT_EQ(rig.accept(), std::nullopt) << row.pilot;
        const DatabaseFlight f = rig.stored().flights.at(0);
        EXPECT_EQ(f.PilotNumber, row.pilotExpected) << row.pilot;
        EXPECT_EQ(f.ToutchDownVerticalSpeed, row.rateExpected) << row.pilot;
        EXPECT_EQ(f.TakeOffWeight, row.zfwExpected) << row.pilot;
    }
}

TEST(LocalDatabase, TextIsStoredByteForByteWithoutALengthLimit) {
    TempDir dir;
    const LocalDatabase db(dir / "aviolog.db");
    DatabaseFlight flight;
    flight.Callsign = std::string("Caf\xE9 \x80\x9F\xFF", 8) + std::string(1, '\0') + "after NUL";
    flight.Route = std::string(300, 'R');  // the old engine's 255 was a column size, not a rule
    for (int i = 0; flight.Log.size() < 40000; ++i) {
        flight.Log += "12:" + std::to_string(i % 60) + "  \xC0\xE9\xFC position report\n";
    }
    flight.Log.resize(40000);
    flight.FlightNumber = 77;
    ASSERT_EQ(db.add(flight), std::nullopt);
    const StoredFlights stored = db.flights();
    ASSERT_EQ(stored.flights.size(), 1u);
    flight.TotalFlightNumber = stored.flights[0].TotalFlightNumber;
    EXPECT_EQ(stored.flights[0], flight);
}

// The first row's column as the file holds it, read outside the code under test.
std::string storedBytes(const std::filesystem::path& file, const std::string& column) {
    sqlite3* db = nullptr;
    EXPECT_EQ(sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
    sqlite3_stmt* statement = nullptr;
    std::string bytes;
    if (sqlite3_prepare_v2(db, ("SELECT " + column + " FROM Aviolog").c_str(), -1, &statement,
                           nullptr) == SQLITE_OK &&
        sqlite3_step(statement) == SQLITE_ROW) {
        const auto* text = static_cast<const char*>(sqlite3_column_blob(statement, 0));
        bytes.assign(text ? text : "",
                     static_cast<std::size_t>(sqlite3_column_bytes(statement, 0)));
    }
    sqlite3_finalize(statement);
    sqlite3_close(db);
    return bytes;
}

// SQLite's TEXT is UTF-8: other tools read the file, so the program's Windows-1252 text is
// converted going in and coming out, and rows of other writers read as well as they can.
TEST(LocalDatabase, TextIsUtf8InTheFileAndWindows1252InTheProgram) {
    struct Row {
        const char* name;
        std::string program;  // what the program stores, and reads back
        std::string file;     // what the file holds
    };
    const Row rows[] = {
        {"position signs",
         "38\xBA"
         "46\xB4N",
         "38\xC2\xBA"
         "46\xC2\xB4N"},
        {"euro and quotes", "\x80 \x93ok\x94", "\xE2\x82\xAC \xE2\x80\x9Cok\xE2\x80\x9D"},
        {"bytes without a character keep their place", "a\x81\x8D\x8F\x90\x9Dz",
         "a\xC2\x81\xC2\x8D\xC2\x8F\xC2\x90\xC2\x9Dz"},
        {"ASCII", "TAP123 LPPT-LPPR", "TAP123 LPPT-LPPR"},
    };
    for (const Row& row : rows) {
        TempDir dir;
        const LocalDatabase db(dir / "aviolog.db");
        DatabaseFlight flight;
        flight.Log = row.program;
        ASSERT_EQ(db.add(flight), std::nullopt) << row.name;
        EXPECT_EQ(storedBytes(dir / "aviolog.db", "Log"), row.file) << row.name;
        EXPECT_EQ(db.flights().flights.at(0).Log, row.program) << row.name;
    }

    // Rows this program stored before it wrote UTF-8 hold the bytes as they were; rows of
    // another writer may hold characters the code page lacks.
    const Row others[] = {
        {"raw Windows-1252 of an earlier version", "Lisboa 38\xBA", "Lisboa 38\xBA"},
        {"characters outside the code page",
         "?\xF3"
         "d?",
         "\xC5\x81\xC3\xB3"
         "d\xC5\xBA"},
    };
    for (const Row& row : others) {
        TempDir dir;
        const LocalDatabase db(dir / "aviolog.db");
        ASSERT_EQ(db.prepare(), std::nullopt);
        std::string hex;
        for (const char c : row.file) hex += format("%02X", static_cast<unsigned char>(c));
        runSql(dir / "aviolog.db",
               "INSERT INTO Aviolog (Log) VALUES (CAST(X'" + hex + "' AS TEXT))");
        EXPECT_EQ(db.flights().flights.at(0).Log, row.program) << row.name;
    }
}

TEST(LocalDatabase, ColumnsHaveTheirNamesTypesAndOrder) {
    AcceptRig rig;
    ASSERT_EQ(rig.accept(), std::nullopt);
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open_v2((rig.dir / "aviolog.db").c_str(), &db, SQLITE_OPEN_READONLY, nullptr),
              SQLITE_OK);
    sqlite3_stmt* statement = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(db, "PRAGMA table_info(Aviolog)", -1, &statement, nullptr),
              SQLITE_OK);
    std::string columns;
    while (sqlite3_step(statement) == SQLITE_ROW) {
        columns += reinterpret_cast<const char*>(sqlite3_column_text(statement, 1));
        columns +=
            std::string(" ") + reinterpret_cast<const char*>(sqlite3_column_text(statement, 2));
        if (sqlite3_column_int(statement, 5) != 0) columns += " key";
        columns += ", ";
    }
    sqlite3_finalize(statement);
    sqlite3_close(db);
    EXPECT_EQ(columns,
              "TotalFlightNumber INTEGER key, CompanyICAO TEXT, FlightNumber INTEGER, "
              "PilotNumber INTEGER, Date TEXT, Hour TEXT, Callsign TEXT, IATANumber TEXT, "
              "Registration TEXT, Depart TEXT, Arrival TEXT, PlaneType TEXT, SpentFuel INTEGER, "
              "InitFuel INTEGER, EndFuel INTEGER, Duration TEXT, Length INTEGER, "
              "ToutchDownVerticalSpeed INTEGER, ToutchDownSpeed INTEGER, TakeOffWeight INTEGER, "
              "FlightLevel TEXT, Route TEXT, Log TEXT, TouchdownG TEXT, Bounces INTEGER, ");
}

// A database made before the landing columns: its flights read as they were, with the
// new columns empty, and the next flight stored adds the columns and fills them.
TEST(LocalDatabase, ATableWithoutTheLandingColumnsGetsThem) {
    AcceptRig rig;
    runSql(rig.dir / "aviolog.db",
           "CREATE TABLE Aviolog (TotalFlightNumber INTEGER PRIMARY KEY AUTOINCREMENT, "
           "CompanyICAO TEXT, FlightNumber INTEGER, PilotNumber INTEGER, Date TEXT, Hour TEXT, "
           "Callsign TEXT, IATANumber TEXT, Registration TEXT, Depart TEXT, Arrival TEXT, "
           "PlaneType TEXT, SpentFuel INTEGER, InitFuel INTEGER, EndFuel INTEGER, Duration TEXT, "
           "Length INTEGER, ToutchDownVerticalSpeed INTEGER, ToutchDownSpeed INTEGER, "
           "TakeOffWeight INTEGER, FlightLevel TEXT, Route TEXT, Log TEXT)");
    runSql(rig.dir / "aviolog.db",
           "INSERT INTO Aviolog (Date, ToutchDownVerticalSpeed) VALUES ('2024/01/02', -180)");
    const StoredFlights before = rig.stored();
    ASSERT_EQ(before.error, std::nullopt);
    ASSERT_EQ(before.flights.size(), 1U);
    EXPECT_EQ(before.flights[0].ToutchDownVerticalSpeed, -180);
    EXPECT_EQ(before.flights[0].TouchdownG, "");
    EXPECT_EQ(before.flights[0].Bounces, std::nullopt);

    rig.summary.TouchdownG = "1.31";
    rig.summary.Bounces = "1";
    ASSERT_EQ(rig.accept(), std::nullopt);
    const StoredFlights after = rig.stored();
    ASSERT_EQ(after.error, std::nullopt);
    ASSERT_EQ(after.flights.size(), 2U);
    EXPECT_EQ(after.flights[0].TouchdownG, "1.31");
    EXPECT_EQ(after.flights[0].Bounces, 1);
    EXPECT_EQ(after.flights[1].ToutchDownVerticalSpeed, -180) << "the older flight is kept";
    EXPECT_EQ(after.flights[1].Bounces, std::nullopt);
}

TEST(LocalDatabase, NumbersAreNotReusedAfterTheNewestRowIsDeleted) {
    AcceptRig rig;
    ASSERT_EQ(rig.accept(), std::nullopt);
    ASSERT_EQ(rig.accept(), std::nullopt);
    const std::int64_t newest = rig.stored().flights.at(0).TotalFlightNumber;
    runSql(rig.dir / "aviolog.db",
           "DELETE FROM Aviolog WHERE TotalFlightNumber = " + std::to_string(newest));
    ASSERT_EQ(rig.accept(), std::nullopt);
    EXPECT_GT(rig.stored().flights.at(0).TotalFlightNumber, newest);
}

TEST(LocalDatabase, AnAccessFileOfAnotherInstallationIsLeftAlone) {
    AcceptRig rig;
    const std::string access =
        std::string("\0\1\0\0Standard Jet DB\0", 20) + std::string(2000, 'x');
    rig.dir.write("aviolog.mdb", access);
    ASSERT_EQ(rig.accept(), std::nullopt);
    EXPECT_EQ(rig.dir.read("aviolog.mdb"), access);
    EXPECT_EQ(rig.stored().flights.size(), 1u);
}

TEST(LocalDatabase, AFileThatIsNotADatabaseIsReportedAndKept) {
    AcceptRig rig;
    const std::string garbage(5000, '\x5A');
    rig.dir.write("aviolog.db", garbage);
    const auto error = rig.accept();
    ASSERT_TRUE(error.has_value());
    EXPECT_FALSE(error->empty());
    EXPECT_EQ(rig.dir.read("aviolog.db"), garbage);
    EXPECT_NE(rig.window.lines(Channel::Log).back(), kVersionLine)
        << "accepting again must not add a second version line";
    const StoredFlights stored = rig.stored();
    EXPECT_TRUE(stored.error.has_value());
    EXPECT_TRUE(stored.flights.empty());
}

TEST(LocalDatabase, ATableOfAnotherLayoutIsRefusedNotWrittenInto) {
    struct Row {
        const char* name;
        const char* create;
    };
    const Row rows[] = {
        {"missing columns", "CREATE TABLE Aviolog (TotalFlightNumber INTEGER, Log TEXT)"},
        {"other order",
         "CREATE TABLE Aviolog (TotalFlightNumber INTEGER, FlightNumber INTEGER, CompanyICAO "
         "TEXT)"},
        {"same table name in capitals", "CREATE TABLE AVIOLOG (x TEXT)"},
    };
    for (const Row& row : rows) {
        AcceptRig rig;
        runSql(rig.dir / "aviolog.db", row.create);
        EXPECT_EQ(rig.accept(), std::string(kWrongColumns)) << row.name;
        EXPECT_EQ(rig.stored().error, std::string(kWrongColumns)) << row.name;
    }
}

TEST(LocalDatabase, AFolderThatCannotHoldTheFileGivesTheEngineError) {
    AcceptRig rig;
    const auto error =
        addFlight(rig.dir / "no such folder", rig.settings, rig.record, rig.summary, rig.window);
    ASSERT_TRUE(error.has_value());
    EXPECT_FALSE(error->empty());
    EXPECT_NE(rig.window.lines(Channel::Log).back(), kVersionLine);
}

TEST(LocalDatabase, AddWaitsForAReaderInsteadOfFailing) {
    AcceptRig rig;
    ASSERT_EQ(rig.accept(), std::nullopt);
    sqlite3* reader = nullptr;
    ASSERT_EQ(sqlite3_open((rig.dir / "aviolog.db").c_str(), &reader), SQLITE_OK);
    // An open read transaction holds the shared lock that keeps a writer from committing.
    ASSERT_EQ(
        sqlite3_exec(reader, "BEGIN; SELECT count(*) FROM Aviolog;", nullptr, nullptr, nullptr),
        SQLITE_OK);
    // The reader lets go once the writer waits for it: its journal is open and SQLite's busy
    // timeout has it sleeping between attempts. The deadline stays inside that time-out.
    const pid_t writer = ::gettid();
    bool writerWaited = false;
    std::thread release([&] {
        writerWaited = test::waitFor(
            [&] {
                return std::filesystem::exists(rig.dir / "aviolog.db-journal") &&
                       sleepingInTheSystem(writer);
            },
            std::chrono::seconds(4), std::chrono::milliseconds(1));
        sqlite3_exec(reader, "COMMIT", nullptr, nullptr, nullptr);
    });
    const auto error = rig.accept();
    release.join();
    sqlite3_close(reader);
    EXPECT_TRUE(writerWaited) << "the writer was never seen waiting for the reader";
    EXPECT_EQ(error, std::nullopt);
    EXPECT_EQ(rig.stored().flights.size(), 2u);
}

TEST(LocalDatabase, ReadingAMissingFileFindsNoFlightsAndCreatesNothing) {
    TempDir dir;
    const StoredFlights stored = LocalDatabase(dir / "aviolog.db").flights();
    EXPECT_EQ(stored.error, std::nullopt);
    EXPECT_TRUE(stored.flights.empty());
    EXPECT_FALSE(dir.exists("aviolog.db"));
}

}  // namespace
}  // namespace aviolog::reporting
