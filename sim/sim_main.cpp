// aviolog-sim: serves the simulator's variables over the simulator IPC from a scripted
// flight, in real time or faster, and takes operator commands on its standard input.

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "platform/posix/event_loop.h"
#include "platform/posix/operator_input.h"
#include "platform/posix/sim_ipc_server.h"
#include "platform/posix/stop_signals.h"
#include "platform/posix/work_folder.h"
#include "sim/scenario.h"
#include "sim/simulator.h"
#include "wire/sim_ipc_wire.h"

namespace {

using namespace aviolog;

constexpr const char* kUsage =
    "usage: aviolog-sim [options]\n"
    "  --scenario FILE       scenario to fly (default: data/scenarios/lppt-lppr.scn, or\n"
    "                        the installed share/aviolog/scenarios/lppt-lppr.scn)\n"
    "  --speed X             run X times faster than real time, up to 1000 (default 1)\n"
    "  --window CLASS        serve as UIPCMAIN (default) or FS98MAIN\n"
    "  --fsuipc-version HEX  interface version to report (default 34800000)\n"
    "  --sim-version HEX     simulator version word to report (default FADE0007)\n"
    "  --status SECONDS      print a status line every SECONDS of real time (0: never;\n"
    "                        default 10)\n"
    "  --exit-when-parked    stop a few seconds after parking at the arrival gate\n"
    "  --ipc-prefix PREFIX   prefix of the socket name (keeps test runs apart)\n"
    "Commands on standard input: type 'help'. The end of the input (Ctrl-D, the end of a\n"
    "pipe or file of commands) stops the simulator; with no input (< /dev/null) it runs\n"
    "until 'quit', Ctrl-C or --exit-when-parked.\n";

constexpr const char* kDefaultScenario = "data/scenarios/lppt-lppr.scn";

// The default scenario from the source tree, or the installed one when the program runs
// installed and the source tree's is not here.
std::string defaultScenario() {
    std::error_code ec;
    if (std::filesystem::exists(kDefaultScenario, ec)) return kDefaultScenario;
    const std::filesystem::path share = platform::posix::installedShareDir();
    if (share.empty()) return kDefaultScenario;
    return (share / "scenarios" / "lppt-lppr.scn").string();
}

// Beyond this the model's small steps would keep the server from answering in time.
constexpr double kMaxSpeed = 1000.0;

struct Options {
    std::string scenario = kDefaultScenario;
    double speed = 1.0;
    std::string window{wire::kWindowClass};
    std::string prefix;
    sim::SimulatorOptions versions;
    double statusEverySec = 10.0;
    bool exitWhenParked = false;
};

bool parseHex(const char* text, std::uint32_t* out) {
    char* end = nullptr;
    errno = 0;
    const unsigned long v = std::strtoul(text, &end, 16);
    if (errno != 0 || end == text || *end != '\0' || v > 0xFFFFFFFFul) return false;
    *out = static_cast<std::uint32_t>(v);
    return true;
}

bool parseNumber(const char* text, double* out) {
    char* end = nullptr;
    const double v = std::strtod(text, &end);
    if (end == text || *end != '\0' || !(v >= 0.0)) return false;
    *out = v;
    return true;
}

// Returns false, with a message printed, for a command line it cannot use.
bool parseOptions(int argc, char** argv, Options* options) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        const auto needValue = [&] {
            if (value == nullptr) std::fprintf(stderr, "aviolog-sim: %s needs a value\n", argv[i]);
            return value != nullptr;
        };
        bool ok = true;
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            std::exit(0);
        } else if (arg == "--exit-when-parked") {
            options->exitWhenParked = true;
            continue;
        } else if (arg == "--scenario") {
            ok = needValue() && (options->scenario = value, true);
        } else if (arg == "--speed") {
            ok = needValue() && parseNumber(value, &options->speed) && options->speed > 0.0 &&
                 options->speed <= kMaxSpeed;
        } else if (arg == "--window") {
            ok = needValue() && (options->window = value, true);
        } else if (arg == "--ipc-prefix") {
            ok = needValue() && (options->prefix = value, true);
        } else if (arg == "--fsuipc-version") {
            ok = needValue() && parseHex(value, &options->versions.fsuipcVersion);
        } else if (arg == "--sim-version") {
            ok = needValue() && parseHex(value, &options->versions.simulatorVersion);
        } else if (arg == "--status") {
            ok = needValue() && parseNumber(value, &options->statusEverySec);
        } else {
            std::fprintf(stderr, "aviolog-sim: unknown option %s\n%s", argv[i], kUsage);
            return false;
        }
        if (!ok) {
            if (value != nullptr) {
                std::fprintf(stderr, "aviolog-sim: bad value '%s' for %s\n", value, argv[i]);
            }
            return false;
        }
        ++i;
    }
    return true;
}

enum LoopTimer : int { kModelTick = 1, kStatus = 2, kParkedExit = 3 };
constexpr int kModelTickMs = 20;
constexpr int kParkedLingerMs = 3000;

// Drives the simulator from the wall clock and the operator's input.
class SimProgram final : public platform::TimerSink {
  public:
    SimProgram(const Options& options, sim::Simulator& simulator)
        : options_(options),
          simulator_(simulator),
          server_(loop_, [this](std::span<std::byte> block) { return simulator_.serve(block); }) {
        loop_.setTimerSink(this);
    }

    int run() {
        if (!server_.listen(options_.prefix + options_.window)) {
            std::fprintf(stderr,
                         "aviolog-sim: cannot serve as %s: %s (is another simulator running?)\n",
                         options_.window.c_str(), std::strerror(errno));
            return 1;
        }
        if (signals_.fd() < 0) {
            std::perror("aviolog-sim: signalfd");
            return 1;
        }
        loop_.watch(signals_.fd(), POLLIN, [this](short) { loop_.quit(); });
        // A script of commands piped in, or a terminal session, ends with its input;
        // started with nothing to read (< /dev/null, as a demo or a test starts it), the
        // simulator flies on until quit, a signal or --exit-when-parked.
        std::function<void()> onEnd;
        if (platform::posix::OperatorInput::endOfInputEndsTheSession()) {
            onEnd = [this] {
                std::printf("aviolog-sim: end of the commands; stopping\n");
                loop_.quit();
            };
        }
        input_.emplace(
            loop_, [this](const std::string& line) { runCommand(line); }, std::move(onEnd));
        simulator_.setMessageSink([](std::string_view text) {
            std::printf("[simulator message] %.*s\n", static_cast<int>(text.size()), text.data());
            std::fflush(stdout);
        });
        std::printf("aviolog-sim: serving as %s at %gx speed; type 'help' for commands\n",
                    options_.window.c_str(), options_.speed);
        report();
        // The stage just reported is not a change to report again at the first tick.
        lastStage_ = std::string(simulator_.stageName());
        lastTick_ = std::chrono::steady_clock::now();
        loop_.start(kModelTick, kModelTickMs);
        if (options_.statusEverySec > 0.0) {
            loop_.start(kStatus, static_cast<int>(options_.statusEverySec * 1000.0));
        }
        loop_.run();
        std::printf("aviolog-sim: stopped after %s\n", simulator_.statusLine().c_str());
        return 0;
    }

    void onTimer(int id) override {
        switch (id) {
            case kModelTick:
                tick();
                break;
            case kStatus:
                report();
                break;
            case kParkedExit:
                loop_.quit();
                break;
            default:
                break;
        }
    }

  private:
    void tick() {
        const auto now = std::chrono::steady_clock::now();
        const double realMs = std::chrono::duration<double, std::milli>(now - lastTick_).count();
        lastTick_ = now;
        carriedMs_ += realMs * options_.speed;
        const auto whole = static_cast<std::int64_t>(carriedMs_);
        carriedMs_ -= static_cast<double>(whole);
        simulator_.advance(whole);
        server_.setAnswering(simulator_.answering());
        if (simulator_.stageName() != lastStage_) {
            lastStage_ = std::string(simulator_.stageName());
            report();
        }
        if (options_.exitWhenParked && simulator_.finished() && !loop_.isRunning(kParkedExit)) {
            std::printf("aviolog-sim: parked at the gate; stopping in %d s\n",
                        kParkedLingerMs / 1000);
            loop_.start(kParkedExit, kParkedLingerMs);
        }
    }

    void report() {
        std::printf("%s\n", simulator_.statusLine().c_str());
        std::fflush(stdout);
    }

    void runCommand(std::string_view line) {
        if (line.find_first_not_of(" \t") == std::string_view::npos) return;
        if (line == "quit" || line == "exit") {
            loop_.quit();
            return;
        }
        const sim::CommandResult result = simulator_.command(line);
        std::printf("%s%s\n", result.ok ? "" : "aviolog-sim: ", result.message.c_str());
        server_.setAnswering(simulator_.answering());
        std::fflush(stdout);
    }

    const Options& options_;
    sim::Simulator& simulator_;
    platform::posix::EventLoop loop_;
    platform::posix::SimIpcServer server_;
    std::chrono::steady_clock::time_point lastTick_;
    double carriedMs_ = 0.0;
    std::string lastStage_;
    platform::posix::StopSignals signals_;
    std::optional<platform::posix::OperatorInput> input_;
};

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!parseOptions(argc, argv, &options)) return 2;
    if (options.scenario == kDefaultScenario) options.scenario = defaultScenario();
    std::setvbuf(stdout, nullptr, _IOLBF, 0);

    auto loaded = sim::loadScenario(options.scenario);
    if (!loaded.ok()) {
        std::fprintf(stderr, "aviolog-sim: %s\n", loaded.error.c_str());
        return 2;
    }
    sim::Simulator simulator(*loaded.value, options.versions);
    SimProgram program(options, simulator);
    return program.run();
}
