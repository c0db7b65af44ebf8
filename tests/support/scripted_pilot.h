#pragma once

#include <deque>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/pilot.h"

namespace aviolog::test {

// Records every message box and chooser and answers from a script; unscripted boxes get
// their first button (OK, or Yes for questions), unscripted choosers are cancelled.
class ScriptedPilot : public platform::Pilot {
  public:
    platform::MessageAnswer show(const platform::Message& message) override;
    std::optional<std::string> chooseFolder(const std::string& title) override;
    std::optional<std::filesystem::path> chooseFileToOpen(
        const platform::FileRequest& request) override;
    std::optional<std::filesystem::path> chooseFileToSave(
        const platform::FileRequest& request) override;
    std::optional<std::size_t> chooseItem(const std::string& title,
                                          const std::vector<std::string>& items) override;

    std::vector<platform::Message> shown;
    std::deque<platform::MessageAnswer> answers;
    std::deque<std::optional<std::string>> folders;
    std::deque<std::optional<std::filesystem::path>> openFiles;
    std::deque<std::optional<std::filesystem::path>> saveFiles;
    std::deque<std::optional<std::size_t>> chosenItems;
    std::vector<std::pair<std::string, std::vector<std::string>>> itemChoosers;

    std::vector<std::string> folderTitles;
    std::vector<platform::FileRequest> openRequests;
    std::vector<platform::FileRequest> saveRequests;

    std::vector<std::string> texts() const;
};

}  // namespace aviolog::test
