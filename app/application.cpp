#include "app/application.h"

#include "app/dialogs.h"
#include "config/settings_file.h"
#include "mail/smtp_mailer.h"
#include "platform/pilot.h"
#include "recorder/timer_ids.h"
#include "reporting/local_db_page.h"
#include "reporting/pirep_sender.h"

namespace aviolog::app {

Application::Application(Platform platform, Dialogs& dialogs, FlightPorts ports,
                         std::filesystem::path workDir)
    : platform_(platform),
      dialogs_(dialogs),
      workDir_(std::move(workDir)),
      link_(platform.ipc, platform.clock),
      book_(workDir_, platform.pilot),
      gaugeClient_(platform.network),
      console_(context_, gaugeClient_),
      services_{ports.acars, ports.metar, console_, ports.live, ports.flapNames, book_},
      context_{link_,     platform.timers,   platform.clock, platform.pilot, platform.sound,
               platform.libraries, settings_, ports.form,   record_,        progress_,
               summary_,  window_,           services_,      workDir_.string(),
               recorder::FlightPhase::WaitingForBlocksOff, {}, {}},
      flightLog_(context_) {
    link_.setLossObserver(&flightLog_);
}

Application::~Application() {
    link_.close();
}

bool Application::loadSettings() {
    if (config::loadSettings(settings_, {workDir_, platform_.pilot, dialogs_}) ==
        config::LoadOutcome::NoSettings) {
        return false;
    }
    mailer_ = std::make_unique<mail::SmtpMailer>(
        settings_.mail, mail::MailerContext{workDir_, platform_.pilot, dialogs_,
                                            platform_.connector, platform_.wallClock, platform_.ids});
    pirep_ = std::make_unique<reporting::PirepSender>(
        reporting::PirepContext{workDir_, platform_.pilot, dialogs_, platform_.http, *mailer_});
    return true;
}

void Application::start() {
    platform_.timers.start(recorder::kConnectTimer, recorder::kConnectIntervalMs);
}

bool Application::exit() {
    link_.close();
    if (!mailer_) return true;  // nothing was loaded, so there is nothing to write back
    const bool settingsSaved = config::saveSettings(settings_, workDir_);
    return mailer_->writeSettings() && settingsSaved;
}

bool Application::acceptFlight() {
    if (!window_.summaryOffered()) return false;
    if (!book_.store({summary_, record_, settings_, window_})) return false;
    window_.closeSummary();
    return true;
}

void Application::dismissFlight() {
    if (!window_.summaryOffered()) return;
    const platform::MessageAnswer answer = platform_.pilot.show(
        {kDismissFlightQuestion, platform::MessageIcon::Question, platform::MessageButtons::YesNo});
    if (answer == platform::MessageAnswer::Yes) window_.closeSummary();
}

bool Application::saveLog() {
    return book_.saveLog(settings_.log.LogPath, record_.departureIcao, record_.arrivalIcao,
                  progress_.startDate, window_.lines(model::Channel::Log));
}

bool Application::saveAcars() {
    return book_.saveAcars(settings_.log.LogPath);
}

bool Application::sendLog() {
    return pirep_ && pirep_->send(settings_);
}

std::optional<std::filesystem::path> Application::localDb() {
    reporting::LocalDbPageResult page = reporting::writeLocalDbPage(workDir_);
    if (page.error) {
        platform_.pilot.error(*page.error);
        return std::nullopt;
    }
    return std::move(page.page);
}

}  // namespace aviolog::app
