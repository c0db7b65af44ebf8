#pragma once

// The embedded web browser lives in a module of its own that the program loads when the
// pilot first opens a page: the web engine is large, and an idle program should not carry
// it. The module exports one plain C factory; the page it makes is used through the
// abstract class below, and destroyed with its parent window.

#include <wx/string.h>

class wxWindow;

namespace aviolog::shell {

class BrowserPage {
  public:
    virtual ~BrowserPage() = default;
    // The window that shows the page, a child of the parent it was made for.
    virtual wxWindow* window() = 0;
    virtual void load(const wxString& address) = 0;
    // The address shown now, as the engine has it.
    virtual wxString address() const = 0;
};

// The module's file name, beside the program's executable.
inline constexpr const char* kBrowserModuleFile = "libaviolog_browser.so";
// Its one export: makes a page under the parent showing the address (UTF-8); null when
// no engine could be made. The caller owns the page object, the parent its window.
inline constexpr const char* kBrowserFactory = "aviolog_new_browser_page";
using BrowserFactory = BrowserPage* (*)(wxWindow* parent, const char* addressUtf8);

}  // namespace aviolog::shell
