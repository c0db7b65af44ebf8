// aviolog-sim.exe: the simulator stand-in on Windows (or under Wine). It serves the same
// scenarios as the Linux program, as the simulator interface does there: hidden windows of
// class "UIPCMAIN" and "FS98MAIN" answer the registered message by opening the mapping that
// the atom names, walking its request records and returning the result.

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "sim/scenario.h"
#include "sim/simulator.h"
#include "wire/sim_ipc_wire.h"

namespace {

using namespace aviolog;

constexpr const char* kUsage =
    "usage: aviolog-sim.exe [options]\n"
    "  --scenario FILE       scenario to fly (default: data/scenarios/lppt-lppr.scn)\n"
    "  --speed X             run X times faster than real time, up to 1000 (default 1)\n"
    "  --window CLASS        serve only as UIPCMAIN or FS98MAIN (default: both)\n"
    "  --fsuipc-version HEX  interface version to report (default 34800000)\n"
    "  --sim-version HEX     simulator version word to report (default FADE0007)\n"
    "  --status SECONDS      print a status line every SECONDS of real time (0: never;\n"
    "                        default 10)\n"
    "  --exit-when-parked    stop a few seconds after parking at the arrival gate\n"
    "  --reply HEX           answer every message with this value, serving nothing (to test\n"
    "                        a client against an interface that refuses)\n"
    "  --garble              change each answered block's first record (to test a client\n"
    "                        against an interface that answers wrongly)\n"
    "Commands on standard input: type 'help'. The end of piped input stops the simulator.\n";

constexpr double kMaxSpeed = 1000.0;
constexpr UINT_PTR kModelTimer = 1;
constexpr UINT_PTR kStatusTimer = 2;
constexpr UINT_PTR kParkedTimer = 3;
constexpr UINT kModelTickMs = 20;
constexpr UINT kParkedLingerMs = 3000;
// A silent simulator keeps the message this long at most: longer than the link waits.
constexpr int kLongestSilenceMs = 2500;
constexpr UINT kCommandMessage = WM_APP + 1;

struct Options {
    std::string scenario = "data/scenarios/lppt-lppr.scn";
    double speed = 1.0;
    std::vector<std::string> windows{std::string(wire::kWindowClass),
                                     std::string(wire::kLegacyWindowClass)};
    sim::SimulatorOptions versions;
    double statusEverySec = 10.0;
    bool exitWhenParked = false;
    std::optional<std::uint32_t> reply;
    bool garble = false;
};

bool parseHex(const char* text, std::uint32_t* out) {
    char* end = nullptr;
    const unsigned long long v = std::strtoull(text, &end, 16);
    if (end == text || *end != '\0' || v > 0xFFFFFFFFull) return false;
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

bool takeOption(std::string_view arg, const char* value, Options* o) {
    std::uint32_t hex = 0;
    if (arg == "--scenario") return o->scenario = value, true;
    if (arg == "--speed")
        return parseNumber(value, &o->speed) && o->speed > 0 && o->speed <= kMaxSpeed;
    if (arg == "--window") {
        if (value != wire::kWindowClass && value != wire::kLegacyWindowClass) return false;
        o->windows = {value};
        return true;
    }
    if (arg == "--fsuipc-version") return parseHex(value, &o->versions.fsuipcVersion);
    if (arg == "--sim-version") return parseHex(value, &o->versions.simulatorVersion);
    if (arg == "--status") return parseNumber(value, &o->statusEverySec);
    if (arg == "--reply") return parseHex(value, &hex) && (o->reply = hex, true);
    return false;
}

bool parseOptions(int argc, char** argv, Options* options) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            std::exit(0);
        }
        if (arg == "--exit-when-parked" || arg == "--garble") {
            (arg == "--garble" ? options->garble : options->exitWhenParked) = true;
            continue;
        }
        if (i + 1 >= argc || !takeOption(arg, argv[i + 1], options)) {
            std::fprintf(stderr, "aviolog-sim: bad option %s%s%s\n%s", argv[i],
                         i + 1 < argc ? " " : "", i + 1 < argc ? argv[i + 1] : "", kUsage);
            return false;
        }
        ++i;
    }
    return true;
}

// Lines typed on standard input, read on a thread of their own and handed to the window's
// thread, which owns the simulator.
class CommandReader {
  public:
    explicit CommandReader(HWND window) : window_(window) {
        const DWORD type = GetFileType(GetStdHandle(STD_INPUT_HANDLE));
        endStops_ = type == FILE_TYPE_PIPE || type == FILE_TYPE_DISK;
        std::thread([this] { run(); }).detach();
    }
    // The lines read since the last call; "" stands for the end of the input.
    std::deque<std::optional<std::string>> take() {
        std::lock_guard lock(mutex_);
        return std::exchange(lines_, {});
    }

  private:
    void run() {
        char line[512];
        while (std::fgets(line, sizeof line, stdin) != nullptr) {
            std::string text(line);
            while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
            push(std::move(text));
        }
        if (endStops_) push(std::nullopt);
    }
    void push(std::optional<std::string> line) {
        {
            std::lock_guard lock(mutex_);
            lines_.push_back(std::move(line));
        }
        PostMessageA(window_, kCommandMessage, 0, 0);
    }

    HWND window_;
    bool endStops_ = false;
    std::mutex mutex_;
    std::deque<std::optional<std::string>> lines_;
};

class WindowsSim {
  public:
    WindowsSim(const Options& options, sim::Simulator& simulator)
        : options_(options), simulator_(simulator) {}

    int run() {
        message_ = RegisterWindowMessageA(std::string(wire::kMessageName).c_str());
        if (message_ == 0) return fail("cannot register the message");
        HINSTANCE instance = GetModuleHandleA(nullptr);
        for (const std::string& name : options_.windows) {
            if (FindWindowExA(nullptr, nullptr, name.c_str(), nullptr) != nullptr) {
                return fail("a window of class " + name +
                            " exists already (is another simulator "
                            "interface running?)");
            }
            WNDCLASSA windowClass{};
            windowClass.lpfnWndProc = &WindowsSim::windowProc;
            windowClass.hInstance = instance;
            windowClass.lpszClassName = name.c_str();
            if (RegisterClassA(&windowClass) == 0) return fail("cannot register class " + name);
            // A top-level window that is never shown: FindWindowEx finds it, nobody sees it.
            HWND window = CreateWindowExA(0, name.c_str(), "aviolog-sim", WS_POPUP, 0, 0, 0, 0,
                                          nullptr, nullptr, instance, this);
            if (window == nullptr) return fail("cannot create the window " + name);
            windows_.push_back(window);
        }
        simulator_.setMessageSink([](std::string_view text) {
            std::printf("[simulator message] %.*s\n", static_cast<int>(text.size()), text.data());
            std::fflush(stdout);
        });
        std::string served;
        for (const std::string& name : options_.windows)
            served += (served.empty() ? "" : " and ") + name;
        std::printf("aviolog-sim: serving as %s at %gx speed; type 'help' for commands\n",
                    served.c_str(), options_.speed);
        report();
        lastStage_ = std::string(simulator_.stageName());
        lastTick_ = std::chrono::steady_clock::now();
        SetTimer(windows_.front(), kModelTimer, kModelTickMs, nullptr);
        if (options_.statusEverySec > 0.0) {
            SetTimer(windows_.front(), kStatusTimer,
                     static_cast<UINT>(options_.statusEverySec * 1000.0), nullptr);
        }
        reader_.emplace(windows_.front());
        MSG msg;
        while (GetMessageA(&msg, nullptr, 0, 0) > 0) DispatchMessageA(&msg);
        std::printf("aviolog-sim: stopped after %s\n", simulator_.statusLine().c_str());
        std::fflush(stdout);
        for (HWND window : windows_) DestroyWindow(window);
        return 0;
    }

  private:
    static LRESULT CALLBACK windowProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
        if (msg == WM_NCCREATE) {
            auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
            SetWindowLongPtrA(window, GWLP_USERDATA,
                              reinterpret_cast<LONG_PTR>(create->lpCreateParams));
        }
        auto* self = reinterpret_cast<WindowsSim*>(GetWindowLongPtrA(window, GWLP_USERDATA));
        if (self != nullptr) {
            if (msg == self->message_ && self->message_ != 0) return self->serve(wParam);
            if (msg == WM_TIMER) return self->onTimer(wParam), 0;
            if (msg == kCommandMessage) return self->runCommands(), 0;
        }
        return DefWindowProcA(window, msg, wParam, lParam);
    }

    // One exchange: the atom names the client's mapping; the reply is the walk's result.
    LRESULT serve(WPARAM wParam) {
        // A hung simulator keeps the message until it answers again, or the sender has
        // long given up.
        const auto silentSince = std::chrono::steady_clock::now();
        while (!simulator_.answering() && std::chrono::steady_clock::now() - silentSince <
                                              std::chrono::milliseconds(kLongestSilenceMs)) {
            Sleep(10);
            tick();
            // The operator's "answer" must not wait behind the messages held meanwhile.
            runCommands();
        }
        if (!simulator_.answering()) return 0;
        if (options_.reply) return static_cast<LRESULT>(*options_.reply);
        char name[256] = {};
        if (GlobalGetAtomNameA(static_cast<ATOM>(wParam), name, sizeof name) == 0) return 0;
        HANDLE mapping = OpenFileMappingA(FILE_MAP_WRITE, FALSE, name);
        if (mapping == nullptr) return 0;
        auto* view = static_cast<std::byte*>(MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, 0));
        std::uint32_t reply = 0;
        if (view != nullptr) {
            // The client decides the block's size; never walk past what it mapped.
            MEMORY_BASIC_INFORMATION info{};
            const std::size_t size = VirtualQuery(view, &info, sizeof info) != 0
                                         ? std::min<std::size_t>(info.RegionSize, wire::kBlockSize)
                                         : 0;
            reply = size != 0 ? simulator_.serve({view, size}) : 0;
            if (options_.garble && size >= 8) wire::store32(view + 4, wire::load32(view + 4) ^ 1);
            UnmapViewOfFile(view);
        }
        CloseHandle(mapping);
        return static_cast<LRESULT>(reply);
    }

    void onTimer(WPARAM id) {
        if (id == kModelTimer) tick();
        if (id == kStatusTimer) report();
        if (id == kParkedTimer) PostQuitMessage(0);
    }

    void tick() {
        const auto now = std::chrono::steady_clock::now();
        const double realMs = std::chrono::duration<double, std::milli>(now - lastTick_).count();
        lastTick_ = now;
        carriedMs_ += realMs * options_.speed;
        const auto whole = static_cast<std::int64_t>(carriedMs_);
        carriedMs_ -= static_cast<double>(whole);
        simulator_.advance(whole);
        if (simulator_.stageName() != lastStage_) {
            lastStage_ = std::string(simulator_.stageName());
            report();
        }
        if (options_.exitWhenParked && simulator_.finished() && !parking_) {
            parking_ = true;
            std::printf("aviolog-sim: parked at the gate; stopping in %u s\n",
                        kParkedLingerMs / 1000);
            std::fflush(stdout);
            SetTimer(windows_.front(), kParkedTimer, kParkedLingerMs, nullptr);
        }
    }

    void runCommands() {
        for (const std::optional<std::string>& line : reader_->take()) {
            if (!line) {
                std::printf("aviolog-sim: end of the commands; stopping\n");
                PostQuitMessage(0);
                continue;
            }
            if (line->find_first_not_of(" \t") == std::string::npos) continue;
            if (*line == "quit" || *line == "exit") {
                PostQuitMessage(0);
                continue;
            }
            const sim::CommandResult result = simulator_.command(*line);
            std::printf("%s%s\n", result.ok ? "" : "aviolog-sim: ", result.message.c_str());
        }
        std::fflush(stdout);
    }

    void report() {
        std::printf("%s\n", simulator_.statusLine().c_str());
        std::fflush(stdout);
    }

    int fail(const std::string& why) {
        std::fprintf(stderr, "aviolog-sim: %s\n", why.c_str());
        return 1;
    }

    const Options& options_;
    sim::Simulator& simulator_;
    UINT message_ = 0;
    std::vector<HWND> windows_;
    std::optional<CommandReader> reader_;
    std::chrono::steady_clock::time_point lastTick_;
    double carriedMs_ = 0.0;
    std::string lastStage_;
    bool parking_ = false;
};

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!parseOptions(argc, argv, &options)) return 2;
    auto loaded = sim::loadScenario(options.scenario);
    if (!loaded.ok()) {
        std::fprintf(stderr, "aviolog-sim: %s\n", loaded.error.c_str());
        return 2;
    }
    sim::Simulator simulator(*loaded.value, options.versions);
    WindowsSim program(options, simulator);
    return program.run();
}
