#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>

namespace aviolog::platform {
class Pilot;
}

namespace aviolog::mail {

class Mailer;

inline constexpr const char* kBugReportTitle = "Aviolog Bug Report";
inline constexpr const char* kBugReportSubject = "Aviolog Bug Report";
inline constexpr std::size_t kMaxBugDescriptionChars = 19999;
inline constexpr const char* kBugReportExplanation =
    "This dialog will send an EMail to the Author with a Bug Report. Only for program problems";
inline constexpr const char* kBugReportExposure =
    "This Method will expose to the author your Email address.";
inline constexpr const char* kBugReportPurpose =
    "This information is for debugging only and will not be used for any other purpose. The "
    "Author could send you a reply E-Mail.";
// Whoever distributes the program sets the address in the template; until then there is
// nobody to mail, and the pilot is told so.
inline constexpr const char* kBugReportSection = "Support";
inline constexpr const char* kBugReportKey = "BugReportMail";
inline constexpr const char* kNoBugReportAddressMessage =
    "This copy of Aviolog has no address for bug reports, so the report was not sent. Please "
    "report the problem to whoever gave you the program (your virtual airline or the site you "
    "downloaded it from), with the text you typed.";
// A report that was not sent is kept beside the program, so the pilot's text is not lost;
// %s is the file.
inline constexpr const char* kBugReportFile = ".\\bugreport.txt";
inline constexpr const char* kBugReportKeptMessage = "What you typed is kept in %s.";
inline constexpr const char* kNoBugReportAddressKeptMessage =
    "This copy of Aviolog has no address for bug reports, so the report was not sent. What "
    "you typed is kept in %s: please send it to whoever gave you the program (your virtual "
    "airline or the site you downloaded it from).";

enum class BugReportOutcome { Sent, NotSent, NoRecipient };

// The address bug reports go to: [Support] BugReportMail of "aviolog.ini", or of the
// template "aviolog.ori" when the settings file has none (a settings file made by an older
// template keeps working once the distributor sets the address).
std::string bugReportRecipient(const std::filesystem::path& workDir);

// The dialog's OK: mails the description (at most 19999 characters) to the recipient
// with the pilot's account, or tells the pilot where to report when there is no recipient.
// A description that was not sent is written to kBugReportFile in workDir, and the pilot
// is told where it is.
BugReportOutcome sendBugReport(Mailer& mailer, platform::Pilot& pilot, const std::string& recipient,
                               std::string_view description, const std::filesystem::path& workDir);

}  // namespace aviolog::mail
