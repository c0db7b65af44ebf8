#pragma once

// The seal that ends every pilot log file and every saved flight log: a CRC-16 of the
// text above it, so that a VA can tell a file a pilot edited from one the program wrote.

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace aviolog::reporting {

inline constexpr const char* kTamperedLogMessage = "Tampered Log";

// CRC-16 with polynomial 0x1021, initial value 0, most significant bit first, no
// reflection and no final XOR: "123456789" gives 0x31C3.
std::uint16_t crc16(std::string_view text);

// The seal line of a text: the CRC in decimal, at least two digits, and a line feed.
std::string sealLine(std::string_view text);

// What a sealed file's text-mode text holds.
struct SealedText {
    // The seal line matches the text above it. A text without a line feed among its last
    // eight characters has no seal line to match.
    bool valid = false;
    std::string content;  // the text above the seal line, the whole text when there is none
};
SealedText readSeal(std::string_view text);

// The file on disk with the seal line added: CR LF line ends, as written in text mode.
std::string sealedBytes(std::string_view text);

// Checks a file's seal. A file that cannot be opened counts as not tampered. With strip,
// the file is rewritten without its seal line whatever the outcome, so a tampered file
// stays tampered.
bool checkSeal(const std::filesystem::path& path, bool strip);

}  // namespace aviolog::reporting
