// The small writers behind header fields and parts: dates and zone offsets, parameters, header
// text, the rebuilt message identifier, the folding of stored Received lines, AppleDouble headers,
// and the machine's time-zone rule.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include "mmconv/encoding/MMLang.h"
#include "mmconv/message/HeaderText.h"
#include "mmconv/message/MMNamedPropsCnv.h"
#include "mmconv/message/MacBinary.h"
#include "mmconv/message/MachineTimeZone.h"
#include "mmconv/message/MessageId.h"
#include "mmconv/message/MimeParameter.h"
#include "mmconv/message/RfcDate.h"

namespace mmconv {
namespace {

constexpr std::uint64_t kTicksPerSecond = 10000000;
constexpr std::uint64_t k20261207T090500 = (1796634300ull + 11644473600ull) * kTicksPerSecond;

TEST(RfcDate, ZoneOffsetsAndDates)
{
    EXPECT_EQ(MinutesToRfcTime(0), "+0000");
    EXPECT_EQ(MinutesToRfcTime(-60), "+0100");
    EXPECT_EQ(MinutesToRfcTime(300), "-0500");
    EXPECT_EQ(MinutesToRfcTime(-330), "+0530");
    EXPECT_EQ(FiletimeToRfc822DateTime(k20261207T090500, 0), "Mon, 07 Dec 2026 09:05:00 +0000");
    EXPECT_EQ(FiletimeToRfc822DateTime(k20261207T090500, -60), "Mon, 07 Dec 2026 10:05:00 +0100");
    EXPECT_EQ(FiletimeToRfc822DateTime(k20261207T090500, 600), "Sun, 06 Dec 2026 23:05:00 -1000");
    EXPECT_EQ(FiletimeToRfc822DateTime(0, 0), "Mon, 01 Jan 1601 00:00:00 +0000");
}

TEST(MimeParameter, QuotedOrExtended)
{
    struct Case {
        std::u16string value;
        std::string expected;
    };
    const Case cases[] = {
        {u"report.pdf", ";\r\n name=\"report.pdf\""},
        {u"say \"hi\" \\ bye", ";\r\n name=\"say \\\"hi\\\" \\\\ bye\""},
        {u"caf\u00e9 menu.txt", ";\r\n name*=utf-8''caf%C3%A9%20menu.txt"},
        {u"tab\there", ";\r\n name*=utf-8''tab%09here"},
        {u"100%.txt", ";\r\n name=\"100%.txt\""},
        {u"", ";\r\n name=\"\""},
    };
    for (const Case& c : cases) {
        std::string field;
        AppendParameter(field, "name", c.value);
        EXPECT_EQ(field, c.expected);
    }
    std::string field;
    AppendParameter(field, "boundary", std::string_view("----_=_NextPart_1_00000002.00000003"));
    EXPECT_EQ(field, ";\r\n boundary=\"----_=_NextPart_1_00000002.00000003\"");
}

TEST(MimeParameter, IsMediaType)
{
    EXPECT_TRUE(IsMediaType("image/png"));
    EXPECT_TRUE(IsMediaType("application/vnd.ms-excel"));
    EXPECT_FALSE(IsMediaType("image"));
    EXPECT_FALSE(IsMediaType("/png"));
    EXPECT_FALSE(IsMediaType("image/"));
    EXPECT_FALSE(IsMediaType("text/plain; charset=utf-8"));
    EXPECT_FALSE(IsMediaType("image/p ng"));
    EXPECT_FALSE(IsMediaType("a/b/c"));
}

TEST(HeaderText, UnstructuredPhraseAndKeyword)
{
    const CMMLang lang(1252);
    const HeaderText text(lang, 65001);
    EXPECT_EQ(text.Unstructured(u"Plain subject"), "Plain subject");
    EXPECT_EQ(text.Unstructured(u"Gr\u00fc\u00dfe"), "=?utf-8?B?R3LDvMOfZQ==?=");
    const std::u16string longWord(950, u'w');
    EXPECT_TRUE(text.Unstructured(longWord).starts_with("=?utf-8?B?"));
    EXPECT_EQ(text.Phrase(u"Anna"), "\"Anna\"");
    EXPECT_EQ(text.Phrase(u"a\"b"), "\"a\\\"b\"");
    EXPECT_EQ(text.Keyword(u"Red Team"), "Red Team");
    EXPECT_EQ(text.Keyword(u"R&D"), "R&D");
    EXPECT_EQ(text.Keyword(u"v1.2"), "\"v1.2\"");
    EXPECT_EQ(text.Keyword(u"\u65e5"), "=?utf-8?B?5pel?=");
}

TEST(MessageId, RebuiltFromTheReportTag)
{
    const std::string tag = std::string("PCDFEB09\0\x01\0\x02\0\x02\0\0\0\0\0\0\0", 19) + "XYZabcdefghi";
    const std::vector<std::uint8_t> bytes(tag.begin(), tag.end());
    // n = 2: the identifier starts at offset 19; the tag is longer than n + 25 bytes.
    EXPECT_EQ(BuildMessageId("<id@example.com>", bytes).value(), "<!&!WFlaYWJjZGVmZ2hp@example.com>");
    EXPECT_EQ(BuildMessageId("<id@example.com>", std::span(bytes).subspan(0, 17)).value(), "<id@example.com>");
    std::vector<std::uint8_t> wrongVersion = bytes;
    wrongVersion[9] = 2;
    EXPECT_EQ(BuildMessageId("<id@example.com>", wrongVersion).value(), "<id@example.com>");
    EXPECT_EQ(BuildMessageId(std::nullopt, bytes), std::nullopt);
    EXPECT_EQ(BuildMessageId(std::nullopt, std::nullopt), std::nullopt);
    // Only a msg-id is written: readers refuse anything else in Message-Id.
    EXPECT_EQ(BuildMessageId("<abc>", bytes), std::nullopt);
    EXPECT_EQ(BuildMessageId("<a b@example.com>", std::nullopt), std::nullopt);
    EXPECT_EQ(BuildMessageId("<id@example.com> trailing", std::nullopt), std::nullopt);
    EXPECT_EQ(BuildMessageId("id@example.com", std::nullopt).value(), "<id@example.com>");
}

TEST(CarriedHeaders, ReceivedFoldsBeforeItsKeywords)
{
    struct Case {
        std::string value;
        std::string folded;
    };
    const Case cases[] = {
        {"from a by b with c for d", "from a\r\n  by b\r\n  with c\r\n  for d"},
        {"from a via b id 1", "from a\r\n  via b id 1"},
        {"from a with b by c", "from a with b\r\n  by c"},  // " by " first; " with " is not in the rest
        {"local delivery", "local delivery"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FoldReceivedValue(c.value), c.folded) << c.value;
}

TEST(MacBinary, HeaderForksAndAppleDouble)
{
    std::vector<std::uint8_t> data(128, 0);
    data[1] = 3;
    data[2] = 'D';
    data[3] = 'o';
    data[4] = 'c';
    std::copy_n("TEXTttxt", 8, data.begin() + 65);
    data[86] = 2;
    data[90] = 1;
    data.insert(data.end(), {'h', 'i'});
    data.resize(256, 0);
    data.push_back('R');
    const std::optional<MacBinaryFile> file = ParseMacBinary(data);
    ASSERT_TRUE(file.has_value());
    EXPECT_EQ(file->name, "Doc");
    EXPECT_EQ(std::string(file->dataFork.begin(), file->dataFork.end()), "hi");
    EXPECT_EQ(std::string(file->resourceFork.begin(), file->resourceFork.end()), "R");
    const std::vector<std::uint8_t> header = BuildAppleDouble(*file);
    const std::vector<std::uint8_t> start = {0x00, 0x05, 0x16, 0x07, 0x00, 0x02, 0x00, 0x00};
    EXPECT_TRUE(std::equal(start.begin(), start.end(), header.begin()));
    EXPECT_EQ(header[25], 4);  // name, dates, Finder information, resource fork
    EXPECT_EQ(header.back(), 'R');

    std::vector<std::uint8_t> truncated = data;
    truncated.resize(200);  // the resource fork is gone
    EXPECT_FALSE(ParseMacBinary(truncated).has_value());
    std::vector<std::uint8_t> noName = data;
    noName[1] = 0;
    EXPECT_FALSE(ParseMacBinary(noName).has_value());
    EXPECT_FALSE(ParseMacBinary(std::vector<std::uint8_t>(100, 0)).has_value());
    EXPECT_TRUE(IsMacBinaryEncoding(std::vector<std::uint8_t>{0x2A, 0x86, 0x48, 0x86, 0xF7, 0x14, 0x03, 0x0B, 0x01}));
    EXPECT_FALSE(IsMacBinaryEncoding(std::vector<std::uint8_t>{0x2A, 0x86, 0x48}));
}

// The rule of a zone with daylight saving time, and of one without.
TEST(MachineTimeZone, RulesFromTheZoneTransitions)
{
    const char* previous = std::getenv("TZ");
    const std::string saved = previous != nullptr ? previous : "";
    setenv("TZ", "Europe/Berlin", 1);
    TimeZoneRule rule;
    std::string name;
    ASSERT_EQ(MachineTimeZone(rule, name), S_OK);
    EXPECT_EQ(rule.bias, -60);
    EXPECT_EQ(rule.daylightBias, -60);
    EXPECT_EQ(rule.daylightDate.month, 3u);
    EXPECT_EQ(rule.daylightDate.week, 5u);
    EXPECT_EQ(rule.daylightDate.dayOfWeek, 0u);
    EXPECT_EQ(rule.daylightDate.hour, 2u);
    EXPECT_EQ(rule.standardDate.month, 10u);
    EXPECT_EQ(rule.standardDate.hour, 3u);
    EXPECT_EQ(name, "CET");

    setenv("TZ", "Asia/Tokyo", 1);
    ASSERT_EQ(MachineTimeZone(rule, name), S_OK);
    EXPECT_EQ(rule.bias, -540);
    EXPECT_EQ(rule.daylightBias, 0);
    EXPECT_EQ(rule.daylightDate.month, 0u);
    EXPECT_EQ(name, "JST");
    setenv("TZ", saved.c_str(), 1);
    tzset();
}

} // namespace
} // namespace mmconv
