#include "mail/mail_settings.h"

#include "config/ini_file.h"

namespace aviolog::mail {
namespace {

constexpr const char* kS = kMailSettingsSection;

void readText(const config::IniDocument& file, const char* key, std::string& member) {
    member = file.getString(kS, key, member, kMaxMailValueChars);
}

void readFlag(const config::IniDocument& file, const char* key, bool& member) {
    member = file.getInt(kS, key, member ? 1 : 0) != 0;
}

}  // namespace

void readMailSettings(const config::IniDocument& file, config::MailSection& account,
                      MailOptions& options) {
    const std::int32_t port = file.getInt(kS, "Port", options.Port);
    options.Port = port >= kMinPort && port <= kMaxPort ? port : kDefaultPort;
    readText(file, "Address", account.Address);
    readText(file, "Host", account.Host);
    readText(file, "Name", account.Name);
    account.Authenticate = file.getInt(kS, "Authenticate", account.Authenticate);
    readText(file, "Username", account.Username);
    readText(file, "Password", account.Password);
    readFlag(file, "Autodial", options.Autodial);
    readText(file, "BoundIP", options.BoundIP);
    readText(file, "EncodingFriendly", options.EncodingFriendly);
    readText(file, "EncodingCharset", options.EncodingCharset);
    readFlag(file, "Mime", options.Mime);
    readFlag(file, "HTML", options.HTML);
}

void writeMailSettings(config::IniDocument& file, const config::MailSection& account,
                       const MailOptions& options) {
    file.setInt(kS, "Port", options.Port);
    file.setString(kS, "Address", account.Address);
    file.setString(kS, "Host", account.Host);
    file.setString(kS, "Name", account.Name);
    file.setInt(kS, "Authenticate", account.Authenticate);
    file.setString(kS, "Username", account.Username);
    file.setString(kS, "Password", account.Password);
    file.setInt(kS, "Autodial", options.Autodial ? 1 : 0);
    file.setString(kS, "BoundIP", options.BoundIP);
    file.setString(kS, "EncodingFriendly", options.EncodingFriendly);
    file.setString(kS, "EncodingCharset", options.EncodingCharset);
    file.setInt(kS, "Mime", options.Mime ? 1 : 0);
    file.setInt(kS, "HTML", options.HTML ? 1 : 0);
}

}  // namespace aviolog::mail
