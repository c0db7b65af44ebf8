#include "mail/quoted_printable.h"

#include "common/text_format.h"

namespace aviolog::mail {
namespace {

constexpr std::size_t kMaxLineChars = 76;

bool passes(unsigned char c) {
    return (c >= 33 && c <= 60) || (c >= 62 && c <= 126) || c == ' ' || c == '\t';
}

void encodeLine(std::string_view line, std::string& out) {
    std::size_t lineChars = 0;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const auto c = static_cast<unsigned char>(line[i]);
        const bool last = i + 1 == line.size();
        const bool escape = !passes(c) || (last && (c == ' ' || c == '\t'));
        const std::size_t width = escape ? 3 : 1;
        // The last token may fill the line; any other must leave room for the soft break.
        const std::size_t room = last ? kMaxLineChars : kMaxLineChars - 1;
        if (lineChars + width > room) {
            out += "=\r\n";
            lineChars = 0;
        }
        if (escape) {
            out += format("=%02X", c);
        } else {
            out += static_cast<char>(c);
        }
        lineChars += width;
    }
}

}  // namespace

std::string quotedPrintableEncode(std::string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 16);
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos) {
            encodeLine(text.substr(start), out);
            break;
        }
        encodeLine(text.substr(start, end - start), out);
        out += "\r\n";
        start =
            end + ((text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') ? 2 : 1);
    }
    return out;
}

}  // namespace aviolog::mail
