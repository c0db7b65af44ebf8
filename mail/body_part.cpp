#include "mail/body_part.h"

#include "common/text_file.h"
#include "common/text_format.h"
#include "mail/base64.h"
#include "mail/quoted_printable.h"

namespace aviolog::mail {
namespace {

constexpr const char* kTextPartHeader = "\r\n--%s\r\nContent-Type: %s; charset=%s\r\n";
constexpr const char* kContainerPartHeader =
    "\r\n--%s\r\nContent-Type: %s; charset=%s; Boundary=\"%s\"\r\n";
constexpr const char* kAttachmentPartHeader =
    "\r\n\r\n--%s\r\nContent-Type: %s; charset=%s; name=%s\r\n"
    "Content-Transfer-Encoding: base64\r\n"
    "Content-Disposition: attachment; filename=\"%s\"\r\n";
constexpr const char* kQuotedPrintableLine = "Content-Transfer-Encoding: quoted-printable\r\n";
constexpr const char* kBase64Line = "Content-Transfer-Encoding: base64\r\n";

// A parameter value that is not a single MIME token has to be quoted to be read back.
std::string parameterValue(const std::string& value) {
    constexpr std::string_view kSpecials = "()<>@,;:\\\"/[]?= \t";
    bool token = !value.empty();
    for (const char c : value) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 33 || u == 127 || kSpecials.find(c) != std::string_view::npos) token = false;
    }
    return token ? value : "\"" + quotedText(value) + "\"";
}

}  // namespace

std::string quotedText(const std::string& value) {
    std::string out;
    for (const char c : value) {
        if (c == '"' || c == '\\') out += '\\';
        if (c != '\r' && c != '\n') out += c;
    }
    return out;
}

std::string encodeContent(const std::string& content, TransferEncoding encoding) {
    switch (encoding) {
        case TransferEncoding::QuotedPrintable:
            return quotedPrintableEncode(content);
        case TransferEncoding::Base64:
            return base64EncodeLines(content);
        case TransferEncoding::None:
            break;
    }
    return content;
}

bool renderPart(const BodyPart& part, const std::string& parentBoundary, std::string& out,
                std::filesystem::path& failedFile) {
    if (part.isAttachment()) {
        const std::optional<std::string> bytes = readFileBytes(part.file);
        if (!bytes) {
            failedFile = part.file;
            return false;
        }
        const std::string name = part.file.filename().string();
        out += format(kAttachmentPartHeader, parentBoundary.c_str(), part.contentType.c_str(),
                      part.charset.c_str(), parameterValue(name).c_str(), quotedText(name).c_str());
        out += "\r\n";
        out += base64EncodeLines(*bytes);
        return true;
    }
    if (part.children.empty()) {
        out += format(kTextPartHeader, parentBoundary.c_str(), part.contentType.c_str(),
                      part.charset.c_str());
    } else {
        out += format(kContainerPartHeader, parentBoundary.c_str(), part.contentType.c_str(),
                      part.charset.c_str(), part.boundary.c_str());
    }
    if (part.encoding == TransferEncoding::QuotedPrintable) out += kQuotedPrintableLine;
    if (part.encoding == TransferEncoding::Base64) out += kBase64Line;
    if (!part.contentBase.empty()) out += format("Content-Base: %s\r\n", part.contentBase.c_str());
    if (!part.contentId.empty()) out += format("Content-ID: %s\r\n", part.contentId.c_str());
    if (!part.contentLocation.empty()) {
        out += format("Content-Location: %s\r\n", part.contentLocation.c_str());
    }
    out += "\r\n";
    out += encodeContent(part.text, part.encoding);
    for (const BodyPart& child : part.children) {
        if (!renderPart(child, part.boundary, out, failedFile)) return false;
    }
    if (!part.children.empty()) out += format("\r\n--%s--", part.boundary.c_str());
    return true;
}

}  // namespace aviolog::mail
