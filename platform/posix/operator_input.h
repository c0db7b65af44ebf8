#pragma once

#include <functional>
#include <string>

#include "platform/posix/event_loop.h"

namespace aviolog::platform::posix {

// The operator's commands typed on standard input, a line at a time (CR LF or LF), read
// on the loop without ever blocking it. At the end of the input it stops reading and the
// program goes on: the operator may just have closed the pipe.
class OperatorInput {
  public:
    OperatorInput(EventLoop& loop, std::function<void(const std::string& line)> onLine);
    ~OperatorInput();
    OperatorInput(const OperatorInput&) = delete;
    OperatorInput& operator=(const OperatorInput&) = delete;

  private:
    void read();

    EventLoop& loop_;
    std::function<void(const std::string&)> onLine_;
    std::string pending_;
    bool watching_ = false;
};

}  // namespace aviolog::platform::posix
