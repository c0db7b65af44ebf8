#include "reporting/pilot_log_file.h"

#include <gtest/gtest.h>

#include <functional>

#include "common/text_file.h"
#include "reporting/seal.h"
#include "tests/support/temp_dir.h"

namespace aviolog::reporting {
namespace {

using model::FlightSummary;
using test::TempDir;

FlightSummary flight(const std::string& date, const std::string& callsign) {
    FlightSummary f{date,    "09:27:00", callsign, "TP1234", "CS-TTA", "LPPT",
                    "LPPR",  "NONE",     "A320",   "1474",   "6180",   "4706",
                    "00:30", "148",      "-139",   "132",    "55793",  {}};
    f.logText = "Blocks off " + callsign + "\nLanded\n";
    return f;
}

// The landing's keys come after the log, so that a reader of the older layout finds the
// section as it knew it; they read back with the rest.
TEST(PilotLogFile, LandingKeysFollowTheLogAndReadBack) {
    TempDir dir;
    FlightSummary landed = flight("2004/05/01", "TAP1");
    landed.TouchdownG = "1.31";
    landed.Bounces = "1";
    landed.BounceRates = "-219";
    landed.LandingNote = "touchdown while paused";
    {
        PilotLogFile file(dir / "TAP123.dat");
        ASSERT_EQ(file.open(), PilotLogFile::State::Missing);
        file.add(landed);
        ASSERT_TRUE(file.save());
    }
    const std::string text = textModeText(dir.read("TAP123.dat"));
    const std::size_t log = text.find("\nLog=");
    ASSERT_NE(log, std::string::npos) << text;
    EXPECT_LT(text.find("ZFW=55793\nlength="), log) << text;
    EXPECT_GT(text.find("\nTouchdownG=1.31\nBounces=1\nBounceRates=-219\nLandingNote="), log)
        << text;
    EXPECT_EQ(text.find("Sink50ft="), std::string::npos) << "an empty key is not written";
    PilotLogFile reader(dir / "TAP123.dat");
    ASSERT_EQ(reader.open(), PilotLogFile::State::Sealed);
    EXPECT_EQ(reader.first(), landed);
}

// The file's sections as they stand, with their Date values.
std::vector<std::string> dates(const TempDir& dir) {
    const config::IniDocument doc(textModeText(dir.read("TAP123.dat")));
    std::vector<std::string> result;
    for (const auto& name : doc.sectionNames()) {
        result.push_back(name + ":" + std::string(doc.find(name, "Date").value_or("")));
    }
    return result;
}

TEST(PilotLogFile, StoresReadsAndDropsFlightsOldestFirst) {
    TempDir dir;
    PilotLogFile file(dir / "TAP123.dat");
    ASSERT_EQ(file.open(), PilotLogFile::State::Missing);
    EXPECT_EQ(file.add(flight("2004/05/01", "TAP1")), 1);
    ASSERT_TRUE(file.save());
    EXPECT_FALSE(checkSeal(dir / "TAP123.dat", false));

    const std::string text = textModeText(dir.read("TAP123.dat"));
    EXPECT_TRUE(text.starts_with(
        "[FlightLog1]\nDate=2004/05/01\nHour=09:27:00\nCallSign=TAP1\nFlightIATA=TP1234\n"
        "AircraftRegist=CS-TTA\nDepAirport=LPPT\nDestAirport=LPPR\nAltAirport=NONE\n"
        "PlaneType=A320\nUsedFuel=1474\nInitialFuel=6180\nFuelEnd=4706\nFlightDur=00:30\n"
        "FlightLength=148\nRateTD=-139\nspeedTD=132\nZFW=55793\nlength=23\nLog="))
        << text;

    for (const char* cs : {"TAP2", "TAP3"}) {
        PilotLogFile again(dir / "TAP123.dat");
        ASSERT_EQ(again.open(), PilotLogFile::State::Sealed);
        again.add(flight("2004/05/02", cs));
        ASSERT_TRUE(again.save());
    }
    EXPECT_EQ(dates(dir),
              (std::vector<std::string>{"FlightLog1:2004/05/01", "FlightLog2:2004/05/02",
                                        "FlightLog3:2004/05/02"}));

    PilotLogFile reader(dir / "TAP123.dat");
    ASSERT_EQ(reader.open(), PilotLogFile::State::Sealed);
    EXPECT_EQ(reader.first(), flight("2004/05/01", "TAP1"));
    EXPECT_TRUE(reader.dropFirst());
    ASSERT_TRUE(reader.save());
    EXPECT_FALSE(checkSeal(dir / "TAP123.dat", false));
    EXPECT_EQ(reader.first(), flight("2004/05/02", "TAP2"));
    EXPECT_EQ(dates(dir),
              (std::vector<std::string>{"FlightLog1:2004/05/02", "FlightLog2:2004/05/02"}));

    EXPECT_TRUE(reader.dropFirst());
    EXPECT_EQ(reader.first().CallSign, "TAP3");
    EXPECT_FALSE(reader.dropFirst());
    ASSERT_TRUE(reader.save());
    EXPECT_FALSE(dir.exists("TAP123.dat")) << "the last flight takes the file with it";
}

TEST(PilotLogFile, LongLogsAndEveryByteSurvive) {
    TempDir dir;
    FlightSummary f = flight("2004/05/01", "S\xE3o Tom\xE9");
    f.logText.clear();
    while (f.logText.size() < 100'000) {
        for (int c = 1; c < 256; ++c) f.logText += static_cast<char>(c);
        f.logText += '\n';
    }
    PilotLogFile file(dir / "TAP123.dat");
    file.open();
    for (int i = 0; i < 3; ++i) file.add(f);
    ASSERT_TRUE(file.save());
    PilotLogFile reader(dir / "TAP123.dat");
    ASSERT_EQ(reader.open(), PilotLogFile::State::Sealed);
    EXPECT_EQ(reader.first(), f);
}

TEST(PilotLogFile, WhatIsReadBack) {
    const struct {
        const char* name;
        std::function<void(config::IniDocument&)> edit;
        std::function<void(const FlightSummary&)> check;
    } rows[] = {
        {"a value keeps 99 characters",
         [](config::IniDocument& d) {
             d.setString("FlightLog1", "CallSign", std::string(150, 'C'));
         },
         [](const FlightSummary& f) { EXPECT_EQ(f.CallSign, std::string(99, 'C')); }},
        {"missing keys read empty",
         [](config::IniDocument& d) { d.removeKey("FlightLog1", "ZFW"); },
         [](const FlightSummary& f) { EXPECT_EQ(f.ZFW, ""); }},
        {"a damaged log reads empty",
         [](config::IniDocument& d) {
             std::string log(*d.find("FlightLog1", "Log"));
             log[0] = log[0] == '4' ? '5' : '4';
             d.setString("FlightLog1", "Log", log);
         },
         [](const FlightSummary& f) { EXPECT_EQ(f.logText, ""); }},
        {"a wrong length reads empty",
         [](config::IniDocument& d) { d.setString("FlightLog1", "length", "21"); },
         [](const FlightSummary& f) { EXPECT_EQ(f.logText, ""); }},
        {"a length beyond reason reads empty",
         [](config::IniDocument& d) { d.setString("FlightLog1", "length", "999999999999"); },
         [](const FlightSummary& f) { EXPECT_EQ(f.logText, ""); }},
        {"the log ends at a zero byte",
         [](config::IniDocument& d) {
             d.setString("FlightLog1", "length", "3");
             d.setString("FlightLog1", "Log",
                         "410042"
                         "83");
         },
         [](const FlightSummary& f) { EXPECT_EQ(f.logText, "A"); }},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        TempDir dir;
        PilotLogFile file(dir / "TAP123.dat");
        file.open();
        file.add(flight("2004/05/01", "TAP1"));
        ASSERT_TRUE(file.save());
        config::IniDocument doc(readSeal(textModeText(dir.read("TAP123.dat"))).content);
        row.edit(doc);
        writeFileAtomically(dir / "TAP123.dat", sealedBytes(textModeText(doc.text())));
        PilotLogFile reader(dir / "TAP123.dat");
        ASSERT_EQ(reader.open(), PilotLogFile::State::Sealed);
        row.check(reader.first());
    }
}

TEST(PilotLogFile, AnEmptyDateIsTakenAgain) {
    TempDir dir;
    PilotLogFile file(dir / "TAP123.dat");
    file.open();
    file.add(flight("2004/05/01", "TAP1"));
    file.add(flight("2004/05/02", "TAP2"));
    file.add(flight("2004/05/03", "TAP3"));
    ASSERT_TRUE(file.save());
    std::string text = readSeal(textModeText(dir.read("TAP123.dat"))).content;
    text.replace(text.find("Date=2004/05/02"), 15, "Date=");
    writeFileAtomically(dir / "TAP123.dat", sealedBytes(text));

    PilotLogFile again(dir / "TAP123.dat");
    ASSERT_EQ(again.open(), PilotLogFile::State::Sealed);
    EXPECT_EQ(again.add(flight("2004/05/04", "TAP4")), 2);
    ASSERT_TRUE(again.save());
    EXPECT_EQ(dates(dir),
              (std::vector<std::string>{"FlightLog1:2004/05/01", "FlightLog2:2004/05/04",
                                        "FlightLog3:2004/05/03"}));
}

TEST(PilotLogFile, ATamperedFileStaysTampered) {
    TempDir dir;
    PilotLogFile file(dir / "TAP123.dat");
    file.open();
    file.add(flight("2004/05/01", "TAP1"));
    ASSERT_TRUE(file.save());
    std::string bytes = dir.read("TAP123.dat");
    bytes.replace(bytes.find("UsedFuel=1474"), 13, "UsedFuel=1000");
    dir.write("TAP123.dat", bytes);
    for (int attempt = 0; attempt < 3; ++attempt) {
        PilotLogFile again(dir / "TAP123.dat");
        EXPECT_EQ(again.open(), PilotLogFile::State::Tampered) << "attempt " << attempt;
    }
    EXPECT_NE(dir.read("TAP123.dat").find("UsedFuel=1000"), std::string::npos)
        << "the flights are kept for the VA to look at";
}

TEST(PilotLogFile, ACtrlZTypedIntoAFieldDoesNotBreakTheSeal) {
    TempDir dir;
    PilotLogFile file(dir / "TAP123.dat");
    file.open();
    file.add(flight("2004/05/01",
                    "TAP\x1a"
                    "1"));
    file.add(flight("2004/05/01", "TAP2"));
    ASSERT_TRUE(file.save());
    PilotLogFile reader(dir / "TAP123.dat");
    ASSERT_EQ(reader.open(), PilotLogFile::State::Sealed);
    EXPECT_EQ(reader.first().CallSign, "TAP 1");
}

}  // namespace
}  // namespace aviolog::reporting
