// aviolog-probe: is my simulator connected, and what does it report? Opens the simulator
// link as the recorder does and prints the live variables at a fixed interval.

#include <poll.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "common/text_format.h"
#include "platform/posix/event_loop.h"
#include "platform/posix/posix_clock.h"
#include "platform/posix/posix_sim_ipc.h"
#include "platform/posix/stop_signals.h"
#include "simlink/sim_link.h"
#include "simlink/sim_variables.h"
#include "tools/probe_snapshot.h"

namespace {

using namespace aviolog;
using namespace aviolog::simlink;
using namespace aviolog::wire;
using probe::describe;
using probe::readSnapshot;
using probe::Snapshot;

enum ProbeTimer : int { kShowTimer = 1, kConnectTimer = 3 };
constexpr int kConnectIntervalMs = 2000;

constexpr const char* kUsage =
    "usage: aviolog-probe [options]\n"
    "  --interval-ms N     print the variables every N ms (default 1000)\n"
    "  --count N           stop after N lines (default: never)\n"
    "  --wait SECONDS      give up when no simulator is found in time (default: wait forever)\n"
    "  --exit-on-loss      stop when the simulator is lost instead of waiting for it\n"
    "  --ipc-prefix PREFIX prefix of the socket name (to reach a test simulator)\n";

struct Options {
    int intervalMs = 1000;
    long count = 0;
    double waitSec = 0.0;
    bool exitOnLoss = false;
    std::string prefix;
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
        if (i + 1 >= argc) {
            std::fprintf(stderr, "aviolog-probe: %s needs a value\n%s", argv[i], kUsage);
            return false;
        }
        const char* value = argv[++i];
        char* end = nullptr;
        if (arg == "--ipc-prefix") {
            options->prefix = value;
            continue;
        }
        const double number = std::strtod(value, &end);
        const bool numeric = end != value && *end == '\0' && number >= 0.0;
        if (arg == "--interval-ms" && numeric && number >= 10.0) {
            options->intervalMs = static_cast<int>(number);
        } else if (arg == "--count" && numeric) {
            options->count = static_cast<long>(number);
        } else if (arg == "--wait" && numeric) {
            options->waitSec = number;
        } else {
            std::fprintf(stderr, "aviolog-probe: bad option %s %s\n%s", argv[i - 1], value, kUsage);
            return false;
        }
    }
    return true;
}

class Probe final : public platform::TimerSink, public LinkLossObserver {
  public:
    Probe(const Options& options, platform::posix::StopSignals& signals)
        : options_(options), ipc_(options.prefix), link_(ipc_, clock_) {
        loop_.setTimerSink(this);
        link_.setLossObserver(this);
        // Ctrl-C or a kill ends the loop, so that the link releases its shared block.
        if (signals.fd() >= 0) {
            loop_.watch(signals.fd(), POLLIN, [this, &signals](short) {
                signals.received();
                loop_.quit();
            });
        }
    }

    int run() {
        started_ = clock_.monotonicMs();
        std::printf("aviolog-probe: looking for the simulator...\n");
        std::fflush(stdout);
        // The first attempt runs inside the loop: one that gives up must be able to end it.
        loop_.start(kConnectTimer, 1);
        loop_.run();
        return exitCode_;
    }

    void simulatorLost() override {
        loop_.stop(kShowTimer);
        std::printf("aviolog-probe: simulator lost: %s (result %u)%s\n",
                    SimLink::resultText(link_.lastResult()), link_.lastResult(),
                    options_.exitOnLoss ? "" : "; waiting for it to come back");
        std::fflush(stdout);
        if (options_.exitOnLoss) {
            loop_.quit();
            return;
        }
        started_ = clock_.monotonicMs();
        loop_.start(kConnectTimer, kConnectIntervalMs);
    }

    void onTimer(int id) override {
        if (id == kConnectTimer) connect();
        if (id == kShowTimer) show();
    }

  private:
    void connect() {
        loop_.stop(kConnectTimer);
        if (!link_.open(0)) {
            // Say why once per reason, not every two seconds.
            if (link_.lastResult() != lastOpenResult_) {
                lastOpenResult_ = link_.lastResult();
                std::printf("aviolog-probe: not connected: %s (result %u); trying again\n",
                            SimLink::resultText(lastOpenResult_), lastOpenResult_);
                std::fflush(stdout);
            }
            if (options_.waitSec > 0.0 && clock_.monotonicMs() - started_ >
                                              static_cast<std::int64_t>(options_.waitSec * 1000)) {
                std::fprintf(stderr, "aviolog-probe: no simulator: %s (result %u)\n",
                             SimLink::resultText(link_.lastResult()), link_.lastResult());
                exitCode_ = 1;
                loop_.quit();
                return;
            }
            loop_.start(kConnectTimer, kConnectIntervalMs);
            return;
        }
        link_.setFailureCount(0);
        lastOpenResult_ = SimLink::kOk;
        std::printf("aviolog-probe: connected; interface version %X.%02X, simulator %u\n",
                    link_.fsuipcVersion() >> 28, (link_.fsuipcVersion() >> 20) & 0xFF,
                    link_.simulatorVersion());
        std::fflush(stdout);
        show();
        loop_.start(kShowTimer, options_.intervalMs);
    }

    void show() {
        Snapshot snapshot{};
        if (!readSnapshot(link_, snapshot)) return;  // the link counts the failure
        std::printf("%s\n", describe(snapshot).c_str());
        std::fflush(stdout);
        if (options_.count > 0 && ++lines_ >= options_.count) loop_.quit();
    }

    const Options& options_;
    platform::posix::PosixClock clock_;
    platform::posix::PosixSimIpc ipc_;
    platform::posix::EventLoop loop_;
    SimLink link_;
    std::int64_t started_ = 0;
    long lines_ = 0;
    std::uint32_t lastOpenResult_ = SimLink::kOk;
    int exitCode_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!parseOptions(argc, argv, &options)) return 2;
    platform::posix::StopSignals signals;
    Probe probe(options, signals);
    return probe.run();
}
