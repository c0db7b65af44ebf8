#pragma once

// The platform ports on the wx event loop: window timers, and the pilot's message boxes,
// choosers and progress window.

#include <wx/event.h>
#include <wx/timer.h>

#include <filesystem>
#include <map>
#include <memory>
#include <string>

#include "model/flight_record.h"
#include "model/flight_services.h"
#include "platform/pilot.h"
#include "platform/timers.h"

class wxWindow;

namespace aviolog::shell {

class WxTimers final : public platform::Timers, public wxEvtHandler {
  public:
    WxTimers();
    ~WxTimers() override;
    void setSink(platform::TimerSink* sink) { sink_ = sink; }

    void start(int id, int intervalMs) override;
    void stop(int id) override;
    bool isRunning(int id) const override;

  private:
    void onTick(wxTimerEvent& event);

    std::map<int, std::unique_ptr<wxTimer>> timers_;
    platform::TimerSink* sink_ = nullptr;
    // A message box raised by a tick runs its own event loop, in which the timers keep
    // firing; a tick that arrives while another is handled is dropped, so that no timer
    // procedure runs inside another.
    bool inTick_ = false;
};

// Message boxes and choosers as wx dialogs. Remembers the box on screen, so that the
// window's report can name it.
class WxPilot final : public platform::Pilot {
  public:
    explicit WxPilot(std::filesystem::path workDir) : workDir_(std::move(workDir)) {}
    void setParent(wxWindow* parent) { parent_ = parent; }

    platform::MessageAnswer show(const platform::Message& message) override;
    std::optional<std::string> chooseFolder(const std::string& title) override;
    std::optional<std::filesystem::path> chooseFileToOpen(
        const platform::FileRequest& request) override;
    std::optional<std::filesystem::path> chooseFileToSave(
        const platform::FileRequest& request) override;
    std::optional<std::size_t> chooseItem(const std::string& title,
                                          const std::vector<std::string>& items) override;
    void showProgress(const std::string& title, platform::Progress& progress) override;

    // The text of the message box being shown, "" when none.
    const std::string& openBox() const { return openBox_; }

  private:
    std::optional<std::filesystem::path> chooseFile(const platform::FileRequest& request,
                                                    bool save);

    std::filesystem::path workDir_;
    wxWindow* parent_ = nullptr;
    std::string openBox_;
};

}  // namespace aviolog::shell
