#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "mail/body_part.h"
#include "platform/clock.h"

namespace aviolog::platform {
class UniqueIds;
}

namespace aviolog::mail {

inline constexpr const char* kDefaultXMailer = "CSMTPConnection v2.37";
inline constexpr const char* kMultipartPreamble = "This is a multi-part message in MIME format";

struct MailAddress {
    std::string address;
    std::string name;  // may be empty
};

// A message as it goes over the wire: the header lines, then (after a blank line) the
// body. Line ends are CR LF; dot-stuffing is the connection's business.
struct RenderedMessage {
    std::string header;
    std::string body;

    // The message file a mail program opens: header, blank line, body.
    std::string text() const { return header + "\r\n" + body; }
};

// One e-mail: sender, recipients, subject, a text or HTML body and attachments.
class SmtpMessage {
  public:
    MailAddress from;
    std::vector<MailAddress> to, cc, bcc;  // Bcc recipients appear in no header
    std::string replyTo;
    std::string subject;
    std::string xMailer = kDefaultXMailer;  // no X-Mailer line when empty
    std::vector<std::string> customHeaders;
    std::string charset = "iso-8859-1";
    bool mime = false;

    // Addresses separated by "," or ";", each bare or as "Name <address>"; blanks around
    // them are dropped, empty entries skipped.
    static std::vector<MailAddress> parseAddressList(std::string_view list);
    // Paths separated by "," or ";".
    static std::vector<std::string> splitList(std::string_view list);

    void setTextBody(std::string text);
    void setHtmlBody(std::string html);
    void addAttachment(std::filesystem::path file) {
        if (!file.empty()) attachments_.push_back(std::move(file));
    }
    const std::vector<std::filesystem::path>& attachments() const { return attachments_; }

    // Composes the header and the body. Boundaries are fresh UUIDs; the Date line shows
    // the local time and its offset from UTC (zoneBiasMinutes west of Greenwich, daylight
    // time included). Nothing when an attachment cannot be read (its path in failedFile).
    std::optional<RenderedMessage> render(platform::UniqueIds& ids,
                                          const platform::CivilTime& localTime, int zoneBiasMinutes,
                                          std::filesystem::path* failedFile = nullptr) const;

  private:
    std::string body_;
    bool html_ = false;
    std::vector<std::filesystem::path> attachments_;
};

// "%a, %d %b %Y %H:%M:%S " and the zone as sign, two hour and two minute digits.
std::string dateLine(const platform::CivilTime& localTime, int zoneBiasMinutes);

}  // namespace aviolog::mail
