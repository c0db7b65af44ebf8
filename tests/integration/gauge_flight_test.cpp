// A flight flown by aviolog-fly with UseGauge on, live against aviolog-sim, while a
// running aviolog-gauge (headless) shows it: the log reaches page 2, LSK3 and an airport
// code give the METAR page, and RSK1 and a word add a free-text line to the log.

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>

#include "common/text_file.h"
#include "tests/support/child_process.h"
#include "tests/support/sim_fixture.h"
#include "tests/support/temp_dir.h"

namespace aviolog::test {
namespace {

int freePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(fd);
    return ntohs(address.sin_port);
}

// The rows the terminal prints last, after asking for them until the test is satisfied.
bool rowsUntil(ChildProcess& gauge, const std::function<bool(const std::string&)>& done,
               int timeoutMs) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < until) {
        gauge.writeLine("rows");
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        const std::string out = gauge.output();
        const std::size_t last = out.rfind("row 1|");
        if (last != std::string::npos && done(out.substr(last))) return true;
    }
    return false;
}

TEST(GaugeFlight, TheLogOnPage2WeatherAndAFreeTextFromTheTerminal) {
    const std::string prefix = "aviolog-test-gauge-" + std::to_string(getpid()) + "-";
    const std::string scenario = dataPath("scenarios/touch-and-bounce.scn");
    const std::string speed = "10";
    const std::string port = std::to_string(freePort());
    const std::string metar = "LPPR 202230Z 33008KT CAVOK 12/08 Q1021";
    TempDir dir;
    dir.write("aviolog.ori", readFileBytes(dataPath("aviolog.ori")).value_or(""));
    dir.write("aviolog.ini", "[Aviolog]\r\nUseGauge=1\r\nProvider=NOAA\r\n");
    dir.write("aviologgauge.ini", "[TCPIP]\r\nPort=" + port + "\r\n");

    ChildProcess gauge(AVIOLOG_GAUGE_PATH,
                       {"--headless", "--settings", (dir / "aviologgauge.ini").string()});
    ASSERT_TRUE(gauge.started());
    ChildProcess sim(AVIOLOG_SIM_PATH, {"--scenario", scenario, "--speed", speed, "--status", "0",
                                        "--ipc-prefix", prefix, "--exit-when-parked"});
    ASSERT_TRUE(sim.started());
    ChildProcess fly(AVIOLOG_FLY_PATH,
                     {"--live", "--speed", speed, "--ipc-prefix", prefix, "--dir",
                      dir.path().string(), "--scenario", scenario, "--gauge-port", port, "--metar",
                      "LPPR=" + metar, "--limit", "30", "--calls"});
    ASSERT_TRUE(fly.started());

    ASSERT_TRUE(rowsUntil(
        gauge,
        [](const std::string& rows) { return rows.find("|Show ACARS ") != std::string::npos; },
        20000))
        << gauge.output();
    gauge.writeLine("press LSK2");
    ASSERT_TRUE(rowsUntil(
        gauge, [](const std::string& rows) { return rows.starts_with("row 1|22:40  "); }, 5000))
        << gauge.output();

    gauge.writeLine("press SHIFT");
    gauge.writeLine("press LSK3");
    ASSERT_TRUE(rowsUntil(
        gauge, [](const std::string& rows) { return rows.starts_with("row 1|Input METAR ICAO"); },
        5000))
        << gauge.output();
    gauge.writeLine("type LPPR");
    gauge.writeLine("key ENTER");
    ASSERT_TRUE(rowsUntil(
        gauge,
        [&](const std::string& rows) {
            return rows.find("row 1|METAR ") != std::string::npos &&
                   rows.find("row 2|" + metar) != std::string::npos;
        },
        5000))
        << gauge.output();

    gauge.writeLine("press SHIFT");
    gauge.writeLine("press RSK1");
    ASSERT_TRUE(rowsUntil(
        gauge,
        [](const std::string& rows) { return rows.starts_with("row 1|Input the free text"); },
        5000))
        << gauge.output();
    gauge.writeLine("type ON FINAL");
    gauge.writeLine("key ENTER");
    ASSERT_TRUE(rowsUntil(
        gauge, [](const std::string& rows) { return rows.starts_with("row 1|Show ACARS"); }, 5000))
        << gauge.output();

    EXPECT_EQ(fly.wait(120000), 0) << fly.output();
    const std::string out = fly.output();
    EXPECT_NE(out.find("  ON FINAL\n"), std::string::npos) << out;
    EXPECT_NE(out.find("NOAA:" + metar), std::string::npos) << out;
    // The comment went out as a free-text ACARS message, label QD with its own block id.
    const std::size_t comment = out.find(" | ON FINAL\n");
    ASSERT_NE(comment, std::string::npos) << out;
    const std::size_t lineStart = out.rfind('\n', comment) + 1;
    EXPECT_TRUE(out.compare(lineStart, 21, "acars QD Block id: 01") == 0)
        << out.substr(lineStart, 80);
    gauge.writeLine("quit");
    EXPECT_EQ(gauge.wait(5000), 0);
}

}  // namespace
}  // namespace aviolog::test
