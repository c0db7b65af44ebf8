#pragma once

// Every dialog the core opens, as wx windows: "Choose Company", "Aviolog Options", the
// mail "Configuration", "Send Log Parameters" and "Browser"; and the main window's own
// dialogs (gauge address, About, bug report).

#include <wx/icon.h>

#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "app/dialogs.h"

class wxWindow;

namespace aviolog::shell {

class BrowserModule;
class WxPilot;

// The program's icon, drawn rather than loaded so that it is always there.
wxIcon programIcon(int sizePx);

class WxDialogs final : public app::Dialogs {
  public:
    WxDialogs(std::filesystem::path workDir, WxPilot& pilot, BrowserModule& browser)
        : workDir_(std::move(workDir)), pilot_(pilot), browser_(browser) {}
    void setParent(wxWindow* parent) { parent_ = parent; }

    void chooseCompany(config::CompanyChooser& chooser) override;
    void editOptions(config::Settings& settings, config::OptionsPage page) override;
    bool configure(mail::MailConfiguration& form) override;
    std::optional<std::string> sendLogParameters(const std::string& pilotNumber) override;
    bool browse(const std::string& url) override;

    // The gauge address dialog: true when an address was stored.
    bool gaugeAddress(config::Settings& settings);
    void about();
    // The bug report: the description typed, when the pilot pressed OK.
    std::optional<std::string> bugReport();

  private:
    std::filesystem::path workDir_;
    WxPilot& pilot_;
    BrowserModule& browser_;
    wxWindow* parent_ = nullptr;
};

}  // namespace aviolog::shell
