#pragma once

#include <string>
#include <string_view>

namespace aviolog::mail {

// A header value as it is sent. Plain ASCII goes as it is. A value holding a byte of 128
// or above becomes RFC 2047 "Q" encoded words: "=?" charset "?q?" text "?=", each blank
// written "_", each "=", "?", "_" and byte of 128 or above as "=" and two upper-case hex
// digits. A word may not exceed 75 characters, so a longer value is carried by several
// words on folded lines; readers join adjacent words without the fold.
std::string encodeHeaderValue(std::string_view value, std::string_view charset);

}  // namespace aviolog::mail
