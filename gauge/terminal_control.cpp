#include "gauge/terminal_control.h"

#include <array>
#include <utility>

#include "common/text_format.h"

namespace aviolog::gauge {
namespace {

const char* modeName(DisplayMode mode) {
    switch (mode) {
        case DisplayMode::Page1:
            return "page1";
        case DisplayMode::Page2:
            return "page2";
        case DisplayMode::Page3:
            return "page3";
        case DisplayMode::Typing:
            return "typing";
    }
    return "?";
}

bool press(Terminal& t, std::string_view name) {
    for (int i = 1; i <= 4; ++i) {
        if (name == wire::gauge_key::kLeft[i - 1]) return t.lineSelect(false, i), true;
        if (name == wire::gauge_key::kRight[i - 1]) return t.lineSelect(true, i), true;
    }
    if (name.size() == 1 && name[0] >= 'A' && name[0] <= 'Z') return t.keypadLetter(name[0]), true;
    if (name == "SHIFT") return t.keypadShift(), true;
    if (name == "ERASE") return t.keypadEraseUp(), true;
    if (name == "SPACE") return t.keypadSpaceDown(), true;
    if (name == "ENTER") return t.keypadEnter(), true;
    if (name == "CAPTURE") return t.toggleCapture(), true;
    return false;
}

bool key(Terminal& t, std::string_view name) {
    constexpr std::array<std::pair<std::string_view, KeyboardKey>, 7> kKeys = {{
        {"BACKSPACE", KeyboardKey::Backspace},
        {"UP", KeyboardKey::Up},
        {"DOWN", KeyboardKey::Down},
        {"PAGEUP", KeyboardKey::PageUp},
        {"PAGEDOWN", KeyboardKey::PageDown},
        {"LEFT", KeyboardKey::Left},
        {"ENTER", KeyboardKey::Enter},
    }};
    for (const auto& [keyName, code] : kKeys) {
        if (name == keyName) {
            t.keyboard(code);
            return true;
        }
    }
    return false;
}

}  // namespace

std::string rowsText(const Terminal& terminal) {
    std::string text;
    for (int r = 1; r <= kRows; ++r) text += format("row %d|%s|\n", r, terminal.row(r).c_str());
    return text + "end\n";
}

ControlOutcome runControl(Terminal& terminal, bool connected, std::string_view line,
                          std::string& output) {
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    const std::size_t blank = line.find(' ');
    const std::string_view verb = line.substr(0, blank);
    const std::string_view rest =
        blank == std::string_view::npos ? std::string_view{} : line.substr(blank + 1);
    if (verb == "quit") return ControlOutcome::Quit;
    if (verb == "rows") {
        output += rowsText(terminal);
        return ControlOutcome::Done;
    }
    if (verb == "state") {
        output += format("state connected=%d mode=%s capture=%d\n", connected ? 1 : 0,
                         modeName(terminal.mode()), terminal.capture() ? 1 : 0);
        return ControlOutcome::Done;
    }
    if (verb == "type") {
        for (const char c : rest) terminal.keyboard(KeyboardKey::Character, c);
        return ControlOutcome::Done;
    }
    if (verb == "press" && press(terminal, rest)) return ControlOutcome::Done;
    if (verb == "key" && key(terminal, rest)) return ControlOutcome::Done;
    return ControlOutcome::Unknown;
}

}  // namespace aviolog::gauge
