#pragma once

#include <cstdarg>
#include <string>

namespace aviolog {

// printf-style formatting into a std::string. The system's formats are printf formats;
// keeping them literal keeps the log and wire texts byte-exact.
[[gnu::format(printf, 1, 2)]] std::string format(const char* fmt, ...);
std::string formatV(const char* fmt, std::va_list args);

}  // namespace aviolog
