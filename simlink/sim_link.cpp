#include "simlink/sim_link.h"

#include <atomic>
#include <cstring>
#include <iterator>
#include <string>

#include "common/text_format.h"
#include "wire/sim_ipc_wire.h"
#include "wire/sim_offsets.h"

namespace aviolog::simlink {

namespace var = wire::var;

namespace {

// Numbers the opens of the whole process, so that no two links, and no reopen of one,
// ever ask for a block name that is still in use.
std::uint32_t nextOpenNumber() {
    static std::atomic<std::uint32_t> opens{0};
    return ++opens;
}

}  // namespace

const char* SimLink::resultText(std::uint32_t result) {
    static constexpr const char* kTexts[] = {
        "ok",
        "the link is already open",
        "no simulator interface found (neither UIPCMAIN nor FS98MAIN)",
        "the window message could not be registered",
        "the block's atom could not be created",
        "the shared block could not be created, or its name is in use",
        "the shared block could not be mapped",
        "the peer is too old, or is not the simulator interface",
        "the simulator is not the version asked for",
        "the link is closed",
        "nothing was queued",
        "the simulator does not answer",
        "the simulator cannot be reached",
        "the simulator refused the request",
        "the peer behind FS98MAIN is too old, or is not the simulator interface",
        "the request does not fit into the shared block",
    };
    return result < std::size(kTexts) ? kTexts[result] : "unknown result";
}

SimLink::SimLink(platform::SimIpc& ipc, platform::Clock& clock) : ipc_(ipc), clock_(clock) {}

SimLink::~SimLink() {
    close();
}

bool SimLink::fail(std::uint32_t result) {
    lastResult_ = result;
    return false;
}

bool SimLink::open(std::uint32_t requestedVersion) {
    if (view_ != nullptr) return fail(kAlreadyOpen);

    fsuipcVersion_ = 0;
    simulatorVersion_ = 0;
    bool legacyWindow = false;
    window_ = ipc_.findWindow(wire::kWindowClass);
    if (window_ == 0) {
        window_ = ipc_.findWindow(wire::kLegacyWindowClass);
        legacyWindow = true;
    }
    if (window_ == 0) return fail(kNoWindow);

    // Every failure from here on closes what was acquired before it.
    const auto abandon = [this](std::uint32_t result) {
        close();
        return fail(result);
    };

    message_ = ipc_.registerMessage(wire::kMessageName);
    if (message_ == 0) return abandon(kNoMessage);

    const std::string blockName =
        format(wire::kBlockNameFormat, ipc_.processId(), nextOpenNumber());
    atom_ = ipc_.addAtom(blockName);
    if (atom_ == 0) return abandon(kNoAtom);

    mapping_ = ipc_.createBlock(blockName, wire::kBlockSize);
    if (!mapping_) return abandon(kNoBlock);
    view_ = mapping_->map();
    if (view_ == nullptr) return abandon(kNoView);
    next_ = view_;

    for (int attempt = 0; attempt < kHandshakeAttempts; ++attempt) {
        if (fsuipcVersion_ != 0 && simulatorVersion_ != 0) break;
        const bool queued =
            queueRead(var::FsuipcVersion.offset, 4, &fsuipcVersion_) &&
            queueRead(var::SimulatorVersion.offset, 4, &simulatorVersion_) &&
            (attempt > 0 || queueWrite(var::LibraryVersion.offset, 2, &kLibraryVersion));
        if (!queued || !exchange()) return abandon(lastResult_);
        clock_.sleepMs(waitMs_);
    }

    if (fsuipcVersion_ < kMinimumFsuipcVersion ||
        (simulatorVersion_ >> 16) != kSimulatorSignature) {
        return abandon(legacyWindow ? kWrongPeerLegacy : kWrongPeer);
    }
    simulatorVersion_ &= 0xFFFF;
    if (requestedVersion != 0 && requestedVersion != simulatorVersion_) {
        return abandon(kWrongSimulator);
    }
    lastResult_ = kOk;
    return true;
}

bool SimLink::fits(std::uint32_t size, std::size_t headerBytes) const {
    const std::uint64_t used = static_cast<std::uint64_t>(next_ - view_);
    return used + size + headerBytes + wire::kTerminatorBytes <= wire::kMaxRequestBytes;
}

bool SimLink::queueRead(std::uint32_t offset, std::uint32_t size, void* destination) {
    if (view_ == nullptr) return fail(kClosed);
    if (!fits(size, wire::kReadHeaderBytes)) return fail(kTooLarge);
    const auto position = static_cast<std::uint32_t>(next_ - view_);
    records_.push_back({position, wire::kRecordRead, offset, size, destination});
    wire::store32(next_, wire::kRecordRead);
    wire::store32(next_ + 4, offset);
    wire::store32(next_ + 8, size);
    wire::store32(next_ + 12, slotOf(records_.size() - 1));
    std::memset(next_ + wire::kReadHeaderBytes, 0, size);
    next_ += wire::kReadHeaderBytes + size;
    lastResult_ = kOk;
    return true;
}

bool SimLink::queueWrite(std::uint32_t offset, std::uint32_t size, const void* source) {
    if (view_ == nullptr) return fail(kClosed);
    if (!fits(size, wire::kWriteHeaderBytes)) return fail(kTooLarge);
    const auto position = static_cast<std::uint32_t>(next_ - view_);
    records_.push_back({position, wire::kRecordWrite, offset, size, nullptr});
    wire::store32(next_, wire::kRecordWrite);
    wire::store32(next_ + 4, offset);
    wire::store32(next_ + 8, size);
    if (size != 0) std::memcpy(next_ + wire::kWriteHeaderBytes, source, size);
    next_ += wire::kWriteHeaderBytes + size;
    lastResult_ = kOk;
    return true;
}

bool SimLink::read(std::uint32_t offset, std::uint32_t size, void* destination) {
    return queueRead(offset, size, destination) || linkLost();
}

bool SimLink::write(std::uint32_t offset, std::uint32_t size, const void* source) {
    return queueWrite(offset, size, source) || linkLost();
}

bool SimLink::process() {
    return exchange() || linkLost();
}

bool SimLink::exchange() {
    if (view_ == nullptr) return fail(kClosed);
    if (next_ == view_) return fail(kNothingQueued);
    if (mapping_->damaged()) {
        // Shrunk by the peer: nothing sent through this block can be answered.
        next_ = view_;
        records_.clear();
        return fail(kBadReply);
    }
    wire::store32(next_, wire::kRecordEnd);
    terminator_ = static_cast<std::uint32_t>(next_ - view_);
    next_ = view_;

    platform::SendOutcome outcome;
    for (int attempt = 0; attempt < kSendAttempts; ++attempt) {
        outcome = ipc_.send(window_, message_, atom_, 0, sendTimeoutMs_);
        // A peer that broke the protocol has had its connection dropped; sending the
        // block again would apply its writes twice.
        if (outcome.status == platform::SendStatus::Answered ||
            outcome.status == platform::SendStatus::ProtocolError) {
            break;
        }
        clock_.sleepMs(waitMs_);
    }
    bool answered = false;
    if (outcome.status == platform::SendStatus::ProtocolError) {
        lastResult_ = kBadReply;
    } else if (outcome.status != platform::SendStatus::Answered) {
        lastResult_ = outcome.systemError == 0 ? kTimedOut : kSendFailed;
    } else if (outcome.reply != wire::kReplySuccess || !copyAnswers()) {
        lastResult_ = kBadReply;
    } else {
        answered = true;
    }
    records_.clear();
    if (!answered) return false;
    lastResult_ = kOk;
    failureCount_ = 0;
    return true;
}

std::uint32_t SimLink::slotOf(std::size_t recordIndex) const {
    return records_[recordIndex].destination != nullptr
               ? static_cast<std::uint32_t>(recordIndex + 1)
               : 0;
}

bool SimLink::copyAnswers() {
    // The block is shared with another process: the peer may fill the data of reads and
    // nothing else. A record or the end mark changed means the answer is not to be
    // trusted, and the destinations are left as they were.
    for (std::size_t i = 0; i < records_.size(); ++i) {
        const Record& r = records_[i];
        const std::byte* record = view_ + r.position;
        if (wire::load32(record) != r.kind || wire::load32(record + 4) != r.offset ||
            wire::load32(record + 8) != r.size ||
            (r.kind == wire::kRecordRead && wire::load32(record + 12) != slotOf(i))) {
            return false;
        }
    }
    if (wire::load32(view_ + terminator_) != wire::kRecordEnd) return false;
    for (const Record& r : records_) {
        if (r.destination != nullptr && r.size != 0) {
            std::memcpy(r.destination, view_ + r.position + wire::kReadHeaderBytes, r.size);
        }
    }
    // The peer shrank the block while we read it: what we copied is not its answer.
    return !mapping_->damaged();
}

bool SimLink::linkLost() {
    if (lossObserver_ != nullptr && failureCount_ == 3) {
        close();
        failureCount_ = kLostCount;
        lossObserver_->simulatorLost();
    } else if (failureCount_ < 3) {
        ++failureCount_;
    }
    return false;
}

void SimLink::close() {
    if (atom_ != 0) {
        ipc_.deleteAtom(atom_);
        atom_ = 0;
    }
    if (view_ != nullptr) {
        mapping_->unmap();
        view_ = nullptr;
        next_ = nullptr;
    }
    mapping_.reset();
    if (window_ != 0) ipc_.releaseWindow(window_);
    window_ = 0;
    message_ = 0;
    records_.clear();
}

}  // namespace aviolog::simlink
