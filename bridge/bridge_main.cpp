// aviolog-bridge: serves the simulator IPC from a real simulator, so that the program
// records a flight in FlightGear or X-Plane as it does in its own stand-in.

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "bridge/bridge_options.h"
#include "bridge/flightgear_link.h"
#include "bridge/fsuipc_relay_client.h"
#include "bridge/offset_model.h"
#include "bridge/xplane_link.h"
#include "common/text_format.h"
#include "platform/posix/event_loop.h"
#include "platform/posix/operator_input.h"
#include "platform/posix/posix_util.h"
#include "platform/posix/sim_ipc_server.h"
#include "platform/posix/stop_signals.h"

namespace {

using namespace aviolog;
using namespace aviolog::bridge;

enum LoopTimer : int { kFreshness = 1, kKeepConnected = 2, kStatus = 3 };
constexpr int kFreshnessCheckMs = 50;
constexpr int kKeepConnectedMs = 2000;

// Commands go to whichever simulator link exists; the model is built before the link.
class CommandRelay final : public SimCommands {
  public:
    void attach(SimCommands* target) { target_ = target; }
    void setPaused(bool paused) override { target_->setPaused(paused); }
    void setSimulationRate(double rate) override { target_->setSimulationRate(rate); }
    void clearCrash() override { target_->clearCrash(); }
    void setTankLevel(int tank, double share) override { target_->setTankLevel(tank, share); }
    void endSlew() override { target_->endSlew(); }
    void showMessage(std::string_view text) override { target_->showMessage(text); }

  private:
    SimCommands* target_ = nullptr;
};

class BridgeProgram final : public platform::TimerSink {
  public:
    explicit BridgeProgram(const BridgeOptions& options)
        : options_(options),
          model_(relay_, options.versions),
          server_(loop_, [this](std::span<std::byte> block) {
              return model_.serve(block, platform::posix::monotonicNowMs());
          }) {
        loop_.setTimerSink(this);
        server_.setAnswering(false);  // nothing to answer with before the first picture
    }
    BridgeProgram(const BridgeProgram&) = delete;
    BridgeProgram& operator=(const BridgeProgram&) = delete;

    int run() {
        if (!startSimulator()) return 1;
        if (!server_.listen(options_.prefix + options_.window)) {
            std::fprintf(stderr,
                         "aviolog-bridge: cannot serve as %s: %s (is a simulator interface "
                         "already running?)\n",
                         options_.window.c_str(), std::strerror(errno));
            return 1;
        }
        if (signals_.fd() < 0) {
            std::perror("aviolog-bridge: signalfd");
            return 1;
        }
        loop_.watch(signals_.fd(), POLLIN, [this](short) { loop_.quit(); });
        input_.emplace(loop_, [this](const std::string& line) { runCommand(line); });
        say(format("serving as %s; press Enter for the hot key, type 'help' for commands",
                   options_.window.c_str()));
        loop_.start(kFreshness, kFreshnessCheckMs);
        loop_.start(kKeepConnected, kKeepConnectedMs);
        if (options_.statusEverySec > 0.0) {
            loop_.start(kStatus, static_cast<int>(options_.statusEverySec * 1000.0));
        }
        loop_.run();
        say("stopped; " + statusLine());
        return 0;
    }

    void onTimer(int id) override {
        if (id == kFreshness) checkFreshness();
        if (id == kKeepConnected) {
            if (flightGear_) flightGear_->keepConnected();
            if (xplane_) xplane_->keepSubscribed();
        }
        if (id == kStatus) say(statusLine());
    }

  private:
    bool startSimulator() {
        auto onPicture = [this](const wire::SimPicture& picture) {
            model_.update(picture, platform::posix::monotonicNowMs());
            checkFreshness();
        };
        auto report = [this](const std::string& line) { say(line); };
        if (options_.simulator == SimulatorKind::FlightGear) {
            flightGear_ =
                std::make_unique<FlightGearLink>(loop_, options_.flightGear, onPicture, report);
            relay_.attach(flightGear_.get());
            if (!flightGear_->start()) {
                std::fprintf(stderr, "aviolog-bridge: cannot receive FlightGear's data on %s: %s\n",
                             addressText(options_.flightGear.listen).c_str(), std::strerror(errno));
                return false;
            }
            say(format("waiting for FlightGear's data on UDP %s; property interface %s",
                       addressText(options_.flightGear.listen).c_str(),
                       addressText(options_.flightGear.props).c_str()));
            return true;
        }
        xplane_ = std::make_unique<XPlaneLink>(loop_, options_.xplane, onPicture, report);
        relay_.attach(xplane_.get());
        if (!xplane_->start()) {
            std::fprintf(stderr, "aviolog-bridge: cannot open the X-Plane link: %s\n",
                         std::strerror(errno));
            return false;
        }
        return true;
    }

    void checkFreshness() {
        const bool fresh = model_.fresh(platform::posix::monotonicNowMs(), options_.staleMs);
        if (fresh == server_.answering()) return;
        server_.setAnswering(fresh);
        say(fresh ? "simulator data arriving: answering the program"
                  : "no data from the simulator: not answering the program until it is back");
    }

    std::string statusLine() const {
        const AnswerAges& a = model_.ages();
        const std::uint64_t packets = flightGear_ ? flightGear_->packets() : xplane_->packets();
        const std::uint64_t rejected = flightGear_ ? flightGear_->rejected() : xplane_->rejected();
        return format(
            "packets %llu (rejected %llu), exchanges %llu, data age mean %.1f ms "
            "max %lld ms%s",
            static_cast<unsigned long long>(packets), static_cast<unsigned long long>(rejected),
            static_cast<unsigned long long>(a.answers), a.meanAgeMs(),
            static_cast<long long>(a.maxAgeMs), server_.answering() ? "" : ", not answering");
    }

    void say(const std::string& line) {
        std::printf("aviolog-bridge: %s\n", line.c_str());
        std::fflush(stdout);
    }

    void runCommand(std::string_view line) {
        if (line.empty() || line == "key") {
            const int pressed = model_.pressHotKeys();
            say(pressed > 0 ? format("hot key pressed (%d entries)", pressed)
                            : "hot key: the program has set no hot key");
        } else if (line == "status") {
            say(statusLine());
        } else if (line == "reset") {
            model_.resetAges();
            say("data ages reset");
        } else if (line == "quit" || line == "exit") {
            loop_.quit();
        } else {
            say("commands: Enter or 'key' (press the hot key), 'status', 'reset' (the data "
                "ages), 'quit'");
        }
    }

    const BridgeOptions& options_;
    platform::posix::EventLoop loop_;
    CommandRelay relay_;
    OffsetModel model_;
    platform::posix::SimIpcServer server_;
    std::unique_ptr<FlightGearLink> flightGear_;
    std::unique_ptr<XPlaneLink> xplane_;
    platform::posix::StopSignals signals_;
    std::optional<platform::posix::OperatorInput> input_;
};

// FSUIPC in a Wine or Proton prefix: every exchange is passed whole to the relay there,
// and FSUIPC's answer is the answer. Nothing is modelled here, so nothing can be stale.
class FsuipcBridgeProgram {
  public:
    explicit FsuipcBridgeProgram(const BridgeOptions& options)
        : options_(options),
          relay_(options.fsuipcRelay),
          server_(loop_, [this](std::span<std::byte> block) { return pass(block); }) {}

    int run() {
        if (!server_.listen(options_.prefix + options_.window)) {
            std::fprintf(stderr,
                         "aviolog-bridge: cannot serve as %s: %s (is a simulator interface "
                         "already running?)\n",
                         options_.window.c_str(), std::strerror(errno));
            return 1;
        }
        if (signals_.fd() < 0) {
            std::perror("aviolog-bridge: signalfd");
            return 1;
        }
        loop_.watch(signals_.fd(), POLLIN, [this](short) { loop_.quit(); });
        input_.emplace(loop_, [this](const std::string& line) { runCommand(line); });
        say(format("serving as %s; passing the exchanges to aviolog-fsuipc-relay at %s",
                   options_.window.c_str(), addressText(options_.fsuipcRelay).c_str()));
        loop_.run();
        say("stopped; " + statusLine());
        return 0;
    }

  private:
    std::uint32_t pass(std::span<std::byte> block) {
        const bool wasConnected = relay_.connected();
        const std::uint32_t reply = relay_.exchange(block);
        // Said when it changes, not at every exchange.
        if (relay_.connected() != wasConnected || (reply == 0) != lastFailed_) {
            lastFailed_ = reply == 0;
            say(reply != 0 ? "the relay answers"
                : relay_.connected()
                    ? format("FSUIPC refused or did not answer (reply %u)", reply)
                    : "cannot reach the relay: the program sees the simulator as gone");
        }
        return reply;
    }

    std::string statusLine() const {
        return format("exchanges %llu, failed %llu, relay %s",
                      static_cast<unsigned long long>(relay_.exchanges()),
                      static_cast<unsigned long long>(relay_.failures()),
                      relay_.connected() ? "connected" : "not connected");
    }

    void say(const std::string& line) {
        std::printf("aviolog-bridge: %s\n", line.c_str());
        std::fflush(stdout);
    }

    void runCommand(std::string_view line) {
        if (line == "status") {
            say(statusLine());
        } else if (line == "quit" || line == "exit") {
            loop_.quit();
        } else if (!line.empty()) {
            say("commands: 'status', 'quit'");
        }
    }

    const BridgeOptions& options_;
    platform::posix::EventLoop loop_;
    FsuipcRelayClient relay_;
    platform::posix::SimIpcServer server_;
    bool lastFailed_ = false;
    platform::posix::StopSignals signals_;
    std::optional<platform::posix::OperatorInput> input_;
};

}  // namespace

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    const ParsedOptions parsed = parseBridgeOptions(argc, argv);
    if (!parsed.error.empty()) {
        std::fprintf(stderr, "aviolog-bridge: %s\n%s", parsed.error.c_str(), bridgeUsage().c_str());
        return 2;
    }
    if (parsed.help) {
        std::fputs(bridgeUsage().c_str(), stdout);
        return 0;
    }
    if (parsed.printProtocol) {
        std::fputs(fg::protocolXml().c_str(), stdout);
        return 0;
    }
    if (parsed.options.simulator == SimulatorKind::Fsuipc) {
        FsuipcBridgeProgram program(parsed.options);
        return program.run();
    }
    BridgeProgram program(parsed.options);
    return program.run();
}
