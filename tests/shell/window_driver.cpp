#include "tests/shell/window_driver.h"

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <sstream>
#include <thread>

#include "common/text_file.h"

namespace aviolog::test {
namespace {

constexpr const char* kReport = "aviolog-window.txt";

void sleepMs(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

std::string quotedForShell(const std::string& text) {
    std::string q = "'";
    for (char c : text) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

// Whether the process has its SIGUSR2 handler yet: before that the signal would end it.
bool catchesReportSignal(pid_t pid) {
    const auto status = readFileBytes("/proc/" + std::to_string(pid) + "/status");
    if (!status) return false;
    const std::size_t at = status->find("SigCgt:");
    if (at == std::string::npos) return false;
    const unsigned long long caught = std::strtoull(status->c_str() + at + 7, nullptr, 16);
    return (caught >> (SIGUSR2 - 1)) & 1ULL;
}

}  // namespace

std::filesystem::path artefactDir() {
    const std::filesystem::path dir = AVIOLOG_GUI_ARTEFACTS;
    std::filesystem::create_directories(dir);
    return dir;
}

WindowDriver::WindowDriver(const std::filesystem::path& workDir) : workDir_(workDir) {
    std::filesystem::create_directories(workDir / "home");
    // The program's ".\" is the folder it starts in; its single-instance lock lives in HOME.
    const std::string command = "cd " + quotedForShell(workDir.string()) +
                                " && HOME=" + quotedForShell((workDir / "home").string()) +
                                " exec " + quotedForShell(AVIOLOG_PATH);
    process_ = std::make_unique<ChildProcess>("/bin/sh", std::vector<std::string>{"-c", command});
}

std::string WindowDriver::report() {
    const std::filesystem::path path = workDir_ / kReport;
    std::error_code ignored;
    std::filesystem::remove(path, ignored);
    for (int waited = 0; !catchesReportSignal(process_->pid()); waited += 20) {
        if (waited > 10000) return "";
        sleepMs(20);
    }
    process_->signal(SIGUSR2);
    for (int waited = 0; waited < 3000; waited += 20) {
        if (const auto text = readFileBytes(path)) return *text;
        sleepMs(20);
    }
    return "";
}

bool WindowDriver::waitFor(const std::string& text, int timeoutMs) {
    // A deadline on the clock: a report that is slow to come must not stretch the wait.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    do {
        if (report().find(text) != std::string::npos) return true;
        sleepMs(200);
    } while (std::chrono::steady_clock::now() < deadline);
    return false;
}

std::string WindowDriver::line(const std::string& text) {
    std::istringstream lines(report());
    for (std::string l; std::getline(lines, l);) {
        if (l.find(text) != std::string::npos) return l;
    }
    return "";
}

bool WindowDriver::click(const std::string& text, int timeoutMs) {
    if (!waitFor(text, timeoutMs)) return false;
    const std::string l = line(text);
    const std::size_t at = l.rfind(" at ");
    int x = -1;
    int y = -1;
    if (at == std::string::npos || std::sscanf(l.c_str() + at, " at %d %d", &x, &y) != 2 || x < 0) {
        return false;
    }
    const std::string command =
        "xdotool mousemove " + std::to_string(x) + " " + std::to_string(y) + " click 1";
    const bool clicked = std::system(command.c_str()) == 0;
    sleepMs(300);
    return clicked;
}

void WindowDriver::key(const std::string& keys) {
    [[maybe_unused]] const int result = std::system(("xdotool key " + keys).c_str());
    sleepMs(300);
}

bool WindowDriver::choose(const std::string& openKey, const std::string& menuLabel,
                          const std::string& itemKey) {
    for (int attempt = 0; attempt < 3; ++attempt) {
        key(openKey);
        if (!waitFor("menuopen \"" + menuLabel + "\"", 5000)) {
            key("Escape");
            continue;
        }
        key(itemKey);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (std::chrono::steady_clock::now() < deadline) {
            const std::string now = report();
            if (!now.empty() && now.find("menuopen ") == std::string::npos) return true;
            sleepMs(200);
        }
        key("Escape");
    }
    return false;
}

void WindowDriver::moveTo(int x, int y) {
    const std::string command = "xdotool mousemove " + std::to_string(x) + " " + std::to_string(y);
    [[maybe_unused]] const int result = std::system(command.c_str());
}

void WindowDriver::type(const std::string& text) {
    xdotool("type --delay 20 " + quotedForShell(text));
    sleepMs(200);
}

bool WindowDriver::xdotool(const std::string& arguments) {
    return std::system(("xdotool " + arguments).c_str()) == 0;
}

std::filesystem::path WindowDriver::screenshot(const std::string& name) {
    const std::filesystem::path file = artefactDir() / (name + ".png");
    const std::string command = "import -window root " + quotedForShell(file.string());
    [[maybe_unused]] const int result = std::system(command.c_str());
    return file;
}

}  // namespace aviolog::test
