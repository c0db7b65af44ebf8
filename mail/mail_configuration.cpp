#include "mail/mail_configuration.h"

#include "platform/pilot.h"

namespace aviolog::mail {
namespace {

std::string cut(const std::string& text) {
    return text.substr(0, kMaxMailValueChars);
}

}  // namespace

MailConfiguration MailConfiguration::from(const config::MailSection& account,
                                          const MailOptions& options) {
    MailConfiguration form;
    form.name = account.Name;
    form.address = account.Address;
    form.authentication =
        account.Authenticate >= 0 &&
                account.Authenticate < static_cast<int>(kAuthenticationChoices.size())
            ? account.Authenticate
            : 0;
    form.username = account.Username;
    form.password = account.Password;
    form.host = account.Host;
    form.port = options.Port;
    form.autodial = options.Autodial;
    form.boundAddress = options.BoundIP.empty() ? kAnyIpAddress : options.BoundIP;
    form.mime = options.Mime;
    form.html = options.HTML;
    form.encoding = options.EncodingFriendly;
    return form;
}

ConfigurationField MailConfiguration::ok(platform::Pilot& pilot) const {
    if (address.empty()) {
        pilot.warn(kNoAddressMessage);
        return ConfigurationField::Address;
    }
    if (host.empty()) {
        pilot.warn(kNoHostMessage);
        return ConfigurationField::Host;
    }
    if (authentication != 0 && username.empty()) {
        pilot.warn(kNoUsernameMessage);
        return ConfigurationField::Username;
    }
    if (port < kMinPort || port > kMaxPort) {
        pilot.warn(kPortRangeMessage);
        return ConfigurationField::Port;
    }
    return ConfigurationField::None;
}

void MailConfiguration::storeInto(config::MailSection& account, MailOptions& options) const {
    account.Name = cut(name);
    account.Address = cut(address);
    account.Authenticate = authentication;
    account.Username = cut(username);
    account.Password = cut(password);
    account.Host = cut(host);
    options.Port = port;
    options.Autodial = autodial;
    options.BoundIP = boundAddress == kAnyIpAddress ? "" : cut(boundAddress);
    options.Mime = mime;
    options.HTML = html;
    for (const Encoding& e : kEncodings) {
        if (encoding == e.friendlyName) {
            options.EncodingFriendly = e.friendlyName;
            options.EncodingCharset = e.charset;
            break;
        }
    }
}

}  // namespace aviolog::mail
