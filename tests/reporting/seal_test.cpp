#include "reporting/seal.h"

#include <gtest/gtest.h>

#include "common/text_file.h"
#include "tests/support/temp_dir.h"

namespace aviolog::reporting {
namespace {

using test::TempDir;

TEST(Seal, CrcOfTheCheckString) {
    EXPECT_EQ(crc16("123456789"), 0x31C3);
    EXPECT_EQ(crc16(""), 0);
    EXPECT_EQ(sealLine(""), "00\n");
}

const std::string kContent =
    "[FlightLog1]\nDate=2004/05/01\nHour=09:27:00\nCallSign=TAP123\nlength=4\nLog=41424344"
    "0A\n";

TEST(Seal, EveryChangedCharacterIsCaught) {
    const std::string sealed = kContent + sealLine(kContent);
    ASSERT_TRUE(readSeal(sealed).valid);
    EXPECT_EQ(readSeal(sealed).content, kContent);
    // Any character, the seal line's own digits included, changed to anything else.
    for (std::size_t i = 0; i + 1 < sealed.size(); ++i) {
        std::string edited = sealed;
        edited[i] = edited[i] == '7' ? '8' : '7';
        EXPECT_FALSE(readSeal(edited).valid) << "character " << i << " changed";
    }
}

TEST(Seal, TextsWithoutAMatchingSealLine) {
    const struct {
        const char* name;
        std::string text;
    } rows[] = {
        {"empty", ""},
        {"no line feed at all", "Date=2004/05/01"},
        {"no line feed among the last eight", "x\n" + std::string(20, 'a')},
        {"content only", kContent},
        {"seal of other content", kContent + sealLine("other")},
    };
    for (const auto& row : rows) EXPECT_FALSE(readSeal(row.text).valid) << row.name;
}

TEST(Seal, FilesOnDisk) {
    TempDir dir;
    const auto path = dir / "TAP123.dat";
    EXPECT_FALSE(checkSeal(path, true)) << "a missing file is not tampered";
    EXPECT_FALSE(dir.exists("TAP123.dat"));

    writeFileAtomically(path, sealedBytes(kContent));
    EXPECT_NE(dir.read("TAP123.dat").find("\r\n"), std::string::npos) << "written in text mode";
    EXPECT_FALSE(checkSeal(path, false));

    // The seal is over line feeds: the file with bare LF line ends is still valid.
    writeFileAtomically(path, textModeText(dir.read("TAP123.dat")));
    EXPECT_FALSE(checkSeal(path, false));

    // Stripping removes the seal line whatever the outcome, so an edited file stays
    // tampered at every later check.
    writeFileAtomically(path, sealedBytes(kContent));
    EXPECT_FALSE(checkSeal(path, true));
    EXPECT_EQ(dir.read("TAP123.dat"), textModeBytes(kContent));

    std::string edited = sealedBytes(kContent);
    edited[edited.find("TAP123")] = 'X';
    dir.write("TAP123.dat", edited);
    EXPECT_TRUE(checkSeal(path, true));
    EXPECT_TRUE(checkSeal(path, true));
    EXPECT_TRUE(checkSeal(path, false));
}

}  // namespace
}  // namespace aviolog::reporting
