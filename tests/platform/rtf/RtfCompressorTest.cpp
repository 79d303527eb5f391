// Compression of RTF: the published examples byte for byte, and round trips through the decoder.
#include "platform/rtf/RtfCompressor.h"
#include "platform/rtf/RtfDecompressor.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

using namespace platform::rtf;
using Bytes = std::vector<std::uint8_t>;

Bytes ToBytes(std::string_view text)
{
    return Bytes(text.begin(), text.end());
}

TEST(RtfCompressorTest, ReproducesThePublishedExamples)
{
    struct Case {
        std::string rtf;
        Bytes expected;
    };
    const std::vector<Case> cases = {
        {"{\\rtf1\\ansi\\ansicpg1252\\pard hello world}\r\n",
            {0x2d, 0x00, 0x00, 0x00, 0x2b, 0x00, 0x00, 0x00, 0x4c, 0x5a, 0x46, 0x75, 0xf1, 0xc5, 0xc7,
                0xa7, 0x03, 0x00, 0x0a, 0x00, 0x72, 0x63, 0x70, 0x67, 0x31, 0x32, 0x35, 0x42, 0x32, 0x0a,
                0xf3, 0x20, 0x68, 0x65, 0x6c, 0x09, 0x00, 0x20, 0x62, 0x77, 0x05, 0xb0, 0x6c, 0x64, 0x7d,
                0x0a, 0x80, 0x0f, 0xa0}},
        {"{\\rtf1 WXYZWXYZWXYZWXYZWXYZ}",
            {0x1a, 0x00, 0x00, 0x00, 0x1c, 0x00, 0x00, 0x00, 0x4c, 0x5a, 0x46, 0x75, 0xe2, 0xd4, 0x4b,
                0x51, 0x41, 0x00, 0x04, 0x20, 0x57, 0x58, 0x59, 0x5a, 0x0d, 0x6e, 0x7d, 0x01, 0x0e,
                0xb0}},
    };
    for (const Case& c : cases) {
        Bytes compressed;
        ASSERT_EQ(CompressRtf(ToBytes(c.rtf), compressed), S_OK);
        EXPECT_EQ(compressed, c.expected) << c.rtf;
    }
}

TEST(RtfCompressorTest, UncompressedFormHasZeroChecksum)
{
    Bytes out;
    ASSERT_EQ(CompressRtf(ToBytes("{\\rtf1 x}"), out, RtfCompression::kUncompressed), S_OK);
    const Bytes expected = {0x15, 0, 0, 0, 0x09, 0, 0, 0, 'M', 'E', 'L', 'A', 0, 0, 0, 0,
        '{', '\\', 'r', 't', 'f', '1', ' ', 'x', '}'};
    EXPECT_EQ(out, expected);
}

std::string RandomText(std::size_t size, unsigned alphabet, unsigned seed)
{
    std::mt19937 random(seed);
    std::string text(size, '\0');
    for (char& c : text)
        c = static_cast<char>(alphabet == 256 ? random() % 256 : 'a' + random() % alphabet);
    return text;
}

std::string RepeatedRtf(std::size_t paragraphs)
{
    std::string rtf = "{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0\\fswiss Arial;}}\r\n";
    for (std::size_t i = 0; i < paragraphs; ++i)
        rtf += "\\pard\\plain\\f0\\fs20 Paragraph " + std::to_string(i) + " of the body text.\\par\r\n";
    return rtf + "}";
}

TEST(RtfCompressorTest, RoundTripsThroughTheDecoder)
{
    struct Case {
        const char* name;
        std::string rtf;
    };
    const std::vector<Case> cases = {
        {"empty", ""},
        {"one byte", "{"},
        {"the initial dictionary itself", std::string(InitialDictionary())},
        {"long runs of one byte", std::string(10000, 'a')},
        {"runs that reach across the write slot", std::string(5000, 'x') + "WXYZ" + std::string(4090, 'x')},
        {"RTF larger than the dictionary", RepeatedRtf(400)},
        {"random letters", RandomText(20000, 4, 1)},
        {"random bytes with zeros", RandomText(9000, 256, 2)},
    };
    for (const Case& c : cases) {
        for (RtfCompression mode : {RtfCompression::kCompressed, RtfCompression::kUncompressed}) {
            Bytes compressed;
            ASSERT_EQ(CompressRtf(ToBytes(c.rtf), compressed, mode), S_OK) << c.name;
            std::string back;
            ASSERT_EQ(DecompressRtf(compressed, back), S_OK) << c.name;
            EXPECT_EQ(back, c.rtf) << c.name;
        }
    }
}

TEST(RtfCompressorTest, RepetitiveRtfShrinks)
{
    const std::string rtf = RepeatedRtf(400);
    Bytes compressed;
    ASSERT_EQ(CompressRtf(ToBytes(rtf), compressed), S_OK);
    EXPECT_LT(compressed.size(), rtf.size() / 3);
}

} // namespace
