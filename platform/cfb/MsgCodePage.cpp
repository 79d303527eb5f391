// The code page of a message's 8-bit strings, from its code-page and locale properties.
#include "platform/cfb/MsgCodePage.h"

#include "platform/locale/Locale.h"

namespace platform::cfb {
namespace {

// Outlook writes PT_STRING8 values in the writer's ANSI code page, while PR_INTERNET_CPID names
// the MIME charset the item travelled in (ISO-2022-JP for Japanese mail); a MIME-only charset is
// therefore read as the Windows code page of the same script.
std::uint32_t WindowsCodePageOfInternet(std::uint32_t codePage)
{
    switch (codePage) {
    case 50220:
    case 50221:
    case 50222:
    case 51932:
        return 932;
    case 52936:
    case 51936:
        return 936;
    case 50225:
    case 51949:
        return 949;
    default:
        return codePage;
    }
}

std::uint32_t PropertyNumber(const MsgPropertyList& properties, std::uint32_t tag)
{
    const MsgProperty* property = FindProperty(properties, tag);
    return property != nullptr && property->integer > 0 ? static_cast<std::uint32_t>(property->integer) : 0;
}

} // namespace

std::uint32_t StringCodePage(const MsgPropertyList& properties, std::uint32_t enclosingCodePage)
{
    if (std::uint32_t codePage = PropertyNumber(properties, PR_MESSAGE_CODEPAGE); codePage != 0)
        return codePage;
    if (std::uint32_t localeId = PropertyNumber(properties, PR_MESSAGE_LOCALE_ID); localeId != 0)
        return platform::AnsiCodePageOfLocale(localeId);
    if (enclosingCodePage != 0)
        return enclosingCodePage;
    return WindowsCodePageOfInternet(PropertyNumber(properties, PR_INTERNET_CPID));
}

} // namespace platform::cfb
