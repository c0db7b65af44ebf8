#pragma once

// Finds and loads the browser module the first time a page is asked for, and makes its
// pages. One per program; the module, once loaded, stays for the rest of the run (a web
// engine's threads and exit handlers do not survive being unloaded).

#include <wx/string.h>

#include <filesystem>
#include <memory>

#include "shell/browser_page.h"

namespace aviolog::shell {

class BrowserModule {
  public:
    // The module file beside the running program.
    BrowserModule();
    explicit BrowserModule(std::filesystem::path file) : file_(std::move(file)) {}

    // A page under the parent showing the address; null with error() telling why when the
    // module or its engine could not be had.
    std::unique_ptr<BrowserPage> newPage(wxWindow* parent, const wxString& address);
    bool loaded() const { return factory_ != nullptr; }
    const wxString& error() const { return error_; }

  private:
    bool load();

    std::filesystem::path file_;
    BrowserFactory factory_ = nullptr;
    bool tried_ = false;
    wxString error_;
};

}  // namespace aviolog::shell
