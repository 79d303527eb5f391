// The library's own conversion between UTF-8 and UTF-16 (code page 65001), used for the body trailer.
#pragma once

#include <string>
#include <string_view>

namespace mmconv {

// UTF-8 into UTF-16. Four-byte sequences become surrogate pairs; a malformed sequence becomes U+FFFD.
std::u16string Utf8ToWide(std::string_view text);

// The counted form: length -1 measures the text up to and including its terminating zero, which
// then ends the result too.
std::u16string Utf8ToWide(const char* text, int length);

// UTF-16 into UTF-8. A surrogate pair becomes one four-byte sequence; a lone surrogate U+FFFD.
std::string WideToUtf8(std::u16string_view text);

} // namespace mmconv
