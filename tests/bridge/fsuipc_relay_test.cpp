// aviolog-bridge --fsuipc against a relay in the test: every way the Windows side can
// answer wrongly fails the exchange as the Linux transport's hostile peers do (result 13,
// nothing copied), and the link recovers with the next good answer. A relay that is not
// there is a simulator gone. The block length a request carries is checked too.

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "platform/posix/posix_clock.h"
#include "platform/posix/posix_sim_ipc.h"
#include "simlink/sim_link.h"
#include "tests/support/child_process.h"
#include "tests/support/link_rig.h"
#include "tests/support/wait.h"
#include "wire/relay_wire.h"
#include "wire/request_server.h"
#include "wire/sim_offsets.h"

namespace aviolog::test {
namespace {

namespace relay = wire::relay;
using simlink::SimLink;
namespace var = wire::var;

enum class Trick {
    None,
    ShortBlock,
    WrongReply,
    Stray,
    NotAnswered,
    ChangedRecord,
    BadMagic,
    HangUp
};

// The simulator interface's side as the relay presents it: versions and a set brake.
class Answers final : public wire::RequestTarget {
  public:
    void readVariable(std::uint32_t offset, std::span<std::byte> out) override {
        const auto put = [&](std::uint32_t v) {
            for (std::size_t i = 0; i < out.size() && i < 4; ++i) out[i] = std::byte(v >> (8 * i));
        };
        if (offset == var::FsuipcVersion.offset) put(0x34800000);
        if (offset == var::SimulatorVersion.offset) put(0xFADE0007);
        if (offset == var::ParkingBrake.offset) put(wire::kParkingBrakeSet);
    }
    void writeVariable(std::uint32_t, std::span<const std::byte>) override {}
};

// A relay on a loopback port, one connection at a time, playing the trick set for the
// next request once.
class FakeRelay {
  public:
    FakeRelay() {
        listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::listen(listener_, 4);
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
        port = ntohs(address.sin_port);
        thread_ = std::thread([this] { run(); });
    }
    ~FakeRelay() {
        stopping_ = true;
        ::shutdown(listener_, SHUT_RDWR);
        thread_.join();
        ::close(listener_);
    }
    int port = 0;
    std::atomic<Trick> next{Trick::None};
    std::atomic<int> requests{0};
    std::atomic<std::uint32_t> lastLength{0};

  private:
    static bool receiveAll(int fd, std::byte* p, std::size_t n) {
        while (n > 0) {
            const ssize_t got = ::recv(fd, p, n, 0);
            if (got <= 0) return false;
            p += got;
            n -= static_cast<std::size_t>(got);
        }
        return true;
    }
    void run() {
        while (!stopping_) {
            const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0) continue;
            serve(fd);
            ::close(fd);
        }
    }
    void serve(int fd) {
        std::array<std::byte, relay::kRequestHeaderBytes> head{};
        std::array<std::byte, wire::kBlockSize> block{};
        while (receiveAll(fd, head.data(), head.size())) {
            const auto request = relay::decodeRequest(head);
            if (!request || !receiveAll(fd, block.data(), request->length)) return;
            ++requests;
            lastLength = request->length;
            Answers answers;
            relay::AnswerHeader answer{relay::kAnswered, 0, 0, request->length};
            answer.reply = wire::serveRequests({block.data(), request->length}, answers);
            const Trick trick = next.exchange(Trick::None);
            if (trick == Trick::HangUp) return;
            if (trick == Trick::WrongReply) answer.reply = 0;
            if (trick == Trick::NotAnswered) answer.status = relay::kTimedOut;
            if (trick == Trick::ShortBlock) answer.length -= 4;
            if (trick == Trick::ChangedRecord) {
                wire::store32(block.data() + 4, wire::load32(block.data() + 4) ^ 1);
            }
            std::array<std::byte, relay::kAnswerHeaderBytes> out{};
            relay::encodeAnswer(answer, out);
            if (trick == Trick::BadMagic) out[0] = std::byte{'X'};
            std::vector<std::byte> bytes(out.begin(), out.end());
            bytes.insert(bytes.end(), block.begin(), block.begin() + answer.length);
            if (trick == Trick::Stray) bytes.insert(bytes.end(), out.begin(), out.end());
            ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        }
    }
    int listener_ = -1;
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};

struct RelayBridge {
    explicit RelayBridge(int port)
        : prefix("aviolog-test-relay-" + std::to_string(getpid()) + "-" + std::to_string(port) +
                 "-"),
          bridge(AVIOLOG_BRIDGE_PATH,
                 {"--fsuipc", "127.0.0.1:" + std::to_string(port), "--ipc-prefix", prefix}),
          ipc(prefix),
          link(ipc, clock) {
        link.setLossObserver(&losses);
        link.setTimingForTests(SimLink::kDefaultSendTimeoutMs, 2);
        listening = waitFor([&] {
            platform::posix::PosixSimIpc probe(prefix);
            const auto w = probe.findWindow("UIPCMAIN");
            if (w) probe.releaseWindow(w);
            return w != 0;
        });
    }
    std::int16_t brake() {
        std::int16_t value = -1;
        if (!link.read(var::ParkingBrake.offset, 2, &value) || !link.process()) return -1;
        return value;
    }
    std::string prefix;
    ChildProcess bridge;
    platform::posix::PosixClock clock;
    platform::posix::PosixSimIpc ipc;
    LossCounter losses;
    SimLink link;
    bool listening = false;
};

TEST(FsuipcRelayBridge, NoWrongAnswerPassesAndTheLinkRecovers) {
    FakeRelay relay;
    RelayBridge rig(relay.port);
    ASSERT_TRUE(rig.listening) << rig.bridge.output();
    ASSERT_TRUE(rig.link.open(0)) << SimLink::resultText(rig.link.lastResult());
    EXPECT_EQ(rig.brake(), wire::kParkingBrakeSet);
    // Only the records and the end mark travel: one read of 2 bytes.
    EXPECT_EQ(relay.lastLength, wire::kReadHeaderBytes + 2 + wire::kTerminatorBytes);

    const struct {
        const char* name;
        Trick trick;
        int failsAt;  // which of the exchanges after the trick is set fails
    } rows[] = {
        {"a short block", Trick::ShortBlock, 0},
        {"the interface's refusal", Trick::WrongReply, 0},
        {"no answer inside the prefix", Trick::NotAnswered, 0},
        {"a record changed by the peer", Trick::ChangedRecord, 0},
        {"not the relay's answer", Trick::BadMagic, 0},
        {"a relay that hangs up", Trick::HangUp, 0},
        {"a stray answer after a good one", Trick::Stray, 1},
    };
    for (const auto& row : rows) {
        relay.next = row.trick;
        for (int exchange = 0; exchange <= row.failsAt; ++exchange) {
            const std::int16_t brake = rig.brake();
            if (exchange < row.failsAt) {
                EXPECT_EQ(brake, wire::kParkingBrakeSet) << row.name << " #" << exchange;
            } else {
                EXPECT_EQ(brake, -1) << row.name;
                EXPECT_EQ(rig.link.lastResult(), SimLink::kBadReply) << row.name;
            }
        }
        EXPECT_EQ(rig.brake(), wire::kParkingBrakeSet) << row.name << ": the link recovers";
        EXPECT_EQ(rig.link.failureCount(), 0) << row.name;
    }
    EXPECT_EQ(rig.losses.losses, 0);
}

TEST(FsuipcRelayBridge, NoRelayIsASimulatorGone) {
    int port = 0;
    {
        FakeRelay gone;  // a port nobody listens on once it is gone
        port = gone.port;
    }
    RelayBridge rig(port);
    ASSERT_TRUE(rig.listening) << rig.bridge.output();
    EXPECT_FALSE(rig.link.open(0));
    EXPECT_EQ(rig.link.lastResult(), SimLink::kBadReply);
    EXPECT_TRUE(waitFor([&] {
        return rig.bridge.output().find("cannot reach the relay") != std::string::npos;
    })) << rig.bridge.output();
}

TEST(RelayWire, TheRequestLengthCoversTheRecordsAndTheEndMark) {
    std::array<std::byte, wire::kBlockSize> block{};
    const auto record = [&](std::size_t at, std::uint32_t kind, std::uint32_t size) {
        wire::store32(block.data() + at, kind);
        wire::store32(block.data() + at + 8, size);
    };
    record(0, wire::kRecordRead, 4);
    record(20, wire::kRecordWrite, 2);
    EXPECT_EQ(relay::requestLength(block), 38u) << "read, write, end";
    record(34, 7, 0);
    EXPECT_EQ(relay::requestLength(block), 38u) << "an unknown kind ends the walk";
    record(34, wire::kRecordRead, 0xFFFFFFF0);
    EXPECT_EQ(relay::requestLength(block), wire::kMaxRequestBytes) << "a size past the block";
}

}  // namespace
}  // namespace aviolog::test
