// One-off entry identifiers and flat entry lists.
#include "mmconv/message/EntryIdForms.h"

#include <algorithm>
#include <array>

#include "mmconv/encoding/CodePageConversion.h"
#include "platform/base/LittleEndian.h"

namespace mmconv {
namespace {

constexpr std::array<std::uint8_t, 16> kOneOffProvider = {0x81, 0x2B, 0x1F, 0xA4, 0xBE, 0xA3, 0x10, 0x19, 0x9D,
    0x6E, 0x00, 0xDD, 0x01, 0x0F, 0x54, 0x02};
constexpr std::size_t kOneOffHeaderSize = 4 + 16 + 2 + 2;
constexpr std::uint16_t kOneOffUnicode = 0x8000;

// Reads one terminated string at `offset` and moves past its terminator.
std::optional<std::u16string> ReadString(std::span<const std::uint8_t> data, std::size_t& offset, bool unicode,
    unsigned codePage)
{
    if (unicode) {
        std::u16string text;
        for (; offset + 1 < data.size(); offset += 2) {
            const char16_t c = static_cast<char16_t>(data[offset] | (data[offset + 1] << 8));
            if (c == 0) {
                offset += 2;
                return text;
            }
            text += c;
        }
        return std::nullopt;
    }
    const auto end = std::find(data.begin() + static_cast<std::ptrdiff_t>(offset), data.end(), 0);
    if (end == data.end())
        return std::nullopt;
    const std::string bytes(data.begin() + static_cast<std::ptrdiff_t>(offset), end);
    offset = static_cast<std::size_t>(end - data.begin()) + 1;
    std::u16string text;
    if (FAILED(Encoding2Unicode(bytes, codePage, text)))
        return std::nullopt;
    return text;
}

} // namespace

std::optional<OneOffEntry> ParseOneOffEntryId(std::span<const std::uint8_t> entryId, unsigned codePage)
{
    if (entryId.size() < kOneOffHeaderSize || platform::ReadU32(entryId, 0) != 0 ||
        !std::equal(kOneOffProvider.begin(), kOneOffProvider.end(), entryId.begin() + 4) ||
        platform::ReadU16(entryId, 20) != 0)
        return std::nullopt;
    const bool unicode = (platform::ReadU16(entryId, 22) & kOneOffUnicode) != 0;
    std::size_t offset = kOneOffHeaderSize;
    OneOffEntry entry;
    for (std::u16string* field : {&entry.displayName, &entry.addressType, &entry.address}) {
        std::optional<std::u16string> text = ReadString(entryId, offset, unicode, codePage);
        if (!text)
            return std::nullopt;
        *field = std::move(*text);
    }
    return entry;
}

std::vector<std::span<const std::uint8_t>> ParseFlatEntryList(std::span<const std::uint8_t> list)
{
    std::vector<std::span<const std::uint8_t>> entries;
    if (list.size() < 8)
        return entries;
    const std::uint32_t count = platform::ReadU32(list, 0);
    std::size_t offset = 8;
    for (std::uint32_t i = 0; i < count && offset + 4 <= list.size(); ++i) {
        const std::uint32_t size = platform::ReadU32(list, offset);
        offset += 4;
        if (size > list.size() - offset)
            break;
        entries.push_back(list.subspan(offset, size));
        const std::size_t padded = (static_cast<std::size_t>(size) + 3) / 4 * 4;
        if (padded > list.size() - offset)
            break;
        offset += padded;
    }
    return entries;
}

} // namespace mmconv
