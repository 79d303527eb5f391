// Profiles, services and profile sections in the registry substitute.
#include "platform/mapi/provider/ProfileRegistry.h"
#include "platform/locale/Utf16.h"

#include <mapitags.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

#include "platform/orgsource/ValueDecoding.h"
#include "platform/registry/Registry.h"

#include "platform/mapi/core/StringForms.h"

namespace mapi::profiles {
namespace {

using platform::RegistryKey;
using platform::RegistryRoot;
using platform::RegistryValue;
using platform::RegistryValueType;

constexpr std::string_view kServicesKey = "Services";
constexpr std::string_view kProfileNameValue = "ProfileName";
constexpr std::string_view kServiceDisplayName = "DisplayName";
constexpr std::string_view kServiceUid = "ServiceUid";

std::string ProfileKey(std::string_view profile)
{
    return std::string(kProfilesKey) + "\\" + std::string(profile);
}

std::string SectionKey(std::string_view profile, const MAPIUID& section)
{
    return ProfileKey(profile) + "\\" + UidText(section);
}

std::string Lower(std::string_view text)
{
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

// Section values are named by their tag, with both string forms under the PT_UNICODE one.
ULONG StoredTag(ULONG tag)
{
    ULONG type = PROP_TYPE(tag);
    return type == PT_STRING8 ? CHANGE_PROP_TYPE(tag, PT_UNICODE) : tag;
}

std::string TagName(ULONG tag)
{
    char name[9];
    std::snprintf(name, sizeof name, "%08x", static_cast<unsigned>(tag));
    return name;
}

std::optional<ULONG> TagFromName(std::string_view name)
{
    if (name.size() != 8 || !std::all_of(name.begin(), name.end(), [](unsigned char c) { return std::isxdigit(c); }))
        return std::nullopt;
    return static_cast<ULONG>(std::stoul(std::string(name), nullptr, 16));
}

std::string LittleEndian(std::uint64_t value)
{
    std::string bytes;
    for (int i = 0; i < 8; ++i)
        bytes.push_back(static_cast<char>(value >> (8 * i)));
    return bytes;
}

std::uint64_t FromLittleEndian(std::string_view bytes)
{
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < 8; ++i)
        value |= static_cast<std::uint64_t>(static_cast<unsigned char>(bytes[i])) << (8 * i);
    return value;
}

std::optional<RegistryValue> Encode(const SPropValue& value)
{
    RegistryValue stored;
    switch (PROP_TYPE(value.ulPropTag)) {
    case PT_I2: stored.type = RegistryValueType::Dword; stored.number = static_cast<std::uint16_t>(value.Value.i); break;
    case PT_LONG: stored.type = RegistryValueType::Dword; stored.number = value.Value.ul; break;
    case PT_BOOLEAN: stored.type = RegistryValueType::Dword; stored.number = value.Value.b != 0 ? 1 : 0; break;
    case PT_I8: stored.type = RegistryValueType::Binary; stored.text = LittleEndian(static_cast<std::uint64_t>(value.Value.li.QuadPart)); break;
    case PT_SYSTIME:
        stored.type = RegistryValueType::Binary;
        stored.text = LittleEndian(value.Value.ft.dwLowDateTime | static_cast<std::uint64_t>(value.Value.ft.dwHighDateTime) << 32);
        break;
    case PT_BINARY:
        stored.type = RegistryValueType::Binary;
        stored.text.assign(reinterpret_cast<const char*>(value.Value.bin.lpb), value.Value.bin.cb);
        break;
    case PT_STRING8:
        stored.text = platform::Utf16ToUtf8(AnsiToUtf16(value.Value.lpszA == nullptr ? "" : value.Value.lpszA));
        break;
    case PT_UNICODE:
        stored.text = platform::Utf16ToUtf8(value.Value.lpszW == nullptr ? u"" : value.Value.lpszW);
        break;
    default: return std::nullopt;
    }
    return stored;
}

// Puts a value read from the registry into `bag` when its kind fits its tag.
SCODE Decode(ULONG tag, const RegistryValue& stored, PropertyBag& bag)
{
    SPropValue value{};
    value.ulPropTag = tag;
    std::u16string text;
    switch (PROP_TYPE(tag)) {
    case PT_I2:
    case PT_LONG:
    case PT_BOOLEAN:
        if (stored.type != RegistryValueType::Dword)
            return S_OK;
        if (PROP_TYPE(tag) == PT_I2)
            value.Value.i = static_cast<SHORT>(stored.number);
        else if (PROP_TYPE(tag) == PT_LONG)
            value.Value.ul = stored.number;
        else
            value.Value.b = stored.number != 0;
        break;
    case PT_I8:
    case PT_SYSTIME: {
        if (stored.type != RegistryValueType::Binary || stored.text.size() != 8)
            return S_OK;
        std::uint64_t number = FromLittleEndian(stored.text);
        if (PROP_TYPE(tag) == PT_I8) {
            value.Value.li.QuadPart = static_cast<LONGLONG>(number);
        } else {
            value.Value.ft.dwLowDateTime = static_cast<DWORD>(number);
            value.Value.ft.dwHighDateTime = static_cast<DWORD>(number >> 32);
        }
        break;
    }
    case PT_BINARY:
        if (stored.type != RegistryValueType::Binary)
            return S_OK;
        value.Value.bin = {static_cast<ULONG>(stored.text.size()),
                           reinterpret_cast<LPBYTE>(const_cast<char*>(stored.text.data()))};
        break;
    case PT_UNICODE: {
        if (stored.type != RegistryValueType::String)
            return S_OK;
        std::optional<std::u16string> decoded = platform::orgsource::Utf8ToUtf16(stored.text);
        if (!decoded)
            return S_OK;
        text = std::move(*decoded);
        value.Value.lpszW = text.data();
        break;
    }
    default: return S_OK;
    }
    return bag.Set(value);
}

std::optional<MAPIUID> UidFromBytes(const std::string& bytes)
{
    if (bytes.size() != sizeof(MAPIUID))
        return std::nullopt;
    MAPIUID uid{};
    std::memcpy(uid.ab, bytes.data(), sizeof uid.ab);
    return uid;
}

} // namespace

bool IsValidProfileName(std::string_view name)
{
    if (name.empty() || name.size() > kMaximumNameLength)
        return false;
    return std::none_of(name.begin(), name.end(), [](unsigned char c) { return c < 0x20 || c == 0x7F || c == '\\'; });
}

std::vector<std::string> ProfileNames()
{
    std::optional<RegistryKey> profiles = RegistryKey::Open(RegistryRoot::CurrentUser, kProfilesKey);
    if (!profiles)
        return {};
    std::vector<std::string> names = profiles->SubkeyNames();
    std::erase_if(names, [](const std::string& name) { return !IsValidProfileName(name); });
    return names;
}

std::optional<std::string> FindProfile(std::string_view name)
{
    if (!IsValidProfileName(name))
        return std::nullopt;
    std::string wanted = Lower(name);
    for (const std::string& profile : ProfileNames()) {
        if (Lower(profile) == wanted)
            return profile;
    }
    return std::nullopt;
}

std::optional<std::string> DefaultProfile()
{
    std::optional<RegistryKey> profiles = RegistryKey::Open(RegistryRoot::CurrentUser, kProfilesKey);
    if (!profiles)
        return std::nullopt;
    std::optional<std::string> name = profiles->ReadString(kDefaultProfileValue);
    if (!name || name->empty())
        return std::nullopt;
    return name;
}

HRESULT CreateProfile(std::string_view name)
{
    if (!IsValidProfileName(name))
        return MAPI_E_INVALID_PARAMETER;
    if (FindProfile(name))
        return MAPI_E_NO_ACCESS;
    // A key is kept once it holds a value.
    RegistryKey profile = RegistryKey::Create(RegistryRoot::CurrentUser, ProfileKey(name));
    return profile.WriteString(kProfileNameValue, name) ? S_OK : MAPI_E_DISK_ERROR;
}

HRESULT DeleteProfile(std::string_view name)
{
    std::optional<std::string> profile = FindProfile(name);
    if (!profile)
        return MAPI_E_NOT_FOUND;
    if (!RegistryKey::DeleteKey(RegistryRoot::CurrentUser, ProfileKey(*profile)))
        return MAPI_E_DISK_ERROR;
    std::optional<std::string> current = DefaultProfile();
    if (current && Lower(*current) == Lower(*profile))
        return SetDefaultProfile(std::nullopt);
    return S_OK;
}

HRESULT SetDefaultProfile(std::optional<std::string_view> name)
{
    RegistryKey profiles = RegistryKey::Create(RegistryRoot::CurrentUser, kProfilesKey);
    if (!name)
        return profiles.DeleteValue(kDefaultProfileValue) ? S_OK : MAPI_E_DISK_ERROR;
    std::optional<std::string> profile = FindProfile(*name);
    if (!profile)
        return MAPI_E_NOT_FOUND;
    return profiles.WriteString(kDefaultProfileValue, *profile) ? S_OK : MAPI_E_DISK_ERROR;
}

std::vector<ServiceRecord> Services(std::string_view profile)
{
    std::vector<ServiceRecord> services;
    std::string servicesPath = ProfileKey(profile) + "\\" + std::string(kServicesKey);
    std::optional<RegistryKey> key = RegistryKey::Open(RegistryRoot::CurrentUser, servicesPath);
    if (!key)
        return services;
    for (const std::string& name : key->SubkeyNames()) {
        std::optional<RegistryKey> service = RegistryKey::Open(RegistryRoot::CurrentUser, servicesPath + "\\" + name);
        std::optional<RegistryValue> uid = service ? service->ReadValue(kServiceUid) : std::nullopt;
        std::optional<MAPIUID> parsed = uid ? UidFromBytes(uid->text) : std::nullopt;
        if (!parsed)
            continue;
        services.push_back({name, service->ReadString(kServiceDisplayName).value_or(""), *parsed});
    }
    return services;
}

HRESULT AddService(std::string_view profile, const ServiceRecord& service)
{
    RegistryKey key = RegistryKey::Create(RegistryRoot::CurrentUser,
                                          ProfileKey(profile) + "\\" + std::string(kServicesKey) + "\\" + service.name);
    bool written = key.WriteString(kServiceDisplayName, service.displayName) &&
                   key.WriteBinary(kServiceUid, std::span<const std::uint8_t>(service.uid.ab, sizeof service.uid.ab));
    return written ? S_OK : MAPI_E_DISK_ERROR;
}

HRESULT RemoveService(std::string_view profile, const MAPIUID& uid)
{
    for (const ServiceRecord& service : Services(profile)) {
        if (std::memcmp(service.uid.ab, uid.ab, sizeof uid.ab) != 0)
            continue;
        std::string servicePath = ProfileKey(profile) + "\\" + std::string(kServicesKey) + "\\" + service.name;
        bool removed = RegistryKey::DeleteKey(RegistryRoot::CurrentUser, servicePath) &&
                       RegistryKey::DeleteKey(RegistryRoot::CurrentUser, SectionKey(profile, uid));
        return removed ? S_OK : MAPI_E_DISK_ERROR;
    }
    return MAPI_E_NOT_FOUND;
}

PropertyBag ReadSection(std::string_view profile, const MAPIUID& section)
{
    PropertyBag bag;
    std::optional<RegistryKey> key = RegistryKey::Open(RegistryRoot::CurrentUser, SectionKey(profile, section));
    if (!key)
        return bag;
    for (const std::string& name : key->ValueNames()) {
        std::optional<ULONG> tag = TagFromName(name);
        std::optional<RegistryValue> value = tag ? key->ReadValue(name) : std::nullopt;
        if (value && Decode(*tag, *value, bag) != S_OK)
            throw std::bad_alloc();
    }
    return bag;
}

HRESULT WriteSectionValue(std::string_view profile, const MAPIUID& section, const SPropValue& value)
{
    std::optional<RegistryValue> stored = Encode(value);
    if (!stored)
        return MAPI_E_INVALID_TYPE;
    RegistryKey key = RegistryKey::Create(RegistryRoot::CurrentUser, SectionKey(profile, section));
    std::string name = TagName(StoredTag(value.ulPropTag));
    for (const std::string& existing : key.ValueNames()) {
        std::optional<ULONG> tag = TagFromName(existing);
        if (tag && PROP_ID(*tag) == PROP_ID(value.ulPropTag) && existing != name && !key.DeleteValue(existing))
            return MAPI_E_DISK_ERROR;
    }
    return key.WriteValue(name, *stored) ? S_OK : MAPI_E_DISK_ERROR;
}

HRESULT DeleteSectionValue(std::string_view profile, const MAPIUID& section, ULONG tag)
{
    std::optional<RegistryKey> key = RegistryKey::Open(RegistryRoot::CurrentUser, SectionKey(profile, section));
    if (!key)
        return MAPI_E_NOT_FOUND;
    for (const std::string& existing : key->ValueNames()) {
        std::optional<ULONG> stored = TagFromName(existing);
        if (stored && PROP_ID(*stored) == PROP_ID(tag))
            return key->DeleteValue(existing) ? S_OK : MAPI_E_DISK_ERROR;
    }
    return MAPI_E_NOT_FOUND;
}

std::string UidText(const MAPIUID& uid)
{
    std::string text;
    char digits[3];
    for (BYTE b : uid.ab) {
        std::snprintf(digits, sizeof digits, "%02x", b);
        text += digits;
    }
    return text;
}

} // namespace mapi::profiles
