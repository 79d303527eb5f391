// Profile creation through the MAPI profile administration.
#include "ex2qln/mapi/ProfileCreation.h"

#include "ex2qln/diag/Log.h"
#include "ex2qln/mapi/ProfileSettingsFile.h"
#include "platform/locale/Locale.h"

#include <MapiPtr.h>
#include <mapicode.h>
#include <mapix.h>

#include <array>

namespace ex2qln::mapi {
namespace {

constexpr std::size_t kUserNameCapacity = 130;
constexpr char kConnectorService[] = "QLNGTCON";
MAPIUID kConnectorSection = {{0x71, 0x64, 0x42, 0x63, 0xCC, 0x77, 0x4F, 0xFF, 0x9B, 0xBD, 0xB4, 0x20, 0x22, 0xC9, 0xD8, 0xEC}};

std::array<SPropValue, kProfileEntryCount> AsPropValues(ProfileEntries& entries)
{
    std::array<SPropValue, kProfileEntryCount> values{};
    for (std::size_t i = 0; i < entries.size(); ++i) {
        ProfileEntry& entry = entries[i];
        values[i].ulPropTag = entry.tag;
        switch (PROP_TYPE(entry.tag)) {
        case PT_STRING8:
            values[i].Value.lpszA = entry.text.data();
            break;
        case PT_LONG:
            values[i].Value.l = static_cast<LONG>(entry.number);
            break;
        case PT_BOOLEAN:
            values[i].Value.b = entry.number != 0;
            break;
        default:
            break;
        }
    }
    return values;
}

// Steps 5 to 7 under one MAPIInitialize; the caller uninitialises.
HRESULT WriteProfile(const std::string& name, bool outlook, ProfileEntries& entries)
{
    MapiPtr<IProfAdmin> profiles;
    HRESULT status = QLN_CHECK(MAPIAdminProfiles(0, profiles.put()));
    if (FAILED(status))
        return status;
    std::string profileName = name;
    if (!outlook) {
        status = QLN_CHECK(profiles->CreateProfile(profileName.data(), nullptr, 0, 0));
        if (FAILED(status))
            return status;
    }
    MapiPtr<IMsgServiceAdmin> services;
    status = QLN_CHECK(profiles->AdminServices(profileName.data(), nullptr, 0, 0, services.put()));
    if (FAILED(status))
        return status;
    std::string service = kConnectorService;
    status = QLN_CHECK(services->CreateMsgService(service.data(), nullptr, 0, 0));
    if (FAILED(status))
        return status;
    MapiPtr<IProfSect> section;
    status = QLN_CHECK(services->OpenProfileSection(&kConnectorSection, nullptr, MAPI_MODIFY, section.put()));
    if (FAILED(status))
        return status;
    std::array<SPropValue, kProfileEntryCount> values = AsPropValues(entries);
    return QLN_CHECK(section->SetProps(static_cast<ULONG>(values.size()), values.data(), nullptr));
}

} // namespace

std::string DefaultProfileName()
{
    std::string user = platform::UserName();
    if (user.empty() || user.size() >= kUserNameCapacity)
        return "QLNGT_Profile";
    return user + "_QLNGT";
}

HRESULT CreateProfile(const char* name, const char* settingsPath, bool outlook)
{
    if (diag::TraceMask() != 0)
        diag::Trace("CreateProfile(): name = '%s', path = '%s'\n", name ? name : "", settingsPath ? settingsPath : "");
    if (settingsPath == nullptr || *settingsPath == '\0')
        return MAPI_E_NOT_FOUND;
    std::string profileName = name ? name : outlook ? "Outlook" : DefaultProfileName();
    ProfileEntries entries;
    if (profileName.empty() || ReadProfileSettings(settingsPath, platform::UserName(), entries) == 0)
        return MAPI_E_NOT_FOUND;

    HRESULT status = QLN_ASSERT_HR(MAPIInitialize(nullptr));
    if (FAILED(status))
        return status;
    status = WriteProfile(profileName, outlook, entries);
    MAPIUninitialize();
    return status;
}

} // namespace ex2qln::mapi
