// The simulator link against an aviolog-sim process over the real Linux transport.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "common/text_format.h"
#include "platform/posix/event_loop.h"
#include "platform/posix/posix_clock.h"
#include "platform/posix/posix_sim_ipc.h"
#include "platform/posix/posix_util.h"
#include "platform/posix/sim_ipc_server.h"
#include "sim/simulator.h"
#include "simlink/sim_link.h"
#include "simlink/sim_variables.h"
#include "tests/support/child_process.h"
#include "tests/support/link_rig.h"
#include "tests/support/sim_fixture.h"
#include "tests/support/wait.h"
#include "wire/request_server.h"

namespace aviolog::simlink {
namespace {

using namespace wire;

using namespace std::chrono_literals;

std::string uniquePrefix() {
    static int runs = 0;
    return "aviolog-test-" + std::to_string(getpid()) + "-" + std::to_string(++runs) + "-";
}

// Waits until a simulator accepts connections under the prefix and class name.
bool simulatorListening(const std::string& prefix, std::string_view windowClass = "UIPCMAIN") {
    platform::posix::PosixSimIpc probe(prefix);
    return test::waitFor([&] {
        const auto w = probe.findWindow(windowClass);
        if (w) probe.releaseWindow(w);
        return w != 0;
    });
}

// An aviolog-sim process serving under a socket prefix of its own.
struct SimProcess {
    SimProcess(const std::string& prefix, std::vector<std::string> extra = {},
               const std::string& scenario = "short-hop.scn") {
        std::vector<std::string> args{"--scenario",   test::dataPath("scenarios/" + scenario),
                                      "--ipc-prefix", prefix,
                                      "--status",     "0"};
        args.insert(args.end(), extra.begin(), extra.end());
        process = std::make_unique<test::ChildProcess>(AVIOLOG_SIM_PATH, args);
    }
    // Waits until the simulator accepts connections under the class name.
    bool listening(const std::string& prefix, std::string_view windowClass = "UIPCMAIN") {
        return simulatorListening(prefix, windowClass);
    }
    std::unique_ptr<test::ChildProcess> process;
};

struct Client {
    explicit Client(const std::string& prefix) : ipc(prefix), link(ipc, clock) {
        link.setLossObserver(&losses);
        // The protocol's 2000 ms and 100 ms, shortened so a lost simulator shows in ms.
        link.setTimingForTests(100, 2);
    }
    platform::posix::PosixClock clock;
    platform::posix::PosixSimIpc ipc;
    test::LossCounter losses;
    SimLink link;
};

bool saysNotAnswering(const SimProcess& sim) {
    return sim.process->output().find("not answering") != std::string::npos;
}

// A simulator process of its own and a client whose link is open to it.
struct Connected {
    Connected() : prefix(uniquePrefix()), sim(prefix), client(prefix) {
        opened = sim.listening(prefix) && client.link.open(0);
    }
    std::string prefix;
    SimProcess sim;
    Client client;
    bool opened = false;
};

TEST(SimIpcIntegration, OpenReadAndWriteOverTheLinuxTransport) {
    const std::string prefix = uniquePrefix();
    SimProcess sim(prefix);
    ASSERT_TRUE(sim.listening(prefix)) << sim.process->output();
    Client client(prefix);
    ASSERT_TRUE(client.link.open(0)) << client.link.lastResult();
    EXPECT_EQ(client.link.fsuipcVersion(), 0x34800000u);
    EXPECT_EQ(client.link.simulatorVersion(), 7u);
    EXPECT_EQ(readS16(client.link, var::ParkingBrake), kParkingBrakeSet);

    ASSERT_TRUE(writeU16(client.link, var::PauseControl, 1));
    EXPECT_NE(readU16(client.link, var::PauseIndicator).value_or(0), 0);
    ASSERT_TRUE(writeU16(client.link, var::PauseControl, 0));
    EXPECT_EQ(readU16(client.link, var::PauseIndicator).value_or(1), 0);

    // The library version written at the first open never shows in the simulator version.
    client.link.close();
    ASSERT_TRUE(client.link.open(0)) << client.link.lastResult();
    EXPECT_EQ(client.link.simulatorVersion(), 7u);
    EXPECT_GT(readFuelOnBoardKg(client.link), 0.0);
}

TEST(SimIpcIntegration, VersionChecksThroughEachWindowClass) {
    struct Row {
        const char* name;
        std::string window;
        std::string fsuipcVersion;
        std::string simVersion;
        std::uint32_t expected;
    };
    const Row rows[] = {
        {"current peer", "UIPCMAIN", "34800000", "FADE0007", SimLink::kOk},
        {"legacy window", "FS98MAIN", "34800000", "FADE0007", SimLink::kOk},
        {"one below the minimum", "UIPCMAIN", "19980004", "FADE0007", SimLink::kWrongPeer},
        {"one below, legacy window", "FS98MAIN", "19980004", "FADE0007", SimLink::kWrongPeerLegacy},
        {"the minimum itself", "FS98MAIN", "19980005", "FADE0006", SimLink::kOk},
        {"not the interface", "UIPCMAIN", "34800000", "12340007", SimLink::kWrongPeer},
    };
    for (const Row& row : rows) {
        const std::string prefix = uniquePrefix();
        SimProcess sim(prefix, {"--window", row.window, "--fsuipc-version", row.fsuipcVersion,
                                "--sim-version", row.simVersion});
        ASSERT_TRUE(sim.listening(prefix, row.window)) << row.name << sim.process->output();
        Client client(prefix);
        EXPECT_EQ(client.link.open(0), row.expected == SimLink::kOk) << row.name;
        EXPECT_EQ(client.link.lastResult(), row.expected) << row.name;
    }
}

TEST(SimIpcIntegration, InjectedEventsAreVisibleThroughTheLink) {
    Connected connected;
    ASSERT_TRUE(connected.opened) << connected.sim.process->output();
    auto& [prefix, sim, client, opened] = connected;
    const FuelTank& leftMain = kFuelTanks[5];
    const auto nonZero = [&](SimVariable v) { return readU16(client.link, v).value_or(0) != 0; };
    struct Row {
        const char* command;
        std::function<bool()> seen;
    };
    const std::uint32_t levelBefore = readU32(client.link, leftMain.level).value_or(0);
    const Row rows[] = {
        {"pause", [&] { return nonZero(var::PauseIndicator); }},
        {"unpause", [&] { return !nonZero(var::PauseIndicator); }},
        {"slew on", [&] { return nonZero(var::SlewMode); }},
        {"slew off", [&] { return !nonZero(var::SlewMode); }},
        {"rate 4", [&] { return readU16(client.link, var::SimulationRate) == 1024; }},
        {"rate 1", [&] { return readU16(client.link, var::SimulationRate) == kRateOneX; }},
        {"refuel left-main 20",
         [&] { return readU32(client.link, leftMain.level).value_or(0) > levelBefore; }},
        {"crash", [&] { return nonZero(var::Crashed); }},
    };
    for (const Row& row : rows) {
        sim.process->writeLine(row.command);
        EXPECT_TRUE(test::waitFor(row.seen)) << row.command << "\n" << sim.process->output();
    }
    // The program clears the crash by writing the flag back to 0.
    ASSERT_TRUE(writeU16(client.link, var::Crashed, 0));
    EXPECT_FALSE(nonZero(var::Crashed));
}

// A killed program leaves its block's name behind, and a later one given the same process
// id must still open its link; a block its creator still holds is never taken over.
TEST(SimIpcIntegration, ABlockLeftByAKilledProcessIsTakenOverButALiveOneIsNot) {
    const std::string name = "FsasmLib:IPC:" + uniquePrefix() + "left";
    const int leftover = ::shm_open(("/" + name).c_str(), O_RDWR | O_CREAT | O_EXCL, 0600);
    ASSERT_GE(leftover, 0);
    ::close(leftover);
    platform::posix::PosixSimIpc ipc(uniquePrefix());
    auto block = ipc.createBlock(name, wire::kBlockSize);
    ASSERT_NE(block, nullptr);
    ASSERT_NE(block->map(), nullptr);

    platform::posix::PosixSimIpc other(uniquePrefix());
    EXPECT_EQ(other.createBlock(name, wire::kBlockSize), nullptr);
    EXPECT_NE(block->map(), nullptr);
    block.reset();
    EXPECT_NE(other.createBlock(name, wire::kBlockSize), nullptr);
}

TEST(SimIpcIntegration, NoSimulatorRunning) {
    Client client(uniquePrefix());
    EXPECT_FALSE(client.link.open(0));
    EXPECT_EQ(client.link.lastResult(), SimLink::kNoWindow);
}

TEST(SimIpcIntegration, KilledSimulatorIsLostAndAFreshOneIsFound) {
    const std::string prefix = uniquePrefix();
    auto sim = std::make_unique<SimProcess>(prefix);
    ASSERT_TRUE(sim->listening(prefix));
    Client client(prefix);
    ASSERT_TRUE(client.link.open(0));
    sim->process->signal(SIGKILL);
    sim->process->wait(5000);

    for (int failure = 1; failure <= 4; ++failure) {
        EXPECT_FALSE(readU16(client.link, var::ParkingBrake).has_value());
    }
    EXPECT_EQ(client.link.failureCount(), SimLink::kLostCount);
    EXPECT_EQ(client.losses.losses, 1);
    EXPECT_FALSE(client.link.isOpen());

    // A new simulator under the same name: the old window stays gone, a new open finds it.
    sim = std::make_unique<SimProcess>(prefix);
    ASSERT_TRUE(sim->listening(prefix));
    ASSERT_TRUE(client.link.open(0)) << client.link.lastResult();
    EXPECT_EQ(client.link.simulatorVersion(), 7u);
    EXPECT_TRUE(readU16(client.link, var::ParkingBrake).has_value());
}

TEST(SimIpcIntegration, DeadPeerGivesSendFailedAndAHungOneTimesOut) {
    Connected connected;
    ASSERT_TRUE(connected.opened) << connected.sim.process->output();
    auto& [prefix, sim, client, opened] = connected;

    sim.process->signal(SIGSTOP);
    EXPECT_FALSE(readU16(client.link, var::ParkingBrake).has_value());
    EXPECT_EQ(client.link.lastResult(), SimLink::kTimedOut);
    EXPECT_EQ(client.link.failureCount(), 1);

    // Once it runs again, it drops the requests we gave up on and answers new ones.
    sim.process->signal(SIGCONT);
    EXPECT_EQ(readS16(client.link, var::ParkingBrake), kParkingBrakeSet);
    EXPECT_EQ(client.link.failureCount(), 0);

    sim.process->signal(SIGKILL);
    sim.process->wait(5000);
    EXPECT_FALSE(readU16(client.link, var::ParkingBrake).has_value());
    EXPECT_EQ(client.link.lastResult(), SimLink::kSendFailed);
}

TEST(SimIpcIntegration, SilentCommandStopsAnsweringForAWhile) {
    Connected connected;
    ASSERT_TRUE(connected.opened) << connected.sim.process->output();
    auto& [prefix, sim, client, opened] = connected;
    sim.process->writeLine("silent 3");
    ASSERT_TRUE(test::waitFor([&] { return saysNotAnswering(sim); })) << sim.process->output();
    EXPECT_FALSE(readU16(client.link, var::ParkingBrake).has_value());
    EXPECT_EQ(client.link.lastResult(), SimLink::kTimedOut);
    // Once the three seconds are over a new client is answered again; it is a client of its
    // own each time, so that the waiting does not count against the one under test.
    EXPECT_TRUE(test::waitFor([&] { return Client(prefix).link.open(0); }, 15s, 100ms));
    EXPECT_EQ(readS16(client.link, var::ParkingBrake), kParkingBrakeSet);
}

TEST(SimIpcIntegration, ProbeFollowsAFlightUntilTheSimulatorStops) {
    const std::string prefix = uniquePrefix();
    SimProcess sim(prefix, {"--speed", "100", "--exit-when-parked"});
    ASSERT_TRUE(sim.listening(prefix));
    test::ChildProcess probe(AVIOLOG_PROBE_PATH, {"--ipc-prefix", prefix, "--interval-ms", "100",
                                                  "--exit-on-loss", "--wait", "10"});
    EXPECT_EQ(probe.wait(120000), 0) << probe.output();
    const std::string out = probe.output();
    EXPECT_NE(out.find("connected; interface version 3.48, simulator 7"), std::string::npos) << out;
    EXPECT_NE(out.find(" GND brake SET"), std::string::npos) << out;
    EXPECT_NE(out.find(" AIR "), std::string::npos) << out;
    EXPECT_NE(out.find("gear up"), std::string::npos) << out;
    EXPECT_NE(out.find("simulator lost"), std::string::npos) << out;
    EXPECT_EQ(sim.process->wait(10000), 0) << sim.process->output();
}

// The blocks of shared memory a process has made and not released.
std::vector<std::string> blocksOf(pid_t pid) {
    const std::string prefix = format("FsasmLib:IPC:%X:", static_cast<unsigned>(pid));
    std::vector<std::string> blocks;
    for (const auto& entry : std::filesystem::directory_iterator("/dev/shm")) {
        const std::string name = entry.path().filename().string();
        if (name.starts_with(prefix)) blocks.push_back(name);
    }
    return blocks;
}

TEST(SimIpcIntegration, ProbeGivesUpWhenTheFirstAttemptOutlastsTheWait) {
    const std::string prefix = uniquePrefix();
    SimProcess sim(prefix);
    ASSERT_TRUE(sim.listening(prefix));
    sim.process->writeLine("silent 600");
    ASSERT_TRUE(test::waitFor([&] { return saysNotAnswering(sim); })) << sim.process->output();
    test::ChildProcess probe(AVIOLOG_PROBE_PATH, {"--ipc-prefix", prefix, "--wait", "1"});
    EXPECT_EQ(probe.wait(30000), 1) << probe.output();
    EXPECT_NE(probe.output().find("no simulator: the simulator does not answer"), std::string::npos)
        << probe.output();
}

TEST(SimIpcIntegration, AStoppedProbeReleasesItsSharedBlock) {
    for (const int sig : {SIGINT, SIGTERM}) {
        const std::string prefix = uniquePrefix();
        SimProcess sim(prefix);
        ASSERT_TRUE(sim.listening(prefix));
        test::ChildProcess probe(AVIOLOG_PROBE_PATH,
                                 {"--ipc-prefix", prefix, "--interval-ms", "50"});
        test::waitFor([&] { return probe.output().find(" GND ") != std::string::npos; });
        ASSERT_EQ(blocksOf(probe.pid()).size(), 1u) << sig << "\n" << probe.output();
        const pid_t pid = probe.pid();
        probe.signal(sig);
        EXPECT_EQ(probe.wait(10000), 0) << sig << "\n" << probe.output();
        EXPECT_TRUE(blocksOf(pid).empty()) << sig;
    }
}

TEST(SimIpcIntegration, TheSimulatorPrintsItsFirstStatusLineOnce) {
    const std::string prefix = uniquePrefix();
    test::ChildProcess sim(AVIOLOG_SIM_PATH,
                           {"--scenario", test::dataPath("scenarios/short-hop.scn"), "--ipc-prefix",
                            prefix, "--status", "0"});
    const auto statusLines = [&] {
        const std::string out = sim.output();
        std::size_t lines = 0;
        for (std::size_t at = out.find("T+00:00:00"); at != std::string::npos;
             at = out.find("T+00:00:00", at + 1)) {
            ++lines;
        }
        return lines;
    };
    ASSERT_TRUE(test::waitFor([&] { return statusLines() >= 1; })) << sim.output();
    // The model ticks every 20 ms: half a second is some twenty-five ticks, none of which
    // may report the stage just reported again.
    EXPECT_TRUE(test::holdsFor([&] { return statusLines() == 1; }, 500ms)) << sim.output();
    sim.writeLine("quit");
    EXPECT_EQ(sim.wait(10000), 0);
    EXPECT_EQ(statusLines(), 2u) << "the first status line, and the last one on quitting\n"
                                 << sim.output();
}

// The end of standard input is the end of a piped script or of a terminal session; a
// simulator started with nothing to read (a demo, a test: < /dev/null) flies on.
TEST(SimIpcIntegration, TheEndOfTheCommandsStopsTheSimulator) {
    enum class Input { Pipe, Terminal, DevNull };
    struct Row {
        const char* name;
        Input input;
        std::string commands;  // then the end of the input
        bool stops;
        std::string answer;  // printed this often once it stopped: the commands ran first
        std::size_t times;
    };
    // A status line is printed at the start, for 'status' and at the stop.
    const Row rows[] = {
        {"a piped script", Input::Pipe, "status\n", true, "T+", 3},
        {"a piped script whose last line has no line end", Input::Pipe, "pause", true, "\npaused\n",
         1},
        {"Ctrl-D at a terminal", Input::Terminal, "status\n\x04", true, "T+", 3},
        {"no input at all", Input::DevNull, "", false, "", 0},
    };
    for (const Row& row : rows) {
        const std::string prefix = uniquePrefix();
        const std::vector<std::string> simArgs{
            "--scenario",   test::dataPath("scenarios/short-hop.scn"),
            "--ipc-prefix", prefix,
            "--status",     "0"};
        int master = -1;
        std::string redirect;
        if (row.input == Input::Terminal) {
            master = ::posix_openpt(O_RDWR | O_NOCTTY);
            ASSERT_GE(master, 0) << row.name;
            ASSERT_EQ(::grantpt(master), 0) << row.name;
            ASSERT_EQ(::unlockpt(master), 0) << row.name;
            redirect = ::ptsname(master);
        } else if (row.input == Input::DevNull) {
            redirect = "/dev/null";
        }
        std::vector<std::string> args = simArgs;
        std::string program = AVIOLOG_SIM_PATH;
        if (!redirect.empty()) {
            program = "/bin/sh";
            args.insert(args.begin(), {"-c", "exec \"$0\" \"$@\" < " + redirect, AVIOLOG_SIM_PATH});
        }
        test::ChildProcess sim(program, args);
        ASSERT_TRUE(simulatorListening(prefix)) << row.name << "\n" << sim.output();
        if (row.input == Input::Terminal) {
            ASSERT_EQ(::write(master, row.commands.data(), row.commands.size()),
                      static_cast<ssize_t>(row.commands.size()))
                << row.name;
        } else {
            sim.write(row.commands);
            sim.closeInput();
        }
        if (row.stops) {
            EXPECT_EQ(sim.wait(10000), 0) << row.name << "\n" << sim.output();
            const std::string out = sim.output();
            std::size_t times = 0;
            for (std::size_t at = out.find(row.answer); at != std::string::npos;
                 at = out.find(row.answer, at + 1)) {
                ++times;
            }
            EXPECT_EQ(times, row.times) << row.name << ": the commands ran first\n" << out;
            EXPECT_NE(out.find("end of the commands"), std::string::npos) << row.name << "\n"
                                                                          << out;
        } else {
            // Still serving well after it read the end of nothing.
            Client client(prefix);
            ASSERT_TRUE(client.link.open(0)) << row.name << "\n" << sim.output();
            EXPECT_EQ(sim.wait(500), -1) << row.name << "\n" << sim.output();
            EXPECT_TRUE(readS16(client.link, var::ParkingBrake).has_value()) << row.name;
            sim.signal(SIGTERM);
            EXPECT_EQ(sim.wait(10000), 0) << row.name;
        }
        if (master >= 0) ::close(master);
    }
}

// A simulator interface in this process that answers honestly until it is told to play
// one trick on the next message.
class HostilePeer {
  public:
    enum class Trick { None, ExtraReply, ShortReply, HugeReply, FloodThenDeaf, ShrinkBlock };

    explicit HostilePeer(const std::string& prefix) {
        sockaddr_un addr;
        socklen_t len = 0;
        platform::posix::abstractAddress(prefix + "UIPCMAIN", &addr, &len);
        listenFd_ = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
        ok_ = ::bind(listenFd_, reinterpret_cast<const sockaddr*>(&addr), len) == 0 &&
              ::listen(listenFd_, 4) == 0;
        thread_ = std::thread([this] { run(); });
    }
    ~HostilePeer() {
        stop_ = true;
        thread_.join();
        for (const int fd : clients_) ::close(fd);
        ::close(listenFd_);
    }
    bool ok() const { return ok_; }
    // Every message read has been answered in full, the trick included.
    bool idle() const { return answered_ == received_; }
    std::atomic<Trick> trick{Trick::None};

  private:
    // Versions of a current interface; the parking brake set; everything else zero.
    struct Target final : wire::RequestTarget {
        void readVariable(std::uint32_t offset, std::span<std::byte> out) override {
            std::fill(out.begin(), out.end(), std::byte{0});
            const auto put = [&](std::uint32_t value) {
                for (std::size_t i = 0; i < out.size() && i < 4; ++i) {
                    out[i] = static_cast<std::byte>(value >> (8 * i));
                }
            };
            if (offset == var::FsuipcVersion.offset) put(0x34800000);
            if (offset == var::SimulatorVersion.offset) put(0xFADE0007);
            if (offset == var::ParkingBrake.offset) put(kParkingBrakeSet);
        }
        void writeVariable(std::uint32_t, std::span<const std::byte>) override {}
    };

    void run() {
        while (!stop_) {
            std::vector<pollfd> fds{{listenFd_, POLLIN, 0}};
            for (const int fd : clients_) {
                if (fd != deafFd_) fds.push_back({fd, POLLIN, 0});
            }
            if (::poll(fds.data(), fds.size(), 20) <= 0) continue;
            if ((fds[0].revents & POLLIN) != 0)
                clients_.push_back(::accept(listenFd_, nullptr, nullptr));
            for (std::size_t i = 1; i < fds.size(); ++i) {
                if (fds[i].revents != 0) serve(fds[i].fd);
            }
        }
    }

    void reply(int fd, std::size_t bytes, std::uint32_t value = wire::kReplySuccess) {
        std::vector<std::byte> packet(bytes);
        wire::store32(packet.data(), value);
        ::send(fd, packet.data(), packet.size(), MSG_NOSIGNAL);
    }

    void serve(int fd) {
        std::array<std::byte, wire::kMaxPacketBytes> packet{};
        const ssize_t got = ::recv(fd, packet.data(), packet.size(), MSG_DONTWAIT);
        if (got <= 0) {
            std::erase(clients_, fd);
            ::close(fd);
            return;
        }
        ++received_;
        const auto message = wire::decodePacket({packet.data(), static_cast<std::size_t>(got)});
        const int shm = ::shm_open(("/" + std::string(message->blockName)).c_str(), O_RDWR, 0);
        void* view = ::mmap(nullptr, wire::kBlockSize, PROT_READ | PROT_WRITE, MAP_SHARED, shm, 0);
        Target target;
        wire::serveRequests({static_cast<std::byte*>(view), wire::kBlockSize}, target);
        ::munmap(view, wire::kBlockSize);
        const Trick now = trick.exchange(Trick::None);
        if (now == Trick::ShrinkBlock) ::ftruncate(shm, 0);
        ::close(shm);
        switch (now) {
            case Trick::None:
            case Trick::ShrinkBlock:
                reply(fd, wire::kReplyBytes);
                break;
            case Trick::ExtraReply:
                reply(fd, wire::kReplyBytes);
                reply(fd, wire::kReplyBytes);
                break;
            case Trick::ShortReply:
                reply(fd, wire::kReplyBytes + 1);
                break;
            case Trick::HugeReply:
                reply(fd, 64 * 1024);
                break;
            case Trick::FloodThenDeaf:
                for (int i = 0; i < 50; ++i) reply(fd, wire::kReplyBytes);
                deafFd_ = fd;
                break;
        }
        ++answered_;
    }

    int listenFd_ = -1;
    bool ok_ = false;
    std::vector<int> clients_;
    int deafFd_ = -1;
    std::atomic<int> received_{0};
    std::atomic<int> answered_{0};
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

TEST(SimIpcHostilePeer, NoTrickPassesAsAnAnswerAndTheLinkRecovers) {
    using Trick = HostilePeer::Trick;
    struct Row {
        const char* name;
        Trick trick;
        // The exchange that must fail, counted from the one the trick is played on.
        int failingExchange;
    };
    const Row rows[] = {
        {"a reply nobody asked for", Trick::ExtraReply, 1},
        {"a reply of five bytes", Trick::ShortReply, 0},
        {"a reply of 64 KiB", Trick::HugeReply, 0},
        {"fifty replies, then no more reading", Trick::FloodThenDeaf, 1},
        {"the block shrunk under the answer", Trick::ShrinkBlock, 0},
    };
    for (const Row& row : rows) {
        const std::string prefix = uniquePrefix();
        HostilePeer peer(prefix);
        ASSERT_TRUE(peer.ok()) << row.name;
        Client client(prefix);
        ASSERT_TRUE(client.link.open(0)) << row.name << ": " << client.link.lastResult();
        peer.trick = row.trick;
        for (int exchange = 0; exchange < 8; ++exchange) {
            const auto brake = readS16(client.link, var::ParkingBrake);
            // Never a success that is not the simulator's answer.
            if (brake) {
                EXPECT_EQ(*brake, kParkingBrakeSet) << row.name << " #" << exchange;
            }
            if (exchange == row.failingExchange) {
                EXPECT_FALSE(brake.has_value()) << row.name << " #" << exchange;
                EXPECT_EQ(client.link.lastResult(), SimLink::kBadReply) << row.name;
            }
            // A shrunk block stays broken until the link is opened again.
            if (!client.link.isOpen()) {
                ASSERT_TRUE(client.link.open(0)) << row.name;
            }
            // The peer plays its trick in full before the next exchange: a reply sent
            // while an exchange waits cannot be told from the answer without a sequence
            // number, which the protocol does not have.
            ASSERT_TRUE(test::waitFor([&] { return peer.idle(); })) << row.name;
        }
        EXPECT_EQ(readS16(client.link, var::ParkingBrake), kParkingBrakeSet) << row.name;
    }
}

TEST(SimIpcServerHostileClient, AClientThatShrinksItsBlockGetsAFailureNotACrash) {
    const std::string prefix = uniquePrefix();
    auto simulator = test::makeSimulator("short-hop.scn");
    enum { kStarting, kListening, kFailed };
    std::atomic<int> state{kStarting};
    std::atomic<bool> stop{false};
    std::thread server([&] {
        platform::posix::EventLoop loop;
        platform::posix::SimIpcServer ipc(
            loop, [&](std::span<std::byte> block) { return simulator->serve(block); });
        state = ipc.listen(prefix + "UIPCMAIN") ? kListening : kFailed;
        while (!stop) loop.runOnce(20);
    });
    test::waitFor([&] { return state != kStarting; });
    if (state != kListening) {
        stop = true;
        server.join();
        FAIL() << "the server does not listen";
    }

    const std::string name = "FsasmLib:IPC:" + prefix + "shrink";
    const int shm = ::shm_open(("/" + name).c_str(), O_RDWR | O_CREAT | O_EXCL, 0600);
    ASSERT_GE(shm, 0);
    ASSERT_EQ(::ftruncate(shm, wire::kBlockSize), 0);
    auto* block = static_cast<std::byte*>(
        ::mmap(nullptr, wire::kBlockSize, PROT_READ | PROT_WRITE, MAP_SHARED, shm, 0));
    const auto queueBrakeRead = [&] {
        wire::store32(block, wire::kRecordRead);
        wire::store32(block + 4, var::ParkingBrake.offset);
        wire::store32(block + 8, 2);
        wire::store32(block + 12, 0);
        wire::store32(block + 18, wire::kRecordEnd);
    };
    platform::posix::PosixSimIpc ipc(prefix);
    const auto window = ipc.findWindow("UIPCMAIN");
    ASSERT_NE(window, 0u);
    const auto atom = ipc.addAtom(name);
    const auto exchange = [&] { return ipc.send(window, 0xC000, atom, 0, 2000); };

    queueBrakeRead();
    EXPECT_EQ(exchange().reply, wire::kReplySuccess);
    ASSERT_EQ(::ftruncate(shm, 0), 0);
    const platform::SendOutcome shrunk = exchange();
    EXPECT_EQ(shrunk.status, platform::SendStatus::Answered);
    EXPECT_EQ(shrunk.reply, 0u);
    // Still serving: the block at its size again is answered.
    ASSERT_EQ(::ftruncate(shm, wire::kBlockSize), 0);
    queueBrakeRead();
    EXPECT_EQ(exchange().reply, wire::kReplySuccess);

    stop = true;
    server.join();
    ::munmap(block, wire::kBlockSize);
    ::close(shm);
    ::shm_unlink(("/" + name).c_str());
}

}  // namespace
}  // namespace aviolog::simlink
