#pragma once

#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/snapshot_file.h"
#include "model/journal_section.h"
#include "recorder/recorder_context.h"

namespace aviolog::reporting {
class AcarsMessenger;
class AcarsDisplay;
class VaLiveLink;
struct VaTraffic;
}  // namespace aviolog::reporting

namespace aviolog::recorder {

class FlightInfoDump;

// The file that holds the flight under way, one per company: ".\" + this + ICAO + ".txt".
inline constexpr const char* kJournalFilePrefix = "flight-in-progress-";
inline constexpr const char* kResumeRestartQuestion = "An unfinished flight was found. Resume it?";

std::filesystem::path journalPath(const std::filesystem::path& workDir,
                                  const std::string& companyIcao);

// What the journal writes and reads back: the flight as the program holds it.
struct JournalParts {
    model::FlightRecord& record;
    FlightProgress& progress;
    FlightState& flight;
    MainWindowModel& window;
    reporting::AcarsMessenger& acars;
    reporting::AcarsDisplay& acarsDisplay;
    reporting::VaLiveLink& live;
    reporting::VaTraffic& traffic;
    FlightInfoDump& dump;
    // Filled once the log has stopped: kept until the pilot stores or dismisses it.
    model::FlightSummary& summary;
    // What a VA system keeps of the flight beside the recorder (a phpVMS PIREP), when any.
    model::JournalSection* vaSection = nullptr;
};

// A journal read back: the log lines and the ACARS messages apart, the rest as it was.
struct JournalText {
    std::vector<std::string> logLines;
    std::vector<std::string> acarsMessages;
    std::vector<std::pair<std::string, std::string>> values;
    // The value written under key; empty when there is none.
    std::string value(std::string_view key) const {
        for (const auto& [k, v] : values) {
            if (k == key) return v;
        }
        return {};
    }
};

// The log lines and ACARS messages as the journal writes them, kept between writes: they
// only grow while a log runs, so each write adds the new ones instead of all of them.
class JournalLineBlocks {
  public:
    void update(const JournalParts& parts);
    const std::string& log() const { return log_; }
    const std::string& acars() const { return acars_; }

  private:
    std::string log_;
    std::string acars_;
    std::size_t logCount_ = 0;
    std::size_t lastLogSize_ = 0;
    std::string firstLog_;
    std::size_t acarsCount_ = 0;
};

// The flight's state as text, and back. Every line is "key=value" with the value's line
// breaks escaped; the last line counts the bytes before it, so a file cut short is no
// journal.
std::string journalText(const JournalParts& parts);
std::string journalText(const JournalParts& parts, JournalLineBlocks& blocks);
std::optional<JournalText> readJournalText(std::string_view text);
// Whether the journal holds a flight that had stopped, and the summary it was offered.
bool journalStopped(const JournalText& journal);
model::FlightSummary journalSummary(const JournalText& journal);
// Puts the flight back as it was written. The log and ACARS lines go back through the
// window and the ACARS display, so the views and the gauge's pages are filled again.
void restoreJournal(const JournalText& journal, JournalParts& parts);

// The flight journal: while a log runs, everything needed to go on with the flight after
// the program itself was killed is kept in one file, replaced whole at every log line and
// every nine monitor ticks. A line is on disk before the tick that logged it ends. A stopped
// flight stays in the file, its summary with it, until the pilot stores or dismisses it.
class FlightJournal {
  public:
    explicit FlightJournal(JournalParts parts) : parts_(parts) {}

    // The file for the active company; made when a log first runs.
    void open(std::filesystem::path path);
    const std::optional<std::filesystem::path>& path() const { return path_; }

    // After every timer tick and button: writes when a line was logged, when an ACARS
    // message was shown, or every ninth monitor tick; removes the file once the flight is
    // over (stopped, and its summary stored or dismissed).
    void afterEvent(bool monitorTick);
    // Puts back the flight the journal's own parts were written from.
    void restore(const JournalText& journal) { restoreJournal(journal, parts_); }
    // Makes the journal take up the flight it was restored from: nothing is written until
    // something changes.
    void adoptRestored();
    // Removes the file and forgets it.
    void discard();
    // What keeping the journal has cost the thread that calls it: making the text, and
    // waiting for a logged line to be on disk; the states handed over at a logged line and
    // every ninth tick, counted.
    struct Cost {
        std::chrono::nanoseconds making{0};
        std::chrono::nanoseconds waiting{0};
        int lineWrites = 0;
        int tickWrites = 0;
    };
    const Cost& cost() const { return cost_; }
    // Keeps no journal from now on.
    void close() {
        file_.reset();
        path_.reset();
    }

  private:
    bool unfinished() const;

    JournalParts parts_;
    std::optional<std::filesystem::path> path_;
    std::unique_ptr<SnapshotFile> file_;
    JournalLineBlocks blocks_;
    bool onDisk_ = false;  // the file holds this flight
    std::size_t linesWritten_ = 0;
    std::size_t messagesWritten_ = 0;
    int ticksSinceWrite_ = 0;
    Cost cost_;
};

}  // namespace aviolog::recorder
