// Reading the profile settings file into the fifteen profile entries.
#include "ex2qln/mapi/ProfileSettingsFile.h"

#include "ex2qln/mapi/ConnectorProperties.h"
#include "platform/ini/IniFile.h"

#include <cstdio>
#include <cstdlib>
#include <strings.h>

namespace ex2qln::mapi {
namespace {

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

std::size_t ReadEntries(const platform::IniFile& file, const std::string& userName, ProfileEntries& entries)
{
    std::size_t found = 0;
    for (std::size_t i = 0; i < kProfileEntryCount; ++i) {
        std::uint32_t tag = kProfileTags[i];
        std::uint32_t type = PROP_TYPE(tag);
        if (type != PT_STRING8 && type != PT_LONG && type != PT_BOOLEAN)
            continue;
        std::optional<std::string> value = file.ReadString("QLNGT_Section", TagKey(tag));
        if (!value || value->empty())
            continue;
        std::string text = value->substr(0, kMaximumValueLength);
        ProfileEntry& entry = entries[i];
        entry.tag = tag;
        if (type == PT_STRING8)
            entry.text = tag == kPropAccountName ? ExpandUserName(text, userName) : text;
        else
            entry.number = ReadMemoryOrderHex(text);
        ++found;
    }
    return found;
}

} // namespace

const std::array<std::uint32_t, kProfileEntryCount> kProfileTags = {
    kPropServerHost,           kPropConnectorSetting6602, PR_NULL,
    kPropUseTls,               kPropImapPort,             kPropAccountName,
    kPropSecureLogin,          kPropLoginMethod,          kPropKerberosFallback,
    kPropConnectorSetting66AD, kPropConnectorSetting669E, kPropConnectorSetting66BE,
    kPropConnectorSetting66BD, kPropConnectorSetting669B, kPropConnectorSetting669C,
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
    return file ? ReadEntries(*file, userName, entries) : 0;
}

std::size_t ParseProfileSettings(std::string_view text, const std::string& userName, ProfileEntries& entries)
{
    entries = {};
    return ReadEntries(platform::IniFile::Parse(text), userName, entries);
}

} // namespace ex2qln::mapi
