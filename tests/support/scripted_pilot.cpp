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

namespace {
template <typename T>
std::optional<T> next(std::deque<std::optional<T>>& script) {
    if (script.empty()) return std::nullopt;
    auto answer = script.front();
    script.pop_front();
    return answer;
}
}  // namespace

std::optional<std::string> ScriptedPilot::chooseFolder(const std::string& title) {
    folderTitles.push_back(title);
    return next(folders);
}

std::optional<std::size_t> ScriptedPilot::chooseItem(const std::string& title,
                                                     const std::vector<std::string>& items) {
    itemChoosers.emplace_back(title, items);
    return next(chosenItems);
}

std::optional<std::filesystem::path> ScriptedPilot::chooseFileToOpen(
    const platform::FileRequest& request) {
    openRequests.push_back(request);
    return next(openFiles);
}

std::optional<std::filesystem::path> ScriptedPilot::chooseFileToSave(
    const platform::FileRequest& request) {
    saveRequests.push_back(request);
    return next(saveFiles);
}

std::vector<std::string> ScriptedPilot::texts() const {
    std::vector<std::string> result;
    for (const auto& message : shown) result.push_back(message.text);
    return result;
}

}  // namespace aviolog::test
