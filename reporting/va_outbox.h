#pragma once

#include <deque>
#include <filesystem>
#include <string>
#include <string_view>

namespace aviolog::reporting {

// The requests one VA destination has not answered yet, oldest first, kept in a file of
// the working folder so that a program that dies or exits keeps them for its next run.
// Each record is the request's length, a blank, the request and CR LF; the file is
// replaced whole at every change (written atomically), so a kill leaves the old queue or
// the new one.
class VaOutbox {
  public:
    // Reads what an earlier run left. A file cut inside a record (edited, or damaged
    // outside the program) gives the whole records before the cut; its bytes are kept
    // beside it as path + ".damaged" so that what could not be read is not overwritten.
    explicit VaOutbox(std::filesystem::path path);

    const std::filesystem::path& path() const { return path_; }
    bool empty() const { return requests_.empty(); }
    std::size_t size() const { return requests_.size(); }
    const std::string& oldest() const { return requests_.front(); }
    const std::deque<std::string>& requests() const { return requests_; }

    // On disk before it returns; false when the file could not be written (the request is
    // still kept for this run).
    bool append(std::string request);
    // The oldest was answered: never to be sent again. The file goes once nothing waits.
    bool removeOldest();
    // Every waiting request at once, as one replacement of the file.
    bool replace(std::deque<std::string> requests);

  private:
    bool write() const;

    std::filesystem::path path_;
    std::deque<std::string> requests_;
};

// The whole records of an outbox file, in order; cut is set when bytes after them could
// not be read as a record.
struct OutboxRecords {
    std::deque<std::string> requests;
    bool cut = false;
};
OutboxRecords readOutbox(std::string_view bytes);
std::string outboxBytes(const std::deque<std::string>& requests);

}  // namespace aviolog::reporting
