#include "mail/smtp_mailer.h"

#include <cerrno>
#include <fstream>
#include <thread>

#include "common/paths.h"
#include "common/text_file.h"
#include "common/text_format.h"
#include "config/ini_file.h"
#include "config/settings_file.h"
#include "mail/mail_configuration.h"
#include "mail/mail_dialogs.h"
#include "mail/smtp_connection.h"
#include "platform/pilot.h"
#include "platform/progress.h"

namespace aviolog::mail {

bool composeFormOk(const OutgoingMail& mail, platform::Pilot& pilot) {
    if (!SmtpMessage::parseAddressList(mail.to).empty()) return true;
    pilot.warn(kEmptyToMessage);
    return false;
}

SmtpMailer::SmtpMailer(config::MailSection& account, MailerContext context)
    : account_(account),
      context_(std::move(context)),
      responseTimeoutMs_(CSMTPConnection::kDefaultResponseTimeoutMs) {
    if (const auto file = config::IniFile(settingsPath()).load()) {
        readMailSettings(*file, account_, options_);
    }
}

std::filesystem::path SmtpMailer::settingsPath() const {
    return localPath(context_.workDir, config::kSettingsFile);
}

bool SmtpMailer::configured() {
    if (!account_.Host.empty() && !account_.Address.empty()) return true;
    context_.pilot.warn(kNotConfiguredMessage);
    configure();
    return false;
}

SmtpMessage SmtpMailer::compose(const OutgoingMail& mail) const {
    SmtpMessage message;
    message.mime = options_.Mime;
    message.charset = options_.EncodingCharset.empty() ? "iso-8859-1" : options_.EncodingCharset;
    message.to = SmtpMessage::parseAddressList(mail.to);
    if (!mail.cc.empty()) message.cc = SmtpMessage::parseAddressList(mail.cc);
    if (!mail.bcc.empty()) message.bcc = SmtpMessage::parseAddressList(mail.bcc);
    if (!mail.subject.empty()) message.subject = mail.subject;
    if (options_.HTML) {
        message.setHtmlBody(mail.body);
    } else {
        message.setTextBody(mail.body);
    }
    for (const auto& file : mail.attachments) message.addAttachment(file);
    message.from = {account_.Address, account_.Name};
    message.xMailer.clear();
    return message;
}

void SmtpMailer::keepDiagnostic(const CSMTPConnection& connection) {
    lastDiagnostic_ = connection.diagnostic();
}

bool SmtpMailer::connect(CSMTPConnection& connection) {
    connection.setResponseTimeoutMs(responseTimeoutMs_);
    if (connection.connect(account_.Host, account_.Authenticate, account_.Username,
                           account_.Password, options_.Port, options_.BoundIP)) {
        return true;
    }
    keepDiagnostic(connection);
    context_.pilot.error(format(kConnectFailedMessage, connection.lastError()));
    return false;
}

bool SmtpMailer::send(const OutgoingMail& mail) {
    if (!configured()) return false;
    // A file that cannot be read is found before the server is bothered, and named by the
    // message the pilot knows from sending a file.
    for (const auto& file : mail.attachments) {
        if (!std::ifstream(file, std::ios::binary)) {
            context_.pilot.error(kFileOpenFailedMessage);
            return false;
        }
    }
    const SmtpMessage message = compose(mail);
    CSMTPConnection connection(context_.connector, context_.clock, context_.ids);
    if (!connect(connection)) return false;
    if (!connection.sendMessage(message)) {
        keepDiagnostic(connection);
        context_.pilot.error(format(kSendFailedMessage, connection.lastResponse().c_str()));
        return false;
    }
    connection.disconnect();
    lastDiagnostic_.clear();
    return true;
}

bool SmtpMailer::sendFromDisk(const OutgoingMail& envelope) {
    if (!configured()) return false;
    const auto file = context_.pilot.chooseFileToOpen({kMailFileFilter, {}, {}, {}});
    if (!file) return false;
    if (!std::ifstream(*file, std::ios::binary)) {
        context_.pilot.error(kFileOpenFailedMessage);
        return false;
    }
    const SmtpMessage message = compose(envelope);
    CSMTPConnection connection(context_.connector, context_.clock, context_.ids);
    if (!connect(connection)) return false;

    platform::Progress progress;
    FileSendOutcome outcome = FileSendOutcome::SendFailed;
    {
        // The window shows on this thread while the worker sends; the worker finishes the
        // progress last, so the window never outlives the transfer.
        std::jthread worker([&] {
            outcome = connection.sendMessageFile(*file, message, &progress);
            progress.finish();
        });
        context_.pilot.showProgress(kSendingMailTitle, progress);
    }
    keepDiagnostic(connection);
    switch (outcome) {
        case FileSendOutcome::Sent:
            connection.disconnect();
            lastDiagnostic_.clear();
            return true;
        case FileSendOutcome::OpenFailed:
            context_.pilot.error(kFileOpenFailedMessage);
            return false;
        case FileSendOutcome::ReadFailed:
            context_.pilot.error(kFileReadFailedMessage);
            return false;
        case FileSendOutcome::SendFailed:
            context_.pilot.error(format(kSendFailedMessage, connection.lastResponse().c_str()));
            return false;
        case FileSendOutcome::Cancelled:
            return false;
    }
    return false;
}

bool SmtpMailer::saveToDisk(const OutgoingMail& mail) {
    const auto file = context_.pilot.chooseFileToSave({kMailFileFilter, {}, {}, {}});
    if (!file) return false;
    std::filesystem::path failed;
    const auto rendered = compose(mail).render(context_.ids, context_.clock.localTime(),
                                               context_.clock.zoneBiasMinutes(), &failed);
    int error = ENOENT;
    if (rendered) {
        errno = 0;
        if (writeFileAtomically(*file, rendered->text())) return true;
        error = errno != 0 ? errno : EIO;
    }
    context_.pilot.error(format(kSaveFailedMessage, error));
    return false;
}

void SmtpMailer::configure() {
    MailConfiguration form = MailConfiguration::from(account_, options_);
    if (!context_.dialogs.configure(form)) return;
    form.storeInto(account_, options_);
    writeSettings();
}

bool SmtpMailer::writeSettings() const {
    const config::IniFile file(settingsPath());
    auto document = file.load();
    if (!document) return false;
    writeMailSettings(*document, account_, options_);
    return file.save(*document);
}

}  // namespace aviolog::mail
