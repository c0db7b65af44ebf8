// The PIREP of a long flight: a 30 000-character log sent to the loopback VA script in
// 889-character pieces, one request each. The baseline is the same number of bare GETs of
// the same length through the same kind of client, in the same run: the ratio says what
// the report adds to the network's own cost (reading and rewriting the sealed pilot log
// file, building and encoding the requests, the report file).

#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstdio>
#include <memory>
#include <string>

#include "bench/bench_support.h"
#include "bench/median_reporter.h"
#include "config/settings.h"
#include "platform/http_get.h"
#include "platform/posix/curl_http_client.h"
#include "reporting/pilot_log_file.h"
#include "reporting/pirep_sender.h"
#include "tests/support/null_doubles.h"

namespace {

using namespace aviolog;

constexpr std::size_t kLogChars = 30'000;

bench::OkServer& server() {
    static const auto started = [] {
        ::setenv("no_proxy", "127.0.0.1", 1);
        return std::make_unique<bench::OkServer>();
    }();
    return *started;
}

model::FlightSummary longFlight() {
    model::FlightSummary f{"2026/12/08", "09:27:00", "TAP123", "TP1234", "CS-TTA", "LPPT",
                           "LPPR",       "NONE",     "A320",   "1474",   "6180",   "4706",
                           "00:30",      "148",      "-139",   "132",    "55793",  {}};
    while (f.logText.size() < kLogChars) {
        f.logText += "09:41  Altitude: 24000 ft  GS: 412 kt  Fuel: 5120 Kg  Wind: 270/35\n";
    }
    f.logText.resize(kLogChars);
    return f;
}

std::size_t requestsPerReport() {
    return kLogChars / reporting::kLogPieceChars + 1;
}

void BM_Pirep(benchmark::State& state) {
    if (!server().running()) {
        state.SkipWithError("the loopback VA server did not start");
        return;
    }
    bench::ScratchDir dir;
    test::FirstButtonPilot pilot;
    bench::SendingDialogs dialogs("123");
    test::AcceptingMailer mailer;
    platform::posix::CurlHttpClient http;
    reporting::PirepSender sender({.workDir = dir.path(),
                                   .pilot = pilot,
                                   .dialogs = dialogs,
                                   .http = http,
                                   .mailer = mailer});
    config::Settings settings;
    settings.company.CompanyICAO = "TAP";
    settings.company.PilotNumber = "123";
    settings.pirep.Log = server().url("/pirep.php");
    const model::FlightSummary flight = longFlight();
    for (auto _ : state) {
        state.PauseTiming();
        reporting::PilotLogFile file(dir / "TAP123.dat");
        file.open();
        file.add(flight);
        if (!file.save()) std::abort();
        pilot.boxes.clear();
        state.ResumeTiming();
        sender.send(settings);
        if (pilot.boxes != std::vector<std::string>{reporting::kLogSentMessage}) {
            state.SkipWithError("the report was not sent");
            return;
        }
    }
}

void BM_BareGets(benchmark::State& state) {
    if (!server().running()) {
        state.SkipWithError("the loopback VA server did not start");
        return;
    }
    platform::posix::CurlHttpClient http;
    const std::string url = server().url("/pirep.php?log=") + std::string(1100, 'x');
    for (auto _ : state) {
        for (std::size_t i = 0; i < requestsPerReport(); ++i) {
            if (platform::httpGet(http, url) != "OK\n") {
                state.SkipWithError("a request was not answered OK");
                return;
            }
        }
    }
}

BENCHMARK(BM_BareGets)
    ->Iterations(10)
    ->Repetitions(7)
    ->ReportAggregatesOnly(true)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_Pirep)
    ->Iterations(10)
    ->Repetitions(7)
    ->ReportAggregatesOnly(true)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

void printRatios(const bench::MedianReporter& reporter) {
    const auto& ms = reporter.byFunction();
    const auto bare = ms.find("BM_BareGets");
    const auto pirep = ms.find("BM_Pirep");
    if (bare == ms.end() || pirep == ms.end()) return;
    std::printf(
        "\nmedians, a PIREP of a %zu-character log (%zu requests) against as many bare "
        "GETs:\n  pirep %7.2f ms  bare %7.2f ms  pirep/bare %5.2f\n",
        kLogChars, requestsPerReport(), pirep->second, bare->second, pirep->second / bare->second);
}

}  // namespace

int main(int argc, char** argv) {
    return bench::runBenchmarks(argc, argv, printRatios);
}
