// Decompression of compressed RTF: the published examples byte for byte, and damaged input.
#include "platform/rtf/RtfDecompressor.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace platform::rtf;
using Bytes = std::vector<std::uint8_t>;

// The two examples of the published format description: a simple document, and a reference that
// runs across the write position of the dictionary.
const Bytes kSimpleExample = {
    0x2d, 0x00, 0x00, 0x00, 0x2b, 0x00, 0x00, 0x00, 0x4c, 0x5a, 0x46, 0x75, 0xf1, 0xc5, 0xc7, 0xa7,
    0x03, 0x00, 0x0a, 0x00, 0x72, 0x63, 0x70, 0x67, 0x31, 0x32, 0x35, 0x42, 0x32, 0x0a, 0xf3, 0x20,
    0x68, 0x65, 0x6c, 0x09, 0x00, 0x20, 0x62, 0x77, 0x05, 0xb0, 0x6c, 0x64, 0x7d, 0x0a, 0x80, 0x0f,
    0xa0};
const std::string kSimpleText = "{\\rtf1\\ansi\\ansicpg1252\\pard hello world}\r\n";

const Bytes kCrossingExample = {
    0x1a, 0x00, 0x00, 0x00, 0x1c, 0x00, 0x00, 0x00, 0x4c, 0x5a, 0x46, 0x75, 0xe2, 0xd4, 0x4b, 0x51,
    0x41, 0x00, 0x04, 0x20, 0x57, 0x58, 0x59, 0x5a, 0x0d, 0x6e, 0x7d, 0x01, 0x0e, 0xb0};
const std::string kCrossingText = "{\\rtf1 WXYZWXYZWXYZWXYZWXYZ}";

Bytes Uncompressed(std::string_view text, std::uint32_t crc = 0)
{
    Bytes out;
    auto put = [&out](std::uint32_t value) {
        for (int shift = 0; shift < 32; shift += 8)
            out.push_back(static_cast<std::uint8_t>(value >> shift));
    };
    put(static_cast<std::uint32_t>(text.size() + 12));
    put(static_cast<std::uint32_t>(text.size()));
    put(kMagicUncompressed);
    put(crc);
    out.insert(out.end(), text.begin(), text.end());
    return out;
}

void Put32(Bytes& bytes, std::size_t offset, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        bytes[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

// The CRC of the changed content, so that a test reaches the check it means.
void FixCrc(Bytes& bytes)
{
    Put32(bytes, 12, ComputeRtfCrc(std::span(bytes).subspan(16)));
}

TEST(RtfDecompressorTest, DecodesValidInput)
{
    struct Case {
        const char* name;
        Bytes input;
        std::string expected;
    };
    Bytes withTrailingBytes = kSimpleExample;
    withTrailingBytes.insert(withTrailingBytes.end(), {0xde, 0xad});
    const std::vector<Case> cases = {
        {"published simple example", kSimpleExample, kSimpleText},
        {"published crossing example", kCrossingExample, kCrossingText},
        {"uncompressed", Uncompressed(kSimpleText), kSimpleText},
        {"uncompressed with a non-zero checksum", Uncompressed("{\\rtf1 x}", 0x12345678), "{\\rtf1 x}"},
        {"uncompressed and empty", Uncompressed(""), ""},
        {"bytes after the declared size", withTrailingBytes, kSimpleText},
    };
    for (const Case& c : cases) {
        std::string rtf;
        EXPECT_EQ(DecompressRtf(c.input, rtf), S_OK) << c.name;
        EXPECT_EQ(rtf, c.expected) << c.name;
    }
}

TEST(RtfDecompressorTest, PublishedExampleCarriesItsCrc)
{
    EXPECT_EQ(ComputeRtfCrc(std::span(kSimpleExample).subspan(16)), 0xa7c7c5f1u);
    EXPECT_EQ(ComputeRtfCrc(std::span(kCrossingExample).subspan(16)), 0x514bd4e2u);
}

TEST(RtfDecompressorTest, RejectsDamagedInput)
{
    struct Case {
        const char* name;
        Bytes input;
    };
    auto changed = [](const Bytes& from, auto change) {
        Bytes bytes = from;
        change(bytes);
        return bytes;
    };
    const std::vector<Case> cases = {
        {"empty", {}},
        {"shorter than the header", Bytes(kSimpleExample.begin(), kSimpleExample.begin() + 15)},
        {"unknown magic", changed(kSimpleExample, [](Bytes& b) { b[8] = 'X'; })},
        {"wrong crc", changed(kSimpleExample, [](Bytes& b) { b[12] ^= 1; })},
        {"content changed under the crc", changed(kSimpleExample, [](Bytes& b) { b[20] ^= 0x40; })},
        {"truncated content", changed(kSimpleExample, [](Bytes& b) { b.resize(b.size() - 3); })},
        {"compressed size below the header",
            changed(kSimpleExample, [](Bytes& b) { Put32(b, 0, 11); })},
        {"compressed size beyond the input",
            changed(kSimpleExample, [](Bytes& b) { Put32(b, 0, 0x2e); })},
        {"compressed size of 4 GiB", changed(kSimpleExample, [](Bytes& b) { Put32(b, 0, 0xFFFFFFFF); })},
        {"raw size larger than the output",
            changed(kSimpleExample, [](Bytes& b) { Put32(b, 4, 0x2c); })},
        {"raw size smaller than the output",
            changed(kSimpleExample, [](Bytes& b) { Put32(b, 4, 0x2a); })},
        {"raw size beyond what the content can give",
            changed(kSimpleExample, [](Bytes& b) { Put32(b, 4, 0x7FFFFFFF); })},
        {"raw size beyond the uncompressed content",
            changed(Uncompressed("abc"), [](Bytes& b) { Put32(b, 4, 4); })},
        {"no end reference", changed(kCrossingExample, [](Bytes& b) {
             // Drop the last control byte and end reference; the size and crc follow the change.
             b.resize(b.size() - 3);
             Put32(b, 0, static_cast<std::uint32_t>(b.size() - 4));
             FixCrc(b);
         })},
        {"reference cut after its first byte", changed(kCrossingExample, [](Bytes& b) {
             b.pop_back();
             Put32(b, 0, static_cast<std::uint32_t>(b.size() - 4));
             FixCrc(b);
         })},
    };
    for (const Case& c : cases) {
        std::string rtf = "left over";
        EXPECT_EQ(DecompressRtf(c.input, rtf), MAPI_E_CORRUPT_DATA) << c.name;
        EXPECT_TRUE(rtf.empty()) << c.name;
    }
}

TEST(RtfDecompressorTest, HonoursTheCallersLimit)
{
    std::string rtf;
    EXPECT_EQ(DecompressRtf(kSimpleExample, rtf, kSimpleText.size()), S_OK);
    EXPECT_EQ(DecompressRtf(kSimpleExample, rtf, kSimpleText.size() - 1), MAPI_E_CORRUPT_DATA);
}

TEST(RtfDecompressorTest, ReadsOnDemandInPiecesOfAnySize)
{
    for (std::size_t piece : {std::size_t{1}, std::size_t{2}, std::size_t{7}, std::size_t{64}}) {
        RtfDecompressor reader;
        ASSERT_EQ(reader.Open(kSimpleExample), S_OK);
        std::string rtf;
        std::vector<std::uint8_t> buffer(piece);
        std::size_t count = 0;
        do {
            ASSERT_EQ(reader.Read(buffer, count), S_OK) << piece;
            rtf.append(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(count));
        } while (count != 0);
        EXPECT_EQ(rtf, kSimpleText) << piece;
    }
}

TEST(RtfDecompressorTest, StartOfTheRtfNeedsOnlyTheStartOfTheContent)
{
    // The body type test reads a prefix; damage after it shows up only when reading on.
    Bytes damaged = kCrossingExample;
    damaged[damaged.size() - 1] = 0x00;  // the end reference now points elsewhere
    FixCrc(damaged);
    RtfDecompressor reader;
    ASSERT_EQ(reader.Open(damaged), S_OK);
    std::vector<std::uint8_t> prefix(6);
    std::size_t count = 0;
    ASSERT_EQ(reader.Read(prefix, count), S_OK);
    EXPECT_EQ(std::string(prefix.begin(), prefix.end()), "{\\rtf1");
    std::vector<std::uint8_t> rest(100);
    EXPECT_EQ(reader.Read(rest, count), MAPI_E_CORRUPT_DATA);
    EXPECT_EQ(reader.Read(rest, count), MAPI_E_CORRUPT_DATA);
}

TEST(RtfDecompressorTest, ReadWithoutOpenFails)
{
    RtfDecompressor reader;
    std::vector<std::uint8_t> buffer(4);
    std::size_t count = 1;
    EXPECT_EQ(reader.Read(buffer, count), MAPI_E_CORRUPT_DATA);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(reader.Open({}), MAPI_E_CORRUPT_DATA);
}

} // namespace
