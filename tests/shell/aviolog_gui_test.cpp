// The desktop program as a pilot meets it: the real aviolog under the test's X display
// against an aviolog-sim process, driven by clicks, with screenshots kept for a person.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
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

// "at X Y" of a report line; false when the line has none.
bool pointOf(const std::string& line, int& x, int& y) {
    const std::size_t at = line.rfind(" at ");
    return at != std::string::npos && std::sscanf(line.c_str() + at, " at %d %d", &x, &y) == 2;
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

// ---- The options dialog ----

// Opens "Aviolog Options" from the Config menu.
void openOptions(WindowDriver& window) {
    const std::string tab = window.line("tab 0 ");
    int x = 0;
    int y = 0;
    ASSERT_TRUE(pointOf(tab, x, y)) << tab;
    window.moveTo(x, y + 100);
    window.key("alt+c");
    window.key("Return");
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
        window.key("alt+f");
        window.key("x");
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

}  // namespace
}  // namespace aviolog::test
