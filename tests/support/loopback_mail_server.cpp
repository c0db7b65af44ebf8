#include "tests/support/loopback_mail_server.h"

#include <chrono>
#include <filesystem>
#include <sstream>
#include <thread>

#include "common/text_case.h"

namespace aviolog::test {
namespace {

std::string unhex(const std::string& hex) {
    std::string out;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
        out += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    }
    return out;
}

}  // namespace

std::string ReceivedMail::header(const std::string& name) const {
    for (const auto& [key, value] : headers) {
        if (equalsIgnoringCase(key, name)) return value;
    }
    return {};
}

bool ReceivedMail::hasHeader(const std::string& name) const {
    for (const auto& entry : headers) {
        if (equalsIgnoringCase(entry.first, name)) return true;
    }
    return false;
}

LoopbackMailServer::LoopbackMailServer() {
    process_ = std::make_unique<ChildProcess>(
        "/usr/bin/python3",
        std::vector<std::string>{AVIOLOG_SMTP_SERVER_SCRIPT, "--out", dir_.path().string(),
                                 "--user", kUser, "--password", kPassword});
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    while (process_->started() && std::chrono::steady_clock::now() < deadline) {
        const std::string output = process_->output();
        const auto at = output.find("port ");
        if (at != std::string::npos && output.find('\n', at) != std::string::npos) {
            port_ = std::stoi(output.substr(at + 5));
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

std::size_t LoopbackMailServer::received() const {
    std::size_t n = 0;
    while (dir_.exists(std::to_string(n + 1) + ".txt")) ++n;
    return n;
}

std::size_t LoopbackMailServer::connectionLog(const std::string& event) const {
    if (!dir_.exists("connections.log")) return 0;
    std::istringstream lines(dir_.read("connections.log"));
    std::size_t n = 0;
    for (std::string line; std::getline(lines, line);) n += line == event ? 1 : 0;
    return n;
}

ReceivedMail LoopbackMailServer::mail(std::size_t n) const {
    ReceivedMail mail;
    mail.raw = dir_.read(std::to_string(n) + ".eml");
    std::istringstream lines(dir_.read(std::to_string(n) + ".txt"));
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream words(line);
        std::string kind, a, b;
        words >> kind >> a >> b;
        if (kind == "from") mail.from = unhex(a);
        if (kind == "rcpt") mail.recipients.push_back(unhex(a));
        if (kind == "header") mail.headers.emplace_back(a, unhex(b));
        if (kind == "body") mail.bodies.emplace_back(a, unhex(b));
        if (kind == "attachment") mail.attachments.emplace_back(unhex(a), unhex(b));
        if (kind == "defect") mail.defects.push_back(unhex(a));
        if (kind == "date-offset") mail.dateOffsetMinutes = std::stoi(a);
        if (kind == "parse" && a == "ok") mail.parsed = true;
        if (kind == "parse" && a == "failed") mail.parseError = unhex(b);
    }
    return mail;
}

std::vector<std::string> LoopbackMailServer::authLog() const {
    std::vector<std::string> entries;
    std::istringstream lines(dir_.read("auth.log"));
    std::string line;
    while (std::getline(lines, line)) entries.push_back(line);
    return entries;
}

std::string latin1ToUtf8(const std::string& text) {
    std::string out;
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x80) {
            out += c;
        } else {
            out += static_cast<char>(0xc0 | (u >> 6));
            out += static_cast<char>(0x80 | (u & 0x3f));
        }
    }
    return out;
}

}  // namespace aviolog::test
