#include "app/application.h"

#include "app/dialogs.h"
#include "common/text_file.h"
#include "common/text_format.h"
#include "config/settings_file.h"
#include "mail/bug_report.h"
#include "mail/smtp_mailer.h"
#include "planning/simbrief.h"
#include "platform/pilot.h"
#include "recorder/landing_page.h"
#include "recorder/timer_ids.h"
#include "reporting/local_db_page.h"
#include "reporting/phpvms_pilot.h"
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
      console_({.link = link_, .settings = settings_, .window = window_, .services = services_},
               gaugeClient_),
      form_({.settings = settings_, .record = record_, .window = window_, .workDir = workDir_}),
      weather_(platform.http, platform.registry, workDir_),
      fuel_(link_, settings_.company.UnitSystem),
      imports_({.form = form_,
                .fuel = fuel_,
                .settings = settings_,
                .pilot = platform.pilot,
                .registry = platform.registry,
                .workDir = workDir_}),
      vaTraffic_(platform.vaGets),
      acarsView_(window_, console_),
      acarsDisplay_(window_, acarsView_),
      acars_({.link = link_,
              .settings = settings_,
              .record = record_,
              .display = acarsDisplay_,
              .traffic = vaTraffic_,
              .workDir = workDir_}),
      flightUnderWay_(flight_, progress_),
      live_({.link = link_,
             .settings = settings_,
             .record = record_,
             .flight = flightUnderWay_,
             .sound = platform.sound,
             .traffic = vaTraffic_,
             .view = acarsView_,
             .workDir = workDir_}),
      phpVms_({.link = link_,
               .settings = settings_,
               .record = record_,
               .startDate = progress_.startDate,
               .startTime = progress_.startTime,
               .flightLengthNm = progress_.flightLengthNm,
               .gets = platform.vaGets,
               .window = window_,
               .view = acarsView_,
               .outbox = phpVmsOutbox_}),
      phpVmsMoments_(acars_, phpVms_, settings_, [this] { beginPhpVmsFlight(); }),
      phpVmsBeat_(live_, phpVms_),
      services_{.acars = phpVmsMoments_,
                .metar = ports.metar != nullptr ? *ports.metar : weather_,
                .gauge = console_,
                .live = phpVmsBeat_,
                .flapNames = ports.flapNames != nullptr ? *ports.flapNames : form_.flapNames(),
                .store = book_},
      flightLog_({.link = link_,
                  .timers = platform.timers,
                  .clock = platform.clock,
                  .pilot = platform.pilot,
                  .sound = platform.sound,
                  .libraries = platform.libraries,
                  .settings = settings_,
                  .form = form_,
                  .record = record_,
                  .progress = progress_,
                  .summary = summary_,
                  .window = window_,
                  .services = services_,
                  .flight = flight_,
                  .workDir = workDir_.string()}),
      journal_({.record = record_,
                .progress = progress_,
                .flight = flight_,
                .window = window_,
                .acars = acars_,
                .acarsDisplay = acarsDisplay_,
                .live = live_,
                .traffic = vaTraffic_,
                .dump = flightLog_.dump(),
                .summary = summary_,
                .vaSection = &phpVms_}) {
    link_.setLossObserver(&flightLog_);
    window_.addObserver(&phpVms_);
    phpVms_.setFiledHandler([this](const std::string& flight) { phpVmsFiled(flight); });
}

Application::~Application() {
    window_.removeObserver(&phpVms_);
    link_.close();
}

// Filed by the site, in this run or from what an earlier one left: "Send LOG" must not
// file it again.
void Application::phpVmsFiled(const std::string& storedFlight) {
    reporting::dropFiledFlight({.settings = settings_,
                                .http = platform_.http,
                                .pilot = platform_.pilot,
                                .workDir = workDir_},
                               storedFlight);
}

void Application::resendVaOutboxes() {
    vaTraffic_.resendOutboxes();
    if (config::usesPhpVms(settings_.company)) phpVms_.resendOutbox();
}

bool Application::loadSettings() {
    const config::LoadOutcome outcome = config::loadSettings(
        settings_, {.workDir = workDir_, .pilot = platform_.pilot, .dialogs = dialogs_});
    if (outcome != config::LoadOutcome::Loaded) {
        noSettingsText_ = config::noSettingsExplanation(outcome, workDir_);
        return false;
    }
    mailer_ = std::make_unique<mail::SmtpMailer>(
        settings_.mail, mail::MailerContext{.workDir = workDir_,
                                            .pilot = platform_.pilot,
                                            .dialogs = dialogs_,
                                            .connector = platform_.connector,
                                            .clock = platform_.wallClock,
                                            .ids = platform_.ids});
    pirep_ =
        std::make_unique<reporting::PirepSender>(reporting::PirepContext{.workDir = workDir_,
                                                                         .pilot = platform_.pilot,
                                                                         .dialogs = dialogs_,
                                                                         .http = platform_.http,
                                                                         .mailer = *mailer_});
    weather_.select(settings_);
    if (const auto cut = planning::metarAddressWarning(settings_)) platform_.pilot.warn(*cut);
    form_.initialise();
    journal_.open(recorder::journalPath(workDir_, settings_.company.CompanyICAO));
    vaTraffic_.keepOutboxes(workDir_, settings_.company.CompanyICAO);
    if (config::usesPhpVms(settings_.company)) {
        phpVmsOutbox_.keep(reporting::phpVmsOutboxPath(workDir_, settings_.company.CompanyICAO));
    }
    return true;
}

// However the log started (the button or the parking brake), the site hears of it.
void Application::beginPhpVmsFlight() {
    if (progress_.logStarted && !phpVmsBegun_ && config::usesPhpVms(settings_.company)) {
        phpVmsBegun_ = true;
        phpVms_.begin();
    }
}

void Application::onTimer(int id) {
    flightLog_.onTimer(id);
    journal_.afterEvent(id == recorder::kMonitorTimer);
    if (id == recorder::kPhpVmsTimer) phpVms_.beat();
    beginPhpVmsFlight();
    // The fuel page and the date and time page are filled once the connect procedure has
    // opened the link; the pilot's edits of either are not overwritten afterwards.
    if (id != recorder::kConnectTimer || !link_.isOpen()) return;
    if (!fuel_.built()) fuel_.build();
    if (!form_.dateTime().filled()) {
        if (const auto clock = planning::readSimulatorClock(link_)) fillDateTime(*clock);
    }
}

// What was set before the clock could be read (the VA's booked date and time, "Flight
// from VA" pressed while the simulator was still away) stays: the simulator's clock fills
// the page, and the edits are made again on it, in its time zone.
void Application::fillDateTime(const planning::SimulatorClock& clock) {
    const model::DateTimeBox edited = form_.dateTimeBox();
    const planning::BoxDate editedDate = form_.dateTime().utcDate();
    form_.fillDateTime(clock);
    if (edited.setDate) form_.editUtcDate(editedDate);
    if (edited.setClock) form_.editUtcTime(edited.utcHour, edited.utcMinute);
}

void Application::flightFromVaButton() {
    if (config::usesPhpVms(settings_.company)) {
        const auto bid = reporting::flightFromPhpVms({.settings = settings_,
                                                      .http = platform_.http,
                                                      .pilot = platform_.pilot,
                                                      .workDir = workDir_},
                                                     form_);
        if (bid) phpVms_.useBid(bid->airlineId, bid->aircraftId);
        return;
    }
    reporting::flightFromVa({.settings = settings_,
                             .form = form_,
                             .http = platform_.http,
                             .pilot = platform_.pilot,
                             .workDir = workDir_});
}

bool Application::simbriefButton() {
    return planning::fillFromSimbrief({.settings = settings_,
                                       .form = form_,
                                       .fuel = fuel_,
                                       .http = platform_.http,
                                       .pilot = platform_.pilot});
}

const std::string& Application::realTimeAddress() {
    return reporting::realTimeAddress(settings_);
}

void Application::start() {
    offerUnfinishedFlight();
    // A resumed flight the site knew goes on with its PIREP: no second prefile.
    if (phpVms_.resumed()) phpVmsBegun_ = true;
    // After the resume, so that a restored counter that gave a site up still holds for
    // this run's own traffic.
    resendVaOutboxes();
    // Calls the site has not taken keep going out after the flight, until it takes them.
    if (config::usesPhpVms(settings_.company)) {
        platform_.timers.start(recorder::kPhpVmsTimer, recorder::kPhpVmsBeatMs);
    }
    // A flight that had already stopped needs no simulator: only its summary waits.
    if (!(progress_.logStarted && flight_.phase == recorder::FlightPhase::Stopped)) {
        flightLog_.startConnecting();
    }
    config::finishStartup(settings_, live_);
}

void Application::offerUnfinishedFlight() {
    const auto& path = journal_.path();
    if (!path) return;
    const auto bytes = readFileBytes(*path);
    if (!bytes) return;
    const auto text = recorder::readJournalText(*bytes);
    // Not a whole journal (the pilot edited it): no flight to resume.
    if (!text) return;
    // Stored already, and the program went before the journal did: nothing to offer.
    if (recorder::journalStopped(*text) &&
        book_.holds(settings_, recorder::journalSummary(*text))) {
        journal_.discard();
        return;
    }
    const platform::MessageAnswer answer =
        platform_.pilot.show({recorder::kResumeRestartQuestion, platform::MessageIcon::Question,
                              platform::MessageButtons::YesNo});
    if (answer != platform::MessageAnswer::Yes) {
        // Kept where saved logs go before the journal is removed, so nothing is lost.
        if (book_.keepUnfinishedLog(settings_.log.LogPath, text->value("record.departureIcao"),
                                    text->value("record.arrivalIcao"),
                                    text->value("progress.startDate"), text->logLines)) {
            journal_.discard();
        }
        return;
    }
    journal_.restore(*text);
    restoreForm();
    if (flight_.phase == recorder::FlightPhase::Stopped) {
        flightLog_.restartedStoppedFlight();
    } else {
        flightLog_.restartedFlight();
    }
    journal_.adoptRestored();
}

void Application::restoreForm() {
    using planning::FormField;
    const model::FlightRecord saved = record_;
    const std::pair<FormField, const std::string*> fields[] = {
        {FormField::Departure, &saved.departureIcao},
        {FormField::Arrival, &saved.arrivalIcao},
        {FormField::Alternate, &saved.alternateIcao},
        {FormField::FlightLevel, &saved.flightLevel},
        {FormField::AircraftType, &saved.aircraftType},
        {FormField::PilotNumber, &saved.pilotNumber},
        {FormField::FlightNumber, &saved.flightNumber},
        {FormField::Registration, &saved.registration},
        {FormField::Selcal, &saved.selcal},
        {FormField::Callsign, &saved.callsign},
        {FormField::Route, &saved.route},
        {FormField::Passengers, &saved.passengers},
        {FormField::Cargo, &saved.cargo},
        {FormField::Remarks, &saved.remarks},
    };
    for (const auto& [field, value] : fields) form_.edit(field, *value);
    for (std::size_t i = 0; i < planning::kOnlineNetworks.size(); ++i) {
        if (saved.onlineNetwork == planning::kOnlineNetworks[i]) form_.selectOnline(i);
    }
    form_.selectVoice(saved.voiceMode == "Text" ? 1 : 0);
    form_.readForm();
    record_ = saved;
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
    const model::AcceptedFlight flight{
        .summary = summary_, .record = record_, .settings = settings_, .window = window_};
    if (!book_.store(flight)) return false;
    window_.closeSummary();
    // The file is on disk before the journal goes: a kill between the two leaves a stored
    // flight (which the next start does not offer again) with its file still to go.
    phpVms_.file(summary_);
    // Stored: the journal goes, so that a restart cannot offer the flight a second time.
    journal_.afterEvent(false);
    return true;
}

void Application::dismissFlight() {
    if (!window_.summaryOffered()) return;
    const platform::MessageAnswer answer = platform_.pilot.show(
        {kDismissFlightQuestion, platform::MessageIcon::Question, platform::MessageButtons::YesNo});
    if (answer != platform::MessageAnswer::Yes) return;
    window_.closeSummary();
    phpVms_.cancel();
    journal_.afterEvent(false);
}

bool Application::saveLog() {
    return book_.saveLog(settings_.log.LogPath, record_.departureIcao, record_.arrivalIcao,
                         progress_.startDate, window_.lines(model::Channel::Log));
}

bool Application::saveAcars() {
    return book_.saveAcars(settings_.log.LogPath);
}

bool Application::sendLog() {
    if (!pirep_) return false;
    if (config::usesPhpVms(settings_.company)) {
        // A flight whose file still waits for the site is the outbox's to deliver: filing it
        // here as well would give the VA the same flight twice.
        phpVms_.sendNow();
        return reporting::sendLogToPhpVms({.settings = settings_,
                                           .http = platform_.http,
                                           .pilot = platform_.pilot,
                                           .workDir = workDir_},
                                          phpVms_.filesWaiting());
    }
    return pirep_->send(settings_);
}

std::optional<std::filesystem::path> Application::localDb() {
    reporting::LocalDbPageResult page = reporting::writeLocalDbPage(workDir_);
    if (page.error) {
        platform_.pilot.error(*page.error);
        return std::nullopt;
    }
    return std::move(page.page);
}

std::optional<std::filesystem::path> Application::landingPage() const {
    std::error_code ec;
    const std::filesystem::path page =
        std::filesystem::absolute(std::filesystem::path(workDir_) / recorder::kLandingPage, ec);
    if (ec || !std::filesystem::is_regular_file(page, ec)) return std::nullopt;
    return page;
}

void Application::sendBugReport(std::string_view description) {
    if (!mailer_) return;
    mail::sendBugReport(*mailer_, platform_.pilot, mail::bugReportRecipient(workDir_), description,
                        workDir_);
}

}  // namespace aviolog::app
