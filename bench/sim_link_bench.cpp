// The cost of one exchange with the simulator over the Linux IPC, against the bare round
// trip of a SOCK_SEQPACKET packet measured in the same run, client and server on one
// processor. Prints the ratios of wall and processor time at the end.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <string>

#include "bench/ipc_bench_support.h"
#include "bench/median_reporter.h"
#include "platform/posix/posix_clock.h"
#include "platform/posix/posix_sim_ipc.h"
#include "simlink/sim_link.h"
#include "simlink/sim_variables.h"

namespace {

using namespace aviolog;

std::string benchPrefix() {
    return "aviolog-bench-" + std::to_string(getpid()) + "-";
}

void BM_BareSeqpacketRoundTrip(benchmark::State& state) {
    bench::bareSeqpacketRoundTrip(state);
}

void BM_SimLinkExchange(benchmark::State& state) {
    const int variables = static_cast<int>(state.range(0));
    bench::ServerThread server(benchPrefix() + std::to_string(variables) + "-",
                               AVIOLOG_BENCH_SCENARIO);
    platform::posix::PosixClock clock;
    platform::posix::PosixSimIpc ipc(server.prefix());
    simlink::SimLink link(ipc, clock);
    if (!link.open(0)) {
        state.SkipWithError("open failed");
        return;
    }
    std::array<std::uint32_t, 64> values{};
    for (auto _ : state) {
        for (int i = 0; i < variables; ++i) {
            link.read(wire::var::Altitude.offset + 4 * (i % 8), 4, &values[i]);
        }
        if (!link.process()) state.SkipWithError("exchange failed");
        benchmark::DoNotOptimize(values);
    }
}

// The processor time is the whole process's: the serving thread's share counts.
BENCHMARK(BM_BareSeqpacketRoundTrip)->MeasureProcessCPUTime()->UseRealTime();
BENCHMARK(BM_SimLinkExchange)->Arg(1)->Arg(30)->MeasureProcessCPUTime()->UseRealTime();

void printRatios(const aviolog::bench::MedianReporter& reporter) {
    const auto& realNs = reporter.byName();
    const auto& cpuNs = reporter.cpuByName();
    const auto base = std::find_if(realNs.begin(), realNs.end(), [](const auto& run) {
        return run.first.starts_with("BM_BareSeqpacketRoundTrip");
    });
    if (base == realNs.end()) return;
    const double baseCpu = cpuNs.at(base->first);
    std::printf(
        "\nper exchange, against the bare SOCK_SEQPACKET round trip (%.0f ns wall, "
        "%.0f ns processor):\n",
        base->second, baseCpu);
    for (const auto& [name, ns] : realNs) {
        if (name == base->first) continue;
        const double cpu = cpuNs.at(name);
        std::printf("  %-52s wall %6.0f ns  %.2f   processor %6.0f ns  %.2f\n", name.c_str(), ns,
                    ns / base->second, cpu, cpu / baseCpu);
    }
}

}  // namespace

int main(int argc, char** argv) {
    return aviolog::bench::runPinnedBenchmarks(argc, argv, printRatios);
}
