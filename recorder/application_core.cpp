#include "recorder/application_core.h"

#include "platform/pilot.h"
#include "recorder/timer_ids.h"

namespace aviolog::recorder {

ApplicationCore::ApplicationCore(CorePlatform platform, std::string workDir,
                                 config::Settings settings, planning::FlightForm& form,
                                 FlightServices services)
    : settings_(std::move(settings)),
      services_(services),
      link_(platform.ipc, platform.clock),
      timers_(platform.timers),
      context_{link_,     platform.timers, platform.clock, platform.pilot, platform.sound,
               platform.libraries, settings_, form, record_, progress_, summary_, window_,
               services_, std::move(workDir), FlightPhase::WaitingForBlocksOff, {}, {}},
      flightLog_(context_) {
    link_.attachWindow(&flightLog_);
}

ApplicationCore::~ApplicationCore() {
    link_.close();
}

void ApplicationCore::start() {
    timers_.start(kConnectTimer, kConnectIntervalMs);
}

void ApplicationCore::acceptFlight() {
    if (!window_.summaryOffered()) return;
    if (services_.store.store({summary_, record_, settings_, window_})) window_.closeSummary();
}

void ApplicationCore::dismissFlight() {
    if (!window_.summaryOffered()) return;
    const platform::MessageAnswer answer = context_.pilot.show(
        {kDismissFlightQuestion, platform::MessageIcon::Question, platform::MessageButtons::YesNo});
    if (answer == platform::MessageAnswer::Yes) window_.closeSummary();
}

}  // namespace aviolog::recorder
