// ANSI code page to UTF-8.
#include "ex2qln/directory/AnsiText.h"

#include "mmconv/encoding/CodePageConversion.h"

#include <algorithm>

namespace ex2qln::directory {
namespace {

constexpr unsigned kUtf8CodePage = 65001;
constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

bool IsAscii(std::string_view text)
{
    return std::ranges::all_of(text, [](char character) { return static_cast<unsigned char>(character) < 0x80; });
}

} // namespace

std::string AnsiToUtf8(std::string_view text, unsigned codePage)
{
    if (IsAscii(text))
        return std::string(text);
    std::string converted;
    if (SUCCEEDED(mmconv::ConvertCodePage(text, codePage, kUtf8CodePage, converted)))
        return converted;
    converted.clear();
    for (const char character : text) {
        if (static_cast<unsigned char>(character) < 0x80)
            converted += character;
        else
            converted += kReplacement;
    }
    return converted;
}

} // namespace ex2qln::directory
