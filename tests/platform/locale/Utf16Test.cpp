// UTF-16 to UTF-8, including the surrogate rules.
#include "platform/locale/Utf16.h"

#include <gtest/gtest.h>

namespace {

TEST(Utf16ToUtf8, ByExample)
{
    struct Case {
        std::u16string input;
        std::string expected;
    };
    const Case cases[] = {
        {u"", ""},
        {u"plain", "plain"},
        {u"\u00E9", "\xC3\xA9"},                          // two bytes
        {u"\u20AC", "\xE2\x82\xAC"},                      // three bytes
        {u"\U0001F600 \u00E9", "\xF0\x9F\x98\x80 \xC3\xA9"},  // a surrogate pair is one character
        {std::u16string(1, char16_t(0xD83D)), "\xEF\xBF\xBD"},  // lone high surrogate at the end
        {std::u16string{char16_t(0xDE00), u'x'}, "\xEF\xBF\xBDx"},  // lone low surrogate
        {std::u16string{char16_t(0xD83D), u'x'}, "\xEF\xBF\xBDx"},  // high surrogate without its low half
        {std::u16string(1, u'\0'), std::string(1, '\0')},
    };
    for (const Case& c : cases)
        EXPECT_EQ(platform::Utf16ToUtf8(c.input), c.expected);
}

} // namespace
