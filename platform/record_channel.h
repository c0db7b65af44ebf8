#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "platform/nonblocking_tcp.h"

namespace aviolog::platform {

// Fixed-size records over a non-blocking stream, for a peer that polls from a timer.
// A record leaves whole and in order: what the system cannot take at once waits in an
// outbox that each send and flush drains, so a record is never cut in the middle. A record
// is handed out only once all its bytes arrived, however the reads divide them.
class RecordChannel {
  public:
    enum class Poll { Record, Nothing, Closed };

    RecordChannel(std::size_t recordBytes, std::size_t maxQueuedBytes)
        : recordBytes_(recordBytes), maxQueuedBytes_(maxQueuedBytes) {}

    // Takes over a new stream; what was queued or half received on the old one is dropped.
    void attach(std::unique_ptr<NonBlockingStream> stream);
    void close();
    bool isOpen() const { return stream_ != nullptr; }
    // True once the stream's connect completed; a connect that failed closes the channel.
    bool connected();

    // Queues one record (exactly recordBytes) and sends what the system takes. Skipped
    // when closed, or when the outbox is full (the peer stopped reading).
    void send(std::string_view record);
    void flush();
    // One read, at most the rest of the record being assembled. A record is complete:
    // Record and its bytes. The peer closed or the read failed: Closed, and the channel is.
    Poll poll(std::string& record);

  private:
    std::size_t recordBytes_;
    std::size_t maxQueuedBytes_;
    std::unique_ptr<NonBlockingStream> stream_;
    std::string outbox_;
    std::size_t sentBytes_ = 0;  // of the outbox's front
    std::string inbox_;
};

}  // namespace aviolog::platform
