#include "app/gauge_client.h"

#include <span>

namespace aviolog::app {
namespace {
// Pages and log lines of a busy flight while the terminal is slow to read; beyond it
// records are dropped as an unanswered send would drop them.
constexpr std::size_t kMaxQueuedBytes = 256 * wire::kGaugeRecordBytes;
}  // namespace

GaugeClient::GaugeClient(platform::NonBlockingNetwork& network)
    : network_(network), channel_(wire::kGaugeRecordBytes, kMaxQueuedBytes) {}

bool GaugeClient::open(const std::string& host, int port) {
    host_ = host;
    port_ = port;
    active_ = true;
    connect();
    connected_ = channel_.connected();
    return connected_;
}

void GaugeClient::connect() {
    connected_ = false;
    ticksSinceDrop_ = 0;
    channel_.attach(network_.connect(host_, port_));
}

void GaugeClient::send(wire::GaugeRecordType type, std::string_view text) {
    if (connected_) channel_.send(wire::encodeGaugeRecord(type, text));
}

GaugeClient::Event GaugeClient::poll(wire::GaugeRecord& record) {
    if (!active_) return Event::Nothing;
    if (!channel_.isOpen()) {
        connected_ = false;
        if (++ticksSinceDrop_ >= kReconnectTicks) connect();
        return Event::Nothing;
    }
    if (!connected_) {
        connected_ = channel_.connected();
        return connected_ ? Event::Connected : Event::Nothing;
    }
    channel_.flush();
    std::string bytes;
    switch (channel_.poll(bytes)) {
        case platform::RecordChannel::Poll::Nothing:
            return Event::Nothing;
        case platform::RecordChannel::Poll::Closed:
            connected_ = false;
            return Event::Nothing;
        case platform::RecordChannel::Poll::Record:
            break;
    }
    record = wire::decodeGaugeRecord(
        std::span<const char, wire::kGaugeRecordBytes>(bytes.data(), wire::kGaugeRecordBytes));
    return Event::Record;
}

}  // namespace aviolog::app
