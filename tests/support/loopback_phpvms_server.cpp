#include "tests/support/loopback_phpvms_server.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

namespace aviolog::test {

LoopbackPhpVmsServer::LoopbackPhpVmsServer() {
    process_ = std::make_unique<ChildProcess>(
        "/usr/bin/python3", std::vector<std::string>{AVIOLOG_PHPVMS_SERVER_SCRIPT, "--key", kKey,
                                                     "--control", (dir_ / "control.json").string(),
                                                     "--state", (dir_ / "state.json").string()});
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    while (process_->started() && std::chrono::steady_clock::now() < deadline) {
        const std::string output = process_->output();
        const auto end = output.find('\n');
        if (end != std::string::npos) {
            port_ = std::atoi(output.substr(0, end).c_str());
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
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
