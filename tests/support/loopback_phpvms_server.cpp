#include "tests/support/loopback_phpvms_server.h"

#include <cstdlib>
#include <filesystem>

namespace aviolog::test {

LoopbackPhpVmsServer::LoopbackPhpVmsServer() {
    process_ = std::make_unique<ChildProcess>(
        "/usr/bin/python3", std::vector<std::string>{AVIOLOG_PHPVMS_SERVER_SCRIPT, "--key", kKey,
                                                     "--control", (dir_ / "control.json").string(),
                                                     "--state", (dir_ / "state.json").string()});
    // The server's first line is the port it listens on.
    port_ = std::atoi(process_->firstLine(15000).c_str());
}

std::string LoopbackPhpVmsServer::url() const {
    return "http://127.0.0.1:" + std::to_string(port_);
}

void LoopbackPhpVmsServer::control(const nlohmann::json& settings) {
    // Renamed into place, so the server never reads half a file.
    dir_.write("control.tmp", settings.dump());
    std::filesystem::rename(dir_ / "control.tmp", dir_ / "control.json");
}

nlohmann::json LoopbackPhpVmsServer::state() const {
    return nlohmann::json::parse(dir_.read("state.json"), nullptr, false);
}

}  // namespace aviolog::test
