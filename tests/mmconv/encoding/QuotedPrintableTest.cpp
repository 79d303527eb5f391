// Quoted-printable: escapes, the CR LF restoration, soft breaks at 76, blanks at line ends, pieces,
// and decoding.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "mmconv/encoding/QuotedPrintable.h"

namespace mmconv {
namespace {

std::span<const std::uint8_t> Bytes(std::string_view text)
{
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

std::string Encode(std::string_view data, std::size_t lineLength = 76)
{
    std::string out(QuotedPrintableEncode(Bytes(data), {}, lineLength), '\0');
    EXPECT_EQ(QuotedPrintableEncode(Bytes(data), out, lineLength), out.size());
    return out;
}

std::string Decode(std::string_view text)
{
    std::string out(QuotedPrintableDecode(text, {}), '\0');
    const std::size_t written = QuotedPrintableDecode(
        text, std::span(reinterpret_cast<std::uint8_t*>(out.data()), out.size()));
    out.resize(written);
    return out;
}

std::string A(std::size_t count) { return std::string(count, 'a'); }

TEST(QuotedPrintable, EncodesByteForByte)
{
    struct Case {
        const char* label;
        std::string data;
        std::string encoded;
    };
    const Case cases[] = {
        {"empty", "", ""},
        {"equals sign", "a=b", "a=3Db"},
        {"CR LF stays a line break", "line1\r\nline2\r\n", "line1\r\nline2\r\n"},
        {"lone LF", "a\nb", "a=0Ab"},
        {"lone CR", "a\rb", "a=0Db"},
        {"CR at the end", "a\r", "a=0D"},
        {"CR before CR LF", "\r\r\n", "=0D\r\n"},
        {"eight-bit bytes", "\xE9t\xE9", "=E9t=E9"},
        {"tab inside a line", "a\tb", "a\tb"},
        {"DEL stays", "\x7F", "\x7F"},
        {"control bytes", std::string("\x01\x00\x1B", 3), "=01=00=1B"},
        {"space before a line break", "a \r\nb", "a=20\r\nb"},
        {"blanks at the very end", "a \t", "a =09"},
        {"space before a lone CR", "a \rb", "a =0Db"},
        {"76 characters", A(76), A(75) + "=\r\na"},
        {"75 characters", A(75), A(75)},
        {"75 characters and a line break", A(75) + "\r\nb", A(75) + "\r\nb"},
        {"escape that no longer fits", A(73) + "\xE9", A(73) + "=\r\n=E9"},
        {"escape that just fits", A(72) + "\xE9", A(72) + "=E9"},
        {"escaped blank that no longer fits", A(74) + " \r\n", A(74) + "=\r\n=20\r\n"},
        {"blank at the end of a full line", A(75) + " ", A(75) + "=\r\n=20"},
        {"two full lines", A(150), A(75) + "=\r\n" + A(75)},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Encode(c.data), c.encoded) << c.label;
}

TEST(QuotedPrintable, OtherLineLengths)
{
    EXPECT_EQ(Encode("0123456789abc", 10), "012345678=\r\n9abc");
    EXPECT_EQ(Encode("\xE9\xE9\xE9", 3), "=E9=\r\n=E9=\r\n=E9");
}

TEST(QuotedPrintable, TooSmallDestinationGetsTheNeededLength)
{
    char out[2];
    EXPECT_EQ(QuotedPrintableEncode(Bytes("a=b"), out), 5u);
}

TEST(QuotedPrintable, DecodesByteForByte)
{
    const std::pair<std::string, std::string> cases[] = {
        {"a=3Db", "a=b"},
        {"a=\r\nb", "ab"},
        {"a=\nb", "ab"},
        {"=41=4a=e9", "AJ\xE9"},
        {"=ZZ", "=ZZ"},
        {"=4", "=4"},
        {"x= y", "x= y"},
        {"a=", "a"},
        {"a= \t\r\nb", "ab"},
        {"a =\r\nb", "a b"},
        {"a  \r\nb", "a\r\nb"},
        {"a\t", "a"},
        {"line\nline", "line\nline"},
    };
    for (const auto& [encoded, plain] : cases)
        EXPECT_EQ(Decode(encoded), plain) << encoded;
}

// Mail-like data: words, blanks, line breaks of every kind, eight-bit and control bytes.
std::string RandomText(std::size_t count, unsigned seed)
{
    static const std::string kAlphabet = "abc  \t=\r\n\r\n\xE9\x01\x7F.xyz";
    std::mt19937 generator(seed);
    std::string text;
    for (std::size_t i = 0; i < count; ++i)
        text.push_back(kAlphabet[generator() % kAlphabet.size()]);
    return text;
}

TEST(QuotedPrintable, EveryLineFitsNoLineEndsInABlankAndTheTextComesBack)
{
    for (std::size_t lineLength : {76u, 3u, 10u, 200u}) {
        for (unsigned seed = 0; seed < 20; ++seed) {
            const std::string text = RandomText(3000, seed);
            const std::string encoded = Encode(text, lineLength);
            std::size_t start = 0;
            while (start <= encoded.size()) {
                std::size_t end = encoded.find("\r\n", start);
                if (end == std::string::npos)
                    end = encoded.size();
                const std::string line = encoded.substr(start, end - start);
                ASSERT_LE(line.size(), std::max<std::size_t>(lineLength, 4)) << line;
                if (!line.empty()) {
                    ASSERT_NE(line.back(), ' ');
                    ASSERT_NE(line.back(), '\t');
                }
                ASSERT_EQ(line.find_first_of("\r\n"), std::string::npos);
                start = end + 2;
            }
            ASSERT_EQ(Decode(encoded), text) << seed;
        }
    }
}

TEST(QuotedPrintableEncoder, PiecesOfAnySizeGiveTheSameOutput)
{
    // Mixed text, and long runs of plain characters that fill whole lines between the odd escape.
    const std::string texts[] = {
        RandomText(2000, 99) + " \r",
        A(300) + "\r\n" + A(75) + "=" + A(76) + " \r\n\t" + A(151) + "\xE9" + A(80) + " ",
    };
    for (const std::string& text : texts) {
        for (std::size_t lineLength : {76u, 3u, 10u}) {
            const std::string expected = Encode(text, lineLength);
            for (std::size_t pieceSize : {1u, 2u, 3u, 7u, 75u, 76u, 1000u}) {
                QuotedPrintableEncoder encoder(lineLength);
                std::string out;
                for (std::size_t i = 0; i < text.size(); i += pieceSize)
                    encoder.Encode(Bytes(std::string_view(text).substr(i, pieceSize)), out);
                encoder.Finish(out);
                EXPECT_EQ(out, expected) << lineLength << " " << pieceSize;
            }
        }
    }
}

} // namespace
} // namespace mmconv
