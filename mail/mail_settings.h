#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "config/settings.h"

namespace aviolog::config {
class IniDocument;
}

namespace aviolog::mail {

inline constexpr const char* kMailSettingsSection = "MailSettings";
// The mailer reads its text values with at most this many characters.
inline constexpr std::size_t kMaxMailValueChars = 49;
inline constexpr std::int32_t kDefaultPort = 25;
inline constexpr std::int32_t kMinPort = 1;
inline constexpr std::int32_t kMaxPort = 32000;

// The [MailSettings] keys that only the mailer uses. The account (sender, server, login)
// lives in the settings record, which the rest of the program shares.
struct MailOptions {
    std::int32_t Port = kDefaultPort;
    bool Autodial = false;  // kept and written back; nothing depends on it
    std::string BoundIP;    // local address to connect from; empty means any
    std::string EncodingFriendly = "Western European (ISO)";
    std::string EncodingCharset = "iso-8859-1";
    bool Mime = false;
    bool HTML = false;

    bool operator==(const MailOptions&) const = default;
};

struct Encoding {
    const char* friendlyName;
    const char* charset;
};

// The encodings the configuration dialog offers, in its order ("Turkish (Windows)" is
// listed twice, as pilots have always seen it).
inline constexpr std::array<Encoding, 23> kEncodings{{
    {"Arabic (Windows)", "windows-1256"},
    {"Baltic (Windows)", "windows-1257"},
    {"Central European (ISO)", "iso-8859-2"},
    {"Central European (Windows)", "windows-1250"},
    {"Chinese Simplified (GB2312)", "gb2312"},
    {"Chinese Simplified (HZ)", "hz-gb-2312"},
    {"Chinese Traditional (Big5)", "big5"},
    {"Cyrilic (KOI8-R)", "koi8-r"},
    {"Cyrillic (Windows)", "windows-1251"},
    {"Greek (Windows)", "windows-1253"},
    {"Hebrew (Windows)", "windows-1255"},
    {"Japanese (JIS)", "iso-2022-jp"},
    {"Korean", "ks_c_5601"},
    {"Korean (EUC)", "euc-kr"},
    {"Latin 9 (ISO)", "iso-8859-15"},
    {"Thai (Windows)", "windows-874"},
    {"Turkish (Windows)", "windows-1254"},
    {"Unicode (UTF-7)", "utf-7"},
    {"Unicode (UTF-8)", "utf-8"},
    {"Vietnamese (Windows)", "windows-1258"},
    {"Turkish (Windows)", "windows-1254"},
    {"Western European (ISO)", "iso-8859-1"},
    {"Western European (Windows)", "windows-1252"},
}};

// Every [MailSettings] key; text cut to 49 characters, a port outside 1 to 32000 read as
// 25. Missing keys leave the members as they are.
void readMailSettings(const config::IniDocument& file, config::MailSection& account,
                      MailOptions& options);
// The keys in the order the configuration dialog writes them, integers as decimal text.
void writeMailSettings(config::IniDocument& file, const config::MailSection& account,
                       const MailOptions& options);

}  // namespace aviolog::mail
