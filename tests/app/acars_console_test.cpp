// The program's ACARS console against a real terminal and its link server on loopback,
// with the simulator in process: keys pressed on the terminal travel to the console and
// its pages and lines come back.

#include "app/acars_console.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <map>
#include <thread>

#include "config/settings.h"
#include "gauge/link_server.h"
#include "model/main_window_model.h"
#include "platform/posix/posix_nonblocking_tcp.h"
#include "platform/virtual/virtual_scheduler.h"
#include "recorder/recorder_context.h"
#include "sim/in_process_sim_ipc.h"
#include "simlink/sim_link.h"
#include "simlink/sim_variables.h"
#include "tests/support/null_doubles.h"
#include "tests/support/sim_fixture.h"
#include "tests/support/wait.h"

namespace aviolog::test {
namespace {

// The world around the console, quiet but for the weather and the messages it is given.
struct World final : QuietWorld {
    void metarMessage(const std::string& m) override { calls.push_back("metar " + m); }
    void freeTextMessage(int h, int m, const std::string& t) override {
        calls.push_back(std::to_string(h) + ":" + std::to_string(m) + " " + t);
    }
    std::optional<std::string> fetch(const std::string& icao) override {
        calls.push_back("fetch " + icao);
        const auto it = metars.find(icao);
        if (it == metars.end()) return std::nullopt;
        return it->second;
    }
    void readInto(model::FlightRecord&) override {}

    std::map<std::string, std::string> metars{
        {"lppr", "LPPR 141030Z 31012KT 9999 FEW020 18/12 Q1018"}};
    std::vector<std::string> calls;
};

// The terminal with its link server, listening.
struct GaugeSide {
    GaugeSide(platform::NonBlockingNetwork& network, int port) : server(network, terminal) {
        server.setUp(port);
    }
    gauge::LinkServer server;
    gauge::Terminal terminal{server};
};

// The program's side (console, client, the services it calls, an in-process simulator)
// and the terminal's side (terminal, link server) in one process.
struct ConsoleRig {
    ConsoleRig()
        : simulator(makeSimulator()),
          ipc(*simulator, scheduler),
          link(ipc, scheduler),
          console({.link = link, .settings = settings, .window = window, .services = services},
                  client),
          services{.acars = world,
                   .metar = world,
                   .gauge = console,
                   .live = world,
                   .flapNames = world,
                   .store = world} {
        settings.company.UnitSystem = WeightUnit::Kilograms;
        settings.metarSource = config::MetarSource::NOAA;
        console.setGaugePort(g->server.port());
        g->server.update();  // the terminal was up before the program
        link.open(0);
    }

    // Both sides' update cycles until the condition holds (or ten seconds pass).
    bool pumpUntil(const std::function<bool()>& done) {
        return waitFor(
            [&] {
                g->server.update();
                g->terminal.drawDirtyRows();
                console.refresh();
                return done();
            },
            std::chrono::seconds(10), std::chrono::milliseconds(1));
    }
    // A fixed number of cycles, for things that must not happen.
    void pump(int cycles) {
        for (int i = 0; i < cycles; ++i) {
            g->server.update();
            console.refresh();
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }
    bool connect() {
        window.appendDisplay(model::Channel::Log, "09:25  Start  [2024/06/14 09:25]\n");
        console.open("127.0.0.1");
        return pumpUntil(
            [&] { return g->terminal.mode() == gauge::DisplayMode::Page3 && page2Count() == 1; });
    }
    std::size_t page2Count() const { return g->terminal.page(2).count(); }
    std::string page3() const {
        std::string text;
        for (int r = 1; r <= 9; ++r) text += std::string(g->terminal.page3Line(r)) + "\n";
        return text;
    }
    std::string timePrefix() {
        const auto t =
            recorder::LogLines{
                .link = link, .settings = settings, .gauge = console, .window = window}
                .readLogTime();
        char prefix[16];
        std::snprintf(prefix, sizeof prefix, "%02d:%02d  ", t ? t->hour : 0, t ? t->minute : 0);
        return prefix;
    }

    World world;
    platform::VirtualScheduler scheduler;
    std::unique_ptr<sim::Simulator> simulator;
    sim::InProcessSimIpc ipc;
    simlink::SimLink link;
    config::Settings settings;
    model::MainWindowModel window;
    platform::posix::PosixNonBlockingNetwork network;
    app::GaugeClient client{network};
    // As the application makes them: the console first, the services it calls after it.
    app::AcarsConsole console;
    model::FlightServices services;
    std::unique_ptr<GaugeSide> g = std::make_unique<GaugeSide>(network, 0);
};

TEST(MenuPage, RendersNineRowsOf44CharactersWithLabelsBesideTheirKeys) {
    const std::string text = app::renderMenuPage(app::mainMenuPage());
    const std::string blank(44, ' ');
    const std::string expected =
        "Show ACARS" + std::string(25, ' ') + "Free text\n" + blank + "\n" + "Show LOG" +
        std::string(36, ' ') + "\n" + blank + "\n" + "Weather" + std::string(37, ' ') + "\n" +
        blank + "\n" + "Plane Weight" + std::string(32, ' ') + "\n" + blank + "\n" + blank + "\n";
    EXPECT_EQ(text, expected);
}

TEST(AcarsConsole, ConnectingShowsTheMainMenuAndTheLogSoFar) {
    ConsoleRig rig;
    ASSERT_TRUE(rig.connect());
    EXPECT_EQ(rig.page3(), app::renderMenuPage(app::mainMenuPage()));
    EXPECT_EQ(rig.g->terminal.page(2).line(0), "09:25  Start  [2024/06/14 09:25]");
    EXPECT_EQ(rig.g->terminal.input(), "")
        << "the waiting text is gone and nothing stands in its place";
}

TEST(AcarsConsole, MenuDepthFollowsTheKeysAndShiftGoesBack) {
    struct Row {
        const char* name;
        std::vector<std::string> keys;
        std::vector<int> depths;  // after each key
        bool menuShownLast;       // the last key brought the main menu back
    };
    const Row rows[] = {
        {"LSK1 then Shift", {"LSK1", "Shift"}, {2, 1}, true},
        {"LSK1, LSK2, Shift", {"LSK1", "LSK2", "Shift"}, {2, 3, 2}, false},
        {"LSK1, LSK2, Shift, Shift", {"LSK1", "LSK2", "Shift", "Shift"}, {2, 3, 2, 1}, true},
        {"Shift at depth 1", {"Shift"}, {1}, true},
    };
    for (const Row& row : rows) {
        ConsoleRig rig;
        ASSERT_TRUE(rig.connect()) << row.name;
        for (std::size_t i = 0; i < row.keys.size(); ++i) {
            // Each key shows a page other than the menu first, so the menu's return is seen.
            rig.g->terminal.receive({2, "Page2"});
            rig.g->server.sendText(row.keys[i]);
            ASSERT_TRUE(rig.pumpUntil([&] {
                return rig.console.receivedText() == row.keys[i] &&
                       rig.console.menuDepth() == row.depths[i];
            })) << row.name
                << ": key " << i << " depth " << rig.console.menuDepth();
        }
        if (row.menuShownLast) {
            EXPECT_TRUE(rig.pumpUntil([&] {
                return rig.g->terminal.mode() == gauge::DisplayMode::Page3;
            })) << row.name;
        } else {
            rig.pump(20);
            EXPECT_NE(rig.g->terminal.mode(), gauge::DisplayMode::Page3) << row.name;
        }
    }
}

TEST(AcarsConsole, FreeTextTypedOnTheTerminalGoesToTheLogAndPage2) {
    ConsoleRig rig;
    ASSERT_TRUE(rig.connect());
    rig.g->terminal.lineSelect(true, 1);
    ASSERT_TRUE(rig.pumpUntil([&] {
        return rig.g->terminal.page3Line(1) == "Input the free text comment" + std::string(17, ' ');
    }));
    for (const char c : std::string("GATE")) rig.g->terminal.keypadLetter(c);
    rig.g->terminal.keypadSpaceDown();
    rig.g->terminal.keypadLetter('B');
    rig.g->terminal.keypadShift();
    rig.g->terminal.keypadLetter('B');  // the latch makes it a 2
    rig.g->terminal.keypadEnter();
    ASSERT_TRUE(rig.pumpUntil([&] {
        return rig.page2Count() == 2 && rig.g->terminal.page3Line(1).starts_with("Show ACARS");
    }));
    const std::string line = rig.timePrefix() + "GATE B2";
    EXPECT_EQ(rig.g->terminal.page(2).line(1), line);
    EXPECT_EQ(rig.window.lines(model::Channel::Log).back(), line);
    EXPECT_EQ(rig.page3(), app::renderMenuPage(app::mainMenuPage()));
    EXPECT_EQ(rig.console.menuDepth(), 1);
    ASSERT_FALSE(rig.world.calls.empty());
    EXPECT_NE(rig.world.calls.back().find(" GATE B2"), std::string::npos) << rig.world.calls.back();
}

TEST(AcarsConsole, ShiftLeavesAPendingPromptWithoutAnsweringIt) {
    struct Row {
        const char* name;
        std::vector<std::string> keys;  // the last one opens the prompt
        int depthAfterShift;
    };
    const Row rows[] = {
        {"free text", {"RSK1"}, 1},
        {"weather", {"LSK3"}, 1},
        {"free text, deeper in", {"LSK1", "LSK2", "RSK1"}, 3},
    };
    for (const Row& row : rows) {
        ConsoleRig rig;
        ASSERT_TRUE(rig.connect()) << row.name;
        for (const std::string& key : row.keys) {
            rig.g->server.sendText(key);
            ASSERT_TRUE(rig.pumpUntil([&] { return rig.console.receivedText() == key; }))
                << row.name << ": " << key;
        }
        ASSERT_TRUE(rig.pumpUntil([&] {
            return rig.g->terminal.page3Line(1).starts_with("Input");
        })) << row.name;
        rig.g->terminal.keypadShift();  // the prompt is shown, so Shift is sent
        ASSERT_TRUE(rig.pumpUntil([&] {
            return rig.console.receivedText() == "Shift" &&
                   rig.g->terminal.page3Line(1).starts_with("Show ACARS");
        })) << row.name
            << ": the prompt gives way to the main menu";
        EXPECT_EQ(rig.console.menuDepth(), row.depthAfterShift) << row.name;
        // What comes next is a key again, not the prompt's answer.
        rig.g->server.sendText("LPPR");
        ASSERT_TRUE(rig.pumpUntil([&] { return rig.console.receivedText() == "LPPR"; }))
            << row.name;
        rig.pump(10);
        EXPECT_TRUE(rig.world.calls.empty())
            << row.name << ": nothing went to the airline, first: " << rig.world.calls.front();
        EXPECT_EQ(rig.window.lines(model::Channel::Log).size(), 1u) << row.name;
        EXPECT_EQ(rig.page2Count(), 1u) << row.name;
    }
}

TEST(AcarsConsole, AFreeTextThatBeginsWithShiftIsStillAComment) {
    ConsoleRig rig;
    ASSERT_TRUE(rig.connect());
    rig.g->server.sendText("RSK1");
    ASSERT_TRUE(rig.pumpUntil([&] { return rig.console.receivedText() == "RSK1"; }));
    rig.g->server.sendText("SHIFT CHANGE AT TOTEM");
    ASSERT_TRUE(rig.pumpUntil([&] { return rig.page2Count() == 2; }));
    EXPECT_EQ(rig.window.lines(model::Channel::Log).back(),
              rig.timePrefix() + "SHIFT CHANGE AT TOTEM");
}

TEST(AcarsConsole, WeatherAsksForTheFirstFourCharactersInLowerCase) {
    struct Row {
        const char* name;
        std::string typed;
        std::string asked;
        bool pageShown;
    };
    const Row rows[] = {
        {"five characters", "LPPRX", "fetch lppr", true},
        {"unknown airport", "ZZZZ", "fetch zzzz", false},
        {"LSK1 instead of a code", "LSK1", "fetch lsk1", false},
    };
    for (const Row& row : rows) {
        ConsoleRig rig;
        ASSERT_TRUE(rig.connect()) << row.name;
        rig.g->terminal.lineSelect(false, 3);
        ASSERT_TRUE(rig.pumpUntil([&] {
            return rig.g->terminal.page3Line(1).starts_with("Input METAR ICAO");
        })) << row.name;
        rig.g->server.sendText(row.typed);
        ASSERT_TRUE(rig.pumpUntil([&] { return rig.console.receivedText() == row.typed; }))
            << row.name;
        ASSERT_TRUE(rig.pumpUntil([&] { return !rig.world.calls.empty(); })) << row.name;
        if (row.pageShown) {
            EXPECT_TRUE(rig.pumpUntil([&] {
                return rig.g->terminal.page3Line(1).starts_with("METAR");
            })) << row.name;
        }
        rig.pump(20);  // what must not follow: a page where none is due, a line on page 2
        EXPECT_EQ(rig.world.calls.front(), row.asked) << row.name;
        EXPECT_EQ(rig.g->terminal.page3Line(1).starts_with("METAR"), row.pageShown) << row.name;
        if (row.pageShown) {
            EXPECT_EQ(rig.g->terminal.page3Line(2), "LPPR 141030Z 31012KT 9999 FEW020 18/12 Q1018")
                << row.name;
            EXPECT_EQ(rig.window.lines(model::Channel::Log).back(),
                      rig.timePrefix() + "NOAA:LPPR 141030Z 31012KT 9999 FEW020 18/12 Q1018")
                << row.name;
            EXPECT_EQ(rig.page2Count(), 1u)
                << row.name << ": the weather line is not sent to the terminal";
        }
        if (row.typed == "LSK1") {
            EXPECT_EQ(rig.g->terminal.mode(), gauge::DisplayMode::Page1) << row.name;
            EXPECT_EQ(rig.console.menuDepth(), 3) << row.name;
        }
    }
}

TEST(AcarsConsole, WeightsPageAndLineInKilograms) {
    ConsoleRig rig;
    ASSERT_TRUE(rig.connect());
    rig.g->terminal.lineSelect(false, 4);
    ASSERT_TRUE(rig.pumpUntil([&] {
        return rig.g->terminal.page3Line(1).starts_with("Aircraft Weights") && rig.page2Count() > 1;
    }));
    const std::string line = rig.window.lines(model::Channel::Log).back();
    EXPECT_TRUE(line.starts_with(rig.timePrefix() + "Zero fuel Weight: ")) << line;
    EXPECT_NE(line.find(" Kg, Fuel Weight: "), std::string::npos) << line;
    EXPECT_TRUE(line.starts_with(rig.g->terminal.page(2).line(1)))
        << "the same line, wrapped, on page 2";
    EXPECT_TRUE(rig.g->terminal.page3Line(2).starts_with("Zero fuel Weight: "))
        << rig.g->terminal.page3Line(2);
    EXPECT_TRUE(rig.g->terminal.page3Line(3).starts_with("Fuel Weight: "))
        << rig.g->terminal.page3Line(3);
}

TEST(AcarsConsole, KeysPressedWhilePausedAreReadAfterThePause) {
    ConsoleRig rig;
    ASSERT_TRUE(rig.connect());
    ASSERT_TRUE(simlink::writeU16(rig.link, simlink::var::PauseControl, 1));
    rig.g->terminal.lineSelect(false, 1);
    rig.g->terminal.lineSelect(false, 2);
    rig.pump(30);
    EXPECT_EQ(rig.console.menuDepth(), 1);
    ASSERT_TRUE(simlink::writeU16(rig.link, simlink::var::PauseControl, 0));
    rig.console.refresh();
    EXPECT_EQ(rig.console.menuDepth(), 2) << "one key per tick";
    rig.console.refresh();
    EXPECT_EQ(rig.console.menuDepth(), 3);
}

TEST(AcarsConsole, CommandsDialog) {
    struct Row {
        const char* name;
        std::string command;
        std::string logEnd;  // what the new log line ends with; empty: no line
    };
    const Row rows[] = {
        {"comment", "c Holding at TOTEM", "  Holding at TOTEM"},
        {"comment, upper case", "C gear down", "  gear down"},
        {"weather", "w LPPR", "NOAA:LPPR 141030Z 31012KT 9999 FEW020 18/12 Q1018"},
        {"weights, lower case", "p", " Kg"},
        {"weights, any word", "Plane", " Kg"},
        {"no command", "x", ""},
        {"c without its blank", "cx", ""},
    };
    for (const Row& row : rows) {
        ConsoleRig rig;
        ASSERT_TRUE(rig.connect()) << row.name;
        rig.console.runCommand(row.command);
        const auto& log = rig.window.lines(model::Channel::Log);
        if (row.logEnd.empty()) {
            rig.pump(10);
            EXPECT_EQ(log.size(), 1u) << row.name;
            continue;
        }
        EXPECT_TRUE(rig.pumpUntil([&] { return rig.page2Count() > 1; })) << row.name;
        ASSERT_EQ(log.size(), 2u) << row.name;
        EXPECT_TRUE(log.back().ends_with(row.logEnd)) << row.name << ": " << log.back();
        EXPECT_TRUE(log.back().starts_with(rig.g->terminal.page(2).line(1)))
            << row.name << ": the line goes to page 2 too";
        EXPECT_GT(rig.page2Count(), 1u) << row.name;
        EXPECT_EQ(rig.g->terminal.mode(), gauge::DisplayMode::Page3)
            << row.name << ": no page is shown";
    }
}

TEST(AcarsConsole, AGaugeThatClosesAndComesBackGetsTheFlightAgain) {
    ConsoleRig rig;
    ASSERT_TRUE(rig.connect());
    const int port = rig.g->server.port();
    // The terminal quits and a new one takes the port.
    rig.g.reset();
    rig.g = std::make_unique<GaugeSide>(rig.network, port);
    rig.g->server.update();
    ASSERT_TRUE(rig.g->server.listening());
    rig.window.appendDisplay(model::Channel::Log, "09:31  Parking Brakes off\n");
    EXPECT_TRUE(waitFor(
        [&] {
            rig.g->server.update();
            rig.console.refresh();
            return rig.page2Count() >= 2;
        },
        std::chrono::seconds(10), std::chrono::milliseconds(5)));
    EXPECT_EQ(rig.page2Count(), 2u);
    EXPECT_EQ(rig.g->terminal.page(2).line(1), "09:31  Parking Brakes off");
    EXPECT_EQ(rig.g->terminal.mode(), gauge::DisplayMode::Page3);
}

}  // namespace
}  // namespace aviolog::test

namespace aviolog::test {
namespace {

// An idle tick is one pause read and one read that would block; a tick that waited on the
// socket would cost the simulator's whole timer budget.
TEST(AcarsConsole, AnIdleTickNeverWaits) {
    ConsoleRig rig;
    ASSERT_TRUE(rig.connect());
    constexpr int kTicks = 5000;
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < kTicks; ++i) rig.console.refresh();
    const double meanUs =
        std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start)
            .count() /
        kTicks;
    std::printf("idle gauge tick: %.2f us\n", meanUs);
    EXPECT_LT(meanUs, 1000.0);
}

}  // namespace
}  // namespace aviolog::test
