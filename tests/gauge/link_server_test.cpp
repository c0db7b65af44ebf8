// The terminal's link server on loopback, with a raw client standing in for the program,
// so that the test decides how the bytes are cut.

#include "gauge/link_server.h"

#include <gtest/gtest.h>
#include <linux/sockios.h>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <string_view>
#include <thread>

#include "platform/posix/posix_nonblocking_tcp.h"
#include "tests/support/wait.h"

namespace aviolog::test {
namespace {

// The program's end of the link: a blocking socket, so that the test knows when the
// terminal's side holds what was sent.
class RawClient {
  public:
    explicit RawClient(int port) : fd_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<std::uint16_t>(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        connected_ =
            fd_ >= 0 && ::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    }
    ~RawClient() { close(); }
    RawClient(const RawClient&) = delete;
    RawClient& operator=(const RawClient&) = delete;

    bool connected() const { return connected_; }
    // Sends every byte and returns once the server's side has acknowledged them all: on
    // loopback they are then waiting in its receive queue for the next update.
    bool sendAll(std::string_view bytes) {
        while (!bytes.empty()) {
            const ssize_t sent = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
            if (sent <= 0) return false;
            bytes.remove_prefix(static_cast<std::size_t>(sent));
        }
        return waitFor([&] {
            int unacknowledged = 0;
            return ::ioctl(fd_, SIOCOUTQ, &unacknowledged) == 0 && unacknowledged == 0;
        });
    }
    // The next size bytes, or as many as came before the deadline.
    std::string receive(std::size_t size) {
        std::string got(size, '\0');
        std::size_t have = 0;
        waitFor([&] {
            const ssize_t n = ::recv(fd_, got.data() + have, size - have, MSG_DONTWAIT);
            if (n > 0) have += static_cast<std::size_t>(n);
            return have == size;
        });
        got.resize(have);
        return got;
    }
    // The program quits: an orderly close, which the server reads as zero bytes.
    void close() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }

  private:
    int fd_ = -1;
    bool connected_ = false;
};

struct ServerRig {
    ServerRig() {
        server.setUp(0);
        server.update();  // the terminal was up before the program
    }
    // A client connected and seen by the server.
    std::unique_ptr<RawClient> connect() {
        auto client = std::make_unique<RawClient>(server.port());
        waitFor([&] {
            server.update();
            return client->connected() && server.connected();
        });
        return client;
    }
    platform::posix::PosixNonBlockingNetwork network;
    gauge::LinkServer server{network, terminal};
    gauge::Terminal terminal{server};
};

TEST(GaugeLinkServer, ARecordCutAcrossReadsArrivesWhole) {
    ServerRig rig;
    auto client = rig.connect();
    ASSERT_TRUE(rig.server.connected());
    EXPECT_EQ(rig.terminal.mode(), gauge::DisplayMode::Page3);
    const std::string record =
        wire::encodeGaugeRecord(wire::GaugeRecordType::Page2Lines, "09:25  Start\n");
    const std::size_t cuts[] = {1, 700, 1999, 2001};
    std::size_t at = 0;
    for (const std::size_t cut : cuts) {
        ASSERT_TRUE(client->sendAll(std::string_view(record).substr(at, cut - at)));
        at = cut;
        rig.server.update();
        EXPECT_EQ(rig.terminal.page(2).count(), 0u) << "after " << cut << " bytes";
    }
    ASSERT_TRUE(client->sendAll(std::string_view(record).substr(at)));
    rig.server.update();
    ASSERT_EQ(rig.terminal.page(2).count(), 1u);
    EXPECT_EQ(rig.terminal.page(2).line(0), "09:25  Start");
}

TEST(GaugeLinkServer, OneRecordPerUpdate) {
    ServerRig rig;
    auto client = rig.connect();
    std::string two = wire::encodeGaugeRecord(wire::GaugeRecordType::Page2Lines, "one") +
                      wire::encodeGaugeRecord(wire::GaugeRecordType::Page2Lines, "two");
    ASSERT_TRUE(client->sendAll(two));
    rig.server.update();
    EXPECT_EQ(rig.terminal.page(2).count(), 1u);
    rig.server.update();
    EXPECT_EQ(rig.terminal.page(2).count(), 2u);
}

TEST(GaugeLinkServer, KeysReachTheProgramAsCommandRecords) {
    ServerRig rig;
    auto client = rig.connect();
    rig.terminal.lineSelect(false, 3);
    const std::string got = client->receive(wire::kGaugeRecordBytes);
    ASSERT_EQ(got.size(), wire::kGaugeRecordBytes);
    const wire::GaugeRecord record = wire::decodeGaugeRecord(
        std::span<const char, wire::kGaugeRecordBytes>(got.data(), got.size()));
    EXPECT_EQ(record.type, 2);
    EXPECT_EQ(record.text, "LSK3");
}

TEST(GaugeLinkServer, AProgramThatQuitsLeavesTheTerminalWaitingForTheNext) {
    ServerRig rig;
    auto client = rig.connect();
    ASSERT_TRUE(client->sendAll(
        wire::encodeGaugeRecord(wire::GaugeRecordType::Page2Lines, "first flight")));
    rig.server.update();
    ASSERT_EQ(rig.terminal.page(2).count(), 1u);
    client->close();
    EXPECT_TRUE(waitFor([&] {
        rig.server.update();
        return !rig.server.connected();
    }));
    rig.server.update();  // the first without a program says so
    rig.terminal.drawDirtyRows();
    EXPECT_FALSE(rig.server.connected());
    EXPECT_EQ(rig.terminal.page(2).count(), 0u);
    EXPECT_EQ(rig.terminal.row(9), gauge::kWaitingText);
    auto next = rig.connect();
    EXPECT_TRUE(rig.server.connected());
    EXPECT_EQ(rig.terminal.mode(), gauge::DisplayMode::Page3);
}

// A network whose streams the test breaks at will, so that a send can be the first to
// see a broken link.
struct ScriptedNetwork final : platform::NonBlockingNetwork {
    struct Stream final : platform::NonBlockingStream {
        explicit Stream(ScriptedNetwork& n) : net(n) {}
        bool connected() override { return true; }
        std::optional<std::size_t> send(std::string_view bytes) override {
            if (net.broken) return std::nullopt;
            if (net.full) return 0;
            return bytes.size();
        }
        platform::StreamRead receive(std::span<char> into, std::size_t& got) override {
            if (net.incoming.empty()) return platform::StreamRead::WouldBlock;
            got = std::min(into.size(), net.incoming.size());
            std::copy_n(net.incoming.begin(), got, into.begin());
            net.incoming.erase(0, got);
            return platform::StreamRead::Data;
        }
        ScriptedNetwork& net;
    };
    struct Listener final : platform::NonBlockingListener {
        explicit Listener(ScriptedNetwork& n) : net(n) {}
        std::unique_ptr<platform::NonBlockingStream> accept() override {
            if (net.waiting == 0) return nullptr;
            --net.waiting;
            net.broken = false;
            return std::make_unique<Stream>(net);
        }
        int localPort() const override { return 1147; }
        ScriptedNetwork& net;
    };
    std::unique_ptr<platform::NonBlockingStream> connect(const std::string&, int) override {
        return nullptr;
    }
    platform::ListenResult listen(int, int) override {
        return {std::make_unique<Listener>(*this), platform::ListenStep::Done, 0};
    }
    int waiting = 0;      // programs in the backlog
    bool broken = false;  // every send on the open stream fails
    bool full = false;    // the system takes nothing (the program stopped reading)
    std::string incoming;
};

TEST(GaugeLinkServer, ALinkBrokenByTheTerminalsOwnSendClearsTheMessagePages) {
    struct Row {
        const char* name;
        bool queuedFirst;  // the key waits in the outbox, the next update's flush fails
        bool nextWaiting;  // the restarted program is already in the backlog
    };
    const Row rows[] = {
        {"a key sent into the broken link", false, false},
        {"a key sent into the broken link, the next program waiting", false, true},
        {"queued keys flushed into the broken link", true, false},
        {"queued keys flushed into the broken link, the next program waiting", true, true},
    };
    for (const Row& row : rows) {
        ScriptedNetwork network;
        gauge::Terminal* terminal = nullptr;
        struct Side {
            explicit Side(platform::NonBlockingNetwork& n) : server(n, terminal) {}
            gauge::LinkServer server;
            gauge::Terminal terminal{server};
        } side(network);
        terminal = &side.terminal;
        side.server.setUp(0);
        side.server.update();
        network.waiting = 1;
        side.server.update();
        ASSERT_TRUE(side.server.connected()) << row.name;
        network.incoming =
            wire::encodeGaugeRecord(wire::GaugeRecordType::Page1Lines, "old flight message") +
            wire::encodeGaugeRecord(wire::GaugeRecordType::Page2Lines, "09:25  old flight");
        side.server.update();
        side.server.update();
        ASSERT_EQ(terminal->page(1).count(), 1u) << row.name;
        ASSERT_EQ(terminal->page(2).count(), 1u) << row.name;
        terminal->keypadLetter('A');
        terminal->keypadShift();  // the latch, to see it go
        ASSERT_TRUE(terminal->shiftLatch()) << row.name;

        // The program resets; the terminal's next send is the first to meet it.
        network.full = row.queuedFirst;
        network.broken = !row.queuedFirst;
        terminal->lineSelect(false, 1);
        network.full = false;
        network.broken = true;
        if (row.nextWaiting) network.waiting = 1;
        side.server.update();
        terminal->drawDirtyRows();
        EXPECT_EQ(terminal->page(1).count(), 0u) << row.name;
        EXPECT_EQ(terminal->page(2).count(), 0u) << row.name;
        EXPECT_EQ(terminal->page(2).first(), 0u) << row.name;
        EXPECT_FALSE(terminal->shiftLatch()) << row.name;
        EXPECT_EQ(terminal->row(9), gauge::kWaitingText) << row.name;
        if (row.nextWaiting) {
            side.server.update();
            terminal->drawDirtyRows();
            EXPECT_TRUE(side.server.connected()) << row.name;
            EXPECT_EQ(terminal->mode(), gauge::DisplayMode::Page3)
                << row.name << ": the next program is greeted as a new one";
            EXPECT_EQ(terminal->input(), "") << row.name;
        }
    }
}

TEST(GaugeLinkServer, NoProgramMeansWaiting) {
    ServerRig rig;
    for (int i = 0; i < 5; ++i) rig.server.update();
    rig.terminal.drawDirtyRows();
    EXPECT_TRUE(rig.server.listening());
    EXPECT_FALSE(rig.server.connected());
    EXPECT_EQ(rig.terminal.row(9), gauge::kWaitingText);
    rig.terminal.keypadEnter();  // a key with nobody to hear it costs nothing
}

TEST(GaugeLinkServer, APortInUseShowsTheBindFailure) {
    ServerRig first;
    platform::posix::PosixNonBlockingNetwork network;
    gauge::Terminal* terminal = nullptr;
    struct Second {
        explicit Second(platform::NonBlockingNetwork& n) : server(n, terminal) {}
        gauge::LinkServer server;
        gauge::Terminal terminal{server};
    } second(network);
    terminal = &second.terminal;
    second.server.setUp(first.server.port());
    second.server.update();
    terminal->drawDirtyRows();
    EXPECT_FALSE(second.server.listening());
    EXPECT_EQ(terminal->row(1), gauge::kSocketBindError);
    EXPECT_EQ(terminal->row(9), gauge::kWaitingText);
}

}  // namespace
}  // namespace aviolog::test
