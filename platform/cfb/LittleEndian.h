// Little-endian integers read from a compound file's bytes, as its header, directory and the .msg
// property streams store them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace platform::cfb {

// The caller checks that the bytes at `offset` are there.
inline std::uint16_t ReadU16(std::span<const std::uint8_t> bytes, std::size_t offset)
{
    return static_cast<std::uint16_t>(bytes[offset] | (bytes[offset + 1] << 8));
}

inline std::uint32_t ReadU32(std::span<const std::uint8_t> bytes, std::size_t offset)
{
    return static_cast<std::uint32_t>(bytes[offset]) | (static_cast<std::uint32_t>(bytes[offset + 1]) << 8) |
           (static_cast<std::uint32_t>(bytes[offset + 2]) << 16) |
           (static_cast<std::uint32_t>(bytes[offset + 3]) << 24);
}

inline std::uint64_t ReadU64(std::span<const std::uint8_t> bytes, std::size_t offset)
{
    return ReadU32(bytes, offset) | (static_cast<std::uint64_t>(ReadU32(bytes, offset + 4)) << 32);
}

} // namespace platform::cfb
