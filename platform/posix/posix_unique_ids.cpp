#include "platform/posix/posix_unique_ids.h"

#include <sys/random.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <random>

#include "common/text_format.h"

namespace aviolog::platform::posix {
namespace {

bool kernelRandom(std::array<std::uint8_t, 16>& bytes) {
    std::size_t got = 0;
    while (got < bytes.size()) {
        const ssize_t n = ::getrandom(bytes.data() + got, bytes.size() - got, 0);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        got += static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

std::string PosixUniqueIds::newUuid() {
    std::array<std::uint8_t, 16> b{};
    if (!kernelRandom(b)) {
        // A boundary only has to differ from the text it separates; a seeded generator
        // is enough when the kernel cannot be asked.
        std::mt19937_64 generator(static_cast<std::uint64_t>(
            std::chrono::steady_clock::now().time_since_epoch().count()));
        for (auto& byte : b) byte = static_cast<std::uint8_t>(generator());
    }
    b[6] = static_cast<std::uint8_t>((b[6] & 0x0f) | 0x40);
    b[8] = static_cast<std::uint8_t>((b[8] & 0x3f) | 0x80);
    return format("%02x%02x%02x%02x-%02x%02x-%02x%02x-%02x%02x-%02x%02x%02x%02x%02x%02x", b[0],
                  b[1], b[2], b[3], b[4], b[5], b[6], b[7], b[8], b[9], b[10], b[11], b[12], b[13],
                  b[14], b[15]);
}

}  // namespace aviolog::platform::posix
