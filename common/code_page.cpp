#include "common/code_page.h"

#include <cstdint>

namespace aviolog {

namespace {
// 0x80..0x9F; 0 marks the five bytes without a character.
constexpr std::uint16_t kHighControls[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

char windows1252Byte(std::uint32_t cp) {
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) return static_cast<char>(cp);
    for (std::uint32_t i = 0; i < 32; ++i) {
        const std::uint32_t mapped = kHighControls[i] ? kHighControls[i] : 0x80 + i;
        if (mapped == cp) return static_cast<char>(0x80 + i);
    }
    return '?';
}

}  // namespace

char windows1252From(char32_t codePoint) {
    return windows1252Byte(codePoint);
}

namespace {

// The code point of the UTF-8 sequence at text[at], advancing at; nothing when malformed
// (overlong forms, surrogates and values past U+10FFFF included).
std::optional<std::uint32_t> nextCodePoint(std::string_view text, std::size_t& at) {
    const auto lead = static_cast<unsigned char>(text[at++]);
    if (lead < 0x80) return lead;
    int extra = 0;
    std::uint32_t cp = 0;
    std::uint32_t least = 0;
    if ((lead & 0xE0) == 0xC0) {
        extra = 1, cp = lead & 0x1F, least = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        extra = 2, cp = lead & 0x0F, least = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        extra = 3, cp = lead & 0x07, least = 0x10000;
    } else {
        return std::nullopt;
    }
    for (int i = 0; i < extra; ++i) {
        if (at >= text.size()) return std::nullopt;
        const auto next = static_cast<unsigned char>(text[at++]);
        if ((next & 0xC0) != 0x80) return std::nullopt;
        cp = (cp << 6) | (next & 0x3F);
    }
    if (cp < least || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return std::nullopt;
    return cp;
}

}  // namespace

std::string utf8FromWindows1252(std::string_view text, UndefinedBytes undefined) {
    std::string out;
    out.reserve(text.size());
    for (const char ch : text) {
        const auto byte = static_cast<unsigned char>(ch);
        std::uint32_t cp = byte;
        if (byte >= 0x80 && byte < 0xA0) {
            const std::uint16_t mapped = kHighControls[byte - 0x80];
            cp = mapped ? mapped : undefined == UndefinedBytes::Keep ? byte : 0xFFFD;
        }
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    }
    return out;
}

std::optional<std::string> windows1252FromUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t at = 0; at < text.size();) {
        const auto cp = nextCodePoint(text, at);
        if (!cp) return std::nullopt;
        out.push_back(windows1252Byte(*cp));
    }
    return out;
}

std::string windows1252FromFileText(std::string_view bytes) {
    constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";
    if (!bytes.starts_with(kUtf8Mark)) return std::string(bytes);
    bytes.remove_prefix(kUtf8Mark.size());
    return windows1252FromUtf8(bytes).value_or(std::string(bytes));
}

}  // namespace aviolog
