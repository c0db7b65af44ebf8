// The recorder's monitor tick in the air, against aviolog-sim's serving code over the
// real Linux IPC: its cost against as many bare SOCK_SEQPACKET round trips as the tick
// makes exchanges, measured in the same run, client and server on one processor.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "bench/ipc_bench_support.h"
#include "bench/median_reporter.h"
#include "config/settings.h"
#include "model/flight_record.h"
#include "model/flight_services.h"
#include "model/flight_summary.h"
#include "model/main_window_model.h"
#include "platform/posix/posix_clock.h"
#include "platform/posix/posix_sim_ipc.h"
#include "recorder/flight_log.h"
#include "recorder/recorder_context.h"
#include "recorder/timer_ids.h"
#include "simlink/sim_link.h"
#include "tests/support/null_doubles.h"

namespace {

using namespace aviolog;

// Counts the exchanges the recorder makes.
class CountingIpc final : public platform::SimIpc {
  public:
    explicit CountingIpc(platform::SimIpc& ipc) : ipc_(ipc) {}
    platform::WindowHandle findWindow(std::string_view c) override { return ipc_.findWindow(c); }
    void releaseWindow(platform::WindowHandle w) override { ipc_.releaseWindow(w); }
    std::uint32_t registerMessage(std::string_view n) override { return ipc_.registerMessage(n); }
    std::uint16_t addAtom(std::string_view n) override { return ipc_.addAtom(n); }
    void deleteAtom(std::uint16_t a) override { ipc_.deleteAtom(a); }
    std::unique_ptr<platform::SharedBlock> createBlock(std::string_view n, std::size_t s) override {
        return ipc_.createBlock(n, s);
    }
    platform::SendOutcome send(platform::WindowHandle w, std::uint32_t m, std::uint32_t a,
                               std::uint32_t b, int t) override {
        ++sends;
        return ipc_.send(w, m, a, b, t);
    }
    std::uint32_t processId() override { return ipc_.processId(); }
    std::uint64_t sends = 0;

  private:
    platform::SimIpc& ipc_;
};

void BM_BareSeqpacketRoundTrip(benchmark::State& state) {
    bench::bareSeqpacketRoundTrip(state);
}

double gExchangesPerTick = 0.0;

void BM_MonitorTickAirborne(benchmark::State& state) {
    bench::ServerThread server("aviolog-bench-tick-" + std::to_string(getpid()) + "-",
                               AVIOLOG_BENCH_SCENARIO);
    platform::posix::PosixClock clock;
    platform::posix::PosixSimIpc posixIpc(server.prefix());
    CountingIpc ipc(posixIpc);
    platform::posix::EventLoop timers;
    test::QuietWorld world;
    model::FlightServices services{.acars = world,
                                   .metar = world,
                                   .gauge = world,
                                   .live = world,
                                   .flapNames = world,
                                   .store = world};
    config::Settings settings;
    settings.company.UnitSystem = WeightUnit::Kilograms;
    // The recorder alone, wired as the application wires it.
    simlink::SimLink link(ipc, clock);
    model::FlightRecord record;
    recorder::FlightProgress progress;
    model::FlightSummary summary;
    model::MainWindowModel window;
    // Start writes its empty log files; they go to a folder of the bench's own.
    struct Folder {
        std::filesystem::path path = std::filesystem::temp_directory_path() /
                                     ("aviolog-tick-bench-" + std::to_string(getpid()));
        Folder() { std::filesystem::create_directories(path); }
        ~Folder() { std::filesystem::remove_all(path); }
    } folder;
    const std::filesystem::path& workDir = folder.path;
    recorder::FlightState flight;
    recorder::FlightLog core({.link = link,
                              .timers = timers,
                              .clock = clock,
                              .pilot = world,
                              .sound = world,
                              .libraries = world,
                              .settings = settings,
                              .form = world,
                              .record = record,
                              .progress = progress,
                              .summary = summary,
                              .window = window,
                              .services = services,
                              .flight = flight,
                              .workDir = workDir.string()});
    link.setLossObserver(&core);
    core.onTimer(recorder::kConnectTimer);
    if (!link.isOpen() || !core.StartLog()) {
        state.SkipWithError("the recorder could not start");
        return;
    }
    for (int i = 0; i < 10 && flight.phase != recorder::FlightPhase::Airborne; ++i) {
        core.onTimer(recorder::kMonitorTimer);
    }
    if (flight.phase != recorder::FlightPhase::Airborne) {
        state.SkipWithError("not airborne");
        return;
    }
    const std::uint64_t before = ipc.sends;
    std::uint64_t ticks = 0;
    for (auto _ : state) {
        core.onTimer(recorder::kMonitorTimer);
        ++ticks;
    }
    gExchangesPerTick = static_cast<double>(ipc.sends - before) / static_cast<double>(ticks);
    state.counters["exchanges"] = gExchangesPerTick;
}

// The processor time is the whole process's: the serving thread's share counts.
BENCHMARK(BM_BareSeqpacketRoundTrip)->MeasureProcessCPUTime()->UseRealTime();
BENCHMARK(BM_MonitorTickAirborne)->MeasureProcessCPUTime()->UseRealTime();

// The run of the benchmark whose name starts with function: its wall and processor time.
std::optional<std::pair<double, double>> times(const bench::MedianReporter& reporter,
                                               std::string_view function) {
    for (const auto& [name, ns] : reporter.byName()) {
        if (name.starts_with(function)) return std::pair{ns, reporter.cpuByName().at(name)};
    }
    return std::nullopt;
}

void printRatios(const bench::MedianReporter& reporter) {
    const auto base = times(reporter, "BM_BareSeqpacketRoundTrip");
    const auto tick = times(reporter, "BM_MonitorTickAirborne");
    if (!base || !tick || gExchangesPerTick == 0.0) return;
    const double wallTrips = base->first * gExchangesPerTick;
    const double cpuTrips = base->second * gExchangesPerTick;
    std::printf(
        "\nmonitor tick in the air: %.1f exchanges, %.1f us wall, %.1f us processor;\n"
        "%.1f bare round trips: %.1f us wall, %.1f us processor\n",
        gExchangesPerTick, tick->first / 1000.0, tick->second / 1000.0, gExchangesPerTick,
        wallTrips / 1000.0, cpuTrips / 1000.0);
    std::printf("tick / its round trips: wall %.2f, processor %.2f (goal: at most 1.20)\n",
                tick->first / wallTrips, tick->second / cpuTrips);
}

}  // namespace

int main(int argc, char** argv) {
    return bench::runPinnedBenchmarks(argc, argv, printRatios);
}
