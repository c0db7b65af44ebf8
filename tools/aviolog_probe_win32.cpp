// aviolog-probe.exe: the connection diagnostic inside a simulator's Windows or Wine prefix.
// Opens the simulator link through the Win32 calls, as the recorder does, and prints the
// live variables at a fixed interval: the pilot's check that FSUIPC answers there.

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "platform/win32/win32_clock.h"
#include "platform/win32/win32_sim_ipc.h"
#include "simlink/sim_link.h"
#include "tools/probe_snapshot.h"

namespace {

using namespace aviolog;
using simlink::SimLink;

constexpr int kConnectIntervalMs = 2000;

constexpr const char* kUsage =
    "usage: aviolog-probe.exe [options]\n"
    "  --interval-ms N     print the variables every N ms (default 1000)\n"
    "  --count N           stop after N lines (default: never)\n"
    "  --wait SECONDS      give up when no simulator is found in time (default: wait forever)\n"
    "  --exit-on-loss      stop when the simulator is lost instead of waiting for it\n";

struct Options {
    int intervalMs = 1000;
    long count = 0;
    double waitSec = 0.0;
    bool exitOnLoss = false;
};

bool parseOptions(int argc, char** argv, Options* options) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            std::exit(0);
        }
        if (arg == "--exit-on-loss") {
            options->exitOnLoss = true;
            continue;
        }
        char* end = nullptr;
        const double number = i + 1 < argc ? std::strtod(argv[i + 1], &end) : -1.0;
        const bool numeric = end != nullptr && end != argv[i + 1] && *end == '\0' && number >= 0.0;
        if (arg == "--interval-ms" && numeric && number >= 10.0) {
            options->intervalMs = static_cast<int>(number);
        } else if (arg == "--count" && numeric) {
            options->count = static_cast<long>(number);
        } else if (arg == "--wait" && numeric) {
            options->waitSec = number;
        } else {
            std::fprintf(stderr, "aviolog-probe: bad option %s\n%s", argv[i], kUsage);
            return false;
        }
        ++i;
    }
    return true;
}

class Probe final : public simlink::LinkLossObserver {
  public:
    explicit Probe(const Options& options) : options_(options), link_(ipc_, clock_) {
        link_.setLossObserver(this);
    }

    int run() {
        std::printf("aviolog-probe: looking for the simulator...\n");
        std::fflush(stdout);
        for (;;) {
            const std::int64_t started = clock_.monotonicMs();
            if (!connect(started)) return 1;
            lost_ = false;
            while (!lost_) {
                const std::int64_t due = clock_.monotonicMs() + options_.intervalMs;
                probe::Snapshot snapshot{};
                if (probe::readSnapshot(link_, snapshot)) {
                    std::printf("%s\n", probe::describe(snapshot).c_str());
                    std::fflush(stdout);
                    if (options_.count > 0 && ++lines_ >= options_.count) return 0;
                }
                const std::int64_t left = due - clock_.monotonicMs();
                if (!lost_ && left > 0) clock_.sleepMs(static_cast<int>(left));
            }
            if (options_.exitOnLoss) return 0;
        }
    }

    void simulatorLost() override {
        lost_ = true;
        std::printf("aviolog-probe: simulator lost: %s (result %u)%s\n",
                    SimLink::resultText(link_.lastResult()), link_.lastResult(),
                    options_.exitOnLoss ? "" : "; waiting for it to come back");
        std::fflush(stdout);
    }

  private:
    // Tries until the link opens; false when the wait runs out first.
    bool connect(std::int64_t started) {
        std::uint32_t lastResult = SimLink::kOk;
        while (!link_.open(0)) {
            if (link_.lastResult() != lastResult) {
                lastResult = link_.lastResult();
                std::printf("aviolog-probe: not connected: %s (result %u); trying again\n",
                            SimLink::resultText(lastResult), lastResult);
                std::fflush(stdout);
            }
            if (options_.waitSec > 0.0 && clock_.monotonicMs() - started >
                                              static_cast<std::int64_t>(options_.waitSec * 1000)) {
                std::fprintf(stderr, "aviolog-probe: no simulator: %s (result %u)\n",
                             SimLink::resultText(lastResult), lastResult);
                return false;
            }
            clock_.sleepMs(kConnectIntervalMs);
        }
        link_.setFailureCount(0);
        std::printf("aviolog-probe: connected; interface version %X.%02X, simulator %u\n",
                    link_.fsuipcVersion() >> 28, (link_.fsuipcVersion() >> 20) & 0xFF,
                    link_.simulatorVersion());
        std::fflush(stdout);
        return true;
    }

    const Options& options_;
    platform::win32::Win32Clock clock_;
    platform::win32::Win32SimIpc ipc_;
    SimLink link_;
    bool lost_ = false;
    long lines_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!parseOptions(argc, argv, &options)) return 2;
    Probe probe(options);
    return probe.run();
}
