#include "common/snapshot_file.h"

#include <chrono>

#include "common/text_file.h"

namespace aviolog {

SnapshotFile::SnapshotFile(std::filesystem::path path)
    : path_(std::move(path)), thread_([this] { run(); }) {}

SnapshotFile::~SnapshotFile() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_one();
    thread_.join();
}

void SnapshotFile::store(std::string bytes) {
    {
        std::lock_guard lock(mutex_);
        pending_ = std::move(bytes);
        ++handedOver_;
        urgent_ = true;
    }
    wake_.notify_one();
}

void SnapshotFile::storeLater(std::string bytes) {
    std::lock_guard lock(mutex_);
    pending_ = std::move(bytes);
    ++handedOver_;
}

bool SnapshotFile::storeAndWait(std::string bytes) {
    std::unique_lock lock(mutex_);
    pending_ = std::move(bytes);
    const std::uint64_t mine = ++handedOver_;
    urgent_ = true;
    wake_.notify_one();
    written_.wait(lock, [&] { return done_ >= mine; });
    return lastWriteOk_;
}

void SnapshotFile::remove() {
    std::unique_lock lock(mutex_);
    const std::uint64_t last = handedOver_;
    if (pending_) {
        urgent_ = true;
        wake_.notify_one();
    }
    written_.wait(lock, [&] { return done_ >= last; });
    std::error_code ec;
    std::filesystem::remove(path_, ec);
}

void SnapshotFile::run() {
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait_for(lock, std::chrono::milliseconds(kLookEveryMs),
                       [&] { return urgent_ || stopping_; });
        if (!pending_) {
            if (stopping_) return;
            continue;
        }
        urgent_ = false;
        std::string bytes = std::move(*pending_);
        pending_.reset();
        const std::uint64_t count = handedOver_;
        lock.unlock();
        const bool ok = writeFileAtomically(path_, bytes);
        lock.lock();
        done_ = count;
        lastWriteOk_ = ok;
        written_.notify_all();
    }
}

}  // namespace aviolog
