#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/child_process.h"
#include "tests/support/temp_dir.h"

namespace aviolog::test {

// A message as the loopback server received it and Python's email package, with the
// strict policy, read it back. Texts are UTF-8, attachments the decoded bytes.
struct ReceivedMail {
    std::string from;
    std::vector<std::string> recipients;
    std::vector<std::pair<std::string, std::string>> headers;      // name, decoded value
    std::vector<std::pair<std::string, std::string>> bodies;       // content type, text
    std::vector<std::pair<std::string, std::string>> attachments;  // file name, bytes
    std::vector<std::string> defects;
    std::optional<int> dateOffsetMinutes;
    bool parsed = false;
    std::string parseError;
    std::string raw;  // the bytes the server received

    // The first header of that name (any case); empty when there is none.
    std::string header(const std::string& name) const;
    bool hasHeader(const std::string& name) const;
};

// Debian's aiosmtpd on loopback, started under /usr/bin/python3 with the tests' handler
// (AUTH LOGIN, CRAM-MD5 and "AUTH LOGIN PLAIN" for one account). Stopped when the object
// dies.
class LoopbackMailServer {
  public:
    static constexpr const char* kUser = "pilot";
    static constexpr const char* kPassword = "s3cret pw";

    LoopbackMailServer();

    bool running() const { return port_ > 0; }
    int port() const { return port_; }
    std::string startupOutput() const { return process_ ? process_->output() : ""; }
    // How many messages have arrived, and the n-th of them (1-based).
    std::size_t received() const;
    ReceivedMail mail(std::size_t n) const;
    // How many connections have started and how many have ended; a message not received
    // by the end of its connection never will be.
    std::size_t openedConnections() const { return connectionLog("open"); }
    std::size_t closedConnections() const { return connectionLog("closed"); }
    // One line per authentication: mechanism, user (hex) and "ok" or "refused".
    std::vector<std::string> authLog() const;

  private:
    std::size_t connectionLog(const std::string& event) const;

    TempDir dir_;
    std::unique_ptr<ChildProcess> process_;
    int port_ = 0;
};

// Windows-1252 text of the Latin-1 range as UTF-8, to compare with what Python decoded.
std::string latin1ToUtf8(const std::string& text);

}  // namespace aviolog::test
