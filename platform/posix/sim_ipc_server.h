#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <span>
#include <string>
#include <string_view>

#include "platform/posix/event_loop.h"
#include "platform/posix/shared_memory_guard.h"

namespace aviolog::platform::posix {

// The serving side of the Linux simulator IPC: listens on the abstract name of the
// window class, maps each client's block by name and answers each message with the
// handler's result. Runs on an EventLoop.
class SimIpcServer {
  public:
    // Walks one request block; returns the reply value.
    using Handler = std::function<std::uint32_t(std::span<std::byte> block)>;

    SimIpcServer(EventLoop& loop, Handler handler);
    ~SimIpcServer();
    SimIpcServer(const SimIpcServer&) = delete;
    SimIpcServer& operator=(const SimIpcServer&) = delete;

    // False, with errno set, when the name cannot be bound (another server has it).
    bool listen(std::string_view className);

    // While not answering, requests wait unread, as they would for a hung simulator;
    // those whose sender gave up and hung up meanwhile are dropped unanswered.
    void setAnswering(bool answering);
    bool answering() const { return answering_; }

    int clientCount() const { return static_cast<int>(clients_.size()); }
    std::uint64_t requestsServed() const { return served_; }

  private:
    // A client's block, mapped while the client lives; the client can shrink it under us.
    struct Mapping {
        Mapping() = default;
        Mapping(std::byte* v, SharedMemoryGuard g) : view(v), guard(std::move(g)) {}
        Mapping(Mapping&& other) noexcept;
        Mapping& operator=(Mapping&&) = delete;
        ~Mapping();
        std::byte* view = nullptr;
        SharedMemoryGuard guard;
    };
    struct Client {
        std::map<std::string, Mapping, std::less<>> blocks;
        // The block of the previous message: a link names the same one every time.
        std::string lastName;
        Mapping* last = nullptr;
    };
    // A link uses one block per connection; a few spare cover a client that reopens.
    static constexpr std::size_t kMaxBlocksPerClient = 4;

    void accept();
    void serve(int fd, short revents);
    void drop(int fd);
    Mapping* blockFor(Client& client, std::string_view name);
    void forget(Client& client, std::string_view name);
    short clientEvents() const;

    EventLoop& loop_;
    Handler handler_;
    int listenFd_ = -1;
    bool answering_ = true;
    std::map<int, Client> clients_;
    std::uint64_t served_ = 0;
};

}  // namespace aviolog::platform::posix
