#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace aviolog::reporting {

// A save-file dialog as the File menu's commands open it: with an overwrite prompt and
// without the read-only box.
struct SaveFileRequest {
    std::string filter;  // "Log Files (*.txt)|*.txt||"
    std::string defaultExtension;
    std::string defaultName;
    std::string initialDirectory;  // as stored: ".\" or a folder ending in a separator
};

// The dialogs of storing and reporting flights. The desktop shell shows them; tests and
// the flight runner answer them. Each call returns when its dialog has closed.
class ReportingDialogs {
  public:
    virtual ~ReportingDialogs() = default;
    // A folder chooser with the title (folders only, an edit field, no new-folder
    // button); nothing when the pilot cancels.
    virtual std::optional<std::string> chooseFolder(const std::string& title) = 0;
    // Nothing when the pilot cancels.
    virtual std::optional<std::filesystem::path> chooseFileToSave(const SaveFileRequest& request) = 0;
    // "Send Log Parameters": the "Pilot Number:" field (at most 9 characters) pre-filled.
    // The field's text when OK was pressed; nothing when the dialog was closed otherwise.
    virtual std::optional<std::string> sendLogParameters(const std::string& pilotNumber) = 0;
    // "Browser": the VA's PIREP page in an embedded browser; true for OK, false for Cancel.
    virtual bool browse(const std::string& url) = 0;
};

}  // namespace aviolog::reporting
