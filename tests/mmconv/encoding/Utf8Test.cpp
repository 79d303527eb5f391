// The library's own UTF-8 and UTF-16 conversion, malformed input included.
#include <gtest/gtest.h>

#include <string>

#include "mmconv/encoding/Utf8.h"

namespace mmconv {
namespace {

TEST(Utf8, DecodesIntoUtf16)
{
    struct Case {
        std::string utf8;
        std::u16string wide;
    };
    const Case cases[] = {
        {"", u""},
        {"plain", u"plain"},
        {"M\xC3\xBCller", u"M\u00fcller"},
        {"\xE2\x82\xAC", u"\u20ac"},
        {"\xEF\xBF\xBF", u"\uffff"},
        {"\xF0\x9F\x98\x80", u"\U0001F600"},
        {"\xF4\x8F\xBF\xBF", u"\U0010FFFF"},
        // Malformed: a stray continuation, a cut sequence, overlong forms, an encoded surrogate,
        // a code point past U+10FFFF and a lead byte at the very end.
        {"a\x80" "b", u"a\uFFFDb"},
        {"a\xE2\x82" "b", u"a\uFFFDb"},
        {"\xC0\x80", u"\uFFFD\uFFFD"},
        {"\xE0\x80\x80", u"\uFFFD"},
        {"\xED\xA0\x80", u"\uFFFD"},
        {"\xF4\x90\x80\x80", u"\uFFFD"},
        {"z\xF0", u"z\uFFFD"},
        {std::string("a\0b", 3), std::u16string(u"a\0b", 3)},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Utf8ToWide(c.utf8), c.wide) << c.utf8;
}

TEST(Utf8, CountedFormMeasuresUpToAndIncludingTheTerminator)
{
    EXPECT_EQ(Utf8ToWide("\xC3\xA9t\xC3\xA9", -1), std::u16string(u"\u00e9t\u00e9\0", 4));
    EXPECT_EQ(Utf8ToWide("\xC3\xA9t\xC3\xA9", 3), u"\u00e9t");
    EXPECT_EQ(Utf8ToWide(nullptr, -1), u"");
    EXPECT_EQ(Utf8ToWide("abc", 0), u"");
}

TEST(Utf8, EncodesUtf16)
{
    struct Case {
        std::u16string wide;
        std::string utf8;
    };
    const Case cases[] = {
        {u"", ""},
        {u"M\u00fcller", "M\xC3\xBCller"},
        {u"\u0800\uffff", "\xE0\xA0\x80\xEF\xBF\xBF"},
        {u"\U0001F600", "\xF0\x9F\x98\x80"},
        {std::u16string(1, char16_t(0xD83D)) + u"x", "\xEF\xBF\xBDx"},
        {std::u16string(1, char16_t(0xDE00)), "\xEF\xBF\xBD"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(WideToUtf8(c.wide), c.utf8) << c.utf8;
}

TEST(Utf8, EveryCodePointSurvivesTheRoundTrip)
{
    for (char32_t codePoint = 1; codePoint <= 0x10FFFF; codePoint += 7) {
        if (codePoint >= 0xD800 && codePoint <= 0xDFFF)
            continue;
        std::u16string wide;
        if (codePoint < 0x10000) {
            wide.push_back(static_cast<char16_t>(codePoint));
        } else {
            wide.push_back(static_cast<char16_t>(0xD800 + ((codePoint - 0x10000) >> 10)));
            wide.push_back(static_cast<char16_t>(0xDC00 + ((codePoint - 0x10000) & 0x3FF)));
        }
        ASSERT_EQ(Utf8ToWide(WideToUtf8(wide)), wide) << std::hex << static_cast<std::uint32_t>(codePoint);
    }
}

} // namespace
} // namespace mmconv
