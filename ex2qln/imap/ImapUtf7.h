// Folder names in IMAP's modified UTF-7 (RFC 3501, section 5.1.3).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace ex2qln::imap {

// Longest encoded name.
inline constexpr std::size_t kMaximumImapNameLength = 1025;

// The UTF-16 `name` in modified UTF-7: printable ASCII stands for itself, "&" becomes "&-", every
// other character is "&", the modified Base64 of its UTF-16 units and "-". The result is cut at a
// character boundary so that it holds at most kMaximumImapNameLength bytes and stays well formed.
// A name with an unpaired surrogate is malformed: the result is "-BAD-" followed by its units
// encoded as they stand, so the server still receives printable ASCII.
std::string EncodeImapName(std::u16string_view name);

} // namespace ex2qln::imap
