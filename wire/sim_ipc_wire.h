#pragma once

// The one definition of the simulator interface's protocol: names, the request records
// inside the shared block, and the Linux message packet. Client and server both use it.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <span>
#include <string_view>

namespace aviolog::wire {

inline constexpr std::string_view kWindowClass = "UIPCMAIN";
inline constexpr std::string_view kLegacyWindowClass = "FS98MAIN";
inline constexpr std::string_view kMessageName = "FsasmLib:IPC";
// printf format of a block name: process id and open number, in hexadecimal.
inline constexpr const char* kBlockNameFormat = "FsasmLib:IPC:%X:%X";

inline constexpr std::size_t kBlockSize = 0x8000;
// Requests may use this much of the block, the terminator included.
inline constexpr std::size_t kMaxRequestBytes = 0x7F00;

// Request records, packed from the start of the block, fields little-endian u32:
//   read:  kind 1, offset, size, destination, then size bytes the server fills
//   write: kind 2, offset, size, then size bytes of data
//   end:   a single 0
// The destination of a read is opaque to the server.
inline constexpr std::uint32_t kRecordEnd = 0;
inline constexpr std::uint32_t kRecordRead = 1;
inline constexpr std::uint32_t kRecordWrite = 2;
inline constexpr std::size_t kReadHeaderBytes = 16;
inline constexpr std::size_t kWriteHeaderBytes = 12;
inline constexpr std::size_t kTerminatorBytes = 4;

// The reply of a server that has walked the block.
inline constexpr std::uint32_t kReplySuccess = 1;

inline std::uint32_t load32(const std::byte* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

inline void store32(std::byte* p, std::uint32_t v) {
    p[0] = static_cast<std::byte>(v);
    p[1] = static_cast<std::byte>(v >> 8);
    p[2] = static_cast<std::byte>(v >> 16);
    p[3] = static_cast<std::byte>(v >> 24);
}

// Linux transport: the message is one SOCK_SEQPACKET packet of three u32 (message id,
// first parameter, second parameter) followed by the block name without a terminator;
// the reply is one packet holding a u32 result.
inline constexpr std::size_t kPacketHeaderBytes = 12;
inline constexpr std::size_t kMaxBlockNameBytes = 255;
inline constexpr std::size_t kMaxPacketBytes = kPacketHeaderBytes + kMaxBlockNameBytes;
inline constexpr std::size_t kReplyBytes = 4;

// The block name is a view: of the caller's text when encoding, of the packet's bytes
// when decoded, so neither end copies it for every exchange.
struct MessagePacket {
    std::uint32_t message = 0;
    std::uint32_t wParam = 0;
    std::uint32_t lParam = 0;
    std::string_view blockName;
};

// Returns the number of bytes written to out, or 0 when the name does not fit.
inline std::size_t encodePacket(const MessagePacket& packet,
                                std::span<std::byte, kMaxPacketBytes> out) {
    if (packet.blockName.size() > kMaxBlockNameBytes) return 0;
    store32(out.data(), packet.message);
    store32(out.data() + 4, packet.wParam);
    store32(out.data() + 8, packet.lParam);
    std::memcpy(out.data() + kPacketHeaderBytes, packet.blockName.data(), packet.blockName.size());
    return kPacketHeaderBytes + packet.blockName.size();
}

// The name in the result points into in.
inline std::optional<MessagePacket> decodePacket(std::span<const std::byte> in) {
    if (in.size() < kPacketHeaderBytes || in.size() > kMaxPacketBytes) return std::nullopt;
    MessagePacket packet;
    packet.message = load32(in.data());
    packet.wParam = load32(in.data() + 4);
    packet.lParam = load32(in.data() + 8);
    packet.blockName = {reinterpret_cast<const char*>(in.data()) + kPacketHeaderBytes,
                        in.size() - kPacketHeaderBytes};
    return packet;
}

}  // namespace aviolog::wire
