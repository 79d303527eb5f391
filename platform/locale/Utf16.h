// UTF-16 to UTF-8, for names and texts that MAPI and the file formats keep in UTF-16.
#pragma once

#include <string>
#include <string_view>

namespace platform {

// Surrogate pairs become one character; an unpaired surrogate becomes U+FFFD.
std::string Utf16ToUtf8(std::u16string_view text);

} // namespace platform
