// Tests of the text forms of values: ISO times, hexadecimal, Base64, GUIDs and UTF-8.
#include "platform/orgsource/ValueDecoding.h"
#include "platform/locale/Utf16.h"

#include <gtest/gtest.h>

namespace {

using namespace platform::orgsource;

TEST(ValueDecodingTest, IsoTimes)
{
    struct Case {
        const char* text;
        std::optional<std::int64_t> fileTime;
    };
    const std::vector<Case> cases = {
        {"1601-01-01T00:00:00Z", 0},
        {"1601-01-01", 0},
        {"1970-01-01T00:00:00Z", 116444736000000000},
        {"2024-02-29T12:34:56Z", 133536836960000000},
        {"2024-02-29T12:34:56.5Z", 133536836965000000},
        {"2024-02-29T12:34:56.1234567Z", 133536836961234567},
        {"9999-12-31T23:59:59Z", 2650467743990000000},
        {"2023-02-29T00:00:00Z", std::nullopt},
        {"1600-12-31T00:00:00Z", std::nullopt},
        {"2024-01-01T24:00:00Z", std::nullopt},
        {"2024-01-01T10:00:00", std::nullopt},
        {"2024-01-01T10:00:00+01:00", std::nullopt},
        {"2024-01-01T10:00:00.Z", std::nullopt},
        {"2024-01-01T10:00:00.12345678Z", std::nullopt},
        {"2024-1-01", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ParseIsoTime(c.text), c.fileTime) << c.text;
    }
}

TEST(ValueDecodingTest, HexadecimalAndBase64)
{
    EXPECT_EQ(DecodeHex("00 ff 7A"), (Bytes{0x00, 0xFF, 0x7A}));
    EXPECT_EQ(DecodeHex(""), Bytes{});
    EXPECT_EQ(DecodeHex("0"), std::nullopt);
    EXPECT_EQ(DecodeHex("0 0"), std::nullopt);
    EXPECT_EQ(DecodeHex("zz"), std::nullopt);
    EXPECT_EQ(DecodeBase64("aGVsbG8="), (Bytes{'h', 'e', 'l', 'l', 'o'}));
    EXPECT_EQ(DecodeBase64("aGVs\nbG8"), (Bytes{'h', 'e', 'l', 'l', 'o'}));
    EXPECT_EQ(DecodeBase64("aGVsbA=="), (Bytes{'h', 'e', 'l', 'l'}));
    EXPECT_EQ(DecodeBase64("a"), std::nullopt);
    EXPECT_EQ(DecodeBase64("aGVs=bG8"), std::nullopt);
    EXPECT_EQ(DecodeBase64("aGVs!"), std::nullopt);
    EXPECT_EQ(DecodeBase64("===="), std::nullopt);
}

TEST(ValueDecodingTest, GuidsAreKeptInStoredByteOrder)
{
    auto guid = ParseGuid("{00062002-0000-0000-C000-000000000046}");
    ASSERT_TRUE(guid.has_value());
    const platform::cfb::Guid expected = {0x02, 0x20, 0x06, 0x00, 0x00, 0x00, 0x00, 0x00,
                                          0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};
    EXPECT_EQ(*guid, expected);
    EXPECT_EQ(FormatGuid(*guid), "{00062002-0000-0000-C000-000000000046}");
    EXPECT_EQ(ParseGuid("6ed8da90-450b-101b-98da-00aa003f1305").has_value(), true);
    EXPECT_EQ(ParseGuid("{6ED8DA90-450B-101B-98DA-00AA003F130}"), std::nullopt);
    EXPECT_EQ(ParseGuid("{6ED8DA90 450B-101B-98DA-00AA003F1305}"), std::nullopt);
}

TEST(ValueDecodingTest, Utf8)
{
    EXPECT_EQ(Utf8ToUtf16("J\xC3\xBCrgen Wei\xC3\x9F"), std::u16string(u"Jürgen Weiß"));
    EXPECT_EQ(Utf8ToUtf16("\xF0\x9F\x98\x80"), std::u16string(u"\U0001F600"));
    EXPECT_EQ(platform::Utf16ToUtf8(u"\U0001F600 \u00E9"), "\xF0\x9F\x98\x80 \xC3\xA9");
    for (const char* bad : {"\xC3", "\xC0\xAF", "\xED\xA0\x80", "\xF8\x88\x80\x80\x80", "\x80", "\xF4\x90\x80\x80"}) {
        EXPECT_EQ(Utf8ToUtf16(bad), std::nullopt) << "bytes of length " << std::string(bad).size();
    }
}

} // namespace
