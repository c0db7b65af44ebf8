// What the flight journal costs the recorder: the default flight (Lisbon to Porto, 45
// minutes gate to gate) flown in virtual time with the journal kept, against the same
// flight without it, in the same run.
//
// Two measures. The direct one: in each flight with the journal, the time the recorder's
// thread spent making the journal's text, plus the processor time of handing each state to
// the writer (measured apart, on the writer as the journal uses it, for each kind of hand
// over), against the rest of that thread's processor time in the same flight; no second
// flight, so none of the noise between two runs. The paired one, as a cross-check: the processor
// time of the recorder's thread per monitor tick with and without the journal, the two alternating
// (and which goes first alternating too), the median of the pairs' ratios. The file itself
// is written on the journal's own thread, which is reported apart (the whole process's
// time), as is the wait for a logged line to reach the disk. Every tick of virtual time is
// a second of a real flight, so the journal is written as often as in the air (at every
// log line, every ninth tick); virtual time leaves out the simulator's round trips, so
// the ratio is the higher one a tick can show.

#include <benchmark/benchmark.h>
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "common/snapshot_file.h"
#include "common/text_file.h"
#include "config/ini_file.h"
#include "headless/flight_runner.h"

namespace {

using namespace aviolog;

double cpuMs(clockid_t clock) {
    timespec ts{};
    clock_gettime(clock, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

void prepare(const std::filesystem::path& dir) {
    const std::string shipped =
        readFileBytes(std::string(AVIOLOG_DATA_DIR) + "/aviolog.ori").value_or("");
    writeFileAtomically(dir / "aviolog.ori", shipped);
    writeFileAtomically(dir / "aviolog.ini", shipped);
    writeFileAtomically(dir / "TAP.ini",
                        "[Aviolog]\r\nCompanyICAO=TAP\r\nPilotNumber=123\r\nUnitSystem=IS\r\n");
    config::IniFile(dir / "aviolog.ini").setString("Aviolog", "AutomatedStop", "1");
}

struct Flown {
    double cpuMs = 0.0;
    double processMs = 0.0;
    double ticks = 0.0;
    std::size_t lines = 0;
    double journalMs = 0.0;  // making the text
    double waitingMs = 0.0;  // for logged lines to reach the disk
    int lineWrites = 0;
    int tickWrites = 0;
    std::size_t journalBytes = 0;  // the journal as the flight left it
};

std::optional<Flown> flyOnce(bool journal) {
    bench::ScratchDir dir;
    prepare(dir.path());
    headless::RunnerOptions options;
    options.workDir = dir.path().string();
    options.scenarioPath = std::string(AVIOLOG_DATA_DIR) + "/scenarios/lppt-lppr.scn";
    options.form.aircraftType = "A320";
    options.form.flightNumber = "TP1944";
    options.keepJournal = journal;
    const double threadStartMs = cpuMs(CLOCK_THREAD_CPUTIME_ID);
    const double processStartMs = cpuMs(CLOCK_PROCESS_CPUTIME_ID);
    const headless::RunResult result = headless::runFlight(options);
    Flown flown{cpuMs(CLOCK_THREAD_CPUTIME_ID) - threadStartMs,
                cpuMs(CLOCK_PROCESS_CPUTIME_ID) - processStartMs,
                static_cast<double>(result.simulatedMs) / 1000.0,
                result.log.size(),
                static_cast<double>(result.journalMakingNs) / 1e6,
                static_cast<double>(result.journalWaitingNs) / 1e6,
                result.journalLineWrites,
                result.journalTickWrites,
                readFileBytes(dir / "flight-in-progress-TAP.txt").value_or("").size()};
    if (result.end != headless::RunResult::End::Stopped) return std::nullopt;
    return flown;
}

double median(std::vector<double> v) {
    if (v.empty()) return 0.0;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// The processor time of the recorder's thread for handing one state of the flight's size
// to an idle writer: left for the writer's next look (every ninth tick) and waiting until
// it is on disk (a logged line), the wait itself costing no processor time but the sleep
// and the wake.
struct Handover {
    double storeUs = 0.0;
    double storeAndWaitUs = 0.0;
};

Handover measureHandover(std::size_t bytes) {
    bench::ScratchDir dir;
    SnapshotFile file(dir / "state.txt");
    std::vector<double> store, wait;
    const std::string state(bytes, 'x');
    for (int i = 0; i < 101; ++i) {
        std::string copy = state;  // the journal hands over a text it made, not a copy
        double begin = cpuMs(CLOCK_THREAD_CPUTIME_ID);
        file.storeLater(std::move(copy));
        store.push_back((cpuMs(CLOCK_THREAD_CPUTIME_ID) - begin) * 1000.0);
        file.storeAndWait(state);  // the writer idle again, as nine ticks later
        copy = state;
        begin = cpuMs(CLOCK_THREAD_CPUTIME_ID);
        file.storeAndWait(std::move(copy));
        wait.push_back((cpuMs(CLOCK_THREAD_CPUTIME_ID) - begin) * 1000.0);
    }
    return {median(store), median(wait)};
}

std::vector<double> gOffUs;
std::vector<double> gOnUs;
std::vector<double> gRatios;
std::vector<double> gProcessRatios;
std::vector<double> gProcessOffUs;
std::vector<double> gProcessOnUs;
std::vector<double> gShares;
std::vector<double> gJournalUs;
std::vector<double> gWaitingUs;
std::vector<double> gHandoverUs;
std::size_t gLines = 0;
double gTicks = 0.0;
int gLineWrites = 0;
int gTickWrites = 0;

void BM_FlightPairs(benchmark::State& state) {
    bool journalFirst = false;
    for (auto _ : state) {
        // Which flight goes first alternates, so a machine that speeds up or slows down
        // over the run favours neither.
        std::optional<Flown> off, on;
        if (journalFirst) on = flyOnce(true);
        off = flyOnce(false);
        if (!journalFirst) on = flyOnce(true);
        journalFirst = !journalFirst;
        if (!off || !on) {
            state.SkipWithError("a flight did not stop");
            return;
        }
        gLines = on->lines;
        gTicks = on->ticks;
        gLineWrites = on->lineWrites;
        gTickWrites = on->tickWrites;
        // A state as large as the flight's average one.
        const Handover handover = measureHandover(on->journalBytes / 2);
        const double handoverUs =
            (handover.storeUs * on->tickWrites + handover.storeAndWaitUs * on->lineWrites) /
            on->ticks;
        gOffUs.push_back(off->cpuMs * 1000.0 / off->ticks);
        gOnUs.push_back(on->cpuMs * 1000.0 / on->ticks);
        gRatios.push_back(on->cpuMs / off->cpuMs);
        gProcessOffUs.push_back(off->processMs * 1000.0 / off->ticks);
        gProcessOnUs.push_back(on->processMs * 1000.0 / on->ticks);
        gProcessRatios.push_back(on->processMs / off->processMs);
        const double journalUs = on->journalMs * 1000.0 / on->ticks + handoverUs;
        const double tickUs = on->cpuMs * 1000.0 / on->ticks;
        gShares.push_back(journalUs / (tickUs - journalUs));
        gJournalUs.push_back(on->journalMs * 1000.0 / on->ticks);
        gHandoverUs.push_back(handoverUs);
        gWaitingUs.push_back(on->waitingMs * 1000.0 / on->ticks);
    }
}

BENCHMARK(BM_FlightPairs)->Iterations(15)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    if (!gRatios.empty()) {
        std::printf(
            "\nthe journal on the recorder thread (medians of %zu flights, %.0f ticks, %zu log "
            "lines, %d states handed over at a line and %d at the ninth tick a flight): "
            "making the text %.3f us a tick, handing it over %.3f us a tick; %.4f of the rest "
            "of the thread's time (goal < 0.02); waiting for logged lines to reach the disk "
            "%.2f us a tick\n"
            "recorder thread CPU per monitor tick, pairs: without the journal %.2f us, with "
            "it %.2f us; median ratio %.4f\n"
            "whole process, the journal's writing thread included: %.2f us, %.2f us; median "
            "ratio %.4f\n",
            gShares.size(), gTicks, gLines, gLineWrites, gTickWrites, median(gJournalUs),
            median(gHandoverUs), median(gShares), median(gWaitingUs), median(gOffUs), median(gOnUs),
            median(gRatios), median(gProcessOffUs), median(gProcessOnUs), median(gProcessRatios));
    }
    benchmark::Shutdown();
    return 0;
}
