#pragma once

#include <string>

namespace aviolog::platform {

enum class MessageIcon { Information, Warning, Error, Question };
enum class MessageButtons { Ok, OkCancel, YesNo };
enum class MessageAnswer { Ok, Cancel, Yes, No };

struct Message {
    std::string text;
    MessageIcon icon = MessageIcon::Information;
    MessageButtons buttons = MessageButtons::Ok;
    // Boxes raised from timer procedures stay in front of every window, the simulator's too.
    bool systemModal = false;
};

// The person at the keyboard: every message box, question and chooser the core shows goes
// through here and returns the answer. The desktop shell shows dialogs; tests script them.
class Pilot {
  public:
    virtual ~Pilot() = default;
    virtual MessageAnswer show(const Message& message) = 0;

    void inform(std::string text) { show({std::move(text), MessageIcon::Information}); }
    void warn(std::string text) { show({std::move(text), MessageIcon::Warning}); }
    void error(std::string text) { show({std::move(text), MessageIcon::Error}); }
};

}  // namespace aviolog::platform
