// What the flight journal costs the recorder: the default flight (Lisbon to Porto, 45
// minutes gate to gate) flown in virtual time with the journal kept, against the same
// flight without it, in the same run, the two alternating. Measured is the processor time
// of the recorder's thread divided by the monitor ticks of the flight, as the ACARS traffic
// is measured: the file itself is written on the journal's own thread, which is reported
// apart (the whole process's time). Every tick of virtual time is a second of a real
// flight, so the journal is written as often as in the air (at every log line, every tenth
// tick); virtual time leaves out the simulator's round trips, so the ratio is the higher
// one a tick can show.

#include <benchmark/benchmark.h>
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "bench/bench_support.h"
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
                static_cast<double>(result.simulatedMs) / 1000.0, result.log.size()};
    if (result.end != headless::RunResult::End::Stopped) return std::nullopt;
    return flown;
}

std::vector<double> gOffUs;
std::vector<double> gOnUs;
std::vector<double> gRatios;
std::vector<double> gProcessRatios;
std::vector<double> gProcessOffUs;
std::vector<double> gProcessOnUs;
std::size_t gLines = 0;
double gTicks = 0.0;

void BM_FlightPairs(benchmark::State& state) {
    for (auto _ : state) {
        const auto off = flyOnce(false);
        const auto on = flyOnce(true);
        if (!off || !on) {
            state.SkipWithError("a flight did not stop");
            return;
        }
        gLines = on->lines;
        gTicks = on->ticks;
        gOffUs.push_back(off->cpuMs * 1000.0 / off->ticks);
        gOnUs.push_back(on->cpuMs * 1000.0 / on->ticks);
        gRatios.push_back(on->cpuMs / off->cpuMs);
        gProcessOffUs.push_back(off->processMs * 1000.0 / off->ticks);
        gProcessOnUs.push_back(on->processMs * 1000.0 / on->ticks);
        gProcessRatios.push_back(on->processMs / off->processMs);
    }
}

BENCHMARK(BM_FlightPairs)->Iterations(9)->Unit(benchmark::kMillisecond);

double median(std::vector<double> v) {
    if (v.empty()) return 0.0;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    if (!gRatios.empty()) {
        std::printf(
            "\nrecorder thread CPU per monitor tick (medians of %zu pairs, %.0f ticks, %zu log "
            "lines a flight): without the journal %.2f us, with it %.2f us; median ratio %.4f "
            "(goal < 1.02)\n"
            "whole process, the journal's writing thread included: %.2f us, %.2f us; median "
            "ratio %.4f\n",
            gRatios.size(), gTicks, gLines, median(gOffUs), median(gOnUs), median(gRatios),
            median(gProcessOffUs), median(gProcessOnUs), median(gProcessRatios));
    }
    benchmark::Shutdown();
    return 0;
}
