#include "wire/offset_memory.h"

#include <algorithm>
#include <bit>

namespace aviolog::wire {

static_assert(std::endian::native == std::endian::little, "the offset memory is little-endian");

void OffsetMemory::read(std::uint32_t offset, std::span<std::byte> out) const {
    std::fill(out.begin(), out.end(), std::byte{0});
    if (offset >= kSize) return;
    const std::size_t n = std::min<std::size_t>(out.size(), kSize - offset);
    std::memcpy(out.data(), bytes_.data() + offset, n);
}

void OffsetMemory::write(std::uint32_t offset, std::span<const std::byte> in) {
    if (offset >= kSize) return;
    const std::size_t n = std::min<std::size_t>(in.size(), kSize - offset);
    std::memcpy(bytes_.data() + offset, in.data(), n);
}

}  // namespace aviolog::wire
