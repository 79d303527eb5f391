// The member identifiers of a distribution list: one-off identifiers, or wrapped ones that carry the
// identifier of a contact, a list or an address-book entry behind a 21-octet header. Every read is
// bounds-checked; malformed data gives nothing, never a fault.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

namespace mmconv {

// The identifier inside a wrapped one: what follows the 21-octet header (flags, provider UID, type
// octet) when the identifier is longer than that and its type octet is not 0xC2; nothing otherwise.
std::optional<std::span<const std::uint8_t>> UnwrapMemberEntryId(std::span<const std::uint8_t> entryId);

} // namespace mmconv
