// Comparisons that ignore the case of ASCII letters only, as MAPI compares class names and address
// types and as header field names compare.
#pragma once

#include <algorithm>
#include <string_view>

namespace mmconv {

template <typename Char>
constexpr Char FoldAsciiCase(Char c)
{
    return c >= Char('a') && c <= Char('z') ? static_cast<Char>(c - Char('a') + Char('A')) : c;
}

template <typename Char>
constexpr bool StartsWithIgnoringAsciiCase(std::basic_string_view<Char> text, std::basic_string_view<Char> prefix)
{
    return text.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), text.begin(), [](Char a, Char b) {
        return FoldAsciiCase(a) == FoldAsciiCase(b);
    });
}

inline bool EqualIgnoringAsciiCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && StartsWithIgnoringAsciiCase(a, b);
}

inline bool EqualIgnoringAsciiCase(std::u16string_view a, std::u16string_view b)
{
    return a.size() == b.size() && StartsWithIgnoringAsciiCase(a, b);
}

} // namespace mmconv
