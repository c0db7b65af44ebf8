// What the VA traffic costs the recorder: the default flight (Lisbon to Porto, 45 minutes
// gate to gate) flown through the recorder in virtual time with ACARS online, both ACARS
// sites, the status site and the uplink script on the loopback VA server and the requests
// on worker threads as in the program, against the same flight with ACARS off and no
// sites, in the same run. Measured is the CPU time of the recorder's thread (every timer
// tick of the flight, and composing, journalling, showing and queueing the messages and
// applying their answers); the workers' waiting on the network is not the recorder's.

#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/flight_rig.h"
#include "tests/support/loopback_va_server.h"

namespace {

using namespace aviolog;

test::LoopbackVaServer& server() {
    static const auto started = [] {
        ::setenv("no_proxy", "127.0.0.1", 1);
        return std::make_unique<test::LoopbackVaServer>();
    }();
    return *started;
}

double threadCpuMs() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

std::vector<double> gOffMs;
std::vector<double> gOnMs;
std::vector<double> gRatios;
std::size_t gRequests = 0;

std::vector<test::FlightRig::Edit> acarsOnline() {
    const std::string va = server().url("");
    return {{"Aviolog", "AcarsEvent", "1", true},
            {"Log", "AcarsSite", va + "/acars.php", true},
            {"Log", "Uplink", va + "/uplink.php", true},
            {"Log", "UplinkReset", va + "/reset.php", true},
            {"Aviolog", "AcarsSite", va + "/alternate.php"},
            {"Aviolog", "StatusSite", va + "/status.php"}};
}

// One flight; its recorder thread's CPU time in ms, or nothing when it did not stop.
std::optional<double> flyOnce(const std::vector<test::FlightRig::Edit>& edits) {
    test::FlightRig rig(edits);
    headless::RunnerOptions options;
    options.vaInBackground = true;
    const double startMs = threadCpuMs();
    const headless::RunResult result = rig.fly("lppt-lppr.scn", options);
    const double ms = threadCpuMs() - startMs;
    if (result.end != headless::RunResult::End::Stopped) return std::nullopt;
    return ms;
}

// The two flights alternate, so that a machine busy with something else for a while
// burdens both alike; each pair gives one ratio.
void BM_FlightPairs(benchmark::State& state) {
    const auto online = acarsOnline();
    for (auto _ : state) {
        const auto off = flyOnce({});
        const std::size_t before = server().requests().size();
        const auto on = flyOnce(online);
        gRequests = server().requests().size() - before;
        if (!off || !on) {
            state.SkipWithError("a flight did not stop");
            return;
        }
        gOffMs.push_back(*off);
        gOnMs.push_back(*on);
        gRatios.push_back(*on / *off);
    }
}

BENCHMARK(BM_FlightPairs)->Iterations(12)->Unit(benchmark::kMillisecond);

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
        std::printf("\nrecorder thread CPU per flight (medians of %zu pairs): ACARS off %.1f ms, "
                    "ACARS on %.1f ms (%zu VA requests a flight); median ratio %.3f (goal <= 1.05)\n",
                    gRatios.size(), median(gOffMs), median(gOnMs), gRequests, median(gRatios));
    }
    benchmark::Shutdown();
    return 0;
}
