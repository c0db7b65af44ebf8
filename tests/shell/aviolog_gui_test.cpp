// The desktop program as a pilot meets it: the real aviolog under the test's X display
// against an aviolog-sim process, driven by clicks, with screenshots kept for a person.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "common/text_file.h"
#include "config/options_items.h"
#include "tests/shell/window_driver.h"
#include "tests/support/child_process.h"
#include "tests/support/loopback_va_server.h"
#include "tests/support/sim_fixture.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wait.h"

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
    void withoutStartWarning() { setting("StartWarning", "1"); }

    // One key of "aviolog.ini" (made from the template when there is none yet).
    void setting(const std::string& key, const std::string& value) {
        std::string settings = dir.exists("aviolog.ini")
                                   ? dir.read("aviolog.ini")
                                   : readFileBytes(dataPath("aviolog.ori")).value_or("");
        const std::size_t at = settings.find("\n" + key + "=");
        ASSERT_NE(at, std::string::npos) << key;
        const std::size_t end = settings.find('\r', at + 1);
        settings.replace(at + 1, end - at - 1, key + "=" + value);
        dir.write("aviolog.ini", settings);
    }

    // Keys of the profile's [Aviolog] section.
    void addToProfile(const std::string& lines) {
        std::string profile = dir.read("TAP.ini");
        profile.insert(profile.find("\r\n") + 2, lines);
        dir.write("TAP.ini", profile);
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

    // What "Start LOG" waits for besides the simulator: the pilot types departure, arrival
    // and route on the Flight Plan tab.
    static void fillForm(WindowDriver& window) {
        ASSERT_TRUE(window.click("tab 3 "));
        const std::pair<const char*, const char*> typed[] = {
            {"Depart. Airport", "LPPT"}, {"Arrival Airport", "LPPR"}, {"Route", "DCT"}};
        for (const auto& [label, text] : typed) {
            std::string keys;
            for (const char c : std::string(text)) keys += std::string(1, c) + " ";
            // A click that only takes the focus back (a box just closed) opens no editor,
            // and the keys are lost: the field is typed again until it shows the text.
            bool shown = false;
            for (int attempt = 0; attempt < 3 && !shown; ++attempt) {
                ASSERT_TRUE(window.click("form \"" + std::string(label) + "\"")) << label;
                window.key(keys + "Return");
                shown =
                    window.waitFor("form \"" + std::string(label) + "\" \"" + text + "\"", 3000);
            }
            EXPECT_TRUE(shown) << window.report();
        }
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

// "at X Y" of a report line; false when the line has none.
bool pointOf(const std::string& line, int& x, int& y) {
    const std::size_t at = line.rfind(" at ");
    return at != std::string::npos && std::sscanf(line.c_str() + at, " at %d %d", &x, &y) == 2;
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
    EXPECT_EQ(buttons(window),
              "-Start LOG, Aviolog, FS Flight Plan, Servinfo, Export SB3, SimBrief")
        << "start-up, on the Flight Plan tab";
    EXPECT_TRUE(has(window.line("tab 3"), "selected=1"));
    for (const char* menu : {"Save &Log\" enabled=0", "Save &ACARS\" enabled=1", "E&xit\"",
                             "Options\"", "&About ...\"", "&Bug Report\""}) {
        EXPECT_NE(window.line("menu \"" + std::string(menu)), "") << menu;
    }

    // The connect procedure finds the simulator and asks.
    ASSERT_TRUE(window.waitFor("box \"Plane at Departure Airport?\"")) << window.report();
    EXPECT_NE(window.line("status \"Waiting for the simulator...\""), "") << window.report();
    window.screenshot("start-up-question");
    ASSERT_TRUE(window.click("button \"&Yes\""));
    EXPECT_TRUE(
        window.waitFor("status \"Connected to the simulator: Start LOG records the flight\""))
        << window.report();

    // The form is still empty: "Start LOG" waits for it.
    struct TabRow {
        const char* tab;
        const char* shot;
        const char* expected;
    };
    const TabRow linkUp[] = {
        {"tab 0 ", "tab-flight-log", "-Start LOG, -Commands, Send LOG"},
        {"tab 1 ", "tab-acars-messages", "-Start LOG"},
        {"tab 2 ", "tab-flight-plane-data", "-Start LOG, Start LOG Dump"},
        {"tab 4 ", "tab-information-browser",
         "-Start LOG, Acars RealTime, Local DB, VA Site, -Landing"},
        {"tab 3 ", "tab-flight-plan",
         "-Start LOG, Aviolog, FS Flight Plan, Servinfo, Export SB3, SimBrief"},
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
    // The pilot types into the form: the form model holds the text, and with departure,
    // arrival and route "Start LOG" is enabled.
    Cockpit::fillForm(window);
    EXPECT_TRUE(window.waitFor("button \"Start LOG\" shown=1 enabled=1", 5000)) << window.report();
    window.screenshot("flight-plan-typed");

    ASSERT_TRUE(window.click("tab 0 "));
    ASSERT_TRUE(window.click("button \"Start LOG\""));
    ASSERT_TRUE(window.waitFor("logline \"")) << window.report();
    EXPECT_EQ(buttons(window), "Stop LOG, Commands, Send LOG") << "log started";
    const std::string recording = window.line("status \"");
    EXPECT_TRUE(has(recording, "Recording the flight") || has(recording, "Aviolog Hdg:"))
        << recording;
    window.screenshot("status-recording");
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
    EXPECT_NE(window.line("status \"Log closed\""), "") << window.report();
    // The header the stop puts in front has no time: each line stays whole in the text
    // column.
    for (const char* header : {"logrow \"\" = \"[", "logrow \"\" = \"Pilot Number:123\"",
                               "logrow \"\" = \"Company ICAO:TAP\"", "logrow \"\" = \"Online: "}) {
        EXPECT_NE(window.line(header), "") << header << "\n" << window.report();
    }
    const std::string timed = window.line("\" = \"Parking brakes on\"");
    EXPECT_TRUE(timed.size() > 16 && timed.starts_with("logrow \"") && timed[10] == ':' &&
                timed[13] == '"')
        << "a timed line keeps its time apart: " << timed;
    window.screenshot("flight-summary");
    ASSERT_TRUE(window.click("button \"&OK\""));
    ASSERT_TRUE(window.waitFor("results \"Flight Results\" rows=21")) << window.report();
    EXPECT_TRUE(
        window.waitFor("status \"Flight stored in .\\TAP123.dat and in the local database\""))
        << window.report();
    window.screenshot("flight-stored");
    {
        // The header at the top of the log view.
        const std::string logTab = window.line("tab 0 ");
        int tx = 0;
        int ty = 0;
        ASSERT_TRUE(pointOf(logTab, tx, ty));
        window.moveTo(tx + 100, ty + 150);
        WindowDriver::xdotool("click --repeat 40 --delay 20 4");
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        window.screenshot("flight-log-header");
    }
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
    ASSERT_TRUE(window.choose("alt+f", "&File", "x")) << window.report();
    ASSERT_TRUE(window.waitFor("box \"Do you want to Quit?\"")) << window.report();
    ASSERT_TRUE(window.click("button \"&No\""));
    EXPECT_TRUE(window.waitFor("window \"Aviolog\" shown=1"));
    window.moveTo(x, y + 100);
    ASSERT_TRUE(window.choose("alt+f", "&File", "x")) << window.report();
    ASSERT_TRUE(window.waitFor("box \"Do you want to Quit?\""));
    ASSERT_TRUE(window.click("button \"&Yes\""));
    int status = 0;
    ASSERT_TRUE(waitForExit(window.process(), 10000, status)) << "Yes ends the program";
    EXPECT_TRUE(has(cockpit.dir.read("aviolog.ini"), "AcarsReal=http://localhost/AVIOLOG_GRT.php"))
        << "the settings are written back at exit";
}

// "SimBrief" brings the pilot's latest plan, here from a loopback site answering as
// SimBrief's fetcher does, into the form.
TEST(AviologWindow, TheSimbriefButtonFillsTheForm) {
    LoopbackVaServer simbrief;
    ASSERT_TRUE(simbrief.running()) << simbrief.startupOutput();
    simbrief.setAnswers(
        {{200,
          readFileBytes(std::string(AVIOLOG_PLANNING_DATA) + "/simbrief-ofp.json").value_or("")}});
    Cockpit cockpit;
    cockpit.withoutStartWarning();
    std::string settings = cockpit.dir.read("aviolog.ini");
    settings.insert(settings.find("[Aviolog]\r\n") + 11,
                    "SimbriefSite=" + simbrief.url("/api/xml.fetcher.php") + "\r\n");
    cockpit.dir.write("aviolog.ini", settings);
    cockpit.addToProfile("SimbriefUser=ann\r\n");
    WindowDriver window(cockpit.dir.path());
    cockpit.startUp(window);
    ASSERT_TRUE(window.click("tab 3 "));
    ASSERT_TRUE(window.click("button \"SimBrief\"")) << window.report();
    EXPECT_TRUE(window.waitFor("form \"Arrival Airport\" \"LPBR\"")) << window.report();
    EXPECT_TRUE(window.waitFor("form \"Route\" \"DCT BRG DCT\"", 5000)) << window.report();
    window.screenshot("simbrief-filled");
    ASSERT_EQ(simbrief.requests().size(), 1u);
    EXPECT_EQ(simbrief.requests()[0].param("username"), "ann");
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
    ASSERT_TRUE(window.choose("alt+c", "&Config", "Return")) << window.report();
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
    EXPECT_EQ(buttons(window), "Aviolog, FS Flight Plan, Servinfo, Export SB3, SimBrief");
    window.screenshot("reduced-mode");
}

// The value of a report line "... = \"value\" ..." or "... \"value\" enabled=".
std::string quotedAfter(const std::string& line, const std::string& marker) {
    const std::size_t at = line.find(marker);
    if (at == std::string::npos) return "";
    const std::size_t begin = at + marker.size();
    return line.substr(begin, line.find('"', begin) - begin);
}

long residentKb(pid_t pid) {
    const std::string status =
        readFileBytes("/proc/" + std::to_string(pid) + "/status").value_or("");
    const std::size_t at = status.find("VmRSS:");
    return at == std::string::npos ? -1 : std::strtol(status.c_str() + at + 6, nullptr, 10);
}

bool maps(pid_t pid, const std::string& part) {
    return has(readFileBytes("/proc/" + std::to_string(pid) + "/maps").value_or(""), part);
}

TEST(AviologWindow, TheDateAndTimePageShowsTheSimulatorsClockAndTheEditsReachIt) {
    Cockpit cockpit;
    cockpit.withoutStartWarning();
    // 14 June 2024, 09:25 UTC; Portugal in summer, local time UTC+1.
    ChildProcess sim(AVIOLOG_SIM_PATH, {"--scenario", dataPath("scenarios/lppt-lppr.scn"),
                                        "--speed", "1", "--status", "0"});
    ASSERT_TRUE(sim.started());
    WindowDriver window(cockpit.dir.path());
    cockpit.startUp(window);
    ASSERT_TRUE(window.click("tab 2 "));
    const std::string before = window.line("datetime UTC date");
    EXPECT_TRUE(has(before, "shown=0") || has(before, "\"2024-06-14\"")) << before;
    ASSERT_TRUE(window.waitFor("datetime Local time \"10:2")) << window.report();
    EXPECT_EQ(quotedAfter(window.line("datetime UTC date"), "date \""), "2024-06-14");
    EXPECT_EQ(quotedAfter(window.line("datetime Local date"), "date \""), "2024-06-14");
    const std::string utcTime = quotedAfter(window.line("datetime UTC time"), "time \"");
    EXPECT_EQ(utcTime.substr(0, 3), "09:") << window.report();

    // The pilot moves the UTC hour on: local time follows.
    ASSERT_TRUE(window.click("datetime UTC time"));
    window.key("Up");
    EXPECT_TRUE(window.waitFor("datetime Local time \"11:2", 5000)) << window.report();
    EXPECT_TRUE(has(window.line("datetime UTC time"), "\"10:2")) << window.report();
    window.screenshot("tab-flight-plane-data-date-and-time");

    // The log start sets the simulator's clock from the page.
    Cockpit::fillForm(window);
    ASSERT_TRUE(window.click("tab 0 "));
    ASSERT_TRUE(window.click("button \"Start LOG\""));
    ASSERT_TRUE(window.waitFor("Start  [2024/06/14 10:2")) << window.report();
}

TEST(AviologWindow, TheWebEngineIsLoadedOnlyWhenAPageIsShown) {
    Cockpit cockpit;
    cockpit.withoutStartWarning();
    cockpit.dir.write("site.html", "<html><body><h1>Example Air crew centre</h1></body></html>");
    cockpit.addToProfile("CompanySite=file://" + (cockpit.dir.path() / "site.html").string() +
                         "\r\n");
    WindowDriver window(cockpit.dir.path());
    cockpit.startUp(window);
    const pid_t pid = window.process().pid();
    EXPECT_TRUE(window.waitFor("browser engine=0"));
    std::this_thread::sleep_for(std::chrono::seconds(3));  // idle
    const long idleKb = residentKb(pid);
    RecordProperty("idleResidentKb", static_cast<int>(idleKb));
    std::printf("idle resident memory: %ld kB\n", idleKb);
    EXPECT_FALSE(maps(pid, "webkit")) << "no web engine while idle";
    EXPECT_FALSE(maps(pid, "libaviolog_browser"));
    // A sanitizer's shadow memory and quarantine double the program's: the budget is the
    // release build's.
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
    EXPECT_LT(idleKb, 80 * 1024) << "idle resident memory";
#endif

    ASSERT_TRUE(window.click("tab 4 "));
    ASSERT_TRUE(window.click("button \"VA Site\""));
    EXPECT_TRUE(window.waitFor("browser engine=1 address=\"file://", 20000)) << window.report();
    EXPECT_TRUE(maps(pid, "libaviolog_browser"));
    std::this_thread::sleep_for(std::chrono::seconds(2));  // the page is drawn
    window.screenshot("tab-information-browser-va-site");
    std::printf("resident memory with the browser: %ld kB\n", residentKb(pid));
}

// A flight flown by the runner leaves its landing page beside the log; the window's
// "Landing" button shows it in the browser tab.
TEST(AviologWindow, TheLandingButtonShowsTheLandingPageInTheBrowserTab) {
    Cockpit cockpit;
    cockpit.withoutStartWarning();
    ChildProcess fly(AVIOLOG_FLY_PATH,
                     {"--scenario", dataPath("scenarios/touch-and-bounce.scn"), "--dir",
                      cockpit.dir.path().string(), "--callsign", "TAP1944", "--metar",
                      "LPPR=LPPR 202230Z 33012KT CAVOK", "--accept"});
    ASSERT_EQ(fly.wait(120000), 0) << fly.output();
    ASSERT_TRUE(cockpit.dir.exists("landing.htm")) << fly.output();
    WindowDriver window(cockpit.dir.path());
    cockpit.startUp(window);
    ASSERT_TRUE(window.click("tab 4 "));
    EXPECT_EQ(buttons(window), "-Start LOG, Acars RealTime, Local DB, VA Site, Landing");
    ASSERT_TRUE(window.click("button \"Landing\""));
    EXPECT_TRUE(window.waitFor("browser engine=1 address=\"file://", 20000)) << window.report();
    EXPECT_TRUE(has(window.line("browser engine=1"), "landing.htm")) << window.report();
    std::this_thread::sleep_for(std::chrono::seconds(2));  // the page is drawn
    window.screenshot("tab-information-browser-landing");
}

// ---- The options dialog ----

// Opens "Aviolog Options" from the Config menu.
void openOptions(WindowDriver& window) {
    const std::string tab = window.line("tab 0 ");
    int x = 0;
    int y = 0;
    ASSERT_TRUE(pointOf(tab, x, y)) << tab;
    window.moveTo(x, y + 100);
    ASSERT_TRUE(window.choose("alt+c", "&Config", "Return")) << window.report();
    ASSERT_TRUE(window.waitFor("open \"Aviolog Options\"")) << window.report();
}

std::string optionName(const config::OptionItem& item) {
    return std::string(item.section != nullptr ? item.section : "memory") + "/" + item.key;
}

// The item's line in the report: it names the item by its key.
std::string optionLine(WindowDriver& window, const config::OptionItem& item) {
    return window.line("name=\"" + optionName(item) + "\"");
}

std::string shownValue(const std::string& line) {
    return quotedAfter(line, "\" = \"");
}

// Scrolls the list until the item's row is inside it; its line then.
std::string scrollTo(WindowDriver& window, const config::OptionItem& item) {
    std::string line;
    for (int attempt = 0; attempt < 40; ++attempt) {
        const std::string report = window.report();
        line = optionLine(window, item);
        int top = 0;
        int bottom = 0;
        const std::string grid = window.line("propertygrid top=");
        std::sscanf(grid.c_str(), "propertygrid top=%d bottom=%d", &top, &bottom);
        int x = 0;
        int y = 0;
        if (!pointOf(line, x, y)) return "";
        if (y > top + 12 && y < bottom - 12) return line;
        window.moveTo(x, (top + bottom) / 2);
        WindowDriver::xdotool(std::string("click ") + (y >= bottom - 12 ? "5" : "4"));
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    return "";
}

// A value for the item that differs from the one shown, as the pilot would enter it.
std::string newValue(const config::OptionItem& item, const std::string& shown, int n) {
    // Another ICAO is saved as a profile of its own, which the next start would offer beside
    // this one; typed again, the company's own.
    if (std::string(item.key) == "CompanyICAO") return "TAP";
    // As the sound chooser fills it: the whole path.
    if (std::string(item.key) == "Wave") return "/usr/share/sounds/aviolog/warn.wav";
    switch (item.kind) {
        case config::OptionKind::Checkbox:
            return shown == "True" ? "0" : "1";
        case config::OptionKind::EditList:
            for (const char* choice : item.choices) {
                if (shown != choice && std::string(choice) != "AS2004") return choice;
            }
            return "";
        case config::OptionKind::SliderEdit:
            return std::to_string(std::min(item.maxValue, item.minValue + 10 + n % 50));
        case config::OptionKind::Button:
            if (item.chooser == config::OptionChooser::GaugeAddress)
                return "10.0.0." + std::to_string(n);
            return "/tmp/option" + std::to_string(n) + "/";
        case config::OptionKind::Edit:
            break;
    }
    return "E" + std::to_string(n);
}

// The connect procedure's question, which comes once "Disable Start Warning" is off:
// No, and the reduced mode's message OK.
void answerStartQuestion(WindowDriver& window, int waitMs) {
    if (!window.waitFor("box \"Plane at Departure Airport?\"", waitMs)) return;
    ASSERT_TRUE(window.click("button \"&No\""));
    if (window.waitFor("box \"Aviolog will revert", 3000)) window.click("button \"&OK\"");
}

TEST(AviologOptions, EveryItemReachesItsKeyAndSurvivesARestart) {
    Cockpit cockpit;
    cockpit.withoutStartWarning();
    struct Change {
        const config::OptionItem* item;
        std::string typed;
        std::string shown;  // what the dialog shows after a restart
    };
    std::vector<Change> changes;
    {
        WindowDriver window(cockpit.dir.path());
        cockpit.startUp(window);
        openOptions(window);
        int n = 0;
        for (const config::OptionCategory& category : config::optionCategories()) {
            for (const config::OptionItem& item : category.items) {
                const std::string name = optionName(item);
                const std::string line = scrollTo(window, item);
                int x = 0;
                int y = 0;
                ASSERT_TRUE(pointOf(line, x, y)) << name << ": not on screen\n" << window.report();
                const std::string before = shownValue(line);
                Change change{&item, newValue(item, before, n++), ""};
                config::Settings scratch;
                config::setOption(scratch, item, change.typed, cockpit.dir.path());
                change.shown = item.file == config::OptionFile::Memory ? before
                               : item.kind == config::OptionKind::Checkbox
                                   ? (change.typed == "1" ? "True" : "False")
                                   : item.get(scratch);
                WindowDriver::xdotool("mousemove " + std::to_string(x) + " " + std::to_string(y) +
                                      " click 1");
                std::this_thread::sleep_for(std::chrono::milliseconds(300));
                if (item.kind != config::OptionKind::Checkbox) {
                    window.key("ctrl+a");
                    window.type(change.typed);
                    window.key("Return");
                }
                const std::string wanted =
                    item.kind == config::OptionKind::Checkbox ? change.shown : item.get(scratch);
                window.waitFor("\" = \"" + wanted + "\" category=0 name=\"" + name + "\"", 2000);
                EXPECT_EQ(shownValue(optionLine(window, item)), wanted)
                    << name << " typed " << change.typed;
                changes.push_back(change);
                answerStartQuestion(window, std::string(item.key) == "StartWarning" ? 5000 : 1);
            }
        }
        window.screenshot("options-changed");
        ASSERT_TRUE(window.click("button \"Close\""));
        const std::string tab = window.line("tab 0 ");
        int x = 0;
        int y = 0;
        ASSERT_TRUE(pointOf(tab, x, y));
        window.moveTo(x, y + 100);
        ASSERT_TRUE(window.choose("alt+f", "&File", "x")) << window.report();
        ASSERT_TRUE(window.click("button \"&Yes\"")) << window.report();
        int status = 0;
        ASSERT_TRUE(waitForExit(window.process(), 10000, status)) << "Yes ends the program";
    }
    WindowDriver window(cockpit.dir.path());
    ASSERT_TRUE(window.started());
    ASSERT_TRUE(window.click("\"Choose Selected Company\"")) << window.report();
    ASSERT_TRUE(window.waitFor("window \"Aviolog\" shown=1")) << window.report();
    answerStartQuestion(window, 5000);
    openOptions(window);
    window.screenshot("options-after-restart");
    for (const Change& change : changes) {
        const std::string name = optionName(*change.item);
        EXPECT_EQ(shownValue(optionLine(window, *change.item)), change.shown)
            << name << " after a restart (typed " << change.typed << ")";
    }
}

// ---- Layout, status and messages ----

// "layout client=W H tabs=X Y W H column=L R bottom=B min=W H": the numbers, in order.
std::vector<int> layoutOf(WindowDriver& window) {
    const std::string l = window.line("layout client=");
    std::vector<int> n(11, -1);
    std::sscanf(l.c_str(), "layout client=%d %d tabs=%d %d %d %d column=%d %d bottom=%d min=%d %d",
                &n[0], &n[1], &n[2], &n[3], &n[4], &n[5], &n[6], &n[7], &n[8], &n[9], &n[10]);
    return n;
}

// The X geometry "W H X Y" of the first visible window whose name matches, by xdotool.
bool geometryOf(const std::string& namePattern, int& width, int& height, int& x, int& y) {
    const std::string command = "xdotool search --onlyvisible --name '" + namePattern +
                                "' getwindowgeometry --shell 2>/dev/null";
    std::FILE* out = ::popen(command.c_str(), "r");
    if (out == nullptr) return false;
    std::map<std::string, int> values;
    char buffer[128];
    while (std::fgets(buffer, sizeof buffer, out) != nullptr) {
        const std::string l(buffer);
        const std::size_t eq = l.find('=');
        if (eq != std::string::npos && !values.contains(l.substr(0, eq))) {
            values[l.substr(0, eq)] = std::atoi(l.c_str() + eq + 1);
        }
    }
    ::pclose(out);
    if (!values.contains("WIDTH")) return false;
    width = values["WIDTH"];
    height = values["HEIGHT"];
    x = values["X"];
    y = values["Y"];
    return true;
}

// Polls for the window until the deadline; false when it never appeared.
bool waitForWindow(const std::string& namePattern, int& width, int& height, int& x, int& y,
                   int timeoutMs = 10000) {
    for (int waited = 0; waited < timeoutMs; waited += 200) {
        if (geometryOf(namePattern, width, height, x, y)) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    return false;
}

// The simulator quits while no log runs: Start LOG says why it starts nothing, the status
// bar says Aviolog waits for a simulator, and the next one is met as the first was, with no
// offer to resume a flight that never was.
TEST(AviologWindow, ASimulatorThatQuitsWhileNoLogRunsLeavesNoFlightBehind) {
    Cockpit cockpit;
    cockpit.withoutStartWarning();
    auto sim = std::make_unique<ChildProcess>(
        AVIOLOG_SIM_PATH,
        std::vector<std::string>{"--scenario", dataPath("scenarios/short-hop.scn"), "--speed", "1",
                                 "--status", "0"});
    ASSERT_TRUE(sim->started());
    WindowDriver window(cockpit.dir.path());
    cockpit.startUp(window);
    ASSERT_TRUE(window.waitFor("status \"Connected to the simulator")) << window.report();
    window.screenshot("status-connected");
    Cockpit::fillForm(window);

    sim.reset();  // the simulator quits
    ASSERT_TRUE(window.click("tab 0 "));
    ASSERT_TRUE(window.click("button \"Start LOG\" shown=1 enabled=1")) << window.report();
    ASSERT_TRUE(window.waitFor("box \"The simulator did not answer")) << window.report();
    window.screenshot("start-log-not-started");
    ASSERT_TRUE(window.click("button \"&OK\""));
    // Pressed again, the link gives the simulator up.
    for (int press = 0; press < 3 && has(window.line("button \"Start LOG\""), "enabled=1");
         ++press) {
        ASSERT_TRUE(window.click("button \"Start LOG\""));
        if (window.waitFor("box \"", 5000)) {
            ASSERT_TRUE(window.click("button \"&OK\""));
        }
    }
    ASSERT_TRUE(window.waitFor("status \"Waiting for the simulator...\"")) << window.report();
    EXPECT_TRUE(has(window.line("button \"Start LOG\""), "enabled=0")) << window.report();
    window.screenshot("status-waiting-after-the-simulator-quit");

    sim = std::make_unique<ChildProcess>(
        AVIOLOG_SIM_PATH,
        std::vector<std::string>{"--scenario", dataPath("scenarios/short-hop.scn"), "--speed", "1",
                                 "--status", "0"});
    ASSERT_TRUE(window.waitFor("status \"Connected to the simulator", 20000)) << window.report();
    EXPECT_FALSE(has(window.report(), "FS crash")) << window.report();
    ASSERT_TRUE(window.click("button \"Start LOG\" shown=1 enabled=1")) << window.report();
    ASSERT_TRUE(window.waitFor("logline \"")) << window.report();
    EXPECT_FALSE(has(window.report(), "box \"")) << window.report();
}

// Messages the pilot can act on, at the moment something fails: a long message wraps, a
// company ICAO that would leave the folder is refused as it is typed, settings that cannot
// be saved at exit say so.
TEST(AviologWindow, MessagesSayWhatFailedAndWhatToDo) {
    Cockpit cockpit;
    cockpit.withoutStartWarning();
    WindowDriver window(cockpit.dir.path());
    cockpit.startUp(window);

    // The bug report without a support address: the box wraps its text, and the text the
    // pilot typed is kept.
    const std::string tab = window.line("tab 0 ");
    int x = 0, y = 0;
    ASSERT_TRUE(pointOf(tab, x, y));
    window.moveTo(x, y + 100);
    ASSERT_TRUE(window.choose("alt+h", "&Help", "b")) << window.report();
    ASSERT_TRUE(window.waitFor("open \"Aviolog Bug Report\"")) << window.report();
    ASSERT_TRUE(window.click("control text \"\""));
    window.type("Gear warning at take-off");
    ASSERT_TRUE(window.click("button \"&OK\""));
    ASSERT_TRUE(window.waitFor("box \"This copy of Aviolog has no address")) << window.report();
    const std::string box = window.line("open \"Aviolog\" size=");
    int width = 0, height = 0;
    ASSERT_EQ(std::sscanf(box.c_str(), "open \"Aviolog\" size=%d %d", &width, &height), 2) << box;
    EXPECT_LE(width, 640) << box;
    window.screenshot("message-bug-report-without-address");
    ASSERT_TRUE(window.click("button \"&OK\""));
    EXPECT_EQ(cockpit.dir.read("bugreport.txt"), "Gear warning at take-off");

    // A company ICAO that would name files outside the folder.
    openOptions(window);
    const config::OptionItem* icao = nullptr;
    for (const config::OptionCategory& category : config::optionCategories()) {
        for (const config::OptionItem& item : category.items) {
            if (std::string(item.key) == "CompanyICAO") icao = &item;
        }
    }
    ASSERT_NE(icao, nullptr);
    const std::string line = scrollTo(window, *icao);
    ASSERT_TRUE(pointOf(line, x, y)) << window.report();
    WindowDriver::xdotool("mousemove " + std::to_string(x) + " " + std::to_string(y) + " click 1");
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    window.key("ctrl+a");
    window.type("../zz");
    window.key("Return");
    ASSERT_TRUE(window.waitFor("box \"The company ICAO \"../zz\"")) << window.report();
    window.screenshot("message-company-icao-refused");
    ASSERT_TRUE(window.click("button \"&OK\""));
    EXPECT_EQ(shownValue(optionLine(window, *icao)), "TAP") << window.report();
    ASSERT_TRUE(window.click("button \"Close\""));

    // The settings cannot be written back at exit.
    std::filesystem::permissions(cockpit.dir / "aviolog.ini",
                                 std::filesystem::perms::owner_read |
                                     std::filesystem::perms::group_read |
                                     std::filesystem::perms::others_read);
    ASSERT_TRUE(pointOf(tab, x, y));
    window.moveTo(x, y + 100);
    ASSERT_TRUE(window.choose("alt+f", "&File", "x")) << window.report();
    ASSERT_TRUE(window.click("button \"&Yes\"")) << window.report();
    ASSERT_TRUE(window.waitFor("box \"Aviolog could not save its settings")) << window.report();
    window.screenshot("message-settings-not-saved");
    ASSERT_TRUE(window.click("button \"&OK\""));
    int status = 0;
    EXPECT_TRUE(waitForExit(window.process(), 10000, status)) << "the program ends after it";
}

// "New Company" opens the options before the company is chosen: the program page shows the
// settings file's values, and what the pilot changes there is what the program runs with.
TEST(AviologWindow, OptionsOfANewCompanyShowAndKeepTheProgramSettings) {
    Cockpit cockpit;
    cockpit.setting("StartWarning", "0");
    WindowDriver window(cockpit.dir.path());
    ASSERT_TRUE(window.started());
    ASSERT_TRUE(window.click("\"New Company\"")) << window.report();
    ASSERT_TRUE(window.waitFor("open \"Aviolog Options\"")) << window.report();
    const auto itemOf = [](const char* key) -> const config::OptionItem* {
        for (const config::OptionCategory& category : config::optionCategories()) {
            for (const config::OptionItem& item : category.items) {
                if (std::string(item.key) == key) return &item;
            }
        }
        return nullptr;
    };
    const config::OptionItem* metar = itemOf("Provider");
    const config::OptionItem* warning = itemOf("StartWarning");
    ASSERT_TRUE(metar != nullptr && warning != nullptr);
    EXPECT_EQ(shownValue(optionLine(window, *metar)), "VATSIM") << window.report();
    const std::string line = scrollTo(window, *warning);
    int x = 0, y = 0;
    ASSERT_TRUE(pointOf(line, x, y)) << window.report();
    EXPECT_EQ(shownValue(line), "False");
    WindowDriver::xdotool("mousemove " + std::to_string(x) + " " + std::to_string(y) + " click 1");
    ASSERT_TRUE(window.waitFor("\" = \"True\" category=0 name=\"Aviolog/StartWarning\"", 3000))
        << window.report();
    window.screenshot("options-of-a-new-company");
    ASSERT_TRUE(window.click("button \"Close\""));
    // No ICAO was typed: the options are the private flights'.
    if (window.waitFor("box \"There is no Company ICAO", 3000)) {
        ASSERT_TRUE(window.click("button \"&OK\""));
    }
    ASSERT_TRUE(window.click("\"Private Flight\"")) << window.report();
    ASSERT_TRUE(window.waitFor("window \"Aviolog\" shown=1")) << window.report();
    // Kept: the connect procedure does not ask whether the aircraft is at the departure.
    EXPECT_FALSE(window.waitFor("box \"Plane at Departure Airport?\"", 6000)) << window.report();
}

// aviolog.ini cannot be written (a folder of that name stands in for a read-only folder,
// which root could write): the pilot is told that, and the window says why it is empty.
TEST(AviologWindow, ASettingsFileThatCannotBeWrittenIsSaidToBeSo) {
    Cockpit cockpit;
    std::filesystem::create_directory(cockpit.dir / "aviolog.ini");
    WindowDriver window(cockpit.dir.path());
    ASSERT_TRUE(window.started());
    ASSERT_TRUE(window.waitFor("box \"No aviolog.ini File.")) << window.report();
    ASSERT_TRUE(window.click("button \"&OK\""));
    ASSERT_TRUE(window.waitFor("box \"Aviolog could not write aviolog.ini in " +
                               cockpit.dir.path().string()))
        << window.report();
    window.screenshot("message-settings-folder-not-writable");
    ASSERT_TRUE(window.click("button \"&OK\""));
    ASSERT_TRUE(
        window.waitFor("nosettings \"No settings: Aviolog cannot record flights until it "
                       "can write aviolog.ini in"))
        << window.report();
    EXPECT_FALSE(has(window.report(), "aviolog.ori is beside it"));
    window.screenshot("window-without-settings");
}

// ---- The tray ----

// Whether a shell command succeeds, its output unseen.
bool succeeds(const std::string& command) {
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

// A window manager that places windows itself and draws no frames, so that minimising
// works under the test's display. Ready once it has taken the screen: twm marks the root
// window with its colour priorities as it starts managing.
struct WindowManager {
    explicit WindowManager(const TempDir& dir) {
        dir.write("twmrc", "RandomPlacement\nUsePPosition \"on\"\nNoTitle\n");
        // The display outlives its clients: an earlier manager's mark must not count.
        succeeds("xprop -root -remove _MIT_PRIORITY_COLORS");
        process = std::make_unique<ChildProcess>(
            "/usr/bin/twm", std::vector<std::string>{"-f", (dir.path() / "twmrc").string()});
        ready = process->started() &&
                waitFor([] { return succeeds("xprop -root _MIT_PRIORITY_COLORS | grep -q ="); },
                        std::chrono::seconds(20), std::chrono::milliseconds(50));
    }
    std::unique_ptr<ChildProcess> process;
    bool ready = false;
};

// A notification area along the bottom left corner of the screen, ready once its panel
// is on the screen: trayer shows it once its tray has taken the selection.
struct NotificationArea {
    NotificationArea()
        : process(std::make_unique<ChildProcess>(
              "/usr/bin/trayer",
              std::vector<std::string>{"--edge", "bottom", "--align", "left", "--widthtype",
                                       "pixel", "--width", "120", "--height", "32", "--SetDockType",
                                       "false"})) {
        ready = process->started() &&
                waitFor([] { return succeeds("xwininfo -name panel | grep -q IsViewable"); },
                        std::chrono::seconds(20), std::chrono::milliseconds(50));
    }
    std::unique_ptr<ChildProcess> process;
    bool ready = false;
};

TEST(AviologTray, MinimisingGoesToTheTrayOnlyWhereThereIsOneAndTheSettingAsksForIt) {
    struct Row {
        const char* name;
        bool trayHost;
        const char* minimizeSystray;
        const char* minimised;  // the window line once minimised
    };
    const Row rows[] = {
        {"notification area, MinimizeSystray on", true, "1", "shown=0 iconized=1 tray=1"},
        {"notification area, MinimizeSystray off", true, "0", "shown=1 iconized=1 tray=0"},
        {"no notification area", false, "1", "shown=1 iconized=1 tray=0"},
    };
    for (const Row& row : rows) {
        Cockpit cockpit;
        cockpit.withoutStartWarning();
        cockpit.setting("MinimizeSystray", row.minimizeSystray);
        WindowManager wm(cockpit.dir);
        ASSERT_TRUE(wm.ready) << "twm (run scripts/setup.sh)\n" << wm.process->output();
        std::unique_ptr<NotificationArea> tray;
        if (row.trayHost) {
            tray = std::make_unique<NotificationArea>();
            ASSERT_TRUE(tray->ready) << "trayer (run scripts/setup.sh)\n"
                                     << tray->process->output();
        }
        WindowDriver window(cockpit.dir.path());
        cockpit.startUp(window);
        EXPECT_TRUE(has(window.line("window \"Aviolog\""), "tray=0")) << row.name;
        ASSERT_TRUE(WindowDriver::xdotool("search --onlyvisible --name '^Aviolog$' windowminimize"))
            << row.name;
        EXPECT_TRUE(window.waitFor(row.minimised, 5000)) << row.name << "\n" << window.report();
        if (!row.trayHost || std::string(row.minimizeSystray) != "1") continue;
        window.screenshot("tray-icon");
        // The icon is the first in the area: a double click brings the window back.
        WindowDriver::xdotool("mousemove 16 784 click --repeat 2 --delay 100 1");
        EXPECT_TRUE(window.waitFor("shown=1 iconized=0 tray=0", 5000)) << row.name << "\n"
                                                                       << window.report();
    }
}

TEST(AviologWindow, TheLayoutFollowsTheWindowsSizeAndChoosersFitTheScreen) {
    Cockpit cockpit;
    cockpit.withoutStartWarning();
    // Resizing is the window manager's: without one the toolkit keeps the size it chose.
    WindowManager wm(cockpit.dir);
    ASSERT_TRUE(wm.process->started()) << "twm: run scripts/setup.sh";
    WindowDriver window(cockpit.dir.path());
    cockpit.startUp(window);
    const std::vector<int> opened = layoutOf(window);
    ASSERT_GT(opened[0], 0) << window.report();
    window.screenshot("window-as-opened");

    struct Row {
        const char* name;
        int width;
        int height;
    };
    // The screen is 1280 x 800; the smallest is below what the window allows.
    for (const Row& row : {Row{"enlarged", 1200, 740}, Row{"shrunk", 320, 200}}) {
        ASSERT_TRUE(WindowDriver::xdotool("search --onlyvisible --name '^Aviolog$' windowsize " +
                                          std::to_string(row.width) + " " +
                                          std::to_string(row.height)))
            << row.name;
        // The size the window manager asked for may show for a moment before the window
        // holds to its least size: the layout is read once it is within that size.
        std::vector<int> n;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(8);
        do {
            n = layoutOf(window);
            const bool changed = n[0] != opened[0] || n[1] != opened[1];
            if (changed && n[0] >= n[9] && n[1] >= n[10]) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        } while (std::chrono::steady_clock::now() < deadline);
        const int clientW = n[0], clientH = n[1], tabsW = n[4], tabsH = n[5];
        const int columnLeft = n[6], columnRight = n[7], columnBottom = n[8];
        const int minW = n[9], minH = n[10];
        EXPECT_NE(clientW, opened[0]) << row.name << ": the window did not change\n"
                                      << window.report();
        // The tabs take what the window gives; the column stays beside them, inside it.
        EXPECT_LE(columnRight, clientW) << row.name;
        EXPECT_LE(columnBottom, clientH) << row.name;
        EXPECT_GT(columnLeft, tabsW) << row.name;
        EXPECT_LT(columnLeft - tabsW, 30) << row.name << ": a gap between the tabs and buttons";
        EXPECT_LT(clientW - columnRight, 30) << row.name << ": blank beside the buttons";
        EXPECT_GT(tabsH, clientH - 30) << row.name << ": blank below the tabs";
        EXPECT_GE(clientW, minW) << row.name;
        EXPECT_GE(clientH, minH) << row.name;
        if (row.width > opened[0]) {
            EXPECT_GT(tabsW, opened[4]) << row.name;
        }
        window.screenshot(std::string("window-") + row.name);
    }

    // A file chooser fits the screen, whatever the toolkit would have made of it.
    ASSERT_TRUE(window.click("tab 3 "));
    ASSERT_TRUE(window.click("button \"Aviolog\""));
    int width = 0, height = 0, x = 0, y = 0;
    ASSERT_TRUE(waitForWindow("^Open$", width, height, x, y)) << window.report();
    std::this_thread::sleep_for(std::chrono::milliseconds(500));  // the chooser settles
    ASSERT_TRUE(geometryOf("^Open$", width, height, x, y));
    window.screenshot("file-chooser");
    EXPECT_LE(height, 800) << "chooser " << width << "x" << height;
    EXPECT_GE(y, 0) << "chooser top";
    EXPECT_LE(y + height, 800) << "chooser bottom";
    EXPECT_LE(x + width, 1280) << "chooser right";
    window.key("Escape");
}

// "Maximise" in the tray's menu brings the window back as the double click does: mapped,
// raised, and the icon gone from the tray.
TEST(AviologTray, TheMenusMaximiseBringsTheWindowBack) {
    Cockpit cockpit;
    cockpit.withoutStartWarning();
    WindowManager wm(cockpit.dir);
    ASSERT_TRUE(wm.process->started()) << "twm: run scripts/setup.sh";
    ChildProcess tray("/usr/bin/trayer",
                      {"--edge", "bottom", "--align", "left", "--widthtype", "pixel", "--width",
                       "120", "--height", "32", "--SetDockType", "false"});
    ASSERT_TRUE(tray.started()) << "trayer: run scripts/setup.sh";
    int w = 0, h = 0, x = 0, y = 0;
    ASSERT_TRUE(waitForWindow("^panel$", w, h, x, y)) << "the notification area";
    WindowDriver window(cockpit.dir.path());
    cockpit.startUp(window);
    ASSERT_TRUE(WindowDriver::xdotool("search --onlyvisible --name '^Aviolog$' windowminimize"));
    ASSERT_TRUE(window.waitFor("shown=0 iconized=1 tray=1", 5000)) << window.report();
    // The menu of the first icon in the area; its first item is "Maximise".
    WindowDriver::xdotool("mousemove 16 784 click 3");
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    window.screenshot("tray-menu");
    window.key("Down Return");
    EXPECT_TRUE(window.waitFor("shown=1 iconized=0 tray=0", 5000)) << window.report();
    EXPECT_TRUE(waitForWindow("^Aviolog$", w, h, x, y)) << "the window is on the screen";
    window.screenshot("tray-maximised");
}

}  // namespace
}  // namespace aviolog::test

namespace aviolog::test {
namespace {

// The program killed in cruise and started again in the same folder: Yes to the unfinished
// flight brings the log view back with the old lines, the flight goes on to the gate, and
// Stop LOG there stores it.
TEST(AviologWindow, AFlightKilledInCruiseIsResumedAtTheNextStart) {
    Cockpit cockpit("");
    // The departure question comes as the form fills and would take the keys typed next.
    cockpit.withoutStartWarning();
    std::unique_ptr<ChildProcess> sim;
    {
        WindowDriver window(cockpit.dir.path());
        cockpit.startUp(window);
        // The flight is prepared before the simulator runs, as the typing must not race
        // the views the link brings. A click on the row already selected at start may only
        // take the focus: another row is chosen first.
        ASSERT_TRUE(window.click("tab 3 "));
        ASSERT_TRUE(window.click("form \"Arrival Airport\""));
        window.key("Escape");
        Cockpit::fillForm(window);
        sim = std::make_unique<ChildProcess>(
            AVIOLOG_SIM_PATH,
            std::vector<std::string>{"--scenario", dataPath("scenarios/short-hop.scn"), "--speed",
                                     "20", "--status", "0"});
        ASSERT_TRUE(sim->started());
        ASSERT_TRUE(window.waitFor("button \"Start LOG\" shown=1 enabled=1", 30000))
            << window.report();
        ASSERT_TRUE(window.click("tab 0 "));
        ASSERT_TRUE(window.click("button \"Start LOG\""));
        ASSERT_TRUE(window.waitFor("  TOC\"", 120000)) << window.report();
        window.process().signal(SIGKILL);
        int status = 0;
        ASSERT_TRUE(waitForExit(window.process(), 10000, status));
    }
    WindowDriver window(cockpit.dir.path());
    ASSERT_TRUE(window.started());
    ASSERT_TRUE(window.click("\"Choose Selected Company\"")) << window.report();
    ASSERT_TRUE(window.waitFor("box \"An unfinished flight was found. Resume it?\""))
        << window.report();
    window.screenshot("resume-question");
    ASSERT_TRUE(window.click("button \"&Yes\""));
    ASSERT_TRUE(window.waitFor("window \"Aviolog\" shown=1")) << window.report();
    ASSERT_TRUE(window.click("tab 0 "));
    for (const char* old : {"Take-off\"", "Gear Up:", "  TOC\""}) {
        EXPECT_TRUE(window.waitFor(old, 5000)) << old << "\n" << window.report();
    }
    ASSERT_TRUE(window.waitFor("Aviolog restarted, flight resumed\"", 30000)) << window.report();
    window.screenshot("resumed-log-view");
    ASSERT_TRUE(window.waitFor("Parking brakes on", 240000)) << window.report();
    ASSERT_TRUE(window.click("button \"Stop LOG\""));
    ASSERT_TRUE(window.waitFor("box \"Do you want to close the Log?\"")) << window.report();
    ASSERT_TRUE(window.click("button \"&Yes\""));
    ASSERT_TRUE(window.waitFor("open \"Flight Summary\"")) << window.report();
    ASSERT_TRUE(window.click("button \"&OK\""));
    EXPECT_TRUE(window.waitFor("status \"Flight stored in .\\TAP123.dat")) << window.report();
    EXPECT_FALSE(cockpit.dir.exists("flight-in-progress-TAP.txt"));
}

}  // namespace
}  // namespace aviolog::test
