// aviolog-bridge against a stand-in X-Plane on loopback: found by its beacon, it answers
// the bridge's RREF subscriptions with RREF packets and records the DREF and CMND
// writes; the probe reads the values through the bridge.

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "bridge/xplane_protocol.h"
#include "platform/posix/posix_clock.h"
#include "platform/posix/posix_sim_ipc.h"
#include "simlink/sim_link.h"
#include "simlink/sim_variables.h"
#include "tests/support/child_process.h"

namespace aviolog::test {
namespace {

using namespace std::chrono_literals;
namespace xp = bridge::xp;

sockaddr_in loopback(int port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<std::uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return a;
}

int boundPort(int fd) {
    sockaddr_in a{};
    socklen_t length = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &length);
    return ntohs(a.sin_port);
}

// X-Plane's network interface as far as the bridge uses it: datarefs by name, RREF
// subscriptions answered at their rate, DREF and CMND recorded, a beacon each second.
class FakeXPlane {
  public:
    explicit FakeXPlane(int beaconPort) : beaconPort_(beaconPort) {
        fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        const sockaddr_in any = loopback(0);
        ::bind(fd_, reinterpret_cast<const sockaddr*>(&any), sizeof any);
        thread_ = std::thread([this] { run(); });
    }
    ~FakeXPlane() {
        stop_ = true;
        thread_.join();
        ::close(fd_);
    }
    void set(const std::string& dataref, float value) {
        std::lock_guard lock(mutex_);
        values_[dataref] = value;
    }
    // Several values of one simulator frame: no answer carries some of them alone.
    void setFrame(const std::map<std::string, float>& frame) {
        std::lock_guard lock(mutex_);
        for (const auto& [dataref, value] : frame) values_[dataref] = value;
    }
    std::vector<std::string> writes() const {
        std::lock_guard lock(mutex_);
        return writes_;
    }
    int port() const { return boundPort(fd_); }

  private:
    struct Subscription {
        sockaddr_in to;
        int index;
        std::string dataref;
    };
    void run() {
        auto nextAnswer = std::chrono::steady_clock::now();
        auto nextBeacon = nextAnswer;
        while (!stop_) {
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, 10) > 0) receive();
            const auto now = std::chrono::steady_clock::now();
            if (now >= nextBeacon) {
                nextBeacon = now + 1s;
                const std::string beacon =
                    xp::beaconPacket({1, 2, 1, 120100, 1, port(), "fake-xplane"});
                const sockaddr_in to = loopback(beaconPort_);
                ::sendto(fd_, beacon.data(), beacon.size(), 0,
                         reinterpret_cast<const sockaddr*>(&to), sizeof to);
            }
            if (now >= nextAnswer) {
                nextAnswer = now + 50ms;
                answer();
            }
        }
    }
    void receive() {
        char buffer[1024];
        sockaddr_in from{};
        socklen_t length = sizeof from;
        const ssize_t got =
            ::recvfrom(fd_, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &length);
        if (got < 5) return;
        const std::string d(buffer, static_cast<std::size_t>(got));
        std::lock_guard lock(mutex_);
        if (d.compare(0, 5, std::string("RREF\0", 5)) == 0 && d.size() == xp::kRrefRequestBytes) {
            std::int32_t rate = 0, index = 0;
            std::memcpy(&rate, buffer + 5, 4);
            std::memcpy(&index, buffer + 9, 4);
            std::erase_if(subscriptions_, [&](const Subscription& s) { return s.index == index; });
            if (rate > 0) subscriptions_.push_back({from, index, std::string(buffer + 13)});
        } else if (d.compare(0, 5, std::string("DREF\0", 5)) == 0 && d.size() == xp::kDrefBytes) {
            float value = 0;
            std::memcpy(&value, buffer + 5, 4);
            const std::string dataref(buffer + 9);
            values_[dataref] = value;
            writes_.push_back("DREF " + dataref + " " + std::to_string(value));
        } else if (d.compare(0, 5, std::string("CMND\0", 5)) == 0) {
            writes_.push_back("CMND " + std::string(buffer + 5));
        }
    }
    // X-Plane packs several subscribed values into one RREF answer.
    void answer() {
        std::lock_guard lock(mutex_);
        std::map<std::string, std::string> packets;  // by the subscriber's address
        std::map<std::string, sockaddr_in> to;
        for (const Subscription& s : subscriptions_) {
            const std::string key(reinterpret_cast<const char*>(&s.to), sizeof s.to);
            std::string& packet = packets[key];
            if (packet.empty()) packet.assign("RREF,", 5);
            const float value = values_.count(s.dataref) ? values_[s.dataref] : 0.0f;
            packet.append(reinterpret_cast<const char*>(&s.index), 4);
            packet.append(reinterpret_cast<const char*>(&value), 4);
            to[key] = s.to;
        }
        for (const auto& [key, packet] : packets) {
            ::sendto(fd_, packet.data(), packet.size(), 0,
                     reinterpret_cast<const sockaddr*>(&to[key]), sizeof to[key]);
        }
    }

    int beaconPort_;
    int fd_ = -1;
    std::atomic<bool> stop_{false};
    mutable std::mutex mutex_;
    std::map<std::string, float> values_;
    std::vector<Subscription> subscriptions_;
    std::vector<std::string> writes_;
    std::thread thread_;
};

int freeUdpPort() {
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    const sockaddr_in any = loopback(0);
    ::bind(fd, reinterpret_cast<const sockaddr*>(&any), sizeof any);
    const int port = boundPort(fd);
    ::close(fd);
    return port;
}

TEST(XPlaneChain, FoundByItsBeaconItsDatarefsReachTheProbe) {
    const int beaconPort = freeUdpPort();
    FakeXPlane xplane(beaconPort);
    xplane.set("sim/flightmodel/position/latitude", 21.3187f);
    xplane.set("sim/flightmodel/position/longitude", -157.9225f);
    xplane.set("sim/flightmodel/position/elevation", 304.8f);
    xplane.set("sim/flightmodel/position/y_agl", 300.0f);
    xplane.set("sim/flightmodel/position/psi", 80.0f);
    xplane.set("sim/flightmodel/position/indicated_airspeed", 90.0f);
    xplane.set("sim/flightmodel/position/vh_ind_fpm", -500.0f);
    xplane.set("sim/cockpit/radios/com1_freq_hz", 11830.0f);
    xplane.set("sim/cockpit2/controls/gear_handle_down", 1.0f);
    xplane.set("sim/time/zulu_time_sec", 22 * 3600 + 40 * 60);
    xplane.set("sim/time/local_time_sec", 12 * 3600 + 40 * 60);
    xplane.set("sim/time/local_date_days", 324);
    xplane.set("sim/time/sim_speed", 1.0f);
    xplane.set("sim/aircraft/weight/acf_m_fuel_tot", 670.0f);  // pounds
    xplane.set("sim/aircraft/overflow/acf_tank_rat[0]", 1.0f);

    const std::string prefix = "aviolog-xp-test-" + std::to_string(getpid()) + "-";
    ChildProcess bridge(AVIOLOG_BRIDGE_PATH,
                        {"--xplane", "auto", "--xp-beacon-port", std::to_string(beaconPort),
                         "--ipc-prefix", prefix, "--status", "0"});
    ChildProcess probe(AVIOLOG_PROBE_PATH,
                       {"--count", "1", "--wait", "15", "--ipc-prefix", prefix});
    ASSERT_EQ(probe.wait(30000), 0) << probe.output() << bridge.output();
    const std::string out = probe.output();
    for (const char* expected : {"22:40Z AIR", "alt    997 ft agl   300 m hdg 080 ias  90",
                                 "vs  -500", "gear dn", "com1 118.30"}) {
        EXPECT_NE(out.find(expected), std::string::npos) << expected << "\n" << out;
    }
    EXPECT_NE(bridge.output().find("found X-Plane 120100"), std::string::npos) << bridge.output();

    platform::posix::PosixClock clock;
    platform::posix::PosixSimIpc ipc(prefix);
    simlink::SimLink link(ipc, clock);
    ASSERT_TRUE(link.open(0));
    ASSERT_TRUE(simlink::writeU16(link, wire::var::SimulationRate, 1024));
    ASSERT_TRUE(simlink::writeU16(link, wire::var::PauseControl, 1));
    // The left main tank, X-Plane's tank 0, filled: its 670 lb, in the kilograms of m_fuel.
    ASSERT_TRUE(simlink::writeU32(link, wire::kFuelTanks[5].level, wire::kTankFull));
    const auto end = std::chrono::steady_clock::now() + 5s;
    while (xplane.writes().size() < 4 && std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(20ms);
    }
    const auto writes = xplane.writes();
    ASSERT_EQ(writes.size(), 4u) << bridge.output();
    EXPECT_EQ(writes[0], "DREF sim/time/sim_speed 4.000000");
    EXPECT_EQ(writes[1], "DREF sim/time/ground_speed 1.000000") << "the whole rate is set";
    EXPECT_EQ(writes[2], "CMND sim/operation/pause_on");
    const std::string tank = "DREF sim/flightmodel/weight/m_fuel[0] ";
    ASSERT_EQ(writes[3].substr(0, tank.size()), tank);
    EXPECT_NEAR(std::stod(writes[3].substr(tank.size())), 670 / 2.20462262185, 0.01);
}

// Polls the bridge through the link until the condition holds or five seconds pass.
template <typename Read>
bool waitForValue(simlink::SimLink& link, Read read) {
    const auto end = std::chrono::steady_clock::now() + 5s;
    while (std::chrono::steady_clock::now() < end) {
        if (read(link)) return true;
        std::this_thread::sleep_for(20ms);
    }
    return false;
}

// A landing whose vertical-speed indicator lags a second behind the flight model: the
// rate at touchdown is the flight model's at the first frame with weight on the gear,
// the same whatever the indicator shows, and G is X-Plane's own.
TEST(XPlaneChain, TheRateAtTouchdownIsTheFlightModelsAtTheFirstGearForce) {
    constexpr float kFpmPerMps = 196.8503937f;
    struct Row {
        const char* name;
        float indicatorAtContactFpm;  // what the lagging indicator shows then
    };
    const Row rows[] = {{"an indicator that keeps up", -177.0f},
                        {"an indicator a second behind", -560.0f}};
    for (const Row& row : rows) {
        const int beaconPort = freeUdpPort();
        FakeXPlane xplane(beaconPort);
        xplane.setFrame({{"sim/flightmodel/position/elevation", 100.0f},
                         {"sim/flightmodel/position/y_agl", 20.0f},
                         {"sim/time/sim_speed", 1.0f},
                         {"sim/flightmodel/position/local_vy", -600.0f / kFpmPerMps},
                         {"sim/flightmodel/position/vh_ind_fpm", -600.0f},
                         {"sim/flightmodel/forces/g_nrml", 1.0f}});
        const std::string prefix = "aviolog-xp-land-" + std::to_string(getpid()) + "-";
        ChildProcess bridge(AVIOLOG_BRIDGE_PATH,
                            {"--xplane", "auto", "--xp-beacon-port", std::to_string(beaconPort),
                             "--ipc-prefix", prefix, "--status", "0"});
        platform::posix::PosixClock clock;
        platform::posix::PosixSimIpc ipc(prefix);
        simlink::SimLink link(ipc, clock);
        ASSERT_TRUE(waitForValue(link, [](simlink::SimLink& l) { return l.open(0); }))
            << row.name << bridge.output();
        auto touchdownFpm = [](simlink::SimLink& l) {
            const auto raw = simlink::readS32(l, wire::var::TouchdownVerticalSpeed);
            return raw ? simlink::convert::verticalSpeedFpm(*raw) : 0.0;
        };
        // In the air the copy follows the flight model's rate.
        ASSERT_TRUE(waitForValue(link, [&](simlink::SimLink& l) {
            return std::abs(touchdownFpm(l) + 600.0) < 1.0;
        })) << row.name;
        // The last frame in the air, then the contact.
        xplane.setFrame({{"sim/flightmodel/position/local_vy", -190.0f / kFpmPerMps},
                         {"sim/flightmodel/position/vh_ind_fpm", -600.0f}});
        ASSERT_TRUE(waitForValue(link, [&](simlink::SimLink& l) {
            return std::abs(touchdownFpm(l) + 190.0) < 1.0;
        })) << row.name;
        xplane.setFrame({{"sim/flightmodel/position/local_vy", -177.0f / kFpmPerMps},
                         {"sim/flightmodel/forces/fnrml_gear", 15000.0f},
                         {"sim/flightmodel/failures/onground_any", 1.0f},
                         {"sim/flightmodel/position/y_agl", 0.0f},
                         {"sim/flightmodel/forces/g_nrml", 1.44f},
                         {"sim/flightmodel/position/vh_ind_fpm", row.indicatorAtContactFpm}});
        ASSERT_TRUE(waitForValue(link, [](simlink::SimLink& l) {
            return simlink::readU16(l, wire::var::OnGround).value_or(0) != 0;
        })) << row.name;
        EXPECT_EQ(simlink::readS16(link, wire::var::GForce).value_or(0), 900) << row.name;
        // The wheels roll: the struts stop the sink, the indicator catches up.
        xplane.setFrame({{"sim/flightmodel/position/local_vy", 0.0f},
                         {"sim/flightmodel/forces/fnrml_gear", 60000.0f},
                         {"sim/flightmodel/forces/g_nrml", 1.0f},
                         {"sim/flightmodel/position/vh_ind_fpm", -20.0f}});
        ASSERT_TRUE(waitForValue(link, [](simlink::SimLink& l) {
            const auto vs = simlink::readS32(l, wire::var::VerticalSpeed);
            return vs && std::abs(simlink::convert::verticalSpeedFpm(*vs) + 20.0) < 1.0;
        })) << row.name;
        EXPECT_NEAR(touchdownFpm(link), -177.0, 1.0) << row.name;
        const auto g = simlink::readS16(link, wire::var::GForce);
        ASSERT_TRUE(g) << row.name;
        EXPECT_EQ(*g, 625) << row.name << ": G as X-Plane says it now";
    }
}

}  // namespace
}  // namespace aviolog::test
