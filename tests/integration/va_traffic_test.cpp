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

#include "platform/posix/curl_http_client.h"
#include "platform/posix/threaded_gets.h"
#include "tests/support/loopback_va_server.h"

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
        if (fd_ >= 0) ::close(fd_);
    }
    BlackHole(const BlackHole&) = delete;
    BlackHole& operator=(const BlackHole&) = delete;
    std::string url() const { return "http://127.0.0.1:" + std::to_string(port_) + "/acars.php"; }

  private:
    int fd_;
    int port_ = 0;
};

std::unique_ptr<ThreadedGets> makeGets() {
    return std::make_unique<ThreadedGets>([](const std::atomic<bool>& abandon) {
        return std::make_unique<CurlHttpClient>(&abandon);
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
    deliverUntil(*gets, [&] { return order.size() == 6; }, 10000);
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
    gets->get(2, server.url("/status.php"), [&](std::optional<std::string> a) { otherAnswered = a.has_value(); });
    deliverUntil(*gets, [&] { return otherAnswered; }, 5000);
    EXPECT_TRUE(otherAnswered);
    EXPECT_FALSE(silentAnswered);
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(3));

    gets->dropPending(1);
    EXPECT_EQ(gets->outstanding(), 1u) << "the request under way is still out";
    const auto closing = Clock::now();
    gets.reset();
    EXPECT_LT(Clock::now() - closing, std::chrono::seconds(3)) << "the worker gives up its transfer";
}

}  // namespace
}  // namespace aviolog::platform::posix
