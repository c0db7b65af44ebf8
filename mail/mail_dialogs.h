#pragma once

namespace aviolog::mail {

struct MailConfiguration;

inline constexpr const char* kMailFileFilter = "Email Files (*.eml)|*.eml|All Files (*.*)|*.*||";

// The mailer's dialogs. The desktop shell shows them; tests script them. Each call returns
// when its dialog has closed.
class MailDialogs {
  public:
    virtual ~MailDialogs() = default;
    // "Configuration", editing the form. Its OK button calls form.ok(pilot) and closes the
    // dialog only when that names no field (otherwise it focuses the field named). True
    // when the dialog was closed by OK.
    virtual bool configure(MailConfiguration& form) = 0;
};

}  // namespace aviolog::mail
