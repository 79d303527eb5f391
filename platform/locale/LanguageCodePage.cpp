// Windows ANSI code pages of language identifiers, as Windows assigns them to its locales.
#include "platform/locale/Locale.h"

namespace platform {

std::uint32_t AnsiCodePageOfLocale(std::uint32_t localeId)
{
    const std::uint32_t language = localeId & 0xFFFF;
    switch (language) {
    case 0x0804:  // Chinese (PRC)
    case 0x1004:  // Chinese (Singapore)
        return 936;
    case 0x0404:  // Chinese (Taiwan)
    case 0x0C04:  // Chinese (Hong Kong)
    case 0x1404:  // Chinese (Macao)
        return 950;
    case 0x0C1A:  // Serbian (Cyrillic)
    case 0x1C1A:  // Serbian (Cyrillic, Bosnia)
    case 0x201A:  // Bosnian (Cyrillic)
    case 0x0843:  // Uzbek (Cyrillic)
    case 0x082C:  // Azerbaijani (Cyrillic)
        return 1251;
    case 0x042C:  // Azerbaijani (Latin)
    case 0x0443:  // Uzbek (Latin)
        return 1254;
    default:
        break;
    }
    switch (language & 0x3FF) {
    case 0x1E:  // Thai
        return 874;
    case 0x11:  // Japanese
        return 932;
    case 0x12:  // Korean
        return 949;
    case 0x04:  // Chinese, other regions
        return 936;
    case 0x05:  // Czech
    case 0x0E:  // Hungarian
    case 0x15:  // Polish
    case 0x18:  // Romanian
    case 0x1A:  // Croatian, Serbian (Latin), Bosnian (Latin)
    case 0x1B:  // Slovak
    case 0x1C:  // Albanian
    case 0x24:  // Slovenian
        return 1250;
    case 0x02:  // Bulgarian
    case 0x19:  // Russian
    case 0x22:  // Ukrainian
    case 0x23:  // Belarusian
    case 0x28:  // Tajik
    case 0x2F:  // Macedonian
    case 0x3F:  // Kazakh
    case 0x40:  // Kyrgyz
    case 0x44:  // Tatar
    case 0x50:  // Mongolian
    case 0x6D:  // Bashkir
        return 1251;
    case 0x08:  // Greek
        return 1253;
    case 0x1F:  // Turkish
        return 1254;
    case 0x0D:  // Hebrew
        return 1255;
    case 0x01:  // Arabic
    case 0x20:  // Urdu
    case 0x29:  // Persian
        return 1256;
    case 0x25:  // Estonian
    case 0x26:  // Latvian
    case 0x27:  // Lithuanian
        return 1257;
    case 0x2A:  // Vietnamese
        return 1258;
    default:
        return 1252;
    }
}

} // namespace platform
