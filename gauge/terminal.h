#pragma once

// The cockpit terminal without any window: three pages, nine rows, the keypad, the
// keyboard keys and the display commands. A host (the Linux window, later the simulator's
// panel module) feeds it records, clicks and keys, and draws the rows it marks dirty.

#include <array>
#include <bitset>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "wire/gauge_record.h"

namespace aviolog::gauge {

inline constexpr int kRows = 9;
inline constexpr std::size_t kLineChars = 45;        // a line of pages 1 and 2
inline constexpr std::size_t kPage3Chars = 44;       // a line of page 3
inline constexpr std::size_t kInputShownChars = 40;  // row 9 shows the input line's end
// Typed text leaves as one record, so it can hold no more than a record carries.
inline constexpr std::size_t kMaxInputChars = wire::kGaugeMaxTextChars;

inline constexpr std::string_view kWaitingText = "Waiting connection from Program";
inline constexpr std::string_view kSocketStartupError = "Error in Socket, WSAStartup";
inline constexpr std::string_view kSocketCreateError = "Error in Socket, socket";
inline constexpr std::string_view kSocketNonBlockingError = "Error in Socket, ioctlsocket";
inline constexpr std::string_view kSocketBindError = "Error in Socket, bind";

enum class DisplayMode { Page1, Page2, Page3, Typing };

// The keyboard keys the terminal knows while it captures the keyboard.
enum class KeyboardKey { Backspace, Up, Down, PageUp, PageDown, Left, Enter, Character, Other };

// Where the terminal's key names and typed lines go: the link to the program.
class KeySender {
  public:
    virtual ~KeySender() = default;
    virtual void sendText(std::string_view text) = 0;
};

// A scrolling page of 45-character lines (the ACARS messages, the flight log).
class PageStore {
  public:
    PageStore();
    // Appends the LF-separated lines, dropping empty ones and wrapping long ones, and
    // scrolls so that the newest nine lines are in view.
    void append(std::string_view text);
    void clear();

    std::size_t count() const { return lines_.size(); }
    std::size_t first() const { return first_; }
    void setFirst(std::size_t first) { first_ = first; }
    // Line i, or empty beyond the count.
    std::string_view line(std::size_t i) const;
    // Writes line i, adding empty lines up to it when it lies beyond the count.
    void put(std::size_t i, std::string_view text);

    void scrollUp();
    void scrollDown();
    void pageUp();
    void pageDown();

  private:
    void add(std::string_view line);

    std::vector<std::string> lines_;
    std::size_t first_ = 0;
};

class Terminal {
  public:
    explicit Terminal(KeySender& sender);

    // ---- The link ----
    // The update cycle's link steps; false when there is no program (the cycle ends).
    bool linkUpdate(bool connected);
    // A record from the program.
    void receive(const wire::GaugeRecord& record);
    // The connection broke: the message pages, the input line and the Shift latch go.
    void connectionLost();
    // A socket set-up failure, shown in row 1 of page 1.
    void showSetupFailure(std::string_view text);

    // ---- The host's cycle ----
    // The host (re)initialises the terminal's window.
    void initialise();
    // Start of an update cycle; false when the cycle does nothing else (a restore).
    bool beginUpdate();
    // Brings the dirty rows up to date and returns them (row r is bit r-1), to be redrawn.
    std::bitset<kRows> drawDirtyRows();
    // What row r (1 to 9) shows now.
    const std::string& row(int r) const { return shown_[static_cast<std::size_t>(r - 1)]; }
    bool anyDirty() const { return dirty_.any(); }

    // ---- The keypad and line-select keys ----
    // A letter key of the keypad, 'A' to 'Z'.
    void keypadLetter(char letter);
    void keypadShift();
    void keypadEraseUp();
    void keypadSpaceDown();
    void keypadEnter();
    // Line-select key 1 to 4 on the left or right side.
    void lineSelect(bool right, int index);

    // ---- Keyboard capture ----
    void toggleCapture();
    bool capture() const { return capture_; }
    // A key while capture is on; false when it is passed on. character is the key's
    // translation for Character (Windows-1252; code 32 and up).
    bool keyboard(KeyboardKey key, char character = 0);

    // ---- State, for hosts and tests ----
    DisplayMode mode() const { return mode_; }
    DisplayMode savedMode() const { return savedMode_; }
    const std::string& input() const { return input_; }
    bool shiftLatch() const { return shiftLatch_; }
    const PageStore& page(int number) const { return number == 1 ? page1_ : page2_; }
    std::string_view page3Line(int r) const { return page3_[static_cast<std::size_t>(r - 1)]; }

  private:
    PageStore* scrollingPage();
    void command(std::string_view text);
    void showPage(DisplayMode mode) {
        mode_ = mode;
        dirty_.set();
    }
    void putPage3(std::string_view text);
    void type(char c);
    void enterTyping();
    // What row r shows in the current mode.
    std::string textFor(int r) const;

    KeySender& sender_;
    PageStore page1_;
    PageStore page2_;
    std::array<std::string, kRows> page3_;
    DisplayMode mode_ = DisplayMode::Page2;
    DisplayMode savedMode_ = DisplayMode::Page2;
    std::string input_;
    bool shiftLatch_ = false;
    bool restore_ = false;
    bool capture_ = false;
    std::bitset<kRows> dirty_;
    std::array<std::string, kRows> shown_;
};

}  // namespace aviolog::gauge
