#pragma once

#include <memory>
#include <nlohmann/json.hpp>
#include <string>

#include "tests/support/child_process.h"
#include "tests/support/temp_dir.h"

namespace aviolog::test {

// A phpVMS 7 site on loopback: tests/support/phpvms_server.py under /usr/bin/python3,
// answering the ACARS API as phpVMS does. Stopped when the object dies.
class LoopbackPhpVmsServer {
  public:
    static constexpr const char* kKey = "k3y-0f-the-pil0t-5ecret";

    LoopbackPhpVmsServer();

    bool running() const { return port_ > 0; }
    std::string startupOutput() const { return process_ ? process_->output() : ""; }
    std::string url() const;  // "http://127.0.0.1:PORT"

    // The steering of phpvms_server.py (see there), replaced whole.
    void control(const nlohmann::json& settings);
    // PIREPs by id and every request, as the site holds them after its last answer.
    nlohmann::json state() const;

  private:
    TempDir dir_;
    std::unique_ptr<ChildProcess> process_;
    int port_ = 0;
};

}  // namespace aviolog::test
