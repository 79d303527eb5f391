// Formatting of text templates that may come from a language file.
#include "ex2qln/net/TextFormat.h"

#include "platform/base/HResult.h"

#include <gtest/gtest.h>

#include <vector>

namespace ex2qln::net {
namespace {

struct FormatCase {
    const char* format;
    std::vector<TextArgument> arguments;
    const char* expected;
};

TEST(TextFormat, FormatsMatchingConversionsAndCopiesTheRest)
{
    const HRESULT closed = EX2QLN_HR(0x80072749u);
    const std::vector<FormatCase> cases = {
        {"Host not found: %s [%#x]", {"mail", closed}, "Host not found: mail [0x80072749]"},
        {"Unable to connect to host: %s:%ld [%#x]", {"mail", 106u, closed},
         "Unable to connect to host: mail:106 [0x80072749]"},
        {"%d|%u|%x|%X|%08x|%o", {-5, -1, 255, 255, 255, 8}, "-5|4294967295|ff|FF|000000ff|10"},
        {"[%5s][%-5s][%.2s]", {"ab", "ab", "abcdef"}, "[   ab][ab   ][ab]"},
        {"100%% sure", {}, "100% sure"},
        {"no conversions", {"unused"}, "no conversions"},
        // A template from a language file that does not match the arguments is shown, not run.
        {"%s and %s", {"one"}, "one and %s"},
        {"%s", {42}, "%s"},
        {"%d then %s", {"text", "two"}, "%d then two"},
        {"%n%p%f", {1, 2, 3}, "%n%p%f"},
        {"%*d", {7}, "%*d"},
        {"trailing %", {1}, "trailing %"},
        {"%999999999d", {1}, "%999999999d"},
    };
    for (const FormatCase& example : cases)
        EXPECT_EQ(FormatText(example.format, example.arguments), example.expected) << example.format;
}

} // namespace
} // namespace ex2qln::net
