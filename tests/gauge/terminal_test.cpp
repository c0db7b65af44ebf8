#include "gauge/terminal.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "gauge/face_layout.h"
#include "gauge/gauge_settings.h"
#include "tests/support/temp_dir.h"

namespace aviolog::test {
namespace {

using gauge::DisplayMode;
using gauge::KeyboardKey;
using wire::GaugeRecordType;

struct Sent final : gauge::KeySender {
    void sendText(std::string_view text) override { texts.emplace_back(text); }
    std::vector<std::string> texts;
};

// A connected terminal, as the first update with a program leaves it.
struct Connected {
    Connected() {
        EXPECT_FALSE(terminal.linkUpdate(false));
        EXPECT_TRUE(terminal.linkUpdate(true));
    }
    void lines(int page, const std::string& text) {
        const auto type = page == 1 ? GaugeRecordType::Page1Lines : GaugeRecordType::Page2Lines;
        terminal.receive({static_cast<std::uint16_t>(type), text});
    }
    void command(const std::string& text) {
        terminal.receive({static_cast<std::uint16_t>(GaugeRecordType::Command), text});
    }
    Sent sent;
    gauge::Terminal terminal{sent};
};

std::string numbered(int count) {
    std::string text;
    for (int i = 0; i < count; ++i) text += "line " + std::to_string(i) + "\n";
    return text;
}

TEST(GaugeTerminal, PageLinesAreWrappedAndDropEmptyOnes) {
    struct Row {
        const char* name;
        std::string text;
        std::vector<std::string> lines;
    };
    const std::string sixty(60, 'x');
    const std::string blankAt30 = std::string(30, 'a') + " " + std::string(29, 'b');
    const Row rows[] = {
        {"60 characters without a blank", sixty, {std::string(44, 'x'), std::string(16, 'x')}},
        {"60 characters, blank at 30",
         blankAt30,
         {std::string(30, 'a'), " " + std::string(29, 'b')}},
        {"45 characters stay whole", std::string(45, 'y'), {std::string(45, 'y')}},
        {"blank only at 0",
         " " + std::string(59, 'z'),
         {" " + std::string(43, 'z'), std::string(16, 'z')}},
        {"one line with its LF", "09:25  Start\n", {"09:25  Start"}},
        {"an empty line between two", "one\n\ntwo", {"one", "two"}},
        {"130 characters in words",
         std::string(40, 'a') + " " + std::string(40, 'b') + " " + std::string(48, 'c'),
         {std::string(40, 'a'), " " + std::string(40, 'b'), " " + std::string(43, 'c'),
          std::string(5, 'c')}},
    };
    for (const Row& row : rows) {
        Connected t;
        t.lines(2, row.text);
        const gauge::PageStore& page = t.terminal.page(2);
        ASSERT_EQ(page.count(), row.lines.size()) << row.name;
        for (std::size_t i = 0; i < row.lines.size(); ++i) {
            EXPECT_EQ(page.line(i), row.lines[i]) << row.name << " line " << i;
        }
    }
}

TEST(GaugeTerminal, TheNewestNineLinesAreInViewAndScroll) {
    struct Row {
        const char* name;
        int lines;
        std::size_t first;
        KeyboardKey key;
        std::size_t firstAfter;
    };
    const Row rows[] = {
        {"12 lines, Up", 12, 3, KeyboardKey::Up, 2},
        {"12 lines, Down at the end", 12, 3, KeyboardKey::Down, 3},
        {"Page Up at 5", 14, 5, KeyboardKey::PageUp, 0},
        {"Page Up at 20", 29, 20, KeyboardKey::PageUp, 11},
        {"Page Down near the end", 29, 10, KeyboardKey::PageDown, 19},
        {"Page Down at the end", 29, 20, KeyboardKey::PageDown, 20},
        {"Up at 0", 5, 0, KeyboardKey::Up, 0},
    };
    for (const Row& row : rows) {
        Connected t;
        t.lines(2, numbered(row.lines));
        t.command("Page2");
        if (row.lines > 12) t.command("Page2Line" + std::to_string(row.first));
        EXPECT_EQ(t.terminal.page(2).first(), row.first) << row.name;
        EXPECT_TRUE(t.terminal.keyboard(row.key)) << row.name;
        EXPECT_EQ(t.terminal.page(2).first(), row.firstAfter) << row.name;
        t.terminal.drawDirtyRows();
        EXPECT_EQ(t.terminal.row(1), row.lines > 0 ? "line " + std::to_string(row.firstAfter) : "")
            << row.name;
    }
}

TEST(GaugeTerminal, DisplayCommandsAreExact) {
    struct Row {
        const char* name;
        std::string command;
        DisplayMode mode;
        std::size_t page1First;
    };
    const Row rows[] = {
        {"Page1Line12", "Page1Line12", DisplayMode::Page1, 12},
        {"Page1Line and a letter", "Page1Linex", DisplayMode::Page1, 0},
        {"Page1Top", "Page1Top", DisplayMode::Page1, 0},
        {"Page1 keeps the scroll", "Page1", DisplayMode::Page1, 11},
        {"lower case page1", "page1", DisplayMode::Page3, 11},
        {"Page1 with a trailing blank", "Page1 ", DisplayMode::Page3, 11},
        {"ClearPage1 keeps the page shown", "ClearPage1", DisplayMode::Page3, 0},
        {"Page2", "Page2", DisplayMode::Page2, 11},
    };
    for (const Row& row : rows) {
        Connected t;
        t.lines(1, numbered(20));
        t.terminal.drawDirtyRows();
        t.command(row.command);
        EXPECT_EQ(t.terminal.mode(), row.mode) << row.name;
        EXPECT_EQ(t.terminal.page(1).first(), row.page1First) << row.name;
    }
}

TEST(GaugeTerminal, UnknownRecordTypeChangesNothing) {
    Connected t;
    t.lines(2, "kept\n");
    t.terminal.drawDirtyRows();
    t.terminal.receive({5, "Page1"});
    t.terminal.receive({5, "more\n"});
    EXPECT_FALSE(t.terminal.anyDirty());
    EXPECT_EQ(t.terminal.mode(), DisplayMode::Page3);
    EXPECT_EQ(t.terminal.page(2).count(), 1u);
}

TEST(GaugeTerminal, Page3FillsItsNineRowsAndKeepsTheRest) {
    Connected t;
    std::string nine;
    for (int r = 1; r <= 9; ++r) nine += std::string(44, char('0' + r)) + "\n";
    t.terminal.receive({3, nine});
    t.terminal.drawDirtyRows();
    for (int r = 1; r <= 9; ++r) EXPECT_EQ(t.terminal.row(r), std::string(44, char('0' + r))) << r;
    t.terminal.receive({3, "menu\n\n"});
    t.terminal.drawDirtyRows();
    EXPECT_EQ(t.terminal.row(1), "menu");
    EXPECT_EQ(t.terminal.row(2), "");
    EXPECT_EQ(t.terminal.row(3), std::string(44, '3'))
        << "rows beyond the lines received keep theirs";
    t.terminal.receive({3, std::string(50, 'w') + "\n"});
    t.terminal.drawDirtyRows();
    EXPECT_EQ(t.terminal.row(1), std::string(44, 'w'));
}

TEST(GaugeTerminal, TypingAndEnter) {
    struct Row {
        const char* name;
        std::string keys;  // keypad: letters; '^' Shift; '<' erase; '_' space
        std::string sent;
    };
    const Row rows[] = {
        {"A B C", "ABC", "ABC"},
        {"Shift then A gives 1", "X^A", "X1"},
        {"Shift then K keeps the latch for the next row-1 key", "X^KJ", "XK0"},
        {"Shift then J, then J again", "X^JJ", "X0J"},
        {"erase", "ABC<", "AB"},
        {"space", "A_B", "A B"},
        {"empty enter", "", ""},
    };
    for (const Row& row : rows) {
        Connected t;
        t.command("Page1");
        for (const char k : row.keys) {
            switch (k) {
                case '^':
                    t.terminal.keypadShift();
                    break;
                case '<':
                    t.terminal.keypadEraseUp();
                    break;
                case '_':
                    t.terminal.keypadSpaceDown();
                    break;
                default:
                    t.terminal.keypadLetter(k);
                    break;
            }
        }
        if (!row.keys.empty()) {
            EXPECT_EQ(t.terminal.mode(), DisplayMode::Typing) << row.name;
            EXPECT_EQ(t.terminal.savedMode(), DisplayMode::Page1) << row.name;
        }
        t.terminal.keypadEnter();
        ASSERT_FALSE(t.sent.texts.empty()) << row.name;
        EXPECT_EQ(t.sent.texts.back(), row.sent) << row.name;
        EXPECT_EQ(t.terminal.input(), "") << row.name;
        if (!row.keys.empty()) {
            EXPECT_EQ(t.terminal.mode(), DisplayMode::Page1) << row.name;
        }
    }
}

TEST(GaugeTerminal, ShiftOutsideTypingIsAKeyForTheProgram) {
    Connected t;
    t.terminal.keypadShift();
    EXPECT_EQ(t.sent.texts, std::vector<std::string>{"Shift"});
    EXPECT_TRUE(t.terminal.keyboard(KeyboardKey::Left));
    EXPECT_EQ(t.sent.texts.size(), 2u);
    t.terminal.lineSelect(true, 4);
    t.terminal.lineSelect(false, 1);
    EXPECT_EQ(t.sent.texts[2], "RSK4");
    EXPECT_EQ(t.sent.texts[3], "LSK1");
}

TEST(GaugeTerminal, InputLineShowsItsLast40AndStopsAtWhatARecordCarries) {
    Connected t;
    std::string typed;
    for (int i = 0; i < 50; ++i) typed += char('A' + i % 26);
    for (const char c : typed) t.terminal.keyboard(KeyboardKey::Character, c);
    t.terminal.drawDirtyRows();
    EXPECT_EQ(t.terminal.row(9), typed.substr(10));
    for (int i = 0; i < 2100; ++i) t.terminal.keyboard(KeyboardKey::Character, 'z');
    EXPECT_EQ(t.terminal.input().size(), wire::kGaugeMaxTextChars);
    t.terminal.keyboard(KeyboardKey::Enter);
    EXPECT_EQ(t.sent.texts.back().size(), wire::kGaugeMaxTextChars);
    EXPECT_FALSE(t.terminal.keyboard(KeyboardKey::Backspace))
        << "outside typing Backspace is passed on";
    EXPECT_FALSE(t.terminal.keyboard(KeyboardKey::Character, '\t'));
}

TEST(GaugeTerminal, WaitingForTheProgramAndLosingIt) {
    Sent sent;
    gauge::Terminal terminal(sent);
    terminal.receive({3, "menu\n"});
    EXPECT_FALSE(terminal.linkUpdate(false));
    terminal.drawDirtyRows();
    EXPECT_EQ(terminal.row(9), gauge::kWaitingText);
    EXPECT_TRUE(terminal.linkUpdate(true));
    EXPECT_EQ(terminal.mode(), DisplayMode::Page3);
    terminal.drawDirtyRows();
    EXPECT_EQ(terminal.row(9), "");
    terminal.receive({1, "log\n"});
    terminal.keypadLetter('A');
    terminal.keypadShift();
    terminal.connectionLost();
    EXPECT_EQ(terminal.page(2).count(), 0u);
    EXPECT_EQ(terminal.input(), "");
    EXPECT_FALSE(terminal.shiftLatch());
    EXPECT_EQ(terminal.page3Line(1), "menu") << "page 3 keeps its lines";
    EXPECT_FALSE(terminal.linkUpdate(false));
    terminal.drawDirtyRows();
    EXPECT_EQ(terminal.row(9), gauge::kWaitingText);
}

TEST(GaugeTerminal, SetupFailureStaysInRow1WhileWaiting) {
    Sent sent;
    gauge::Terminal terminal(sent);
    terminal.showSetupFailure(gauge::kSocketBindError);
    terminal.linkUpdate(false);
    terminal.drawDirtyRows();
    EXPECT_EQ(terminal.row(1), gauge::kSocketBindError);
    EXPECT_EQ(terminal.row(9), gauge::kWaitingText);
}

TEST(GaugeTerminal, ReinitialisingWhileTypingDrawsThePageOnceThenTheInput) {
    Connected t;
    t.lines(2, "flight log\n");
    t.command("Page2");
    t.terminal.keypadLetter('Q');
    t.terminal.drawDirtyRows();
    t.terminal.initialise();
    EXPECT_EQ(t.terminal.mode(), DisplayMode::Page2);
    t.terminal.drawDirtyRows();
    EXPECT_EQ(t.terminal.row(1), "flight log");
    EXPECT_FALSE(t.terminal.beginUpdate());
    t.terminal.drawDirtyRows();
    EXPECT_EQ(t.terminal.row(1), "flight log");
    EXPECT_EQ(t.terminal.row(9), "Q");
}

TEST(GaugeFace, ClicksLandOnTheirKeys) {
    struct Row {
        const char* name;
        int x, y;
        gauge::FaceKey key;
        char letter;
        int index;
    };
    const Row rows[] = {
        {"LSK1", 10, 16, gauge::FaceKey::LeftSelect, 0, 1},
        {"RSK4", 390, 117, gauge::FaceKey::RightSelect, 0, 4},
        {"capture lamp", 380, 150, gauge::FaceKey::Capture, 0, 0},
        {"A/1", 41, 182, gauge::FaceKey::Letter, 'A', 0},
        {"J/0", 363, 207, gauge::FaceKey::Letter, 'J', 0},
        {"Shift", 340, 215, gauge::FaceKey::Shift, 0, 0},
        {"erase/up", 280, 250, gauge::FaceKey::EraseUp, 0, 0},
        {"enter", 350, 260, gauge::FaceKey::Enter, 0, 0},
        {"the screen", 200, 80, gauge::FaceKey::Screen, 0, 0},
        {"between keys", 70, 190, gauge::FaceKey::None, 0, 0},
    };
    for (const Row& row : rows) {
        const gauge::FaceHit hit = gauge::hitTest(row.x, row.y);
        EXPECT_EQ(hit.key, row.key) << row.name;
        EXPECT_EQ(hit.letter, row.letter) << row.name;
        EXPECT_EQ(hit.index, row.index) << row.name;
    }
}

TEST(GaugeSettings, PortFromTheSettingsFile) {
    struct Row {
        const char* name;
        std::optional<std::string> file;  // nothing: no file
        int port;
    };
    const Row rows[] = {
        {"no file", std::nullopt, 1147},
        {"no key", "[TCPIP]\r\n", 1147},
        {"empty", "[TCPIP]\r\nPort=\r\n", 1147},
        {"zero", "[TCPIP]\r\nPort=0\r\n", 1147},
        {"letters", "[TCPIP]\r\nPort=abc\r\n", 1147},
        {"beyond the port range", "[TCPIP]\r\nPort=70000\r\n", 1147},
        {"a port", "[tcpip]\r\nport=2001\r\n", 2001},
    };
    for (const Row& row : rows) {
        TempDir dir;
        if (row.file) dir.write("aviologgauge.ini", *row.file);
        EXPECT_EQ(gauge::portFromSettings(dir / "aviologgauge.ini"), row.port) << row.name;
    }
    EXPECT_EQ(gauge::portFromSettings(std::nullopt), 1147);
}

TEST(GaugeSettings, TheSettingsFileIsFoundWithoutRegardToCase) {
    struct Row {
        const char* name;
        const char* folder;  // nothing: no gauges folder
        const char* file;
        int port;
    };
    const Row rows[] = {
        {"as written", "gauges", "aviologgauge.ini", 2001},
        {"the folder as the installer names it", "Gauges", "aviologgauge.ini", 2001},
        {"folder and file in other cases", "GAUGES", "AviologGauge.INI", 2001},
        {"another file only", "Gauges", "aviologgauge.ini.bak", 1147},
        {"no gauges folder", nullptr, nullptr, 1147},
    };
    for (const Row& row : rows) {
        TempDir simulator;
        if (row.folder) {
            std::filesystem::create_directories(simulator / row.folder);
            simulator.write(std::string(row.folder) + "/" + row.file, "[TCPIP]\r\nPort=2001\r\n");
        }
        EXPECT_EQ(gauge::portFromSettings(gauge::settingsPathIn(simulator.path())), row.port)
            << row.name;
    }
}

TEST(GaugeSettings, SimulatorFolderFromTheRegistry) {
    struct FakeRegistry final : platform::Registry {
        std::map<std::string, std::map<std::string, std::string>> keys;
        bool hasKey(platform::RegistryHive, std::string_view k) const override {
            return keys.contains(std::string(k));
        }
        std::optional<std::string> readString(platform::RegistryHive, std::string_view k,
                                              std::string_view n, std::size_t) const override {
            const auto& values = keys.at(std::string(k));
            const auto it = values.find(std::string(n));
            if (it == values.end()) return std::nullopt;
            return it->second;
        }
        std::filesystem::path hostPath(std::string_view p) const override { return std::string(p); }
    };
    const std::string fs9 = "SOFTWARE\\Microsoft\\Microsoft Games\\Flight Simulator\\9.0";
    const std::string fs8 = "SOFTWARE\\Microsoft\\Microsoft Games\\Flight Simulator\\8.0";
    struct Row {
        const char* name;
        std::map<std::string, std::map<std::string, std::string>> keys;
        std::optional<std::string> folder;
    };
    const Row rows[] = {
        {"no keys", {}, std::nullopt},
        {"2004 first", {{fs9, {{"EXE Path", "/fs9"}}}, {fs8, {{"EXE Path", "/fs8"}}}}, "/fs9"},
        {"2002 when 2004 is missing", {{fs8, {{"InstalledTo", "/fs8"}}}}, "/fs8"},
        {"the first value that exists", {{fs9, {{"path", "/low"}, {"Path", "/up"}}}}, "/up"},
        {"the key that opened only", {{fs9, {}}, {fs8, {{"Path", "/fs8"}}}}, std::nullopt},
    };
    for (const Row& row : rows) {
        FakeRegistry registry;
        registry.keys = row.keys;
        const auto folder = gauge::findSimulatorFolder(registry);
        EXPECT_EQ(folder ? std::optional(folder->string()) : std::nullopt, row.folder) << row.name;
    }
}

}  // namespace
}  // namespace aviolog::test
