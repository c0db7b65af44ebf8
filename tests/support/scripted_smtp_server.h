#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace aviolog::test {

// The server's end of one loopback connection, as a script drives it.
class ServerSide {
  public:
    explicit ServerSide(int fd) : fd_(fd) {}
    void send(std::string_view bytes);
    // The next line without its CR LF; nothing when none arrives within the time.
    std::optional<std::string> readLine(int timeoutMs = 5000);
    // True when the client sends nothing within the time.
    bool quietFor(int ms);
    // Waits until the client closes the connection.
    bool waitForClose(int timeoutMs = 5000);

    std::vector<std::string> lines;  // every line received, in order

  private:
    int fd_;
    std::string pending_;
};

// A TCP server on 127.0.0.1 that runs a script against its first connection, for the
// replies no real server gives: split, slow, silent or endless. Read what the script
// recorded after join().
class ScriptedSmtpServer {
  public:
    using Script = std::function<void(ServerSide&)>;
    explicit ScriptedSmtpServer(Script script);
    ~ScriptedSmtpServer();
    ScriptedSmtpServer(const ScriptedSmtpServer&) = delete;
    ScriptedSmtpServer& operator=(const ScriptedSmtpServer&) = delete;

    int port() const { return port_; }
    // Waits for the script to end; the lines it received.
    const std::vector<std::string>& join();

  private:
    int listenFd_ = -1;
    int port_ = 0;
    std::vector<std::string> lines_;
    std::thread thread_;
};

// Answers an SMTP session from a table: each command line gets the reply of the first
// entry its text starts with ("" matches any); between DATA and "." nothing is answered
// until the end of the message, which gets the "." entry. Ends after QUIT or when the
// client closes.
void answerFromTable(ServerSide& side, const std::string& greeting,
                     const std::vector<std::pair<std::string, std::string>>& replies);

}  // namespace aviolog::test
