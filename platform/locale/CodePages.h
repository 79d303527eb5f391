// Windows code pages: the one table of their numbers, the charset names mail clients know them by,
// the glibc converters that hold the same mappings, and the codeset names of locales.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace platform {

inline constexpr unsigned kCodePageUtf8 = 65001;
inline constexpr unsigned kCodePageUsAscii = 20127;
inline constexpr unsigned kCodePageLatin1 = 28591;

struct CodePageInfo {
    unsigned codePage;
    std::string_view webCharset;  // the name as Windows' MIME database records it
    std::string_view iconvName;   // the converter that holds the same mapping in glibc
    unsigned maxCharSize;         // bytes one character may take
};

// The row of a code page, null when the table does not list it. Every row has a glibc converter.
const CodePageInfo* FindCodePage(unsigned codePage);

// The code page a mail charset name stands for (any case; IANA names, common aliases and the
// table's glibc converter names).
std::optional<unsigned> CodePageFromCharset(std::string_view name);

// The code page of a locale's codeset name, compared without case, "-" or "_" ("ISO-8859-2" and
// "iso88592" give 28592); 20127 (US-ASCII) for a name the table does not hold.
unsigned CodePageFromCodeSetName(std::string_view codeSet);

// The glibc converter for text in a code page: the table's, else "CP" and the number, glibc's name
// for most of the Windows code pages the table leaves out.
std::string IconvNameOfCodePage(unsigned codePage);

} // namespace platform
