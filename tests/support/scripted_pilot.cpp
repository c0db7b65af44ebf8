#include "tests/support/scripted_pilot.h"

namespace aviolog::test {

platform::MessageAnswer ScriptedPilot::show(const platform::Message& message) {
    shown.push_back(message);
    if (!answers.empty()) {
        const auto answer = answers.front();
        answers.pop_front();
        return answer;
    }
    return message.buttons == platform::MessageButtons::YesNo ? platform::MessageAnswer::Yes
                                                              : platform::MessageAnswer::Ok;
}

std::vector<std::string> ScriptedPilot::texts() const {
    std::vector<std::string> result;
    for (const auto& message : shown) result.push_back(message.text);
    return result;
}

}  // namespace aviolog::test
