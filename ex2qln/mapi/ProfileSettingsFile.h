// The profile settings file of profileonly: section "QLNGT_Section", keys are property tags.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include <mapidefs.h>

namespace ex2qln::mapi {

// One of the fifteen profile entries; tag PR_NULL marks an unset slot.
struct ProfileEntry {
    std::uint32_t tag = PR_NULL;
    std::string text;          // 8-bit string entries
    std::uint32_t number = 0;  // 32-bit integer and boolean entries
};

inline constexpr std::size_t kProfileEntryCount = 15;
using ProfileEntries = std::array<ProfileEntry, kProfileEntryCount>;

// The tags in the order in which they are written; PR_NULL is the slot that is always unset.
extern const std::array<std::uint32_t, kProfileEntryCount> kProfileTags;

// Reads the entries of `path`. A key that is missing or empty, or whose tag has another type,
// leaves its slot unset. Returns how many entries were found (0 also when the file cannot be read).
std::size_t ReadProfileSettings(const std::string& path, const std::string& userName, ProfileEntries& entries);

// The same for the text of a profile settings file.
std::size_t ParseProfileSettings(std::string_view text, const std::string& userName, ProfileEntries& entries);

// A 32-bit value written as bytes in memory order: an even number of digits, more than two, is
// read with its two-digit groups reversed ("8f000000" is 0x8F); any other value as plain hexadecimal.
std::uint32_t ReadMemoryOrderHex(const std::string& value);

} // namespace ex2qln::mapi
