#pragma once

// The relay's TCP wire: the bridge on Linux hands each exchange's request block to the
// relay inside the simulator's Wine prefix, which passes it to the simulator interface
// there and sends the block back as that left it. One exchange at a time on a connection;
// all numbers little-endian u32.
//   request: magic "AVRQ", block length N, send time-out in ms, then N bytes of the block
//   answer:  magic "AVRA", status, reply, system error, block length N, then N bytes
// The answer's N equals the request's; anything else is a broken answer.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "wire/sim_ipc_wire.h"

namespace aviolog::wire::relay {

inline constexpr std::uint32_t kRequestMagic = 0x51525641;  // "AVRQ"
inline constexpr std::uint32_t kAnswerMagic = 0x41525641;   // "AVRA"
inline constexpr std::size_t kRequestHeaderBytes = 12;
inline constexpr std::size_t kAnswerHeaderBytes = 20;
inline constexpr int kDefaultPort = 7147;

// What became of the send inside the prefix, as the Win32 call reported it.
enum Status : std::uint32_t {
    kAnswered = 0,  // the window replied: see reply
    kTimedOut = 1,  // no reply within the time-out
    kFailed = 2,    // no window, or the system refused the send: see the system error
};

struct RequestHeader {
    std::uint32_t length = 0;
    std::uint32_t timeoutMs = 0;
};

struct AnswerHeader {
    std::uint32_t status = kFailed;
    std::uint32_t reply = 0;
    std::uint32_t systemError = 0;
    std::uint32_t length = 0;
};

// How much of a request block an exchange needs: its records and the end mark. A block
// whose walk does not end inside the request area is sent whole.
inline std::size_t requestLength(std::span<const std::byte> block) {
    const std::size_t limit = block.size() < kMaxRequestBytes ? block.size() : kMaxRequestBytes;
    std::size_t at = 0;
    while (at + kTerminatorBytes <= limit) {
        const std::uint32_t kind = load32(block.data() + at);
        if (kind == kRecordEnd) return at + kTerminatorBytes;
        // A record of another kind ends the server's walk: the end mark is not needed.
        if (kind != kRecordRead && kind != kRecordWrite) return at + kTerminatorBytes;
        const std::size_t header = kind == kRecordRead ? kReadHeaderBytes : kWriteHeaderBytes;
        if (at + header > limit) break;
        const std::uint64_t size = load32(block.data() + at + 8);
        if (at + header + size > limit) break;
        at += static_cast<std::size_t>(header + size);
    }
    return limit;
}

inline void encodeRequest(const RequestHeader& h, std::span<std::byte, kRequestHeaderBytes> out) {
    store32(out.data(), kRequestMagic);
    store32(out.data() + 4, h.length);
    store32(out.data() + 8, h.timeoutMs);
}

inline std::optional<RequestHeader> decodeRequest(
    std::span<const std::byte, kRequestHeaderBytes> in) {
    if (load32(in.data()) != kRequestMagic) return std::nullopt;
    RequestHeader h{load32(in.data() + 4), load32(in.data() + 8)};
    if (h.length < kTerminatorBytes || h.length > kMaxRequestBytes) return std::nullopt;
    return h;
}

inline void encodeAnswer(const AnswerHeader& h, std::span<std::byte, kAnswerHeaderBytes> out) {
    store32(out.data(), kAnswerMagic);
    store32(out.data() + 4, h.status);
    store32(out.data() + 8, h.reply);
    store32(out.data() + 12, h.systemError);
    store32(out.data() + 16, h.length);
}

inline std::optional<AnswerHeader> decodeAnswer(std::span<const std::byte, kAnswerHeaderBytes> in) {
    if (load32(in.data()) != kAnswerMagic) return std::nullopt;
    AnswerHeader h{load32(in.data() + 4), load32(in.data() + 8), load32(in.data() + 12),
                   load32(in.data() + 16)};
    if (h.status > kFailed || h.length > kMaxRequestBytes) return std::nullopt;
    return h;
}

}  // namespace aviolog::wire::relay
