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

#include "bench/bench_support.h"
#include "common/text_file.h"
#include "config/ini_file.h"
#include "headless/flight_runner.h"

namespace {

using namespace aviolog;

bench::OkServer& server() {
    static const auto started = [] {
        ::setenv("no_proxy", "127.0.0.1", 1);
        return std::make_unique<bench::OkServer>();
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

// The shipped settings and a kilogram airline that stops the log at blocks on; with ACARS
// online every VA script is on the loopback server.
void prepare(const std::filesystem::path& dir, bool acars) {
    const std::string shipped =
        readFileBytes(std::string(AVIOLOG_DATA_DIR) + "/aviolog.ori").value_or("");
    writeFileAtomically(dir / "aviolog.ori", shipped);
    writeFileAtomically(dir / "aviolog.ini", shipped);
    writeFileAtomically(dir / "TAP.ini",
                        "[Aviolog]\r\nCompanyICAO=TAP\r\nPilotNumber=123\r\nUnitSystem=IS\r\n");
    config::IniFile program(dir / "aviolog.ini");
    config::IniFile profile(dir / "TAP.ini");
    program.setString("Aviolog", "AutomatedStop", "1");
    if (!acars) return;
    const std::string va = server().url("");
    program.setString("Aviolog", "AcarsEvent", "1");
    program.setString("Log", "AcarsSite", va + "/acars.php");
    program.setString("Log", "Uplink", va + "/uplink.php");
    program.setString("Log", "UplinkReset", va + "/reset.php");
    profile.setString("Aviolog", "AcarsSite", va + "/alternate.php");
    profile.setString("Aviolog", "StatusSite", va + "/status.php");
}

struct Flown {
    double cpuMs = 0.0;
    std::size_t requests = 0;
};

// One flight; its recorder thread's CPU time, or nothing when it did not stop.
std::optional<Flown> flyOnce(bool acars) {
    bench::ScratchDir dir;
    prepare(dir.path(), acars);
    headless::RunnerOptions options;
    options.workDir = dir.path().string();
    options.scenarioPath = std::string(AVIOLOG_DATA_DIR) + "/scenarios/lppt-lppr.scn";
    options.form.aircraftType = "A320";
    options.form.registration = "CS-TNA";
    options.form.flightNumber = "TP1944";
    options.vaInBackground = true;
    const double startMs = threadCpuMs();
    const headless::RunResult result = headless::runFlight(options);
    Flown flown{threadCpuMs() - startMs, 0};
    if (result.end != headless::RunResult::End::Stopped) return std::nullopt;
    for (const std::string& call : result.calls) flown.requests += call.starts_with("va get ");
    return flown;
}

// The two flights alternate, so that a machine busy with something else for a while
// burdens both alike; each pair gives one ratio.
void BM_FlightPairs(benchmark::State& state) {
    if (!server().running()) {
        state.SkipWithError("no loopback VA server");
        return;
    }
    for (auto _ : state) {
        const auto off = flyOnce(false);
        const auto on = flyOnce(true);
        if (!off || !on) {
            state.SkipWithError("a flight did not stop");
            return;
        }
        gRequests = on->requests;
        gOffMs.push_back(off->cpuMs);
        gOnMs.push_back(on->cpuMs);
        gRatios.push_back(on->cpuMs / off->cpuMs);
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
        std::printf(
            "\nrecorder thread CPU per flight (medians of %zu pairs): ACARS off %.1f ms, "
            "ACARS on %.1f ms (%zu VA requests a flight); median ratio %.3f (goal <= 1.05)\n",
            gRatios.size(), median(gOffMs), median(gOnMs), gRequests, median(gRatios));
    }
    benchmark::Shutdown();
    return 0;
}
