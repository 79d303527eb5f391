// Header text in its three forms.
#include "mmconv/message/HeaderText.h"

#include <algorithm>

#include "mmconv/encoding/NeededEncoding.h"
#include "mmconv/encoding/Rfc1522.h"

namespace mmconv {
namespace {

// Lines stay well below the 998 characters a line may hold.
constexpr std::size_t kLongestLine = 900;

constexpr std::u16string_view kAtomSpecials = u"()<>[]:;@\\,.\"";

bool IsAtomText(std::u16string_view text)
{
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char16_t c) {
        return c > 0x20 && c < 0x7F && kAtomSpecials.find(c) == std::u16string_view::npos;
    });
}

std::string Narrow(std::u16string_view ascii)
{
    return std::string(ascii.begin(), ascii.end());
}

bool HasLongWord(std::u16string_view text)
{
    std::size_t run = 0;
    for (char16_t c : text) {
        run = c == u' ' ? 0 : run + 1;
        if (run > kLongestLine)
            return true;
    }
    return false;
}

// A line break before the blank that ends each line's last word within the limit.
std::string FoldAtBlanks(std::u16string_view text)
{
    std::string folded;
    folded.reserve(text.size() + 8);
    std::size_t lineStart = 0;
    std::size_t lastBlank = std::u16string_view::npos;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == u' ' && i > lineStart)
            lastBlank = i;
        if (i - lineStart >= kLongestLine && lastBlank != std::u16string_view::npos && lastBlank > lineStart) {
            folded += Narrow(text.substr(lineStart, lastBlank - lineStart));
            folded += "\r\n";
            lineStart = lastBlank;
            lastBlank = std::u16string_view::npos;
        }
    }
    folded += Narrow(text.substr(lineStart));
    return folded;
}

} // namespace

std::string HeaderText::Words(std::u16string_view text) const
{
    std::string words;
    if (FAILED(EncodeRfc1522W(lang_, codePage_, text, words)))
        words.clear();
    return words;
}

std::string HeaderText::Unstructured(std::u16string_view text) const
{
    if (IsNeededEncodingW(text) || HasLongWord(text))
        return Words(text);
    if (text.size() <= kLongestLine)
        return Narrow(text);
    return FoldAtBlanks(text);
}

std::string HeaderText::Phrase(std::u16string_view name) const
{
    if (IsNeededEncodingW(name) || name.size() > kLongestLine)
        return Words(name);
    std::string quoted = "\"";
    for (char16_t c : name) {
        if (c == u'"' || c == u'\\')
            quoted += '\\';
        quoted += static_cast<char>(c);
    }
    quoted += '"';
    return quoted;
}

std::string HeaderText::Keyword(std::u16string_view keyword) const
{
    bool atoms = !keyword.empty();
    std::size_t start = 0;
    while (atoms && start <= keyword.size()) {
        const std::size_t blank = std::min(keyword.find(u' ', start), keyword.size());
        atoms = IsAtomText(keyword.substr(start, blank - start));
        start = blank + 1;
    }
    if (atoms && keyword.size() <= kLongestLine)
        return Narrow(keyword);
    return Phrase(keyword);
}

std::u16string OneLine(std::u16string_view text)
{
    std::u16string line;
    line.reserve(text.size());
    for (char16_t c : text)
        line += (c == u'\r' || c == u'\n') ? u' ' : c;
    return line;
}

} // namespace mmconv
