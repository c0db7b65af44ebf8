#pragma once

#include <string>
#include <string_view>

namespace aviolog {

// Text for an HTML page: the characters HTML gives a meaning are written as references;
// Windows-1252 bytes pass unchanged (the pages declare that code page).
std::string htmlEscaped(std::string_view text);

}  // namespace aviolog
