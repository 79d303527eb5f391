// Text that a server sent, made safe to show: on a terminal a control character in it could move
// the cursor, retitle the window or rewrite what the administrator reads.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace ex2qln::diag {

// Appends `byte` as a backslash and its code in three decimal digits ("\027"), the escape the CLI's
// quoted strings use.
void AppendByteEscape(std::string& output, unsigned char byte);

// `text` with every control character escaped as AppendByteEscape does: the C0 controls, DEL, and
// the C1 controls (U+0080 to U+009F) in their UTF-8 form, byte by byte. Everything else stands as
// it is. At most `maximumLength` bytes: an escape that would cross the limit is left out whole.
std::string EscapeControlCharacters(std::string_view text, std::size_t maximumLength = std::string::npos);

} // namespace ex2qln::diag
