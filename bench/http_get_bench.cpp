// Fifty GETs to the loopback VA server, as a PIREP of a long flight sends them: through one
// client that keeps its connection open, against a fresh client (and so a fresh TCP
// connection) for every request. The ratio fresh/reused is printed at the end.

#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstdio>
#include <memory>
#include <string>

#include "bench/bench_support.h"
#include "bench/median_reporter.h"
#include "platform/http_get.h"
#include "platform/posix/curl_http_client.h"

namespace {

using aviolog::platform::httpGet;
using aviolog::platform::posix::CurlHttpClient;

constexpr int kRequests = 50;

aviolog::bench::OkServer& server() {
    static const auto started = [] {
        ::setenv("no_proxy", "127.0.0.1", 1);
        return std::make_unique<aviolog::bench::OkServer>();
    }();
    return *started;
}

void BM_FiftyGets(benchmark::State& state, bool reuse) {
    if (!server().running()) {
        state.SkipWithError("the loopback VA server did not start");
        return;
    }
    const std::string url = server().url("/pirep.php?pilot=ABC123&more=1&log=Cruise*FL350");
    for (auto _ : state) {
        auto shared = std::make_unique<CurlHttpClient>();
        for (int i = 0; i < kRequests; ++i) {
            if (!reuse) shared = std::make_unique<CurlHttpClient>();
            if (httpGet(*shared, url) != "OK\n") {
                state.SkipWithError("a request was not answered OK");
                return;
            }
        }
    }
}

BENCHMARK_CAPTURE(BM_FiftyGets, reused, true)
    ->Iterations(10)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_FiftyGets, fresh, false)
    ->Iterations(10)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

void printRatios(const aviolog::bench::MedianReporter& reporter) {
    const auto& realMs = reporter.byFunction();
    const auto reused = realMs.find("BM_FiftyGets/reused");
    const auto fresh = realMs.find("BM_FiftyGets/fresh");
    if (reused == realMs.end() || fresh == realMs.end()) return;
    std::printf("\nmedians of %d GETs, one kept connection against a new client each time:\n",
                kRequests);
    std::printf("  reused %8.2f ms  fresh %8.2f ms  fresh/reused %5.2f\n", reused->second,
                fresh->second, fresh->second / reused->second);
}

}  // namespace

int main(int argc, char** argv) {
    return aviolog::bench::runBenchmarks(argc, argv, printRatios);
}
