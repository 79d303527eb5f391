// CMMLang: the library's code-page services (names, sizes, convertibility, the default ANSI code page).
#pragma once

#include <string>

#include "platform/base/HResult.h"

namespace mmconv {

class CMMLang {
public:
    // The default ANSI code page is that of the user's locale codeset (UTF-8 gives 65001).
    CMMLang();
    // A fixed default ANSI code page, for callers that know it.
    explicit CMMLang(unsigned defaultAnsiPage);

    // The charset name of a code page. A code page the table or the converters do not know is
    // named only when it is 20127 ("us-ascii") or 28591 ("iso-8859-1"); else E_FAIL, traced.
    HRESULT GetCodepageInfo(unsigned codePage, std::string& charset) const;

    // The system's default ANSI code page, read once.
    unsigned GetDefaultANSIPage() const { return defaultAnsiPage_; }

    // The charset name of the default ANSI code page.
    HRESULT GetDefaultCharset(std::string& charset) const;

    // Bytes one character of the code page may take; 1 when the code page is unknown.
    unsigned GetMaxCharSize(unsigned codePage) const;

    // Whether text can be converted from one code page into the other.
    bool IsConvertible(unsigned fromCodePage, unsigned toCodePage) const;

private:
    unsigned defaultAnsiPage_;
};

} // namespace mmconv
