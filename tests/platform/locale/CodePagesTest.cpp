// The code-page table: charset and codeset names in both directions, and the converters of its rows.
#include "platform/locale/CodePages.h"
#include "platform/locale/IconvConverter.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {
namespace {

// `bytes` through glibc's converter `name` as UTF-8; nullopt when glibc has no such converter or
// refuses the bytes.
std::optional<std::string> Decoded(std::string_view name, std::string bytes)
{
    const IconvConverter converter("UTF-8", name);
    if (!converter.IsOpen())
        return std::nullopt;
    char* in = bytes.data();
    std::size_t inLeft = bytes.size();
    char buffer[64];
    char* out = buffer;
    std::size_t outLeft = sizeof buffer;
    if (iconv(converter.Handle(), &in, &inLeft, &out, &outLeft) == static_cast<std::size_t>(-1))
        return std::nullopt;
    return std::string(buffer, static_cast<std::size_t>(out - buffer));
}

TEST(CodePages, FindsCodePageFromAnyCharsetSpelling)
{
    struct Case {
        const char* name;
        std::optional<unsigned> codePage;
    };
    const Case cases[] = {
        {"UTF-8", 65001},
        {"utf8", 65001},
        {"US-ASCII", 20127},
        {"ANSI_X3.4-1968", 20127},
        {"ISO-8859-1", 28591},
        {"latin1", 28591},
        {"windows-1252", 1252},
        {"x-cp1251", 1251},
        {"cp1251", 1251},
        {"koi8-ru", 21866},
        {"KOI8-U", 21866},
        {"koi8-r", 20866},
        {"Shift_JIS", 932},
        {"iso-2022-jp", 50220},
        {"EUC-JP", 51932},
        {"gb2312", 936},
        {"GBK", 936},
        {"EUC-CN", 51936},
        {"Big5", 950},
        {"ks_c_5601-1987", 949},
        {"euc-kr", 51949},
        {"ISO-8859-8", 28598},
        {"iso-8859-8-i", 38598},
        {"hz-gb-2312", std::nullopt},
        {"no-such-charset", std::nullopt},
        {"", std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CodePageFromCharset(c.name), c.codePage) << c.name;
}

TEST(CodePages, CodePagesOfLocaleCodeSets)
{
    struct Case {
        std::string_view codeSet;
        unsigned codePage;
    };
    const std::vector<Case> cases = {
        {"UTF-8", 65001},       {"utf8", 65001},        {"ISO-8859-1", 28591},  {"ISO-8859-2", 28592},
        {"iso88595", 28595},    {"ISO-8859-15", 28605}, {"KOI8-R", 20866},      {"KOI8-U", 21866},
        {"ANSI_X3.4-1968", 20127}, {"EUC-JP", 20932},   {"GB2312", 936},        {"GB18030", 54936},
        {"BIG5", 950},          {"EUC-KR", 51949},      {"CP1251", 1251},       {"TIS-620", 874},
        {"SHIFT_JIS", 932},     {"something else", 20127}, {"", 20127},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CodePageFromCodeSetName(c.codeSet), c.codePage) << c.codeSet;
}

// What a code page's converter makes of bytes that tell Windows' mapping apart from similar ones.
TEST(CodePages, ConvertersHoldWindowsMappings)
{
    struct Case {
        unsigned codePage;
        std::string bytes;
        std::optional<std::string> utf8;  // nullopt: no converter
    };
    const Case cases[] = {
        {51936, "\xC4\xE3", "\xE4\xBD\xA0"},        // EUC-CN (GB2312)
        {936, "\x81\x40", "\xE4\xB8\x82"},          // GBK's extension beyond GB2312
        {20932, "\xC6\xFC", "\xE6\x97\xA5"},        // EUC-JP
        {10007, "\xA2", "\xC2\xA2"},                // Windows' Mac Cyrillic keeps the cent sign
        {1252, "\x80", "\xE2\x82\xAC"},
        {0, "\x80", std::nullopt},                  // no row, and glibc has no "CP0"
        {858, "\xD5", "\xE2\x82\xAC"},              // no row: glibc's CP858
        {52936, "~{Dc~}", std::nullopt},            // HZ-GB-2312: glibc has no converter
    };
    for (const Case& c : cases)
        EXPECT_EQ(Decoded(IconvNameOfCodePage(c.codePage), c.bytes), c.utf8) << c.codePage;
}

TEST(CodePages, EveryRowHasAConverterBothWays)
{
    for (unsigned codePage = 0; codePage < 70000; ++codePage) {
        const CodePageInfo* info = FindCodePage(codePage);
        if (info == nullptr)
            continue;
        EXPECT_TRUE(IconvConverter("UTF-16LE", info->iconvName).IsOpen()) << codePage;
        EXPECT_TRUE(IconvConverter(info->iconvName, "UTF-16LE").IsOpen()) << codePage;
        EXPECT_EQ(IconvNameOfCodePage(codePage), info->iconvName);
    }
}

} // namespace
} // namespace platform
