// Windows language identifiers (LANGID) of POSIX locale names.
#include "platform/locale/Locale.h"

#include <array>
#include <cctype>
#include <optional>
#include <string>
#include <vector>

namespace platform {

namespace {

struct LanguageEntry {
    std::string_view locale;  // "language", "language_TERRITORY" or either with "@modifier"
    std::uint16_t languageId;
};

constexpr std::uint16_t kEnglishUnitedStates = 0x0409;

// A bare language gives its default identifier; territories with an identifier of their own follow.
constexpr std::array kLanguages = std::to_array<LanguageEntry>({
    {"af", 0x0436},       {"am", 0x045E},       {"ar", 0x0401},       {"ar_EG", 0x0C01},
    {"ar_AE", 0x3801},    {"ar_MA", 0x1801},    {"az", 0x042C},       {"be", 0x0423},
    {"bg", 0x0402},       {"bn", 0x0445},       {"bs", 0x141A},       {"ca", 0x0403},
    {"cs", 0x0405},       {"cy", 0x0452},       {"da", 0x0406},       {"de", 0x0407},
    {"de_AT", 0x0C07},    {"de_CH", 0x0807},    {"de_LI", 0x1407},    {"de_LU", 0x1007},
    {"el", 0x0408},       {"en", 0x0409},       {"en_AU", 0x0C09},    {"en_CA", 0x1009},
    {"en_GB", 0x0809},    {"en_IE", 0x1809},    {"en_IN", 0x4009},    {"en_NZ", 0x1409},
    {"en_SG", 0x4809},    {"en_ZA", 0x1C09},    {"es", 0x0C0A},       {"es_AR", 0x2C0A},
    {"es_CL", 0x340A},    {"es_CO", 0x240A},    {"es_MX", 0x080A},    {"es_US", 0x540A},
    {"et", 0x0425},       {"eu", 0x042D},       {"fa", 0x0429},       {"fi", 0x040B},
    {"fil", 0x0464},      {"fo", 0x0438},       {"fr", 0x040C},       {"fr_BE", 0x080C},
    {"fr_CA", 0x0C0C},    {"fr_CH", 0x100C},    {"fr_LU", 0x140C},    {"fy", 0x0462},
    {"ga", 0x083C},       {"gl", 0x0456},       {"gu", 0x0447},       {"he", 0x040D},
    {"hi", 0x0439},       {"hr", 0x041A},       {"hu", 0x040E},       {"hy", 0x042B},
    {"id", 0x0421},       {"is", 0x040F},       {"it", 0x0410},       {"it_CH", 0x0810},
    {"ja", 0x0411},       {"ka", 0x0437},       {"kk", 0x043F},       {"km", 0x0453},
    {"kn", 0x044B},       {"ko", 0x0412},       {"ky", 0x0440},       {"lb", 0x046E},
    {"lo", 0x0454},       {"lt", 0x0427},       {"lv", 0x0426},       {"mk", 0x042F},
    {"ml", 0x044C},       {"mn", 0x0450},       {"mr", 0x044E},       {"ms", 0x043E},
    {"mt", 0x043A},       {"nb", 0x0414},       {"ne", 0x0461},       {"nl", 0x0413},
    {"nl_BE", 0x0813},    {"nn", 0x0814},       {"no", 0x0414},       {"pa", 0x0446},
    {"pl", 0x0415},       {"ps", 0x0463},       {"pt", 0x0816},       {"pt_BR", 0x0416},
    {"rm", 0x0417},       {"ro", 0x0418},       {"ru", 0x0419},       {"si", 0x045B},
    {"sk", 0x041B},       {"sl", 0x0424},       {"sq", 0x041C},       {"sr", 0x281A},
    {"sr@latin", 0x241A}, {"sv", 0x041D},       {"sv_FI", 0x081D},    {"sw", 0x0441},
    {"ta", 0x0449},       {"te", 0x044A},       {"tg", 0x0428},       {"th", 0x041E},
    {"tk", 0x0442},       {"tr", 0x041F},       {"tt", 0x0444},       {"uk", 0x0422},
    {"ur", 0x0420},       {"uz", 0x0443},       {"vi", 0x042A},       {"zh", 0x0804},
    {"zh_HK", 0x0C04},    {"zh_MO", 0x1404},    {"zh_SG", 0x1004},    {"zh_TW", 0x0404},
});

std::optional<std::uint16_t> Find(std::string_view locale)
{
    for (const LanguageEntry& entry : kLanguages) {
        if (entry.locale == locale)
            return entry.languageId;
    }
    return std::nullopt;
}

std::string Lower(std::string_view text)
{
    std::string result;
    for (char c : text)
        result += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return result;
}

std::string Upper(std::string_view text)
{
    std::string result;
    for (char c : text)
        result += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return result;
}

} // namespace

std::uint16_t LanguageIdFromLocaleName(std::string_view localeName)
{
    std::string_view modifier;
    if (std::size_t at = localeName.find('@'); at != std::string_view::npos) {
        modifier = localeName.substr(at);
        localeName = localeName.substr(0, at);
    }
    localeName = localeName.substr(0, localeName.find('.'));
    std::size_t underscore = localeName.find('_');
    std::string language = Lower(localeName.substr(0, underscore));
    std::string territory =
        underscore == std::string_view::npos ? std::string() : Upper(localeName.substr(underscore + 1));
    std::string modifierText = Lower(modifier);

    std::vector<std::string> candidates;
    if (!territory.empty()) {
        candidates.push_back(language + "_" + territory + modifierText);
        candidates.push_back(language + "_" + territory);
    }
    candidates.push_back(language + modifierText);
    candidates.push_back(language);
    for (const std::string& candidate : candidates) {
        if (std::optional<std::uint16_t> found = Find(candidate))
            return *found;
    }
    return kEnglishUnitedStates;
}

} // namespace platform
