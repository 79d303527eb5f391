// The CLI reply grammar, case by case.
#include "ex2qln/cli/CliReply.h"

#include <gtest/gtest.h>

#include <climits>
#include <optional>
#include <string>

namespace ex2qln::cli {
namespace {

struct ReplyCase {
    std::string line;
    bool valid;
    int code;
    std::string text;
};

TEST(CliReply, ParsesTheReplyGrammar)
{
    const ReplyCase cases[] = {
        {"200 OK", true, 200, "OK"},
        {"201 {RealName=\"A\";}", true, 201, "{RealName=\"A\";}"},
        {"500 Unknown command", true, 500, "Unknown command"},
        {"+ PDE4OTYuNjk3MTcwOTUyQHBvc3RvZmZpY2U+", true, 0, "PDE4OTYuNjk3MTcwOTUyQHBvc3RvZmZpY2U+"},
        {"+", true, 0, ""},
        {"+ ", true, 0, ""},
        {"200", true, 200, ""},
        {"200 ", true, 200, ""},
        {"200  two blanks", true, 200, " two blanks"},
        {"200\ttab", true, 200, "tab"},
        {"   250 indented", true, 250, "indented"},
        {"", true, 0, ""},
        {" text after a blank", true, 0, "text after a blank"},
        {"  two leading blanks", true, 0, " two leading blanks"},
        {"007 leading zeros", true, 7, "leading zeros"},
        {"99999999999999999999 huge", true, INT_MAX, "huge"},
        {"200OK", false, 0, ""},
        {"+OK", false, 0, ""},
        {"OK", false, 0, ""},
        {"-1 negative", false, 0, ""},
        {"2.0 dotted", false, 0, ""},
    };
    for (const ReplyCase& test : cases) {
        SCOPED_TRACE("line '" + test.line + "'");
        const std::optional<CliReplyLine> reply = ParseCliReply(test.line);
        ASSERT_EQ(reply.has_value(), test.valid);
        if (!reply)
            continue;
        EXPECT_EQ(reply->code, test.code);
        EXPECT_EQ(reply->text, test.text);
    }
}

} // namespace
} // namespace ex2qln::cli
