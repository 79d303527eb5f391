// Text inside a CLI double-quoted string: the escapes that keep it one string on one line.
#pragma once

#include <string>
#include <string_view>

namespace ex2qln::cli {

// Appends `text` with a backslash before every backslash and double quote, and every control
// character (below 0x20, and 0x7F) as a backslash and its code in three decimal digits ("\013"),
// so that no line break can reach the command line.
void AppendCliQuoted(std::string& output, std::string_view text);

} // namespace ex2qln::cli
