#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace aviolog::mail {

// Base64 (RFC 2045) in one line, as SMTP authentication exchanges it.
std::string base64Encode(std::string_view bytes);
// Base64 in lines of 76 characters, each ended by CR LF, as a MIME body carries it.
std::string base64EncodeLines(std::string_view bytes);
// Line breaks and blanks are skipped; nothing when another character is not of the
// alphabet or the padding is wrong.
std::optional<std::string> base64Decode(std::string_view text);

}  // namespace aviolog::mail
