#include "tests/bridge/fake_flightgear.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>

namespace aviolog::test {

namespace {

std::string between(const std::string& text, const std::string& open, const std::string& close,
                    std::size_t from) {
    const std::size_t a = text.find(open, from);
    if (a == std::string::npos) return {};
    const std::size_t b = text.find(close, a);
    return text.substr(a + open.size(), b - a - open.size());
}

sockaddr_in loopback(int port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<std::uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return a;
}

}  // namespace

int freeUdpPort() {
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in a = loopback(0);
    socklen_t length = sizeof a;
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &length);
    ::close(fd);
    return ntohs(a.sin_port);
}

FakeFlightGear::FakeFlightGear(const std::string& protocolFile) {
    std::ifstream in(protocolFile);
    std::stringstream ss;
    ss << in.rdbuf();
    const std::string xml = ss.str();
    for (std::size_t at = xml.find("<chunk>"); at != std::string::npos;
         at = xml.find("<chunk>", at + 1)) {
        chunks_.push_back({between(xml, "<node>", "</node>", at),
                           between(xml, "<type>", "</type>", at),
                           between(xml, "<format>", "</format>", at)});
    }
}

FakeFlightGear::~FakeFlightGear() {
    stop_ = true;
    if (sender_.joinable()) sender_.join();
    if (props_.joinable()) props_.join();
    if (udpFd_ >= 0) ::close(udpFd_);
    if (listenFd_ >= 0) ::close(listenFd_);
}

bool FakeFlightGear::start(int udpPort, double rateHz) {
    udpPort_ = udpPort;
    udpFd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in any = loopback(0);
    socklen_t length = sizeof any;
    if (udpFd_ < 0 || listenFd_ < 0 ||
        ::bind(listenFd_, reinterpret_cast<sockaddr*>(&any), sizeof any) != 0 ||
        ::listen(listenFd_, 4) != 0 ||
        ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&any), &length) != 0) {
        return false;
    }
    propsPort_ = ntohs(any.sin_port);
    sender_ = std::thread([this, rateHz] { sendLoop(rateHz); });
    props_ = std::thread([this] { propsLoop(); });
    return true;
}

void FakeFlightGear::set(const std::string& property, double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%.10g", value);
    std::lock_guard lock(mutex_);
    tree_[property] = text;
}

void FakeFlightGear::setText(const std::string& property, const std::string& value) {
    std::lock_guard lock(mutex_);
    tree_[property] = value;
}

double FakeFlightGear::get(const std::string& property) const {
    std::lock_guard lock(mutex_);
    const auto it = tree_.find(property);
    if (it == tree_.end()) return 0.0;
    if (it->second == "true") return 1.0;
    return std::atof(it->second.c_str());
}

void FakeFlightGear::setStepper(std::function<void(FakeFlightGear&, double)> stepper) {
    std::lock_guard lock(mutex_);
    stepper_ = std::move(stepper);
}

std::vector<std::string> FakeFlightGear::propsLines() const {
    std::lock_guard lock(mutex_);
    return propsLines_;
}

// One line as FlightGear's generic output writes it: each chunk's property with the
// chunk's format, a missing property as FlightGear's default of zero or "".
std::string FakeFlightGear::packet() const {
    std::lock_guard lock(mutex_);
    std::string line;
    for (std::size_t i = 0; i < chunks_.size(); ++i) {
        const Chunk& c = chunks_[i];
        const auto it = tree_.find(c.node);
        const std::string value = it == tree_.end() ? "" : it->second;
        char text[256];
        if (c.type == "string") {
            std::snprintf(text, sizeof text, c.format.c_str(), value.c_str());
        } else if (c.type == "int" || c.type == "bool") {
            const int v = value == "true" ? 1 : static_cast<int>(std::atof(value.c_str()));
            std::snprintf(text, sizeof text, c.format.c_str(), v);
        } else {
            std::snprintf(text, sizeof text, c.format.c_str(), std::atof(value.c_str()));
        }
        if (i > 0) line += ',';
        line += text;
    }
    return line + "\n";
}

void FakeFlightGear::sendRaw(const std::string& datagram) {
    const sockaddr_in to = loopback(udpPort_);
    ::sendto(udpFd_, datagram.data(), datagram.size(), 0, reinterpret_cast<const sockaddr*>(&to),
             sizeof to);
}

void FakeFlightGear::sendLoop(double rateHz) {
    const auto period = std::chrono::duration<double>(1.0 / rateHz);
    auto next = std::chrono::steady_clock::now();
    auto last = next;
    while (!stop_) {
        next += std::chrono::duration_cast<std::chrono::steady_clock::duration>(period);
        std::this_thread::sleep_until(next);
        const auto now = std::chrono::steady_clock::now();
        std::function<void(FakeFlightGear&, double)> stepper;
        {
            std::lock_guard lock(mutex_);
            stepper = stepper_;
        }
        if (stepper) stepper(*this, std::chrono::duration<double>(now - last).count());
        last = now;
        if (sending_) sendRaw(packet());
    }
}

void FakeFlightGear::propsLoop() {
    std::vector<int> clients;
    std::map<int, std::string> input;
    while (!stop_) {
        std::vector<pollfd> fds{{listenFd_, POLLIN, 0}};
        for (int c : clients) fds.push_back({c, POLLIN, 0});
        if (::poll(fds.data(), fds.size(), 50) <= 0) continue;
        if ((fds[0].revents & POLLIN) != 0) {
            const int c = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
            if (c >= 0) clients.push_back(c);
        }
        for (std::size_t i = 1; i < fds.size(); ++i) {
            if (fds[i].revents == 0) continue;
            char buffer[1024];
            const ssize_t got = ::recv(fds[i].fd, buffer, sizeof buffer, 0);
            if (got <= 0) {
                ::close(fds[i].fd);
                std::erase(clients, fds[i].fd);
                continue;
            }
            std::string& in = input[fds[i].fd];
            in.append(buffer, static_cast<std::size_t>(got));
            // The property interface ends its commands at CR LF.
            for (std::size_t eol; (eol = in.find("\r\n")) != std::string::npos;) {
                const std::string line = in.substr(0, eol);
                in.erase(0, eol + 2);
                handleLine(line, fds[i].fd);
            }
        }
    }
    for (int c : clients) ::close(c);
}

void FakeFlightGear::handleLine(const std::string& line, int fd) {
    std::lock_guard lock(mutex_);
    propsLines_.push_back(line);
    if (line.rfind("set ", 0) == 0) {
        const std::size_t space = line.find(' ', 4);
        const std::string property = line.substr(4, space - 4);
        tree_[property] = space == std::string::npos ? "" : line.substr(space + 1);
    } else if (line.rfind("ls ", 0) == 0) {
        const std::string dir = line.substr(3) + "/";
        std::string answer;
        for (const auto& [key, value] : tree_) {
            if (key.rfind(dir, 0) == 0) {
                std::string name = key.substr(dir.size());
                name = name.substr(0, name.find('/'));
                if (name.size() > 3 && name.compare(name.size() - 3, 3, "[0]") == 0) {
                    name.resize(name.size() - 3);  // FlightGear shows index 0 bare
                }
                answer += name + "\r\n";
            }
        }
        ::send(fd, answer.data(), answer.size(), MSG_NOSIGNAL);
    }
}

}  // namespace aviolog::test
