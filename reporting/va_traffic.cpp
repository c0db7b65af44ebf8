#include "reporting/va_traffic.h"

#include "platform/background_gets.h"

namespace aviolog::reporting {

VaDestination::VaDestination(platform::BackgroundGets& gets, int lane) : gets_(gets), lane_(lane) {}

VaDestination::~VaDestination() = default;

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
                  const bool answered = answer.has_value();
                  handler(*this, std::move(answer));
                  // The site is back: what waited for it goes next, in order.
                  if (answered && failures_ == 0) sendOldest();
              });
}

void VaDestination::keepOutbox(std::filesystem::path path) {
    outbox_ = std::make_unique<VaOutbox>(std::move(path));
    outboxSending_ = false;
}

void VaDestination::sendKept(std::string url) {
    if (!outbox_) {
        send(std::move(url));
        return;
    }
    outbox_->append(std::move(url));
    sendOldest();
}

void VaDestination::resendOutbox() {
    if (!outbox_ || outbox_->empty()) return;
    resending_ = true;
    sendOldest();
}

void VaDestination::sendOldest() {
    if (!outbox_ || outbox_->empty() || outboxSending_) return;
    if (givenUp() && !resending_) return;
    outboxSending_ = true;
    gets_.get(lane_, outbox_->oldest(), [this](std::optional<std::string> answer) {
        outboxSending_ = false;
        if (!answer) {
            resending_ = false;
            if (!givenUp()) failed();
            return;
        }
        // Answered, even by a site given up meanwhile: it has the request, so it never
        // goes again, and it leaves the file before the next one is sent.
        outbox_->removeOldest();
        if (!givenUp()) succeeded();
        if (outbox_->empty()) resending_ = false;
        sendOldest();
    });
}

void VaDestination::failed() {
    ++failures_;
    // Whatever waits behind the second failure would only wait for the same silence.
    if (givenUp()) {
        gets_.dropPending(lane_);
        // A request of the outbox dropped unsent never answers; it stays in the file.
        outboxSending_ = false;
        resending_ = false;
    }
}

std::filesystem::path outboxPath(const std::filesystem::path& workDir,
                                 const std::string& companyIcao, const std::string& site) {
    return workDir / ("outbox-" + companyIcao + "-" + site + ".txt");
}

void VaTraffic::keepOutboxes(const std::filesystem::path& workDir, const std::string& companyIcao) {
    primary.keepOutbox(outboxPath(workDir, companyIcao, "primary"));
    alternate.keepOutbox(outboxPath(workDir, companyIcao, "alternate"));
    status.keepOutbox(outboxPath(workDir, companyIcao, "status"));
}

void VaTraffic::resendOutboxes() {
    primary.resendOutbox();
    alternate.resendOutbox();
    status.resendOutbox();
}

}  // namespace aviolog::reporting
