#pragma once

// The one crossing between the core's Windows-1252 text and the window's Unicode.

#include <wx/string.h>

#include <string>
#include <string_view>

namespace aviolog::shell {

wxString wx(std::string_view windows1252);
// Characters the code page has no byte for become "?".
std::string cp1252(const wxString& text);

}  // namespace aviolog::shell
