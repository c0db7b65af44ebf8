#include "tests/support/child_process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

extern char** environ;

namespace aviolog::test {

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& args) {
    char pathTemplate[] = "/tmp/aviolog-child-XXXXXX";
    const int outFd = mkstemp(pathTemplate);
    if (outFd < 0) return;
    outputPath_ = pathTemplate;
    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0) {
        close(outFd);
        return;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, outFd, STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, outFd, STDERR_FILENO);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    if (posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), environ) != 0) {
        pid_ = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFds[0]);
    close(outFd);
    stdinFd_ = pipeFds[1];
}

ChildProcess::~ChildProcess() {
    if (pid_ > 0 && !reaped_) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    if (stdinFd_ >= 0) close(stdinFd_);
    if (!outputPath_.empty()) unlink(outputPath_.c_str());
}

void ChildProcess::writeLine(const std::string& line) {
    write(line + "\n");
}

void ChildProcess::write(const std::string& bytes) {
    if (stdinFd_ >= 0) {
        [[maybe_unused]] const ssize_t n = ::write(stdinFd_, bytes.data(), bytes.size());
    }
}

void ChildProcess::closeInput() {
    if (stdinFd_ >= 0) close(stdinFd_);
    stdinFd_ = -1;
}

void ChildProcess::signal(int sig) {
    if (pid_ > 0 && !reaped_) kill(pid_, sig);
}

int ChildProcess::wait(int timeoutMs) {
    if (pid_ <= 0) return -1;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        int status = 0;
        const pid_t got = waitpid(pid_, &status, WNOHANG);
        if (got == pid_) {
            reaped_ = true;
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        if (std::chrono::steady_clock::now() >= deadline) return -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

std::string ChildProcess::output() const {
    std::ifstream in(outputPath_);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string ChildProcess::firstLine(int timeoutMs) const {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (started()) {
        const std::string text = output();
        if (const auto end = text.find('\n'); end != std::string::npos) return text.substr(0, end);
        if (std::chrono::steady_clock::now() >= deadline) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return {};
}

}  // namespace aviolog::test
