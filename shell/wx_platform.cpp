#include "shell/wx_platform.h"

#include <dlfcn.h>
#include <wx/choicdlg.h>
#include <wx/dirdlg.h>
#include <wx/display.h>
#include <wx/filedlg.h>
#include <wx/msgdlg.h>
// After msgdlg.h, whose base class it needs.
#include <wx/generic/msgdlgg.h>
#include <wx/progdlg.h>
#include <wx/strconv.h>
#include <wx/textwrapper.h>
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

// The text broken into lines of at most widthPx in the window's font, at word boundaries.
class LineBreaker final : public wxTextWrapper {
  public:
    wxString wrap(wxWindow* window, const wxString& text, int widthPx) {
        Wrap(window, text, widthPx);
        return wrapped_;
    }

  protected:
    void OnOutputLine(const wxString& line) override { wrapped_ += line; }
    void OnNewLine() override { wrapped_ += '\n'; }

  private:
    wxString wrapped_;
};

// A box no wider than a readable column, however long its text.
constexpr int kBoxTextWidthDip = 440;

}  // namespace

platform::MessageAnswer WxPilot::show(const platform::Message& message) {
    // wx's own box rather than the toolkit's: its buttons are windows the report can name.
    // It does not wrap its text itself: a long message would run the width of the screen.
    wxGenericMessageDialog box(parent_, wx(message.text), "Aviolog", styleOf(message));
    box.SetMessage(LineBreaker().wrap(&box, wx(message.text), box.FromDIP(kBoxTextWidthDip)));
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

namespace {

// The toolkit's file choosers open as tall as forty lines of text, taller than a laptop's
// screen, and wx cannot size them (its file dialog ignores every size it is given). The
// toolkit's own resize and move are called on the chooser's window once it is shown, and
// whenever it grows past the screen again; they are looked up where the toolkit is loaded,
// so nothing links against it beyond what wx already does.
class ChooserFit final {
  public:
    explicit ChooserFit(wxTopLevelWindow& chooser) : chooser_(chooser) {
        using Resize = void (*)(void*, int, int);
        resize_ = reinterpret_cast<Resize>(::dlsym(RTLD_DEFAULT, "gtk_window_resize"));
        move_ = reinterpret_cast<Resize>(::dlsym(RTLD_DEFAULT, "gtk_window_move"));
        if (resize_ == nullptr || move_ == nullptr) return;
        chooser_.Bind(wxEVT_SIZE, &ChooserFit::onSize, this);
        chooser_.CallAfter([this] { fit(); });
    }
    ~ChooserFit() { chooser_.Unbind(wxEVT_SIZE, &ChooserFit::onSize, this); }
    ChooserFit(const ChooserFit&) = delete;
    ChooserFit& operator=(const ChooserFit&) = delete;

  private:
    static constexpr int kWidthDip = 840;
    static constexpr int kHeightDip = 560;

    void onSize(wxSizeEvent& event) {
        event.Skip();
        const wxRect room = screen();
        if (event.GetSize().x > room.width || event.GetSize().y > room.height) {
            chooser_.CallAfter([this] { fit(); });
        }
    }

    wxRect screen() const {
        const int display = std::max(0, wxDisplay::GetFromWindow(&chooser_));
        return wxDisplay(static_cast<unsigned>(display)).GetClientArea();
    }

    void fit() {
        const wxRect room = screen();
        const wxSize size(std::min(chooser_.FromDIP(kWidthDip), room.width),
                          std::min(chooser_.FromDIP(kHeightDip), room.height));
        void* window = chooser_.GetHandle();
        if (window == nullptr) return;
        resize_(window, size.x, size.y);
        const wxWindow* parent = chooser_.GetParent();
        const wxRect over = parent != nullptr ? parent->GetScreenRect() : room;
        const int x =
            std::clamp(over.x + (over.width - size.x) / 2, room.x, room.GetRight() + 1 - size.x);
        const int y =
            std::clamp(over.y + (over.height - size.y) / 2, room.y, room.GetBottom() + 1 - size.y);
        move_(window, x, y);
    }

    wxTopLevelWindow& chooser_;
    void (*resize_)(void*, int, int) = nullptr;
    void (*move_)(void*, int, int) = nullptr;
};

}  // namespace

std::optional<std::string> WxPilot::chooseFolder(const std::string& title) {
    wxDirDialog dialog(parent_, wx(title), wxString(workDir_.string()),
                       wxDD_DEFAULT_STYLE | wxDD_DIR_MUST_EXIST);
    const ChooserFit fit(dialog);
    if (dialog.ShowModal() != wxID_OK) return std::nullopt;
    return cp1252(dialog.GetPath());
}

std::optional<std::size_t> WxPilot::chooseItem(const std::string& title,
                                               const std::vector<std::string>& items) {
    wxArrayString choices;
    for (const std::string& item : items) choices.Add(wx(item));
    wxSingleChoiceDialog dialog(parent_, wx(title), wx(title), choices);
    const ChooserFit fit(dialog);
    if (dialog.ShowModal() != wxID_OK) return std::nullopt;
    const int picked = dialog.GetSelection();
    if (picked < 0) return std::nullopt;
    return static_cast<std::size_t>(picked);
}

std::optional<std::filesystem::path> WxPilot::chooseFile(const platform::FileRequest& request,
                                                         bool save) {
    std::filesystem::path folder = workDir_;
    const std::string& initial = request.initialDirectory;
    if (!initial.empty() && initial != ".\\" && initial != "./") folder = initial;
    const long style = save ? wxFD_SAVE | wxFD_OVERWRITE_PROMPT : wxFD_OPEN | wxFD_FILE_MUST_EXIST;
    wxFileDialog dialog(parent_, save ? _("Save As") : _("Open"), wxString(folder.string()),
                        wx(request.defaultName), wildcardOf(request.filter), style);
    const ChooserFit fit(dialog);
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
