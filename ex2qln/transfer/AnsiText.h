// UTF-16 text from MAPI in the locale's character set (the "ANSI code page"), for messages to the
// user and for the search keys of the address pass.
#pragma once

#include <string>
#include <string_view>

namespace ex2qln::transfer {

// `text` in the locale's character set; a character that the set cannot hold becomes "?".
std::string ToAnsi(std::u16string_view text);

} // namespace ex2qln::transfer
