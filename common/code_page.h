#pragma once

#include <string>
#include <string_view>

namespace aviolog {

// Windows-1252 text as UTF-8, for terminals and other displays outside the program's
// own files; bytes the code page leaves undefined become U+FFFD.
std::string utf8FromWindows1252(std::string_view text);

}  // namespace aviolog
