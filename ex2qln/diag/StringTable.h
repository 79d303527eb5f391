// The program's own numbered texts, used when the language file has no override.
#pragma once

#include <string_view>

namespace ex2qln::diag {

// The built-in text with that number; empty when the table has none.
std::string_view BuiltInText(unsigned number);

} // namespace ex2qln::diag
