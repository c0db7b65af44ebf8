#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace aviolog::wire {

// The server's side of one exchange: what a read returns and what a write does.
class RequestTarget {
  public:
    virtual ~RequestTarget() = default;
    virtual void readVariable(std::uint32_t offset, std::span<std::byte> out) = 0;
    virtual void writeVariable(std::uint32_t offset, std::span<const std::byte> data) = 0;
};

// Walks the request records of one block in order, filling reads and applying writes.
// A record of an unknown kind, or one that would run past the block, ends the walk;
// an unknown kind is overwritten with 0 so the client's walk ends there too.
// Returns the reply value for the client.
std::uint32_t serveRequests(std::span<std::byte> block, RequestTarget& target);

}  // namespace aviolog::wire
