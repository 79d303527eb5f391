// Code-page services (names, sizes, the default ANSI page) and iconv conversions with replacement.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "mmconv/encoding/CodePageConversion.h"
#include "mmconv/encoding/ConversionTrace.h"
#include "mmconv/encoding/MMLang.h"
#include "platform/locale/CodePages.h"
#include "tests/support/ScopedEnvironment.h"

namespace mmconv {
namespace {

std::vector<std::string> gTraceLines;
void CollectTrace(std::string_view line) { gTraceLines.emplace_back(line); }

TEST(CodePageTable, NamesEachCodePageAsMailClientsExpect)
{
    struct Case {
        unsigned codePage;
        const char* charset;
        unsigned maxCharSize;
    };
    const Case cases[] = {
        {65001, "utf-8", 4},
        {20127, "us-ascii", 1},
        {28591, "iso-8859-1", 1},
        {28605, "iso-8859-15", 1},
        {1250, "windows-1250", 1},
        {1251, "windows-1251", 1},
        {1252, "windows-1252", 1},
        {20866, "koi8-r", 1},
        {21866, "koi8-u", 1},
        {50220, "iso-2022-jp", 5},
        {932, "shift_jis", 2},
        {936, "gb2312", 2},
        {949, "ks_c_5601-1987", 2},
        {950, "big5", 2},
        {51949, "euc-kr", 2},
        {51932, "euc-jp", 3},
        {54936, "gb18030", 4},
        {866, "cp866", 1},
        {874, "windows-874", 1},
    };
    const CMMLang lang(1252);
    for (const Case& c : cases) {
        std::string charset;
        EXPECT_EQ(lang.GetCodepageInfo(c.codePage, charset), S_OK) << c.codePage;
        EXPECT_EQ(charset, c.charset) << c.codePage;
        EXPECT_EQ(lang.GetMaxCharSize(c.codePage), c.maxCharSize) << c.codePage;
    }
}

TEST(CodePageTable, DefaultAnsiPageIsThatOfTheEnvironmentsCodeSet)
{
    struct Case {
        const char* locale;
        unsigned codePage;
        const char* charset;
    };
    const Case cases[] = {
        {"C", 20127, "us-ascii"},
        {"C.UTF-8", 65001, "utf-8"},
    };
    for (const Case& c : cases) {
        const testsupport::ScopedEnvironment locale("LC_ALL", std::string(c.locale));
        const CMMLang lang;
        EXPECT_EQ(lang.GetDefaultANSIPage(), c.codePage) << c.locale;
        std::string charset;
        EXPECT_EQ(lang.GetDefaultCharset(charset), S_OK) << c.locale;
        EXPECT_EQ(charset, c.charset) << c.locale;
    }
}

TEST(CodePageTable, KeepsWindowsNameForKoi8UButAnnouncesKoi8U)
{
    const platform::CodePageInfo* info = platform::FindCodePage(21866);
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->webCharset, "koi8-ru");
    std::string charset;
    ASSERT_EQ(CMMLang(1252).GetCodepageInfo(21866, charset), S_OK);
    EXPECT_EQ(charset, "koi8-u");
}

TEST(CodePageTable, UnknownCodePageFailsAndIsTraced)
{
    gTraceLines.clear();
    SetConversionTrace(CollectTrace);
    std::string charset;
    EXPECT_EQ(CMMLang(1252).GetCodepageInfo(12345, charset), E_FAIL);
    SetConversionTrace(nullptr);
    ASSERT_EQ(gTraceLines.size(), 1u);
    EXPECT_EQ(gTraceLines[0], "********Unable to retrieve codepage \"12345\" from registry");
    EXPECT_EQ(CMMLang(1252).GetMaxCharSize(12345), 1u);
}

TEST(CodePageTable, EveryAnnouncedNameLeadsBackToACodePageOfTheSameName)
{
    const CMMLang lang(1252);
    for (unsigned codePage = 0; codePage < 70000; ++codePage) {
        if (platform::FindCodePage(codePage) == nullptr)
            continue;
        EXPECT_TRUE(IsCodePageAvailable(codePage)) << "no converter for " << codePage;
        std::string charset;
        ASSERT_EQ(lang.GetCodepageInfo(codePage, charset), S_OK) << codePage;
        const std::optional<unsigned> back = platform::CodePageFromCharset(charset);
        ASSERT_TRUE(back.has_value()) << charset;
        std::string again;
        ASSERT_EQ(lang.GetCodepageInfo(*back, again), S_OK);
        EXPECT_EQ(again, charset) << codePage;
    }
}

TEST(CodePageConversion, ReplacesWhatTheCodePageLacksAndTellsSo)
{
    struct Case {
        std::u16string text;
        unsigned codePage;
        std::string bytes;
        bool lossy;
    };
    const Case cases[] = {
        {u"Gr\u00fc\u00dfe", 1252, "Gr\xFC\xDF" "e", false},
        {u"\u20ac", 1252, "\x80", false},
        {u"\u65e5\u672c", 1252, "??", true},
        {u"a\U0001F600b", 1252, "a?b", true},
        {u"a\U0001F600b", 65001, "a\xF0\x9F\x98\x80" "b", false},
        {std::u16string(u"x") + char16_t(0xD800) + u"y", 65001, "x?y", true},
        {u"\u65e5\u672c", 932, "\x93\xFA\x96\x7B", false},
        {u"\u043f\u0440\u0438", 20866, "\xD0\xD2\xC9", false},
        {u"\u0491", 21866, "\xAD", false},
        // Stateful: the replacement stands in ASCII, between complete escape sequences.
        {u"\u65e5\u00e9\u672c", 50220, "\x1B$BF|\x1B(B?\x1B$BK\\\x1B(B", true},
        {u"", 1252, "", false},
    };
    for (const Case& c : cases) {
        std::string bytes;
        bool lossy = !c.lossy;
        ASSERT_EQ(Unicode2Encoding(c.text, c.codePage, bytes, &lossy), S_OK) << c.codePage;
        EXPECT_EQ(bytes, c.bytes) << c.codePage;
        EXPECT_EQ(lossy, c.lossy) << c.codePage;
    }
}

TEST(CodePageConversion, DecodesIntoWideTextWithReplacementOfInvalidBytes)
{
    std::u16string wide;
    bool lossy = true;
    ASSERT_EQ(Encoding2Unicode("\x93\xFA\x96\x7B", 932, wide, &lossy), S_OK);
    EXPECT_EQ(wide, u"\u65e5\u672c");
    EXPECT_FALSE(lossy);
    ASSERT_EQ(Encoding2Unicode("a\xFF" "b", 65001, wide, &lossy), S_OK);
    EXPECT_EQ(wide, u"a\uFFFDb");
    EXPECT_TRUE(lossy);
}

TEST(CodePageConversion, ConvertsBetweenCodePages)
{
    std::string bytes;
    bool lossy = true;
    ASSERT_EQ(ConvertCodePage("\xD0\xBF\xD1\x80\xD0\xB8", 65001, 20866, bytes, &lossy), S_OK);
    EXPECT_EQ(bytes, "\xD0\xD2\xC9");
    EXPECT_FALSE(lossy);
    ASSERT_EQ(ConvertCodePage("\xE6\x97\xA5", 65001, 28591, bytes, &lossy), S_OK);
    EXPECT_EQ(bytes, "?");
    EXPECT_TRUE(lossy);
}

TEST(CodePageConversion, UnknownCodePageFails)
{
    std::string bytes;
    std::u16string wide;
    EXPECT_EQ(Unicode2Encoding(u"a", 12345, bytes), E_FAIL);
    EXPECT_EQ(Encoding2Unicode("a", 12345, wide), E_FAIL);
    EXPECT_EQ(ConvertCodePage("a", 65001, 12345, bytes), E_FAIL);
    EXPECT_FALSE(CMMLang(1252).IsConvertible(65001, 12345));
    EXPECT_TRUE(CMMLang(1252).IsConvertible(65001, 932));
}

} // namespace
} // namespace mmconv
