#include "reporting/va_outbox.h"

#include <charconv>
#include <system_error>

#include "common/text_file.h"

namespace aviolog::reporting {

OutboxRecords readOutbox(std::string_view bytes) {
    OutboxRecords out;
    std::size_t at = 0;
    while (at < bytes.size()) {
        std::size_t length = 0;
        const char* begin = bytes.data() + at;
        const char* end = bytes.data() + bytes.size();
        const auto [stop, error] = std::from_chars(begin, end, length);
        const std::size_t start = at + static_cast<std::size_t>(stop - begin) + 1;
        if (error != std::errc{} || stop == begin || stop == end || *stop != ' ' ||
            length > bytes.size() || start + length + 2 > bytes.size() ||
            bytes.substr(start + length, 2) != "\r\n") {
            out.cut = true;
            break;
        }
        out.requests.emplace_back(bytes.substr(start, length));
        at = start + length + 2;
    }
    return out;
}

std::string outboxBytes(const std::deque<std::string>& requests) {
    std::string bytes;
    for (const std::string& request : requests) {
        bytes += std::to_string(request.size());
        bytes += ' ';
        bytes += request;
        bytes += "\r\n";
    }
    return bytes;
}

VaOutbox::VaOutbox(std::filesystem::path path) : path_(std::move(path)) {
    const auto bytes = readFileBytes(path_);
    if (!bytes) return;
    OutboxRecords records = readOutbox(*bytes);
    requests_ = std::move(records.requests);
    if (records.cut) {
        std::filesystem::path kept = path_;
        kept += ".damaged";
        writeFileAtomically(kept, *bytes);
    }
}

bool VaOutbox::append(std::string request) {
    requests_.push_back(std::move(request));
    return write();
}

bool VaOutbox::removeOldest() {
    if (requests_.empty()) return true;
    requests_.pop_front();
    return write();
}

bool VaOutbox::replace(std::deque<std::string> requests) {
    requests_ = std::move(requests);
    return write();
}

bool VaOutbox::write() const {
    if (requests_.empty()) {
        std::error_code ec;
        std::filesystem::remove(path_, ec);
        return !ec;
    }
    return writeFileAtomically(path_, outboxBytes(requests_));
}

}  // namespace aviolog::reporting
