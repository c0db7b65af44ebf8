#pragma once

// The one definition of the gauge link: the fixed-size record that the program and the
// cockpit terminal exchange over TCP in both directions, its types, the display commands
// the terminal obeys and the key texts it sends back.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace aviolog::wire {

// Record layout: u16 type, little-endian, then 2000 bytes of NUL-terminated text.
inline constexpr std::size_t kGaugeTypeBytes = 2;
inline constexpr std::size_t kGaugeTextBytes = 2000;
inline constexpr std::size_t kGaugeRecordBytes = kGaugeTypeBytes + kGaugeTextBytes;
inline constexpr std::size_t kGaugeMaxTextChars = kGaugeTextBytes - 1;

// The program always connects to this port; the terminal listens on it unless its
// settings name another.
inline constexpr int kGaugeDefaultPort = 1147;

enum class GaugeRecordType : std::uint16_t {
    Page1Lines = 0,  // program to terminal: lines appended to page 1 (ACARS messages)
    Page2Lines = 1,  // program to terminal: lines appended to page 2 (flight log)
    Command = 2,     // both ways: a display command, or a key name or typed line
    Page3Lines = 3,  // program to terminal: the whole menu page
};

struct GaugeRecord {
    std::uint16_t type = 0;  // raw: a peer may send a type this side does not know
    std::string text;        // up to the first NUL
};

// Display commands (program to terminal). Matching is exact; the two line-positioning
// commands are a prefix followed by a decimal line number.
namespace gauge_command {
inline constexpr std::string_view kPage1 = "Page1";
inline constexpr std::string_view kPage1Top = "Page1Top";
inline constexpr std::string_view kPage1Line = "Page1Line";
inline constexpr std::string_view kPage2 = "Page2";
inline constexpr std::string_view kPage2Top = "Page2Top";
inline constexpr std::string_view kPage2Line = "Page2Line";
inline constexpr std::string_view kPage3 = "Page3";
inline constexpr std::string_view kClearPage1 = "ClearPage1";
inline constexpr std::string_view kClearPage2 = "ClearPage2";
inline constexpr std::string_view kClearPage3 = "ClearPage3";
}  // namespace gauge_command

// Key texts (terminal to program); a typed line travels as it was typed.
namespace gauge_key {
inline constexpr std::string_view kLeft[4] = {"LSK1", "LSK2", "LSK3", "LSK4"};
inline constexpr std::string_view kRight[4] = {"RSK1", "RSK2", "RSK3", "RSK4"};
inline constexpr std::string_view kShift = "Shift";
}  // namespace gauge_key

// The 2002 bytes of a record. The text is cut at its first NUL and at 1999 characters so
// that the receiver always finds a terminator; the bytes after it are zero.
inline std::string encodeGaugeRecord(std::uint16_t type, std::string_view text) {
    const std::size_t nul = text.find('\0');
    if (nul != std::string_view::npos) text = text.substr(0, nul);
    if (text.size() > kGaugeMaxTextChars) text = text.substr(0, kGaugeMaxTextChars);
    std::string bytes(kGaugeRecordBytes, '\0');
    bytes[0] = static_cast<char>(type & 0xFF);
    bytes[1] = static_cast<char>(type >> 8);
    bytes.replace(kGaugeTypeBytes, text.size(), text);
    return bytes;
}

inline std::string encodeGaugeRecord(GaugeRecordType type, std::string_view text) {
    return encodeGaugeRecord(static_cast<std::uint16_t>(type), text);
}

// Reads one whole record. A text without a terminator (a peer that broke the format)
// is read up to the record's end rather than past it.
inline GaugeRecord decodeGaugeRecord(std::span<const char, kGaugeRecordBytes> bytes) {
    GaugeRecord record;
    record.type = static_cast<std::uint16_t>(static_cast<unsigned char>(bytes[0]) |
                                             static_cast<unsigned char>(bytes[1]) << 8);
    const std::string_view text(bytes.data() + kGaugeTypeBytes, kGaugeTextBytes);
    record.text = std::string(text.substr(0, text.find('\0')));
    return record;
}

}  // namespace aviolog::wire
