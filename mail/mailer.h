#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace aviolog::mail {

// One e-mail a part of the program hands to the mailer.
struct OutgoingMail {
    std::string to;   // addresses separated by "," or ";"
    std::string cc;   // may be empty
    std::string bcc;  // may be empty; these recipients appear in no header
    std::string subject;
    std::string body;
    std::vector<std::filesystem::path> attachments;  // files sent as they are on disk
};

// Sends e-mail with the pilot's own account. The PIREP by e-mail and the bug report call
// it; tests substitute a recorder.
//
// send() blocks the calling thread for the whole exchange (each server reply may take up
// to a minute). It reports its own failures to the pilot: when no server or sender
// address is configured it warns and opens the mail configuration; a failed connection
// or send shows its message box. It returns whether the server accepted the message.
// The mail is taken by reference and not changed, so a caller can retry with it.
class Mailer {
  public:
    virtual ~Mailer() = default;
    virtual bool send(const OutgoingMail& mail) = 0;
};

}  // namespace aviolog::mail
