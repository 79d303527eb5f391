// UTF-8 and UTF-16 conversion without a converter library.
#include "mmconv/encoding/Utf8.h"

#include <cstring>

namespace mmconv {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool IsContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

void AppendWide(std::u16string& result, char32_t codePoint)
{
    if (codePoint < 0x10000) {
        result.push_back(static_cast<char16_t>(codePoint));
        return;
    }
    codePoint -= 0x10000;
    result.push_back(static_cast<char16_t>(0xD800 + (codePoint >> 10)));
    result.push_back(static_cast<char16_t>(0xDC00 + (codePoint & 0x3FF)));
}

// Decodes one character at the front of text, setting the bytes it took (at least one).
char32_t DecodeOne(std::string_view text, std::size_t& taken)
{
    const auto lead = static_cast<unsigned char>(text[0]);
    taken = 1;
    if (lead < 0x80)
        return lead;
    std::size_t length = 0;
    char32_t codePoint = 0;
    char32_t minimum = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, codePoint = lead & 0x1F, minimum = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, codePoint = lead & 0x0F, minimum = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, codePoint = lead & 0x07, minimum = 0x10000;
    } else {
        return kReplacement;
    }
    for (std::size_t i = 1; i < length; ++i) {
        if (i >= text.size() || !IsContinuation(static_cast<unsigned char>(text[i])))
            return kReplacement;
        codePoint = (codePoint << 6) | (static_cast<unsigned char>(text[i]) & 0x3F);
        taken = i + 1;
    }
    const bool surrogate = codePoint >= 0xD800 && codePoint <= 0xDFFF;
    if (codePoint < minimum || codePoint > 0x10FFFF || surrogate)
        return kReplacement;
    return codePoint;
}

void AppendUtf8(std::string& result, char32_t codePoint)
{
    if (codePoint < 0x80) {
        result.push_back(static_cast<char>(codePoint));
    } else if (codePoint < 0x800) {
        result.push_back(static_cast<char>(0xC0 | (codePoint >> 6)));
        result.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
    } else if (codePoint < 0x10000) {
        result.push_back(static_cast<char>(0xE0 | (codePoint >> 12)));
        result.push_back(static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F)));
        result.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
    } else {
        result.push_back(static_cast<char>(0xF0 | (codePoint >> 18)));
        result.push_back(static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F)));
        result.push_back(static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F)));
        result.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
    }
}

} // namespace

std::u16string Utf8ToWide(std::string_view text)
{
    std::u16string result;
    result.reserve(text.size());
    while (!text.empty()) {
        std::size_t taken = 0;
        AppendWide(result, DecodeOne(text, taken));
        text.remove_prefix(taken);
    }
    return result;
}

std::u16string Utf8ToWide(const char* text, int length)
{
    if (text == nullptr || length == 0)
        return {};
    if (length < 0)
        return Utf8ToWide(std::string_view(text, std::strlen(text) + 1));
    return Utf8ToWide(std::string_view(text, static_cast<std::size_t>(length)));
}

std::string WideToUtf8(std::u16string_view text)
{
    std::string result;
    result.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i];
        const bool high = unit >= 0xD800 && unit <= 0xDBFF;
        const bool pairFollows =
            high && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF;
        if (pairFollows) {
            AppendUtf8(result, 0x10000 + ((unit - 0xD800) << 10) + (text[i + 1] - 0xDC00));
            ++i;
        } else if (unit >= 0xD800 && unit <= 0xDFFF) {
            AppendUtf8(result, kReplacement);
        } else {
            AppendUtf8(result, unit);
        }
    }
    return result;
}

} // namespace mmconv
