// Numbers of the IMAP client's error texts in the localised string table.
#pragma once

namespace ex2qln::imap {

inline constexpr unsigned kTextInvalidAtomSpecial = 10031;
inline constexpr unsigned kTextInvalidAtom = 10032;
inline constexpr unsigned kTextBogusFlags = 10033;
inline constexpr unsigned kTextInvalidReply = 10035;   // "Server has sent invalid reply '%s'."
inline constexpr unsigned kTextEmptyFolderName = 10037;
inline constexpr unsigned kTextServerAlert = 10046;
inline constexpr unsigned kTextOffline = 10048;

} // namespace ex2qln::imap
