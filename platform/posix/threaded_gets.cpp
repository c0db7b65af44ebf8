#include "platform/posix/threaded_gets.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>

#include "platform/http_client.h"
#include "platform/http_get.h"

namespace aviolog::platform::posix {

ThreadedGets::ThreadedGets(ClientFactory factory)
    : factory_(std::move(factory)), readyFd_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

ThreadedGets::~ThreadedGets() {
    {
        std::lock_guard lock(mutex_);
        abandon_ = true;
    }
    wake_.notify_all();
    for (auto& [id, lane] : lanes_) {
        if (lane->worker.joinable()) lane->worker.join();
    }
    if (readyFd_ >= 0) ::close(readyFd_);
}

void ThreadedGets::get(int lane, std::string url, Done done) {
    enqueue(lane, Request{std::move(url), std::move(done), {}, {}});
}

void ThreadedGets::send(int lane, WebRequest request, SendDone done) {
    // Without a callback the request could not be told from a page to get.
    if (!done) done = [](std::optional<WebAnswer>) {};
    enqueue(lane, Request{{}, {}, std::move(request), std::move(done)});
}

void ThreadedGets::enqueue(int lane, Request request) {
    std::lock_guard lock(mutex_);
    std::unique_ptr<Lane>& slot = lanes_[lane];
    if (!slot) {
        slot = std::make_unique<Lane>();
        // The client is made here, on the owner's thread: the factory need not be thread-safe.
        slot->worker = std::thread(&ThreadedGets::work, this, std::ref(*slot), factory_(abandon_));
    }
    slot->queue.push_back(std::move(request));
    ++outstanding_;
    wake_.notify_all();
}

void ThreadedGets::dropPending(int lane) {
    std::lock_guard lock(mutex_);
    const auto it = lanes_.find(lane);
    if (it == lanes_.end()) return;
    outstanding_ -= it->second->queue.size();
    it->second->queue.clear();
}

void ThreadedGets::work(Lane& lane, std::unique_ptr<HttpClient> client) {
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock,
                   [&] { return abandon_ || (!lane.answerUndelivered && !lane.queue.empty()); });
        if (abandon_) return;
        Request request = std::move(lane.queue.front());
        lane.queue.pop_front();
        lock.unlock();
        std::optional<std::string> body;
        std::optional<WebAnswer> webAnswer;
        if (client && request.sendDone) {
            webAnswer = client->send(request.web);
        } else if (client) {
            body = httpGet(*client, request.url);
        }
        lock.lock();
        if (abandon_) return;
        answers_.push_back({std::move(request.done), std::move(body), &lane,
                            std::move(request.sendDone), std::move(webAnswer)});
        lane.answerUndelivered = true;
        answersWaiting_ = true;
        if (readyFd_ >= 0) {
            const std::uint64_t one = 1;
            [[maybe_unused]] const ssize_t n = ::write(readyFd_, &one, sizeof one);
        }
    }
}

void ThreadedGets::deliverAnswers() {
    if (!answersWaiting_.load()) return;
    std::vector<Answer> ready;
    {
        std::lock_guard lock(mutex_);
        answersWaiting_ = false;
        if (readyFd_ >= 0) {
            std::uint64_t count = 0;
            [[maybe_unused]] const ssize_t n = ::read(readyFd_, &count, sizeof count);
        }
        ready.swap(answers_);
    }
    // Callbacks may give new requests, so none runs under the lock.
    for (Answer& a : ready) {
        {
            std::lock_guard lock(mutex_);
            --outstanding_;
        }
        if (a.sendDone) {
            a.sendDone(std::move(a.webAnswer));
        } else if (a.done) {
            a.done(std::move(a.body));
        }
        {
            std::lock_guard lock(mutex_);
            a.lane->answerUndelivered = false;
        }
        wake_.notify_all();
    }
}

std::size_t ThreadedGets::outstanding() const {
    std::lock_guard lock(mutex_);
    return outstanding_;
}

}  // namespace aviolog::platform::posix
