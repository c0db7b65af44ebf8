#include "mail/pirep_mail.h"

namespace aviolog::mail {

OutgoingMail pirepMail(const std::string& recipient, const std::filesystem::path& attachment) {
    OutgoingMail mail;
    mail.to = recipient;
    mail.subject = kPirepSubject;
    mail.body = kPirepBody;
    mail.attachments.push_back(attachment);
    return mail;
}

}  // namespace aviolog::mail
