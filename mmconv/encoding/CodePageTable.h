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

// The code page a mail charset name stands for (any case; IANA names, common aliases and the
// table's glibc converter names). The locale's own codeset is platform::CodePageFromCodeSetName's.
std::optional<unsigned> CodePageFromCharset(std::string_view name);

} // namespace mmconv
