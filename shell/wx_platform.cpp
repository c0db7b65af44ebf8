#include "shell/wx_platform.h"

#include <wx/dirdlg.h>
#include <wx/filedlg.h>
#include <wx/msgdlg.h>
// After msgdlg.h, whose base class it needs.
#include <wx/generic/msgdlgg.h>
#include <wx/progdlg.h>
#include <wx/strconv.h>
#include <wx/utils.h>

#include <array>
#include <map>

#include "shell/wx_text.h"

namespace aviolog::shell {

// ---- Text ----

namespace {

// The code page's bytes 0x80 to 0xFF by the character they stand for.
const std::map<wxUniChar::value_type, char>& bytesByCharacter() {
    static const std::map<wxUniChar::value_type, char> table = [] {
        std::map<wxUniChar::value_type, char> bytes;
        const wxCSConv conv(wxFONTENCODING_CP1252);
        for (int b = 0x80; b <= 0xFF; ++b) {
            const char byte = static_cast<char>(b);
            const wxString one(&byte, conv, 1);
            if (one.length() == 1) bytes.emplace(one[0].GetValue(), byte);
        }
        return bytes;
    }();
    return table;
}

}  // namespace

wxString wx(std::string_view text) {
    if (text.empty()) return {};
    const wxCSConv conv(wxFONTENCODING_CP1252);
    return wxString(text.data(), conv, text.size());
}

std::string cp1252(const wxString& text) {
    std::string bytes;
    bytes.reserve(text.length());
    for (const wxUniChar c : text) {
        const auto code = c.GetValue();
        if (code < 0x80) {
            bytes += static_cast<char>(code);
            continue;
        }
        const auto& table = bytesByCharacter();
        const auto it = table.find(code);
        bytes += it == table.end() ? '?' : it->second;
    }
    return bytes;
}

// ---- Timers ----

WxTimers::WxTimers() {
    Bind(wxEVT_TIMER, &WxTimers::onTick, this);
}

WxTimers::~WxTimers() {
    for (auto& [id, timer] : timers_) timer->Stop();
}

void WxTimers::start(int id, int intervalMs) {
    auto& timer = timers_[id];
    if (!timer) timer = std::make_unique<wxTimer>(this, id);
    timer->Start(intervalMs);
}

void WxTimers::stop(int id) {
    const auto it = timers_.find(id);
    if (it != timers_.end()) it->second->Stop();
}

bool WxTimers::isRunning(int id) const {
    const auto it = timers_.find(id);
    return it != timers_.end() && it->second->IsRunning();
}

void WxTimers::onTick(wxTimerEvent& event) {
    if (inTick_ || sink_ == nullptr) return;
    inTick_ = true;
    sink_->onTimer(event.GetId());
    inTick_ = false;
}

// ---- The pilot ----

namespace {

long styleOf(const platform::Message& m) {
    long style = 0;
    switch (m.buttons) {
        case platform::MessageButtons::Ok:
            style |= wxOK;
            break;
        case platform::MessageButtons::OkCancel:
            style |= wxOK | wxCANCEL;
            break;
        case platform::MessageButtons::YesNo:
            style |= wxYES_NO;
            break;
    }
    switch (m.icon) {
        case platform::MessageIcon::Information:
            style |= wxICON_INFORMATION;
            break;
        case platform::MessageIcon::Warning:
            style |= wxICON_EXCLAMATION;
            break;
        case platform::MessageIcon::Error:
            style |= wxICON_ERROR;
            break;
        case platform::MessageIcon::Question:
            style |= wxICON_QUESTION;
            break;
    }
    return style;
}

platform::MessageAnswer answerOf(int result) {
    switch (result) {
        case wxID_YES:
            return platform::MessageAnswer::Yes;
        case wxID_NO:
            return platform::MessageAnswer::No;
        case wxID_OK:
            return platform::MessageAnswer::Ok;
        default:
            return platform::MessageAnswer::Cancel;
    }
}

// "Log Files (*.txt)|*.txt||" as a wx wildcard: the same pairs without the closing bars.
wxString wildcardOf(const std::string& filter) {
    std::string pairs = filter;
    while (!pairs.empty() && pairs.back() == '|') pairs.pop_back();
    return wx(pairs);
}

}  // namespace

platform::MessageAnswer WxPilot::show(const platform::Message& message) {
    // wx's own box rather than the toolkit's: its buttons are windows the report can name.
    wxGenericMessageDialog box(parent_, wx(message.text), "Aviolog", styleOf(message));
    if (message.systemModal) box.SetWindowStyleFlag(box.GetWindowStyleFlag() | wxSTAY_ON_TOP);
    openBox_ = message.text;
    const int result = box.ShowModal();
    openBox_.clear();
    // Escape on a Yes/No box is the No the pilot meant.
    if (message.buttons == platform::MessageButtons::YesNo && result == wxID_CANCEL) {
        return platform::MessageAnswer::No;
    }
    return answerOf(result);
}

std::optional<std::string> WxPilot::chooseFolder(const std::string& title) {
    wxDirDialog dialog(parent_, wx(title), wxString(workDir_.string()),
                       wxDD_DEFAULT_STYLE | wxDD_DIR_MUST_EXIST);
    if (dialog.ShowModal() != wxID_OK) return std::nullopt;
    return cp1252(dialog.GetPath());
}

std::optional<std::filesystem::path> WxPilot::chooseFile(const platform::FileRequest& request,
                                                         bool save) {
    std::filesystem::path folder = workDir_;
    const std::string& initial = request.initialDirectory;
    if (!initial.empty() && initial != ".\\" && initial != "./") folder = initial;
    const long style = save ? wxFD_SAVE | wxFD_OVERWRITE_PROMPT : wxFD_OPEN | wxFD_FILE_MUST_EXIST;
    wxFileDialog dialog(parent_, save ? _("Save As") : _("Open"), wxString(folder.string()),
                        wx(request.defaultName), wildcardOf(request.filter), style);
    if (dialog.ShowModal() != wxID_OK) return std::nullopt;
    std::filesystem::path chosen(dialog.GetPath().utf8_string());
    if (save && !chosen.has_extension() && !request.defaultExtension.empty()) {
        chosen += "." + request.defaultExtension;
    }
    return chosen;
}

std::optional<std::filesystem::path> WxPilot::chooseFileToOpen(const platform::FileRequest& r) {
    return chooseFile(r, false);
}

std::optional<std::filesystem::path> WxPilot::chooseFileToSave(const platform::FileRequest& r) {
    return chooseFile(r, true);
}

void WxPilot::showProgress(const std::string& title, platform::Progress& progress) {
    wxProgressDialog window(wx(title), wxEmptyString, 100, parent_,
                            wxPD_APP_MODAL | wxPD_CAN_ABORT | wxPD_AUTO_HIDE);
    constexpr int kRefreshMs = 50;
    while (!progress.finished()) {
        if (!window.Update(std::clamp(progress.percent(), 0, 99))) progress.cancel();
        wxMilliSleep(kRefreshMs);
    }
}

}  // namespace aviolog::shell
