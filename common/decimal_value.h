#pragma once

#include <cstdint>
#include <string_view>

namespace aviolog {

// The C library's decimal reading of a text: leading blanks, an optional sign, then as many
// digits as follow. A text without digits reads 0 ("A12" → 0, "123abc" → 123); a value beyond
// the 32-bit range reads the nearest end of it instead of being undefined.
std::int32_t decimalValue(std::string_view text);

}  // namespace aviolog
