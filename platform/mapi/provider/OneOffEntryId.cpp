// Reading and writing one-off entry identifiers.
#include "platform/mapi/provider/OneOffEntryId.h"

#include <algorithm>
#include <cctype>

#include "platform/mapi/core/StringForms.h"

namespace mapi {
namespace {

constexpr BYTE kOneOffUid[16] = MAPI_ONE_OFF_UID;
constexpr std::size_t kHeaderSize = 24;

std::optional<std::u16string> WideText(std::span<const BYTE> bytes, std::size_t& offset)
{
    std::u16string text;
    while (offset + 1 < bytes.size()) {
        char16_t unit = static_cast<char16_t>(bytes[offset] | (bytes[offset + 1] << 8));
        offset += 2;
        if (unit == 0)
            return text;
        text.push_back(unit);
    }
    return std::nullopt;
}

std::optional<std::u16string> NarrowText(std::span<const BYTE> bytes, std::size_t& offset)
{
    auto start = bytes.begin() + static_cast<std::ptrdiff_t>(offset);
    auto end = std::find(start, bytes.end(), BYTE{0});
    if (end == bytes.end())
        return std::nullopt;
    offset = static_cast<std::size_t>(end - bytes.begin()) + 1;
    return AnsiToUtf16(std::string(start, end));
}

void PutWide(std::vector<BYTE>& out, std::u16string_view text)
{
    for (char16_t unit : text) {
        out.push_back(static_cast<BYTE>(unit));
        out.push_back(static_cast<BYTE>(unit >> 8));
    }
    out.push_back(0);
    out.push_back(0);
}

void PutNarrow(std::vector<BYTE>& out, std::u16string_view text)
{
    std::string narrow = Utf16ToAnsi(text);
    out.insert(out.end(), narrow.begin(), narrow.end());
    out.push_back(0);
}

} // namespace

std::optional<OneOffAddress> ParseOneOff(std::span<const BYTE> entryId)
{
    if (entryId.size() < kHeaderSize || std::any_of(entryId.begin(), entryId.begin() + 4, [](BYTE b) { return b != 0; }) ||
        !std::equal(std::begin(kOneOffUid), std::end(kOneOffUid), entryId.begin() + 4))
        return std::nullopt;
    unsigned flags = entryId[22] | (entryId[23] << 8);
    OneOffAddress address;
    address.unicode = (flags & MAPI_ONE_OFF_UNICODE) != 0;
    address.noRichInfo = (flags & MAPI_ONE_OFF_NO_RICH_INFO) != 0;
    std::size_t offset = kHeaderSize;
    auto read = [&](std::u16string& target) {
        std::optional<std::u16string> text = address.unicode ? WideText(entryId, offset) : NarrowText(entryId, offset);
        if (!text)
            return false;
        target = std::move(*text);
        return true;
    };
    if (!read(address.displayName) || !read(address.addressType) || !read(address.address))
        return std::nullopt;
    return address;
}

std::vector<BYTE> MakeOneOff(const OneOffAddress& address)
{
    std::vector<BYTE> out(4, 0);
    out.insert(out.end(), std::begin(kOneOffUid), std::end(kOneOffUid));
    unsigned flags = (address.unicode ? MAPI_ONE_OFF_UNICODE : 0) | (address.noRichInfo ? MAPI_ONE_OFF_NO_RICH_INFO : 0);
    out.insert(out.end(), {0, 0, static_cast<BYTE>(flags), static_cast<BYTE>(flags >> 8)});
    for (const std::u16string* text : {&address.displayName, &address.addressType, &address.address}) {
        if (address.unicode)
            PutWide(out, *text);
        else
            PutNarrow(out, *text);
    }
    return out;
}

std::vector<BYTE> SearchKey(std::u16string_view addressType, std::u16string_view address)
{
    std::u16string key(addressType);
    key += u":";
    key += address;
    std::string narrow = Utf16ToAnsi(key);
    std::vector<BYTE> out;
    for (char c : narrow)
        out.push_back(static_cast<BYTE>(std::toupper(static_cast<unsigned char>(c))));
    out.push_back(0);
    return out;
}

} // namespace mapi
