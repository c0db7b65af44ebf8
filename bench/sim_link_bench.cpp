// The cost of one exchange with the simulator over the Linux IPC, against the bare round
// trip of a SOCK_SEQPACKET packet measured in the same run. Prints the ratios at the end.

#include <benchmark/benchmark.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cstdio>
#include <string>
#include <thread>

#include "bench/median_reporter.h"
#include "platform/posix/event_loop.h"
#include "platform/posix/posix_clock.h"
#include "platform/posix/posix_sim_ipc.h"
#include "platform/posix/sim_ipc_server.h"
#include "platform/sim_ipc_wire.h"
#include "recorder/sim_link.h"
#include "recorder/sim_variables.h"
#include "sim/scenario.h"
#include "sim/simulator.h"

namespace {

using namespace aviolog;
namespace wire = platform::wire;

// aviolog-sim's serving code on a thread of its own, flying the short scenario.
class ServerThread {
  public:
    explicit ServerThread(std::string prefix) : prefix_(std::move(prefix)) {
        thread_ = std::thread([this] { serve(); });
        while (!ready_) std::this_thread::yield();
    }
    ~ServerThread() {
        stop_ = true;
        thread_.join();
    }
    const std::string& prefix() const { return prefix_; }

  private:
    void serve() {
        auto loaded = sim::loadScenario(AVIOLOG_BENCH_SCENARIO);
        if (!loaded.ok()) {
            std::fprintf(stderr, "bench: %s\n", loaded.error.c_str());
            std::abort();
        }
        sim::Simulator simulator(*loaded.value);
        platform::posix::EventLoop loop;
        platform::posix::SimIpcServer server(
            loop, [&](std::span<std::byte> block) { return simulator.serve(block); });
        if (!server.listen(prefix_ + std::string(wire::kWindowClass))) std::abort();
        ready_ = true;
        while (!stop_) loop.runOnce(20);
    }

    std::string prefix_;
    std::atomic<bool> ready_{false};
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

std::string benchPrefix() {
    return "aviolog-bench-" + std::to_string(getpid()) + "-";
}

void BM_BareSeqpacketRoundTrip(benchmark::State& state) {
    int fds[2];
    if (socketpair(AF_UNIX, SOCK_SEQPACKET, 0, fds) != 0) std::abort();
    std::thread echo([&] {
        std::array<std::byte, wire::kMaxPacketBytes> packet{};
        // Blocking receive: the least a server can do. Closing our end ends it.
        while (recv(fds[1], packet.data(), packet.size(), 0) > 0) {
            send(fds[1], packet.data(), wire::kReplyBytes, MSG_NOSIGNAL);
        }
    });
    // The same packet sizes as an exchange: the message naming the block, a u32 reply.
    std::array<std::byte, wire::kMaxPacketBytes> packet{};
    const std::size_t length =
        wire::encodePacket({0xC000, 0xC000, 0, "FsasmLib:IPC:1A2B:1"}, packet);
    std::array<std::byte, wire::kReplyBytes> reply{};
    for (auto _ : state) {
        send(fds[0], packet.data(), length, MSG_NOSIGNAL);
        // Wait as the link does, with a time-out.
        pollfd p{fds[0], POLLIN, 0};
        poll(&p, 1, 2000);
        recv(fds[0], reply.data(), reply.size(), 0);
        benchmark::DoNotOptimize(reply);
    }
    shutdown(fds[0], SHUT_RDWR);
    echo.join();
    close(fds[0]);
    close(fds[1]);
}

void BM_SimLinkExchange(benchmark::State& state) {
    const int variables = static_cast<int>(state.range(0));
    ServerThread server(benchPrefix() + std::to_string(variables) + "-");
    platform::posix::PosixClock clock;
    platform::posix::PosixSimIpc ipc(server.prefix());
    recorder::SimLink link(ipc, clock);
    if (!link.open(0)) {
        state.SkipWithError("open failed");
        return;
    }
    std::array<std::uint32_t, 64> values{};
    for (auto _ : state) {
        for (int i = 0; i < variables; ++i) {
            link.read(recorder::var::Altitude.offset + 4 * (i % 8), 4, &values[i]);
        }
        if (!link.process()) state.SkipWithError("exchange failed");
        benchmark::DoNotOptimize(values);
    }
}

BENCHMARK(BM_BareSeqpacketRoundTrip)->UseRealTime();
BENCHMARK(BM_SimLinkExchange)->Arg(1)->Arg(30)->UseRealTime();

void printRatios(const aviolog::bench::MedianReporter& reporter) {
    const auto& realNs = reporter.byName();
    const auto base = realNs.find("BM_BareSeqpacketRoundTrip/real_time");
    if (base == realNs.end()) return;
    std::printf("\nratios against the bare SOCK_SEQPACKET round trip (%.0f ns):\n", base->second);
    for (const auto& [name, ns] : realNs) {
        if (name != base->first) std::printf("  %-40s %.2f\n", name.c_str(), ns / base->second);
    }
}

}  // namespace

int main(int argc, char** argv) {
    return aviolog::bench::runBenchmarks(argc, argv, printRatios);
}
