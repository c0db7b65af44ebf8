// aviolog: the desktop program. Start-up in its order: one instance only, the settings and
// the company (with their dialogs), the connect timer, then the main window; at exit the
// link is closed and the settings are written back.

#include <wx/app.h>
#include <wx/evtloop.h>
#include <wx/evtloopsrc.h>
#include <wx/snglinst.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <system_error>

#include "app/application.h"
#include "platform/posix/native_platform.h"
#include "platform/posix/work_folder.h"
#include "shell/browser_module.h"
#include "shell/main_frame.h"
#include "shell/wx_dialogs.h"
#include "shell/wx_platform.h"

namespace aviolog::shell {
namespace {

constexpr const char* kInstanceName = "__Aviolog4010__";
constexpr const char* kAlreadyRunningMessage = "Aviolog Already running!";

// The VA's answers (ACARS, position reports, uplink) are applied on the window's thread as
// soon as a worker has one: the event loop watches the workers' ready descriptor.
class VaAnswers final : public wxEventLoopSourceHandler {
  public:
    explicit VaAnswers(platform::posix::ThreadedGets& gets) : gets_(gets) {
        if (gets.readyFd() < 0) return;
        source_.reset(wxEventLoopBase::AddSourceForFD(gets.readyFd(), this, wxEVENT_SOURCE_INPUT));
    }
    void OnReadWaiting() override { gets_.deliverAnswers(); }
    void OnWriteWaiting() override {}
    void OnExceptionWaiting() override {}

  private:
    platform::posix::ThreadedGets& gets_;
    std::unique_ptr<wxEventLoopSource> source_;
};

// The platform as the desktop program has it: the native set with the window's timers
// and pilot, and the application built on it.
struct Program {
    Program(const std::filesystem::path& dir, WxPilot& pilot)
        : workDir(dir),
          pilot(pilot),
          dialogs(dir, pilot, browser),
          app(app::Platform{.ipc = native.ipc,
                            .timers = timers,
                            .clock = native.clock,
                            .wallClock = native.clock,
                            .pilot = pilot,
                            .sound = native.sound,
                            .libraries = native.libraries,
                            .http = native.http,
                            .vaGets = native.vaGets,
                            .connector = native.connector,
                            .ids = native.ids,
                            .network = native.network,
                            .registry = native.registry},
              dialogs, app::FlightPorts{}, dir) {}

    std::filesystem::path workDir;
    platform::posix::NativePlatform native;
    WxTimers timers;
    WxPilot& pilot;
    BrowserModule browser;
    VaAnswers vaAnswers{native.vaGets};
    WxDialogs dialogs;
    app::Application app;
};

class AviologApp final : public wxApp {
  public:
    AviologApp() {
        // The window draws nothing with OpenGL, yet GTK probes it when it opens the display,
        // which maps the GL driver (with software rendering some 50 MB of LLVM) for the
        // whole run. The toolkit reads this before it starts; a pilot's own choice stands.
        setenv("GDK_GL", "disable", 0);
    }

    bool OnInit() override {
        const auto processStart = MainFrame::Clock::now();
        SetAppName("aviolog");
        workDir_ = workFolder();
        pilot_ = std::make_unique<WxPilot>(workDir_);
        // Not SIGUSR1: the web engine takes that one for its collector.
        SetSignalHandler(SIGUSR2, &AviologApp::reportSignal);
        instance_ = std::make_unique<wxSingleInstanceChecker>();
        if (!instance_->Create(kInstanceName) || instance_->IsAnotherRunning()) {
            pilot_->error(kAlreadyRunningMessage);
            return false;
        }
        program_ = std::make_unique<Program>(workDir_, *pilot_);
        app::Application& app = program_->app;
        const bool loaded = app.loadSettings();
        if (loaded) {
            program_->timers.setSink(&app);
            app.start();
        }
        frame_ = new MainFrame(app, program_->pilot, program_->dialogs, program_->browser,
                               program_->workDir, loaded, processStart, MainFrame::Clock::now());
        frame_->Show();
        SetTopWindow(frame_);
        return true;
    }

    int OnExit() override {
        if (program_) {
            program_->timers.setSink(nullptr);
            program_->app.exit();
        }
        program_.reset();
        instance_.reset();
        pilot_.reset();
        return wxApp::OnExit();
    }

    void report() {
        if (!pilot_) return;
        MainFrame* frame = wxTopLevelWindows.Find(frame_) != nullptr ? frame_ : nullptr;
        writeWindowReport(workDir_, frame, *pilot_);
    }

  private:
    static void reportSignal(int);

    // The start folder, or (installed, started from the menu) the pilot's data folder, which
    // then also becomes the process's working directory: ".\" names files there.
    static std::filesystem::path workFolder() {
        const std::filesystem::path start = std::filesystem::current_path();
        const platform::posix::WorkFolder folder =
            platform::posix::openWorkFolder(platform::posix::currentWorkFolderSetting(start));
        if (!folder.error.empty()) std::fprintf(stderr, "aviolog: %s\n", folder.error.c_str());
        std::error_code ec;
        if (folder.dir != start) std::filesystem::current_path(folder.dir, ec);
        return ec ? start : folder.dir;
    }

    std::filesystem::path workDir_;
    std::unique_ptr<WxPilot> pilot_;
    std::unique_ptr<wxSingleInstanceChecker> instance_;
    std::unique_ptr<Program> program_;
    MainFrame* frame_ = nullptr;
};

}  // namespace
}  // namespace aviolog::shell

wxDECLARE_APP(aviolog::shell::AviologApp);
wxIMPLEMENT_APP(aviolog::shell::AviologApp);

void aviolog::shell::AviologApp::reportSignal(int) {
    wxGetApp().report();
}
