#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/progress.h"

namespace aviolog::platform {

enum class MessageIcon { Information, Warning, Error, Question };
enum class MessageButtons { Ok, OkCancel, YesNo };
enum class MessageAnswer { Ok, Cancel, Yes, No };

struct Message {
    std::string text;
    MessageIcon icon = MessageIcon::Information;
    MessageButtons buttons = MessageButtons::Ok;
    // Boxes raised from timer procedures stay in front of every window, the simulator's too.
    bool systemModal = false;
};

// A file chooser as the program opens it. Save choosers prompt before overwriting and
// have no read-only box.
struct FileRequest {
    std::string filter;  // "Log Files (*.txt)|*.txt||"
    std::string defaultExtension;
    std::string defaultName;
    std::string initialDirectory;  // as stored: ".\" or a folder ending in a separator
};

// The person at the keyboard: every message box, question and chooser the core shows goes
// through here and returns the answer. The desktop shell shows dialogs; tests script them.
class Pilot {
  public:
    virtual ~Pilot() = default;
    virtual MessageAnswer show(const Message& message) = 0;

    void inform(std::string text) { show({std::move(text), MessageIcon::Information}); }
    void warn(std::string text) { show({std::move(text), MessageIcon::Warning}); }
    void error(std::string text) { show({std::move(text), MessageIcon::Error}); }

    // The choosers; nothing when the pilot cancels. The folder chooser has the title,
    // shows folders only, has an edit field and no new-folder button.
    virtual std::optional<std::string> chooseFolder(const std::string& title) = 0;
    virtual std::optional<std::filesystem::path> chooseFileToOpen(const FileRequest& request) = 0;
    virtual std::optional<std::filesystem::path> chooseFileToSave(const FileRequest& request) = 0;
    // One of the lines, under the title: its index; nothing when the pilot cancels. Without
    // a window to ask in, the first line.
    virtual std::optional<std::size_t> chooseItem(const std::string& title,
                                                  const std::vector<std::string>& items) {
        (void)title;
        if (items.empty()) return std::nullopt;
        return std::size_t{0};
    }

    // Shows a window with the title, a progress bar and a Cancel button while a worker
    // thread runs the job that reports to progress; Cancel calls progress.cancel(). Returns
    // once the job has finished. Without a window the call just waits for the job.
    virtual void showProgress(const std::string& title, Progress& progress) {
        (void)title;
        progress.waitUntilFinished();
    }
};

}  // namespace aviolog::platform
