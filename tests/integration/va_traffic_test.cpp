// VA requests off the caller's thread: in order per lane, answered on the caller's thread,
// and a site that never answers holds up neither the other sites nor the program's exit.

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "common/text_file.h"
#include "platform/posix/curl_http_client.h"
#include "platform/posix/threaded_gets.h"
#include "tests/support/child_process.h"
#include "tests/support/loopback_va_server.h"
#include "tests/support/sim_fixture.h"
#include "tests/support/temp_dir.h"

namespace aviolog::platform::posix {
namespace {

using Clock = std::chrono::steady_clock;

// A loopback port whose connections are accepted by the system and never answered.
class BlackHole {
  public:
    BlackHole() : fd_(::socket(AF_INET, SOCK_STREAM, 0)) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (fd_ >= 0 && ::bind(fd_, reinterpret_cast<sockaddr*>(&address), length) == 0 &&
            ::listen(fd_, 16) == 0 &&
            ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
            port_ = ntohs(address.sin_port);
        }
    }
    ~BlackHole() {
        for (const int caller : callers_) ::close(caller);
        if (fd_ >= 0) ::close(fd_);
    }
    // Waits until a client has connected; the connection is held and never answered.
    bool waitForCaller(int limitMs) {
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, limitMs) != 1) return false;
        const int caller = ::accept(fd_, nullptr, nullptr);
        if (caller < 0) return false;
        callers_.push_back(caller);
        return true;
    }
    BlackHole(const BlackHole&) = delete;
    BlackHole& operator=(const BlackHole&) = delete;
    std::string url() const { return "http://127.0.0.1:" + std::to_string(port_) + "/acars.php"; }

  private:
    int fd_;
    int port_ = 0;
    std::vector<int> callers_;
};

std::unique_ptr<ThreadedGets> makeGets() {
    return std::make_unique<ThreadedGets>([](const std::atomic<bool>& abandon) {
        return std::make_unique<CurlHttpClient>(HttpLimits{}, &abandon);
    });
}

// Waits on the ready descriptor, as the event loop does, and delivers.
void deliverUntil(ThreadedGets& gets, const std::function<bool()>& done, int limitMs) {
    const auto end = Clock::now() + std::chrono::milliseconds(limitMs);
    while (!done() && Clock::now() < end) {
        pollfd p{gets.readyFd(), POLLIN, 0};
        ::poll(&p, 1, 50);
        gets.deliverAnswers();
    }
}

TEST(ThreadedGets, AnswersComeInOrderOnTheCallersThread) {
    test::LoopbackVaServer server;
    ASSERT_TRUE(server.running());
    auto gets = makeGets();
    ASSERT_GE(gets->readyFd(), 0);
    std::vector<int> order;
    std::vector<std::thread::id> threads;
    for (int i = 0; i < 6; ++i) {
        gets->get(i % 2, server.url("/n.php?i=" + std::to_string(i)),
                  [&, i](std::optional<std::string> answer) {
                      EXPECT_EQ(answer, "OK\n") << i;
                      order.push_back(i);
                      threads.push_back(std::this_thread::get_id());
                  });
    }
    EXPECT_TRUE(order.empty()) << "nothing is delivered before the owner asks";
    deliverUntil(
        *gets, [&] { return order.size() == 6; }, 10000);
    std::vector<int> lane0, lane1;
    for (const int i : order) (i % 2 == 0 ? lane0 : lane1).push_back(i);
    EXPECT_EQ(lane0, (std::vector<int>{0, 2, 4}));
    EXPECT_EQ(lane1, (std::vector<int>{1, 3, 5}));
    for (const auto& id : threads) EXPECT_EQ(id, std::this_thread::get_id());
    EXPECT_EQ(gets->outstanding(), 0u);
}

TEST(ThreadedGets, ASilentSiteHoldsUpNeitherTheOtherSitesNorTheExit) {
    test::LoopbackVaServer server;
    BlackHole hole;
    auto gets = makeGets();
    bool silentAnswered = false;
    bool otherAnswered = false;
    const auto start = Clock::now();
    gets->get(1, hole.url(), [&](std::optional<std::string>) { silentAnswered = true; });
    gets->get(1, hole.url(), [&](std::optional<std::string>) { silentAnswered = true; });
    gets->get(2, server.url("/status.php"),
              [&](std::optional<std::string> a) { otherAnswered = a.has_value(); });
    deliverUntil(
        *gets, [&] { return otherAnswered; }, 5000);
    EXPECT_TRUE(otherAnswered);
    EXPECT_FALSE(silentAnswered);
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(3));

    // On a loaded machine the silent site's worker may not have taken its first request yet.
    ASSERT_TRUE(hole.waitForCaller(5000)) << "the first request to the silent site is under way";
    gets->dropPending(1);
    EXPECT_EQ(gets->outstanding(), 1u) << "the request under way is still out";
    const auto closing = Clock::now();
    gets.reset();
    EXPECT_LT(Clock::now() - closing, std::chrono::seconds(3))
        << "the worker gives up its transfer";
}

struct LiveFlight {
    int touchdownRateFpm = 0;
    long maxLateMs = -1;
    std::string output;
};

// aviolog-fly recording a live aviolog-sim flight with ACARS online, every VA script at
// base: the approach to Porto, touchdown, landing and blocks on, with the messages of
// each and a position report every two minutes.
LiveFlight flyLive(const std::string& base, const std::string& tag) {
    const std::string prefix = "aviolog-test-va-" + tag + "-" + std::to_string(getpid()) + "-";
    const std::string speed = "10";
    test::TempDir dir;
    // The short final of the bounce scenario without its bounce: a bounce sampled live lands
    // wherever the sampler's tick falls, and this test compares two touchdowns.
    std::string approach =
        readFileBytes(test::dataPath("scenarios/touch-and-bounce.scn")).value_or("");
    if (const std::size_t at = approach.find("at 0:00:01 bounce"); at != std::string::npos) {
        approach.erase(at, approach.find('\n', at) - at);
    }
    dir.write("approach.scn", approach);
    const std::string scenario = (dir / "approach.scn").string();
    const std::string shipped = readFileBytes(test::dataPath("aviolog.ori")).value_or("");
    dir.write("aviolog.ori", shipped);
    std::string ini = shipped;
    auto set = [&](const std::string& key, const std::string& value) {
        const std::size_t at = ini.find("\n" + key + "=");
        const std::size_t end = ini.find('\r', at);
        ini.replace(at + 1, end - at - 1, key + "=" + value);
    };
    set("AcarsEvent", "1");
    set("AutomatedStop", "1");
    set("AcarsSite", base + "/acars.php");
    set("Uplink", base + "/uplink.php");
    set("UplinkReset", base + "/reset.php");
    dir.write("aviolog.ini", ini);
    dir.write("TAP.ini",
              "[Aviolog]\r\nCompanyICAO=TAP\r\nPilotNumber=123\r\nUnitSystem=IS\r\n"
              "AcarsSite=" +
                  base + "/alternate.php\r\nStatusSite=" + base + "/status.php\r\n");

    test::ChildProcess sim(AVIOLOG_SIM_PATH, {"--scenario", scenario, "--speed", speed, "--status",
                                              "0", "--ipc-prefix", prefix, "--exit-when-parked"});
    test::ChildProcess fly(
        AVIOLOG_FLY_PATH,
        {"--live", "--speed", speed, "--ipc-prefix", prefix, "--dir", dir.path().string(),
         "--scenario", scenario, "--aircraft", "A320", "--flight", "TP1944", "--limit", "30"});
    LiveFlight flight;
    if (!sim.started() || !fly.started() || fly.wait(180000) != 0) {
        flight.output = fly.output();
        return flight;
    }
    flight.output = fly.output();
    const std::string& out = flight.output;
    if (const std::size_t at = out.find("TouchDown:Rate "); at != std::string::npos) {
        flight.touchdownRateFpm = std::atoi(out.c_str() + at + 15);
    }
    if (const std::size_t at = out.find("fired at most "); at != std::string::npos) {
        flight.maxLateMs = std::atol(out.c_str() + at + 14);
    }
    return flight;
}

TEST(LiveFlightWithVaSites, SilentSitesNeitherDelayTheTimersNorChangeTheTouchdown) {
    test::LoopbackVaServer answering;
    ASSERT_TRUE(answering.running());
    BlackHole hole;
    const std::string silent = hole.url().substr(0, hole.url().rfind('/'));
    const LiveFlight normal = flyLive(answering.url(""), "up");
    const LiveFlight blackHoled = flyLive(silent, "down");

    ASSERT_GE(normal.maxLateMs, 0) << normal.output;
    ASSERT_GE(blackHoled.maxLateMs, 0) << blackHoled.output;
    EXPECT_FALSE(answering.requests().empty()) << "the answering sites were used";
    EXPECT_NE(normal.output.find("  Parking brakes on"), std::string::npos) << normal.output;
    EXPECT_NE(blackHoled.output.find("  Parking brakes on"), std::string::npos)
        << blackHoled.output;
    EXPECT_LT(normal.touchdownRateFpm, 0) << normal.output;
    EXPECT_NEAR(blackHoled.touchdownRateFpm, normal.touchdownRateFpm, 10)
        << "answering " << normal.touchdownRateFpm << ", black-holed "
        << blackHoled.touchdownRateFpm;
    EXPECT_LE(blackHoled.maxLateMs, 50) << blackHoled.output;
    std::printf("touchdown %d ft/min answering, %d black-holed; timers at most %ld / %ld ms late\n",
                normal.touchdownRateFpm, blackHoled.touchdownRateFpm, normal.maxLateMs,
                blackHoled.maxLateMs);
}

}  // namespace
}  // namespace aviolog::platform::posix
