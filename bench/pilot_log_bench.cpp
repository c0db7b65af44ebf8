// The pilot log file of a pilot who has not reported for a long time: a hundred stored
// flights. Storing one more, reading the oldest and dropping it each read the file, check
// its seal and replace it sealed; the baseline is the bare I/O of the same file (read it,
// replace it atomically), measured in the same run. The ratios are printed at the end.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "bench/bench_support.h"
#include "bench/median_reporter.h"
#include "common/text_file.h"
#include "common/text_format.h"
#include "reporting/pilot_log_file.h"

namespace {

using namespace aviolog;
using reporting::PilotLogFile;

constexpr int kFlights = 100;
constexpr std::size_t kLogChars = 5000;  // a two-hour flight with every event on

model::FlightSummary flight(int n) {
    model::FlightSummary f{format("2026/%02d/%02d", 1 + n % 12, 1 + n % 28),
                           "09:27:00",
                           format("TAP%03d", n),
                           format("TP%04d", n),
                           "CS-TTA",
                           "LPPT",
                           "LPPR",
                           "NONE",
                           "A320",
                           "1474",
                           "6180",
                           "4706",
                           "00:30",
                           "148",
                           "-139",
                           "132",
                           "55793",
                           {}};
    while (f.logText.size() < kLogChars) {
        f.logText += format("%02d:%02d Altitude: %d ft  Ground speed: %d kt  Fuel: %d kg\n", n % 24,
                            static_cast<int>(f.logText.size() % 60),
                            static_cast<int>(f.logText.size() * 7 % 37000), 250 + n, 6180 - n);
    }
    return f;
}

// The sealed file of a hundred flights, built once.
const std::string& hundredFlights() {
    static const std::string bytes = [] {
        const bench::ScratchDir dir;
        PilotLogFile file(dir / "TAP123.dat");
        file.open();
        for (int n = 1; n <= kFlights; ++n) file.add(flight(n));
        if (!file.save()) std::abort();
        return *readFileBytes(dir / "TAP123.dat");
    }();
    return bytes;
}

void measure(benchmark::State& state, void (*work)(const std::filesystem::path&)) {
    const bench::ScratchDir dir;
    const std::filesystem::path path = dir / "TAP123.dat";
    for (auto _ : state) {
        state.PauseTiming();
        if (!writeFileAtomically(path, hundredFlights())) std::abort();
        state.ResumeTiming();
        work(path);
    }
    state.counters["file_kB"] = static_cast<double>(hundredFlights().size()) / 1000.0;
}

void bareIo(const std::filesystem::path& path) {
    const auto bytes = readFileBytes(path);
    if (!bytes || !writeFileAtomically(path, *bytes)) std::abort();
}

void storeOne(const std::filesystem::path& path) {
    PilotLogFile file(path);
    if (file.open() != PilotLogFile::State::Sealed) std::abort();
    if (file.add(flight(kFlights + 1)) != kFlights + 1 || !file.save()) std::abort();
}

void readFirst(const std::filesystem::path& path) {
    PilotLogFile file(path);
    if (file.open() != PilotLogFile::State::Sealed) std::abort();
    benchmark::DoNotOptimize(file.first());
}

void dropFirst(const std::filesystem::path& path) {
    PilotLogFile file(path);
    if (file.open() != PilotLogFile::State::Sealed || !file.dropFirst() || !file.save()) {
        std::abort();
    }
}

#define PILOT_LOG_BENCH(name, work)        \
    BENCHMARK_CAPTURE(measure, name, work) \
        ->Iterations(10)                   \
        ->Repetitions(7)                   \
        ->ReportAggregatesOnly(true)       \
        ->Unit(benchmark::kMillisecond)    \
        ->UseRealTime()

PILOT_LOG_BENCH(bare_io, bareIo);
PILOT_LOG_BENCH(store, storeOne);
PILOT_LOG_BENCH(read_first, readFirst);
PILOT_LOG_BENCH(drop_first, dropFirst);

void printRatios(const bench::MedianReporter& reporter) {
    const auto& ms = reporter.byFunction();
    const auto base = ms.find("measure/bare_io");
    if (base == ms.end()) return;
    std::printf(
        "\nmedians with %d stored flights (%zu kB), against reading and replacing the "
        "file:\n",
        kFlights, hundredFlights().size() / 1000);
    for (const char* name : {"store", "read_first", "drop_first"}) {
        const auto it = ms.find(std::string("measure/") + name);
        if (it == ms.end()) continue;
        std::printf("  %-11s %8.2f ms   %5.2fx bare I/O (%.2f ms)\n", name, it->second,
                    it->second / base->second, base->second);
    }
}

}  // namespace

int main(int argc, char** argv) {
    return aviolog::bench::runBenchmarks(argc, argv, printRatios);
}
