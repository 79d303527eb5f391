// Search keys, one-off entry identifiers and the SMTP address of a resolved entry.
#include "ex2qln/transfer/AddressForms.h"

#include "ex2qln/transfer/AnsiText.h"

#include <cwctype>

namespace ex2qln::transfer {
namespace {

// The one-off provider's UID (MAPI_ONE_OFF_UID).
constexpr BYTE kOneOffUid[16] = {0x81, 0x2B, 0x1F, 0xA4, 0xBE, 0xA3, 0x10, 0x19,
                                 0x9D, 0x6E, 0x00, 0xDD, 0x01, 0x0F, 0x54, 0x02};

std::vector<BYTE> OneOffStart(std::uint32_t flags)
{
    std::vector<BYTE> id;
    id.reserve(64);
    for (int i = 0; i < 4; ++i)
        id.push_back(0);
    for (const BYTE byte : kOneOffUid)
        id.push_back(byte);
    for (int shift = 0; shift < 32; shift += 8)
        id.push_back(static_cast<BYTE>(flags >> shift));
    return id;
}

void AppendText(std::vector<BYTE>& id, std::u16string_view text)
{
    for (const char16_t unit : text) {
        id.push_back(static_cast<BYTE>(unit & 0xFF));
        id.push_back(static_cast<BYTE>(unit >> 8));
    }
    id.push_back(0);
    id.push_back(0);
}

void AppendText(std::vector<BYTE>& id, std::string_view text)
{
    id.insert(id.end(), text.begin(), text.end());
    id.push_back(0);
}

std::vector<BYTE> KeyBytes(std::string_view key)
{
    std::vector<BYTE> bytes;
    bytes.reserve(key.size() + 1);
    for (const char c : key)
        bytes.push_back(static_cast<BYTE>(c >= 'a' && c <= 'z' ? c - ('a' - 'A') : c));
    bytes.push_back(0);
    return bytes;
}

bool IsString(const SPropValue* value, ULONG type) { return value != nullptr && PROP_TYPE(value->ulPropTag) == type; }

} // namespace

std::vector<BYTE> SearchKey(std::u16string_view addressType, std::u16string_view address)
{
    // Upper-cased before the conversion, so that letters beyond ASCII are caught too.
    std::u16string key;
    key.reserve(addressType.size() + 1 + address.size());
    key.append(addressType).append(u":").append(address);
    for (char16_t& unit : key) {
        if (unit < 0xD800 || unit >= 0xE000)
            unit = static_cast<char16_t>(std::towupper(static_cast<wint_t>(unit)));
    }
    return KeyBytes(ToAnsi(key));
}

std::vector<BYTE> SearchKey(std::string_view addressType, std::string_view address)
{
    std::string key;
    key.reserve(addressType.size() + 1 + address.size());
    key.append(addressType).append(":").append(address);
    return KeyBytes(key);
}

std::vector<BYTE> OneOffEntryId(std::u16string_view name, std::u16string_view addressType,
                                std::u16string_view address)
{
    std::vector<BYTE> id = OneOffStart(WideStrings::kOneOffFlags);
    AppendText(id, name);
    AppendText(id, addressType);
    AppendText(id, address);
    return id;
}

std::vector<BYTE> OneOffEntryId(std::string_view name, std::string_view addressType, std::string_view address)
{
    std::vector<BYTE> id = OneOffStart(AnsiStrings::kOneOffFlags);
    AppendText(id, name);
    AppendText(id, addressType);
    AppendText(id, address);
    return id;
}

const SPropValue* FindValue(const SPropValue* values, ULONG count, ULONG tag)
{
    for (ULONG i = 0; values != nullptr && i < count; ++i) {
        if (values[i].ulPropTag == tag)
            return &values[i];
    }
    return nullptr;
}

template <typename Strings>
const SPropValue* SmtpAddressOf(const SPropValue* values, ULONG count)
{
    const SPropValue* type = FindValue(values, count, CHANGE_PROP_TYPE(PR_ADDRTYPE, Strings::kType));
    const SPropValue* address = FindValue(values, count, CHANGE_PROP_TYPE(PR_EMAIL_ADDRESS, Strings::kType));
    if (IsString(type, Strings::kType) && Strings::Of(*type) == Strings::kSmtp && IsString(address, Strings::kType) &&
        !Strings::Of(*address).empty())
        return address;
    const SPropValue* smtp = FindValue(values, count, CHANGE_PROP_TYPE(PR_SMTP_ADDRESS, Strings::kType));
    return smtp != nullptr && !Strings::Of(*smtp).empty() ? smtp : nullptr;
}

template const SPropValue* SmtpAddressOf<WideStrings>(const SPropValue*, ULONG);
template const SPropValue* SmtpAddressOf<AnsiStrings>(const SPropValue*, ULONG);

} // namespace ex2qln::transfer
