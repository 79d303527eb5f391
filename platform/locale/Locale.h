// Locale facts that Windows keeps as settings and Linux derives from the C library's locale.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace platform {

// Linux has no list-separator setting: always ",".
std::string ListSeparator();

// The Windows code page of the current LC_CTYPE codeset (UTF-8 gives 65001, ANSI_X3.4-1968 20127;
// CodePageFromCodeSetName).
unsigned AnsiCodePage();

// The name of the current LC_CTYPE codeset as iconv knows it ("UTF-8", "ANSI_X3.4-1968").
std::string AnsiCodeSetName();

// The Windows ANSI code page of a locale identifier (LCID, whose low 16 bits are the LANGID): 1041
// gives 932; 1252 for languages without a code page of their own.
std::uint32_t AnsiCodePageOfLocale(std::uint32_t localeId);

// The Windows language identifier (LANGID) of the user's locale (LC_MESSAGES, else LC_ALL/LANG),
// for example 0x0409 for en_US and 0x0407 for de_DE; 0x0409 when it cannot be told.
std::uint16_t UserDefaultLanguageId();

// The LANGID of a POSIX locale name "language[_TERRITORY][.codeset][@modifier]": the territory's
// identifier when the table has one, else the language's default; 0x0409 for "C", "POSIX" and
// languages the table does not hold.
std::uint16_t LanguageIdFromLocaleName(std::string_view localeName);

// The login name of the user running the program, empty when it cannot be read.
std::string UserName();

} // namespace platform
