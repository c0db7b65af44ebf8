#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "tests/support/child_process.h"

namespace aviolog::test {

// Runs the real aviolog in a working directory under the test's X display and works it as
// a pilot would: reads what is on screen from the window report the program writes on
// SIGUSR2, clicks and types with xdotool, and keeps screenshots for a person to look at.
class WindowDriver {
  public:
    explicit WindowDriver(const std::filesystem::path& workDir);
    bool started() const { return process_ && process_->started(); }
    ChildProcess& process() { return *process_; }

    // The report as the program writes it now; "" when it wrote none.
    std::string report();
    // Waits until a line of the report holds the text; the last report otherwise.
    bool waitFor(const std::string& text, int timeoutMs = 15000);
    // The report's line that holds the text ("" when none).
    std::string line(const std::string& text);
    // Clicks where the report's first line holding the text says ("at X Y").
    bool click(const std::string& text, int timeoutMs = 15000);
    // Keys to the window under the pointer (xdotool key syntax, "alt+f").
    void key(const std::string& keys);
    void moveTo(int x, int y);
    // Opens a menu of the bar with its key ("alt+h"), waits until the program reports it
    // open ("&Help"), then chooses an item with its key ("b"). A key that reaches the window
    // before the menu is up would be lost, so the item's key waits; asked again when the
    // menu did not open or stayed open.
    bool choose(const std::string& openKey, const std::string& menuLabel,
                const std::string& itemKey);
    // Types the text into the focused control.
    void type(const std::string& text);
    // Any other xdotool command ("click --repeat 2 1"); false when xdotool failed.
    static bool xdotool(const std::string& arguments);
    // The whole screen as a PNG in the artefact folder; the path written.
    std::filesystem::path screenshot(const std::string& name);

  private:
    std::filesystem::path workDir_;
    std::unique_ptr<ChildProcess> process_;
};

// Where the gui tests keep their screenshots.
std::filesystem::path artefactDir();

}  // namespace aviolog::test
