// aviolog-fly: flies an aviolog-sim scenario through the flight recorder, in virtual time
// with the simulator in process, or live against a running aviolog-sim, and prints the
// flight log and the flight summary.

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "common/code_page.h"
#include "common/text_file.h"
#include "headless/flight_runner.h"
#include "headless/runner_command_line.h"
#include "platform/posix/stop_signals.h"
#include "platform/posix/work_folder.h"
#include "reporting/seal.h"

namespace {

using namespace aviolog;
using Answer = headless::RunnerOptions::SummaryAnswer;

int usageError(const std::string& message) {
    std::fprintf(stderr, "aviolog-fly: %s\n%s", message.c_str(), headless::runnerUsage().c_str());
    return 2;
}

// --check-seal: the file's seal alone.
int checkSealOnly(const std::string& path) {
    if (!std::filesystem::exists(path)) return usageError("no file " + path);
    const bool tampered = reporting::checkSeal(path, false);
    std::printf("%s: %s\n", path.c_str(), tampered ? reporting::kTamperedLogMessage : "sealed");
    return tampered ? 1 : 0;
}

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

// Writes to standard output, as UTF-8 unless the log's own bytes were asked for.
class Output {
  public:
    explicit Output(bool raw) : raw_(raw) {}
    void show(const std::string& text) const {
        const std::string out = raw_ ? text : utf8FromWindows1252(text);
        std::fwrite(out.data(), 1, out.size(), stdout);
    }
    void lines(const std::vector<std::string>& lines) const {
        for (const std::string& line : lines) show(line + "\n");
    }
    void section(const char* heading, const std::vector<std::string>& lines) const {
        show("\n[" + std::string(heading) + "]\n");
        this->lines(lines);
    }

  private:
    bool raw_;
};

// Live: the log's lines and what the pilot waits for, as they come.
void followLive(headless::RunnerOptions& o, headless::LineSink& live, const Output& out,
                std::string& lastProgress) {
    live = [&out](const std::string& line) {
        out.show(line + "\n");
        std::fflush(stdout);
    };
    o.onProgress = [&out, &lastProgress](const std::string& text) {
        if (text == lastProgress) return;
        lastProgress = text;
        out.show("aviolog-fly: " + text + "\n");
        std::fflush(stdout);
    };
}

bool reportFailures(const headless::RunResult& r) {
    for (const std::string& step : r.failedSteps) {
        std::fprintf(stderr, "aviolog-fly: %s\n", step.c_str());
    }
    return r.failedSteps.empty();
}

// The flight's own record: the log, the summary, the fuel page and the local database.
void printFlight(const headless::RunResult& r, const Output& out) {
    out.lines(r.log);
    if (r.summaryOffered) out.show("\n[Flight Summary]\n" + headless::summaryText(r.summary));
    if (!r.fuelRows.empty()) out.section("Fuel", r.fuelRows);
    if (!r.localDbPage.empty()) out.show("\n[Local DB]\n" + r.localDbPage + "\n");
}

// What else was asked for: the boxes of the steps after the flight, the ACARS view, the
// recorder's calls.
void printAsked(const headless::RunnerCommandLine& line, const headless::RunResult& r,
                const Output& out) {
    const headless::RunnerOptions& o = line.run;
    const bool pilotSteps =
        headless::asksForStoredSteps(o) || o.summaryAnswer != Answer::Leave || !o.saveLogTo.empty();
    // The boxes of the pilot's steps after the flight say how they went.
    if (pilotSteps && !line.printCalls) out.section("Message boxes", collapsed(r.pilotBoxes));
    if (line.printAcars) out.section("ACARS", r.acarsView);
    if (line.printCalls) {
        out.section("Calls", r.calls);
        out.section("Message boxes", collapsed(r.pilotBoxes));
        out.section("Simulator messages", r.simMessages);
    }
}

void printEnd(const headless::RunnerOptions& o, const headless::RunResult& r) {
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
}

// Flies (or runs the steps on what is stored) and prints what came of it.
int run(headless::RunnerCommandLine& line, platform::posix::StopSignals& signals) {
    headless::RunnerOptions& o = line.run;
    const Output out(line.raw);
    headless::LineSink live;
    std::string lastProgress;
    if (o.live) followLive(o, live, out, lastProgress);
    o.stopRequested = [&signals] { return signals.received() > 0; };
    const headless::RunResult r =
        headless::asksForFlight(o) ? headless::runFlight(o, live) : headless::runWithoutFlight(o);
    if (r.end == headless::RunResult::End::BadInput) {
        std::fprintf(stderr, "aviolog-fly: %s\n", r.error.c_str());
        return 2;
    }
    if (o.live) out.show("\n");
    printFlight(r, out);
    if (!headless::asksForFlight(o)) {
        // Without a flight the message boxes are the whole story.
        out.lines(collapsed(r.pilotBoxes));
        return reportFailures(r) ? 0 : 1;
    }
    printAsked(line, r, out);
    printEnd(o, r);
    const bool stepsDone = reportFailures(r);
    return r.end == headless::RunResult::End::Stopped && stepsDone ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    // Before any thread exists (libcurl may start one), so that every thread holds them.
    platform::posix::StopSignals signals;
    headless::RunnerCommandLine line;
    line.run.workDir.clear();
    if (const std::string error = headless::parseRunnerCommandLine(argc, argv, line);
        !error.empty()) {
        return usageError(error);
    }
    // Without --dir: this folder, or the pilot's data folder when the runner is installed
    // and this folder holds no settings (the window does the same).
    if (line.run.workDir.empty()) {
        const platform::posix::WorkFolder folder =
            platform::posix::openWorkFolder(platform::posix::currentWorkFolderSetting("."));
        if (!folder.error.empty()) std::fprintf(stderr, "aviolog-fly: %s\n", folder.error.c_str());
        line.run.workDir = folder.dir.string();
    }
    if (line.help) {
        std::fputs(headless::runnerUsage().c_str(), stdout);
        return 0;
    }
    if (!line.sealToCheck.empty()) return checkSealOnly(line.sealToCheck);
    if (const std::string error = headless::checkRunnerCommandLine(line); !error.empty()) {
        return usageError(error);
    }
    return run(line, signals);
}
