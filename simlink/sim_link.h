#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/clock.h"
#include "platform/sim_ipc.h"

namespace aviolog::simlink {

// Told once when the link declares the simulator lost (the fourth failed exchange in a
// row); the link has closed itself by then.
class LinkLossObserver {
  public:
    virtual ~LinkLossObserver() = default;
    virtual void simulatorLost() = 0;
};

// The program's one channel to the simulator interface: reads and writes of numbered
// variables are queued into a shared block and exchanged with one synchronous message.
class SimLink {
  public:
    enum Result : std::uint32_t {
        kOk = 0,
        kAlreadyOpen = 1,
        kNoWindow = 2,
        kNoMessage = 3,
        kNoAtom = 4,
        kNoBlock = 5,
        kNoView = 6,
        kWrongPeer = 7,
        kWrongSimulator = 8,
        kClosed = 9,
        kNothingQueued = 10,
        kTimedOut = 11,
        kSendFailed = 12,
        kBadReply = 13,
        kWrongPeerLegacy = 14,
        kTooLarge = 15,
    };

    static constexpr std::uint16_t kLibraryVersion = 1004;
    static constexpr std::uint32_t kMinimumFsuipcVersion = 0x19980005;
    static constexpr std::uint16_t kSimulatorSignature = 0xFADE;
    static constexpr std::uint16_t kLostCount = 4;
    static constexpr int kSendAttempts = 9;
    static constexpr int kHandshakeAttempts = 5;
    static constexpr int kDefaultSendTimeoutMs = 2000;
    static constexpr int kDefaultWaitMs = 100;

    // What a result code means, for diagnostics; the link itself never shows a message.
    static const char* resultText(std::uint32_t result);

    SimLink(platform::SimIpc& ipc, platform::Clock& clock);
    virtual ~SimLink();
    SimLink(const SimLink&) = delete;
    SimLink& operator=(const SimLink&) = delete;

    // Opens the link; requestedVersion 0 accepts any simulator.
    bool open(std::uint32_t requestedVersion);
    bool read(std::uint32_t offset, std::uint32_t size, void* destination);
    bool write(std::uint32_t offset, std::uint32_t size, const void* source);
    // The exchange: true once every queued read's destination holds the simulator's value.
    bool process();
    void close();

    bool isOpen() const { return view_ != nullptr; }
    std::uint32_t lastResult() const { return lastResult_; }
    std::uint16_t failureCount() const { return failureCount_; }
    // The connect procedure clears the count once it has resumed a lost flight.
    void setFailureCount(std::uint16_t count) { failureCount_ = count; }
    std::uint32_t fsuipcVersion() const { return fsuipcVersion_; }
    std::uint32_t simulatorVersion() const { return simulatorVersion_; }

    // Losses are declared only once an observer is attached; until then failures just count.
    void setLossObserver(LinkLossObserver* observer) { lossObserver_ = observer; }

    // The waits stay as the protocol wants them in the program; tests shorten them.
    void setTimingForTests(int sendTimeoutMs, int waitMs) {
        sendTimeoutMs_ = sendTimeoutMs;
        waitMs_ = waitMs;
    }

  private:
    bool queueRead(std::uint32_t offset, std::uint32_t size, void* destination);
    bool queueWrite(std::uint32_t offset, std::uint32_t size, const void* source);
    bool exchange();
    bool copyAnswers();
    bool fits(std::uint32_t size, std::size_t headerBytes) const;
    // What a read record carries in its destination field.
    std::uint32_t slotOf(std::size_t recordIndex) const;
    bool fail(std::uint32_t result);
    bool linkLost();

    platform::SimIpc& ipc_;
    platform::Clock& clock_;
    LinkLossObserver* lossObserver_ = nullptr;

    std::uint16_t failureCount_ = 0;
    std::uint32_t lastResult_ = kOk;
    platform::WindowHandle window_ = 0;
    std::uint32_t message_ = 0;
    std::uint16_t atom_ = 0;
    std::unique_ptr<platform::SharedBlock> mapping_;
    std::byte* view_ = nullptr;
    std::byte* next_ = nullptr;
    std::uint32_t fsuipcVersion_ = 0;
    std::uint32_t simulatorVersion_ = 0;

    // Every record queued since the last exchange, as we wrote it. The answer is checked
    // against these rather than walked as the peer left it: the peer may only fill the
    // data of reads. A read record carries its index here, not an address: the wire has
    // only 32 bits for it, and the peer must never be able to pick where we write.
    struct Record {
        std::uint32_t position;  // of the record in the block
        std::uint32_t kind;
        std::uint32_t offset;
        std::uint32_t size;
        void* destination;  // reads only; null: nothing is copied back
    };
    std::vector<Record> records_;
    std::uint32_t terminator_ = 0;  // where the end mark of the exchange lies

    int sendTimeoutMs_ = kDefaultSendTimeoutMs;
    int waitMs_ = kDefaultWaitMs;
};

}  // namespace aviolog::simlink
