#include "common/log_line.h"

#include "common/text_format.h"

namespace aviolog {

std::string logLine(int hour, int minute, std::string_view text) {
    std::string line = format("%02d:%02d  ", hour, minute);
    line.append(text);
    if (line.back() != '\n') line.push_back('\n');
    return line;
}

}  // namespace aviolog
