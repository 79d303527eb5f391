// The body type an RTF header announces.
#include "mmconv/body/RtfBodyType.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace mmconv;

TEST(RtfBodyTypeTest, HeaderDecides)
{
    struct Case {
        std::string rtfStart;
        unsigned expected;
    };
    const std::vector<Case> cases = {
        {"", kBodyTypeNone},
        {"{\\rtf1\\ansi\\ansicpg1252\\fromtext \\fbidis \\deff0{\\fonttbl", kBodyTypePlain},
        {"{\\rtf1\\ansi\\ansicpg1252\\fromhtml1 \\deff0{\\fonttbl", kBodyTypeHtml},
        {"{\\rtf1\\ansi\\deff0\\fromhtml1}", kBodyTypeHtml},
        // Only the text up to the next brace counts.
        {"{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Arial;}}\\fromhtml1", kBodyTypeRtf},
        {"{\\rtf1\\ansi}\\fromtext", kBodyTypeRtf},
        {"{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl", kBodyTypeRtf},
        {"no brace at all", kBodyTypeRtf},
        {"{\\rtf1\\fromtext\\fromhtml1", kBodyTypePlain},
        {"{\\rtf1\\ansi\\fromhtml1 no closing brace in the prefix", kBodyTypeHtml},
        {"leading text {\\rtf1\\fromhtml1", kBodyTypeHtml},
    };
    for (const Case& c : cases)
        EXPECT_EQ(GetRtfBodyType(c.rtfStart), c.expected) << c.rtfStart;
}

} // namespace
