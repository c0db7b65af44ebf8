#include "platform/http_get.h"

namespace aviolog::platform {

std::optional<std::string> httpGet(platform::HttpClient& client, const std::string& url,
                                   const std::function<void(std::string_view line)>& reportLine) {
    const std::optional<std::string> body = client.get(url);
    if (!body) return std::nullopt;

    std::string answer;
    answer.reserve(body->size() + 1);
    const std::string_view text(*body);
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        const bool lineFeed = end != std::string_view::npos;
        if (!lineFeed) end = text.size();
        std::string_view line = text.substr(start, end - start);
        if (lineFeed && !line.empty() && line.back() == '\r') line.remove_suffix(1);
        start = end + 1;

        line = line.substr(0, kLongestAnswerLine);
        answer += line;
        answer += '\n';
        if (reportLine) reportLine(line);
    }
    return answer;
}

}  // namespace aviolog::platform
