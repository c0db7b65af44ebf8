#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "platform/http_client.h"

namespace aviolog::platform {

// The longest line the answer holds whole; a longer one is cut to this length.
inline constexpr std::size_t kLongestAnswerLine = 18999;

// The answer: every line of the body, each followed by a line feed. A line of 19 000
// characters or more is cut to its first 18 999 and keeps its place: the callers read
// answers by line number (the VA's flight plan), and a line left out would move every
// later one up. Each line, without its line break, also goes to reportLine when given (the
// PIREP's report file). Nothing when the address cannot be opened.
//
// Lines end at a line feed; a carriage return just before it belongs to the line break.
// A last line without a line feed still counts; an empty body has no line. The caller
// writes each reported line as it comes, with nothing between, so the report file holds
// the kept lines run together.
std::optional<std::string> httpGet(
    platform::HttpClient& client, const std::string& url,
    const std::function<void(std::string_view line)>& reportLine = {});

}  // namespace aviolog::platform
