// MacBinary II headers in, AppleDouble headers out.
#include "mmconv/message/MacBinary.h"

#include <algorithm>

namespace mmconv {
namespace {

constexpr std::array<std::uint8_t, 9> kMacBinaryOid = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x14, 0x03, 0x0B, 0x01};
constexpr std::size_t kHeaderSize = 128;
constexpr std::uint32_t kAppleDoubleMagic = 0x00051607;
constexpr std::uint32_t kAppleDoubleVersion = 0x00020000;
// Entry identifiers of the AppleDouble header.
constexpr std::uint32_t kResourceForkEntry = 2;
constexpr std::uint32_t kRealNameEntry = 3;
constexpr std::uint32_t kFileDatesEntry = 8;
constexpr std::uint32_t kFinderInfoEntry = 9;
// AppleDouble dates count from 2000, MacBinary dates from 1904.
constexpr std::uint32_t kSeconds1904To2000 = 3029529600u;

std::uint32_t ReadBigEndian32(std::span<const std::uint8_t> data, std::size_t offset)
{
    return static_cast<std::uint32_t>(data[offset]) << 24 | static_cast<std::uint32_t>(data[offset + 1]) << 16 |
           static_cast<std::uint32_t>(data[offset + 2]) << 8 | data[offset + 3];
}

void AppendBigEndian32(std::vector<std::uint8_t>& out, std::uint32_t value)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<std::uint8_t>(value >> shift));
}

} // namespace

bool IsMacBinaryEncoding(std::span<const std::uint8_t> encoding)
{
    return std::equal(encoding.begin(), encoding.end(), kMacBinaryOid.begin(), kMacBinaryOid.end());
}

std::optional<MacBinaryFile> ParseMacBinary(std::span<const std::uint8_t> data)
{
    if (data.size() < kHeaderSize || data[0] != 0 || data[74] != 0 || data[82] != 0)
        return std::nullopt;
    const std::size_t nameLength = data[1];
    if (nameLength == 0 || nameLength > 63)
        return std::nullopt;
    MacBinaryFile file;
    file.name.assign(data.begin() + 2, data.begin() + 2 + static_cast<std::ptrdiff_t>(nameLength));
    std::copy_n(data.begin() + 65, 4, file.type.begin());
    std::copy_n(data.begin() + 69, 4, file.creator.begin());
    file.finderFlags = static_cast<std::uint16_t>(data[73] << 8 | data[101]);
    const std::uint64_t dataLength = ReadBigEndian32(data, 83);
    const std::uint64_t resourceLength = ReadBigEndian32(data, 87);
    file.created = ReadBigEndian32(data, 91);
    file.modified = ReadBigEndian32(data, 95);
    const std::uint64_t resourceStart = kHeaderSize + (dataLength + kHeaderSize - 1) / kHeaderSize * kHeaderSize;
    if (kHeaderSize + dataLength > data.size() || (resourceLength > 0 && resourceStart + resourceLength > data.size()))
        return std::nullopt;
    file.dataFork = data.subspan(kHeaderSize, static_cast<std::size_t>(dataLength));
    if (resourceLength > 0)
        file.resourceFork = data.subspan(static_cast<std::size_t>(resourceStart), static_cast<std::size_t>(resourceLength));
    return file;
}

std::vector<std::uint8_t> BuildAppleDouble(const MacBinaryFile& file)
{
    std::vector<std::uint8_t> finderInfo(32, 0);
    std::copy(file.type.begin(), file.type.end(), finderInfo.begin());
    std::copy(file.creator.begin(), file.creator.end(), finderInfo.begin() + 4);
    finderInfo[8] = static_cast<std::uint8_t>(file.finderFlags >> 8);
    finderInfo[9] = static_cast<std::uint8_t>(file.finderFlags);
    std::vector<std::uint8_t> dates;
    AppendBigEndian32(dates, file.created - kSeconds1904To2000);
    AppendBigEndian32(dates, file.modified - kSeconds1904To2000);
    AppendBigEndian32(dates, 0x80000000u);  // never backed up
    AppendBigEndian32(dates, file.modified - kSeconds1904To2000);

    struct Entry {
        std::uint32_t id;
        std::span<const std::uint8_t> bytes;
    };
    const std::span<const std::uint8_t> name(reinterpret_cast<const std::uint8_t*>(file.name.data()), file.name.size());
    std::vector<Entry> entries = {{kRealNameEntry, name}, {kFileDatesEntry, dates}, {kFinderInfoEntry, finderInfo}};
    if (!file.resourceFork.empty())
        entries.push_back({kResourceForkEntry, file.resourceFork});

    std::vector<std::uint8_t> header;
    AppendBigEndian32(header, kAppleDoubleMagic);
    AppendBigEndian32(header, kAppleDoubleVersion);
    header.resize(header.size() + 16, 0);
    header.push_back(static_cast<std::uint8_t>(entries.size() >> 8));
    header.push_back(static_cast<std::uint8_t>(entries.size()));
    std::uint32_t offset = static_cast<std::uint32_t>(header.size() + entries.size() * 12);
    for (const Entry& entry : entries) {
        AppendBigEndian32(header, entry.id);
        AppendBigEndian32(header, offset);
        AppendBigEndian32(header, static_cast<std::uint32_t>(entry.bytes.size()));
        offset += static_cast<std::uint32_t>(entry.bytes.size());
    }
    for (const Entry& entry : entries)
        header.insert(header.end(), entry.bytes.begin(), entry.bytes.end());
    return header;
}

} // namespace mmconv
