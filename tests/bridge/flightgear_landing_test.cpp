// The real FlightGear (Debian's flightgear), started headless by the test: a c172p on a
// short final to Honolulu's runway 08L, flown to a touchdown through FlightGear's property
// interface, served by aviolog-bridge and recorded by aviolog-fly --live. The log must
// show the landing, with the touchdown rate FlightGear itself had at contact. Skipped
// where FlightGear is not installed.

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "bridge/flightgear_protocol.h"
#include "common/text_file.h"
#include "tests/bridge/fake_flightgear.h"
#include "tests/support/child_process.h"
#include "tests/support/sim_fixture.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wait.h"

namespace aviolog::test {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;
namespace fg = bridge::fg;
using Clock = std::chrono::steady_clock;

std::optional<fs::path> findProgram(const std::string& name) {
    std::vector<std::string> dirs;
    const char* path = std::getenv("PATH");
    for (std::string rest = path ? path : ""; !rest.empty();) {
        const std::size_t colon = rest.find(':');
        dirs.push_back(rest.substr(0, colon));
        rest = colon == std::string::npos ? "" : rest.substr(colon + 1);
    }
    dirs.push_back("/usr/games");  // where Debian puts fgfs
    for (const std::string& dir : dirs) {
        const fs::path candidate = fs::path(dir) / name;
        if (::access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    return std::nullopt;
}

std::optional<fs::path> flightGearRoot() {
    const char* env = std::getenv("FG_ROOT");
    const fs::path root = env ? fs::path(env) : fs::path("/usr/share/games/flightgear");
    std::error_code ec;
    if (!fs::exists(root / "Aircraft/c172p/c172p-set.xml", ec)) return std::nullopt;
    return fs::canonical(root, ec);
}

int freeTcpPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof a;
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &length);
    ::close(fd);
    return ntohs(a.sin_port);
}

// The processes under pid, deepest first, then pid itself: xvfb-run and dbus-run-session
// leave their children running when they are killed alone.
void killTree(pid_t pid) {
    std::ifstream children("/proc/" + std::to_string(pid) + "/task/" + std::to_string(pid) +
                           "/children");
    for (pid_t child; children >> child;) killTree(child);
    ::kill(pid, SIGKILL);
}

// FlightGear's property interface in data mode: pipelined gets, fire-and-forget sets.
class PropertyClient {
  public:
    explicit PropertyClient(int port) {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(static_cast<std::uint16_t>(port));
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
            ::close(fd_);
            fd_ = -1;
            return;
        }
        send("data\r\n");
    }
    ~PropertyClient() {
        if (fd_ >= 0) ::close(fd_);
    }
    PropertyClient(const PropertyClient&) = delete;
    PropertyClient& operator=(const PropertyClient&) = delete;

    bool connected() const { return fd_ >= 0; }
    void set(const std::string& property, double value) {
        char line[160];
        std::snprintf(line, sizeof line, "set %s %.5f\r\n", property.c_str(), value);
        send(line);
    }
    void set(const std::string& property, const std::string& value) {
        send("set " + property + " " + value + "\r\n");
    }
    // One value; nothing when FlightGear does not answer in time. An answer that comes
    // too late is dropped before the next question, so answers never shift.
    std::optional<double> get(const std::string& property, std::chrono::milliseconds limit) {
        receive(0);
        buffer_.clear();
        send("get " + property + "\r\n");
        const auto deadline = Clock::now() + limit;
        for (;;) {
            const std::size_t eol = buffer_.find('\n');
            if (eol != std::string::npos) {
                std::string line = buffer_.substr(0, eol);
                buffer_.erase(0, eol + 1);
                if (!line.empty() && line.back() == '\r') line.pop_back();
                return line == "true" ? 1.0 : line == "false" ? 0.0 : std::atof(line.c_str());
            }
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            if (left.count() <= 0 || !receive(static_cast<int>(left.count()))) return std::nullopt;
        }
    }

  private:
    void send(const std::string& text) {
        if (fd_ >= 0) ::send(fd_, text.data(), text.size(), MSG_NOSIGNAL);
    }
    // Waits up to waitMs for bytes; false when none came.
    bool receive(int waitMs) {
        pollfd ready{fd_, POLLIN, 0};
        if (fd_ < 0 || ::poll(&ready, 1, waitMs) <= 0) return false;
        char chunk[4096];
        const ssize_t got = ::recv(fd_, chunk, sizeof chunk, 0);
        if (got <= 0) return false;
        buffer_.append(chunk, static_cast<std::size_t>(got));
        return true;
    }
    int fd_ = -1;
    std::string buffer_;
};

// FlightGear's generic output to the test, in the shipped protocol: the state the pilot
// flies by, and FlightGear's own vertical speed at the moment its wheels touch.
class ContactWatch {
  public:
    ContactWatch() {
        fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof a;
        ::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &length);
        port_ = ntohs(a.sin_port);
    }
    ~ContactWatch() { ::close(fd_); }
    ContactWatch(const ContactWatch&) = delete;
    ContactWatch& operator=(const ContactWatch&) = delete;

    int port() const { return port_; }
    // Reads what has arrived; true once a packet came with the aircraft in place.
    bool drain() {
        char buffer[fg::kMaxLineBytes + 1];
        for (;;) {
            const ssize_t got = ::recv(fd_, buffer, sizeof buffer, 0);
            if (got <= 0) break;
            const auto sample =
                fg::parsePacket(std::string_view(buffer, static_cast<std::size_t>(got)));
            if (!sample) continue;
            ++packets_;
            latest_ = *sample;
            const auto& v = sample->values;
            if (v[fg::kAltitude] > -9000.0) placed_ = true;
            const bool onGround = v[fg::kWow0] != 0.0 || v[fg::kWow1] != 0.0 || v[fg::kWow2] != 0.0;
            if (!onGround) {
                lastAirborneFpm_ = v[fg::kVerticalSpeed] * 60.0;
                airborneSeen_ = true;
            } else if (airborneSeen_ && !contactFpm_) {
                contactFpm_ = lastAirborneFpm_;
            }
        }
        return placed_;
    }
    std::optional<double> contactFpm() const { return contactFpm_; }
    const std::optional<fg::Sample>& latest() const { return latest_; }
    int packets() const { return packets_; }

  private:
    int fd_ = -1;
    int port_ = 0;
    int packets_ = 0;
    bool placed_ = false;
    bool airborneSeen_ = false;
    double lastAirborneFpm_ = 0.0;
    std::optional<double> contactFpm_;
    std::optional<fg::Sample> latest_;
};

double clamp(double v, double limit) {
    return std::max(-limit, std::min(limit, v));
}

// Flies the c172p down a steady path to a point 1000 ft past the threshold: the elevator
// holds the vertical speed the path asks for, the throttle 65 kt, the ailerons the line
// the aircraft started on; below 25 ft the descent eases to 200 ft/min, the throttle
// closes, and the elevator pushes no further than it did when that began.
class ApproachPilot {
  public:
    static constexpr double kStartHeightFt = 1437.0;
    static constexpr double kFinalNm = 2.5;

    explicit ApproachPilot(PropertyClient& props) : props_(props) {}

    // One step of about 100 ms, from FlightGear's latest packet and its bank angle.
    void step(const fg::Sample& sample, double roll, double dtSec) {
        const auto& v = sample.values;
        const double lat = v[fg::kLatitude], lon = v[fg::kLongitude], heading = v[fg::kHeading];
        const double agl = v[fg::kAltitude] - v[fg::kGroundElevation];
        const double ias = v[fg::kIndicatedAirspeed], vsFps = v[fg::kVerticalSpeed];
        const bool wow = v[fg::kWow0] != 0.0 || v[fg::kWow1] != 0.0 || v[fg::kWow2] != 0.0;
        if (!started_) {
            lat0_ = lat;
            lon0_ = lon;
            track_ = heading;
            started_ = true;
        }
        const double vs = vsFps * 60.0;
        const double t = track_ * M_PI / 180.0;
        const double northFt = (lat - lat0_) * 364000.0;
        const double eastFt = (lon - lon0_) * 364000.0 * std::cos(lat0_ * M_PI / 180.0);
        const double crossFt = eastFt * std::cos(t) - northFt * std::sin(t);
        const double alongFt = eastFt * std::sin(t) + northFt * std::cos(t);

        if (wow && !touchedAt_) touchedAt_ = Clock::now();
        if (touchedAt_) {
            // On the runway: power off, the nose held up a moment, then the brakes.
            const double sinceSec =
                std::chrono::duration<double>(Clock::now() - *touchedAt_).count();
            props_.set("/controls/engines/current-engine/throttle", 0.0);
            props_.set("/controls/flight/aileron", 0.0);
            props_.set("/controls/flight/elevator", sinceSec < 4.0 ? -0.1 : 0.0);
            if (sinceSec > 3.0) {
                props_.set("/controls/gear/brake-left", 1.0);
                props_.set("/controls/gear/brake-right", 1.0);
            }
            return;
        }

        const double wantedHeading = track_ - clamp(crossFt * 0.05, 20.0);
        const double headingError = std::remainder(wantedHeading - heading, 360.0);
        const double aileron = clamp(0.03 * (clamp(1.0 * headingError, 10.0) - roll), 0.4);

        const double aimFt = kFinalNm * 6076.0 + 1000.0;
        const double slope = kStartHeightFt / aimFt;
        const double pathFt = std::max(0.0, (aimFt - alongFt) * slope);
        const bool flare = agl < 25.0;
        double wantedFpm =
            std::max(-900.0, std::min(-200.0, -65.0 * 101.3 * slope + 4.0 * (pathFt - agl)));
        if (flare) wantedFpm = -200.0;
        const double vsError = (vs - wantedFpm) / 1000.0;
        elevatorIntegral_ = clamp(elevatorIntegral_ + 0.06 * vsError * dtSec, 0.3);
        double elevator = clamp(0.12 * vsError + elevatorIntegral_, 0.6);
        if (flare) {
            if (!flareElevator_) flareElevator_ = elevator;
            elevator = std::min(elevator, *flareElevator_);
        }
        throttleIntegral_ = clamp(throttleIntegral_ + 0.01 * (65.0 - ias) * dtSec, 0.3);
        double throttle =
            std::max(0.0, std::min(1.0, 0.35 + 0.04 * (65.0 - ias) + throttleIntegral_));
        if (agl < 12.0) throttle = 0.0;
        props_.set("/controls/flight/aileron", aileron);
        props_.set("/controls/flight/elevator", elevator);
        props_.set("/controls/engines/current-engine/throttle", throttle);
        lowestAglFt_ = std::min(lowestAglFt_, agl);
        lastIasKt_ = ias;
    }

    bool touchedDown() const { return touchedAt_.has_value(); }
    double lowestAglFt() const { return lowestAglFt_; }
    double lastIasKt() const { return lastIasKt_; }

  private:
    PropertyClient& props_;
    bool started_ = false;
    double lat0_ = 0.0, lon0_ = 0.0, track_ = 0.0;
    double elevatorIntegral_ = 0.0, throttleIntegral_ = 0.0;
    std::optional<double> flareElevator_;
    std::optional<Clock::time_point> touchedAt_;
    double lowestAglFt_ = 1e9;
    double lastIasKt_ = 0.0;
};

TEST(FlightGearLanding, TheLogShowsFlightGearsOwnTouchdownRate) {
    const auto fgfs = findProgram("fgfs");
    const auto xvfbRun = findProgram("xvfb-run");
    const auto dbusRun = findProgram("dbus-run-session");
    const auto root = flightGearRoot();
    if (!fgfs || !xvfbRun || !dbusRun || !root) {
        GTEST_SKIP() << "needs FlightGear with the c172p (fgfs, $FG_ROOT or "
                        "/usr/share/games/flightgear), xvfb-run and dbus-run-session";
    }
    const auto wallStart = Clock::now();
    // FlightGear reads NAME.xml from its own Protocol folder; a path back out of it
    // reaches the shipped file without installing it.
    const fs::path protocol = fs::relative(
        fs::canonical(dataPath("flightgear/aviolog.xml")).replace_extension(), *root / "Protocol");
    // Kept between runs: FlightGear builds its navigation cache there the first time.
    fs::create_directories(AVIOLOG_FLIGHTGEAR_HOME);
    ::setenv("FG_HOME", AVIOLOG_FLIGHTGEAR_HOME, 1);
    ::setenv("LIBGL_ALWAYS_SOFTWARE", "1", 1);

    const int bridgePort = freeUdpPort();
    const int propsPort = freeTcpPort();
    ContactWatch watch;
    const auto generic = [&](int port) {
        return "--generic=socket,out,20,127.0.0.1," + std::to_string(port) + ",udp," +
               protocol.string();
    };
    ChildProcess flightGear(xvfbRun->string(),
                            {"-a",
                             "-s",
                             "-screen 0 640x480x24",
                             dbusRun->string(),
                             "--",
                             fgfs->string(),
                             "--fg-root=" + root->string(),
                             "--aircraft=c172p",
                             "--airport=PHNL",
                             "--runway=08L",
                             "--offset-distance=2.5",
                             "--altitude=1450",
                             "--vc=65",
                             "--enable-freeze",
                             "--disable-sound",
                             "--disable-real-weather-fetch",
                             "--wind=0@0",
                             "--max-fps=30",
                             "--prop:/sim/rendering/draw-mask/terrain=false",
                             "--prop:/sim/rendering/draw-mask/models=false",
                             "--prop:/sim/rendering/draw-mask/aircraft=false",
                             "--prop:/sim/rendering/draw-mask/clouds=false",
                             generic(bridgePort),
                             generic(watch.port()),
                             "--props=socket,bi,40,," + std::to_string(propsPort) + ",tcp"});
    ASSERT_TRUE(flightGear.started());
    struct Reaper {
        pid_t pid;
        ~Reaper() { killTree(pid); }
    } reaper{flightGear.pid()};

    // Ready: the aircraft placed, and its flight model running (frozen until we fly).
    ASSERT_TRUE(waitFor([&] { return watch.drain(); }, 300s))
        << "FlightGear sent no placed aircraft\n"
        << flightGear.output().substr(0, 4000);
    PropertyClient props(propsPort);
    ASSERT_TRUE(props.connected());
    ASSERT_TRUE(waitFor(
        [&] {
            const auto v = props.get("/sim/fdm-initialized", 1000ms);
            return v && *v != 0.0;
        },
        60s));
    const double readySec = std::chrono::duration<double>(Clock::now() - wallStart).count();

    TempDir dir;
    dir.write("aviolog.ori", readFileBytes(dataPath("aviolog.ori")).value_or(""));
    const std::string prefix = "aviolog-flightgear-" + std::to_string(getpid()) + "-";
    ChildProcess bridge(AVIOLOG_BRIDGE_PATH,
                        {"--fg-port", std::to_string(bridgePort), "--fg-props",
                         "127.0.0.1:" + std::to_string(propsPort), "--flap-detents", "3",
                         "--ipc-prefix", prefix, "--status", "0"});
    ChildProcess fly(AVIOLOG_FLY_PATH,
                     {"--live", "--ipc-prefix", prefix, "--dir", dir.path().string(), "--from",
                      "PHNL", "--to", "PHNL", "--aircraft", "C172", "--limit", "30"});
    ASSERT_TRUE(bridge.started() && fly.started());
    ASSERT_TRUE(waitFor([&] { return fly.output().find("Start  [") != std::string::npos; }, 60s))
        << fly.output() << bridge.output();

    props.set("/sim/freeze/master", "false");
    props.set("/sim/freeze/clock", "false");
    props.set("/controls/flight/flaps", 1.0);
    ApproachPilot pilot(props);
    auto last = Clock::now();
    bool resetAges = false;
    double roll = 0.0;
    const auto flyUntil = [&](const std::function<bool()>& done, std::chrono::seconds limit) {
        const auto end = Clock::now() + limit;
        while (!done() && Clock::now() < end) {
            std::this_thread::sleep_for(100ms);
            watch.drain();
            roll = props.get("/orientation/roll-deg", 300ms).value_or(roll);
            const auto now = Clock::now();
            pilot.step(*watch.latest(), roll, std::chrono::duration<double>(now - last).count());
            last = now;
            if (!resetAges && pilot.lowestAglFt() < 300.0) {
                bridge.writeLine("reset");  // the data ages from the last 300 ft down
                resetAges = true;
            }
        }
        return done();
    };
    ASSERT_TRUE(flyUntil([&] { return pilot.touchedDown(); }, 240s))
        << "no touchdown; lowest " << pilot.lowestAglFt() << " ft above the ground\n"
        << fly.output();
    bridge.writeLine("status");
    // The recorder logs the landing after fifteen seconds on the ground.
    flyUntil([&] { return fly.output().find("  Land\n") != std::string::npos; }, 60s);
    fly.signal(SIGINT);  // Ctrl-C stops the log as "Stop LOG" does
    EXPECT_EQ(fly.wait(30000), 0) << fly.output();
    const std::string out = fly.output();

    ASSERT_TRUE(watch.contactFpm()) << "FlightGear's own output showed no contact";
    EXPECT_NE(out.find("  Land\n"), std::string::npos) << out;
    const std::size_t rateAt = out.find("TouchDown:Rate ");
    ASSERT_NE(rateAt, std::string::npos) << out;
    const int rateFpm = std::atoi(out.c_str() + rateAt + 15);
    // The bridge keeps the last packet in the air before the wheels' contact and serves it
    // as the rate at touchdown; the test's own output is written in the same FlightGear
    // frames, so the two agree but for the served variable's units and the truncation.
    EXPECT_NEAR(rateFpm, *watch.contactFpm(), 2.0) << out;

    const std::string bridgeOut = bridge.output();
    const std::size_t status = bridgeOut.rfind("packets ");
    std::printf(
        "[flightgear] ready after %.0f s, whole run %.0f s; touchdown logged %d ft/min, "
        "FlightGear's own %.1f ft/min; %d packets to the test; bridge over the last 300 "
        "ft: %s",
        readySec, std::chrono::duration<double>(Clock::now() - wallStart).count(), rateFpm,
        *watch.contactFpm(), watch.packets(),
        status == std::string::npos ? "no status\n" : bridgeOut.c_str() + status);
}

}  // namespace
}  // namespace aviolog::test
