#include "gauge/link_server.h"

#include <span>

namespace aviolog::gauge {
namespace {

// Enough for a burst of keys while the program is busy; beyond it keys are dropped as a
// failed send would drop them.
constexpr std::size_t kMaxQueuedBytes = 64 * wire::kGaugeRecordBytes;

std::string_view failureText(platform::ListenStep step) {
    switch (step) {
        case platform::ListenStep::CreateSocket:
            return kSocketCreateError;
        case platform::ListenStep::NonBlocking:
            return kSocketNonBlockingError;
        case platform::ListenStep::Bind:
        case platform::ListenStep::Listen:
        case platform::ListenStep::Done:
            break;
    }
    return kSocketBindError;
}

}  // namespace

LinkServer::LinkServer(platform::NonBlockingNetwork& network, Terminal& terminal)
    : network_(network), terminal_(terminal), channel_(wire::kGaugeRecordBytes, kMaxQueuedBytes) {}

void LinkServer::setUp(int port) {
    if (started_) return;
    started_ = true;
    platform::ListenResult result = network_.listen(port, kBacklog);
    if (result.step != platform::ListenStep::Done) {
        terminal_.showSetupFailure(failureText(result.step));
        return;
    }
    listener_ = std::move(result.listener);
}

void LinkServer::update() {
    if (linked_ && !channel_.isOpen()) {
        // A send found the link broken since the last cycle; no program is taken in this
        // cycle, so that the next one is greeted as new even when it already waits.
        linkBroken();
    } else if (!channel_.isOpen() && listener_) {
        if (auto stream = listener_->accept()) {
            channel_.attach(std::move(stream));
            linked_ = true;
        }
    }
    if (!terminal_.beginUpdate()) return;
    if (!terminal_.linkUpdate(channel_.isOpen())) return;
    channel_.flush();
    std::string bytes;
    switch (channel_.poll(bytes)) {
        case platform::RecordChannel::Poll::Nothing:
            break;
        case platform::RecordChannel::Poll::Record:
            terminal_.receive(
                wire::decodeGaugeRecord(std::span<const char, wire::kGaugeRecordBytes>(
                    bytes.data(), wire::kGaugeRecordBytes)));
            break;
        case platform::RecordChannel::Poll::Closed:
            // A program that quit or broke the link: wait for the next one.
            linkBroken();
            break;
    }
}

void LinkServer::linkBroken() {
    linked_ = false;
    terminal_.connectionLost();
    terminal_.linkUpdate(false);
}

void LinkServer::sendText(std::string_view text) {
    channel_.send(wire::encodeGaugeRecord(wire::GaugeRecordType::Command, text));
}

}  // namespace aviolog::gauge
