#pragma once

#include <string_view>

namespace aviolog {

// Windows compares INI names and file names without regard to case, letters with accents
// included. Text is Windows-1252, so the folding covers that code page's letters.
unsigned char foldCase(unsigned char c);
bool equalsIgnoringCase(std::string_view a, std::string_view b);

}  // namespace aviolog
