#include "mail/bug_report.h"

#include <optional>

#include "common/paths.h"
#include "common/text_file.h"
#include "common/text_format.h"
#include "config/ini_file.h"
#include "config/settings_file.h"
#include "mail/mailer.h"
#include "platform/pilot.h"

namespace aviolog::mail {
namespace {

constexpr std::size_t kMaxAddressChars = 199;

}  // namespace

std::string bugReportRecipient(const std::filesystem::path& workDir) {
    for (const char* name : {config::kSettingsFile, config::kTemplateFile}) {
        const std::string address =
            config::IniFile(localPath(workDir, name))
                .getString(kBugReportSection, kBugReportKey, "", kMaxAddressChars);
        if (!address.empty()) return address;
    }
    return {};
}

namespace {

// The text where the pilot can find it again: the file, or nothing when it could not be
// written.
std::optional<std::string> keep(std::string_view description,
                                const std::filesystem::path& workDir) {
    const std::filesystem::path file = localPath(workDir, kBugReportFile);
    if (!writeFileAtomically(file, textModeBytes(description))) return std::nullopt;
    return file.string();
}

}  // namespace

BugReportOutcome sendBugReport(Mailer& mailer, platform::Pilot& pilot, const std::string& recipient,
                               std::string_view description, const std::filesystem::path& workDir) {
    description = description.substr(0, kMaxBugDescriptionChars);
    if (recipient.empty()) {
        const auto kept = keep(description, workDir);
        pilot.inform(kept ? format(kNoBugReportAddressKeptMessage, kept->c_str())
                          : std::string(kNoBugReportAddressMessage));
        return BugReportOutcome::NoRecipient;
    }
    OutgoingMail mail;
    mail.to = recipient;
    mail.subject = kBugReportSubject;
    mail.body = std::string(description);
    if (mailer.send(mail)) return BugReportOutcome::Sent;
    if (const auto kept = keep(description, workDir)) {
        pilot.inform(format(kBugReportKeptMessage, kept->c_str()));
    }
    return BugReportOutcome::NotSent;
}

}  // namespace aviolog::mail
