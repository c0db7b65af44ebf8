#include "recorder/flight_journal.h"

#include <charconv>
#include <cstdlib>
#include <map>

#include "common/text_format.h"
#include "model/flight_record.h"
#include "model/flight_summary.h"
#include "model/main_window_model.h"
#include "recorder/flight_info_dump.h"
#include "reporting/acars_composer.h"
#include "reporting/acars_view.h"
#include "reporting/live_link.h"
#include "reporting/va_traffic.h"

namespace aviolog::recorder {

namespace {

constexpr std::string_view kFirstLine = "Aviolog flight journal 1";
constexpr std::string_view kEndKey = "end";
constexpr std::string_view kLogKey = "log";
constexpr std::string_view kAcarsKey = "acars";
// Every ninth tick of the monitor's second, which the writer takes up within a second of
// its own: the flight's figures are never more than ten seconds old on disk.
constexpr int kTicksBetweenWrites = 9;
static_assert(kTicksBetweenWrites * 1000 + SnapshotFile::kLookEveryMs <= 10000);

// The progress record's fields, each listed once under its key, for writing and reading.
template <typename Progress, typename Visit>
void eachProgressField(Progress& p, Visit&& visit) {
    visit("logStarted", p.logStarted);
    visit("startDate", p.startDate);
    visit("startTime", p.startTime);
    visit("referenceWeightLbs", p.referenceWeightLbs);
    visit("initialFuelKg", p.initialFuelKg);
    visit("heightAtStartM", p.heightAtStartM);
    visit("flightClockMin", p.flightClockMin);
    visit("blockOffAtMin", p.blockOffAtMin);
    visit("takeOffAtMin", p.takeOffAtMin);
    visit("landingAtMin", p.landingAtMin);
    visit("blockOnAtMin", p.blockOnAtMin);
    visit("flightDurationMin", p.flightDurationMin);
    visit("blockToBlockMin", p.blockToBlockMin);
    visit("finalFuelKg", p.finalFuelKg);
    visit("flightLengthNm", p.flightLengthNm);
    visit("flightLengthAtTodNm", p.flightLengthAtTodNm);
    visit("lengthCountedToMin", p.lengthCountedToMin);
    visit("lengthFixLatDeg", p.lengthFixLatDeg);
    visit("lengthFixLonDeg", p.lengthFixLonDeg);
    visit("touchdown", p.touchdown);
    visit("touchdownSampleFresh", p.touchdownSampleFresh);
    visit("touchdownRateFpm", p.touchdownRateFpm);
    visit("touchdownVerticalSpeedRaw", p.touchdownVerticalSpeedRaw);
    visit("touchdownSpeedRaw", p.touchdownSpeedRaw);
    visit("restartedBeforeTouchdown", p.restartedBeforeTouchdown);
    visit("restartedAfterTouchdown", p.restartedAfterTouchdown);
    visit("brakeWatch", p.brakeWatch);
    visit("vrLogged", p.vrLogged);
    visit("gearUpLogged", p.gearUpLogged);
    visit("inCruise", p.inCruise);
    visit("positionReferenceMin", p.positionReferenceMin);
    visit("flapDetent", p.flapDetent);
    visit("lastLoggedFlapDetent", p.lastLoggedFlapDetent);
    visit("touchdownArmed", p.touchdownArmed);
    visit("touchdownSamplerStarted", p.touchdownSamplerStarted);
    visit("onGroundTicks", p.onGroundTicks);
    visit("blocksOnDone", p.blocksOnDone);
    visit("lastCom1", p.lastCom1);
    visit("lastUtcHour", p.lastUtcHour);
    visit("lastUtcMinute", p.lastUtcMinute);
    visit("slewLogged", p.slewLogged);
    visit("lastLoggedRate", p.lastLoggedRate);
    visit("remainingDistanceNm", p.remainingDistanceNm);
    visit("groundSpeedKt", p.groundSpeedKt);
    visit("fuelReferenceLevels", p.fuelReferenceLevels);
    visit("fuelReferenceTaken", p.fuelReferenceTaken);
    visit("cockpitCheckSeconds", p.cockpitCheckSeconds);
}

constexpr std::pair<const char*, std::string model::FlightRecord::*> kRecordFields[] = {
    {"departureIcao", &model::FlightRecord::departureIcao},
    {"arrivalIcao", &model::FlightRecord::arrivalIcao},
    {"alternateIcao", &model::FlightRecord::alternateIcao},
    {"flightLevel", &model::FlightRecord::flightLevel},
    {"aircraftType", &model::FlightRecord::aircraftType},
    {"pilotNumber", &model::FlightRecord::pilotNumber},
    {"flightNumber", &model::FlightRecord::flightNumber},
    {"registration", &model::FlightRecord::registration},
    {"selcal", &model::FlightRecord::selcal},
    {"callsign", &model::FlightRecord::callsign},
    {"route", &model::FlightRecord::route},
    {"passengers", &model::FlightRecord::passengers},
    {"cargo", &model::FlightRecord::cargo},
    {"onlineNetwork", &model::FlightRecord::onlineNetwork},
    {"voiceMode", &model::FlightRecord::voiceMode},
    {"remarks", &model::FlightRecord::remarks},
};

// A value on one line: backslash, CR and LF escaped.
void appendEscaped(std::string& out, std::string_view text) {
    for (std::size_t at; (at = text.find_first_of("\\\n\r")) != std::string_view::npos;) {
        out.append(text.substr(0, at));
        out += text[at] == '\n' ? "\\n" : text[at] == '\r' ? "\\r" : "\\\\";
        text.remove_prefix(at + 1);
    }
    out.append(text);
}

std::string unescaped(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            out += text[i];
            continue;
        }
        const char next = text[++i];
        out += next == 'n' ? '\n' : next == 'r' ? '\r' : next;
    }
    return out;
}

template <typename T>
bool readNumber(std::string_view text, T& value) {
    T parsed{};
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), parsed);
    if (ec != std::errc() || end != text.data() + text.size()) return false;
    value = parsed;
    return true;
}

// Doubles as text that reads back to the same bits.
bool readFloating(std::string_view text, double& value) {
    const std::string copy(text);
    char* end = nullptr;
    const double parsed = std::strtod(copy.c_str(), &end);
    if (end != copy.c_str() + copy.size() || copy.empty()) return false;
    value = parsed;
    return true;
}

struct ValueText {
    std::string operator()(bool v) const { return v ? "1" : "0"; }
    std::string operator()(const std::string& v) const { return v; }
    // The shortest text that reads back to the same value.
    template <typename F>
    requires std::is_floating_point_v<F> std::string operator()(F v) const {
        char buf[32];
        const auto end = std::to_chars(buf, buf + sizeof buf, v).ptr;
        return std::string(buf, end);
    }
    template <typename E>
    requires std::is_enum_v<E> std::string operator()(E v) const {
        return std::to_string(static_cast<long long>(v));
    }
    template <typename I>
    requires std::is_integral_v<I> std::string operator()(I v) const { return std::to_string(v); }
    template <typename T, std::size_t N>
    std::string operator()(const std::array<T, N>& v) const {
        std::string text;
        for (std::size_t i = 0; i < N; ++i) text += (i ? "," : "") + std::to_string(v[i]);
        return text;
    }
};

struct ValueReader {
    bool operator()(std::string_view t, bool& v) const {
        v = t == "1";
        return t == "0" || t == "1";
    }
    bool operator()(std::string_view t, std::string& v) const {
        v = std::string(t);
        return true;
    }
    bool operator()(std::string_view t, double& v) const { return readFloating(t, v); }
    bool operator()(std::string_view t, float& v) const {
        double d = 0;
        if (!readFloating(t, d)) return false;
        v = static_cast<float>(d);
        return true;
    }
    template <typename E>
    requires std::is_enum_v<E>
    bool operator()(std::string_view t, E& v) const {
        std::underlying_type_t<E> raw{};
        if (!readNumber(t, raw)) return false;
        v = static_cast<E>(raw);
        return true;
    }
    template <typename I>
    requires std::is_integral_v<I>
    bool operator()(std::string_view t, I& v) const { return readNumber(t, v); }
    template <typename T, std::size_t N>
    bool operator()(std::string_view t, std::array<T, N>& v) const {
        std::array<T, N> parsed{};
        for (std::size_t i = 0; i < N; ++i) {
            const std::size_t comma = t.find(',');
            if (!readNumber(t.substr(0, comma), parsed[i])) return false;
            t = comma == std::string_view::npos ? std::string_view{} : t.substr(comma + 1);
        }
        v = parsed;
        return true;
    }
};

void put(std::string& out, std::string_view key, std::string_view value) {
    out += key;
    out += '=';
    appendEscaped(out, value);
    out += '\n';
}

void put(std::string& out, std::string_view prefix, std::string_view key, std::string_view value) {
    out += prefix;
    put(out, key, value);
}

using Values = std::map<std::string, std::string, std::less<>>;

template <typename T>
void take(const Values& values, std::string_view key, T& field) {
    const auto found = values.find(key);
    if (found != values.end()) ValueReader{}(found->second, field);
}

template <typename T>
void take(const Values& values, std::string_view key, std::optional<T>& field) {
    const auto found = values.find(key);
    if (found == values.end()) return;
    T value{};
    if (ValueReader{}(found->second, value)) field = value;
}

}  // namespace

std::filesystem::path journalPath(const std::filesystem::path& workDir,
                                  const std::string& companyIcao) {
    return workDir / (std::string(kJournalFilePrefix) + companyIcao + ".txt");
}

void JournalLineBlocks::update(const JournalParts& parts) {
    const std::vector<std::string>& lines = parts.window.lines(model::Channel::Log);
    // The lines are only ever added to while a log runs; anything else (the stop puts the
    // header in front of them) is written anew.
    if (lines.size() < logCount_ ||
        (logCount_ > 0 &&
         (lines[logCount_ - 1].size() != lastLogSize_ || lines.front() != firstLog_))) {
        log_.clear();
        logCount_ = 0;
    }
    for (; logCount_ < lines.size(); ++logCount_) put(log_, kLogKey, lines[logCount_]);
    lastLogSize_ = logCount_ > 0 ? lines[logCount_ - 1].size() : 0;
    if (logCount_ > 0 && firstLog_ != lines.front()) firstLog_ = lines.front();
    const std::vector<std::string>& shown = parts.acarsDisplay.shown();
    if (shown.size() < acarsCount_) {
        acars_.clear();
        acarsCount_ = 0;
    }
    for (; acarsCount_ < shown.size(); ++acarsCount_) put(acars_, kAcarsKey, shown[acarsCount_]);
}

std::string journalText(const JournalParts& parts) {
    JournalLineBlocks blocks;
    return journalText(parts, blocks);
}

std::string journalText(const JournalParts& parts, JournalLineBlocks& blocks) {
    blocks.update(parts);
    std::string out;
    out.reserve(2048 + blocks.log().size() + blocks.acars().size());
    out += kFirstLine;
    out += '\n';
    eachProgressField(parts.progress, [&](const char* key, const auto& field) {
        using Field = std::decay_t<decltype(field)>;
        if constexpr (requires { field.has_value(); }) {
            if (field) put(out, "progress.", key, ValueText{}(*field));
        } else {
            static_assert(!std::is_same_v<Field, void>);
            put(out, "progress.", key, ValueText{}(field));
        }
    });
    for (const auto& [key, member] : kRecordFields) {
        put(out, "record.", key, parts.record.*member);
    }
    put(out, "phase", ValueText{}(parts.flight.phase));
    const reporting::AcarsMessenger::Counters counters = parts.acars.counters();
    put(out, "acars.messageNumber", ValueText{}(counters.messageNumber));
    put(out, "acars.blockIds", ValueText{}(counters.blockIds));
    put(out, "uplink.lastNumber", ValueText{}(parts.live.lastUplinkNumber()));
    put(out, "traffic.primary", ValueText{}(parts.traffic.primary.failures()));
    put(out, "traffic.alternate", ValueText{}(parts.traffic.alternate.failures()));
    put(out, "traffic.status", ValueText{}(parts.traffic.status.failures()));
    put(out, "dump.on", ValueText{}(parts.dump.isOn()));
    put(out, "dump.rows", ValueText{}(parts.dump.rowCount()));
    if (parts.flight.phase == FlightPhase::Stopped) {
        for (const model::SummaryField& field : model::kSummaryFields) {
            put(out, "summary.", field.key, parts.summary.*field.value);
        }
    }
    if (parts.vaSection) {
        model::JournalValues values;
        parts.vaSection->writeJournal(values);
        for (const auto& [key, value] : values) put(out, key, value);
    }
    out += blocks.log();
    out += blocks.acars();
    out += kEndKey;
    out += '=';
    out += std::to_string(out.size() - kEndKey.size() - 1);
    out += '\n';
    return out;
}

std::optional<JournalText> readJournalText(std::string_view text) {
    if (!text.starts_with(kFirstLine)) return std::nullopt;
    JournalText journal;
    bool ended = false;
    std::size_t begin = 0;
    while (begin < text.size()) {
        const std::size_t end = text.find('\n', begin);
        if (end == std::string_view::npos) return std::nullopt;  // cut short
        const std::string_view line = text.substr(begin, end - begin);
        const std::size_t lineStart = begin;
        begin = end + 1;
        if (lineStart == 0) continue;
        const std::size_t eq = line.find('=');
        if (eq == std::string_view::npos) return std::nullopt;
        const std::string_view key = line.substr(0, eq);
        const std::string_view value = line.substr(eq + 1);
        if (key == kEndKey) {
            std::size_t counted = 0;
            if (!readNumber(value, counted) || counted != lineStart) return std::nullopt;
            ended = true;
            break;
        }
        if (key == kLogKey) {
            journal.logLines.push_back(unescaped(value));
        } else if (key == kAcarsKey) {
            journal.acarsMessages.push_back(unescaped(value));
        } else {
            journal.values.emplace_back(std::string(key), unescaped(value));
        }
    }
    if (!ended) return std::nullopt;
    return journal;
}

bool journalStopped(const JournalText& journal) {
    return journal.value("phase") == ValueText{}(FlightPhase::Stopped);
}

// The summary as the stop made it; its log text is the log, header included.
model::FlightSummary journalSummary(const JournalText& journal) {
    const Values values(journal.values.begin(), journal.values.end());
    model::FlightSummary summary;
    for (const model::SummaryField& field : model::kSummaryFields) {
        take(values, std::string("summary.") + field.key, summary.*field.value);
    }
    for (const std::string& line : journal.logLines) {
        summary.logText += line;
        summary.logText += '\n';
    }
    return summary;
}

void restoreJournal(const JournalText& journal, JournalParts& parts) {
    const Values values(journal.values.begin(), journal.values.end());
    parts.progress = FlightProgress{};
    eachProgressField(parts.progress, [&](const char* key, auto& field) {
        take(values, std::string("progress.") + key, field);
    });
    for (const auto& [key, member] : kRecordFields) {
        take(values, std::string("record.") + key, parts.record.*member);
    }
    take(values, "phase", parts.flight.phase);
    reporting::AcarsMessenger::Counters counters;
    take(values, "acars.messageNumber", counters.messageNumber);
    take(values, "acars.blockIds", counters.blockIds);
    parts.acars.restoreCounters(counters);
    int number = 0;
    take(values, "uplink.lastNumber", number);
    parts.live.restoreUplinkNumber(number);
    const std::pair<const char*, reporting::VaDestination*> destinations[] = {
        {"traffic.primary", &parts.traffic.primary},
        {"traffic.alternate", &parts.traffic.alternate},
        {"traffic.status", &parts.traffic.status}};
    for (const auto& [key, destination] : destinations) {
        int failures = 0;
        take(values, key, failures);
        destination->restoreFailures(failures);
    }
    bool dumpOn = false;
    take(values, "dump.on", dumpOn);
    int dumpRows = 0;
    take(values, "dump.rows", dumpRows);
    if (dumpOn) parts.dump.resume(dumpRows);

    // The moments between the last sample and the restart were not seen: a touchdown in
    // them has no figures.
    FlightProgress& p = parts.progress;
    p.touchdownSampleFresh = false;
    if (p.touchdown == FlightProgress::Touchdown::NotYet) p.restartedBeforeTouchdown = true;
    if (p.touchdown == FlightProgress::Touchdown::Recorded) p.restartedAfterTouchdown = true;

    parts.window.replaceLines(model::Channel::Log, journal.logLines);
    if (parts.flight.phase == FlightPhase::Stopped) parts.summary = journalSummary(journal);
    parts.window.clear(model::Channel::Acars);
    for (const std::string& message : journal.acarsMessages) parts.acarsDisplay.show(message);
    // Last, so that it finds the flight (and its log) as it was.
    if (parts.vaSection) parts.vaSection->restoreJournal(journal.values);
}

void FlightJournal::open(std::filesystem::path path) {
    if (path_ == path) return;
    file_.reset();
    path_ = std::move(path);
}

// A flight is unfinished from its start until it is stored or dismissed: the summary of a
// stopped one is all a killed program would leave of it.
bool FlightJournal::unfinished() const {
    return parts_.progress.logStarted &&
           (parts_.flight.phase != FlightPhase::Stopped || parts_.window.summaryOffered());
}

void FlightJournal::afterEvent(bool monitorTick) {
    if (!path_) return;
    if (!unfinished()) {
        // The flight is stored or dismissed, and a flight that never began leaves nothing.
        if (onDisk_ && parts_.progress.logStarted) discard();
        return;
    }
    if (!file_) file_ = std::make_unique<SnapshotFile>(*path_);
    onDisk_ = true;
    const std::size_t lines = parts_.window.lines(model::Channel::Log).size();
    const std::size_t messages = parts_.acarsDisplay.shown().size();
    using Clock = std::chrono::steady_clock;
    // A VA's state written at once too: a PIREP's number or a position id handed out and
    // not on disk would be asked for or given again after a kill.
    const bool vaDue = parts_.vaSection && parts_.vaSection->journalDue();
    if (lines != linesWritten_ || messages != messagesWritten_ || vaDue) {
        linesWritten_ = lines;
        messagesWritten_ = messages;
        ticksSinceWrite_ = 0;
        const Clock::time_point begin = Clock::now();
        std::string text = journalText(parts_, blocks_);
        const Clock::time_point made = Clock::now();
        file_->storeAndWait(std::move(text));
        cost_.making += made - begin;
        cost_.waiting += Clock::now() - made;
        ++cost_.lineWrites;
        return;
    }
    if (monitorTick && ++ticksSinceWrite_ >= kTicksBetweenWrites) {
        ticksSinceWrite_ = 0;
        const Clock::time_point begin = Clock::now();
        std::string text = journalText(parts_, blocks_);
        cost_.making += Clock::now() - begin;
        // No figure here needs the disk before the tick ends, so the writer is not woken.
        file_->storeLater(std::move(text));
        ++cost_.tickWrites;
    }
}

void FlightJournal::adoptRestored() {
    onDisk_ = true;
    linesWritten_ = parts_.window.lines(model::Channel::Log).size();
    messagesWritten_ = parts_.acarsDisplay.shown().size();
    ticksSinceWrite_ = 0;
}

void FlightJournal::discard() {
    if (file_) {
        file_->remove();
        file_.reset();
    } else if (path_) {
        std::error_code ec;
        std::filesystem::remove(*path_, ec);
    }
    onDisk_ = false;
    linesWritten_ = 0;
    messagesWritten_ = 0;
}

}  // namespace aviolog::recorder
