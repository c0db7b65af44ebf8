#include "tests/support/scripted_smtp_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <random>

namespace aviolog::test {
namespace {

bool readable(int fd, int timeoutMs) {
    pollfd entry{fd, POLLIN, 0};
    return ::poll(&entry, 1, timeoutMs) > 0;
}

}  // namespace

void ServerSide::send(std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n <= 0) return;
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
}

std::optional<std::string> ServerSide::readLine(int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const auto end = pending_.find("\r\n");
        if (end != std::string::npos) {
            std::string line = pending_.substr(0, end);
            pending_.erase(0, end + 2);
            lines.push_back(line);
            return line;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        if (left <= 0 || !readable(fd_, static_cast<int>(left))) return std::nullopt;
        char buffer[4096];
        const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
        if (n <= 0) return std::nullopt;
        pending_.append(buffer, static_cast<std::size_t>(n));
    }
}

bool ServerSide::quietFor(int ms) {
    return pending_.empty() && !readable(fd_, ms);
}

bool ServerSide::waitForClose(int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < deadline) {
        if (!readable(fd_, 50)) continue;
        char buffer[4096];
        if (::recv(fd_, buffer, sizeof buffer, 0) <= 0) return true;
    }
    return false;
}

ScriptedSmtpServer::ScriptedSmtpServer(Script script) {
    listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    // The mailer takes ports 1 to 32000 only, below the system's ephemeral range.
    std::mt19937 random(std::random_device{}());
    for (int attempt = 0; attempt < 200 && port_ == 0; ++attempt) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        const int port = 20000 + static_cast<int>(random() % 12001);
        address.sin_port = htons(static_cast<std::uint16_t>(port));
        if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0)
            port_ = port;
    }
    if (port_ == 0 || ::listen(listenFd_, 4) != 0) {
        port_ = 0;
        return;
    }
    thread_ = std::thread([this, script = std::move(script)] {
        if (!readable(listenFd_, 10000)) return;
        const int fd = ::accept(listenFd_, nullptr, nullptr);
        if (fd < 0) return;
        ServerSide side(fd);
        script(side);
        lines_ = side.lines;
        ::close(fd);
    });
}

ScriptedSmtpServer::~ScriptedSmtpServer() {
    join();
    if (listenFd_ >= 0) ::close(listenFd_);
}

const std::vector<std::string>& ScriptedSmtpServer::join() {
    if (thread_.joinable()) thread_.join();
    return lines_;
}

void answerFromTable(ServerSide& side, const std::string& greeting,
                     const std::vector<std::pair<std::string, std::string>>& replies) {
    auto reply = [&](const std::string& line) {
        for (const auto& [prefix, answer] : replies) {
            if (line.rfind(prefix, 0) == 0) return answer;
        }
        return std::string("500 unknown\r\n");
    };
    side.send(greeting);
    bool inData = false;
    while (const auto line = side.readLine()) {
        if (inData) {
            if (*line == ".") {
                inData = false;
                side.send(reply("."));
            }
            continue;
        }
        const std::string answer = reply(*line);
        side.send(answer);
        if (line->rfind("DATA", 0) == 0 && answer.rfind("354", 0) == 0) inData = true;
        if (line->rfind("QUIT", 0) == 0) return;
    }
}

}  // namespace aviolog::test
