#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace aviolog::mail {

using Md5Digest = std::array<std::uint8_t, 16>;

// MD5 (RFC 1321), fed in pieces. Only CRAM-MD5 uses it; no security rests on it beyond
// what that mechanism gives.
class Md5 {
  public:
    Md5();
    void update(std::string_view bytes);
    // The digest of everything fed so far; the object must not be fed afterwards.
    Md5Digest finish();

  private:
    void transform(const std::uint8_t* block);

    std::array<std::uint32_t, 4> state_;
    std::array<std::uint8_t, 64> buffer_{};
    std::uint64_t lengthBytes_ = 0;
};

Md5Digest md5(std::string_view bytes);

// Two lower-case hex digits per byte, as CRAM-MD5 sends a digest.
std::string lowerHex(const Md5Digest& digest);

}  // namespace aviolog::mail
