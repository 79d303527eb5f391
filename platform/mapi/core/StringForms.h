// Conversions between MAPI's two string forms: 8-bit text in the ANSI code page (the codeset of
// the process's LC_CTYPE locale) and UTF-16; and from stored 8-bit text in a named code page.
#pragma once

#include <string>
#include <string_view>

#include <mapidefs.h>

namespace mapi {

// Bytes that the codeset cannot read become U+FFFD; characters it cannot write become "?".
std::u16string AnsiToUtf16(std::string_view text);
std::string Utf16ToAnsi(std::u16string_view text);

// Text in a Windows code page (a message's PR_MESSAGE_CODEPAGE) as UTF-16; 0 stands for 1252,
// which Outlook writes when nothing names another. Bytes the code page cannot read become U+FFFD.
std::u16string CodePageToUtf16(std::string_view text, unsigned codePage);

std::size_t Utf16Length(const WCHAR* text);

} // namespace mapi
