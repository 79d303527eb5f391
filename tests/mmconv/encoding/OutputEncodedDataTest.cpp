// OutputEncodedData: the three modes over sources, the 300,000-byte pieces, the line length choice
// and the failures of source and output.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "mmconv/encoding/Base64.h"
#include "mmconv/encoding/ConversionTrace.h"
#include "mmconv/encoding/OutputEncodedData.h"
#include "mmconv/encoding/QuotedPrintable.h"

namespace mmconv {
namespace {

std::vector<std::string> gTraceLines;
void CollectTrace(std::string_view line) { gTraceLines.emplace_back(line); }

std::string Output(std::string_view data, int mode, bool wrap = false,
    std::optional<std::uint32_t> plainWrapLen = std::nullopt)
{
    std::string out;
    StringSink sink(out);
    MemorySource source(data);
    EXPECT_EQ(OutputEncodedData(sink, source, mode, wrap, plainWrapLen), S_OK);
    return out;
}

std::string WholeQuotedPrintable(std::string_view data)
{
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(data.data());
    std::string out(QuotedPrintableEncode({bytes, data.size()}, {}), '\0');
    QuotedPrintableEncode({bytes, data.size()}, out);
    return out;
}

TEST(OutputEncodedData, Base64PartOf100BytesIsOneLineOf76AndOneOf60)
{
    std::string data;
    for (int i = 0; i < 100; ++i)
        data.push_back(static_cast<char>(i * 7));
    const std::string out = Output(data, 0);
    ASSERT_EQ(out.size(), 76u + 2u + 60u);
    EXPECT_EQ(out.substr(76, 2), "\r\n");
    EXPECT_EQ(out.find("\r\n", 78), std::string::npos);
}

TEST(OutputEncodedData, Base64OfLargeDataMatchesTheCodec)
{
    std::string data(1'000'003, '\0');
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<char>((i * 2654435761u) >> 13);
    const std::string out = Output(data, 0);
    std::string plain;
    for (std::size_t start = 0; start < out.size(); start += 78) {
        const std::string line = out.substr(start, 76);
        ASSERT_TRUE(line.size() == 76 || start + line.size() == out.size());
        plain += line;
    }
    std::string decoded(data.size(), '\0');
    ASSERT_EQ(Base64Decode(plain, std::span(reinterpret_cast<std::uint8_t*>(decoded.data()),
                                      decoded.size())),
        data.size());
    EXPECT_EQ(decoded, data);
}

TEST(OutputEncodedData, QuotedPrintableDropsTheTerminatorOfAShortLastPiece)
{
    EXPECT_EQ(Output(std::string("text\r\n\0", 7), 1), "text\r\n");
    EXPECT_EQ(Output(std::string("a\0b", 3), 1), "a=00b");
    // A zero that ends a full piece is data, not a terminator.
    std::string full(kQuotedPrintablePiece - 1, 'a');
    full.push_back('\0');
    EXPECT_EQ(Output(full, 1), WholeQuotedPrintable(full));
    EXPECT_NE(Output(full, 1).find("=00"), std::string::npos);
}

TEST(OutputEncodedData, QuotedPrintableCompletesWhatAPieceBoundaryCuts)
{
    struct Case {
        const char* label;
        std::string tail;
    };
    const Case cases[] = {
        {"CR LF across the boundary", "\r\nnext line"},
        {"blank then CR LF across the boundary", " \r\nnext"},
        {"lone CR at the boundary", "\rnext"},
        {"eight-bit byte after the boundary", "x\xE9\xE9\xE9"},
    };
    for (const Case& c : cases) {
        // The tail starts one byte before the end of the first piece.
        std::string data(kQuotedPrintablePiece - 1, 'w');
        for (std::size_t i = 50; i < data.size(); i += 61)
            data[i] = ' ';
        data += c.tail;
        EXPECT_EQ(Output(data, 1), WholeQuotedPrintable(data)) << c.label;
    }
}

TEST(OutputEncodedData, UnchangedCopiesTheSource)
{
    const std::string data = std::string("any\0bytes\r\n\xFF", 13);
    EXPECT_EQ(Output(data, 2), data);
}

TEST(OutputEncodedData, LineLengthComesFromPlainWrapLenOnlyWhenWrappingAndInRange)
{
    struct Case {
        bool wrap;
        std::optional<std::uint32_t> plainWrapLen;
        std::size_t lineLength;
    };
    const Case cases[] = {
        {false, std::nullopt, 76},
        {false, 40, 76},
        {true, std::nullopt, 76},
        {true, 40, 40},
        {true, 3, 3},
        {true, 3999, 3999},
        {true, 2, 76},
        {true, 4000, 76},
    };
    for (const Case& c : cases)
        EXPECT_EQ(EncodedLineLength(c.wrap, c.plainWrapLen), c.lineLength);
    EXPECT_EQ(Output(std::string(50, 'q'), 1, true, 40), std::string(39, 'q') + "=\r\n" +
            std::string(11, 'q'));
}

TEST(OutputEncodedData, TracesTheModeAndRefusesUnknownModes)
{
    gTraceLines.clear();
    SetConversionTrace(CollectTrace);
    std::string out;
    StringSink sink(out);
    MemorySource source(std::string_view("x"));
    EXPECT_EQ(OutputEncodedData(sink, source, 7, false), E_INVALIDARG);
    Output("x", 1);
    SetConversionTrace(nullptr);
    ASSERT_EQ(gTraceLines.size(), 2u);
    EXPECT_EQ(gTraceLines[0], "OutputEncodedData(mode=7)\n");
    EXPECT_EQ(gTraceLines[1], "OutputEncodedData(mode=1)\n");
}

class FailingSource final : public ByteSource {
public:
    HRESULT Read(std::span<std::uint8_t>, std::size_t& bytesRead) override
    {
        bytesRead = 0;
        return EX2QLN_HR(0x80030005u);
    }
};

class FailingSink final : public ByteSink {
public:
    HRESULT Write(std::string_view) override { return EX2QLN_HR(0x80030070u); }
};

TEST(OutputEncodedData, PassesUpTheFailuresOfSourceAndOutput)
{
    for (int mode : {0, 1, 2}) {
        std::string out;
        StringSink sink(out);
        FailingSource badSource;
        EXPECT_EQ(OutputEncodedData(sink, badSource, mode, false), EX2QLN_HR(0x80030005u));
        FailingSink badSink;
        MemorySource source(std::string_view("data"));
        EXPECT_EQ(OutputEncodedData(badSink, source, mode, false), EX2QLN_HR(0x80030070u));
    }
}

} // namespace
} // namespace mmconv
