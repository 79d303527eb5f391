// LDIF values (SAFE-STRING or Base64), DN escapes, surnames, and the UTF-8 form of ANSI text.
#include "ex2qln/directory/AnsiText.h"
#include "ex2qln/directory/GroupScript.h"
#include "ex2qln/directory/LdifText.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Pairs = std::vector<std::pair<std::string, std::string>>;

TEST(AppendLdifValue, Base64OnlyForValuesThatAreNoSafeString)
{
    const Pairs cases = {
        {"plain", ": plain"},
        {"", ": "},
        {"inner: colon <and> angle", ": inner: colon <and> angle"},
        {"#hash first", ": #hash first"},
        {" leading", ":: IGxlYWRpbmc="},
        {":colon", ":: OmNvbG9u"},
        {"<angle", ":: PGFuZ2xl"},
        {"trailing ", ":: dHJhaWxpbmcg"},
        {"tab\there", ":: dGFiCWhlcmU="},
        {"cr\r", ":: Y3IN"},
        {std::string("nul\0x", 5), ":: bnVsAHg="},
        {"Zo\xC3\xAB", ":: Wm/Dqw=="},
        {"\x7F", ": \x7F"},
    };
    for (const auto& [value, expected] : cases) {
        std::string output = "name";
        ex2qln::directory::AppendLdifValue(output, value);
        EXPECT_EQ(output, "name" + expected) << value;
    }
}

TEST(EscapeDnValue, EscapesWhatADnValueCannotHold)
{
    const Pairs cases = {
        {"Smith, John", "Smith\\, John"},
        {"a+b=c", "a\\+b\\=c"},
        {"\"q\" \\ <x>;", "\\\"q\\\" \\\\ \\<x\\>\\;"},
        {" lead and trail ", "\\ lead and trail\\ "},
        {"#1 and #2", "\\#1 and #2"},
        {"line\nbreak\x7F", "line\\0Abreak\\7F"},
        {"J\xC3\xBCrgen", "J\xC3\xBCrgen"},
        {" ", "\\ "},
    };
    for (const auto& [value, expected] : cases)
        EXPECT_EQ(ex2qln::directory::EscapeDnValue(value), expected) << value;
}

TEST(DeriveSurname, FromTheCommonName)
{
    const Pairs cases = {
        {"Smith, John", "Smith"}, {"John Smith", "Smith"},     {"Prince", "Prince"},
        {"van der Berg, Jan", "van der Berg"}, {"Mary Ann Lee", "Lee"}, {", John", ", John"},
        {"John ", "John"},        {"Smith , J", "Smith"},      {"A B,", "A B"},
    };
    for (const auto& [commonName, expected] : cases)
        EXPECT_EQ(ex2qln::directory::DeriveSurname(commonName), expected) << commonName;
}

TEST(AnsiToUtf8, ConvertsFromTheCodePage)
{
    EXPECT_EQ(ex2qln::directory::AnsiToUtf8("J\xFCrgen Wei\xDF \x80", 1252), "J\xC3\xBCrgen Wei\xC3\x9F \xE2\x82\xAC");
    EXPECT_EQ(ex2qln::directory::AnsiToUtf8("plain", 1252), "plain");
    EXPECT_EQ(ex2qln::directory::AnsiToUtf8("J\xC3\xBCrgen", 65001), "J\xC3\xBCrgen");
    // Bytes that are not UTF-8 never reach the output as they are.
    EXPECT_EQ(ex2qln::directory::AnsiToUtf8("a\xFF" "b", 65001), "a\xEF\xBF\xBD" "b");
}

TEST(CreateGroupLine, RealNameInUtf8FromTheAnsiCodePage)
{
    EXPECT_EQ(ex2qln::directory::CreateGroupLine("v@example.org", "Verk\xE4ufer \"Nord\"", {"a@x", "b@x"}, 1252),
              "CreateGroup v@example.org { RealName=\"Verk\xC3\xA4ufer \\\"Nord\\\"\"; Members=(a@x,b@x);}\n");
    EXPECT_EQ(ex2qln::directory::CreateGroupLine("v@example.org", std::nullopt, {}, 1252),
              "CreateGroup v@example.org { Members=();}\n");
}

} // namespace
