// Little-endian integers in byte buffers, as the file formats store them (compound files, .msg
// property streams, TNEF, entry identifiers).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace platform {

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

inline void AppendU16(std::vector<std::uint8_t>& bytes, std::uint16_t value)
{
    bytes.push_back(static_cast<std::uint8_t>(value));
    bytes.push_back(static_cast<std::uint8_t>(value >> 8));
}

inline void AppendU32(std::vector<std::uint8_t>& bytes, std::uint32_t value)
{
    AppendU16(bytes, static_cast<std::uint16_t>(value));
    AppendU16(bytes, static_cast<std::uint16_t>(value >> 16));
}

inline void AppendU64(std::vector<std::uint8_t>& bytes, std::uint64_t value)
{
    AppendU32(bytes, static_cast<std::uint32_t>(value));
    AppendU32(bytes, static_cast<std::uint32_t>(value >> 32));
}

// Overwrites bytes that are there already.
inline void PutU16(std::span<std::uint8_t> bytes, std::size_t offset, std::uint16_t value)
{
    bytes[offset] = static_cast<std::uint8_t>(value);
    bytes[offset + 1] = static_cast<std::uint8_t>(value >> 8);
}

inline void PutU32(std::span<std::uint8_t> bytes, std::size_t offset, std::uint32_t value)
{
    PutU16(bytes, offset, static_cast<std::uint16_t>(value));
    PutU16(bytes, offset + 2, static_cast<std::uint16_t>(value >> 16));
}

inline void PutU64(std::span<std::uint8_t> bytes, std::size_t offset, std::uint64_t value)
{
    PutU32(bytes, offset, static_cast<std::uint32_t>(value));
    PutU32(bytes, offset + 4, static_cast<std::uint32_t>(value >> 32));
}

} // namespace platform
