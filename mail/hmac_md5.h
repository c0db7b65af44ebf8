#pragma once

#include <string_view>

#include "mail/md5.h"

namespace aviolog::mail {

// HMAC (RFC 2104) over MD5: the CRAM-MD5 answer to a server's challenge.
Md5Digest hmacMd5(std::string_view key, std::string_view text);

}  // namespace aviolog::mail
