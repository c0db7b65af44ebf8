#include "reporting/pilot_log_book.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "common/text_file.h"
#include "config/settings.h"
#include "model/flight_record.h"
#include "model/flight_summary.h"
#include "model/main_window_model.h"
#include "reporting/local_database.h"
#include "reporting/pilot_log_file.h"
#include "reporting/seal.h"
#include "tests/support/scripted_pilot.h"
#include "tests/support/temp_dir.h"

namespace aviolog::reporting {
namespace {

using model::Channel;

struct BookRig {
    BookRig() {
        settings.company.CompanyICAO = "TAP";
        settings.company.PilotNumber = "123";
        settings.aviolog.UseDB = false;
        summary.Date = "2004/05/01";
        summary.CallSign = "TAP123";
        summary.DepAirport = "LPPT";
        summary.DestAirport = "LPPR";
        summary.RateTD = "-139";
        summary.logText = "Blocks off\nLanded\n";
        record.flightLevel = "FL240";
        record.route = "DCT";
        window.appendDisplay(Channel::Log, summary.logText);
    }

    bool store() { return book.store({summary, record, settings, window}); }
    bool sealed(const std::string& name) const {
        return dir.exists(name) && !checkSeal(dir / name, false);
    }

    test::TempDir dir;
    test::ScriptedPilot pilot;
    PilotLogBook book{dir.path(), pilot};
    config::Settings settings;
    model::FlightRecord record;
    model::FlightSummary summary;
    model::MainWindowModel window;
};

TEST(PilotLogBook, TheFirstFlightMakesTheSealedFile) {
    BookRig rig;
    ASSERT_TRUE(rig.store());
    EXPECT_TRUE(rig.sealed("TAP123.dat"));
    EXPECT_TRUE(rig.pilot.texts().empty());
    PilotLogFile file(rig.dir / "TAP123.dat");
    ASSERT_EQ(file.open(), PilotLogFile::State::Sealed);
    EXPECT_EQ(file.first(), rig.summary);
    // Without the database nothing else is touched, and the log view is as it was.
    EXPECT_FALSE(rig.dir.exists("aviolog.db"));
    EXPECT_EQ(rig.window.lines(Channel::Log).back(), "Landed");

    rig.settings.log.LogPath = "logs\\";
    std::filesystem::create_directory(rig.dir / "logs");
    ASSERT_TRUE(rig.store());
    EXPECT_TRUE(rig.sealed("logs/TAP123.dat"));
}

TEST(PilotLogBook, NamesThatWouldLeaveTheLogFolderStoreNothing) {
    const struct {
        const char* name;
        const char* icao;
        const char* pilot;
    } rows[] = {
        {"ICAO two folders up", "..\\..\\pwn", "123"},
        {"pilot number with a slash", "TAP", "../123"},
        {"pilot number with a line feed", "TAP", "1\n[FlightLog9]"},
    };
    for (const auto& row : rows) {
        BookRig rig;
        rig.settings.company.CompanyICAO = row.icao;
        rig.settings.company.PilotNumber = row.pilot;
        rig.settings.log.LogPath = "logs\\in\\";
        std::filesystem::create_directories(rig.dir / "logs" / "in");
        EXPECT_FALSE(rig.store()) << row.name;
        ASSERT_EQ(rig.pilot.texts().size(), 1u) << row.name;
        EXPECT_TRUE(rig.pilot.texts()[0].starts_with("The ")) << rig.pilot.texts()[0];
        EXPECT_TRUE(std::filesystem::is_empty(rig.dir / "logs" / "in")) << row.name;
        EXPECT_TRUE(rig.pilot.folderTitles.empty()) << row.name << ": no folder to choose";
    }
}

TEST(PilotLogBook, ATamperedFileTakesNoFlight) {
    BookRig rig;
    ASSERT_TRUE(rig.store());
    std::string bytes = rig.dir.read("TAP123.dat");
    bytes.replace(bytes.find("RateTD=-139"), 11, "RateTD=-039");
    rig.dir.write("TAP123.dat", bytes);
    for (int attempt = 0; attempt < 2; ++attempt) {
        EXPECT_FALSE(rig.store());
        EXPECT_EQ(rig.pilot.texts().back(), kTamperedLogMessage);
    }
    EXPECT_EQ(rig.pilot.shown.size(), 2u);
    EXPECT_EQ(rig.dir.read("TAP123.dat").find("[FlightLog2]"), std::string::npos);
}

TEST(PilotLogBook, AFolderThatCannotBeWritten) {
    const struct {
        const char* name;
        std::optional<std::string> chosen;  // "" stands for the test's good folder
        bool stored;
        std::vector<std::string> messages;
    } rows[] = {
        {"cancelled", std::nullopt, false, {"Can't write Log file to missing\\TAP123.dat"}},
        {"another folder", "", true, {"Can't write Log file to missing\\TAP123.dat"}},
        {"another folder that fails too",
         "gone",
         false,
         {"Can't write Log file to missing\\TAP123.dat",
          "Can't write Log file to gone\\TAP123.dat Please send a bug report"}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        BookRig rig;
        rig.settings.log.LogPath = "missing\\";
        const std::string good = (rig.dir / "good").string();
        std::filesystem::create_directory(good);
        if (row.chosen) rig.pilot.folders.push_back(row.chosen->empty() ? good : *row.chosen);
        EXPECT_EQ(rig.store(), row.stored);
        EXPECT_EQ(rig.pilot.texts(), row.messages);
        EXPECT_EQ(rig.pilot.folderTitles, std::vector<std::string>{"Log Directory"});
        if (row.stored) {
            EXPECT_EQ(rig.settings.log.LogPath, good + "\\");
            EXPECT_TRUE(rig.sealed("good/TAP123.dat"));
        } else if (!row.chosen) {
            EXPECT_EQ(rig.settings.log.LogPath, "missing\\");
        }
    }
}

TEST(PilotLogBook, TheDatabaseKeepsEveryAcceptedFlight) {
    BookRig rig;
    rig.settings.aviolog.UseDB = true;
    ASSERT_TRUE(rig.store());
    ASSERT_TRUE(rig.store());
    EXPECT_TRUE(rig.pilot.texts().empty());
    EXPECT_EQ(rig.window.status(), "Flight stored in .\\TAP123.dat and in the local database");
    EXPECT_EQ(rig.window.lines(Channel::Log).back(), kVersionLine);
    const StoredFlights stored = LocalDatabase(rig.dir / "aviolog.db").flights();
    ASSERT_FALSE(stored.error);
    ASSERT_EQ(stored.flights.size(), 2u);
    EXPECT_NE(stored.flights[0].TotalFlightNumber, stored.flights[1].TotalFlightNumber);
    EXPECT_EQ(stored.flights[1].ToutchDownVerticalSpeed, -139);

    // A database that fails is reported, but the flight is in the pilot log file by then
    // and the window closes, so a second OK cannot store it twice.
    BookRig broken;
    broken.settings.aviolog.UseDB = true;
    broken.dir.write("aviolog.db", "this is not a database, it only has the name of one");
    EXPECT_TRUE(broken.store());
    ASSERT_EQ(broken.pilot.shown.size(), 1u);
    EXPECT_EQ(broken.pilot.shown[0].icon, platform::MessageIcon::Error);
    EXPECT_TRUE(broken.sealed("TAP123.dat"));
    EXPECT_EQ(broken.window.status(), "Flight stored in .\\TAP123.dat");
}

// A database that cannot be opened (a folder stands in for a read-only one, which root
// could write) is named with what to do, not in the engine's words alone.
TEST(PilotLogBook, ADatabaseThatCannotBeOpenedSaysWhatToDo) {
    BookRig rig;
    rig.settings.aviolog.UseDB = true;
    std::filesystem::create_directory(rig.dir / "aviolog.db");
    EXPECT_TRUE(rig.store());
    ASSERT_EQ(rig.pilot.texts().size(), 1u);
    const std::string text = rig.pilot.texts()[0];
    EXPECT_TRUE(
        text.starts_with("The flight is stored in .\\TAP123.dat, but not in the local "
                         "database " +
                         (rig.dir / "aviolog.db").string()))
        << text;
    EXPECT_NE(text.find("Use Local DataBase\" off"), std::string::npos) << text;
    EXPECT_TRUE(rig.sealed("TAP123.dat"));
    EXPECT_EQ(rig.window.lines(Channel::Log).back(), "Landed") << "no version line";
}

TEST(PilotLogBook, SaveLogWritesASealedCopy) {
    EXPECT_EQ(defaultLogName("LPPT", "LPPR", "2004/05/01"), "LPPT_LPPR_2004-05-01");
    EXPECT_EQ(defaultLogName("LPPT", "LPPR", "a/b/c/d"), "LPPT_LPPR_a-b-c/d");

    BookRig rig;
    const auto target = rig.dir / "saved.txt";
    rig.pilot.saveFiles.push_back(target);
    rig.book.saveLog(".\\", "LPPT", "LPPR", "2004/05/01", rig.window.lines(Channel::Log));
    ASSERT_EQ(rig.pilot.saveRequests.size(), 1u);
    EXPECT_EQ(rig.pilot.saveRequests[0].defaultName, "LPPT_LPPR_2004-05-01");
    EXPECT_EQ(rig.pilot.saveRequests[0].filter, kLogFileFilter);
    EXPECT_EQ(rig.pilot.saveRequests[0].initialDirectory, ".\\");
    EXPECT_TRUE(rig.sealed("saved.txt"));
    EXPECT_TRUE(rig.dir.read("saved.txt").starts_with("Blocks off\r\nLanded\r\n"));

    rig.book.saveLog(".\\", "LPPT", "LPPR", "2004/05/01", rig.window.lines(Channel::Log));
    EXPECT_EQ(rig.pilot.saveRequests.size(), 2u) << "cancelled: nothing written";

    rig.book.saveLog("", "LPPT", "LPPR", "2004/05/01", rig.window.lines(Channel::Log));
    rig.book.saveAcars("");
    EXPECT_EQ(rig.pilot.texts(), (std::vector<std::string>{kNoLogPathMessage, kNoLogPathMessage}));
    EXPECT_EQ(rig.pilot.saveRequests.size(), 2u);
}

TEST(PilotLogBook, SaveAcarsCopiesTheJournal) {
    BookRig rig;
    rig.dir.write("acars.txt", "QA OUT 0927\r\nQB OFF 0941\r\n");
    rig.pilot.saveFiles.push_back(rig.dir / "journal.txt");
    rig.book.saveAcars(".\\");
    EXPECT_EQ(rig.dir.read("journal.txt"), "QA OUT 0927\r\nQB OFF 0941\r\n");
    EXPECT_EQ(rig.pilot.saveRequests.at(0).defaultName, "*.txt");
    EXPECT_EQ(rig.pilot.saveRequests.at(0).filter, kAcarsFileFilter);
}

}  // namespace
}  // namespace aviolog::reporting
