// Conversions between UTF-16 text and code pages, and between code pages, through glibc's iconv.
#pragma once

#include <string>
#include <string_view>

#include "platform/base/HResult.h"

namespace mmconv {

// Whether glibc can convert text into and out of the code page.
bool IsCodePageAvailable(unsigned codePage);

// Wide text into a code page. A character the code page cannot hold becomes "?" (so does a lone
// surrogate) and sets lossy. E_FAIL when the code page is unknown or has no converter.
HRESULT Unicode2Encoding(std::u16string_view text, unsigned codePage, std::string& result,
    bool* lossy = nullptr);

// Text in a code page into wide text. A byte sequence that is not valid in the code page becomes
// U+FFFD and sets lossy.
HRESULT Encoding2Unicode(std::string_view bytes, unsigned codePage, std::u16string& result,
    bool* lossy = nullptr);

// Text from one code page into another, with the replacements of the two conversions above.
HRESULT ConvertCodePage(std::string_view bytes, unsigned fromCodePage, unsigned toCodePage,
    std::string& result, bool* lossy = nullptr);

} // namespace mmconv
