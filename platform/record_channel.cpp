#include "platform/record_channel.h"

#include <utility>

namespace aviolog::platform {

void RecordChannel::attach(std::unique_ptr<NonBlockingStream> stream) {
    close();
    stream_ = std::move(stream);
}

void RecordChannel::close() {
    stream_.reset();
    outbox_.clear();
    sentBytes_ = 0;
    inbox_.clear();
}

bool RecordChannel::connected() {
    if (!stream_) return false;
    if (stream_->connected()) return true;
    // A failed connect shows as a failed send; an empty one costs nothing.
    if (!stream_->send({})) close();
    return false;
}

void RecordChannel::send(std::string_view record) {
    if (!stream_) return;
    if (outbox_.size() - sentBytes_ + record.size() > maxQueuedBytes_) return;
    outbox_.append(record);
    flush();
}

void RecordChannel::flush() {
    if (!stream_ || sentBytes_ == outbox_.size()) return;
    const auto taken = stream_->send(std::string_view(outbox_).substr(sentBytes_));
    if (!taken) {
        close();
        return;
    }
    sentBytes_ += *taken;
    if (sentBytes_ == outbox_.size()) {
        outbox_.clear();
        sentBytes_ = 0;
    }
}

RecordChannel::Poll RecordChannel::poll(std::string& record) {
    if (!stream_) return Poll::Closed;
    const std::size_t have = inbox_.size();
    inbox_.resize(recordBytes_);
    std::size_t got = 0;
    const StreamRead result = stream_->receive(std::span<char>(inbox_).subspan(have), got);
    inbox_.resize(have + got);
    switch (result) {
        case StreamRead::WouldBlock:
            return Poll::Nothing;
        case StreamRead::Closed:
        case StreamRead::Failed:
            close();
            return Poll::Closed;
        case StreamRead::Data:
            break;
    }
    if (inbox_.size() < recordBytes_) return Poll::Nothing;
    record = std::move(inbox_);
    inbox_.clear();
    return Poll::Record;
}

}  // namespace aviolog::platform
