#pragma once

#include <string>
#include <string_view>

namespace aviolog::mail {

// Quoted-printable (RFC 2045) for text parts. Bytes 33-60 and 62-126, blanks and tabs
// stay; every other byte becomes "=" and two upper-case hex digits. A line end (CR LF,
// LF or CR) is written CR LF. Encoded lines stay within 76 characters by soft breaks
// ("=" at the end of a line) that never split an escape. A blank or tab that ends a line
// is escaped too, because mail transports strip trailing white space.
std::string quotedPrintableEncode(std::string_view text);

}  // namespace aviolog::mail
