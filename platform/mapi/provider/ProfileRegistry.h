// Where the runtime keeps its profiles: the registry substitute under the published profile key
// of the current user. A profile is a key there, its message services a "Services" subkey, and
// each profile section a subkey named by its UID in hexadecimal, holding one value per property.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <mapidefs.h>

#include "platform/mapi/core/PropertyBag.h"

namespace mapi::profiles {

inline constexpr std::string_view kProfilesKey =
    "Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows Messaging Subsystem\\Profiles";
inline constexpr std::string_view kDefaultProfileValue = "DefaultProfile";
inline constexpr std::size_t kMaximumNameLength = 64;

// A name of 1 to 64 characters without control characters or backslashes.
bool IsValidProfileName(std::string_view name);
// Sorted without regard to case.
std::vector<std::string> ProfileNames();
// The profile's name as it was created (names compare without regard to case); nullopt if none.
std::optional<std::string> FindProfile(std::string_view name);
// The "DefaultProfile" value, whether or not that profile exists.
std::optional<std::string> DefaultProfile();

// MAPI_E_NO_ACCESS when the profile exists; MAPI_E_DISK_ERROR when the registry cannot be written.
HRESULT CreateProfile(std::string_view name);
HRESULT DeleteProfile(std::string_view name);
// No name removes the default.
HRESULT SetDefaultProfile(std::optional<std::string_view> name);

struct ServiceRecord {
    std::string name;
    std::string displayName;
    MAPIUID uid{};
};

std::vector<ServiceRecord> Services(std::string_view profile);
HRESULT AddService(std::string_view profile, const ServiceRecord& service);
HRESULT RemoveService(std::string_view profile, const MAPIUID& uid);

// The properties of a section (strings as PT_UNICODE); an absent section is empty.
PropertyBag ReadSection(std::string_view profile, const MAPIUID& section);
// Keeps PT_I2, PT_LONG, PT_BOOLEAN, PT_I8, PT_SYSTIME, PT_BINARY and both string forms (one value
// per property id); other types give MAPI_E_INVALID_TYPE.
HRESULT WriteSectionValue(std::string_view profile, const MAPIUID& section, const SPropValue& value);
// MAPI_E_NOT_FOUND when the section has no such property.
HRESULT DeleteSectionValue(std::string_view profile, const MAPIUID& section, ULONG tag);

std::string UidText(const MAPIUID& uid);

} // namespace mapi::profiles
