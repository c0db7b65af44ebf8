// A flight log kept in an INI file: storing flights and dropping the oldest one through the
// edit API (load once, edit the document, save once) against single-key writes, each of which
// loads the file, changes one key and rewrites the file atomically. Both run in the same
// process, on the same disk; the ratios naive/edit are printed at the end.

#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/median_reporter.h"
#include "common/text_file.h"
#include "common/text_format.h"
#include "config/ini_file.h"

namespace {

using namespace aviolog;
using config::IniDocument;
using config::IniEntry;
using config::IniFile;

constexpr int kFlights = 100;

std::string sectionName(int flight) {
    return "FlightLog" + std::to_string(flight);
}

// The twenty keys of one flight, with values as short as a recorder writes them.
std::vector<IniEntry> flightEntries(int n) {
    static const char* const kAirports[] = {"LFPG", "EGLL", "EDDF", "LEMD",
                                            "LIRF", "EHAM", "LSZH", "LOWW"};
    static const char* const kTypes[] = {"B738", "A320", "E190", "DH8D"};
    const int out = 6 * 60 + 7 * n % 900;  // block off, minutes after midnight
    const int air = 45 + 11 * n % 180;     // airborne minutes
    const auto hhmm = [](int minutes) {
        return format("%02d:%02d", minutes / 60 % 24, minutes % 60);
    };
    return {
        {"Date", format("2024-%02d-%02d", 1 + n % 12, 1 + n % 28)},
        {"Hour", hhmm(out - 40)},
        {"CallSign", format("AVL%03d", n)},
        {"FlightNumber", format("AV%04d", 1000 + 7 * n)},
        {"Aircraft", kTypes[n % 4]},
        {"Registration", format("F-H%c%c%c", 'A' + n % 26, 'A' + n / 26 % 26, 'B' + n % 7)},
        {"Departure", kAirports[n % 8]},
        {"Arrival", kAirports[(n + 3) % 8]},
        {"BlockOff", hhmm(out)},
        {"TakeOff", hhmm(out + 12)},
        {"Landing", hhmm(out + 12 + air)},
        {"BlockOn", hhmm(out + 18 + air)},
        {"FlightTime", format("%d:%02d", air / 60, air % 60)},
        {"BlockTime", format("%d:%02d", (air + 18) / 60, (air + 18) % 60)},
        {"FuelUsed", format("%d", 1800 + 37 * n % 4000)},
        {"Distance", format("%d", 180 + 13 * n % 900)},
        {"CruiseLevel", format("FL%d", 240 + 10 * (n % 14))},
        {"LandingRate", format("-%d", 60 + 17 * n % 400)},
        {"Passengers", format("%d", 60 + 3 * n % 120)},
        {"Remarks", n % 3 ? "\"on time\"" : "\"delayed, ATC\""},
    };
}

const std::vector<std::vector<IniEntry>>& flights() {
    static const auto all = [] {
        std::vector<std::vector<IniEntry>> list;
        for (int n = 1; n <= kFlights; ++n) list.push_back(flightEntries(n));
        return list;
    }();
    return all;
}

// What both ways must leave on disk: the log of all flights, and that log without its first.
const std::string& fullLog() {
    static const std::string text = [] {
        IniDocument doc;
        for (int n = 1; n <= kFlights; ++n) doc.replaceSection(sectionName(n), flights()[n - 1]);
        return doc.text();
    }();
    return text;
}

const std::string& logWithoutFirst() {
    static const std::string text = [] {
        IniDocument doc;
        for (int n = 1; n < kFlights; ++n) doc.replaceSection(sectionName(n), flights()[n]);
        return doc.text();
    }();
    return text;
}

void storeKeyByKey(const IniFile& file) {
    for (int n = 1; n <= kFlights; ++n) {
        for (const IniEntry& entry : flights()[n - 1]) {
            file.setString(sectionName(n), entry.key, entry.value);
        }
    }
}

void storeOneSavePerFlight(const IniFile& file) {
    for (int n = 1; n <= kFlights; ++n) {
        auto doc = file.load();
        for (const IniEntry& entry : flights()[n - 1]) {
            doc->setString(sectionName(n), entry.key, entry.value);
        }
        file.save(*doc);
    }
}

void storeInOneSave(const IniFile& file) {
    auto doc = file.load();
    for (int n = 1; n <= kFlights; ++n) {
        for (const IniEntry& entry : flights()[n - 1]) {
            doc->setString(sectionName(n), entry.key, entry.value);
        }
    }
    file.save(*doc);
}

void dropFirstKeyByKey(const IniFile& file) {
    for (int n = 2; n <= kFlights; ++n) {
        for (const IniEntry& entry : file.load()->sectionEntries(sectionName(n))) {
            file.setString(sectionName(n - 1), entry.key, entry.value);
        }
    }
    file.removeSection(sectionName(kFlights));
}

void dropFirstInOneSave(const IniFile& file) {
    auto doc = file.load();
    for (int n = 2; n <= kFlights; ++n) {
        doc->replaceSection(sectionName(n - 1), doc->sectionEntries(sectionName(n)));
    }
    doc->removeSection(sectionName(kFlights));
    file.save(*doc);
}

// Each iteration starts from the same file (none when start is empty) outside the timing,
// and the result is checked once at the end, so that both ways are known to do the same.
void measure(benchmark::State& state, void (*work)(const IniFile&), const std::string& start,
             const std::string& expected) {
    bench::ScratchDir dir;
    const IniFile file(dir.path() / "flightlog.ini");
    for (auto _ : state) {
        state.PauseTiming();
        std::error_code ec;
        std::filesystem::remove(file.path(), ec);
        if (!start.empty() && !writeFileAtomically(file.path(), start)) std::abort();
        state.ResumeTiming();
        work(file);
    }
    if (readFileBytes(file.path()) != expected) state.SkipWithError("unexpected file contents");
}

void BM_StoreFlights(benchmark::State& state, void (*work)(const IniFile&)) {
    measure(state, work, "", fullLog());
}

void BM_DropFirstFlight(benchmark::State& state, void (*work)(const IniFile&)) {
    measure(state, work, fullLog(), logWithoutFirst());
}

// The key-by-key runs take a second or more each: one iteration per repetition.
BENCHMARK_CAPTURE(BM_StoreFlights, naive, storeKeyByKey)
    ->Iterations(1)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_StoreFlights, edit_per_flight, storeOneSavePerFlight)
    ->Iterations(5)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_StoreFlights, edit_batch, storeInOneSave)
    ->Iterations(20)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_DropFirstFlight, naive, dropFirstKeyByKey)
    ->Iterations(1)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_DropFirstFlight, edit, dropFirstInOneSave)
    ->Iterations(20)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

void printRatios(const aviolog::bench::MedianReporter& reporter) {
    const auto& realMs = reporter.byFunction();
    struct Comparison {
        const char* what;
        const char* naive;
        const char* edit;
    };
    static constexpr Comparison kComparisons[] = {
        {"store 100 flights, a load/save per flight", "BM_StoreFlights/naive",
         "BM_StoreFlights/edit_per_flight"},
        {"store 100 flights, one load/save in all", "BM_StoreFlights/naive",
         "BM_StoreFlights/edit_batch"},
        {"drop the first of 100 flights", "BM_DropFirstFlight/naive", "BM_DropFirstFlight/edit"},
    };
    std::printf("\nmedians, key-by-key writes against the edit API, and their ratio:\n");
    for (const Comparison& c : kComparisons) {
        const auto naive = realMs.find(c.naive);
        const auto edit = realMs.find(c.edit);
        if (naive == realMs.end() || edit == realMs.end()) continue;
        std::printf("  %-42s naive %9.2f ms  edit %8.3f ms  naive/edit %7.1f\n", c.what,
                    naive->second, edit->second, naive->second / edit->second);
    }
}

}  // namespace

int main(int argc, char** argv) {
    return aviolog::bench::runBenchmarks(argc, argv, printRatios);
}
