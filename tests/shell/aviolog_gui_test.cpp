// The desktop program as a pilot meets it: the real aviolog under the test's X display
// against an aviolog-sim process, driven by clicks, with screenshots kept for a person.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <chrono>
#include <string>
#include <thread>

#include "common/text_file.h"
#include "config/options_items.h"
#include "tests/shell/window_driver.h"
#include "tests/support/child_process.h"
#include "tests/support/loopback_va_server.h"
#include "tests/support/sim_fixture.h"
#include "tests/support/temp_dir.h"

namespace aviolog::test {
namespace {

bool has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// A working directory as a pilot of TAP has it, the VA's PIREP script on loopback.
struct Cockpit {
    explicit Cockpit(const std::string& pirepUrl = "") {
        dir.write("aviolog.ori", readFileBytes(dataPath("aviolog.ori")).value_or(""));
        dir.write("TAP.ini",
                  "[Aviolog]\r\nCompanyICAO=TAP\r\nCompanyName=Example Air\r\n"
                  "PilotNumber=123\r\nUnitSystem=IS\r\n[Log]\r\nLog=" +
                      pirepUrl + "\r\n");
    }

    // Settings as the pilot left them, without the question whether the aircraft is at the
    // departure airport.
    void withoutStartWarning() {
        std::string settings = readFileBytes(dataPath("aviolog.ori")).value_or("");
        const std::size_t at = settings.find("StartWarning=0");
        ASSERT_NE(at, std::string::npos);
        settings.replace(at, 14, "StartWarning=1");
        dir.write("aviolog.ini", settings);
    }

    // Start-up: on a first run the settings message, then the company.
    void startUp(WindowDriver& window) {
        ASSERT_TRUE(window.started());
        if (!dir.exists("aviolog.ini")) {
            ASSERT_TRUE(window.waitFor("box \"No aviolog.ini File.")) << window.report();
            ASSERT_TRUE(window.click("button \"&OK\""));
        }
        ASSERT_TRUE(window.click("\"Choose Selected Company\"")) << window.report();
        ASSERT_TRUE(window.waitFor("window \"Aviolog\" shown=1")) << window.report();
    }

    TempDir dir;
};

// "Start LOG shown=1 enabled=0" style: the states of every right-hand button, in order.
std::string buttons(WindowDriver& window) {
    std::string states;
    const std::string report = window.report();
    std::size_t at = 0;
    while ((at = report.find("\nbutton \"", at)) != std::string::npos) {
        const std::size_t end = report.find('\n', at + 1);
        const std::string l = report.substr(at + 1, end - at - 1);
        at = end;
        if (!has(l, "shown=1")) continue;
        const std::string caption = l.substr(8, l.find('"', 8) - 8);
        if (!states.empty()) states += ", ";
        states += (has(l, "enabled=1") ? "" : "-") + caption;
    }
    return states;
}

bool waitForExit(ChildProcess& p, int timeoutMs, int& status) {
    status = p.wait(timeoutMs);
    return status != -1;
}

TEST(AviologWindow, APilotFliesAcceptsAndSendsAFlightThroughTheWindow) {
    LoopbackVaServer va;
    ASSERT_TRUE(va.running()) << va.startupOutput();
    Cockpit cockpit(va.url("/pirep.php"));
    ChildProcess sim(AVIOLOG_SIM_PATH, {"--scenario", dataPath("scenarios/short-hop.scn"),
                                        "--speed", "20", "--status", "0"});
    ASSERT_TRUE(sim.started());
    WindowDriver window(cockpit.dir.path());
    cockpit.startUp(window);
    EXPECT_EQ(buttons(window), "-Start LOG, Aviolog, FS Flight Plan, Servinfo, Export SB3")
        << "start-up, on the Flight Plan tab";
    EXPECT_TRUE(has(window.line("tab 3"), "selected=1"));
    for (const char* menu : {"Save &Log\" enabled=0", "Save &ACARS\" enabled=1", "E&xit\"",
                             "Options\"", "&About ...\"", "&Bug Report\""}) {
        EXPECT_NE(window.line("menu \"" + std::string(menu)), "") << menu;
    }

    // The connect procedure finds the simulator and asks.
    ASSERT_TRUE(window.waitFor("box \"Plane at Departure Airport?\"")) << window.report();
    window.screenshot("start-up-question");
    ASSERT_TRUE(window.click("button \"&Yes\""));
    ASSERT_TRUE(window.waitFor("button \"Start LOG\" shown=1 enabled=1")) << window.report();

    struct TabRow {
        const char* tab;
        const char* shot;
        const char* expected;
    };
    const TabRow linkUp[] = {
        {"tab 0 ", "tab-flight-log", "Start LOG, -Commands, Send LOG"},
        {"tab 1 ", "tab-acars-messages", "Start LOG"},
        {"tab 2 ", "tab-flight-plane-data", "Start LOG, Start LOG Dump"},
        {"tab 4 ", "tab-information-browser", "Start LOG, Acars RealTime, Local DB, VA Site"},
        {"tab 3 ", "tab-flight-plan", "Start LOG, Aviolog, FS Flight Plan, Servinfo, Export SB3"},
    };
    // The fuel page is read from the simulator once the link is up: a slider per tank.
    bool sliders = false;
    for (int i = 0; i < 50 && !sliders; ++i) {
        const std::string fuel = window.line("fuel sliders=");
        sliders = has(fuel, "sliders=") && !has(fuel, "sliders=0");
        if (!sliders) std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    EXPECT_TRUE(sliders) << window.report();
    EXPECT_TRUE(has(window.report(), "form \"")) << "the flight data form is drawn";
    for (const TabRow& row : linkUp) {
        ASSERT_TRUE(window.click(row.tab)) << row.tab;
        EXPECT_EQ(buttons(window), row.expected) << row.shot << ", link up";
        window.screenshot(row.shot);
    }
    // The pilot types into the form: the form model holds the text.
    ASSERT_TRUE(window.click("form \"Depart. Airport\""));
    window.key("L P P T Return");
    EXPECT_TRUE(window.waitFor("form \"Depart. Airport\" \"LPPT\"", 5000)) << window.report();
    window.screenshot("flight-plan-typed");

    ASSERT_TRUE(window.click("tab 0 "));
    ASSERT_TRUE(window.click("button \"Start LOG\""));
    ASSERT_TRUE(window.waitFor("logline \"")) << window.report();
    EXPECT_EQ(buttons(window), "Stop LOG, Commands, Send LOG") << "log started";
    EXPECT_FALSE(has(window.line("logview rows="), "rows=0"));
    ASSERT_TRUE(window.click("button \"Commands\""));
    ASSERT_TRUE(window.waitFor("open \"Commands\"")) << window.report();
    window.screenshot("commands");
    // "c" and a text: a free-text ACARS message, which the ACARS tab lists.
    window.key("c space H i Return");
    for (int i = 0; i < 25 && has(window.report(), "open \"Commands\""); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    EXPECT_FALSE(has(window.report(), "open \"Commands\"")) << "OK closes the dialog";
    bool acarsRows = false;
    for (int i = 0; i < 25 && !acarsRows; ++i) {
        const std::string acars = window.line("acarsview rows=");
        acarsRows = has(acars, "rows=") && !has(acars, "rows=0");
        if (!acarsRows) std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    EXPECT_TRUE(acarsRows) << window.report();
    ASSERT_TRUE(window.click("tab 1 "));
    window.screenshot("acars-free-text");
    ASSERT_TRUE(window.click("tab 0 "));

    ASSERT_TRUE(window.waitFor("Parking brakes on", 240000)) << window.report();
    window.screenshot("flight-log-at-the-gate");
    ASSERT_TRUE(window.click("button \"Stop LOG\""));
    ASSERT_TRUE(window.waitFor("box \"Do you want to close the Log?\"")) << window.report();
    ASSERT_TRUE(window.click("button \"&Yes\""));
    ASSERT_TRUE(window.waitFor("open \"Flight Summary\"")) << window.report();
    EXPECT_EQ(buttons(window), "-Stop LOG, -Commands, Send LOG") << "log ended";
    window.screenshot("flight-summary");
    ASSERT_TRUE(window.click("button \"&OK\""));
    ASSERT_TRUE(window.waitFor("results \"Flight Results\" rows=16")) << window.report();
    EXPECT_FALSE(has(window.report(), "open \"Flight Summary\""));
    const std::string stored = cockpit.dir.read("TAP123.dat");
    EXPECT_TRUE(has(stored, "[Flight Summary]") || has(stored, "DepAirport")) << stored;
    ASSERT_TRUE(window.click("tab 2 "));
    window.screenshot("flight-results");

    ASSERT_TRUE(window.click("tab 0 "));
    ASSERT_TRUE(window.click("button \"Send LOG\""));
    ASSERT_TRUE(window.waitFor("open \"Send Log Parameters\"")) << window.report();
    window.screenshot("send-log-parameters");
    ASSERT_TRUE(window.click("button \"&OK\""));
    for (int i = 0; i < 50 && va.requests().empty(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    ASSERT_FALSE(va.requests().empty()) << window.report();
    EXPECT_EQ(va.requests()[0].param("pilot"), "TAP123");
    // Whatever the sender then tells the pilot is answered with OK.
    while (window.waitFor("box \"", 2000)) ASSERT_TRUE(window.click("button \"&OK\""));
    EXPECT_FALSE(has(cockpit.dir.read("TAP123.dat"), "DepAirport")) << "the sent flight is removed";

    // Quit: No keeps the program, Yes ends it and writes the settings back.
    const std::string frame = window.line("tab 0 ");
    int x = 0;
    int y = 0;
    ASSERT_EQ(std::sscanf(frame.c_str() + frame.rfind(" at "), " at %d %d", &x, &y), 2);
    window.moveTo(x, y + 100);
    window.key("alt+f");
    window.key("x");
    ASSERT_TRUE(window.waitFor("box \"Do you want to Quit?\"")) << window.report();
    ASSERT_TRUE(window.click("button \"&No\""));
    EXPECT_TRUE(window.waitFor("window \"Aviolog\" shown=1"));
    window.moveTo(x, y + 100);
    window.key("alt+f");
    window.key("x");
    ASSERT_TRUE(window.waitFor("box \"Do you want to Quit?\""));
    ASSERT_TRUE(window.click("button \"&Yes\""));
    int status = 0;
    ASSERT_TRUE(waitForExit(window.process(), 10000, status)) << "Yes ends the program";
    EXPECT_TRUE(has(cockpit.dir.read("aviolog.ini"), "AcarsReal=http://localhost/AVIOLOG_GRT.php"))
        << "the settings are written back at exit";
}

TEST(AviologWindow, ASecondInstanceIsRefusedAndTheFirstRunsOn) {
    Cockpit cockpit;
    WindowDriver first(cockpit.dir.path());
    cockpit.startUp(first);
    WindowDriver second(cockpit.dir.path());
    ASSERT_TRUE(second.started());
    ASSERT_TRUE(second.waitFor("box \"Aviolog Already running!\"")) << second.report();
    EXPECT_TRUE(has(second.report(), "window none")) << "no main window for the second";
    second.screenshot("second-instance");
    ASSERT_TRUE(second.click("button \"&OK\""));
    int status = 0;
    EXPECT_TRUE(waitForExit(second.process(), 10000, status)) << "the second instance ends";
    EXPECT_NE(status, 0);
    EXPECT_TRUE(first.waitFor("window \"Aviolog\" shown=1")) << "the first is not affected";
}

TEST(AviologWindow, TheOptionsDialogShowsEveryItemOfTheTableWithItsValue) {
    Cockpit cockpit;
    cockpit.withoutStartWarning();
    WindowDriver window(cockpit.dir.path());
    cockpit.startUp(window);
    const std::string tab = window.line("tab 0 ");
    int x = 0;
    int y = 0;
    ASSERT_EQ(std::sscanf(tab.c_str() + tab.rfind(" at "), " at %d %d", &x, &y), 2);
    window.moveTo(x, y + 100);
    window.key("alt+c");
    window.key("Return");
    ASSERT_TRUE(window.waitFor("open \"Aviolog Options\"")) << window.report();
    const std::string report = window.report();
    for (const config::OptionCategory& category : config::optionCategories()) {
        EXPECT_TRUE(has(report, "\"" + std::string(category.name) + "\" = \"\" category=1"))
            << category.name;
        for (const config::OptionItem& item : category.items) {
            EXPECT_TRUE(has(report, "\"" + std::string(item.label) + "\" = ")) << item.label;
        }
    }
    for (const char* shown :
         {"\"Company ICAO\" = \"TAP\"", "\"Units\" = \"Kilograms\"",
          "\"Metar source\" = \"VATSIM\"", "\"NM before Destination Aiport\" = \"0\""}) {
        EXPECT_TRUE(has(report, shown)) << shown;
    }
    window.screenshot("options");
    ASSERT_TRUE(window.click("button \"Close\""));
    EXPECT_FALSE(has(window.report(), "open \"Aviolog Options\""));
}

TEST(AviologWindow, NotAtTheDepartureLeavesOnlySendingLogs) {
    Cockpit cockpit;
    ChildProcess sim(AVIOLOG_SIM_PATH, {"--scenario", dataPath("scenarios/short-hop.scn"),
                                        "--speed", "1", "--status", "0"});
    WindowDriver window(cockpit.dir.path());
    cockpit.startUp(window);
    ASSERT_TRUE(window.waitFor("box \"Plane at Departure Airport?\"")) << window.report();
    ASSERT_TRUE(window.click("button \"&No\""));
    ASSERT_TRUE(window.waitFor("box \"Aviolog will revert to send log/change options only.\""));
    window.screenshot("reduced-mode-message");
    ASSERT_TRUE(window.click("button \"&OK\""));
    ASSERT_TRUE(window.click("tab 0 "));
    EXPECT_EQ(buttons(window), "Send LOG") << "reduced mode on the Flight Log tab";
    ASSERT_TRUE(window.click("tab 3 "));
    EXPECT_EQ(buttons(window), "Aviolog, FS Flight Plan, Servinfo, Export SB3");
    window.screenshot("reduced-mode");
}

}  // namespace
}  // namespace aviolog::test
