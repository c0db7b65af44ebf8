#pragma once

#include <deque>
#include <vector>

#include "mail/mailer.h"

namespace aviolog::test {

// Records every mail handed to it and answers from a script; unscripted sends succeed.
class RecordingMailer : public mail::Mailer {
  public:
    bool send(const mail::OutgoingMail& mail) override {
        sent.push_back(mail);
        if (outcomes.empty()) return true;
        const bool outcome = outcomes.front();
        outcomes.pop_front();
        return outcome;
    }

    std::vector<mail::OutgoingMail> sent;
    std::deque<bool> outcomes;
};

}  // namespace aviolog::test
