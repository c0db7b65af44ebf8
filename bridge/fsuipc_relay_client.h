#pragma once

// The Linux end of the relay to FSUIPC inside a Wine or Proton prefix: each request block
// the program sends to the bridge goes to aviolog-fsuipc-relay over TCP, and FSUIPC's
// answer comes back into the block (wire/relay_wire.h).

#include <netinet/in.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "wire/relay_wire.h"
#include "wire/sim_ipc_wire.h"

namespace aviolog::bridge {

struct RelayTiming {
    // How long FSUIPC may take inside the prefix, and how long the bridge waits for the
    // relay, connecting included: both below the program's own time-out (2000 ms), so the
    // program always hears an answer or a failure from the bridge and counts it as one
    // failed exchange.
    int sendTimeoutMs = 1000;
    int answerTimeoutMs = 1500;
    int connectTimeoutMs = 500;
};

class FsuipcRelayClient {
  public:
    explicit FsuipcRelayClient(const sockaddr_in& relay, RelayTiming timing = {});
    ~FsuipcRelayClient();
    FsuipcRelayClient(const FsuipcRelayClient&) = delete;
    FsuipcRelayClient& operator=(const FsuipcRelayClient&) = delete;

    // One exchange: FSUIPC's reply, with its answer in the block; 0, the block untouched,
    // when the relay cannot be reached, FSUIPC did not answer, or the relay's answer is
    // broken: the program then counts a failed exchange, as with a simulator gone.
    std::uint32_t exchange(std::span<std::byte> block);

    bool connected() const { return fd_ >= 0; }
    std::uint64_t exchanges() const { return exchanges_; }
    std::uint64_t failures() const { return failures_; }

  private:
    bool connect(std::int64_t deadlineMs);
    void disconnect();
    // True when the connection is fit for a request: nothing waiting on it unasked.
    bool quiet();
    bool sendRequest(std::span<const std::byte> request, std::int64_t deadlineMs);
    bool receive(std::byte* data, std::size_t size, std::int64_t deadlineMs);
    std::uint32_t failed();

    sockaddr_in relay_;
    RelayTiming timing_;
    int fd_ = -1;
    std::array<std::byte, wire::relay::kRequestHeaderBytes + wire::kBlockSize> out_{};
    std::array<std::byte, wire::kBlockSize> answer_{};
    std::uint64_t exchanges_ = 0;
    std::uint64_t failures_ = 0;
};

}  // namespace aviolog::bridge
