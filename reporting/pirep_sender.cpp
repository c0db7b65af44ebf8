#include "reporting/pirep_sender.h"

#include <fstream>

#include "common/paths.h"
#include "common/text_file.h"
#include "config/company_profiles.h"
#include "config/settings.h"
#include "mail/pirep_mail.h"
#include "model/flight_summary.h"
#include "platform/http_get.h"
#include "platform/pilot.h"
#include "reporting/pilot_log_book.h"
#include "reporting/pilot_log_file.h"
#include "reporting/reporting_dialogs.h"
#include "reporting/seal.h"
#include "reporting/va_request.h"

namespace aviolog::reporting {

namespace {

using model::FlightSummary;
using platform::httpGet;

// The e-mail attachment: the enabled values a line each, then the log as it is.
std::string attachmentText(const config::SendLogSection& items, const FlightSummary& f) {
    std::string text;
    for (const model::SummaryField& field : model::kSummaryFields) {
        if (field.sendSwitch && items.*field.sendSwitch) text += f.*field.value + "\n";
    }
    if (items.Log) text += f.logText;
    return text;
}

// The script's address with the enabled values, before the log pieces.
VaRequest scriptBase(const config::Settings& s, const std::string& sendPilot,
                     const FlightSummary& f) {
    const config::SendLogSection& items = s.sendLog;
    VaRequest request(s.pirep.Log);
    if (items.Password) request.add("passwd", s.pirep.passwd);
    if (items.PilotNumber) request.add("pilot", s.company.CompanyICAO + sendPilot);
    for (const model::SummaryField& field : model::kSummaryFields) {
        if (field.scriptParameter && field.sendSwitch && items.*field.sendSwitch) {
            request.add(field.scriptParameter, f.*field.value);
        }
    }
    if (items.Version) request.add("version", "4010");
    return request;
}

}  // namespace

bool PirepSender::send(config::Settings& settings) {
    if (const auto entered = c_.dialogs.sendLogParameters(settings.company.PilotNumber)) {
        sendPilot_ = entered->substr(0, kMaxSendPilotChars);
    }
    if (const auto refused = config::refusedFileName(settings.company.CompanyICAO, sendPilot_)) {
        c_.pilot.warn(*refused);
        return false;
    }
    const std::string logPath = settings.log.LogPath.empty() ? "." : settings.log.LogPath;
    const std::string name = pilotLogName(logPath, settings.company.CompanyICAO, sendPilot_);
    PilotLogFile file(localPath(c_.workDir, name));
    switch (file.open()) {
        case PilotLogFile::State::Missing:
        case PilotLogFile::State::Unreadable:
            c_.pilot.warn(kNoLogFileMessage);
            return false;
        case PilotLogFile::State::Tampered:
            c_.pilot.warn(kTamperedLogMessage);
            return false;
        case PilotLogFile::State::Sealed:
            break;
    }
    // The file stays sealed throughout: each reported flight leaves it in one rewrite,
    // so a failure or a crash leaves the flights not yet reported stored and sealed.
    while (file.hasFlights()) {
        if (!sendFlight(settings, file.first())) return false;
        c_.pilot.inform(kLogSentMessage);
        file.dropFirst();
        if (!file.save()) {
            c_.pilot.warn(kCantWriteLogMessage + name);
            return false;
        }
    }
    return true;
}

bool PirepSender::sendFlight(config::Settings& settings, const FlightSummary& flight) {
    if (!settings.pirep.Mail.empty() && !sendMail(settings, flight)) return false;
    if (!settings.pirep.URL.empty() && !c_.dialogs.browse(settings.pirep.URL)) return false;
    writeFileAtomically(localPath(c_.workDir, kLogCopyFile), textModeBytes(flight.logText));
    return settings.pirep.Log.empty() || sendToScript(settings, flight);
}

bool PirepSender::sendMail(config::Settings& settings, const FlightSummary& flight) {
    settings.company.PilotNumber = sendPilot_;
    const std::filesystem::path attachment =
        localPath(c_.workDir, ".\\" + settings.company.CompanyICAO + sendPilot_ + ".txt");
    if (!writeFileAtomically(attachment, textModeBytes(attachmentText(settings.sendLog, flight))) ||
        !c_.mailer.send(mail::pirepMail(settings.pirep.Mail, attachment))) {
        c_.pilot.warn(kMailFailedMessage);
        return false;
    }
    return true;
}

bool PirepSender::sendToScript(const config::Settings& settings, const FlightSummary& flight) {
    const VaRequest base = scriptBase(settings, sendPilot_, flight);
    std::ofstream report(localPath(c_.workDir, kReportFile), std::ios::binary | std::ios::trunc);
    const auto toReport = [&](std::string_view line) { report << line; };

    std::string piece;
    bool first = true;
    const auto sendPiece = [&] {
        const std::string url = base.urlWith({{"more", first ? "0" : "1"}, {"log", piece}});
        first = false;
        piece.clear();
        const auto answer = httpGet(c_.http, url, toReport);
        if (!answer) {
            c_.pilot.warn(kInternetErrorMessage);
            return false;
        }
        if (!answer->starts_with("OK")) {
            c_.pilot.warn(kDataBaseErrorMessage);
            return false;
        }
        return true;
    };
    // Line feeds travel as "*"; each request carries 889 log characters, and the last
    // one the rest, even when nothing is left.
    piece.reserve(kLogPieceChars);
    for (const char c : flight.logText) {
        piece += c == '\n' ? '*' : c;
        if (piece.size() == kLogPieceChars && !sendPiece()) return false;
    }
    return sendPiece();
}

}  // namespace aviolog::reporting
