// aviolog-fly: flies an aviolog-sim scenario through the flight recorder, in virtual time
// with the simulator in process, or live against a running aviolog-sim, and prints the
// flight log and the flight summary.

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "common/code_page.h"
#include "common/text_file.h"
#include "headless/flight_runner.h"
#include "platform/posix/stop_signals.h"
#include "reporting/seal.h"

namespace {

using namespace aviolog;

constexpr const char* kUsage =
    "usage: aviolog-fly --scenario FILE [options]\n"
    "       aviolog-fly --live --from ICAO --to ICAO [options]   (a real simulator)\n"
    "  --dir DIR               working directory with aviolog.ini or aviolog.ori (default .)\n"
    "  --live                  fly against a running aviolog-sim in real time\n"
    "  --speed X               live: the speed aviolog-sim runs at (default 1)\n"
    "  --ipc-prefix PREFIX     live: the simulator's socket prefix\n"
    "  --event 'at T CMD'      add a scenario event (also 'on STAGE CMD'); repeatable\n"
    "  --answer 'TEXT=REPLY'   answer the box whose text starts with TEXT: yes, no, ok or\n"
    "                          cancel; other boxes get their first button; repeatable\n"
    "  --from ICAO --to ICAO --alternate ICAO --level FL240 --route TEXT\n"
    "  --aircraft TYPE --registration REG --flight NUMBER --callsign CS\n"
    "  --pax N --cargo N --online No|VATSIM|IVAO|FPI --pilot NUMBER\n"
    "                          the flight data form (airports and level default to the\n"
    "                          scenario's, the route to DCT; the date and time page\n"
    "                          holds the simulator's clock once the link is up)\n"
    "  --set-clock HH:MM[/HH:MM] the form's UTC clock (the local one follows by the\n"
    "                          simulator's zone; a second time edits the local row after)\n"
    "  --set-date YYYY-MM-DD   the form's local date, set in the simulator at Start\n"
    "  --flap-names A,B,...    names of the flap detents from 0\n"
    "  --metar 'ICAO=TEXT'     the METAR the weather service returns; repeatable (offline)\n"
    "  --weather               METARs from the configured Provider instead (network)\n"
    "  --gauge-port N          the cockpit terminal's port (default 1147; UseGauge=1\n"
    "                          in aviolog.ini connects to aviolog-gauge)\n"
    "flight preparation, after the typed fields, in this order:\n"
    "  --pln FILE              \"FS Flight Plan\": the simulator's .pln (FS2004 INI or XML)\n"
    "  --fsa FILE              \"Aviolog\": an FSBuild .fsa, with its requested fuel\n"
    "  --servinfo              \"Servinfo\": the plan filed under the callsign, from the\n"
    "                          Servinfo setting's file (Servinfo's or a VATSIM .json feed)\n"
    "  --flight-from-va        \"Flight from VA\": the booked flight from FPSite\n"
    "  --fuel 'TANK=LOAD'      once the link is up, move a fuel slider (\"left main tank\",\n"
    "                          ...; in the weight unit); repeatable\n"
    "  --fuel-total LOAD       spread that load over the tanks by their size first\n"
    "  --export-sb3            \"Export SB3\" before Start (SquawkBox's folder from the\n"
    "                          Wine prefix's registry: $WINEPREFIX or ~/.wine)\n"
    "  --dump                  press \"Start LOG Dump\" when the log starts\n"
    "  --stop-at TIME|STAGE    press \"Stop LOG\" then (h:mm:ss since the start, or a\n"
    "                          simulator stage such as cruise); default: at the gate\n"
    "  --no-stop               never press \"Stop LOG\"\n"
    "  --limit MINUTES         give up after that much simulated time (default 300 in\n"
    "                          virtual time; live: none, Ctrl-C stops the log instead)\n"
    "after the flight, in this order:\n"
    "  --accept | --dismiss    press OK (store the flight) or Cancel in \"Flight Summary\"\n"
    "  --save-log FILE         File menu \"Save &Log\" to FILE (sealed)\n"
    "  --save-acars FILE       File menu \"Save &ACARS\" to FILE\n"
    "  --send-log              press \"Send LOG\": report the stored flights to the VA\n"
    "  --local-db              press \"Local DB\": write localdb.htm and print its path\n"
    "  --save-acars, --send-log and --local-db also run without --scenario, on what is\n"
    "                          stored in --dir\n"
    "the dialogs' answers:\n"
    "  --send-pilot NUMBER     typed into \"Send Log Parameters\" (default: the profile's)\n"
    "  --send-pilot-escape     close \"Send Log Parameters\" with Escape\n"
    "  --browser ok|cancel     how the VA's PIREP page is closed (default ok)\n"
    "  --log-dir DIR           the folder chosen when the log folder cannot be written\n"
    "                          (default: the chooser is cancelled)\n"
    "  --check-seal FILE       only check the seal of a pilot log file or saved log\n"
    "  --calls                 also print the recorder's outward calls and message boxes\n"
    "  --acars                 also print the ACARS view: each message's header, its lines\n"
    "  --raw                   print the log's own Windows-1252 bytes, not UTF-8\n"
    "Ctrl-C stops the log as \"Stop LOG\" does; --accept or --dismiss then follow.\n"
    "Exit status: 0 the log stopped with a flight summary and every step asked for after\n"
    "it succeeded (or, without a flight, the steps succeeded; --check-seal: the seal\n"
    "matches); 1 it did not (crash, reduced mode, time limit, interrupted before the log\n"
    "started; the flight not stored, a file not saved, a PIREP not delivered; a tampered\n"
    "file); 2 bad command line or input.\n";

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

int usageError(const std::string& message) {
    std::fprintf(stderr, "aviolog-fly: %s\n%s", message.c_str(), kUsage);
    return 2;
}

}  // namespace

// The boxes in order, a run of the same box as one line with its count: a connect
// procedure that asks every two seconds while the simulator is away asks the same thing.
std::vector<std::string> collapsed(const std::vector<std::string>& boxes) {
    std::vector<std::string> lines;
    for (std::size_t i = 0; i < boxes.size();) {
        std::size_t same = i + 1;
        while (same < boxes.size() && boxes[same] == boxes[i]) ++same;
        lines.push_back(same - i > 1 ? boxes[i] + " (" + std::to_string(same - i) + " times)"
                                     : boxes[i]);
        i = same;
    }
    return lines;
}

int main(int argc, char** argv) {
    // Before any thread exists (libcurl may start one), so that every thread holds them.
    platform::posix::StopSignals signals;
    headless::RunnerOptions o;
    using Answer = headless::RunnerOptions::SummaryAnswer;
    std::string sealToCheck;
    bool printCalls = false;
    bool printAcars = false;
    bool raw = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (arg == "--live") {
            o.live = true;
            continue;
        }
        if (arg == "--dump") {
            o.startDump = true;
            continue;
        }
        if (arg == "--no-stop") {
            o.pressStop = false;
            continue;
        }
        if (arg == "--calls") {
            printCalls = true;
            continue;
        }
        if (arg == "--acars") {
            printAcars = true;
            continue;
        }
        if (arg == "--raw") {
            raw = true;
            continue;
        }
        if (arg == "--accept" || arg == "--dismiss") {
            const Answer answer = arg == "--accept" ? Answer::Accept : Answer::Dismiss;
            if (o.summaryAnswer != Answer::Leave && o.summaryAnswer != answer)
                return usageError("--accept and --dismiss exclude each other");
            o.summaryAnswer = answer;
            continue;
        }
        if (arg == "--send-log") {
            o.sendLog = true;
            continue;
        }
        if (arg == "--local-db") {
            o.showLocalDb = true;
            continue;
        }
        if (arg == "--send-pilot-escape") {
            o.escapeSendLogParameters = true;
            continue;
        }
        if (arg == "--weather") {
            o.providerMetars = true;
            continue;
        }
        if (arg == "--servinfo") {
            o.servinfo = true;
            continue;
        }
        if (arg == "--flight-from-va") {
            o.flightFromVa = true;
            continue;
        }
        if (arg == "--export-sb3") {
            o.exportSb3 = true;
            continue;
        }
        if (i + 1 >= argc) return usageError(std::string(arg) + " needs a value, or is unknown");
        const std::string value = argv[++i];
        std::string key, text;
        model::FlightRecord& f = o.form;
        if (arg == "--scenario")
            o.scenarioPath = value;
        else if (arg == "--dir")
            o.workDir = value;
        else if (arg == "--speed") {
            o.speed = std::strtod(value.c_str(), nullptr);
            if (!(o.speed > 0.0 && o.speed <= 1000.0)) return usageError("--speed: 0 to 1000");
        } else if (arg == "--ipc-prefix")
            o.ipcPrefix = value;
        else if (arg == "--gauge-port") {
            const long port = std::strtol(value.c_str(), nullptr, 10);
            if (port < 1 || port > 65535) return usageError("--gauge-port: 1 to 65535");
            o.gaugePort = static_cast<int>(port);
        } else if (arg == "--event")
            o.extraEvents.push_back(value);
        else if (arg == "--answer") {
            if (!splitPair(value, key, text)) return usageError("--answer wants TEXT=REPLY");
            if (text != "yes" && text != "no" && text != "ok" && text != "cancel")
                return usageError("--answer: the reply is yes, no, ok or cancel");
            o.answers.emplace_back(key, text);
        } else if (arg == "--from")
            f.departureIcao = value;
        else if (arg == "--to")
            f.arrivalIcao = value;
        else if (arg == "--alternate")
            f.alternateIcao = value;
        else if (arg == "--level")
            f.flightLevel = value;
        else if (arg == "--route")
            f.route = value;
        else if (arg == "--aircraft")
            f.aircraftType = value;
        else if (arg == "--registration")
            f.registration = value;
        else if (arg == "--flight")
            f.flightNumber = value;
        else if (arg == "--callsign")
            f.callsign = value;
        else if (arg == "--pax")
            f.passengers = value;
        else if (arg == "--cargo")
            f.cargo = value;
        else if (arg == "--online") {
            if (value != "No" && value != "VATSIM" && value != "IVAO" && value != "FPI")
                return usageError("--online: No, VATSIM, IVAO or FPI");
            f.onlineNetwork = value;
        } else if (arg == "--pilot")
            f.pilotNumber = value;
        else if (arg == "--pln")
            o.plnFile = value;
        else if (arg == "--fsa")
            o.fsaFile = value;
        else if (arg == "--fuel") {
            char* end = nullptr;
            const long load =
                splitPair(value, key, text) ? std::strtol(text.c_str(), &end, 10) : -1;
            if (load < 0 || end == nullptr || *end != '\0' || text.empty())
                return usageError("--fuel wants 'TANK=LOAD', e.g. 'left main tank=4000'");
            o.fuelLoads.emplace_back(key, load);
        } else if (arg == "--fuel-total") {
            char* end = nullptr;
            const long load = std::strtol(value.c_str(), &end, 10);
            if (value.empty() || *end != '\0' || load < 0)
                return usageError("--fuel-total wants a load");
            o.fuelTotal = load;
        } else if (arg == "--set-clock") {
            const std::size_t slash = value.find('/');
            model::DateTimeBox& b = o.dateTimeBox;
            if (!parseClock(std::string_view(value).substr(0, slash), b.utcHour, b.utcMinute) ||
                (slash != std::string::npos &&
                 !parseClock(std::string_view(value).substr(slash + 1), b.localHour,
                             b.localMinute)))
                return usageError("--set-clock wants HH:MM or HH:MM/HH:MM (UTC/local)");
            if (slash == std::string::npos) b.localHour = -1;  // the local row follows the UTC one
            b.setClock = b.setDate = true;
        } else if (arg == "--set-date") {
            model::DateTimeBox& b = o.dateTimeBox;
            if (!parseDate(value, b.year, b.month, b.day))
                return usageError("--set-date wants a date that exists, YYYY-MM-DD: " + value);
            b.setDate = true;
        } else if (arg == "--flap-names") {
            std::size_t begin = 0;
            for (std::size_t comma; (comma = value.find(',', begin)) != std::string::npos;
                 begin = comma + 1) {
                o.flapNames.push_back(value.substr(begin, comma - begin));
            }
            o.flapNames.push_back(value.substr(begin));
        } else if (arg == "--metar") {
            if (!splitPair(value, key, text)) return usageError("--metar wants ICAO=TEXT");
            o.metars[key] = text;
        } else if (arg == "--stop-at") {
            if (const auto ms = parseDurationMs(value))
                o.stopAtMs = ms;
            else
                o.stopAtStage = value;
        } else if (arg == "--save-log")
            o.saveLogTo = value;
        else if (arg == "--save-acars")
            o.saveAcarsTo = value;
        else if (arg == "--send-pilot")
            o.sendPilotNumber = value;
        else if (arg == "--log-dir")
            o.logDirectory = value;
        else if (arg == "--check-seal")
            sealToCheck = value;
        else if (arg == "--browser") {
            if (value != "ok" && value != "cancel") return usageError("--browser: ok or cancel");
            o.browserOk = value == "ok";
        } else if (arg == "--limit") {
            const long minutes = std::strtol(value.c_str(), nullptr, 10);
            if (minutes <= 0 || minutes > 100000)
                return usageError("--limit wants a number of minutes");
            o.limitMs = static_cast<std::int64_t>(minutes) * 60000;
        } else {
            return usageError("unknown option " + std::string(arg));
        }
    }
    if (!sealToCheck.empty()) {
        if (!std::filesystem::exists(sealToCheck)) return usageError("no file " + sealToCheck);
        const bool tampered = reporting::checkSeal(sealToCheck, false);
        std::printf("%s: %s\n", sealToCheck.c_str(),
                    tampered ? reporting::kTamperedLogMessage : "sealed");
        return tampered ? 1 : 0;
    }
    const bool afterSteps = o.sendLog || o.showLocalDb || !o.saveAcarsTo.empty();
    // A live flight of a real simulator has no scenario to take the airports from.
    const bool typedFlight = o.live && !o.form.departureIcao.empty() && !o.form.arrivalIcao.empty();
    const bool flight = !o.scenarioPath.empty() || typedFlight;
    if (!flight && !afterSteps) {
        return usageError(o.live ? "--scenario, or --from and --to, is required"
                                 : "--scenario is required");
    }
    if (!flight && (o.summaryAnswer != Answer::Leave || !o.saveLogTo.empty()))
        return usageError("--accept, --dismiss and --save-log need a flight (--scenario)");
    if (o.live && !o.stopAtStage.empty()) return usageError("--stop-at STAGE needs virtual time");

    auto show = [raw](const std::string& text) {
        const std::string out = raw ? text : utf8FromWindows1252(text);
        std::fwrite(out.data(), 1, out.size(), stdout);
    };
    headless::LineSink live;
    std::string lastProgress;
    if (o.live) {
        live = [&](const std::string& line) {
            show(line + "\n");
            std::fflush(stdout);
        };
        o.onProgress = [&](const std::string& text) {
            if (text == lastProgress) return;
            lastProgress = text;
            show("aviolog-fly: " + text + "\n");
            std::fflush(stdout);
        };
    }
    o.stopRequested = [&signals] { return signals.received() > 0; };
    const headless::RunResult r =
        flight ? headless::runFlight(o, live) : headless::runWithoutFlight(o);
    if (r.end == headless::RunResult::End::BadInput) {
        std::fprintf(stderr, "aviolog-fly: %s\n", r.error.c_str());
        return 2;
    }
    if (o.live) show("\n");
    for (const std::string& line : r.log) show(line + "\n");
    if (r.summaryOffered) show("\n[Flight Summary]\n" + headless::summaryText(r.summary));
    if (!r.fuelRows.empty()) {
        show("\n[Fuel]\n");
        for (const std::string& row : r.fuelRows) show(row + "\n");
    }
    if (!r.localDbPage.empty()) show("\n[Local DB]\n" + r.localDbPage + "\n");
    const auto reportFailures = [&r] {
        for (const std::string& step : r.failedSteps) {
            std::fprintf(stderr, "aviolog-fly: %s\n", step.c_str());
        }
        return r.failedSteps.empty();
    };
    if (!flight) {
        // Without a flight the message boxes are the whole story.
        for (const std::string& b : collapsed(r.pilotBoxes)) show(b + "\n");
        return reportFailures() ? 0 : 1;
    }
    const bool pilotSteps = afterSteps || o.summaryAnswer != Answer::Leave || !o.saveLogTo.empty();
    if (pilotSteps && !printCalls) {
        // The boxes of the pilot's steps after the flight say how they went.
        show("\n[Message boxes]\n");
        for (const std::string& b : collapsed(r.pilotBoxes)) show(b + "\n");
    }
    if (printAcars) {
        show("\n[ACARS]\n");
        for (const std::string& row : r.acarsView) show(row + "\n");
    }
    if (printCalls) {
        show("\n[Calls]\n");
        for (const std::string& c : r.calls) show(c + "\n");
        show("\n[Message boxes]\n");
        for (const std::string& b : collapsed(r.pilotBoxes)) show(b + "\n");
        show("\n[Simulator messages]\n");
        for (const std::string& m : r.simMessages) show(m + "\n");
    }
    const char* ends[] = {"stopped",      "crashed",
                          "reduced mode", "time limit reached",
                          "bad input",    "interrupted before the log started"};
    std::fprintf(stderr, "aviolog-fly: %s after %.1f simulated minutes, %llu exchanges\n",
                 ends[static_cast<int>(r.end)], r.simulatedMs / 60000.0,
                 static_cast<unsigned long long>(r.exchanges));
    if (o.live) {
        std::fprintf(stderr, "aviolog-fly: timers fired at most %lld ms late\n",
                     static_cast<long long>(r.maxTimerLateMs));
    }
    const bool stepsDone = reportFailures();
    return r.end == headless::RunResult::End::Stopped && stepsDone ? 0 : 1;
}
