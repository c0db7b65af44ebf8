#pragma once

#include <algorithm>
#include <functional>
#include <optional>
#include <string>

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

    VaDestination(platform::BackgroundGets& gets, int lane) : gets_(gets), lane_(lane) {}
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

    void failed();
    void succeeded() { failures_ = 0; }
    // The count as a restarted program finds it in the flight journal.
    void restoreFailures(int failures) {
        failures_ = failures < 0 ? 0 : std::min(failures, kGivenUp);
    }

  private:
    static constexpr int kGivenUp = 2;

    platform::BackgroundGets& gets_;
    int lane_;
    int failures_ = 0;
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

    VaDestination primary;
    VaDestination alternate;
    VaDestination status;
};

}  // namespace aviolog::reporting
