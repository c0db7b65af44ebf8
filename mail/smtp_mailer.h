#pragma once

#include <filesystem>
#include <string>

#include "config/settings.h"
#include "mail/mail_settings.h"
#include "mail/mailer.h"
#include "mail/smtp_message.h"

namespace aviolog::platform {
class Clock;
class Pilot;
class TcpConnector;
class UniqueIds;
}  // namespace aviolog::platform

namespace aviolog::mail {

class CSMTPConnection;
class MailDialogs;

inline constexpr const char* kNotConfiguredMessage = "You need to configure your settings first";
inline constexpr const char* kConnectFailedMessage = "Couldn't connect to server!, Error:%d";
inline constexpr const char* kSendFailedMessage = "Couldn't send message!\nResponse:%s";
inline constexpr const char* kSaveFailedMessage = "Couldn't save to disk!, Error:%d";
inline constexpr const char* kFileOpenFailedMessage = "Failed to open the file";
inline constexpr const char* kFileReadFailedMessage = "Failed to read from the file to mail";
inline constexpr const char* kSendingMailTitle = "Sending Mail";
inline constexpr const char* kEmptyToMessage = "To: address is empty !";

struct MailerContext {
    std::filesystem::path workDir;  // the program's ".\", where "aviolog.ini" is
    platform::Pilot& pilot;
    MailDialogs& dialogs;
    platform::TcpConnector& connector;
    platform::Clock& clock;
    platform::UniqueIds& ids;
};

// The mailer of the whole run: the pilot's account from the settings record, the other
// [MailSettings] keys of "aviolog.ini", and the operations Send, Send From Disk, Save to
// Disk and Configure. Everything but Send From Disk's transfer runs on the calling thread.
class SmtpMailer final : public Mailer {
  public:
    // Reads [MailSettings] into the account and the options.
    SmtpMailer(config::MailSection& account, MailerContext context);

    bool send(const OutgoingMail& mail) override;
    // Sends a saved message file chosen by the pilot, with the mail's sender and
    // recipients as the envelope, on a worker thread behind the "Sending Mail" window.
    bool sendFromDisk(const OutgoingMail& envelope);
    // Writes the composed message to a file chosen by the pilot.
    bool saveToDisk(const OutgoingMail& mail);
    // The "Configuration" dialog; on OK the values are kept and written to "aviolog.ini".
    void configure();
    // Writes every [MailSettings] key, as at exit; false when the file could not be written.
    bool writeSettings() const;

    const MailOptions& options() const { return options_; }
    // The diagnostic of the last failed exchange, for whoever looks into a failure.
    const std::string& lastDiagnostic() const { return lastDiagnostic_; }
    void setResponseTimeoutMs(int ms) { responseTimeoutMs_ = ms; }

  private:
    bool configured();
    SmtpMessage compose(const OutgoingMail& mail) const;
    bool connect(CSMTPConnection& connection);
    void keepDiagnostic(const CSMTPConnection& connection);
    std::filesystem::path settingsPath() const;

    config::MailSection& account_;
    MailerContext context_;
    MailOptions options_;
    std::string lastDiagnostic_;
    int responseTimeoutMs_;
};

// The compose form's OK: an empty To keeps the form open with its message.
bool composeFormOk(const OutgoingMail& mail, platform::Pilot& pilot);

}  // namespace aviolog::mail
