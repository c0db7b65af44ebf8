#include "gauge/terminal.h"

#include <algorithm>

namespace aviolog::gauge {
namespace {

constexpr std::size_t kInitialLines = 300;
constexpr std::size_t kGrowLines = 300;
constexpr std::size_t kGrowMarginLines = 80;
// Line counts and scroll positions are 16-bit on the wire side of the terminal; a page
// that reaches the limit forgets its oldest lines instead of wrapping around.
constexpr std::size_t kMaxLines = 65535;
constexpr std::size_t kVisible = kRows;

constexpr char kDigits[] = "1234567890";  // keypad row 1, A to J, with Shift

// The line number after a line-positioning command: leading digits, none reads 0.
std::size_t lineNumber(std::string_view digits) {
    std::size_t n = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9') break;
        n = std::min<std::size_t>(n * 10 + static_cast<std::size_t>(c - '0'), kMaxLines);
    }
    return n;
}

}  // namespace

// ---- PageStore ----

PageStore::PageStore() {
    lines_.reserve(kInitialLines);
}

void PageStore::append(std::string_view text) {
    if (lines_.size() + kGrowMarginLines > lines_.capacity()) {
        lines_.reserve(lines_.capacity() + kGrowLines);
    }
    while (!text.empty()) {
        const std::size_t lf = text.find('\n');
        std::string_view line = text.substr(0, lf);
        text = lf == std::string_view::npos ? std::string_view{} : text.substr(lf + 1);
        if (line.empty()) continue;
        // Break at the last blank of the first 46 characters, so a word stays whole; the
        // continuation keeps the blank. Without one, cut after 44.
        while (line.size() > kLineChars) {
            std::size_t cut = line.rfind(' ', kLineChars);
            if (cut == std::string_view::npos || cut == 0) cut = kLineChars - 1;
            add(line.substr(0, cut));
            line.remove_prefix(cut);
        }
        add(line);
    }
    if (lines_.size() > kVisible) first_ = lines_.size() - kVisible;
}

void PageStore::add(std::string_view line) {
    if (lines_.size() == kMaxLines) {
        lines_.erase(lines_.begin());
        if (first_ > 0) --first_;
    }
    lines_.emplace_back(line);
}

void PageStore::clear() {
    lines_.clear();
    first_ = 0;
}

std::string_view PageStore::line(std::size_t i) const {
    return i < lines_.size() ? std::string_view(lines_[i]) : std::string_view{};
}

void PageStore::put(std::size_t i, std::string_view text) {
    if (i >= kMaxLines) return;
    if (i >= lines_.size()) lines_.resize(i + 1);
    lines_[i] = std::string(text.substr(0, kLineChars));
}

void PageStore::scrollUp() {
    if (first_ > 0) --first_;
}

void PageStore::scrollDown() {
    if (first_ + kVisible < lines_.size()) ++first_;
}

void PageStore::pageUp() {
    first_ = first_ > kVisible ? first_ - kVisible : 0;
}

void PageStore::pageDown() {
    if (first_ + kVisible < lines_.size()) first_ += kVisible;
}

// ---- Terminal ----

Terminal::Terminal(KeySender& sender) : sender_(sender) {
    dirty_.set();
}

bool Terminal::linkUpdate(bool connected) {
    if (!connected) {
        // Redrawn only when it changes: a terminal waiting for hours costs nothing.
        if (input_ != kWaitingText || mode_ != DisplayMode::Typing) {
            input_ = kWaitingText;
            dirty_.set(kRows - 1);
            mode_ = DisplayMode::Typing;
        }
        return false;
    }
    if (input_ == kWaitingText) {
        // The waiting text goes; the input line starts empty so the first typed line
        // carries nothing but what the pilot typed.
        input_.clear();
        showPage(DisplayMode::Page3);
    }
    return true;
}

void Terminal::receive(const wire::GaugeRecord& record) {
    switch (static_cast<wire::GaugeRecordType>(record.type)) {
        case wire::GaugeRecordType::Page1Lines:
            page1_.append(record.text);
            dirty_.set();
            break;
        case wire::GaugeRecordType::Page2Lines:
            page2_.append(record.text);
            dirty_.set();
            break;
        case wire::GaugeRecordType::Command:
            command(record.text);
            break;
        case wire::GaugeRecordType::Page3Lines:
            putPage3(record.text);
            dirty_.set();
            break;
        default:
            break;  // a type this terminal does not know changes nothing
    }
}

void Terminal::command(std::string_view text) {
    namespace cmd = wire::gauge_command;
    if (text == cmd::kPage1) {
        showPage(DisplayMode::Page1);
    } else if (text == cmd::kPage1Top) {
        page1_.setFirst(0);
        showPage(DisplayMode::Page1);
    } else if (text.starts_with(cmd::kPage1Line)) {
        page1_.setFirst(lineNumber(text.substr(cmd::kPage1Line.size())));
        showPage(DisplayMode::Page1);
    } else if (text == cmd::kPage2) {
        showPage(DisplayMode::Page2);
    } else if (text == cmd::kPage2Top) {
        page2_.setFirst(0);
        showPage(DisplayMode::Page2);
    } else if (text.starts_with(cmd::kPage2Line)) {
        page2_.setFirst(lineNumber(text.substr(cmd::kPage2Line.size())));
        showPage(DisplayMode::Page2);
    } else if (text == cmd::kPage3) {
        showPage(DisplayMode::Page3);
    } else if (text == cmd::kClearPage1) {
        page1_.clear();
        dirty_.set();
    } else if (text == cmd::kClearPage2) {
        page2_.clear();
        dirty_.set();
    } else if (text == cmd::kClearPage3) {
        for (std::string& line : page3_) line.clear();
    }
}

void Terminal::putPage3(std::string_view text) {
    // Every line takes the next row, empty ones too; a final LF ends the text. Rows
    // beyond the lines received keep their text; lines beyond nine are dropped.
    std::size_t r = 0;
    while (!text.empty() && r < page3_.size()) {
        const std::size_t lf = text.find('\n');
        page3_[r++] = std::string(text.substr(0, std::min(lf, kPage3Chars)));
        text = lf == std::string_view::npos ? std::string_view{} : text.substr(lf + 1);
    }
}

void Terminal::connectionLost() {
    page1_.clear();
    page2_.clear();
    dirty_.set();
    input_.clear();
    shiftLatch_ = false;
}

void Terminal::showSetupFailure(std::string_view text) {
    savedMode_ = mode_;
    mode_ = DisplayMode::Page1;
    page1_.put(page1_.first(), text);
    // Drawn at once: while no program connects, rows 1 to 8 keep what they last showed.
    shown_[0] = std::string(page1_.line(page1_.first()));
    dirty_.set(0);
}

void Terminal::initialise() {
    dirty_.set();
    if (mode_ == DisplayMode::Typing) {
        // Drawn once with the page's lines, then back to typing at the next update.
        mode_ = savedMode_;
        restore_ = true;
    }
}

bool Terminal::beginUpdate() {
    if (!restore_) return true;
    savedMode_ = mode_;
    mode_ = DisplayMode::Typing;
    dirty_.set();
    restore_ = false;
    return false;
}

std::string Terminal::textFor(int r) const {
    const auto index = static_cast<std::size_t>(r - 1);
    switch (mode_) {
        case DisplayMode::Page1:
            return std::string(page1_.line(page1_.first() + index));
        case DisplayMode::Page2:
            return std::string(page2_.line(page2_.first() + index));
        case DisplayMode::Page3:
            return page3_[index];
        case DisplayMode::Typing:
            break;
    }
    if (r < kRows) return shown_[index];  // rows 1 to 8 keep what they showed
    if (input_.size() > kInputShownChars) return input_.substr(input_.size() - kInputShownChars);
    return input_;
}

std::bitset<kRows> Terminal::drawDirtyRows() {
    std::bitset<kRows> changed;
    for (int r = 1; r <= kRows; ++r) {
        const auto index = static_cast<std::size_t>(r - 1);
        if (!dirty_.test(index)) continue;
        shown_[index] = textFor(r);
        changed.set(index);
    }
    dirty_.reset();
    return changed;
}

// ---- Keys ----

PageStore* Terminal::scrollingPage() {
    if (mode_ == DisplayMode::Page1) return &page1_;
    if (mode_ == DisplayMode::Page2) return &page2_;
    return nullptr;
}

void Terminal::enterTyping() {
    dirty_.set(kRows - 1);
    if (mode_ != DisplayMode::Typing) {
        savedMode_ = mode_;
        mode_ = DisplayMode::Typing;
    }
}

void Terminal::type(char c) {
    if (input_.size() < kMaxInputChars) input_ += c;
    enterTyping();
}

void Terminal::keypadLetter(char letter) {
    if (letter < 'A' || letter > 'Z') return;
    if (letter <= 'J' && shiftLatch_) {
        shiftLatch_ = false;
        type(kDigits[letter - 'A']);
        return;
    }
    type(letter);
}

void Terminal::keypadShift() {
    if (mode_ == DisplayMode::Typing) {
        shiftLatch_ = true;
    } else {
        sender_.sendText(wire::gauge_key::kShift);
    }
    dirty_.set();
}

void Terminal::keypadEraseUp() {
    if (mode_ == DisplayMode::Typing) {
        if (!input_.empty()) input_.pop_back();
        dirty_.set(kRows - 1);
    } else if (PageStore* page = scrollingPage()) {
        page->scrollUp();
        dirty_.set();
    }
}

void Terminal::keypadSpaceDown() {
    if (mode_ == DisplayMode::Typing) {
        if (input_.size() < kMaxInputChars) input_ += ' ';
        dirty_.set(kRows - 1);
        return;
    }
    if (PageStore* page = scrollingPage()) page->scrollDown();
    dirty_.set();
}

void Terminal::keypadEnter() {
    dirty_.set(kRows - 1);
    mode_ = savedMode_;
    sender_.sendText(input_);
    input_.clear();
    // The page the pilot returns to is drawn whole.
    dirty_.set();
}

void Terminal::lineSelect(bool right, int index) {
    if (index < 1 || index > 4) return;
    const auto& keys = right ? wire::gauge_key::kRight : wire::gauge_key::kLeft;
    sender_.sendText(keys[index - 1]);
}

void Terminal::toggleCapture() {
    capture_ = !capture_;
}

bool Terminal::keyboard(KeyboardKey key, char character) {
    PageStore* page = scrollingPage();
    switch (key) {
        case KeyboardKey::Backspace:
            if (mode_ != DisplayMode::Typing) return false;
            if (!input_.empty()) input_.pop_back();
            dirty_.set(kRows - 1);
            return true;
        case KeyboardKey::Up:
            if (page) page->scrollUp();
            dirty_.set();
            return true;
        case KeyboardKey::Down:
            if (page) page->scrollDown();
            dirty_.set();
            return true;
        case KeyboardKey::PageUp:
            if (page) page->pageUp();
            dirty_.set();
            return true;
        case KeyboardKey::PageDown:
            if (page) page->pageDown();
            dirty_.set();
            return true;
        case KeyboardKey::Left:
            if (mode_ != DisplayMode::Typing) {
                sender_.sendText(wire::gauge_key::kShift);
                dirty_.set();
            }
            return true;
        case KeyboardKey::Enter:
            keypadEnter();
            return true;
        case KeyboardKey::Character:
            if (static_cast<unsigned char>(character) < 32) return false;
            type(character);
            return true;
        case KeyboardKey::Other:
            return false;
    }
    return false;
}

}  // namespace aviolog::gauge
