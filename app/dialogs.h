#pragma once

#include "config/settings_dialogs.h"
#include "mail/mail_dialogs.h"
#include "reporting/reporting_dialogs.h"

namespace aviolog::app {

// Every dialog the core opens beyond the pilot's message boxes and choosers, in one
// interface: the desktop shell shows them, the flight runner and tests answer them.
class Dialogs : public config::SettingsDialogs,
                public mail::MailDialogs,
                public reporting::ReportingDialogs {};

}  // namespace aviolog::app
