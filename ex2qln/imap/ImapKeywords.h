// The kinds of IMAP response lines and the keyword table that names them.
#pragma once

#include <cstdint>
#include <string_view>

namespace ex2qln::imap {

inline constexpr std::uint32_t kKindUnknown = 0;
inline constexpr std::uint32_t kKindOk = 1;
inline constexpr std::uint32_t kKindNo = 2;
inline constexpr std::uint32_t kKindBad = 3;
inline constexpr std::uint32_t kKindBye = 4;
inline constexpr std::uint32_t kKindEnabled = 5;
inline constexpr std::uint32_t kKindList = 6;
inline constexpr std::uint32_t kKindLsub = 7;
inline constexpr std::uint32_t kKindStatus = 8;
inline constexpr std::uint32_t kKindFetch = 9;
inline constexpr std::uint32_t kKindStore = 10;
inline constexpr std::uint32_t kKindFlags = 11;
inline constexpr std::uint32_t kKindExists = 12;
inline constexpr std::uint32_t kKindRecent = 13;
inline constexpr std::uint32_t kKindExpunge = 14;
inline constexpr std::uint32_t kKindContinuation = 15;
inline constexpr std::uint32_t kKindCapability = 16;
inline constexpr std::uint32_t kKindAcl = 17;
inline constexpr std::uint32_t kKindWebFileData = 18;
inline constexpr std::uint32_t kKindMapiCode = 19;
inline constexpr std::uint32_t kKindMyRights = 20;
inline constexpr std::uint32_t kKindSpecialMailbox = 21;
inline constexpr std::uint32_t kKindClientSettings = 22;
inline constexpr std::uint32_t kKindMailTrailer = 23;
inline constexpr std::uint32_t kKindAccountRules = 24;
inline constexpr std::uint32_t kKindAccountSettings = 25;
inline constexpr std::uint32_t kKindMakeCall = 26;
inline constexpr std::uint32_t kKindDirectoryData = 27;
inline constexpr std::uint32_t kKindQuota = 28;
inline constexpr std::uint32_t kKindQuotaRoot = 29;
inline constexpr std::uint32_t kKindTime = 30;
// Marks a line that began with "WATCH ".
inline constexpr std::uint32_t kKindWatchFlag = 0x80000000u;

// The bit of `kind` in a keep mask.
constexpr std::uint32_t KeepBit(std::uint32_t kind) { return 1u << (kind % 32); }

// The kind named by `keyword` (exact, any letter case); kKindUnknown when the table lacks it.
std::uint32_t LookUpKeyword(std::string_view keyword);

} // namespace ex2qln::imap
