// The address syntax of RFC 5322, as far as the converters read and write it.
#include "mmconv/message/AddressForm.h"

#include <algorithm>

namespace mmconv {
namespace {

constexpr std::u16string_view kAtext = u"!#$%&'*+-/=?^_`{|}~";

bool IsAtextChar(char16_t c)
{
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') ||
           kAtext.find(c) != std::u16string_view::npos;
}

bool IsDotAtom(std::u16string_view text)
{
    if (text.empty() || text.front() == u'.' || text.back() == u'.' || text.find(u"..") != std::u16string_view::npos)
        return false;
    return std::all_of(text.begin(), text.end(), [](char16_t c) { return c == u'.' || IsAtextChar(c); });
}

bool IsPrintableAscii(char16_t c)
{
    return c >= 0x20 && c < 0x7F;
}

// A quoted-string: printable ASCII between quotes, with backslash pairs.
bool IsQuotedString(std::u16string_view text)
{
    if (text.size() < 2 || text.front() != u'"' || text.back() != u'"')
        return false;
    for (std::size_t i = 1; i + 1 < text.size(); ++i) {
        if (!IsPrintableAscii(text[i]) || text[i] == u'"')
            return false;
        if (text[i] == u'\\' && ++i + 1 >= text.size())
            return false;
    }
    return true;
}

bool IsDomainLiteral(std::u16string_view text)
{
    if (text.size() < 2 || text.front() != u'[' || text.back() != u']')
        return false;
    return std::all_of(text.begin() + 1, text.end() - 1, [](char16_t c) {
        return IsPrintableAscii(c) && c != u'[' && c != u']' && c != u'\\' && c != u' ';
    });
}

std::u16string_view Trim(std::u16string_view text)
{
    while (!text.empty() && (text.front() == u' ' || text.front() == u'\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == u' ' || text.back() == u'\t'))
        text.remove_suffix(1);
    return text;
}

std::u16string Unquote(std::u16string_view phrase)
{
    if (phrase.size() < 2 || phrase.front() != u'"' || phrase.back() != u'"')
        return std::u16string(phrase);
    std::u16string plain;
    for (std::size_t i = 1; i + 1 < phrase.size(); ++i) {
        if (phrase[i] == u'\\' && i + 2 < phrase.size())
            ++i;
        plain += phrase[i];
    }
    return plain;
}

} // namespace

bool IsAddrSpec(std::u16string_view address)
{
    const std::size_t at = address.rfind(u'@');
    if (at == std::u16string_view::npos)
        return false;
    const std::u16string_view local = address.substr(0, at);
    const std::u16string_view domain = address.substr(at + 1);
    return (IsDotAtom(local) || IsQuotedString(local)) && (IsDotAtom(domain) || IsDomainLiteral(domain));
}

std::optional<ParsedMailbox> ParseMailbox(std::u16string_view text)
{
    text = Trim(text);
    if (IsAddrSpec(text))
        return ParsedMailbox{{}, std::u16string(text)};
    if (text.empty() || text.back() != u'>')
        return std::nullopt;
    const std::size_t open = text.rfind(u'<');
    if (open == std::u16string_view::npos)
        return std::nullopt;
    const std::u16string_view address = Trim(text.substr(open + 1, text.size() - open - 2));
    if (!IsAddrSpec(address))
        return std::nullopt;
    const std::u16string_view phrase = Trim(text.substr(0, open));
    if (phrase.find_first_of(u"<>") != std::u16string_view::npos)
        return std::nullopt;
    return ParsedMailbox{Unquote(phrase), std::u16string(address)};
}

std::string EncodeRecepientName(const HeaderText& text, std::u16string_view name, std::string_view address,
    bool encode)
{
    if (!encode)
        return std::string(address);
    std::string entry;
    if (!name.empty()) {
        entry = text.Phrase(name);
        entry += ' ';
    }
    entry += '<';
    entry += address;
    entry += '>';
    return entry;
}

std::string EmptyGroup(const HeaderText& text, std::u16string_view name)
{
    // An encoded word stands apart from the ":" after it.
    const std::string phrase = text.Phrase(name);
    return phrase + (phrase.ends_with("?=") ? " : ;" : ": ;");
}

} // namespace mmconv
