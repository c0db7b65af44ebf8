#include "common/html_text.h"

namespace aviolog {

std::string htmlEscaped(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += "&#39;";
                break;
            case '\0':
                out += "&#xFFFD;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

}  // namespace aviolog
