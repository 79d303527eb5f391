// Readers of the entry-identifier forms that carry addresses: one-off entry identifiers and flat
// entry lists. Every read is bounds-checked; malformed data gives nothing, never a fault.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace mmconv {

struct OneOffEntry {
    std::u16string displayName;
    std::u16string addressType;
    std::u16string address;
};

// A one-off entry identifier: flags, the one-off provider's UID, version 0, the string-form flags
// and three terminated strings (UTF-16 when the Unicode flag is set, else 8-bit text in
// `codePage`). Nothing when the data is not one or its strings run past its end.
std::optional<OneOffEntry> ParseOneOffEntryId(std::span<const std::uint8_t> entryId, unsigned codePage);

// The entries of a flat entry list (count, total size, then each entry's size and bytes padded to
// four bytes). The list stops before the first entry that does not fit.
std::vector<std::span<const std::uint8_t>> ParseFlatEntryList(std::span<const std::uint8_t> list);

} // namespace mmconv
