// Header parsing, the pre-loaded dictionary and the CRC of compressed RTF.
#include "platform/rtf/CompressedRtf.h"

#include <array>

namespace platform::rtf {
namespace {

constexpr std::string_view kInitialDictionary =
    "{\\rtf1\\ansi\\mac\\deff0\\deftab720{\\fonttbl;}{\\f0\\fnil \\froman \\fswiss \\fmodern \\fscript "
    "\\fdecor MS Sans SerifSymbolArialTimes New RomanCourier{\\colortbl\\red0\\green0\\blue0\r\n"
    "\\par \\pard\\plain\\f0\\fs20\\b\\i\\u\\tab\\tx";
static_assert(kInitialDictionary.size() == 207);

constexpr std::array<std::uint32_t, 256> MakeCrcTable()
{
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t value = i;
        for (int bit = 0; bit < 8; ++bit)
            value = (value & 1) ? (value >> 1) ^ 0xEDB88320u : value >> 1;
        table[i] = value;
    }
    return table;
}

constexpr std::array<std::uint32_t, 256> kCrcTable = MakeCrcTable();

std::uint32_t ReadLittleEndian32(std::span<const std::uint8_t> bytes, std::size_t offset)
{
    return std::uint32_t{bytes[offset]} | std::uint32_t{bytes[offset + 1]} << 8 |
           std::uint32_t{bytes[offset + 2]} << 16 | std::uint32_t{bytes[offset + 3]} << 24;
}

} // namespace

std::string_view InitialDictionary()
{
    return kInitialDictionary;
}

HRESULT ParseCompressedRtfHeader(std::span<const std::uint8_t> input, CompressedRtfHeader& header,
    std::size_t maxRawSize)
{
    if (input.size() < kHeaderSize)
        return MAPI_E_CORRUPT_DATA;
    header.compressedSize = ReadLittleEndian32(input, 0);
    header.rawSize = ReadLittleEndian32(input, 4);
    header.magic = ReadLittleEndian32(input, 8);
    header.crc = ReadLittleEndian32(input, 12);
    if (header.magic != kMagicCompressed && header.magic != kMagicUncompressed)
        return MAPI_E_CORRUPT_DATA;
    // The size counts the 12 header bytes after itself; trailing bytes beyond it are tolerated.
    if (header.compressedSize < kHeaderSize - 4 || header.compressedSize > input.size() - 4)
        return MAPI_E_CORRUPT_DATA;
    const std::size_t contentSize = header.compressedSize - (kHeaderSize - 4);
    const std::size_t producible =
        header.magic == kMagicUncompressed ? contentSize : contentSize * kMaxExpansion;
    if (header.rawSize > producible || header.rawSize > maxRawSize)
        return MAPI_E_CORRUPT_DATA;
    return S_OK;
}

std::uint32_t ComputeRtfCrc(std::span<const std::uint8_t> data, std::uint32_t crc)
{
    for (std::uint8_t byte : data)
        crc = kCrcTable[(crc ^ byte) & 0xFF] ^ (crc >> 8);
    return crc;
}

} // namespace platform::rtf
