#include "headless/runner_stand_ins.h"

#include <algorithm>
#include <cctype>

#include "config/company_profiles.h"
#include "planning/flight_plan_import.h"
#include "reporting/pilot_log_book.h"

namespace aviolog::headless {

namespace {

platform::MessageAnswer parseAnswer(const std::string& reply, platform::MessageAnswer fallback) {
    if (reply == "yes") return platform::MessageAnswer::Yes;
    if (reply == "no") return platform::MessageAnswer::No;
    if (reply == "ok") return platform::MessageAnswer::Ok;
    if (reply == "cancel") return platform::MessageAnswer::Cancel;
    return fallback;
}

const char* answerName(platform::MessageAnswer a) {
    switch (a) {
        case platform::MessageAnswer::Yes:
            return "Yes";
        case platform::MessageAnswer::No:
            return "No";
        case platform::MessageAnswer::Ok:
            return "OK";
        case platform::MessageAnswer::Cancel:
            return "Cancel";
    }
    return "?";
}

}  // namespace

std::optional<std::string> RecordingServices::fetch(const std::string& icao) {
    std::string upper = icao;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    const auto it = options_.metars.find(upper);
    record("metar fetch " + icao + (it == options_.metars.end() ? " (none)" : ""));
    if (it == options_.metars.end()) return std::nullopt;
    return it->second;
}

std::optional<std::string> RecordingServices::name(int detent) const {
    if (detent < 0 || detent >= static_cast<int>(options_.flapNames.size())) return std::nullopt;
    return options_.flapNames[detent];
}

void AcarsCalls::lineAdded(model::Channel channel, const std::string& line) {
    if (channel != model::Channel::Acars) return;
    static constexpr std::string_view kLabel = "Message Label: ";
    static constexpr std::string_view kContent = "Message content: ";
    if (line.starts_with(kLabel)) {
        message_ = "acars " + line.substr(kLabel.size());
    } else if (line.starts_with(kContent)) {
        inContent_ = true;
    } else if (line.empty() && inContent_) {
        calls_.push_back(message_);
        inContent_ = false;
    } else if (inContent_) {
        message_ += " | " + line;
    }
}

platform::MessageAnswer CommandLinePilot::show(const platform::Message& message) {
    platform::MessageAnswer answer = message.buttons == platform::MessageButtons::YesNo
                                         ? platform::MessageAnswer::Yes
                                         : platform::MessageAnswer::Ok;
    for (const auto& [question, reply] : options_.answers) {
        if (message.text.starts_with(question)) answer = parseAnswer(reply, answer);
    }
    boxes_.push_back(message.text + " -> " + answerName(answer));
    if (options_.onProgress) options_.onProgress(boxes_.back());
    return answer;
}

std::optional<std::string> CommandLinePilot::chooseFolder(const std::string& title) {
    boxes_.push_back("[" + title + "] -> " + options_.logDirectory.value_or("Cancel"));
    return options_.logDirectory;
}

std::optional<std::filesystem::path> CommandLinePilot::chooseFileToOpen(
    const platform::FileRequest& request) {
    const std::string& file = request.filter == planning::kPlnFilter   ? options_.plnFile
                              : request.filter == planning::kFsaFilter ? options_.fsaFile
                                                                       : std::string();
    boxes_.push_back("[Open " + request.filter + "] -> " + (file.empty() ? "Cancel" : file));
    if (file.empty()) return std::nullopt;
    return std::filesystem::path(file);
}

std::optional<std::filesystem::path> CommandLinePilot::chooseFileToSave(
    const platform::FileRequest& request) {
    const std::string& file =
        request.filter == reporting::kLogFileFilter ? options_.saveLogTo : options_.saveAcarsTo;
    boxes_.push_back("[Save As " + request.defaultName + "] -> " + file);
    return std::filesystem::path(file);
}

std::optional<std::size_t> CommandLinePilot::chooseItem(const std::string& title,
                                                        const std::vector<std::string>& items) {
    std::string box = "[" + title + "]";
    for (const std::string& item : items) box += " | " + item;
    const auto index = static_cast<std::size_t>(options_.bid - 1);
    if (index >= items.size()) {
        boxes_.push_back(box + " -> Cancel");
        return std::nullopt;
    }
    boxes_.push_back(box + " -> " + items[index]);
    return index;
}

void CommandLineDialogs::chooseCompany(config::CompanyChooser& chooser) {
    // A profile whose ICAO is refused is passed over, as the pilot would pick another.
    for (std::size_t i = 0; i < chooser.entries().size(); ++i) {
        chooser.select(static_cast<int>(i));
        if (chooser.chooseSelected()) return;
    }
    chooser.privateFlight();
}

std::optional<std::string> CommandLineDialogs::sendLogParameters(const std::string& pilotNumber) {
    if (options_.escapeSendLogParameters) {
        boxes_.push_back("[Send Log Parameters] " + pilotNumber + " -> Escape");
        return std::nullopt;
    }
    const std::string number = options_.sendPilotNumber.value_or(pilotNumber);
    boxes_.push_back("[Send Log Parameters] " + pilotNumber + " -> OK " + number);
    return number;
}

bool CommandLineDialogs::browse(const std::string& url) {
    boxes_.push_back("[Browser] " + url + (options_.browserOk ? " -> OK" : " -> Cancel"));
    return options_.browserOk;
}

void ScaledTimers::start(int id, int intervalMs) {
    timers_.start(id, std::max(1, static_cast<int>(intervalMs / speed_)));
}

}  // namespace aviolog::headless
