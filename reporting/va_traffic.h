#pragma once

#include <algorithm>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "reporting/va_outbox.h"

namespace aviolog::platform {
class BackgroundGets;
}

namespace aviolog::reporting {

// One VA web site as the ACARS traffic uses it: its requests go out in order on their own
// lane, and a failure counter gives it up after two failures in a row. Results are
// applied on the owner's thread, in the order the requests were given.
class VaDestination {
  public:
    // What the answer does to the counter; the plain rule is Plain.
    using Handler = std::function<void(VaDestination& self, std::optional<std::string> answer)>;

    VaDestination(platform::BackgroundGets& gets, int lane);
    ~VaDestination();
    VaDestination(const VaDestination&) = delete;
    VaDestination& operator=(const VaDestination&) = delete;

    // Two consecutive failures: not used again during the run.
    bool givenUp() const { return failures_ == kGivenUp; }
    int failures() const { return failures_; }

    // Sends unless given up: a failure adds 1, an answer sets 0.
    void send(std::string url);
    // Sends unless given up; the handler decides what the answer means for the counter.
    // Answers that arrive once the destination has been given up are ignored: requests
    // already under way when it fell silent must not bring it back.
    void send(std::string url, Handler handler);

    // Requests that must reach the site (messages, reports) go through an outbox on disk
    // in the working folder: appended before anything is sent, removed once answered, and
    // sent oldest first, one at a time, so the site gets them in order and none twice. A
    // failure leaves the oldest waiting; the next request handed in, an answer to any
    // other request of this site, or the next start sends what waits again.
    void keepOutbox(std::filesystem::path path);
    // Queues the request and, unless the site has been given up, sends what waits; the
    // counter follows the plain rule for each attempt.
    void sendKept(std::string url);
    // At start-up: what an earlier run left is sent once more, in order, up to the first
    // failure, even when the restored counter has given the site up (an answer then does
    // not bring it back for this run's own traffic).
    void resendOutbox();
    std::size_t waiting() const { return outbox_ ? outbox_->size() : 0; }

    void failed();
    void succeeded() { failures_ = 0; }
    // The count as a restarted program finds it in the flight journal.
    void restoreFailures(int failures) {
        failures_ = failures < 0 ? 0 : std::min(failures, kGivenUp);
    }

  private:
    static constexpr int kGivenUp = 2;

    void sendOldest();

    platform::BackgroundGets& gets_;
    int lane_;
    int failures_ = 0;
    std::unique_ptr<VaOutbox> outbox_;
    bool outboxSending_ = false;  // the oldest is under way
    bool resending_ = false;      // the start-up pass, which ignores the give-up
};

// The VA's sites that the flight talks to while it runs: the primary ACARS site (which
// the uplink poll and reset share), the company's alternate ACARS site and the status
// site, each on its own lane.
struct VaTraffic {
    explicit VaTraffic(platform::BackgroundGets& gets)
        : primary(gets, kPrimaryLane), alternate(gets, kAlternateLane), status(gets, kStatusLane) {}

    static constexpr int kPrimaryLane = 1;
    static constexpr int kAlternateLane = 2;
    static constexpr int kStatusLane = 3;

    // Each site's outbox: ".\outbox-" + company ICAO + "-" + primary, alternate or
    // status + ".txt".
    void keepOutboxes(const std::filesystem::path& workDir, const std::string& companyIcao);
    void resendOutboxes();

    VaDestination primary;
    VaDestination alternate;
    VaDestination status;
};

std::filesystem::path outboxPath(const std::filesystem::path& workDir,
                                 const std::string& companyIcao, const std::string& site);

}  // namespace aviolog::reporting
