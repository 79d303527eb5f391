// Message code-page choice, with the body trailer's fit as the deciding test.
#include "mmconv/encoding/MessageCodePage.h"

#include <new>
#include <string>

#include "mmconv/encoding/CodePageConversion.h"
#include "mmconv/encoding/Utf8.h"
#include "platform/locale/CodePages.h"

namespace mmconv {
namespace {

bool FitsWithoutReplacement(std::u16string_view text, unsigned codePage)
{
    std::string converted;
    bool lossy = true;
    return SUCCEEDED(Unicode2Encoding(text, codePage, converted, &lossy)) && !lossy;
}

unsigned ChooseCodePage(const CMMLang& lang, const MessageCodePageInputs& inputs)
{
    if (!inputs.internetCpid.has_value())
        return platform::kCodePageUtf8;
    const unsigned internetCpid = *inputs.internetCpid;
    const bool detectionOff = inputs.outlookMajorVersion.value_or(0) > 9
        && inputs.autodetectCodePageOut.has_value() && *inputs.autodetectCodePageOut == 0;
    if (detectionOff || inputs.trailerUtf8.empty())
        return internetCpid;
    const std::u16string trailer = Utf8ToWide(inputs.trailerUtf8);
    if (FitsWithoutReplacement(trailer, internetCpid))
        return internetCpid;
    const unsigned ansiPage = lang.GetDefaultANSIPage();
    if (lang.IsConvertible(internetCpid, ansiPage) && FitsWithoutReplacement(trailer, ansiPage))
        return ansiPage;
    return platform::kCodePageUtf8;
}

} // namespace

HRESULT SelectMessageCodePage(
    const CMMLang& lang, const MessageCodePageInputs& inputs, unsigned& codePage)
{
    try {
        codePage = ChooseCodePage(lang, inputs);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

} // namespace mmconv
