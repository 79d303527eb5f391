// Windows code-page numbers and the charset names mail clients know them by, in both directions.
#pragma once

#include <optional>
#include <string_view>

namespace mmconv {

inline constexpr unsigned kCodePageUtf8 = 65001;
inline constexpr unsigned kCodePageUsAscii = 20127;
inline constexpr unsigned kCodePageLatin1 = 28591;

struct CodePageInfo {
    unsigned codePage;
    std::string_view webCharset;  // the name as Windows' MIME database records it
    std::string_view iconvName;   // the converter that holds the same mapping in glibc
    unsigned maxCharSize;         // bytes one character may take
};

// The row of a code page, null when the table does not list it.
const CodePageInfo* FindCodePage(unsigned codePage);

// The code page a charset name (any case; IANA names, common aliases and C library codeset names)
// stands for.
std::optional<unsigned> CodePageFromCharset(std::string_view name);

} // namespace mmconv
