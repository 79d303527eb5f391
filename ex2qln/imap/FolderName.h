// Exchange folder names on their way to IMAP: the validity test and the fix for invalid names.
#pragma once

#include <string>
#include <string_view>

namespace ex2qln::imap {

// False for an empty name, one that starts with "~", a blank or ".", one that holds a control
// character, "/", "\", a double quote or "#", and one that ends with a blank.
bool IsValidFolderName(std::u16string_view name);

// Rewrites what IsValidFolderName refuses: a leading blank, control character, ".", "~" or "/" and
// every control character, "\", "#" and "/" become "_", double quotes become apostrophes, a trailing
// blank becomes "_"; the dot of a trailing ".mbox", ".mdir" or ".mslc" (the server's storage
// suffixes) becomes "-". A non-empty name is valid afterwards; an empty one stays empty.
void FixFolderName(std::u16string& name);

} // namespace ex2qln::imap
