#include "tests/wine/wine_rig.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <mutex>

#include "tests/support/wait.h"

namespace aviolog::test {

namespace {

std::string onPath(const std::string& program) {
    const char* path = std::getenv("PATH");
    std::string dirs = path != nullptr ? path : "/usr/bin:/bin";
    std::size_t at = 0;
    while (at <= dirs.size()) {
        const std::size_t end = std::min(dirs.find(':', at), dirs.size());
        const std::string candidate = dirs.substr(at, end - at) + "/" + program;
        if (::access(candidate.c_str(), X_OK) == 0) return candidate;
        at = end + 1;
    }
    return {};
}

std::string winePath() {
    return onPath("wine");
}

// Runs wine with the arguments to its end; false when it fails or outlasts the limit.
bool runWine(const std::vector<std::string>& args, int timeoutMs) {
    ChildProcess wine(winePath(), args);
    return wine.started() && wine.wait(timeoutMs) == 0;
}

// A first start of a prefix builds it (wineboot, some seconds); the windows then need
// Wine's display-less driver, as on a machine with no X server. Several test programs may
// share the prefix: a lock file keeps them from building it at once.
std::string preparePrefix() {
    const std::string prefix = AVIOLOG_WINE_PREFIX;
    ::setenv("WINEPREFIX", prefix.c_str(), 1);
    ::setenv("WINEDEBUG", "-all", 1);
    ::setenv("WINEDLLOVERRIDES", "mscoree,mshtml=", 1);  // no Mono or Gecko installers
    std::filesystem::create_directories(std::filesystem::path(prefix).parent_path());
    const int lock = ::open((prefix + ".lock").c_str(), O_CREAT | O_RDWR | O_CLOEXEC, 0600);
    if (lock < 0 || ::flock(lock, LOCK_EX) != 0) return "cannot lock the Wine prefix " + prefix;
    std::string why;
    const std::string ready = prefix + "/aviolog-ready";
    if (!std::filesystem::exists(ready)) {
        if (!runWine({"wineboot", "-i"}, 180000)) {
            why = "wineboot could not set up the prefix " + prefix;
        } else if (!runWine({"reg", "add", "HKCU\\Software\\Wine\\Drivers", "/v", "Graphics", "/d",
                             "null", "/f"},
                            60000)) {
            why = "cannot choose Wine's null display driver in " + prefix;
        } else {
            // The driver is read when the prefix's server starts: let this one end first.
            ChildProcess server(onPath("wineserver"), {"-w"});
            server.wait(60000);
            ::close(::open(ready.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0600));
        }
    }
    ::close(lock);
    return why;
}

}  // namespace

std::string windowsProgram(const std::string& relative) {
    return std::string(AVIOLOG_WIN64_DIR) + "/" + relative;
}

std::string wineUnavailable() {
    static std::once_flag once;
    static std::string why;
    std::call_once(once, [] {
        if (winePath().empty()) {
            why = "Wine is not installed (Debian's wine; scripts/setup.sh installs it)";
            return;
        }
        for (const char* program :
             {"sim/aviolog-sim.exe", "bridge/aviolog-fsuipc-relay.exe", "tools/aviolog-probe.exe",
              "tests/wine/aviolog-link-check.exe"}) {
            if (!std::filesystem::exists(windowsProgram(program))) {
                why = windowsProgram(program) +
                      " is missing: build the win64 preset (scripts/setup.sh win64)";
                return;
            }
        }
        why = preparePrefix();
    });
    return why;
}

std::unique_ptr<ChildProcess> startUnderWine(const std::string& relative,
                                             const std::vector<std::string>& args) {
    std::vector<std::string> all{windowsProgram(relative)};
    all.insert(all.end(), args.begin(), args.end());
    return std::make_unique<ChildProcess>(winePath(), all);
}

bool waitForOutput(const ChildProcess& program, const std::string& text, int timeoutMs,
                   std::size_t from) {
    return waitFor([&] { return program.output().find(text, from) != std::string::npos; },
                   std::chrono::milliseconds(timeoutMs));
}

std::string LineDriver::ask(const std::string& line, int timeoutMs) {
    program_.writeLine(line);
    std::string answer;
    waitFor(
        [&] {
            const std::string out = program_.output();
            const std::size_t end = out.find('\n', answered_);
            if (end == std::string::npos) return false;
            answer = out.substr(answered_, end - answered_);
            // A Windows program's text-mode output ends its lines with CR LF.
            if (!answer.empty() && answer.back() == '\r') answer.pop_back();
            answered_ = end + 1;
            return true;
        },
        std::chrono::milliseconds(timeoutMs));
    return answer;
}

int freeLoopbackPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    int port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
        port = ntohs(address.sin_port);
    }
    ::close(fd);
    return port;
}

}  // namespace aviolog::test
