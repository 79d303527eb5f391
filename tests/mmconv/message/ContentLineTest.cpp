// The content-line writer: escaping, line ends, folding at 75 octets without splitting a character
// or an escape; and the kept custom-tag lines it writes for a component.
#include <gtest/gtest.h>

#include <mapitags.h>

#include <string>

#include "mmconv/message/FoldedOutput.h"
#include "mmconv/message/MMNamedPropsCnv.h"
#include "tests/mmconv/message/ConversionHarness.h"

namespace mmconv {
namespace {

std::string Folded(std::string_view text, unsigned column, unsigned flags, unsigned* after = nullptr)
{
    std::string written;
    MimeOutput output(written);
    EXPECT_EQ(FoldedOutput(output, text, column, flags), S_OK);
    if (after != nullptr)
        *after = column;
    return written;
}

TEST(FoldedOutput, EscapesAndLineEnds)
{
    unsigned column = 0;
    EXPECT_EQ(Folded("a,b;c\\d\r\n", 0, kFoldEscape, &column), "a\\,b\\;c\\\\d\\N");
    EXPECT_EQ(column, 12u);
    EXPECT_EQ(Folded("a,b\r\nc", 0, 0, &column), "a,b\r\nc");
    EXPECT_EQ(column, 1u);
}

TEST(FoldedOutput, FoldsAt75Octets)
{
    // After "SUMMARY:" (8 octets) the value is folded after its 67th octet; the next line holds the
    // blank and 74 more.
    const std::string value(67 + 74 + 3, 'x');
    EXPECT_EQ(Folded(value, 8, 0), std::string(67, 'x') + "\r\n " + std::string(74, 'x') + "\r\n " + "xxx");
    // A character that would pass the 75th octet begins the next line whole.
    const std::string straddling = std::string(74, 'a') + "\xE2\x82\xAC" + "b";
    EXPECT_EQ(Folded(straddling, 0, 0), std::string(74, 'a') + "\r\n \xE2\x82\xAC" + "b");
    const std::string fitting = std::string(72, 'a') + "\xE2\x82\xAC" + "b";
    EXPECT_EQ(Folded(fitting, 0, 0), std::string(72, 'a') + "\xE2\x82\xAC\r\n b");
    // A character that would begin at the 76th octet begins the next line.
    const std::string after = std::string(75, 'a') + "\xC3\xA9";
    EXPECT_EQ(Folded(after, 0, 0), std::string(75, 'a') + "\r\n \xC3\xA9");
    // An escape whose backslash would be the 75th octet moves whole to the next line.
    EXPECT_EQ(Folded(std::string(74, 'a') + ",", 0, kFoldEscape), std::string(74, 'a') + "\r\n \\,");
}

TEST(CustomTags, TheLinesOfOneComponent)
{
    struct Case {
        const char* label;
        std::vector<std::int64_t> ids;
        std::vector<std::u16string> values;
        std::string written;
    };
    const Case cases[] = {
        {"lines of the asked component", {1, 2, 1}, {u"X-ONE:a", u"X-TWO:b", u"X-THREE:c"}, "X-ONE:a\r\nX-THREE:c\r\n"},
        {"unequal counts write nothing", {1, 1, 1}, {u"X-ONE:a", u"X-TWO:b"}, ""},
        {"long lines fold", {1}, {u"X-LONG:" + std::u16string(80, u'y')},
            "X-LONG:" + std::string(68, 'y') + "\r\n " + std::string(12, 'y') + "\r\n"},
    };
    for (const Case& c : cases) {
        convtest::MessageBuilder builder;
        builder.Add(convtest::Ansi(PR_MESSAGE_CLASS_A, "IPM.Appointment"));
        builder.Add(convtest::MultiLong(builder.Named(PSETID_Quillon, std::u16string(kNameCustomTagIds), PT_MV_LONG), c.ids));
        builder.Add(convtest::MultiUnicode(builder.Named(PSETID_Quillon, std::u16string(kNameCustomTagValues), PT_MV_UNICODE),
            c.values));
        const MapiPtr<IMessage> message = convtest::Open(builder.Document());
        ASSERT_TRUE(message) << c.label;
        MMNamedPropsCnv names(message.get(), MMNamedPropsCnv::kAllGroups);
        std::string written;
        MimeOutput output(written);
        unsigned column = 0;
        EXPECT_EQ(names.SaveCustomTags(output, column, 1), S_OK) << c.label;
        EXPECT_EQ(written, c.written) << c.label;
    }
}

} // namespace
} // namespace mmconv
