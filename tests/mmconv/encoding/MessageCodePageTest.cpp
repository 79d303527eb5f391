// The message code page: PR_INTERNET_CPID, the Outlook detection option and the body trailer's fit.
#include <gtest/gtest.h>

#include "mmconv/encoding/MessageCodePage.h"

namespace mmconv {
namespace {

TEST(SelectMessageCodePage, FollowsTheCodePageRules)
{
    struct Case {
        const char* label;
        unsigned defaultAnsiPage;
        MessageCodePageInputs inputs;
        unsigned expected;
    };
    const char* const kJapanese = "\xE6\x97\xA5\xE6\x9C\xAC";  // two kanji in UTF-8
    const char* const kGerman = "Gr\xC3\xBC\xC3\x9F" "e";
    const Case cases[] = {
        {"no PR_INTERNET_CPID", 1252, {std::nullopt, 16, 1, kJapanese}, 65001},
        {"no trailer", 1252, {1252, std::nullopt, std::nullopt, ""}, 1252},
        {"trailer fits", 1252, {1252, 16, 1, kGerman}, 1252},
        {"detection off in Outlook 16", 932, {1252, 16, 0, kJapanese}, 1252},
        {"detection off counts only after Outlook 9", 932, {1252, 9, 0, kJapanese}, 932},
        {"detection option unreadable", 932, {1252, 16, std::nullopt, kJapanese}, 932},
        {"trailer needs the default ANSI code page", 932, {1252, 16, 1, kJapanese}, 932},
        {"trailer fits neither", 1252, {1252, 16, 1, kJapanese}, 65001},
        {"unknown PR_INTERNET_CPID", 932, {12345, 16, 1, kGerman}, 65001},
        {"emoji fits only UTF-8", 932, {932, 16, 1, "\xF0\x9F\x98\x80"}, 65001},
    };
    for (const Case& c : cases) {
        unsigned codePage = 0;
        ASSERT_EQ(SelectMessageCodePage(CMMLang(c.defaultAnsiPage), c.inputs, codePage), S_OK);
        EXPECT_EQ(codePage, c.expected) << c.label;
    }
}

} // namespace
} // namespace mmconv
