// Base64: the codec with its capacity contract, and the 76-character line layout over pieces.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "mmconv/encoding/Base64.h"

namespace mmconv {
namespace {

std::span<const std::uint8_t> Bytes(std::string_view text)
{
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

std::string Encode(std::string_view data)
{
    std::string out(Base64Encode(Bytes(data), {}), '\0');
    Base64Encode(Bytes(data), out);
    return out;
}

std::string Decode(std::string_view text)
{
    std::string out(Base64Decode(text, {}), '\0');
    const std::size_t written =
        Base64Decode(text, std::span(reinterpret_cast<std::uint8_t*>(out.data()), out.size()));
    out.resize(written);
    return out;
}

std::vector<std::uint8_t> RandomBytes(std::size_t count, unsigned seed)
{
    std::mt19937 generator(seed);
    std::vector<std::uint8_t> bytes(count);
    for (auto& byte : bytes)
        byte = static_cast<std::uint8_t>(generator());
    return bytes;
}

TEST(Base64, KnownVectors)
{
    const std::pair<std::string, std::string> cases[] = {
        {"", ""}, {"f", "Zg=="}, {"fo", "Zm8="}, {"foo", "Zm9v"}, {"foob", "Zm9vYg=="},
        {"fooba", "Zm9vYmE="}, {"foobar", "Zm9vYmFy"}, {std::string("\xFF\xFE\x00", 3), "//4A"},
    };
    for (const auto& [plain, encoded] : cases) {
        EXPECT_EQ(Encode(plain), encoded);
        EXPECT_EQ(Decode(encoded), plain);
    }
}

TEST(Base64, TooSmallDestinationGetsTheNeededLengthAndNothingWritten)
{
    char out[7] = "------";
    EXPECT_EQ(Base64Encode(Bytes("foob"), std::span(out, 6)), 8u);
    EXPECT_STREQ(out, "------");
    std::uint8_t decoded[2] = {'-', '-'};
    EXPECT_EQ(Base64Decode(std::string_view("Zm9v"), decoded), 3u);
    EXPECT_EQ(decoded[0], '-');
}

TEST(Base64, DecodingSkipsLineBreaksAndForeignCharactersAndStopsAtPadding)
{
    const std::pair<std::string, std::string> cases[] = {
        {"Zm9v\r\nYmFy", "foobar"},
        {" Zm 9v\tYg ==", "foob"},
        {"Zm9v*YmFy!", "foobar"},
        {"Zg==Zm9v", "f"},
        {"Z", ""},
        {"=", ""},
        {"!!!!", ""},
    };
    for (const auto& [encoded, plain] : cases)
        EXPECT_EQ(Decode(encoded), plain) << encoded;
}

TEST(Base64LineEncoder, LinesOfExactly76WithoutFinalBreak)
{
    struct Case {
        std::size_t bytes;
        std::vector<std::size_t> lines;
    };
    const Case cases[] = {
        {0, {}},
        {1, {4}},
        {57, {76}},
        {58, {76, 4}},
        {100, {76, 60}},
        {114, {76, 76}},
    };
    for (const Case& c : cases) {
        const std::vector<std::uint8_t> data = RandomBytes(c.bytes, 7);
        Base64LineEncoder encoder;
        std::string out;
        encoder.Encode(data, out);
        encoder.Finish(out);
        std::string expected;
        const std::string plain = Encode(std::string_view(
            reinterpret_cast<const char*>(data.data()), data.size()));
        std::size_t position = 0;
        for (std::size_t i = 0; i < c.lines.size(); ++i) {
            if (i > 0)
                expected += "\r\n";
            expected += plain.substr(position, c.lines[i]);
            position += c.lines[i];
        }
        EXPECT_EQ(out, expected) << c.bytes;
    }
}

TEST(Base64LineEncoder, PiecesOfAnySizeGiveTheSameOutput)
{
    const std::vector<std::uint8_t> data = RandomBytes(1000, 11);
    Base64LineEncoder whole;
    std::string expected;
    whole.Encode(data, expected);
    whole.Finish(expected);
    for (std::size_t pieceSize : {1u, 2u, 4u, 5u, 76u, 301u}) {
        Base64LineEncoder encoder;
        std::string out;
        for (std::size_t i = 0; i < data.size(); i += pieceSize)
            encoder.Encode(std::span(data).subspan(i, std::min(pieceSize, data.size() - i)), out);
        encoder.Finish(out);
        EXPECT_EQ(out, expected) << pieceSize;
    }
    EXPECT_EQ(Decode(expected), std::string(data.begin(), data.end()));
}

TEST(Base64LineEncoder, OtherLineLengths)
{
    Base64LineEncoder encoder(10);
    std::string out;
    encoder.Encode(Bytes("foobarfoobar"), out);
    encoder.Finish(out);
    EXPECT_EQ(out, "Zm9vYmFyZm\r\n9vYmFy");
}

} // namespace
} // namespace mmconv
