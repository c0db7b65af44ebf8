#pragma once

#include <string>
#include <string_view>

namespace aviolog {

// A flight log line: "%02d:%02d  " (two blanks after the minutes), the text, a line feed.
// The text is taken as given; a text that already ends in a line feed gets no second one.
std::string logLine(int hour, int minute, std::string_view text);

}  // namespace aviolog
