#include "shell/browser_module.h"

#include <dlfcn.h>
#include <wx/stdpaths.h>

#include <system_error>

namespace aviolog::shell {

namespace {
constexpr const char* kNoModule = "The web browser could not be started: ";

// Beside the program in the build tree; installed, in the package's own library folder
// (bin/../lib/aviolog), where no other program looks for libraries.
std::filesystem::path moduleFile() {
    const std::filesystem::path bin =
        std::filesystem::path(wxStandardPaths::Get().GetExecutablePath().utf8_string())
            .parent_path();
    std::error_code ec;
    if (std::filesystem::exists(bin / kBrowserModuleFile, ec)) return bin / kBrowserModuleFile;
    return bin.parent_path() / "lib" / "aviolog" / kBrowserModuleFile;
}
}  // namespace

BrowserModule::BrowserModule() : file_(moduleFile()) {}

bool BrowserModule::load() {
    if (tried_) return factory_ != nullptr;
    tried_ = true;
    // Never closed: see the class.
    void* handle = dlopen(file_.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        error_ = kNoModule + wxString::FromUTF8(dlerror());
        return false;
    }
    factory_ = reinterpret_cast<BrowserFactory>(dlsym(handle, kBrowserFactory));
    if (factory_ == nullptr)
        error_ = kNoModule + wxString::FromUTF8(file_.string()) + " has no " + kBrowserFactory;
    return factory_ != nullptr;
}

std::unique_ptr<BrowserPage> BrowserModule::newPage(wxWindow* parent, const wxString& address) {
    if (!load()) return nullptr;
    std::unique_ptr<BrowserPage> page(factory_(parent, address.utf8_str()));
    if (!page) error_ = wxString(kNoModule) + "no web engine is available.";
    return page;
}

}  // namespace aviolog::shell
