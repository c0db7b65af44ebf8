#pragma once

#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace aviolog {

// One file that always holds a whole state: each new state replaces the last with
// writeFileAtomically (temporary file, fsync, rename), on a thread of its own, so that
// the caller never waits for the disk unless it asks to. States handed over faster than
// the disk takes them are merged: only the newest is written. A kill at any moment
// leaves the old state or the new one on disk.
class SnapshotFile {
  public:
    explicit SnapshotFile(std::filesystem::path path);
    // Writes what is still pending before the thread ends.
    ~SnapshotFile();
    SnapshotFile(const SnapshotFile&) = delete;
    SnapshotFile& operator=(const SnapshotFile&) = delete;

    const std::filesystem::path& path() const { return path_; }

    // Hands the state over and returns at once.
    void store(std::string bytes);
    // Hands the state over without waking the writer, which takes it up at its next look
    // (at most kLookEveryMs later) or with the next state handed over: the caller pays for
    // no thread switch.
    void storeLater(std::string bytes);
    static constexpr int kLookEveryMs = 1000;
    // Hands the state over and returns once it (or a newer one) is on disk; false when it
    // could not be written.
    bool storeAndWait(std::string bytes);
    // Waits for what is pending, then removes the file.
    void remove();

  private:
    void run();

    std::filesystem::path path_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable written_;
    std::optional<std::string> pending_;
    std::uint64_t handedOver_ = 0;  // states given, counted
    std::uint64_t done_ = 0;        // the count of the last state written or refused
    bool lastWriteOk_ = true;
    bool urgent_ = false;  // the pending state is to be written now
    bool stopping_ = false;
    std::thread thread_;  // last: it starts once everything above exists
};

}  // namespace aviolog
