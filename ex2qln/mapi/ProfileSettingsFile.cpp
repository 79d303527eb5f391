// Reading the profile settings file into the fifteen profile entries.
#include "ex2qln/mapi/ProfileSettingsFile.h"

#include "platform/ini/IniFile.h"

#include <cstdio>
#include <cstdlib>
#include <strings.h>

namespace ex2qln::mapi {
namespace {

constexpr std::uint32_t kPropTypeMask = 0xFFFF;
constexpr std::uint32_t kTypeString8 = 0x001E;
constexpr std::uint32_t kTypeLong = 0x0003;
constexpr std::uint32_t kTypeBoolean = 0x000B;
constexpr std::uint32_t kAccountTag = 0x6607001E;
constexpr std::size_t kMaximumValueLength = 259;
constexpr char kUserNamePrefix[] = "%username%";

std::string TagKey(std::uint32_t tag)
{
    char key[9];
    std::snprintf(key, sizeof key, "%08x", tag);
    return key;
}

std::string ExpandUserName(const std::string& value, const std::string& userName)
{
    std::size_t prefixLength = sizeof kUserNamePrefix - 1;
    if (value.size() < prefixLength || strncasecmp(value.c_str(), kUserNamePrefix, prefixLength) != 0)
        return value;
    return userName + value.substr(prefixLength);
}

} // namespace

const std::array<std::uint32_t, kProfileEntryCount> kProfileTags = {
    0x6608001E, 0x6602001E, 0x00000001, 0x66A5000B, 0x66A40003, 0x6607001E, 0x66A6000B, 0x66A20003,
    0x66B4000B, 0x66AD000B, 0x669E0003, 0x66BE000B, 0x66BD000B, 0x669B001E, 0x669C001E,
};

std::uint32_t ReadMemoryOrderHex(const std::string& value)
{
    std::string digits = value;
    if (digits.size() > 2 && digits.size() % 2 == 0) {
        digits.clear();
        for (std::size_t i = value.size(); i >= 2; i -= 2)
            digits += value.substr(i - 2, 2);
    }
    unsigned long long number = std::strtoull(digits.c_str(), nullptr, 16);
    return number > 0xFFFFFFFFull ? 0xFFFFFFFFu : static_cast<std::uint32_t>(number);
}

std::size_t ReadProfileSettings(const std::string& path, const std::string& userName, ProfileEntries& entries)
{
    entries = {};
    std::optional<platform::IniFile> file = platform::IniFile::Load(path);
    if (!file)
        return 0;
    std::size_t found = 0;
    for (std::size_t i = 0; i < kProfileEntryCount; ++i) {
        std::uint32_t tag = kProfileTags[i];
        std::uint32_t type = tag & kPropTypeMask;
        if (type != kTypeString8 && type != kTypeLong && type != kTypeBoolean)
            continue;
        std::optional<std::string> value = file->ReadString("QLNGT_Section", TagKey(tag));
        if (!value || value->empty())
            continue;
        std::string text = value->substr(0, kMaximumValueLength);
        ProfileEntry& entry = entries[i];
        entry.tag = tag;
        if (type == kTypeString8)
            entry.text = tag == kAccountTag ? ExpandUserName(text, userName) : text;
        else
            entry.number = ReadMemoryOrderHex(text);
        ++found;
    }
    return found;
}

} // namespace ex2qln::mapi
