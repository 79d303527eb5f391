// The MAPI time-zone structure (PidLidTimeZoneStruct, 48 little-endian octets): biases and the two
// transition dates, read into the rule the converters share.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "mmconv/message/MachineTimeZone.h"

namespace mmconv {

inline constexpr std::size_t kTimeZoneStructSize = 48;

// Reads the structure. False, with `rule` untouched, unless it is exactly 48 octets whose values a
// zone can have: offsets under a day, transition months up to 12, times of day that exist, and a
// dated transition on a day of its month. Daylight time counts only when both transitions name a
// month, so that the conversions and the VTIMEZONE written for the rule agree.
bool ReadTimeZoneStruct(std::span<const std::uint8_t> bytes, TimeZoneRule& rule);

// Reads a time-zone definition (PidLidAppointmentTimeZoneDefinitionRecur and ...StartDisplay, which
// newer clients write in place of the structure): a header with the zone's key name, then rules of
// 66 octets, of which the one marked as the zone's current one (else the last) is taken, with the
// same checks as above. False when the definition is damaged or has no usable rule.
bool ReadTimeZoneDefinition(std::span<const std::uint8_t> bytes, TimeZoneRule& rule, std::u16string& keyName);

} // namespace mmconv
