#include "reporting/va_request.h"

namespace aviolog::reporting {
namespace {

bool keptAsIs(unsigned char c) {
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) return true;
    switch (c) {
        case '-':
        case '.':
        case '_':
        case '~':
        case '*':
        case '/':
        case ':':
            return true;
        default:
            return false;
    }
}

void appendEncoded(std::string& out, std::string_view value) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    for (const char c : value) {
        const auto byte = static_cast<unsigned char>(c);
        if (keptAsIs(byte)) {
            out += c;
        } else {
            out += '%';
            out += kHex[byte >> 4];
            out += kHex[byte & 0x0f];
        }
    }
}

// Room for the worst case, every byte encoded, so appending never reallocates.
std::size_t encodedBound(std::string_view name, std::string_view value) {
    return 2 + name.size() + 3 * value.size();
}

}  // namespace

std::string percentEncode(std::string_view value) {
    std::string out;
    out.reserve(3 * value.size());
    appendEncoded(out, value);
    return out;
}

VaRequest::VaRequest(std::string address) : url_(std::move(address)) {
    url_ += '?';
}

VaRequest& VaRequest::add(std::string_view name, std::string_view value) {
    url_.reserve(url_.size() + encodedBound(name, value));
    if (hasParameters_) url_ += '&';
    url_ += name;
    url_ += '=';
    appendEncoded(url_, value);
    hasParameters_ = true;
    return *this;
}

std::string VaRequest::urlWith(std::initializer_list<Parameter> parameters) const {
    std::size_t size = url_.size();
    for (const auto& [name, value] : parameters) size += encodedBound(name, value);
    std::string out;
    out.reserve(size);
    out.append(url_);
    for (const auto& [name, value] : parameters) {
        out += '&';
        out += name;
        out += '=';
        appendEncoded(out, value);
    }
    return out;
}

}  // namespace aviolog::reporting
