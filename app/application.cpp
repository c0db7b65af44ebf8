#include "app/application.h"

#include "app/dialogs.h"
#include "common/text_format.h"
#include "config/settings_file.h"
#include "mail/bug_report.h"
#include "mail/smtp_mailer.h"
#include "platform/pilot.h"
#include "recorder/timer_ids.h"
#include "reporting/local_db_page.h"
#include "reporting/pirep_sender.h"
#include "reporting/va_flight_plan.h"

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
      form_({settings_, record_, window_, workDir_}),
      weather_(platform.http, platform.registry, workDir_),
      fuel_(link_, settings_.company.UnitSystem),
      imports_({form_, fuel_, settings_, platform.pilot, platform.registry, workDir_}),
      vaTraffic_(platform.vaGets),
      acarsView_(window_, console_),
      acarsDisplay_(window_, acarsView_),
      acars_({link_, settings_, record_, acarsDisplay_, vaTraffic_, workDir_}),
      flightUnderWay_(context_),
      live_({link_, settings_, record_, flightUnderWay_, platform.sound, vaTraffic_, acarsView_,
             workDir_}),
      services_{acars_,
                ports.metar != nullptr ? *ports.metar : weather_,
                console_,
                live_,
                ports.flapNames != nullptr ? *ports.flapNames : form_.flapNames(),
                book_},
      context_{link_,
               platform.timers,
               platform.clock,
               platform.pilot,
               platform.sound,
               platform.libraries,
               settings_,
               form_,
               record_,
               progress_,
               summary_,
               window_,
               services_,
               workDir_.string(),
               recorder::FlightPhase::WaitingForBlocksOff,
               {},
               {}},
      flightLog_(context_) {
    link_.setLossObserver(&flightLog_);
}

Application::~Application() {
    link_.close();
}

bool Application::loadSettings() {
    const config::LoadOutcome outcome =
        config::loadSettings(settings_, {workDir_, platform_.pilot, dialogs_});
    if (outcome != config::LoadOutcome::Loaded) {
        noSettingsText_ = config::noSettingsExplanation(outcome, workDir_);
        return false;
    }
    mailer_ = std::make_unique<mail::SmtpMailer>(
        settings_.mail,
        mail::MailerContext{workDir_, platform_.pilot, dialogs_, platform_.connector,
                            platform_.wallClock, platform_.ids});
    pirep_ = std::make_unique<reporting::PirepSender>(
        reporting::PirepContext{workDir_, platform_.pilot, dialogs_, platform_.http, *mailer_});
    weather_.select(settings_);
    form_.initialise();
    return true;
}

void Application::onTimer(int id) {
    flightLog_.onTimer(id);
    // The fuel page and the date and time page are filled once the connect procedure has
    // opened the link; the pilot's edits of either are not overwritten afterwards.
    if (id != recorder::kConnectTimer || !link_.isOpen()) return;
    if (!fuel_.built()) fuel_.build();
    if (!form_.dateTime().filled()) {
        if (const auto clock = planning::readSimulatorClock(link_)) form_.fillDateTime(*clock);
    }
}

void Application::flightFromVaButton() {
    reporting::flightFromVa({settings_, form_, platform_.http, platform_.pilot, workDir_});
}

const std::string& Application::realTimeAddress() {
    return reporting::realTimeAddress(settings_);
}

void Application::start() {
    flightLog_.startConnecting();
    config::finishStartup(settings_, live_);
}

bool Application::exit() {
    link_.close();
    if (!mailer_) return true;  // nothing was loaded, so there is nothing to write back
    const bool settingsSaved = config::saveSettings(settings_, workDir_);
    const bool saved = mailer_->writeSettings() && settingsSaved;
    if (!saved) platform_.pilot.warn(format(kSettingsNotSavedMessage, workDir_.string().c_str()));
    return saved;
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

void Application::sendBugReport(std::string_view description) {
    if (!mailer_) return;
    mail::sendBugReport(*mailer_, platform_.pilot, mail::bugReportRecipient(workDir_), description,
                        workDir_);
}

}  // namespace aviolog::app
