#include "mail/smtp_message.h"

#include <algorithm>
#include <cstdlib>

#include "common/text_format.h"
#include "mail/encoded_word.h"
#include "platform/unique_ids.h"

namespace aviolog::mail {
namespace {

constexpr const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                   "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
constexpr const char* kMimeHeaderMultipart =
    "MIME-Version: 1.0\r\nContent-Type: %s; boundary=\"%s\"\r\n";
constexpr const char* kMimeHeaderSingle = "MIME-Version: 1.0\r\nContent-Type: %s\r\n";
constexpr const char* kPlainHeader = "Content-Type: %s;\r\n\tcharset=%s\r\n";
// SMTP carries lines of at most 998 characters; a longer one is refused by servers.
constexpr std::size_t kMaxWireLineChars = 998;

std::string trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos) return {};
    const auto last = text.find_last_not_of(" \t\r\n");
    return std::string(text.substr(first, last - first + 1));
}

// A header value is one line: a line break in it would start a header of its own.
std::string oneLine(std::string_view text) {
    std::string out(text);
    std::replace_if(
        out.begin(), out.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
    return out;
}

// Every line end CR LF, so that the text crosses SMTP as it was written.
std::string crlfLines(std::string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 32);
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r') {
            out += "\r\n";
            if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
        } else if (c == '\n') {
            out += "\r\n";
        } else {
            out += c;
        }
    }
    return out;
}

bool hasLongLine(std::string_view text) {
    std::size_t run = 0;
    for (const char c : text) {
        run = (c == '\r' || c == '\n') ? 0 : run + 1;
        if (run > kMaxWireLineChars) return true;
    }
    return false;
}

std::string rendered(const MailAddress& who, const std::string& charset) {
    const std::string address = oneLine(who.address);
    if (who.name.empty()) return address;
    return format("%s <%s>", encodeHeaderValue(oneLine(who.name), charset).c_str(),
                  address.c_str());
}

std::string joined(const std::vector<MailAddress>& list, const std::string& charset) {
    std::string out;
    for (const MailAddress& who : list) {
        if (!out.empty()) out += ",";
        out += rendered(who, charset);
    }
    return out;
}

}  // namespace

std::string dateLine(const platform::CivilTime& t, int zoneBiasMinutes) {
    const char* day = kDays[std::clamp(t.dayOfWeek, 0, 6)];
    const char* month = kMonths[std::clamp(t.month, 1, 12) - 1];
    // The sign comes from the bias itself, so a zone less than an hour west keeps its minus.
    const char sign = zoneBiasMinutes > 0 ? '-' : '+';
    const int offset = std::abs(zoneBiasMinutes);
    return format("%s, %02d %s %04d %02d:%02d:%02d %c%02d%02d", day, t.day, month, t.year, t.hour,
                  t.minute, t.second, sign, offset / 60, offset % 60);
}

std::vector<std::string> SmtpMessage::splitList(std::string_view list) {
    std::vector<std::string> items;
    std::size_t start = 0;
    while (start <= list.size()) {
        const std::size_t end = list.find_first_of(",;", start);
        const std::string item =
            trimmed(list.substr(start, end == std::string_view::npos ? end : end - start));
        if (!item.empty()) items.push_back(item);
        if (end == std::string_view::npos) break;
        start = end + 1;
    }
    return items;
}

std::vector<MailAddress> SmtpMessage::parseAddressList(std::string_view list) {
    std::vector<MailAddress> addresses;
    for (const std::string& item : splitList(list)) {
        const auto open = item.find('<');
        const auto close = item.rfind('>');
        if (open != std::string::npos && close != std::string::npos && close > open) {
            std::string name = trimmed(std::string_view(item).substr(0, open));
            if (name.size() >= 2 && name.front() == '"' && name.back() == '"') {
                name = name.substr(1, name.size() - 2);
            }
            addresses.push_back({trimmed(item.substr(open + 1, close - open - 1)), name});
        } else {
            addresses.push_back({item, ""});
        }
    }
    return addresses;
}

void SmtpMessage::setTextBody(std::string text) {
    body_ = std::move(text);
    html_ = false;
}

void SmtpMessage::setHtmlBody(std::string html) {
    body_ = std::move(html);
    html_ = true;
}

std::optional<RenderedMessage> SmtpMessage::render(platform::UniqueIds& ids,
                                                   const platform::CivilTime& localTime,
                                                   int zoneBiasMinutes,
                                                   std::filesystem::path* failedFile) const {
    const std::string bodyType = html_ ? "text/html" : "text/plain";
    const std::string body = crlfLines(body_);
    // A line too long for SMTP can only travel encoded, and encoding needs MIME.
    const bool asMime = mime || !attachments_.empty() || hasLongLine(body);

    RenderedMessage out;
    std::string& h = out.header;
    h += "From: " + rendered(from, charset) + "\r\n";
    h += "To: " + joined(to, charset) + "\r\n";
    if (!cc.empty()) h += "Cc: " + joined(cc, charset) + "\r\n";
    h += "Subject: " + encodeHeaderValue(oneLine(subject), charset) + "\r\n";
    if (!xMailer.empty()) h += "X-Mailer: " + encodeHeaderValue(oneLine(xMailer), charset) + "\r\n";

    BodyPart text;
    text.contentType = bodyType;
    text.charset = charset;
    text.text = body;
    text.encoding = asMime ? TransferEncoding::QuotedPrintable : TransferEncoding::None;

    std::string boundary;
    if (!asMime) {
        h += format(kPlainHeader, bodyType.c_str(), charset.c_str());
    } else if (attachments_.empty()) {
        h += "Content-Transfer-Encoding: quoted-printable\r\n";
        h += format(kMimeHeaderSingle, (bodyType + "; charset=" + charset).c_str());
    } else {
        boundary = ids.newUuid();
        h += format(kMimeHeaderMultipart, "multipart/mixed", boundary.c_str());
    }
    if (!replyTo.empty()) h += "Reply-To: " + oneLine(replyTo) + "\r\n";
    h += "Date: " + dateLine(localTime, zoneBiasMinutes) + "\r\n";
    for (const std::string& line : customHeaders) h += oneLine(line) + "\r\n";

    if (!asMime) {
        out.body = body;
        return out;
    }
    if (attachments_.empty()) {
        out.body = encodeContent(text.text, text.encoding);
        return out;
    }
    out.body = kMultipartPreamble;
    std::filesystem::path failed;
    if (!renderPart(text, boundary, out.body, failed)) return std::nullopt;
    for (const std::filesystem::path& file : attachments_) {
        BodyPart part;
        part.contentType = "application/octet-stream";
        part.charset = charset;
        part.file = file;
        part.encoding = TransferEncoding::Base64;
        if (!renderPart(part, boundary, out.body, failed)) {
            if (failedFile != nullptr) *failedFile = failed;
            return std::nullopt;
        }
    }
    out.body += format("\r\n--%s--", boundary.c_str());
    return out;
}

}  // namespace aviolog::mail
