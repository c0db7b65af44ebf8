#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/child_process.h"
#include "tests/support/temp_dir.h"

namespace aviolog::test {

// A request as the loopback VA server received it and Python's urllib decoded it.
struct ReceivedRequest {
    std::string target;  // the raw request target as sent ("/pirep.php?pilot=...")
    std::string path;
    std::vector<std::pair<std::string, std::string>> params;  // decoded, Windows-1252 bytes
    std::string userAgent, cacheControl, pragma;
    std::string connection;  // same value = same TCP connection
    int status = 0;          // the answer it was given; 0 when none (the connection closed)

    // The first parameter of that name; "" when there is none.
    std::string param(const std::string& name) const;
};

// The VA's side of the web scripts: tests/reporting/va_server.py on loopback under
// /usr/bin/python3, HTTP/1.1 with keep-alive. It decodes what it receives on its own, so
// a test checks our encoding against a decoder that is not ours. Stopped when the object
// dies.
class LoopbackVaServer {
  public:
    LoopbackVaServer();

    bool running() const { return port_ > 0; }
    int port() const { return port_; }
    std::string startupOutput() const { return process_ ? process_->output() : ""; }
    std::string url(const std::string& path) const;  // "http://127.0.0.1:PORT" + path

    // Replies for the coming requests, in order; the last one repeats. Each: status + body.
    // None: every answer is 200 with "OK" and a line feed. Status 0: the request is
    // received, then its connection closed without an answer.
    void setAnswers(const std::vector<std::pair<int, std::string>>& answers);
    std::vector<ReceivedRequest> requests() const;  // in order of arrival

  private:
    TempDir dir_;
    std::unique_ptr<ChildProcess> process_;
    int port_ = 0;
    int generation_ = 0;
};

// A loopback port that nothing listens on: bound once by the system, then closed.
int closedLoopbackPort();

}  // namespace aviolog::test
