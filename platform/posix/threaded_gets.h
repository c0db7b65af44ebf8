#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/background_gets.h"

namespace aviolog::platform {
class HttpClient;
}

namespace aviolog::platform::posix {

// A worker thread per lane, each with its own HTTP client (so its own kept connection),
// and one queue of answers that the owner's event loop drains: readyFd() becomes readable
// when answers wait, and deliverAnswers() runs their callbacks on the owner's thread. A
// lane sends its next request once the answer to its last one has been delivered, so
// that a callback that gives a site up stops what waits behind the failure.
class ThreadedGets final : public BackgroundGets {
  public:
    // Makes the client of one worker. abandon turns true when the object is going away; a
    // client should give up a transfer under way then, so that closing never waits for a
    // site that does not answer.
    using ClientFactory =
        std::function<std::unique_ptr<HttpClient>(const std::atomic<bool>& abandon)>;

    explicit ThreadedGets(ClientFactory factory);
    // Stops the workers; requests not yet answered are abandoned and their callbacks never run.
    ~ThreadedGets() override;
    ThreadedGets(const ThreadedGets&) = delete;
    ThreadedGets& operator=(const ThreadedGets&) = delete;

    void get(int lane, std::string url, Done done) override;
    void send(int lane, WebRequest request, SendDone done) override;
    void dropPending(int lane) override;

    // Readable while answers wait for deliverAnswers(); -1 when none could be made, and
    // then the owner has to call deliverAnswers() on its own beat.
    int readyFd() const { return readyFd_; }
    // Runs the callbacks of the answers that have arrived, in order.
    void deliverAnswers();
    // Requests given and not yet delivered.
    std::size_t outstanding() const;

  private:
    // A page to get (url) or, when sendDone is set, a web API request.
    struct Request {
        std::string url;
        Done done;
        WebRequest web;
        SendDone sendDone;
    };
    struct Lane {
        std::deque<Request> queue;
        // The lane's answer waits for deliverAnswers(): the next request goes out only
        // once the owner has seen it, and may have dropped what is queued behind.
        bool answerUndelivered = false;
        std::thread worker;
    };
    struct Answer {
        Done done;
        std::optional<std::string> body;
        Lane* lane;
        SendDone sendDone;
        std::optional<WebAnswer> webAnswer;
    };
    void enqueue(int lane, Request request);
    void work(Lane& lane, std::unique_ptr<HttpClient> client);

    ClientFactory factory_;
    std::atomic<bool> abandon_{false};
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::map<int, std::unique_ptr<Lane>> lanes_;
    std::vector<Answer> answers_;
    // Lets deliverAnswers() return without a lock or a system call when nothing waits.
    std::atomic<bool> answersWaiting_{false};
    std::size_t outstanding_ = 0;
    int readyFd_ = -1;
};

}  // namespace aviolog::platform::posix
