#pragma once

// What the flight runner puts in the place of the window and the pilot, or around the
// platform's own parts: each writes down what the program asked of it, so that a run
// reports every call it made outward.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/application.h"
#include "app/dialogs.h"
#include "headless/flight_runner.h"
#include "model/flight_services.h"
#include "model/main_window_model.h"
#include "platform/background_gets.h"
#include "platform/pilot.h"
#include "platform/sim_ipc.h"
#include "platform/sound.h"
#include "platform/timers.h"

namespace aviolog::headless {

// The METAR service, the flap names and the sound, answered from the options; each call
// written down as one line.
class RecordingServices final : public model::MetarFetcher,
                                public model::FlapNames,
                                public platform::Sound {
  public:
    RecordingServices(std::vector<std::string>& calls, const RunnerOptions& options)
        : calls_(calls), options_(options) {}

    // The application's own service wherever the options give no table.
    app::FlightPorts ports() {
        return {.metar = options_.providerMetars ? nullptr : this,
                .flapNames = options_.flapNames.empty() ? nullptr : this};
    }

    // The service takes airport codes in either case, as the weather services do.
    std::optional<std::string> fetch(const std::string& icao) override;
    std::optional<std::string> name(int detent) const override;

    void playLoop(const std::string& path) override { record("sound play " + path); }
    void stop() override { record("sound stop"); }
    void playOnce(const std::string& path) override { record("sound once " + path); }

  private:
    void record(std::string call) { calls_.push_back(std::move(call)); }

    std::vector<std::string>& calls_;
    const RunnerOptions& options_;
};

// The VA's requests, written down as they are given, then passed on.
class RecordingGets final : public platform::BackgroundGets {
  public:
    RecordingGets(platform::BackgroundGets& gets, std::vector<std::string>& calls)
        : gets_(gets), calls_(calls) {}
    void get(int lane, std::string url, Done done) override {
        calls_.push_back("va get " + url);
        gets_.get(lane, std::move(url), std::move(done));
    }
    void send(int lane, platform::WebRequest request, SendDone done) override {
        calls_.push_back("va " + request.method + " " + request.url);
        gets_.send(lane, std::move(request), std::move(done));
    }
    void dropPending(int lane) override { gets_.dropPending(lane); }

  private:
    platform::BackgroundGets& gets_;
    std::vector<std::string>& calls_;
};

// Each ACARS message shown, as one line: its label line and its content.
class AcarsCalls final : public model::MainWindowObserver {
  public:
    explicit AcarsCalls(std::vector<std::string>& calls) : calls_(calls) {}
    void lineAdded(model::Channel channel, const std::string& line) override;

  private:
    std::vector<std::string>& calls_;
    std::string message_;
    bool inContent_ = false;
};

// The pilot answers from the command line; any other box gets its first button.
class CommandLinePilot final : public platform::Pilot {
  public:
    CommandLinePilot(const RunnerOptions& options, std::vector<std::string>& boxes)
        : options_(options), boxes_(boxes) {}

    platform::MessageAnswer show(const platform::Message& message) override;
    std::optional<std::string> chooseFolder(const std::string& title) override;
    std::optional<std::filesystem::path> chooseFileToOpen(
        const platform::FileRequest& request) override;
    std::optional<std::filesystem::path> chooseFileToSave(
        const platform::FileRequest& request) override;
    std::optional<std::size_t> chooseItem(const std::string& title,
                                          const std::vector<std::string>& items) override;

  private:
    const RunnerOptions& options_;
    std::vector<std::string>& boxes_;
};

// The dialogs answered from the command line; each is written down with its answer.
// Start-up takes the first listed company that may be used, or a private flight; mail
// without a window has nothing to configure.
class CommandLineDialogs final : public app::Dialogs {
  public:
    CommandLineDialogs(const RunnerOptions& options, std::vector<std::string>& boxes)
        : options_(options), boxes_(boxes) {}

    void chooseCompany(config::CompanyChooser& chooser) override;
    void editOptions(config::Settings&, config::OptionsPage) override {}
    bool configure(mail::MailConfiguration&) override { return false; }
    std::optional<std::string> sendLogParameters(const std::string& pilotNumber) override;
    bool browse(const std::string& url) override;

  private:
    const RunnerOptions& options_;
    std::vector<std::string>& boxes_;
};

// Live: the recorder's timers run that much faster when the simulator does, so that
// it samples the flight as it would at real speed.
class ScaledTimers final : public platform::Timers {
  public:
    ScaledTimers(platform::Timers& timers, double speed) : timers_(timers), speed_(speed) {}
    void start(int id, int intervalMs) override;
    void stop(int id) override { timers_.stop(id); }
    bool isRunning(int id) const override { return timers_.isRunning(id); }

  private:
    platform::Timers& timers_;
    double speed_;
};

// Counts the exchanges with the simulator of a live run.
class CountingSimIpc final : public platform::SimIpc {
  public:
    explicit CountingSimIpc(platform::SimIpc& ipc) : ipc_(ipc) {}
    platform::WindowHandle findWindow(std::string_view className) override {
        return ipc_.findWindow(className);
    }
    void releaseWindow(platform::WindowHandle window) override { ipc_.releaseWindow(window); }
    std::uint32_t registerMessage(std::string_view name) override {
        return ipc_.registerMessage(name);
    }
    std::uint16_t addAtom(std::string_view name) override { return ipc_.addAtom(name); }
    void deleteAtom(std::uint16_t atom) override { ipc_.deleteAtom(atom); }
    std::unique_ptr<platform::SharedBlock> createBlock(std::string_view name,
                                                       std::size_t size) override {
        return ipc_.createBlock(name, size);
    }
    platform::SendOutcome send(platform::WindowHandle window, std::uint32_t message,
                               std::uint32_t wParam, std::uint32_t lParam, int timeoutMs) override {
        ++sends;
        return ipc_.send(window, message, wParam, lParam, timeoutMs);
    }
    std::uint32_t processId() override { return ipc_.processId(); }

    std::uint64_t sends = 0;

  private:
    platform::SimIpc& ipc_;
};

}  // namespace aviolog::headless
