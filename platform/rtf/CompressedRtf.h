// The compressed-RTF container: header fields, magic values, the pre-loaded dictionary and the CRC.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include <mapicode.h>

namespace platform::rtf {

inline constexpr std::uint32_t kMagicCompressed = 0x75465A4Cu;    // "LZFu"
inline constexpr std::uint32_t kMagicUncompressed = 0x414C454Du;  // "MELA"
inline constexpr std::size_t kHeaderSize = 16;
inline constexpr std::size_t kDictionarySize = 4096;
inline constexpr std::size_t kMaxReferenceLength = 17;

// Largest RTF accepted by default; the header's raw size is checked against it before any output.
inline constexpr std::size_t kDefaultMaxRawSize = std::size_t{256} << 20;

// Every byte of input yields at most this many bytes of output (a two-byte reference gives 17 bytes,
// plus one control byte per eight references), so a raw size above it is a lie.
inline constexpr std::size_t kMaxExpansion = 9;

struct CompressedRtfHeader {
    std::uint32_t compressedSize = 0;  // content bytes plus the 12 header bytes after this field
    std::uint32_t rawSize = 0;
    std::uint32_t magic = 0;
    std::uint32_t crc = 0;
};

// The 207 bytes the dictionary holds before the first token.
std::string_view InitialDictionary();

// Reads and checks the 16-byte header: known magic, a compressed size that the input holds, a raw
// size the content can produce and that stays within maxRawSize. MAPI_E_CORRUPT_DATA otherwise.
HRESULT ParseCompressedRtfHeader(std::span<const std::uint8_t> input, CompressedRtfHeader& header,
    std::size_t maxRawSize = kDefaultMaxRawSize);

// The CRC-32 the header carries for compressed content (reflected 0xEDB88320, no pre- or
// post-inversion), continued from crc.
std::uint32_t ComputeRtfCrc(std::span<const std::uint8_t> data, std::uint32_t crc = 0);

} // namespace platform::rtf
