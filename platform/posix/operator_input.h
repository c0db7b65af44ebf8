#pragma once

#include <functional>
#include <string>

#include "platform/posix/event_loop.h"

namespace aviolog::platform::posix {

// The operator's commands typed on standard input, a line at a time (CR LF or LF), read
// on the loop without ever blocking it. At the end of the input it runs a last line that
// has no line end, stops reading and calls onEnd (when given); a read error only stops the
// reading.
class OperatorInput {
  public:
    OperatorInput(EventLoop& loop, std::function<void(const std::string& line)> onLine,
                  std::function<void()> onEnd = {});

    // Whether the end of standard input is the operator ending the session: the end of a
    // pipe or file of commands, or Ctrl-D on a terminal. Not so for /dev/null (or another
    // device that is no terminal) or a closed standard input: nobody was ever going to
    // type, the program was started to run on its own.
    static bool endOfInputEndsTheSession();
    ~OperatorInput();
    OperatorInput(const OperatorInput&) = delete;
    OperatorInput& operator=(const OperatorInput&) = delete;

  private:
    void read();

    EventLoop& loop_;
    std::function<void(const std::string&)> onLine_;
    std::function<void()> onEnd_;
    std::string pending_;
    bool watching_ = false;
};

}  // namespace aviolog::platform::posix
