#pragma once

#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "reporting/reporting_dialogs.h"

namespace aviolog::test {

// Answers the reporting dialogs from a script and records what each was opened with.
class ScriptedReportingDialogs final : public reporting::ReportingDialogs {
  public:
    std::optional<std::string> sendLogParameters(const std::string& pilotNumber) override {
        prefills.push_back(pilotNumber);
        return next(pilotNumbers);
    }
    bool browse(const std::string& url) override {
        browsed.push_back(url);
        return next(browserAnswers).value_or(true);
    }

    // Empty scripts answer Escape, except the browser, which answers OK.
    std::deque<std::optional<std::string>> pilotNumbers;
    std::deque<std::optional<bool>> browserAnswers;

    std::vector<std::string> prefills;
    std::vector<std::string> browsed;

  private:
    template <typename T>
    static std::optional<T> next(std::deque<std::optional<T>>& script) {
        if (script.empty()) return std::nullopt;
        auto answer = script.front();
        script.pop_front();
        return answer;
    }
};

}  // namespace aviolog::test
