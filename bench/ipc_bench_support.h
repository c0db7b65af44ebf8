#pragma once

// What the IPC benchmarks share: aviolog-sim's serving code on a thread of its own, the
// baseline they are measured against (a bare SOCK_SEQPACKET round trip), and the one
// processor that client and server share so that the ratios hold still.

#include <benchmark/benchmark.h>
#include <poll.h>
#include <sched.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "bench/median_reporter.h"
#include "platform/posix/event_loop.h"
#include "platform/posix/sim_ipc_server.h"
#include "sim/scenario.h"
#include "sim/simulator.h"
#include "wire/sim_ipc_wire.h"

namespace aviolog::bench {

// Keeps this process, and every thread it starts from now on, on one processor: the last
// of those it may use. A round trip between a client and a server on two processors costs
// whatever the other processor's wake-up costs at that moment, which on a shared machine
// swings several times over from run to run; on one processor it is two context switches.
// Returns the processor, or -1 when the process may not choose.
inline int pinToOneProcessor() {
    cpu_set_t allowed;
    CPU_ZERO(&allowed);
    if (sched_getaffinity(0, sizeof allowed, &allowed) != 0) return -1;
    for (int cpu = CPU_SETSIZE - 1; cpu >= 0; --cpu) {
        if (!CPU_ISSET(cpu, &allowed)) continue;
        cpu_set_t one;
        CPU_ZERO(&one);
        CPU_SET(cpu, &one);
        return sched_setaffinity(0, sizeof one, &one) == 0 ? cpu : -1;
    }
    return -1;
}

// The main of an IPC benchmark: pinned, then as runBenchmarks, each benchmark measured in
// short runs interleaved with the others' so that a slow spell of the machine falls on the
// baseline and the exchange alike, and the ratios taken of the medians. Options given on
// the command line come later and win.
inline int runPinnedBenchmarks(int argc, char** argv,
                               const std::function<void(const MedianReporter&)>& printRatios) {
    const int cpu = pinToOneProcessor();
    if (cpu >= 0) {
        std::printf("client and server pinned to processor %d\n", cpu);
    } else {
        std::printf("not pinned: the ratios will swing with the machine's load\n");
    }
    static char repetitions[] = "--benchmark_repetitions=15";
    static char interleaved[] = "--benchmark_enable_random_interleaving=true";
    static char shortRuns[] = "--benchmark_min_time=0.1";
    static char mediansOnly[] = "--benchmark_display_aggregates_only=true";
    std::vector<char*> args{argv[0], repetitions, interleaved, shortRuns, mediansOnly};
    args.insert(args.end(), argv + 1, argv + argc);
    args.push_back(nullptr);
    return runBenchmarks(static_cast<int>(args.size()) - 1, args.data(), printRatios);
}

// Serves the scenario's simulator, standing still at its start, under prefix's socket name.
class ServerThread {
  public:
    ServerThread(std::string prefix, std::string scenario)
        : prefix_(std::move(prefix)), scenario_(std::move(scenario)) {
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
        auto loaded = sim::loadScenario(scenario_);
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
    std::string scenario_;
    std::atomic<bool> ready_{false};
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// The least an exchange can cost: the same packet sizes (the message naming the block,
// a u32 reply) to an echo thread that blocks in recv, waited for with a time-out.
inline void bareSeqpacketRoundTrip(benchmark::State& state) {
    int fds[2];
    if (socketpair(AF_UNIX, SOCK_SEQPACKET, 0, fds) != 0) std::abort();
    std::thread echo([&] {
        std::array<std::byte, wire::kMaxPacketBytes> packet{};
        // Closing our end ends it.
        while (recv(fds[1], packet.data(), packet.size(), 0) > 0) {
            send(fds[1], packet.data(), wire::kReplyBytes, MSG_NOSIGNAL);
        }
    });
    std::array<std::byte, wire::kMaxPacketBytes> packet{};
    const std::size_t length =
        wire::encodePacket({0xC000, 0xC000, 0, "FsasmLib:IPC:1A2B:1"}, packet);
    std::array<std::byte, wire::kReplyBytes> reply{};
    for (auto _ : state) {
        send(fds[0], packet.data(), length, MSG_NOSIGNAL);
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

}  // namespace aviolog::bench
