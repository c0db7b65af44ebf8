#pragma once

// What the reporting benchmarks share beside the null doubles of tests/support/: a scratch
// folder, a VA web script on loopback that answers every request with "OK", and dialogs
// that answer as a pilot sending a report would.

#include <atomic>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "reporting/reporting_dialogs.h"

namespace aviolog::bench {

// A fresh folder, removed with everything in it at the end.
class ScratchDir {
  public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

  private:
    std::filesystem::path path_;
};

// HTTP/1.1 on 127.0.0.1 with kept connections; every request is answered "OK\n".
class OkServer {
  public:
    OkServer();
    ~OkServer();
    OkServer(const OkServer&) = delete;
    OkServer& operator=(const OkServer&) = delete;
    bool running() const { return listener_ >= 0; }
    std::string url(const std::string& path) const;

  private:
    void serve();
    void answer(int client);

    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};

// "Send Log Parameters" confirmed with the number given; the browser closed with OK.
class SendingDialogs final : public reporting::ReportingDialogs {
  public:
    explicit SendingDialogs(std::string pilotNumber) : pilotNumber_(std::move(pilotNumber)) {}
    std::optional<std::string> sendLogParameters(const std::string&) override {
        return pilotNumber_;
    }
    bool browse(const std::string&) override { return true; }

  private:
    std::string pilotNumber_;
};

}  // namespace aviolog::bench
