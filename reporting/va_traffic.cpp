#include "reporting/va_traffic.h"

#include "platform/background_gets.h"

namespace aviolog::reporting {

void VaDestination::send(std::string url) {
    send(std::move(url), [](VaDestination& self, std::optional<std::string> answer) {
        if (answer) {
            self.succeeded();
        } else {
            self.failed();
        }
    });
}

void VaDestination::send(std::string url, Handler handler) {
    if (givenUp()) return;
    gets_.get(lane_, std::move(url),
              [this, handler = std::move(handler)](std::optional<std::string> answer) {
                  if (givenUp()) return;
                  handler(*this, std::move(answer));
              });
}

void VaDestination::failed() {
    ++failures_;
    // Whatever waits behind the second failure would only wait for the same silence.
    if (givenUp()) gets_.dropPending(lane_);
}

}  // namespace aviolog::reporting
