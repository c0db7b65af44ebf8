#pragma once

#include <deque>
#include <string>
#include <vector>

#include "platform/pilot.h"

namespace aviolog::test {

// Records every message box and answers from a script; unscripted boxes get their first
// button (OK, or Yes for questions).
class ScriptedPilot : public platform::Pilot {
  public:
    platform::MessageAnswer show(const platform::Message& message) override;

    std::vector<platform::Message> shown;
    std::deque<platform::MessageAnswer> answers;

    std::vector<std::string> texts() const;
};

}  // namespace aviolog::test
