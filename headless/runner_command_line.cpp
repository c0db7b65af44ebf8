#include "headless/runner_command_line.h"

#include <cstdio>
#include <cstdlib>

#include "common/usage_text.h"

namespace aviolog::headless {

namespace {

using Answer = RunnerOptions::SummaryAnswer;

std::optional<std::int64_t> parseDurationMs(std::string_view text) {
    long parts[3] = {0, 0, 0};
    int count = 0;
    std::size_t begin = 0;
    while (count < 3) {
        const std::size_t colon = text.find(':', begin);
        const std::string part(text.substr(begin, colon - begin));
        char* end = nullptr;
        const long v = std::strtol(part.c_str(), &end, 10);
        if (part.empty() || *end != '\0' || v < 0) return std::nullopt;
        parts[count++] = v;
        if (colon == std::string_view::npos) break;
        begin = colon + 1;
    }
    if (count == 3 && text.find(':', begin) != std::string_view::npos) return std::nullopt;
    long seconds = 0;
    for (int i = 0; i < count; ++i) seconds = seconds * 60 + parts[i];
    return static_cast<std::int64_t>(seconds) * 1000;
}

bool parseClock(std::string_view text, int& hour, int& minute) {
    return text.size() == 5 && text[2] == ':' &&
           std::sscanf(std::string(text).c_str(), "%2d:%2d", &hour, &minute) == 2 && hour >= 0 &&
           hour < 24 && minute >= 0 && minute < 60;
}

// A calendar date: the month's own number of days, leap years counted.
bool parseDate(const std::string& text, int& year, int& month, int& day) {
    if (text.size() != 10 || text[4] != '-' || text[7] != '-') return false;
    for (const std::size_t i : {0, 1, 2, 3, 5, 6, 8, 9}) {
        if (text[i] < '0' || text[i] > '9') return false;
    }
    year = std::stoi(text.substr(0, 4));
    month = std::stoi(text.substr(5, 2));
    day = std::stoi(text.substr(8, 2));
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return year >= 1 && month >= 1 && month <= 12 && day >= 1 &&
           day <= kDays[month - 1] + (month == 2 && leap ? 1 : 0);
}

bool splitPair(std::string_view text, std::string& key, std::string& value) {
    const std::size_t eq = text.find('=');
    if (eq == std::string_view::npos || eq == 0) return false;
    key = text.substr(0, eq);
    value = text.substr(eq + 1);
    return true;
}

// ---- The options' values ----

std::string takeSpeed(RunnerCommandLine& c, const std::string& value) {
    c.run.speed = std::strtod(value.c_str(), nullptr);
    return c.run.speed > 0.0 && c.run.speed <= 1000.0 ? "" : "--speed: 0 to 1000";
}

std::string takeGaugePort(RunnerCommandLine& c, const std::string& value) {
    const long port = std::strtol(value.c_str(), nullptr, 10);
    if (port < 1 || port > 65535) return "--gauge-port: 1 to 65535";
    c.run.gaugePort = static_cast<int>(port);
    return "";
}

std::string takeBid(RunnerCommandLine& c, const std::string& value) {
    const long n = std::strtol(value.c_str(), nullptr, 10);
    if (n < 1 || n > 1000) return "--bid: 1 to 1000";
    c.run.bid = static_cast<int>(n);
    return "";
}

std::string takeAnswer(RunnerCommandLine& c, const std::string& value) {
    std::string text, reply;
    if (!splitPair(value, text, reply)) return "--answer wants TEXT=REPLY";
    if (reply != "yes" && reply != "no" && reply != "ok" && reply != "cancel")
        return "--answer: the reply is yes, no, ok or cancel";
    c.run.answers.emplace_back(text, reply);
    return "";
}

std::string takeOnline(RunnerCommandLine& c, const std::string& value) {
    if (value != "No" && value != "VATSIM" && value != "IVAO" && value != "FPI")
        return "--online: No, VATSIM, IVAO or FPI";
    c.run.form.onlineNetwork = value;
    return "";
}

std::string takeFuel(RunnerCommandLine& c, const std::string& value) {
    std::string tank, text;
    char* end = nullptr;
    const long load = splitPair(value, tank, text) ? std::strtol(text.c_str(), &end, 10) : -1;
    if (load < 0 || end == nullptr || *end != '\0' || text.empty())
        return "--fuel wants 'TANK=LOAD', e.g. 'left main tank=4000'";
    c.run.fuelLoads.emplace_back(tank, load);
    return "";
}

std::string takeFuelTotal(RunnerCommandLine& c, const std::string& value) {
    char* end = nullptr;
    const long load = std::strtol(value.c_str(), &end, 10);
    if (value.empty() || *end != '\0' || load < 0) return "--fuel-total wants a load";
    c.run.fuelTotal = load;
    return "";
}

std::string takeClock(RunnerCommandLine& c, const std::string& value) {
    const std::size_t slash = value.find('/');
    model::DateTimeBox& b = c.run.dateTimeBox;
    if (!parseClock(std::string_view(value).substr(0, slash), b.utcHour, b.utcMinute) ||
        (slash != std::string::npos &&
         !parseClock(std::string_view(value).substr(slash + 1), b.localHour, b.localMinute)))
        return "--set-clock wants HH:MM or HH:MM/HH:MM (UTC/local)";
    if (slash == std::string::npos) b.localHour = -1;  // the local row follows the UTC one
    b.setClock = b.setDate = true;
    return "";
}

std::string takeDate(RunnerCommandLine& c, const std::string& value) {
    model::DateTimeBox& b = c.run.dateTimeBox;
    if (!parseDate(value, b.year, b.month, b.day))
        return "--set-date wants a date that exists, YYYY-MM-DD: " + value;
    b.setDate = true;
    return "";
}

std::string takeFlapNames(RunnerCommandLine& c, const std::string& value) {
    std::size_t begin = 0;
    for (std::size_t comma; (comma = value.find(',', begin)) != std::string::npos;
         begin = comma + 1) {
        c.run.flapNames.push_back(value.substr(begin, comma - begin));
    }
    c.run.flapNames.push_back(value.substr(begin));
    return "";
}

std::string takeMetar(RunnerCommandLine& c, const std::string& value) {
    std::string icao, text;
    if (!splitPair(value, icao, text)) return "--metar wants ICAO=TEXT";
    c.run.metars[icao] = text;
    return "";
}

std::string takeStopAt(RunnerCommandLine& c, const std::string& value) {
    if (const auto ms = parseDurationMs(value))
        c.run.stopAtMs = ms;
    else
        c.run.stopAtStage = value;
    return "";
}

std::string takeSummaryAnswer(RunnerCommandLine& c, Answer answer) {
    if (c.run.summaryAnswer != Answer::Leave && c.run.summaryAnswer != answer)
        return "--accept and --dismiss exclude each other";
    c.run.summaryAnswer = answer;
    return "";
}

std::string takeBrowser(RunnerCommandLine& c, const std::string& value) {
    if (value != "ok" && value != "cancel") return "--browser: ok or cancel";
    c.run.browserOk = value == "ok";
    return "";
}

std::string takeLimit(RunnerCommandLine& c, const std::string& value) {
    const long minutes = std::strtol(value.c_str(), nullptr, 10);
    if (minutes <= 0 || minutes > 100000) return "--limit wants a number of minutes";
    c.run.limitMs = static_cast<std::int64_t>(minutes) * 60000;
    return "";
}

// What an option sets: a field of the command line, of the run or of the form.
template <typename T>
T& field(RunnerCommandLine& c, T RunnerCommandLine::*f) {
    return c.*f;
}
template <typename T>
T& field(RunnerCommandLine& c, T RunnerOptions::*f) {
    return c.run.*f;
}
template <typename T>
T& field(RunnerCommandLine& c, T model::FlightRecord::*f) {
    return c.run.form.*f;
}

// A text taken as it is.
template <auto Field>
std::string text(RunnerCommandLine& c, const std::string& value) {
    field(c, Field) = value;
    return "";
}

// A switch.
template <auto Field, bool To = true>
std::string flag(RunnerCommandLine& c, const std::string&) {
    field(c, Field) = To;
    return "";
}

constexpr std::string_view kForm =
    "the flight data form (the airports and the level default to the scenario's, the route to "
    "DCT; the date and time page holds the simulator's clock once the link is up):";
constexpr std::string_view kPreparation =
    "flight preparation, after the typed fields, in this order:";
constexpr std::string_view kAfter =
    "after the flight, in this order (--save-acars, --send-log and --local-db also run "
    "without --scenario, on what is stored in --dir):";
constexpr std::string_view kDialogs = "the dialogs' answers:";
constexpr std::string_view kOutput = "checks and output:";

constexpr RunnerOption kOptions[] = {
    {"", "--help", "", "print this text and exit", flag<&RunnerCommandLine::help>},
    {"", "--scenario", "FILE", "the aviolog-sim scenario to fly",
     text<&RunnerOptions::scenarioPath>},
    {"", "--dir", "DIR",
     "working directory with aviolog.ini or aviolog.ori (default .; installed, a folder "
     "without them means ~/.local/share/aviolog)",
     text<&RunnerOptions::workDir>},
    {"", "--live", "", "fly against a running aviolog-sim in real time",
     flag<&RunnerOptions::live>},
    {"", "--speed", "X", "live: the speed aviolog-sim runs at (default 1)", takeSpeed},
    {"", "--ipc-prefix", "PREFIX", "live: the simulator's socket prefix",
     text<&RunnerOptions::ipcPrefix>},
    {"", "--event", "'at T CMD'", "add a scenario event (also 'on STAGE CMD'); repeatable",
     [](RunnerCommandLine& c, const std::string& v) {
         c.run.extraEvents.push_back(v);
         return std::string();
     }},
    {"", "--answer", "'TEXT=REPLY'",
     "answer the box whose text starts with TEXT: yes, no, ok or cancel; other boxes get "
     "their first button; repeatable",
     takeAnswer},
    {"", "--flap-names", "A,B,...", "names of the flap detents from 0", takeFlapNames},
    {"", "--metar", "'ICAO=TEXT'", "the METAR the weather service returns; repeatable (offline)",
     takeMetar},
    {"", "--weather", "", "METARs from the configured Provider instead (network)",
     flag<&RunnerOptions::providerMetars>},
    {"", "--gauge-port", "N",
     "the cockpit terminal's port (default 1147; UseGauge=1 in aviolog.ini connects to "
     "aviolog-gauge)",
     takeGaugePort},
    {kForm, "--from", "ICAO", "the departure airport", text<&model::FlightRecord::departureIcao>},
    {kForm, "--to", "ICAO", "the arrival airport", text<&model::FlightRecord::arrivalIcao>},
    {kForm, "--alternate", "ICAO", "the alternate airport",
     text<&model::FlightRecord::alternateIcao>},
    {kForm, "--level", "FL240", "the cruise level", text<&model::FlightRecord::flightLevel>},
    {kForm, "--route", "TEXT", "the route", text<&model::FlightRecord::route>},
    {kForm, "--aircraft", "TYPE", "the aircraft type", text<&model::FlightRecord::aircraftType>},
    {kForm, "--registration", "REG", "the aircraft's registration",
     text<&model::FlightRecord::registration>},
    {kForm, "--flight", "NUMBER", "the flight number", text<&model::FlightRecord::flightNumber>},
    {kForm, "--callsign", "CS", "the callsign", text<&model::FlightRecord::callsign>},
    {kForm, "--pax", "N", "the passengers", text<&model::FlightRecord::passengers>},
    {kForm, "--cargo", "N", "the cargo", text<&model::FlightRecord::cargo>},
    {kForm, "--online", "No|VATSIM|IVAO|FPI", "the network flown on", takeOnline},
    {kForm, "--pilot", "NUMBER", "the pilot number", text<&model::FlightRecord::pilotNumber>},
    {kForm, "--set-clock", "HH:MM[/HH:MM]",
     "the form's UTC clock (the local one follows by the simulator's zone; a second time "
     "edits the local row after)",
     takeClock},
    {kForm, "--set-date", "YYYY-MM-DD", "the form's local date, set in the simulator at Start",
     takeDate},
    {kPreparation, "--pln", "FILE", "\"FS Flight Plan\": the simulator's .pln (FS2004 INI or XML)",
     text<&RunnerOptions::plnFile>},
    {kPreparation, "--fsa", "FILE", "\"Aviolog\": an FSBuild .fsa, with its requested fuel",
     text<&RunnerOptions::fsaFile>},
    {kPreparation, "--servinfo", "",
     "\"Servinfo\": the plan filed under the callsign, from the Servinfo setting's file "
     "(Servinfo's or a VATSIM .json feed)",
     flag<&RunnerOptions::servinfo>},
    {kPreparation, "--flight-from-va", "", "\"Flight from VA\": the booked flight from FPSite",
     flag<&RunnerOptions::flightFromVa>},
    {kPreparation, "--bid", "N",
     "with a phpVMS site: the Nth of the pilot's bids for \"Flight from VA\" (default 1)", takeBid},
    {kPreparation, "--simbrief", "USER",
     "\"SimBrief\": USER's latest SimBrief plan into the form and, once the link is up, its "
     "ramp fuel over the tanks ([Aviolog] SimbriefSite in aviolog.ini: another fetcher)",
     text<&RunnerOptions::simbriefUser>},
    {kPreparation, "--fuel", "'TANK=LOAD'",
     "once the link is up, move a fuel slider (\"left main tank\", ...; in the weight unit); "
     "repeatable",
     takeFuel},
    {kPreparation, "--fuel-total", "LOAD", "spread that load over the tanks by their size first",
     takeFuelTotal},
    {kPreparation, "--export-sb3", "",
     "\"Export SB3\" before Start (SquawkBox's folder from the Wine prefix's registry: "
     "$WINEPREFIX or ~/.wine)",
     flag<&RunnerOptions::exportSb3>},
    {kPreparation, "--dump", "", "press \"Start LOG Dump\" when the log starts",
     flag<&RunnerOptions::startDump>},
    {kPreparation, "--stop-at", "TIME|STAGE",
     "press \"Stop LOG\" then (h:mm:ss since the start, or a simulator stage such as cruise); "
     "default: at the gate",
     takeStopAt},
    {kPreparation, "--no-stop", "", "never press \"Stop LOG\"",
     flag<&RunnerOptions::pressStop, false>},
    {kPreparation, "--limit", "MINUTES",
     "give up after that much simulated time (default 300 in virtual time; live: none, Ctrl-C "
     "stops the log instead)",
     takeLimit},
    {kAfter, "--accept", "",
     "press OK in \"Flight Summary\": store the flight (not with --dismiss)",
     [](RunnerCommandLine& c, const std::string&) { return takeSummaryAnswer(c, Answer::Accept); }},
    {kAfter, "--dismiss", "", "press Cancel in \"Flight Summary\" (not with --accept)",
     [](RunnerCommandLine& c, const std::string&) {
         return takeSummaryAnswer(c, Answer::Dismiss);
     }},
    {kAfter, "--save-log", "FILE", "File menu \"Save &Log\" to FILE (sealed)",
     text<&RunnerOptions::saveLogTo>},
    {kAfter, "--save-acars", "FILE", "File menu \"Save &ACARS\" to FILE",
     text<&RunnerOptions::saveAcarsTo>},
    {kAfter, "--send-log", "", "press \"Send LOG\": report the stored flights to the VA",
     flag<&RunnerOptions::sendLog>},
    {kAfter, "--local-db", "", "press \"Local DB\": write localdb.htm and print its path",
     flag<&RunnerOptions::showLocalDb>},
    {kDialogs, "--send-pilot", "NUMBER",
     "typed into \"Send Log Parameters\" (default: the profile's)",
     text<&RunnerOptions::sendPilotNumber>},
    {kDialogs, "--send-pilot-escape", "", "close \"Send Log Parameters\" with Escape",
     flag<&RunnerOptions::escapeSendLogParameters>},
    {kDialogs, "--browser", "ok|cancel", "how the VA's PIREP page is closed (default ok)",
     takeBrowser},
    {kDialogs, "--log-dir", "DIR",
     "the folder chosen when the log folder cannot be written (default: the chooser is "
     "cancelled)",
     text<&RunnerOptions::logDirectory>},
    {kOutput, "--check-seal", "FILE", "only check the seal of a pilot log file or saved log",
     text<&RunnerCommandLine::sealToCheck>},
    {kOutput, "--calls", "", "also print the recorder's outward calls and message boxes",
     flag<&RunnerCommandLine::printCalls>},
    {kOutput, "--acars", "", "also print the ACARS view: each message's header, its lines",
     flag<&RunnerCommandLine::printAcars>},
    {kOutput, "--raw", "", "print the log's own Windows-1252 bytes, not UTF-8",
     flag<&RunnerCommandLine::raw>},
};

constexpr std::string_view kSynopsis =
    "usage: aviolog-fly --scenario FILE [options]\n"
    "       aviolog-fly --live --from ICAO --to ICAO [options]   (a real simulator)\n";

constexpr std::string_view kEnd =
    "Ctrl-C stops the log as \"Stop LOG\" does; --accept or --dismiss then follow.\n"
    "Exit status: 0 the log stopped with a flight summary and every step asked for after it "
    "succeeded (or, without a flight, the steps succeeded; --check-seal: the seal matches); 1 "
    "it did not (crash, reduced mode, time limit, interrupted before the log started; the "
    "flight not stored, a file not saved, a PIREP not delivered; a tampered file); 2 bad "
    "command line or input.";

const RunnerOption* findOption(std::string_view name) {
    if (name == "-h") name = "--help";
    for (const RunnerOption& option : kOptions) {
        if (option.name == name) return &option;
    }
    return nullptr;
}

}  // namespace

std::span<const RunnerOption> runnerOptions() {
    return kOptions;
}

std::string runnerUsage() {
    std::string usage(kSynopsis);
    std::string_view section;
    for (const RunnerOption& option : kOptions) {
        if (option.section != section) {
            section = option.section;
            appendWrapped(usage, section);
        }
        appendOptionEntry(usage, option.name, option.argument, option.help);
    }
    appendWrapped(usage, kEnd);
    return usage;
}

std::string parseRunnerCommandLine(int argc, const char* const* argv, RunnerCommandLine& out) {
    for (int i = 1; i < argc && !out.help; ++i) {
        const std::string_view arg = argv[i];
        const RunnerOption* option = findOption(arg);
        if (option == nullptr) return "unknown option " + std::string(arg);
        if (!option->argument.empty() && i + 1 >= argc) return std::string(arg) + " needs a value";
        const std::string value = option->argument.empty() ? std::string() : argv[++i];
        if (std::string error = option->take(out, value); !error.empty()) return error;
    }
    return "";
}

bool asksForFlight(const RunnerOptions& o) {
    // A live flight of a real simulator has no scenario to take the airports from.
    const bool typedFlight = o.live && !o.form.departureIcao.empty() && !o.form.arrivalIcao.empty();
    return !o.scenarioPath.empty() || typedFlight;
}

bool asksForStoredSteps(const RunnerOptions& o) {
    return o.sendLog || o.showLocalDb || !o.saveAcarsTo.empty();
}

std::string checkRunnerCommandLine(const RunnerCommandLine& line) {
    const RunnerOptions& o = line.run;
    const bool flight = asksForFlight(o);
    if (!flight && !asksForStoredSteps(o)) {
        return o.live ? "--scenario, or --from and --to, is required" : "--scenario is required";
    }
    if (!flight && (o.summaryAnswer != Answer::Leave || !o.saveLogTo.empty()))
        return "--accept, --dismiss and --save-log need a flight (--scenario)";
    if (o.live && !o.stopAtStage.empty()) return "--stop-at STAGE needs virtual time";
    return "";
}

}  // namespace aviolog::headless
