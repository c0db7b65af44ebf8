#pragma once

#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "platform/http_client.h"

namespace aviolog::test {

// Answers GETs from a script (nothing: the address could not be opened) and keeps every
// address asked for.
class ScriptedHttp final : public platform::HttpClient {
  public:
    std::optional<std::string> get(const std::string& url) override {
        urls.push_back(url);
        if (answers.empty()) return std::nullopt;
        auto answer = answers.front();
        answers.pop_front();
        return answer;
    }
    std::deque<std::optional<std::string>> answers;
    std::vector<std::string> urls;
};

}  // namespace aviolog::test
