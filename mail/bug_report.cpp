#include "mail/bug_report.h"

#include "common/paths.h"
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

BugReportOutcome sendBugReport(Mailer& mailer, platform::Pilot& pilot, const std::string& recipient,
                               std::string_view description) {
    if (recipient.empty()) {
        pilot.inform(kNoBugReportAddressMessage);
        return BugReportOutcome::NoRecipient;
    }
    OutgoingMail mail;
    mail.to = recipient;
    mail.subject = kBugReportSubject;
    mail.body = std::string(description.substr(0, kMaxBugDescriptionChars));
    return mailer.send(mail) ? BugReportOutcome::Sent : BugReportOutcome::NotSent;
}

}  // namespace aviolog::mail
