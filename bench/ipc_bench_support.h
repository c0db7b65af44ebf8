#pragma once

// What the IPC benchmarks share: aviolog-sim's serving code on a thread of its own, and
// the baseline they are measured against, a bare SOCK_SEQPACKET round trip.

#include <benchmark/benchmark.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "platform/posix/event_loop.h"
#include "platform/posix/sim_ipc_server.h"
#include "sim/scenario.h"
#include "sim/simulator.h"
#include "wire/sim_ipc_wire.h"

namespace aviolog::bench {

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
