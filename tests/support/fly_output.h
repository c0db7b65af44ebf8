#pragma once

// What a live aviolog-fly run printed, read back by the tests that kill and restart it.

#include <sstream>
#include <string>
#include <vector>

namespace aviolog::test {

inline std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// The whole log printed at the end, from its Start line to the summary.
inline std::vector<std::string> finalLog(const std::string& output) {
    const std::size_t summary = output.find("\n[Flight Summary]");
    const std::size_t start = output.rfind("\nStart  [", summary);
    if (summary == std::string::npos || start == std::string::npos) return {};
    return linesOf(output.substr(start + 1, summary - start - 1));
}

// A key of the printed summary; "<none>" when it was not printed.
inline std::string summaryValue(const std::string& output, const std::string& key) {
    const std::size_t at = output.find("\n" + key + "=");
    if (at == std::string::npos) return "<none>";
    const std::size_t begin = at + key.size() + 2;
    return output.substr(begin, output.find('\n', begin) - begin);
}

}  // namespace aviolog::test
