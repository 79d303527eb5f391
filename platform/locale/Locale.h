// Locale facts that Windows keeps as settings and Linux derives from the C library's locale.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

// Linux has no list-separator setting: always ",".
std::string ListSeparator();

// The Windows code page of the current LC_CTYPE codeset (UTF-8 gives 65001, ANSI_X3.4-1968 20127).
unsigned AnsiCodePage();

// The Windows language identifier (LANGID) of the user's locale (LC_MESSAGES, else LC_ALL/LANG),
// for example 0x0409 for en_US and 0x0407 for de_DE; 0x0409 when it cannot be told.
std::uint16_t UserDefaultLanguageId();

// The login name of the user running the program, empty when it cannot be read.
std::string UserName();

} // namespace platform
