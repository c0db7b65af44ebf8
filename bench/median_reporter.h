#pragma once

#include <benchmark/benchmark.h>

#include <cstdio>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "bench/bench_support.h"

namespace aviolog::bench {

// Prints the runs as the console does and keeps each benchmark's real and processor time
// (the median when it is repeated), in the benchmark's own unit, so a program can print
// ratios against a baseline measured in the same run.
class MedianReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.error_occurred) continue;
            const bool repeated = run.repetitions > 1;
            if (repeated && run.aggregate_name != "median") continue;
            if (!repeated && run.run_type != Run::RT_Iteration) continue;
            byName_[run.run_name.str()] = run.GetAdjustedRealTime();
            byFunction_[run.run_name.function_name] = run.GetAdjustedRealTime();
            cpuByName_[run.run_name.str()] = run.GetAdjustedCPUTime();
        }
    }

    // Keyed by the full run name ("BM_X/30/real_time").
    const std::map<std::string, double>& byName() const { return byName_; }
    // Keyed by the benchmark's name alone ("BM_X/capture"), for benchmarks without arguments.
    const std::map<std::string, double>& byFunction() const { return byFunction_; }
    // The processor time, keyed as byName(): the whole process's for a benchmark that
    // measures it (MeasureProcessCPUTime), so a thread that serves counts too.
    const std::map<std::string, double>& cpuByName() const { return cpuByName_; }

  private:
    std::map<std::string, double> byName_;
    std::map<std::string, double> byFunction_;
    std::map<std::string, double> cpuByName_;
};

// The main of a benchmark program: runs what the command line selects in a scratch
// folder (nothing lands in the tree it was started from), then lets printRatios report on
// the medians.
inline int runBenchmarks(int argc, char** argv,
                         const std::function<void(const MedianReporter&)>& printRatios) {
    benchmark::Initialize(&argc, argv);
    const ScratchDir scratch;
    std::filesystem::current_path(scratch.path());
    MedianReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    printRatios(reporter);
    benchmark::Shutdown();
    std::filesystem::current_path(scratch.path().parent_path());
    return 0;
}

}  // namespace aviolog::bench
