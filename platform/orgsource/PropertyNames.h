// Published names of property tags, property types, property sets and the named properties that
// organisation files may use instead of numbers.
#pragma once

#include "platform/cfb/MsgModel.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace platform::orgsource {

struct TagName {
    std::string_view name;  // "PR_SUBJECT"; string properties are listed with type PT_UNICODE
    std::uint32_t tag;
};

// A property set, by its published name.
struct PropertySetName {
    std::string_view name;  // "PSETID_Appointment"
    cfb::Guid guid;
};

// A named property by its canonical name: set, LID and the type it has.
struct NamedPropertyName {
    std::string_view name;  // "PidLidAppointmentStartWhole"
    std::string_view set;   // "PSETID_Appointment"
    std::uint32_t lid;
    std::uint16_t type;
};

std::span<const TagName> KnownTagNames();
std::span<const PropertySetName> KnownPropertySets();
std::span<const NamedPropertyName> KnownNamedProperties();

// The tag of a published name. A string property answers to its plain name and to the names with
// "_W" (PT_UNICODE) and "_A" (PT_STRING8) after it; so do the multi-valued string properties.
std::optional<std::uint32_t> TagFromName(std::string_view name);

// "PT_LONG", "PT_MV_UNICODE", ... or "0x0003"; nullopt for unknown names.
std::optional<std::uint16_t> TypeFromName(std::string_view name);
std::string TypeName(std::uint16_t type);

// A published set name or a GUID in braces.
std::optional<cfb::Guid> PropertySetFromName(std::string_view name);

std::optional<NamedPropertyName> NamedPropertyFromName(std::string_view name);

} // namespace platform::orgsource
