#include "simlink/sim_link.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <set>

#include "recorder/timer_ids.h"
#include "simlink/sim_variables.h"
#include "tests/support/link_rig.h"
#include "wire/sim_ipc_wire.h"

namespace aviolog::simlink {
namespace {

using namespace wire;

using sim::InProcessSimIpc;
using test::LinkRig;
using test::LossCounter;

TEST(SimLinkOpen, HandshakeKeepsTheSimulatorsLowHalf) {
    LinkRig rig;
    ASSERT_TRUE(rig.link.open(0)) << rig.link.lastResult();
    EXPECT_EQ(rig.link.lastResult(), SimLink::kOk);
    EXPECT_EQ(rig.link.fsuipcVersion(), 0x34800000u);
    EXPECT_EQ(rig.link.simulatorVersion(), 0x0007u);
    EXPECT_EQ(rig.ipc.blockNames.back().rfind("FsasmLib:IPC:1A2B:", 0), 0u);
    // A second open while open is refused and leaves the link working.
    EXPECT_FALSE(rig.link.open(0));
    EXPECT_EQ(rig.link.lastResult(), SimLink::kAlreadyOpen);
    EXPECT_TRUE(readU16(rig.link, var::ParkingBrake).has_value());
}

TEST(SimLinkOpen, EveryOpenUsesTheNextBlockNumberAndReleasesItsName) {
    LinkRig rig;
    ASSERT_TRUE(rig.link.open(0));
    rig.link.close();
    EXPECT_EQ(rig.ipc.liveBlocks(), 0u);
    ASSERT_TRUE(rig.link.open(0));
    ASSERT_EQ(rig.ipc.blockNames.size(), 2u);
    EXPECT_NE(rig.ipc.blockNames[0], rig.ipc.blockNames[1]);
}

TEST(SimLinkOpen, FailuresReportTheirCodeAndReleaseEverything) {
    struct Row {
        const char* name;
        std::function<void(sim::InProcessSimIpc&)> arrange;
        sim::SimulatorOptions options;
        std::uint32_t requestedVersion;
        std::uint32_t expected;
    };
    const sim::SimulatorOptions normal;
    const sim::SimulatorOptions oldPeer{0x19980004, 0xFADE0007};
    const sim::SimulatorOptions oldestAccepted{0x19980005, 0xFADE0007};
    const sim::SimulatorOptions notFsuipc{0x34800000, 0x12340007};
    const auto legacyOnly = [](sim::InProcessSimIpc& ipc) { ipc.windowClasses = {"FS98MAIN"}; };
    const auto nothing = [](sim::InProcessSimIpc&) {};
    const Row rows[] = {
        {"no window", [](sim::InProcessSimIpc& ipc) { ipc.windowClasses.clear(); }, normal, 0, 2},
        {"message not registered", [](sim::InProcessSimIpc& ipc) { ipc.failRegister = true; },
         normal, 0, 3},
        {"atom not created", [](sim::InProcessSimIpc& ipc) { ipc.failAtom = true; }, normal, 0, 4},
        {"block name taken",
         [](sim::InProcessSimIpc& ipc) {
             for (int n = 1; n < 4096; ++n) {
                 char name[64];
                 std::snprintf(name, sizeof name, wire::kBlockNameFormat, 0x1A2B, n);
                 ipc.existingBlocks.insert(name);
             }
         },
         normal, 0, 5},
        {"block not mapped", [](sim::InProcessSimIpc& ipc) { ipc.failMap = true; }, normal, 0, 6},
        {"interface one version too old", nothing, oldPeer, 0, 7},
        {"too old through the legacy window", legacyOnly, oldPeer, 0, 14},
        {"not the simulator interface", nothing, notFsuipc, 0, 7},
        {"not the interface, legacy window", legacyOnly, notFsuipc, 0, 14},
        {"another simulator asked for", nothing, normal, 6, 8},
        {"send refused", [](sim::InProcessSimIpc& ipc) { ipc.sendError = 1400; }, normal, 0, 12},
        {"answer is not success", [](sim::InProcessSimIpc& ipc) { ipc.replyOverride = 0; }, normal,
         0, 13},
        {"oldest version accepted", nothing, oldestAccepted, 0, 0},
        {"legacy window accepted", legacyOnly, normal, 7, 0},
    };
    for (const Row& row : rows) {
        LinkRig rig("short-hop.scn", row.options);
        row.arrange(rig.ipc);
        const bool opened = rig.link.open(row.requestedVersion);
        EXPECT_EQ(rig.link.lastResult(), row.expected) << row.name;
        EXPECT_EQ(opened, row.expected == 0) << row.name;
        EXPECT_EQ(rig.link.isOpen(), opened) << row.name;
        if (!opened) {
            EXPECT_EQ(rig.ipc.liveBlocks(), 0u) << row.name;
            EXPECT_EQ(rig.ipc.liveAtoms(), 0u) << row.name;
            EXPECT_EQ(rig.ipc.liveWindows(), 0u) << row.name;
        }
    }
}

TEST(SimLinkOpen, SilentPeerTimesOutAfterNineAttempts) {
    LinkRig rig;
    ASSERT_TRUE(rig.simulator->command("silent 600").ok);
    const std::int64_t before = rig.clock.nowMs();
    EXPECT_FALSE(rig.link.open(0));
    EXPECT_EQ(rig.link.lastResult(), SimLink::kTimedOut);
    EXPECT_EQ(rig.ipc.sendCount, SimLink::kSendAttempts);
    // Nine attempts of 2000 ms, each followed by a 100 ms wait.
    EXPECT_EQ(rig.clock.nowMs() - before, 9 * (2000 + 100));
}

TEST(SimLinkQueue, RequestsUpToTheBlockLimitFitAndOneByteMoreDoesNot) {
    struct Row {
        const char* name;
        bool isRead;
        std::size_t header;
    };
    const Row rows[] = {{"read", true, wire::kReadHeaderBytes},
                        {"write", false, wire::kWriteHeaderBytes}};
    std::vector<std::byte> buffer(wire::kMaxRequestBytes);
    for (const Row& row : rows) {
        LinkRig rig;
        ASSERT_TRUE(rig.link.open(0));
        const auto queue = [&](std::uint32_t size) {
            return row.isRead ? rig.link.read(0x4000, size, buffer.data())
                              : rig.link.write(0x4000, size, buffer.data());
        };
        const auto exact = static_cast<std::uint32_t>(wire::kMaxRequestBytes - row.header -
                                                      wire::kTerminatorBytes);
        EXPECT_FALSE(queue(exact + 1)) << row.name;
        EXPECT_EQ(rig.link.lastResult(), SimLink::kTooLarge) << row.name;
        EXPECT_TRUE(queue(exact)) << row.name;
        EXPECT_TRUE(rig.link.process()) << row.name;
        // After a first request the limit counts what is already queued.
        ASSERT_TRUE(rig.link.read(0x0BC8, 2, buffer.data())) << row.name;
        EXPECT_FALSE(queue(exact - 18 + 1)) << row.name;
        EXPECT_TRUE(queue(exact - 18)) << row.name;
        EXPECT_TRUE(rig.link.process()) << row.name;
    }
}

TEST(SimLinkQueue, ClosedLinkRefusesEveryCall) {
    LinkRig rig;
    std::uint16_t value = 0;
    EXPECT_FALSE(rig.link.read(0x0BC8, 2, &value));
    EXPECT_EQ(rig.link.lastResult(), SimLink::kClosed);
    EXPECT_FALSE(rig.link.write(0x0262, 2, &value));
    EXPECT_EQ(rig.link.lastResult(), SimLink::kClosed);
    EXPECT_FALSE(rig.link.process());
    EXPECT_EQ(rig.link.lastResult(), SimLink::kClosed);
}

TEST(SimLinkProcess, NothingQueuedFailsAndCountsAsAFailure) {
    LinkRig rig;
    ASSERT_TRUE(rig.link.open(0));
    EXPECT_FALSE(rig.link.process());
    EXPECT_EQ(rig.link.lastResult(), SimLink::kNothingQueued);
    EXPECT_EQ(rig.link.failureCount(), 1);
    EXPECT_EQ(rig.ipc.sendCount, 1);  // the handshake only
}

TEST(SimLinkProcess, ZeroSizeAndNullDestinationReadsAreSentButCopyNothing) {
    LinkRig rig;
    ASSERT_TRUE(rig.link.open(0));
    std::uint32_t untouched = 0xDEADBEEF;
    std::int16_t brake = 0;
    ASSERT_TRUE(rig.link.read(0x0BC8, 0, &untouched));
    ASSERT_TRUE(rig.link.read(0x0BC8, 2, nullptr));
    ASSERT_TRUE(rig.link.read(var::ParkingBrake.offset, 2, &brake));
    ASSERT_TRUE(rig.link.process());
    EXPECT_EQ(untouched, 0xDEADBEEFu);
    EXPECT_EQ(brake, kParkingBrakeSet);  // the walk stepped over both records correctly
}

TEST(SimLinkProcess, WritesReachTheSimulatorAndReadsInTheSameBatchSeeThem) {
    LinkRig rig;
    ASSERT_TRUE(rig.link.open(0));
    const std::uint16_t pause = 1;
    std::uint16_t indicator = 0;
    ASSERT_TRUE(rig.link.write(var::PauseControl.offset, 2, &pause));
    ASSERT_TRUE(rig.link.read(var::PauseIndicator.offset, 2, &indicator));
    ASSERT_TRUE(rig.link.process());
    EXPECT_NE(indicator, 0);
}

TEST(SimLinkProcess, AnAnswerThatChangedMoreThanTheReadDataFailsAndCopiesNothing) {
    // The block holds: a read of ParkingBrake at 0 (header 16 + 2 data bytes), a write
    // of PauseControl at 18 (header 12 + 2 data bytes), the end mark at 32.
    struct Row {
        const char* name;
        std::size_t at;
        std::uint32_t value;
    };
    const Row rows[] = {
        {"read size claims four bytes", 8, 4}, {"read size claims none", 8, 0},
        {"read kind overwritten", 0, 7},       {"read kind ended", 0, 0},
        {"read offset changed", 4, 0x0264},    {"read slot changed", 12, 2},
        {"write kind overwritten", 18, 9},     {"write size changed", 26, 40},
        {"end mark overwritten", 32, 1},
    };
    for (const Row& row : rows) {
        LinkRig rig;
        ASSERT_TRUE(rig.link.open(0)) << row.name;
        struct Guarded {
            std::uint16_t value = 0x1111;
            std::uint16_t guard = 0x5A5A;
        } target;
        const std::uint16_t release = 0;
        ASSERT_TRUE(rig.link.read(var::ParkingBrake.offset, 2, &target.value)) << row.name;
        ASSERT_TRUE(rig.link.write(var::PauseControl.offset, 2, &release)) << row.name;
        rig.ipc.afterServe = [&row](std::span<std::byte> block) {
            wire::store32(block.data() + row.at, row.value);
        };
        EXPECT_FALSE(rig.link.process()) << row.name;
        EXPECT_EQ(rig.link.lastResult(), SimLink::kBadReply) << row.name;
        EXPECT_EQ(target.value, 0x1111) << row.name;
        EXPECT_EQ(target.guard, 0x5A5A) << row.name;
        // The link itself is fine: the next honest answer is taken.
        rig.ipc.afterServe = nullptr;
        EXPECT_EQ(readS16(rig.link, var::ParkingBrake), kParkingBrakeSet) << row.name;
    }
}

TEST(SimLinkProcess, OnlyASuccessfulExchangeClearsTheFailureCount) {
    LinkRig rig;
    ASSERT_TRUE(rig.link.open(0));
    EXPECT_FALSE(rig.link.process());
    EXPECT_FALSE(rig.link.process());
    std::uint16_t value = 0;
    ASSERT_TRUE(rig.link.read(var::ParkingBrake.offset, 2, &value));
    EXPECT_EQ(rig.link.failureCount(), 2);
    ASSERT_TRUE(rig.link.process());
    EXPECT_EQ(rig.link.failureCount(), 0);
}

TEST(SimLinkLoss, FourthFailureClosesTheLinkAndReportsTheLossOnce) {
    LinkRig rig;
    LossCounter observer;
    rig.link.setLossObserver(&observer);
    ASSERT_TRUE(rig.link.open(0));
    rig.link.setTimingForTests(50, 1);
    rig.ipc.simulatorGone = true;

    std::uint16_t value = 0;
    for (int failure = 1; failure <= 3; ++failure) {
        ASSERT_TRUE(rig.link.read(var::ParkingBrake.offset, 2, &value));
        EXPECT_FALSE(rig.link.process());
        EXPECT_EQ(rig.link.lastResult(), SimLink::kSendFailed);
        EXPECT_EQ(rig.link.failureCount(), failure);
        EXPECT_TRUE(rig.link.isOpen());
    }
    ASSERT_TRUE(rig.link.read(var::ParkingBrake.offset, 2, &value));
    EXPECT_FALSE(rig.link.process());
    EXPECT_EQ(rig.link.failureCount(), SimLink::kLostCount);
    EXPECT_FALSE(rig.link.isOpen());
    EXPECT_EQ(observer.losses, 1);

    for (int more = 0; more < 3; ++more) {
        EXPECT_FALSE(rig.link.read(var::ParkingBrake.offset, 2, &value));
        EXPECT_EQ(rig.link.lastResult(), SimLink::kClosed);
        EXPECT_FALSE(rig.link.process());
    }
    EXPECT_EQ(rig.link.failureCount(), SimLink::kLostCount);
    EXPECT_EQ(observer.losses, 1);
}

TEST(SimLinkLoss, WithoutAnObserverTheCountStopsAtThree) {
    LinkRig rig;
    ASSERT_TRUE(rig.link.open(0));
    rig.link.setTimingForTests(10, 1);
    rig.ipc.sendError = 1400;
    for (int i = 0; i < 6; ++i) EXPECT_FALSE(rig.link.process());
    EXPECT_EQ(rig.link.failureCount(), 3);
    EXPECT_TRUE(rig.link.isOpen());
}

TEST(SimLinkLoss, ASilentSimulatorIsLostAfterFourExchangesAndFoundAgain) {
    LinkRig rig;
    LossCounter observer;
    rig.link.setLossObserver(&observer);
    ASSERT_TRUE(rig.link.open(0));
    ASSERT_TRUE(rig.simulator->command("silent 120").ok);
    for (int i = 0; i < 4; ++i) EXPECT_FALSE(readU16(rig.link, var::ParkingBrake).has_value());
    EXPECT_EQ(rig.link.lastResult(), SimLink::kTimedOut);
    EXPECT_FALSE(rig.link.isOpen());
    EXPECT_EQ(rig.link.failureCount(), SimLink::kLostCount);
    // Three silent exchanges of 9 x 2.1 s each have passed; the simulator answers again soon.
    rig.clock.runFor(120000);
    ASSERT_TRUE(rig.link.open(0)) << rig.link.lastResult();
    EXPECT_EQ(rig.link.simulatorVersion(), 0x0007u);
    EXPECT_TRUE(readU16(rig.link, var::ParkingBrake).has_value());
}

}  // namespace
}  // namespace aviolog::simlink
