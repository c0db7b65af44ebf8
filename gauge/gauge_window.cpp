// aviolog-gauge: the cockpit terminal in a window of its own, standing where the
// simulator's panel would hold it. It listens for the program, draws the terminal's face
// and rows, and turns clicks and (while capturing) keys into the terminal's keys. An
// update timer at the panel's rate polls the link and redraws only the dirty rows; nothing
// ever waits. Standard input takes the control lines of terminal_control.h.

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>
#include <wx/dcbuffer.h>
#include <wx/wx.h>

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <thread>

#include "common/code_page.h"
#include "gauge/face_layout.h"
#include "gauge/gauge_settings.h"
#include "gauge/link_server.h"
#include "gauge/terminal.h"
#include "gauge/terminal_control.h"
#include "platform/posix/posix_nonblocking_tcp.h"
#include "platform/posix/wine_registry.h"

namespace {

using namespace aviolog;
using namespace aviolog::gauge;

constexpr int kUpdateMs = 55;  // the simulator's panel updates about 18 times a second

constexpr const char* kUsage =
    "usage: aviolog-gauge [--settings FILE] [--scale N] [--dark] [--headless]\n"
    "  --settings FILE  the gauge settings ([TCPIP] Port; default: aviologgauge.ini in the\n"
    "                   simulator's gauges folder; missing means port 1147)\n"
    "  --scale N        the face's size, 1 = 399 x 269 (default 2; the window resizes freely)\n"
    "  --dark           start with the panel lights on (the darker face)\n"
    "  --headless       no window: the terminal and its link only, driven from standard input\n"
    "standard input takes control lines: press KEY, key KEY, type TEXT, rows, state, quit\n";

struct Options {
    std::optional<std::string> settings;
    double scale = 2.0;
    bool dark = false;
    bool headless = false;
};

int listenPort(const Options& options) {
    if (options.settings) return portFromSettings(std::filesystem::path(*options.settings));
    const auto folder = findSimulatorFolder(platform::posix::WineRegistry::fromEnvironment());
    return portFromSettings(folder ? std::optional(settingsPathIn(*folder)) : std::nullopt);
}

// Control lines from standard input, read without waiting; the stream ends at EOF.
class ControlInput {
  public:
    ControlInput() {
        const int flags = ::fcntl(STDIN_FILENO, F_GETFL);
        open_ = flags >= 0 && ::fcntl(STDIN_FILENO, F_SETFL, flags | O_NONBLOCK) == 0;
    }
    // Runs every complete line; false once "quit" came.
    bool poll(Terminal& terminal, bool connected) {
        if (!open_) return true;
        char buffer[512];
        for (;;) {
            const ssize_t got = ::read(STDIN_FILENO, buffer, sizeof buffer);
            if (got > 0) {
                pending_.append(buffer, static_cast<std::size_t>(got));
                continue;
            }
            if (got == 0) open_ = false;
            break;
        }
        std::size_t lf;
        while ((lf = pending_.find('\n')) != std::string::npos) {
            const std::string line = pending_.substr(0, lf);
            pending_.erase(0, lf + 1);
            std::string output;
            if (runControl(terminal, connected, line, output) == ControlOutcome::Quit) return false;
            if (output.empty()) output = "ok\n";
            std::fputs(output.c_str(), stdout);
            std::fflush(stdout);
        }
        return true;
    }

  private:
    bool open_ = false;
    std::string pending_;
};

// The terminal and its link, as every host holds them.
struct Station {
    explicit Station(int port) : server(network, terminal) { server.setUp(port); }
    platform::posix::PosixNonBlockingNetwork network;
    LinkServer server;
    Terminal terminal{server};
};

int runHeadless(const Options& options) {
    Station station(listenPort(options));
    std::printf("listening on %d\n", station.server.port());
    std::fflush(stdout);
    ControlInput input;
    for (;;) {
        station.server.update();
        station.terminal.drawDirtyRows();
        if (!input.poll(station.terminal, station.server.connected())) return 0;
        std::this_thread::sleep_for(std::chrono::milliseconds(kUpdateMs));
    }
}

// ---- The window ----

struct Palette {
    wxColour body, bezel, screen, text, key, keyText, select, lampOn, lampOff;
};
const Palette kDayPalette{{70, 74, 80},    {40, 42, 46},   {12, 22, 16},
                          {250, 250, 250}, {98, 102, 110}, {235, 235, 235},
                          {150, 154, 160}, {80, 230, 90},  {60, 64, 60}};
const Palette kNightPalette{{34, 36, 40},    {20, 21, 23},  {6, 11, 8},
                            {250, 250, 250}, {48, 50, 54},  {150, 150, 150},
                            {74, 76, 80},    {60, 170, 70}, {32, 34, 32}};

wxRect toRect(const FaceRect& r) {
    return {r.x, r.y, r.width, r.height};
}

class FacePanel final : public wxPanel {
  public:
    FacePanel(wxWindow* parent, Station& station, bool dark)
        : wxPanel(parent, wxID_ANY, wxDefaultPosition, wxDefaultSize, wxWANTS_CHARS),
          station_(station),
          dark_(dark) {
        SetBackgroundStyle(wxBG_STYLE_PAINT);
        Bind(wxEVT_PAINT, &FacePanel::onPaint, this);
        Bind(wxEVT_LEFT_DOWN, &FacePanel::onClick, this);
        // A quick second click comes as a double click instead of a press: it is a key
        // all the same, or quick typing and scrolling would lose every other one.
        Bind(wxEVT_LEFT_DCLICK, &FacePanel::onClick, this);
        Bind(wxEVT_MOTION, &FacePanel::onMotion, this);
        Bind(wxEVT_KEY_DOWN, &FacePanel::onKeyDown, this);
        Bind(wxEVT_CHAR, &FacePanel::onChar, this);
        Bind(wxEVT_SIZE, [this](wxSizeEvent& e) {
            Refresh();
            e.Skip();
        });
        Bind(wxEVT_CONTEXT_MENU, &FacePanel::onMenu, this);
        timer_.Bind(wxEVT_TIMER, &FacePanel::onUpdate, this);
        timer_.Start(kUpdateMs);
    }

    void toggleLights() {
        dark_ = !dark_;
        Refresh();
    }

  private:
    double scale() const {
        const wxSize size = GetClientSize();
        return std::max(0.1, std::min(size.x / double(kFaceWidth), size.y / double(kFaceHeight)));
    }
    wxRect onScreen(const FaceRect& r) const {
        const double s = scale();
        return {int(r.x * s), int(r.y * s), int(r.width * s) + 2, int(r.height * s) + 2};
    }

    void onUpdate(wxTimerEvent&) {
        station_.server.update();
        const auto dirty = station_.terminal.drawDirtyRows();
        for (int r = 1; r <= kRows; ++r) {
            if (dirty.test(static_cast<std::size_t>(r - 1)))
                RefreshRect(onScreen(rowRect(r)), false);
        }
        if (!input_.poll(station_.terminal, station_.server.connected())) GetParent()->Close();
    }

    void onPaint(wxPaintEvent&) {
        wxAutoBufferedPaintDC dc(this);
        const Palette& p = dark_ ? kNightPalette : kDayPalette;
        dc.SetBackground(wxBrush(*wxBLACK));
        dc.Clear();
        dc.SetUserScale(scale(), scale());
        dc.SetPen(*wxTRANSPARENT_PEN);
        dc.SetBrush(wxBrush(p.body));
        dc.DrawRoundedRectangle(0, 0, kFaceWidth, kFaceHeight, 10);
        dc.SetBrush(wxBrush(p.bezel));
        dc.DrawRoundedRectangle(kScreen.x - 8, kScreen.y - 10, kScreen.width + 16,
                                kScreen.height + 8, 6);
        dc.SetBrush(wxBrush(p.screen));
        dc.DrawRectangle(kScreen.x - 4, kScreen.y - 6, kScreen.width + 8, kScreen.height);
        dc.SetBrush(wxBrush(p.select));
        for (int i = 1; i <= 4; ++i) {
            dc.DrawRoundedRectangle(toRect(leftSelectRect(i)), 2);
            dc.DrawRoundedRectangle(toRect(rightSelectRect(i)), 2);
        }
        dc.SetBrush(wxBrush(station_.terminal.capture() ? p.lampOn : p.lampOff));
        dc.DrawEllipse(toRect(kCaptureLamp));
        drawKeypad(dc, p);
        drawRows(dc, p);
    }

    void drawKeypad(wxDC& dc, const Palette& p) {
        dc.SetFont(wxFont(wxFontInfo(7).Family(wxFONTFAMILY_SWISS).Bold()));
        dc.SetTextForeground(p.keyText);
        for (int row = 0; row < 3; ++row) {
            for (int column = 0; column < 10; ++column) {
                const wxRect r = toRect(keypadRect(row, column));
                dc.SetBrush(wxBrush(p.key));
                dc.DrawRoundedRectangle(r, 3);
                const auto& cap = kKeypad[std::size_t(row)][std::size_t(column)];
                dc.DrawLabel(wxString::FromUTF8(cap.label.data(), cap.label.size()), r,
                             wxALIGN_CENTER);
            }
        }
    }

    void drawRows(wxDC& dc, const Palette& p) {
        dc.SetFont(wxFont(wxFontInfo(9).Family(wxFONTFAMILY_TELETYPE)));
        dc.SetTextForeground(p.text);
        for (int r = 1; r <= kRows; ++r) {
            const std::string utf8 = utf8FromWindows1252(station_.terminal.row(r));
            dc.DrawLabel(wxString::FromUTF8(utf8.data(), utf8.size()), toRect(rowRect(r)),
                         wxALIGN_CENTER);
        }
    }

    std::optional<FaceHit> hitAt(const wxPoint& at) const {
        const double s = scale();
        const FaceHit hit = hitTest(int(at.x / s), int(at.y / s));
        if (hit.key == FaceKey::None) return std::nullopt;
        return hit;
    }

    void onMotion(wxMouseEvent& e) {
        SetCursor(hitAt(e.GetPosition()) ? wxCursor(wxCURSOR_HAND) : wxNullCursor);
    }

    void onClick(wxMouseEvent& e) {
        SetFocus();
        const auto hit = hitAt(e.GetPosition());
        if (!hit) return;
        Terminal& t = station_.terminal;
        switch (hit->key) {
            case FaceKey::Letter:
                t.keypadLetter(hit->letter);
                break;
            case FaceKey::Shift:
                t.keypadShift();
                break;
            case FaceKey::EraseUp:
                t.keypadEraseUp();
                break;
            case FaceKey::SpaceDown:
                t.keypadSpaceDown();
                break;
            case FaceKey::Enter:
                t.keypadEnter();
                break;
            case FaceKey::LeftSelect:
                t.lineSelect(false, hit->index);
                break;
            case FaceKey::RightSelect:
                t.lineSelect(true, hit->index);
                break;
            case FaceKey::Capture:
                t.toggleCapture();
                RefreshRect(onScreen(kCaptureLamp), false);
                break;
            case FaceKey::Screen:
                // The panel window closes in the simulator; here the window goes to the taskbar.
                if (auto* frame = dynamic_cast<wxFrame*>(GetParent())) frame->Iconize();
                break;
            case FaceKey::None:
                break;
        }
    }

    void onKeyDown(wxKeyEvent& e) {
        if (e.GetKeyCode() == WXK_F2) return toggleLights();
        if (!station_.terminal.capture()) return e.Skip();
        std::optional<KeyboardKey> key;
        switch (e.GetKeyCode()) {
            case WXK_BACK:
                key = KeyboardKey::Backspace;
                break;
            case WXK_UP:
                key = KeyboardKey::Up;
                break;
            case WXK_DOWN:
                key = KeyboardKey::Down;
                break;
            case WXK_PAGEUP:
                key = KeyboardKey::PageUp;
                break;
            case WXK_PAGEDOWN:
                key = KeyboardKey::PageDown;
                break;
            case WXK_LEFT:
                key = KeyboardKey::Left;
                break;
            case WXK_RETURN:
            case WXK_NUMPAD_ENTER:
                key = KeyboardKey::Enter;
                break;
            default:
                break;
        }
        if (!key || !station_.terminal.keyboard(*key)) e.Skip();
    }

    void onChar(wxKeyEvent& e) {
        const wxChar c = e.GetUnicodeKey();
        // Latin-1's printable range reads the same in Windows-1252; keys without a
        // character (function keys, Home) are left alone.
        if (!station_.terminal.capture() || c < 32 || c > 255 || (c >= 127 && c < 160))
            return e.Skip();
        station_.terminal.keyboard(KeyboardKey::Character, static_cast<char>(c));
    }

    void onMenu(wxContextMenuEvent&) {
        wxMenu menu;
        menu.AppendCheckItem(1, "Panel lights (darker face)\tF2")->Check(dark_);
        menu.AppendCheckItem(2, "Keyboard capture")->Check(station_.terminal.capture());
        menu.AppendSeparator();
        for (int s = 1; s <= 3; ++s) menu.Append(10 + s, wxString::Format("Scale %d", s));
        const int id = GetPopupMenuSelectionFromUser(menu);
        if (id == 1) toggleLights();
        if (id == 2) station_.terminal.toggleCapture(), Refresh();
        if (id > 10 && id <= 13)
            GetParent()->SetClientSize(kFaceWidth * (id - 10), kFaceHeight * (id - 10));
    }

    Station& station_;
    bool dark_;
    wxTimer timer_;
    ControlInput input_;
};

class GaugeApp final : public wxApp {
  public:
    explicit GaugeApp(Options options) : options_(std::move(options)) {}

    bool OnInit() override {
        station_ = std::make_unique<Station>(listenPort(options_));
        std::printf("listening on %d\n", station_->server.port());
        std::fflush(stdout);
        auto* frame = new wxFrame(nullptr, wxID_ANY, "Aviolog ACARS");
        new FacePanel(frame, *station_, options_.dark);
        frame->SetClientSize(int(kFaceWidth * options_.scale), int(kFaceHeight * options_.scale));
        frame->Show();
        return true;
    }

  private:
    Options options_;
    std::unique_ptr<Station> station_;
};

}  // namespace

int main(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") return std::fputs(kUsage, stdout), 0;
        if (arg == "--dark") {
            options.dark = true;
            continue;
        }
        if (arg == "--headless") {
            options.headless = true;
            continue;
        }
        if (i + 1 >= argc)
            return std::fprintf(stderr, "aviolog-gauge: %s needs a value, or is unknown\n%s",
                                arg.c_str(), kUsage),
                   2;
        const std::string value = argv[++i];
        if (arg == "--settings") {
            options.settings = value;
        } else if (arg == "--scale") {
            options.scale = std::strtod(value.c_str(), nullptr);
            if (!(options.scale >= 0.5 && options.scale <= 8.0))
                return std::fprintf(stderr, "aviolog-gauge: --scale: 0.5 to 8\n"), 2;
        } else {
            return std::fprintf(stderr, "aviolog-gauge: unknown option %s\n%s", arg.c_str(),
                                kUsage),
                   2;
        }
    }
    if (options.headless) return runHeadless(options);
    wxApp::SetInstance(new GaugeApp(options));
    int wxArgc = 1;  // the options above are ours, not the toolkit's
    return wxEntry(wxArgc, argv);
}
