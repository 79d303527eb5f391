// The line reader that initialisation and registry files share.
#include "platform/ini/IniLines.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace platform {
namespace {

// The lines as "[text" for sections and "text" for the others.
std::vector<std::string> Lines(std::string_view text, std::string_view blanks)
{
    std::vector<std::string> lines;
    IniLineReader reader(text, blanks);
    while (std::optional<IniLine> line = reader.Next())
        lines.push_back((line->kind == IniLine::Kind::Section ? "[" : "") + std::string(line->text));
    return lines;
}

TEST(IniLines, PassesOverCommentsAndBlankLines)
{
    struct Case {
        const char* name;
        std::string text;
        std::vector<std::string> lines;
    };
    const std::vector<Case> cases = {
        {"line ends LF and CR LF", "a=1\nb=2\r\nc=3", {"a=1", "b=2", "c=3"}},
        {"blanks around a line", "  [ Key ] \r\n\t x = y \t\r\n", {"[ Key ]", "x = y"}},
        {"comments after blanks", "; one\n   ;two\n;\nkept ; not a comment\n", {"kept ; not a comment"}},
        {"empty and blank lines", "\n\r\n \t \r\n\na\n\n", {"a"}},
        {"a section keeps what follows the bracket", "[\n[]\n[a]x\n", {"[", "[]", "[a]x"}},
        {"nothing", "", {}},
        {"a bracket later in the line is no section", "a=[b]\n", {"a=[b]"}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Lines(c.text, kIniBlanks), c.lines) << c.name;
}

TEST(IniLines, EachFormatTrimsItsOwnBlanks)
{
    const std::string text = "\v[Key]\f\n\fa=1\n";
    EXPECT_EQ(Lines(text, kIniBlanks), (std::vector<std::string>{"[Key]", "a=1"}));
    EXPECT_EQ(Lines(text, kRegistryBlanks), (std::vector<std::string>{"\v[Key]\f", "\fa=1"}));
}

} // namespace
} // namespace platform
