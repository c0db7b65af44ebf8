#include "wire/request_server.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "wire/offset_memory.h"
#include "wire/sim_ipc_wire.h"

namespace aviolog::wire {
namespace {

class MemoryTarget final : public RequestTarget {
  public:
    void readVariable(std::uint32_t offset, std::span<std::byte> out) override {
        memory.read(offset, out);
    }
    void writeVariable(std::uint32_t offset, std::span<const std::byte> data) override {
        memory.write(offset, data);
        ++writes;
    }
    OffsetMemory memory;
    int writes = 0;
};

TEST(RequestServer, WalksReadsAndWritesInOrderAndStopsAtBadRecords) {
    struct Row {
        const char* name;
        std::vector<std::uint32_t> words;  // the block's first words
        std::uint32_t expectedFirstRead;   // what the read at word 4 holds afterwards
        int expectedWrites;
        std::uint32_t expectedKindAt;  // the kind left at word index 'kindIndex'
        std::size_t kindIndex;
    };
    // write 0x1234 to 0x4000 (4 bytes), then read it back
    const Row rows[] = {
        {"write then read sees the write",
         {2, 0x4000, 4, 0x1234, 1, 0x4000, 4, 9, 0, 0},
         0x1234,
         1,
         0,
         9},
        {"unknown kind ends the walk and is cleared",
         {7, 0x4000, 4, 0x1234, 1, 0x4000, 4, 9, 0, 0},
         0,
         0,
         0,
         0},
        {"oversized read ends the walk", {1, 0x4000, 0x10000, 9, 0, 0, 0, 0, 0, 0}, 0, 0, 1, 0},
    };
    for (const Row& row : rows) {
        std::vector<std::byte> block(wire::kBlockSize);
        for (std::size_t i = 0; i < row.words.size(); ++i) {
            wire::store32(block.data() + 4 * i, row.words[i]);
        }
        MemoryTarget target;
        EXPECT_EQ(serveRequests(block, target), wire::kReplySuccess) << row.name;
        EXPECT_EQ(target.writes, row.expectedWrites) << row.name;
        if (row.words[0] == 2) {
            EXPECT_EQ(wire::load32(block.data() + 32), row.expectedFirstRead) << row.name;
            EXPECT_EQ(wire::load32(block.data() + 28), 9u) << row.name << ": destination kept";
        }
        EXPECT_EQ(wire::load32(block.data() + 4 * row.kindIndex), row.expectedKindAt) << row.name;
    }
}

TEST(RequestServer, ReadsPastTheEndOfTheMemoryAreZero) {
    OffsetMemory memory;
    memory.setU32(0xFFFC, 0xAABBCCDD);
    std::array<std::byte, 8> out{};
    out.fill(std::byte{0xFF});
    memory.read(0xFFFC, out);
    EXPECT_EQ(wire::load32(out.data()), 0xAABBCCDDu);
    EXPECT_EQ(wire::load32(out.data() + 4), 0u);
    memory.write(0xFFFE, out);  // two bytes land, the rest would be past the end
    EXPECT_EQ(memory.u16(0xFFFE), 0xCCDD);
}

TEST(PacketCodec, RoundTripsAndRefusesBadLengths) {
    std::array<std::byte, wire::kMaxPacketBytes> buffer{};
    const std::size_t n = wire::encodePacket({0xC001, 0xC002, 0, "FsasmLib:IPC:1A:1"}, buffer);
    ASSERT_EQ(n, wire::kPacketHeaderBytes + 17);
    const auto packet = wire::decodePacket({buffer.data(), n});
    ASSERT_TRUE(packet);
    EXPECT_EQ(packet->message, 0xC001u);
    EXPECT_EQ(packet->wParam, 0xC002u);
    EXPECT_EQ(packet->blockName, "FsasmLib:IPC:1A:1");
    EXPECT_FALSE(wire::decodePacket({buffer.data(), 11}));
    EXPECT_EQ(wire::encodePacket({1, 2, 0, std::string(256, 'x')}, buffer), 0u);
}

}  // namespace
}  // namespace aviolog::wire
