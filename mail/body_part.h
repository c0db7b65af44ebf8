#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace aviolog::mail {

enum class TransferEncoding { None, QuotedPrintable, Base64 };

// One part of a MIME message: a text, or a file attached, or a container of parts.
struct BodyPart {
    std::string contentType = "text/plain";
    std::string charset = "iso-8859-1";
    std::string text;            // the content of a text part
    std::filesystem::path file;  // set for an attachment
    TransferEncoding encoding = TransferEncoding::None;
    std::string contentBase, contentId, contentLocation;  // header lines when not empty
    std::string boundary;                                 // separates the children
    std::vector<BodyPart> children;

    bool isAttachment() const { return !file.empty(); }
};

// The part as it follows its parent's boundary: its header, a blank line, its encoded
// content, its children and, when it has any, its closing boundary. Attachments are read
// here; false (and the path in failedFile) when one cannot be read.
bool renderPart(const BodyPart& part, const std::string& parentBoundary, std::string& out,
                std::filesystem::path& failedFile);

// The text with backslash before each quote and backslash, and without line breaks: the
// inside of a quoted header parameter.
std::string quotedText(const std::string& value);

// The content of a part as its transfer encoding writes it.
std::string encodeContent(const std::string& content, TransferEncoding encoding);

}  // namespace aviolog::mail
