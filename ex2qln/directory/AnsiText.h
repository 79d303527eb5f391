// Text that MAPI gives in the ANSI code page, made UTF-8 for the files that need it.
#pragma once

#include <string>
#include <string_view>

namespace ex2qln::directory {

// The text in UTF-8. ASCII text is returned as it is; a byte sequence the code page cannot read, or
// a code page without a converter, gives U+FFFD in its place, so the result is always valid UTF-8.
std::string AnsiToUtf8(std::string_view text, unsigned codePage);

} // namespace ex2qln::directory
