// The cost of one exchange through the FSUIPC relay: the program's link on Linux, the
// bridge's relay client (here on a thread of this process), TCP on loopback, the relay
// under Wine, SendMessageTimeout to aviolog-sim.exe's window in the same prefix, and back.
// Against it, measured in the same run, the bare Linux exchange with the stand-in on a
// thread. Both read one variable. Needs the win64 build and the wine tests' prefix; says
// so and measures only the baseline where they are missing.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "bench/ipc_bench_support.h"
#include "bench/median_reporter.h"
#include "bridge/fsuipc_relay_client.h"
#include "bridge/sockets.h"
#include "platform/posix/event_loop.h"
#include "platform/posix/posix_clock.h"
#include "platform/posix/posix_sim_ipc.h"
#include "platform/posix/sim_ipc_server.h"
#include "simlink/sim_link.h"
#include "wire/sim_offsets.h"

extern char** environ;

namespace {

using namespace aviolog;

std::string benchPrefix(const char* what) {
    return std::string("aviolog-bench-") + what + "-" + std::to_string(getpid()) + "-";
}

// A program under Wine, killed when this dies.
class WineProgram {
  public:
    explicit WineProgram(std::vector<std::string> args) {
        args.insert(args.begin(), "wine");
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        if (posix_spawnp(&pid_, "wine", &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
    }
    ~WineProgram() {
        if (pid_ <= 0) return;
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }

  private:
    pid_t pid_ = -1;
};

void BM_LinuxExchange(benchmark::State& state) {
    bench::ServerThread server(benchPrefix("linux"), AVIOLOG_BENCH_SCENARIO);
    platform::posix::PosixClock clock;
    platform::posix::PosixSimIpc ipc(server.prefix());
    simlink::SimLink link(ipc, clock);
    if (!link.open(0)) {
        state.SkipWithError("open failed");
        return;
    }
    std::int32_t altitude = 0;
    for (auto _ : state) {
        link.read(wire::var::Altitude.offset, 4, &altitude);
        if (!link.process()) state.SkipWithError("exchange failed");
        benchmark::DoNotOptimize(altitude);
    }
}

// The bridge's serving side on a thread: the Linux IPC in, the relay client out.
class BridgeThread {
  public:
    BridgeThread(std::string prefix, const sockaddr_in& relay)
        : prefix_(std::move(prefix)), relay_(relay) {
        thread_ = std::thread([this] { serve(); });
        while (!ready_) std::this_thread::yield();
    }
    ~BridgeThread() {
        stop_ = true;
        thread_.join();
    }

  private:
    void serve() {
        bridge::FsuipcRelayClient client(relay_);
        platform::posix::EventLoop loop;
        platform::posix::SimIpcServer server(
            loop, [&](std::span<std::byte> block) { return client.exchange(block); });
        if (!server.listen(prefix_ + std::string(wire::kWindowClass))) std::abort();
        ready_ = true;
        while (!stop_) loop.runOnce(20);
    }
    std::string prefix_;
    sockaddr_in relay_;
    std::atomic<bool> ready_{false};
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

std::string windowsProgram(const char* relative) {
    return std::string(AVIOLOG_WIN64_DIR) + "/" + relative;
}

// Wine, the simulator, the relay and the bridge, started once for every run: Wine takes
// a second or two to start, which no run should pay.
struct RelayChain {
    explicit RelayChain(int port)
        : sim({windowsProgram("sim/aviolog-sim.exe"), "--scenario", AVIOLOG_BENCH_SCENARIO,
               "--status", "0"}),
          relay(
              {windowsProgram("bridge/aviolog-fsuipc-relay.exe"), "--port", std::to_string(port)}),
          bridge(benchPrefix("relay"), *bridge::resolve("127.0.0.1", port)),
          ipc(benchPrefix("relay")),
          link(ipc, clock) {
        const std::int64_t deadline = clock.monotonicMs() + 30000;
        while (!link.open(0) && clock.monotonicMs() < deadline) clock.sleepMs(200);
    }
    WineProgram sim, relay;
    BridgeThread bridge;
    platform::posix::PosixClock clock;
    platform::posix::PosixSimIpc ipc;
    simlink::SimLink link;
};

void BM_RelayExchange(benchmark::State& state) {
    if (!std::filesystem::exists(std::string(AVIOLOG_WINE_PREFIX) + "/aviolog-ready") ||
        !std::filesystem::exists(windowsProgram("bridge/aviolog-fsuipc-relay.exe"))) {
        state.SkipWithError("no win64 build or Wine prefix: run ctest -L wine first");
        return;
    }
    setenv("WINEPREFIX", AVIOLOG_WINE_PREFIX, 1);
    setenv("WINEDEBUG", "-all", 1);
    static const auto chain = std::make_unique<RelayChain>(7200 + getpid() % 500);
    if (!chain->link.isOpen()) {
        state.SkipWithError("the relay did not answer within 30 s");
        return;
    }
    std::int32_t altitude = 0;
    for (auto _ : state) {
        chain->link.read(wire::var::Altitude.offset, 4, &altitude);
        if (!chain->link.process()) state.SkipWithError("exchange failed");
        benchmark::DoNotOptimize(altitude);
    }
}

// Wall time: the relay and the simulator are other processes, whose processor time this
// process cannot see.
BENCHMARK(BM_LinuxExchange)->UseRealTime()->MinTime(1.0);
BENCHMARK(BM_RelayExchange)->UseRealTime()->MinTime(1.0);

void printRatios(const bench::MedianReporter& reporter) {
    const auto& realNs = reporter.byName();
    const auto find = [&](const char* name) {
        return std::find_if(realNs.begin(), realNs.end(),
                            [&](const auto& run) { return run.first.starts_with(name); });
    };
    const auto base = find("BM_LinuxExchange");
    const auto relay = find("BM_RelayExchange");
    if (base == realNs.end() || relay == realNs.end()) return;
    std::printf(
        "\nper exchange, median: Linux %.0f ns, through the relay under Wine %.0f ns "
        "(%.2f times; the budget is 1 ms)\n",
        base->second, relay->second, relay->second / base->second);
}

}  // namespace

int main(int argc, char** argv) {
    static char repetitions[] = "--benchmark_repetitions=5";
    static char mediansOnly[] = "--benchmark_display_aggregates_only=true";
    std::vector<char*> args{argv[0], repetitions, mediansOnly};
    args.insert(args.end(), argv + 1, argv + argc);
    args.push_back(nullptr);
    return bench::runBenchmarks(static_cast<int>(args.size()) - 1, args.data(), printRatios);
}
