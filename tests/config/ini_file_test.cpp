#include "config/ini_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "common/text_file.h"
#include "tests/support/temp_dir.h"

namespace aviolog::config {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

std::string joined(const std::vector<IniEntry>& entries) {
    std::string out;
    for (const IniEntry& entry : entries) out += entry.key + "=" + entry.value + ";";
    return out;
}

// Everything a reader of the document can see, in one string.
std::string contents(const IniDocument& doc) {
    std::string out;
    for (const std::string& section : doc.sectionNames()) {
        out += "[" + section + "]" + joined(doc.sectionEntries(section));
    }
    return out;
}

TEST(IniRead, FindsWhatTheWindowsCallsFind) {
    struct Row {
        const char* name;
        std::string text;
        const char* section;
        const char* key;
        std::optional<std::string> expected;
    };
    const std::string duplicates = "[s]\r\na=1\r\na=2\r\n[t]\r\n[S]\r\na=3\r\nb=4\r\n";
    const Row rows[] = {
        {"key before any section is in none", "k=1\r\n[s]\r\nj=2\r\n", "s", "k", std::nullopt},
        {"nor in a section without a name", "k=1\r\n[s]\r\n", "", "k", std::nullopt},
        {"first of duplicate keys", duplicates, "s", "a", "1"},
        {"key only in a later duplicate section", duplicates, "s", "b", std::nullopt},
        {"blanks around name and value", "[s]\r\n \t Key \t=\t a  b \t\r\n", "s", "Key", "a  b"},
        {"blanks inside and around brackets", "  [ \ts  ]  \r\nk=v\r\n", "s", "k", "v"},
        {"names asked for with blanks", "[s]\r\nk=v\r\n", " s\t", " k ", "v"},
        {"names ignore case", "[Flight]\r\nCallSign=v\r\n", "fLIGHT", "CALLSIGN", "v"},
        {"accented names ignore case", "[CAF\xC9]\r\nNA\xCFVE=1\r\n", "caf\xE9", "na\xEFve", "1"},
        {"cp1252 extra pairs", "[\x8A\x8C\x8E\x9F]\r\nk=1\r\n", "\x9A\x9C\x9E\xFF", "k", "1"},
        {"multiplication and division signs differ", "[\xD7]\r\nk=1\r\n", "\xF7", "k",
         std::nullopt},
        {"double quotes removed", "[s]\r\nk=  \" x y \"  \r\n", "s", "k", " x y "},
        {"single quotes removed", "[s]\r\nk='x'\r\n", "s", "k", "x"},
        {"empty quotes", "[s]\r\nk=''\r\n", "s", "k", ""},
        {"unmatched quotes kept", "[s]\r\nk=\"x'\r\n", "s", "k", "\"x'"},
        {"opening quote only kept", "[s]\r\nk=\"x\r\n", "s", "k", "\"x"},
        {"lone quote kept", "[s]\r\nk='\r\n", "s", "k", "'"},
        {"missing final line end", "[s]\r\nk=last", "s", "k", "last"},
        {"LF line ends", "[s]\nj=1\nk=v\n", "s", "k", "v"},
        {"trailing Ctrl-Z is a blank", "[s]\r\nk=v\x1A", "s", "k", "v"},
        {"empty value", "[s]\r\nk=\r\n", "s", "k", ""},
        {"equals sign in the value", "[s]\r\nk=a=b\r\n", "s", "k", "a=b"},
        {"no inline comments", "[s]\r\nk=v ; note\r\n", "s", "k", "v ; note"},
        {"comment is not a key", "[s]\r\n;k=1\r\n", "s", ";k", std::nullopt},
        {"indented comment is not a key", "[s]\r\n  ;k=1\r\n", "s", ";k", std::nullopt},
        {"line without equals is not a key", "[s]\r\nk\r\n", "s", "k", std::nullopt},
    };
    for (const Row& row : rows) {
        const IniDocument doc(row.text);
        const auto found = doc.find(row.section, row.key);
        EXPECT_EQ(found ? std::optional<std::string>(*found) : std::nullopt, row.expected)
            << row.name;
    }
}

TEST(IniRead, CrLfAndLfFilesReadAlike) {
    const std::string lf = "top=0\n[a]\n x = 1 \n; note\n\n[b]\ny='2'\nplain\n";
    const std::string crlf = textModeBytes(lf);
    const IniDocument fromLf(lf), fromCrLf(crlf);
    EXPECT_EQ(contents(fromLf), "[a]x=1;[b]y='2';");
    EXPECT_EQ(contents(fromCrLf), contents(fromLf));
    EXPECT_EQ(fromLf.text(), crlf);
    EXPECT_EQ(fromCrLf.text(), crlf);
}

TEST(IniRead, GetStringCutsTheValueOrTheDefault) {
    struct Row {
        const char* name;
        const char* key;
        const char* fallback;
        std::size_t maxChars;
        std::string expected;
    };
    const IniDocument doc("[s]\r\nlong=" + std::string(5000, 'x') +
                          "\r\nquoted=\"abcdef\"\r\nempty=\r\n");
    const Row rows[] = {
        {"long value cut", "long", "", 255, std::string(255, 'x')},
        {"quoted value cut without its quotes", "quoted", "", 3, "abc"},
        {"value shorter than the limit", "quoted", "", 100, "abcdef"},
        {"empty value wins over the default", "empty", "default", 100, ""},
        {"missing key gives the default", "missing", "default", 100, "default"},
        {"default cut", "missing", "default", 3, "def"},
        {"default loses trailing blanks", "missing", "de fault   ", 100, "de fault"},
        {"default keeps leading blanks", "missing", "  default", 100, "  default"},
        {"nothing fits", "quoted", "", 0, ""},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(doc.getString("s", row.key, row.fallback, row.maxChars), row.expected)
            << row.name;
    }
}

TEST(IniRead, GetIntTakesTheLeadingDigits) {
    struct Row {
        const char* name;
        const char* value;  // nullptr: no such key
        std::int32_t expected;
    };
    constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
    const Row rows[] = {
        {"digits then text", "12abc", 12},
        {"no digits", "abc", 0},
        {"empty value", "", 0},
        {"negative", "-5", 0},
        {"missing key", nullptr, 77},
        {"decimal point", "1.5", 1},
        {"leading zeros", "007", 7},
        {"quoted", "'42'", 42},
        {"largest", "2147483647", kMax},
        {"one past the largest", "2147483648", kMax},
        {"far beyond 64 bits", "99999999999999999999999", kMax},
    };
    for (const Row& row : rows) {
        const std::string text = row.value ? "[s]\r\nk=" + std::string(row.value) : "[s]\r\n";
        EXPECT_EQ(IniDocument(text).getInt("s", "k", 77), row.expected) << row.name;
    }
}

TEST(IniRead, ListsSectionsKeysAndRawEntries) {
    const IniDocument doc(
        "top=0\r\n[Flight]\r\n Date = 2024-05-01 \r\n; Hour=9\r\nnote\r\nCallSign=\"AVL 12\"\r\n"
        "[Aircraft]\r\nType='B738'\r\n");
    EXPECT_EQ(doc.sectionNames(), (std::vector<std::string>{"Flight", "Aircraft"}));
    EXPECT_EQ(doc.keyNames("FLIGHT"), (std::vector<std::string>{"Date", "CallSign"}));
    EXPECT_EQ(joined(doc.sectionEntries("flight")), "Date=2024-05-01;CallSign=\"AVL 12\";");
    EXPECT_TRUE(doc.keyNames("missing").empty());
    EXPECT_TRUE(doc.sectionEntries("missing").empty());
    EXPECT_FALSE(doc.hasSection("missing"));
}

TEST(IniStruct, WritesHexPairsAndTheirSum) {
    IniDocument doc;
    doc.setStruct("s", "k", std::vector<std::uint8_t>{0x01, 0xAB, 0xFF});
    EXPECT_EQ(doc.text(), "[s]\r\nk=01ABFFAB\r\n");

    std::vector<std::uint8_t> every(256);
    for (std::size_t i = 0; i < every.size(); ++i) every[i] = static_cast<std::uint8_t>(i);
    doc.setStruct("s", "every", every);
    EXPECT_EQ(IniDocument(doc.text()).getStruct("s", "every", every.size()), every);
}

TEST(IniStruct, ReadsNothingUnlessExactlyAsWritten) {
    struct Row {
        const char* name;
        const char* value;  // nullptr: no such key
        std::optional<std::vector<std::uint8_t>> expected;
    };
    const std::vector<std::uint8_t> bytes{0x01, 0xAB, 0xFF};
    const Row rows[] = {
        {"as written", "01ABFFAB", bytes},
        {"lower-case digits", "01abffab", bytes},
        {"checksum off by one", "01ABFFAC", std::nullopt},
        {"a byte short", "01ABAC", std::nullopt},
        {"a digit more", "01ABFFAB0", std::nullopt},
        {"letter beyond F", "01AGFFAB", std::nullopt},
        {"blank for a digit", "01AB FAB", std::nullopt},
        {"missing key", nullptr, std::nullopt},
    };
    for (const Row& row : rows) {
        const std::string text = row.value ? "[s]\r\nk=" + std::string(row.value) : "[s]\r\n";
        EXPECT_EQ(IniDocument(text).getStruct("s", "k", 3), row.expected) << row.name;
    }
}

TEST(IniWrite, EditsChangeOnlyTheLinesConcerned) {
    struct Row {
        const char* name;
        std::string before;
        std::function<void(IniDocument&)> edit;
        std::string after;
    };
    // Odd spacing, comments, stray text and keys before any section, with LF line ends; every
    // line but the one edited must come out as it was, with CR LF.
    const std::string messy = "top = 0\n; about a\n[a]\n  x = 1 \nstray\n\n; about b\n[ b ]\ny=2\n";
    const Row rows[] = {
        {"new file", "", [](IniDocument& d) { d.setString("s", "k", "v"); }, "[s]\r\nk=v\r\n"},
        {"new section goes at the end", messy, [](IniDocument& d) { d.setString("c", "k", "v"); },
         "top = 0\r\n; about a\r\n[a]\r\n  x = 1 \r\nstray\r\n\r\n; about b\r\n[ b ]\r\n"
         "y=2\r\n[c]\r\nk=v\r\n"},
        {"new key after the last key", messy, [](IniDocument& d) { d.setString("A", "z", "3"); },
         "top = 0\r\n; about a\r\n[a]\r\n  x = 1 \r\nz=3\r\nstray\r\n\r\n; about b\r\n[ b ]\r\n"
         "y=2\r\n"},
        {"value replaced, name spelled as in the file", textModeBytes(messy),
         [](IniDocument& d) { d.setString("B", "Y", " 9 "); },
         "top = 0\r\n; about a\r\n[a]\r\n  x = 1 \r\nstray\r\n\r\n; about b\r\n[ b ]\r\n"
         "y= 9 \r\n"},
        {"missing final line end", "[s]\r\nk=1", [](IniDocument& d) { d.setString("s", "j", "2"); },
         "[s]\r\nk=1\r\nj=2\r\n"},
        {"first of duplicate sections and keys", "[s]\r\nk=1\r\nk=2\r\n[s]\r\nk=3\r\n",
         [](IniDocument& d) { d.setString("s", "k", "9"); }, "[s]\r\nk=9\r\nk=2\r\n[s]\r\nk=3\r\n"},
        {"line breaks cannot start a key or section", "[s]\r\n",
         [](IniDocument& d) { d.setString("s", "k", "1\r\n[t]\nj=2\r"); },
         "[s]\r\nk=1  [t] j=2 \r\n"},
        {"NUL ends the value", "",
         [](IniDocument& d) { d.setString("s", "k", std::string_view("a\0b", 3)); },
         "[s]\r\nk=a\r\n"},
        {"integer", "", [](IniDocument& d) { d.setInt("s", "k", -5000000000); },
         "[s]\r\nk=-5000000000\r\n"},
        {"remove the first of duplicate keys", "[s]\r\nk=1\r\n; c\r\nK=2\r\n",
         [](IniDocument& d) { d.removeKey("S", "k"); }, "[s]\r\n; c\r\nK=2\r\n"},
        {"remove a missing key", messy, [](IniDocument& d) { d.removeKey("a", "stray"); },
         textModeBytes(messy)},
        {"remove every section of the name",
         "top\r\n[a]\r\nx=1\r\n; c\r\n[b]\r\ny=2\r\n[A]\r\nz=3\r\n",
         [](IniDocument& d) { d.removeSection("a"); }, "top\r\n[b]\r\ny=2\r\n"},
        {"replace a section and drop its duplicates",
         "[a]\r\nx=1\r\n; c\r\n[b]\r\ny=2\r\n[A]\r\nz=3\r\n",
         [](IniDocument& d) {
             const IniEntry entries[] = {{"p", "'q'"}, {"r", "s\nt"}};
             d.replaceSection("a", entries);
         },
         "[a]\r\np='q'\r\nr=s t\r\n[b]\r\ny=2\r\n"},
        {"replace a missing section", "[a]\r\n",
         [](IniDocument& d) {
             const IniEntry entries[] = {{"p", "1"}};
             d.replaceSection("b", entries);
         },
         "[a]\r\n[b]\r\np=1\r\n"},
        // Lookups trim the name; so do the edits that remove, or later duplicates survive.
        {"remove a section named with blanks", "[a]\r\nx=1\r\n[b]\r\n[A]\r\nz=3\r\n",
         [](IniDocument& d) { d.removeSection(" a "); }, "[b]\r\n"},
        {"replace a section named with blanks and drop its duplicates",
         "[a]\r\nx=1\r\n[b]\r\n[A]\r\nz=3\r\n",
         [](IniDocument& d) {
             const IniEntry entries[] = {{"p", "1"}};
             d.replaceSection("\ta ", entries);
         },
         "[a]\r\np=1\r\n[b]\r\n"},
    };
    for (const Row& row : rows) {
        IniDocument doc(row.before);
        row.edit(doc);
        EXPECT_EQ(doc.text(), row.after) << row.name;
    }
}

TEST(IniFile, MissingFileLoadsEmptyAndAWriteCreatesIt) {
    TempDir dir;
    const IniFile file(dir / "aviolog.ini");
    const auto loaded = file.load();
    ASSERT_TRUE(loaded.has_value());
    EXPECT_TRUE(loaded->sectionNames().empty());
    EXPECT_EQ(file.getInt("s", "k", 7), 7);
    EXPECT_FALSE(file.exists());

    ASSERT_TRUE(file.setInt("s", "k", 12));
    ASSERT_TRUE(file.setString("s", "name", "x"));
    EXPECT_EQ(dir.read("aviolog.ini"), "[s]\r\nk=12\r\nname=x\r\n");
    EXPECT_EQ(file.getInt("S", "K", 7), 12);
    ASSERT_TRUE(file.removeKey("s", "k"));
    EXPECT_EQ(file.getString("s", "name", "", 64), "x");
    ASSERT_TRUE(file.removeSection("s"));
    EXPECT_EQ(dir.read("aviolog.ini"), "");
}

TEST(IniFile, WriteIntoAMissingDirectoryFailsAndCreatesNothing) {
    TempDir dir;
    const IniFile file(dir / "missing" / "aviolog.ini");
    EXPECT_FALSE(file.setString("s", "k", "v"));
    EXPECT_FALSE(file.save(IniDocument("[s]\r\n")));
    EXPECT_TRUE(fs::is_empty(dir.path()));
}

TEST(IniFile, AnUnreadableFileIsNeverOverwritten) {
    if (geteuid() == 0) GTEST_SKIP() << "root reads a file whatever its permissions";
    TempDir dir;
    const std::string original = "[s]\r\nk=1\r\n; keep me\r\n";
    dir.write("aviolog.ini", original);
    const IniFile file(dir / "aviolog.ini");
    fs::permissions(file.path(), fs::perms::none);
    EXPECT_FALSE(file.load().has_value());
    EXPECT_EQ(file.getString("s", "k", "fallback", 64), "fallback");
    EXPECT_FALSE(file.setString("s", "k", "2"));
    EXPECT_FALSE(file.setInt("s", "j", 3));
    EXPECT_FALSE(file.removeKey("s", "k"));
    EXPECT_FALSE(file.removeSection("s"));
    fs::permissions(file.path(), fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(dir.read("aviolog.ini"), original);
}

TEST(IniFile, AReadOnlyFileIsNotReplaced) {
    TempDir dir;
    dir.write("TAP123.dat", "[FlightLog1]\r\n");
    const IniFile file(dir / "TAP123.dat");
    fs::permissions(file.path(),
                    fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    EXPECT_FALSE(file.setString("FlightLog1", "Date", "2004/05/01"));
    EXPECT_EQ(dir.read("TAP123.dat"), "[FlightLog1]\r\n");
}

TEST(IniTextFile, AtomicWriteKeepsPermissionsAndLeavesNoTemporaryFile) {
    TempDir dir;
    const fs::path path = dir / "aviolog.ini";
    dir.write("aviolog.ini", "old");
    const fs::perms mode = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read;
    fs::permissions(path, mode);
    ASSERT_TRUE(writeFileAtomically(path, "new\r\n"));
    EXPECT_EQ(dir.read("aviolog.ini"), "new\r\n");
    EXPECT_EQ(fs::status(path).permissions(), mode);

    // A new file gets what a plain create would give it.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ASSERT_TRUE(writeFileAtomically(dir / "new.ini", "x"));
    EXPECT_EQ(static_cast<mode_t>(fs::status(dir / "new.ini").permissions()), 0666 & ~mask);

    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir.path())) {
        names.push_back(entry.path().filename());
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"aviolog.ini", "new.ini"}));
}

TEST(IniTextFile, AtomicWriteThroughASymbolicLinkReplacesTheFileItNames) {
    TempDir dir;
    dir.write("real.ini", "old");
    fs::create_symlink("real.ini", dir / "link.ini");
    ASSERT_TRUE(writeFileAtomically(dir / "link.ini", "new"));
    EXPECT_TRUE(fs::is_symlink(dir / "link.ini"));
    EXPECT_EQ(dir.read("real.ini"), "new");
}

TEST(IniTextFile, CopyTextFileWritesCrLfAndStopsAtCtrlZ) {
    struct Row {
        const char* name;
        std::string from;
        std::string expected;
    };
    const Row rows[] = {
        {"LF becomes CR LF", "[s]\nk=1\n", "[s]\r\nk=1\r\n"},
        {"CR LF kept", "[s]\r\nk=1\r\n", "[s]\r\nk=1\r\n"},
        {"mixed, no final line end", "a\r\nb\nc", "a\r\nb\r\nc"},
        {"stops at Ctrl-Z", "a\r\nb\x1Az\r\n", "a\r\nb"},
        {"lone CR kept", "a\rb\r\r\n", "a\rb\r\r\n"},
        {"empty", "", ""},
    };
    for (const Row& row : rows) {
        TempDir dir;
        dir.write("from.ini", row.from);
        dir.write("to.ini", "previous contents");
        ASSERT_TRUE(copyTextFile(dir / "from.ini", dir / "to.ini")) << row.name;
        EXPECT_EQ(dir.read("to.ini"), row.expected) << row.name;
    }
    TempDir dir;
    dir.write("to.ini", "kept");
    EXPECT_FALSE(copyTextFile(dir / "missing.ini", dir / "to.ini"));
    EXPECT_EQ(dir.read("to.ini"), "kept");
}

}  // namespace
}  // namespace aviolog::config
