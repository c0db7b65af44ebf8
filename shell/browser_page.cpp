// The browser module: the only code that links the web engine.

#include "shell/browser_page.h"

#include <wx/webview.h>

namespace aviolog::shell {
namespace {

class WebViewPage final : public BrowserPage {
  public:
    explicit WebViewPage(wxWebView* view) : view_(view) {}
    wxWindow* window() override { return view_; }
    void load(const wxString& address) override { view_->LoadURL(address); }
    wxString address() const override { return view_->GetCurrentURL(); }

  private:
    wxWebView* view_;  // owned by its parent window
};

}  // namespace
}  // namespace aviolog::shell

extern "C" __attribute__((visibility("default"))) aviolog::shell::BrowserPage*
aviolog_new_browser_page(wxWindow* parent, const char* addressUtf8) {
    wxWebView* view = wxWebView::New(parent, wxID_ANY, wxString::FromUTF8(addressUtf8));
    if (view == nullptr) return nullptr;
    return new aviolog::shell::WebViewPage(view);
}
