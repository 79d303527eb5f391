// Code-page services over the code-page table and glibc's converters.
#include "mmconv/encoding/MMLang.h"

#include <langinfo.h>
#include <locale.h>

#include <new>

#include "mmconv/encoding/CodePageConversion.h"
#include "mmconv/encoding/ConversionTrace.h"
#include "platform/locale/CodePages.h"

namespace mmconv {
namespace {

// The code page of the codeset that the environment's locale settings select; US-ASCII when the
// code-page table has no converter for it (EUC-TW), so that the default charset can be named.
unsigned LocaleCodePage()
{
    locale_t locale = newlocale(LC_CTYPE_MASK, "", static_cast<locale_t>(nullptr));
    if (locale == static_cast<locale_t>(nullptr))
        return platform::kCodePageUsAscii;
    const unsigned codePage = platform::CodePageFromCodeSetName(nl_langinfo_l(CODESET, locale));
    freelocale(locale);
    return platform::FindCodePage(codePage) != nullptr ? codePage : platform::kCodePageUsAscii;
}

} // namespace

CMMLang::CMMLang() : defaultAnsiPage_(LocaleCodePage()) {}

CMMLang::CMMLang(unsigned defaultAnsiPage) : defaultAnsiPage_(defaultAnsiPage) {}

HRESULT CMMLang::GetCodepageInfo(unsigned codePage, std::string& charset) const
{
    const platform::CodePageInfo* info = platform::FindCodePage(codePage);
    try {
        if (info != nullptr && IsCodePageAvailable(codePage)) {
            // Windows names KOI8-U "koi8-ru", which mail clients do not know.
            charset = info->webCharset == "koi8-ru" ? "koi8-u" : std::string(info->webCharset);
            return S_OK;
        }
        if (codePage == platform::kCodePageUsAscii) {
            charset = "us-ascii";
            return S_OK;
        }
        if (codePage == platform::kCodePageLatin1) {
            charset = "iso-8859-1";
            return S_OK;
        }
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    TraceConversion("********Unable to retrieve codepage \"%d\" from registry",
        static_cast<int>(codePage));
    return E_FAIL;
}

HRESULT CMMLang::GetDefaultCharset(std::string& charset) const
{
    return GetCodepageInfo(defaultAnsiPage_, charset);
}

unsigned CMMLang::GetMaxCharSize(unsigned codePage) const
{
    const platform::CodePageInfo* info = platform::FindCodePage(codePage);
    return info == nullptr ? 1 : info->maxCharSize;
}

bool CMMLang::IsConvertible(unsigned fromCodePage, unsigned toCodePage) const
{
    return IsCodePageAvailable(fromCodePage) && IsCodePageAvailable(toCodePage);
}

} // namespace mmconv
