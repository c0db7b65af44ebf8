#pragma once

// The "Send LOG" button: reports the stored flights of the pilot log file to the VA, the
// oldest first, by e-mail, through the VA's web page and to its web script, each means
// when the profile names it. A flight leaves the file only once every means has taken it;
// the first failure stops, and the flights left stay stored and sealed.

#include <filesystem>
#include <string>

namespace aviolog::config {
struct Settings;
}
namespace aviolog::mail {
class Mailer;
}
namespace aviolog::platform {
class HttpClient;
class Pilot;
}  // namespace aviolog::platform
namespace aviolog::model {
struct FlightSummary;
}

namespace aviolog::reporting {

class ReportingDialogs;

inline constexpr const char* kNoLogFileMessage = "No Log file for that company/Pilot";
inline constexpr const char* kMailFailedMessage = "Error Sending log";
inline constexpr const char* kInternetErrorMessage = "Error Sending Log \n Internet Error";
inline constexpr const char* kDataBaseErrorMessage = "Error Sending Log \n Data Base Error";
inline constexpr const char* kLogSentMessage = "Log Sent";
inline constexpr const char* kLogCopyFile = ".\\Aviologlog.txt";
inline constexpr const char* kReportFile = "sendlogreport.html";
inline constexpr std::size_t kMaxSendPilotChars = 9;
// Log characters per web-script request.
inline constexpr std::size_t kLogPieceChars = 889;

struct PirepContext {
    std::filesystem::path workDir;
    platform::Pilot& pilot;
    ReportingDialogs& dialogs;
    platform::HttpClient& http;
    mail::Mailer& mailer;
};

class PirepSender {
  public:
    explicit PirepSender(PirepContext context) : c_(std::move(context)) {}

    // The "Send LOG" button. The e-mail step makes the pilot number the profile's. True
    // when every stored flight was delivered and removed.
    bool send(config::Settings& settings);

    // The number the "Send Log Parameters" dialog last confirmed; kept for the process.
    const std::string& sendPilotNumber() const { return sendPilot_; }

  private:
    bool sendFlight(config::Settings& settings, const model::FlightSummary& flight);
    bool sendMail(config::Settings& settings, const model::FlightSummary& flight);
    bool sendToScript(const config::Settings& settings, const model::FlightSummary& flight);

    PirepContext c_;
    std::string sendPilot_;
};

}  // namespace aviolog::reporting
