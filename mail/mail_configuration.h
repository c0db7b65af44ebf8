#pragma once

#include <array>
#include <string>

#include "config/settings.h"
#include "mail/mail_settings.h"

namespace aviolog::platform {
class Pilot;
}

namespace aviolog::mail {

inline constexpr const char* kNoAddressMessage = "Please specify a valid email address";
inline constexpr const char* kNoHostMessage = "Please specify a valid SMTP host";
inline constexpr const char* kNoUsernameMessage = "Please specify a valid username";
inline constexpr const char* kPortRangeMessage = "Please enter an integer between 1 and 32000.";
// What the bound-address field shows while the connection may use any local address.
inline constexpr const char* kAnyIpAddress = "ANY_IP_ADDRESS";
// The authentication list, stored as its index 0 to 3.
inline constexpr std::array<const char*, 4> kAuthenticationChoices{
    "None", "Secure Password Authentication", "Password Authentication", "Plain Login"};

enum class ConfigurationField { None, Address, Host, Username, Port };

// The values the "Configuration" dialog edits. Text fields hold at most 49 characters:
// that is what the mailer reads back at the next start, so a longer value would change
// behind the pilot's back.
struct MailConfiguration {
    static MailConfiguration from(const config::MailSection& account, const MailOptions& options);

    // The dialog's OK: the checks in order; the failing one shows its message and names
    // the field to focus while the dialog stays open. None: the values may be kept.
    ConfigurationField ok(platform::Pilot& pilot) const;
    void storeInto(config::MailSection& account, MailOptions& options) const;

    // "Sender"
    std::string name;
    std::string address;
    int authentication = 0;
    std::string username;
    std::string password;
    // "Server"
    std::string host;
    int port = kDefaultPort;
    // "Misc", hidden
    bool autodial = false;
    std::string boundAddress = kAnyIpAddress;
    bool mime = false;
    bool html = false;
    std::string encoding = "Western European (ISO)";  // a friendly name of kEncodings
};

}  // namespace aviolog::mail
