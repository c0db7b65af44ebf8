#include "reporting/pilot_log_file.h"

#include <algorithm>
#include <system_error>
#include <vector>

#include "common/text_file.h"
#include "common/text_format.h"
#include "reporting/seal.h"

namespace aviolog::reporting {

namespace {

using model::FlightSummary;

constexpr const char* kLengthKey = "length";
constexpr const char* kLogKey = "Log";
constexpr std::size_t kMaxLengthChars = 9;

// A Ctrl-Z ends the text a seal is computed over, so one typed into a form field would
// leave the seal line outside it and the whole file tampered.
std::string storable(std::string_view value) {
    std::string text(value);
    std::replace(text.begin(), text.end(), '\x1a', ' ');
    return text;
}

}  // namespace

std::string pilotLogName(const std::string& logPath, const std::string& companyIcao,
                         const std::string& pilotNumber) {
    // A folder typed without its final separator still names the folder, for storing
    // and for sending alike.
    const bool separated = logPath.empty() || logPath.back() == '\\' || logPath.back() == '/';
    return logPath + (separated ? "" : "\\") + companyIcao + pilotNumber + ".dat";
}

std::string PilotLogFile::sectionName(int number) {
    return format("FlightLog%d", number);
}

PilotLogFile::State PilotLogFile::open() {
    document_ = {};
    std::error_code error;
    if (!std::filesystem::exists(path_, error)) return State::Missing;
    const auto bytes = readFileBytes(path_);
    if (!bytes) return State::Unreadable;
    SealedText sealed = readSeal(textModeText(*bytes));
    if (!sealed.valid) {
        writeFileAtomically(path_, textModeBytes(sealed.content));
        return State::Tampered;
    }
    document_ = config::IniDocument(sealed.content);
    return State::Sealed;
}

int PilotLogFile::add(const FlightSummary& flight) {
    int number = 1;
    while (!document_.getString(sectionName(number), "Date", "", kMaxStoredValueChars).empty()) {
        ++number;
    }
    std::vector<config::IniEntry> entries;
    entries.reserve(model::kSummaryFields.size() + 1);
    const auto landingFields = model::kSummaryFields.begin() + model::kFirstLandingField;
    for (auto field = model::kSummaryFields.begin(); field != landingFields; ++field) {
        entries.push_back({field->key, storable(flight.*field->value)});
    }
    entries.push_back({kLengthKey, std::to_string(flight.logText.size())});
    const std::string section = sectionName(number);
    document_.replaceSection(section, entries);
    const std::string_view log = flight.logText;
    document_.setStruct(section, kLogKey,
                        {reinterpret_cast<const std::uint8_t*>(log.data()), log.size()});
    // The landing's keys after the log, where a reader of the older layout never looks,
    // and only those with a value: a flight without the analysis is stored as before.
    for (auto field = landingFields; field != model::kSummaryFields.end(); ++field) {
        const std::string value = storable(flight.*field->value);
        if (!value.empty()) document_.setString(section, field->key, value);
    }
    return number;
}

FlightSummary PilotLogFile::flight(int number) const {
    const std::string section = sectionName(number);
    FlightSummary flight;
    for (const model::SummaryField& key : model::kSummaryFields) {
        flight.*key.value = document_.getString(section, key.key, "", kMaxStoredValueChars);
    }
    const std::string length = document_.getString(section, kLengthKey, "", kMaxLengthChars);
    std::size_t size = 0;
    for (const char c : length) {
        if (c < '0' || c > '9') break;
        size = size * 10 + static_cast<std::size_t>(c - '0');
    }
    if (const auto bytes = document_.getStruct(section, kLogKey, size)) {
        // The log was read into a zero-filled buffer: it ends at the first zero byte.
        const auto end = std::find(bytes->begin(), bytes->end(), std::uint8_t{0});
        flight.logText.assign(bytes->begin(), end);
    }
    return flight;
}

bool PilotLogFile::drop(int number) {
    if (!document_.hasSection(sectionName(number))) return hasFlights();
    if (number == 1 && !document_.hasSection(sectionName(2))) {
        document_ = {};
        return false;
    }
    int last = number + 1;
    for (; document_.hasSection(sectionName(last)); ++last) {
        document_.replaceSection(sectionName(last - 1),
                                 document_.sectionEntries(sectionName(last)));
    }
    document_.removeSection(sectionName(last - 1));
    return true;
}

bool PilotLogFile::save() const {
    if (!hasFlights()) {
        std::error_code error;
        std::filesystem::remove(path_, error);
        return !error;
    }
    return writeFileAtomically(path_, sealedBytes(textModeText(document_.text())));
}

}  // namespace aviolog::reporting
