#pragma once

// What the wine tests share: the Windows programs of the win64 build, run under Wine in a
// prefix of the build's own, and a way to drive a program one line at a time.

#include <memory>
#include <string>
#include <vector>

#include "tests/support/child_process.h"

namespace aviolog::test {

// Why the wine tests cannot run here (no Wine, no win64 build, a prefix that would not
// start), or empty when they can. Prepares the prefix once per test program.
std::string wineUnavailable();

// The path of a program of the win64 build, such as "sim/aviolog-sim.exe".
std::string windowsProgram(const std::string& relative);

// A Windows program started under Wine in the tests' prefix.
std::unique_ptr<ChildProcess> startUnderWine(const std::string& relative,
                                             const std::vector<std::string>& args);

// Waits for text to appear in the program's output after position from; the output
// that far, or empty when it did not appear in time.
bool waitForOutput(const ChildProcess& program, const std::string& text, int timeoutMs = 20000,
                   std::size_t from = 0);

// A program that answers each line of its input with one line of output.
class LineDriver {
  public:
    explicit LineDriver(ChildProcess& program) : program_(program) {}
    // Sends the line and returns the program's answer to it ("" when none came in time).
    std::string ask(const std::string& line, int timeoutMs = 20000);

  private:
    ChildProcess& program_;
    std::size_t answered_ = 0;  // how much of the output has been taken as answers
};

// A free TCP port on the loopback interface, for a server about to start.
int freeLoopbackPort();

}  // namespace aviolog::test
