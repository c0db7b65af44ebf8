#include "mail/encoded_word.h"

#include <algorithm>

#include "common/text_format.h"

namespace aviolog::mail {
namespace {

constexpr std::size_t kMaxWordChars = 75;

bool needsEncoding(std::string_view value) {
    return std::any_of(value.begin(), value.end(),
                       [](char c) { return static_cast<unsigned char>(c) >= 128; });
}

std::string token(unsigned char c) {
    if (c == ' ') return "_";
    // Control bytes are escaped too: a raw one would not survive in a header.
    if (c == '=' || c == '?' || c == '_' || c >= 128 || c < 32 || c == 127) {
        return format("=%02X", c);
    }
    return std::string(1, static_cast<char>(c));
}

}  // namespace

std::string encodeHeaderValue(std::string_view value, std::string_view charset) {
    if (!needsEncoding(value)) return std::string(value);
    const std::string open = "=?" + std::string(charset) + "?q?";
    const std::string close = "?=";
    std::string out, word;
    auto flush = [&] {
        if (!out.empty()) out += "\r\n ";
        out += open + word + close;
        word.clear();
    };
    for (const char c : value) {
        const std::string piece = token(static_cast<unsigned char>(c));
        if (!word.empty() &&
            open.size() + word.size() + piece.size() + close.size() > kMaxWordChars) {
            flush();
        }
        word += piece;
    }
    flush();
    return out;
}

}  // namespace aviolog::mail
