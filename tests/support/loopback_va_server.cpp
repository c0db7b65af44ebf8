#include "tests/support/loopback_va_server.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>

namespace aviolog::test {
namespace {

std::string hexed(const std::string& bytes) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out;
    for (const char c : bytes) {
        out += kHex[static_cast<unsigned char>(c) >> 4];
        out += kHex[static_cast<unsigned char>(c) & 0x0f];
    }
    return out;
}

std::string unhex(const std::string& hex) {
    std::string out;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
        out += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    }
    return out;
}

// The server writes every text as a hex string, so a quoted string never holds a quote:
// the strings of a line, in order, are all a reader needs.
std::vector<std::string> quotedStrings(const std::string& line, std::size_t from = 0) {
    std::vector<std::string> strings;
    for (std::size_t open = line.find('"', from); open != std::string::npos;
         open = line.find('"', from)) {
        const std::size_t close = line.find('"', open + 1);
        if (close == std::string::npos) break;
        strings.push_back(line.substr(open + 1, close - open - 1));
        from = close + 1;
    }
    return strings;
}

// The value of "key": "..." in a line; "" when the key is missing.
std::string field(const std::string& line, const std::string& key) {
    const std::size_t at = line.find("\"" + key + "\":");
    if (at == std::string::npos) return {};
    const auto strings = quotedStrings(line, at + key.size() + 3);
    return strings.empty() ? std::string() : strings.front();
}

ReceivedRequest parseRecord(const std::string& line) {
    ReceivedRequest request;
    request.connection = field(line, "connection");
    request.status = std::atoi(field(line, "status").c_str());
    request.target = unhex(field(line, "target"));
    request.path = unhex(field(line, "path"));
    request.userAgent = unhex(field(line, "user_agent"));
    request.cacheControl = unhex(field(line, "cache_control"));
    request.pragma = unhex(field(line, "pragma"));
    const std::size_t params = line.find("\"params\":");
    if (params != std::string::npos) {
        const auto strings = quotedStrings(line, params + 9);
        for (std::size_t i = 0; i + 1 < strings.size(); i += 2) {
            request.params.emplace_back(unhex(strings[i]), unhex(strings[i + 1]));
        }
    }
    return request;
}

}  // namespace

std::string ReceivedRequest::param(const std::string& name) const {
    for (const auto& [key, value] : params) {
        if (key == name) return value;
    }
    return {};
}

LoopbackVaServer::LoopbackVaServer() {
    process_ = std::make_unique<ChildProcess>(
        "/usr/bin/python3", std::vector<std::string>{AVIOLOG_VA_SERVER_SCRIPT, "--log",
                                                     (dir_ / "requests.log").string(), "--answers",
                                                     (dir_ / "answers.txt").string()});
    // The server's first line is the port it listens on.
    port_ = std::atoi(process_->firstLine(15000).c_str());
}

std::string LoopbackVaServer::url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
}

void LoopbackVaServer::setAnswers(const std::vector<std::pair<int, std::string>>& answers) {
    std::string text = "generation " + std::to_string(++generation_) + "\n";
    for (const auto& [status, body] : answers)
        text += std::to_string(status) + " " + hexed(body) + "\n";
    if (answers.empty()) text += "200 " + hexed("OK\n") + "\n";
    // Renamed into place, so the server never reads half a file.
    dir_.write("answers.tmp", text);
    std::filesystem::rename(dir_ / "answers.tmp", dir_ / "answers.txt");
}

std::vector<ReceivedRequest> LoopbackVaServer::requests() const {
    std::vector<ReceivedRequest> requests;
    std::istringstream lines(dir_.read("requests.log"));
    std::string line;
    while (std::getline(lines, line)) requests.push_back(parseRecord(line));
    return requests;
}

int closedLoopbackPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) return 0;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    int port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), length) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
        port = ntohs(address.sin_port);
    }
    ::close(fd);
    return port;
}

}  // namespace aviolog::test
