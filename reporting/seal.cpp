#include "reporting/seal.h"

#include <array>

#include "common/text_file.h"
#include "common/text_format.h"

namespace aviolog::reporting {

namespace {

// The register after shifting each byte value through it from zero: a pilot log file of a
// hundred long flights is megabytes, and the table makes it one step per character.
constexpr std::array<std::uint16_t, 256> kCrcTable = [] {
    std::array<std::uint16_t, 256> table{};
    for (unsigned byte = 0; byte < 256; ++byte) {
        auto value = static_cast<std::uint16_t>(byte << 8);
        for (int bit = 0; bit < 8; ++bit) {
            value = (value & 0x8000) ? static_cast<std::uint16_t>((value << 1) ^ 0x1021)
                                     : static_cast<std::uint16_t>(value << 1);
        }
        table[byte] = value;
    }
    return table;
}();

}  // namespace

std::uint16_t crc16(std::string_view text) {
    std::uint16_t value = 0;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        value = static_cast<std::uint16_t>((value << 8) ^ kCrcTable[(value >> 8) ^ byte]);
    }
    return value;
}

std::string sealLine(std::string_view text) {
    return format("%02d\n", crc16(text));
}

SealedText readSeal(std::string_view text) {
    // The seal line is found from the eighth-last character on: the first line feed there
    // ends the content, and the number after it is the stored seal.
    const std::size_t from = text.size() > 8 ? text.size() - 8 : 0;
    const std::size_t feed = text.find('\n', from);
    if (feed == std::string_view::npos) return {false, std::string(text)};
    unsigned long stored = 0;
    for (std::size_t i = feed + 1; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        stored = (stored * 10 + static_cast<unsigned long>(text[i] - '0')) & 0xFFFFFFFFul;
    }
    const std::string_view content = text.substr(0, feed + 1);
    return {static_cast<std::uint16_t>(stored) == crc16(content), std::string(content)};
}

std::string sealedBytes(std::string_view text) {
    return textModeBytes(std::string(text) + sealLine(text));
}

bool checkSeal(const std::filesystem::path& path, bool strip) {
    const auto bytes = readFileBytes(path);
    if (!bytes) return false;
    const SealedText sealed = readSeal(textModeText(*bytes));
    if (strip) writeFileAtomically(path, textModeBytes(sealed.content));
    return !sealed.valid;
}

}  // namespace aviolog::reporting
