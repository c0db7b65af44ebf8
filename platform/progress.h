#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>

namespace aviolog::platform {

// The state of a job that runs on a worker thread while the pilot watches a progress
// window with a Cancel button. The worker reports and finishes; the window reads the
// percentage and asks for cancellation. Safe to use from both threads.
class Progress {
  public:
    void setPercent(int percent) { percent_.store(percent); }
    int percent() const { return percent_.load(); }

    void cancel() { cancelled_.store(true); }
    bool cancelled() const { return cancelled_.load(); }

    void finish() {
        {
            std::lock_guard lock(mutex_);
            finished_ = true;
        }
        done_.notify_all();
    }
    bool finished() const {
        std::lock_guard lock(mutex_);
        return finished_;
    }
    void waitUntilFinished() {
        std::unique_lock lock(mutex_);
        done_.wait(lock, [this] { return finished_; });
    }

  private:
    std::atomic<int> percent_{0};
    std::atomic<bool> cancelled_{false};
    mutable std::mutex mutex_;
    std::condition_variable done_;
    bool finished_ = false;
};

}  // namespace aviolog::platform
