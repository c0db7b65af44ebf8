#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

namespace aviolog::wire {

// The simulator interface's 64 KiB of numbered variables, little-endian as on the wire.
// Accesses that run past the end read zeros and write nothing there.
class OffsetMemory {
  public:
    static constexpr std::size_t kSize = 0x10000;

    void read(std::uint32_t offset, std::span<std::byte> out) const;
    void write(std::uint32_t offset, std::span<const std::byte> in);

    std::uint8_t u8(std::uint32_t offset) const { return load<std::uint8_t>(offset); }
    std::uint16_t u16(std::uint32_t offset) const { return load<std::uint16_t>(offset); }
    std::int16_t s16(std::uint32_t offset) const { return load<std::int16_t>(offset); }
    std::uint32_t u32(std::uint32_t offset) const { return load<std::uint32_t>(offset); }
    std::int32_t s32(std::uint32_t offset) const { return load<std::int32_t>(offset); }
    double f64(std::uint32_t offset) const { return load<double>(offset); }

    void setU8(std::uint32_t offset, std::uint8_t v) { store(offset, v); }
    void setU16(std::uint32_t offset, std::uint16_t v) { store(offset, v); }
    void setS16(std::uint32_t offset, std::int16_t v) { store(offset, v); }
    void setU32(std::uint32_t offset, std::uint32_t v) { store(offset, v); }
    void setS32(std::uint32_t offset, std::int32_t v) { store(offset, v); }
    void setF64(std::uint32_t offset, double v) { store(offset, v); }

  private:
    // The machines we serve from are little-endian, like the wire.
    template <typename T>
    T load(std::uint32_t offset) const {
        T v{};
        read(offset, std::as_writable_bytes(std::span{&v, 1}));
        return v;
    }
    template <typename T>
    void store(std::uint32_t offset, T v) {
        write(offset, std::as_bytes(std::span{&v, 1}));
    }

    std::array<std::byte, kSize> bytes_{};
};

}  // namespace aviolog::wire
