#pragma once

#include <string>
#include <utility>
#include <vector>

namespace aviolog::model {

using JournalValues = std::vector<std::pair<std::string, std::string>>;

// A part of the program beside the recorder whose state must go on with a flight after a
// restart: the flight journal writes its "key=value" lines (keys under a prefix of its
// own, a key may repeat) and gives them back when the flight is resumed.
class JournalSection {
  public:
    virtual ~JournalSection() = default;
    virtual void writeJournal(JournalValues& out) const = 0;
    // Every value the journal read; those of other parts are passed over.
    virtual void restoreJournal(const JournalValues& values) = 0;
    // True once after something changed that should reach the disk before the next
    // regular write.
    virtual bool journalDue() = 0;
};

}  // namespace aviolog::model
