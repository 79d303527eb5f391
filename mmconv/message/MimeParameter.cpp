// Parameter values as quoted strings or in the extended form of RFC 2231.
#include "mmconv/message/MimeParameter.h"

#include <algorithm>
#include <vector>

#include "mmconv/encoding/Utf8.h"

namespace mmconv {
namespace {

// A quoted value longer than this goes into sections, so that no line comes near the limit.
constexpr std::size_t kLongestQuotedValue = 900;
// Characters of one extended section, so that its line stays below 78 characters.
constexpr std::size_t kSectionLength = 60;

constexpr std::string_view kTokenSpecials = "()<>@,;:\\\"/[]?=";

bool IsPrintableAscii(std::u16string_view value)
{
    return std::all_of(value.begin(), value.end(), [](char16_t c) { return c >= 0x20 && c < 0x7F; });
}

bool IsAttributeChar(unsigned char c)
{
    return c > 0x20 && c < 0x7F && kTokenSpecials.find(static_cast<char>(c)) == std::string_view::npos &&
           c != '*' && c != '\'' && c != '%';
}

void AppendQuoted(std::string& field, std::string_view name, std::u16string_view value)
{
    field += ";\r\n ";
    field += name;
    field += "=\"";
    for (char16_t c : value) {
        if (c == u'"' || c == u'\\')
            field += '\\';
        field += static_cast<char>(c);
    }
    field += '"';
}

// The UTF-8 bytes percent-encoded, cut into sections that never split a character: readers decode
// each section on its own.
void AppendExtended(std::string& field, std::string_view name, std::u16string_view value)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::vector<std::string> characters;
    const std::string utf8 = WideToUtf8(value);
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        const bool continuation = (c & 0xC0) == 0x80;
        if (!continuation || characters.empty())
            characters.emplace_back();
        if (IsAttributeChar(c)) {
            characters.back() += static_cast<char>(c);
            continue;
        }
        characters.back() += '%';
        characters.back() += kHex[c >> 4];
        characters.back() += kHex[c & 0xF];
    }
    std::vector<std::string> sections(1, "utf-8''");
    for (const std::string& character : characters) {
        if (sections.back().size() + character.size() > kSectionLength && sections.back().size() > 7)
            sections.emplace_back();
        sections.back() += character;
    }
    if (sections.size() == 1) {
        field.append(";\r\n ").append(name).append("*=").append(sections.front());
        return;
    }
    for (std::size_t section = 0; section < sections.size(); ++section) {
        field.append(";\r\n ").append(name).append("*").append(std::to_string(section)).append("*=");
        field.append(sections[section]);
    }
}

} // namespace

void AppendParameter(std::string& field, std::string_view name, std::u16string_view value)
{
    if (IsPrintableAscii(value) && value.size() <= kLongestQuotedValue) {
        AppendQuoted(field, name, value);
        return;
    }
    AppendExtended(field, name, value);
}

void AppendParameter(std::string& field, std::string_view name, std::string_view value)
{
    std::u16string wide;
    for (unsigned char c : value)
        wide += static_cast<char16_t>(c);
    AppendParameter(field, name, wide);
}

bool IsMediaType(std::string_view text)
{
    const std::size_t slash = text.find('/');
    if (slash == std::string_view::npos || slash == 0 || slash + 1 == text.size())
        return false;
    auto isToken = [](std::string_view part) {
        return std::all_of(part.begin(), part.end(), [](char c) {
            const auto byte = static_cast<unsigned char>(c);
            return byte > 0x20 && byte < 0x7F && kTokenSpecials.find(c) == std::string_view::npos;
        });
    };
    return isToken(text.substr(0, slash)) && isToken(text.substr(slash + 1));
}

} // namespace mmconv
