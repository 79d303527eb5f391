// WrapCompressedRTFStream: reading decompresses as platform_rtf does, writing compresses on Commit.
#include <QlnMapiExtras.h>
#include <MapiPtr.h>
#include <mapitags.h>
#include <mapiutil.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/rtf/RtfCompressor.h"
#include "platform/rtf/RtfDecompressor.h"
#include "tests/support/StreamContents.h"

namespace {

// The rest of the stream in reads of an odd size, so that reads end inside the decoder's runs.
std::string ReadAll(IStream* stream) { return testsupport::StreamContents(stream, 777); }

MapiPtr<IStream> StreamOf(const std::vector<std::uint8_t>& bytes)
{
    MapiPtr<IStream> stream;
    EXPECT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, stream.put()), S_OK);
    ULONG written = 0;
    EXPECT_EQ(stream->Write(bytes.data(), static_cast<ULONG>(bytes.size()), &written), S_OK);
    LARGE_INTEGER start{};
    stream->Seek(start, STREAM_SEEK_SET, nullptr);
    return stream;
}

std::vector<std::uint8_t> Compressed(const std::string& rtf)
{
    std::vector<std::uint8_t> bytes;
    EXPECT_EQ(platform::rtf::CompressRtf({reinterpret_cast<const std::uint8_t*>(rtf.data()), rtf.size()}, bytes), S_OK);
    return bytes;
}

const std::string kRtf = "{\\rtf1\\ansi\\ansicpg1252\\fromtext \\deff0{\\fonttbl{\\f0\\fswiss Arial;}}"
                         "\\pard\\plain Hello, hello, hello, world.\\par Second line\\par}";

TEST(WrapCompressedRtfStreamTest, SamplesReadAsTheDecompressorGivesThem)
{
    std::filesystem::path samples = std::filesystem::path(EX2QLN_SAMPLES_DIR) / "outlook";
    if (!std::filesystem::is_directory(samples))
        GTEST_SKIP() << "the shared Outlook samples are not at " << samples;
    int bodies = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(samples)) {
        if (entry.path().extension() != ".msg")
            continue;
        SCOPED_TRACE(entry.path().string());
        MapiPtr<IMessage> message;
        if (FAILED(QlnOpenMsgFile(entry.path().c_str(), 0, message.put(), nullptr)))
            continue;
        MapiPtr<IStream> raw;
        if (FAILED(message->OpenProperty(PR_RTF_COMPRESSED, &IID_IStream, 0, 0, raw.put_unknown())))
            continue;
        std::string compressed = ReadAll(raw.get());
        std::string expected;
        ASSERT_EQ(platform::rtf::DecompressRtf({reinterpret_cast<const std::uint8_t*>(compressed.data()), compressed.size()},
                                               expected),
                  S_OK);
        MapiPtr<IStream> again;
        ASSERT_EQ(message->OpenProperty(PR_RTF_COMPRESSED, &IID_IStream, 0, 0, again.put_unknown()), S_OK);
        MapiPtr<IStream> rtf;
        ASSERT_EQ(WrapCompressedRTFStream(again.get(), 0, rtf.put()), S_OK);
        EXPECT_EQ(ReadAll(rtf.get()), expected);
        ++bodies;
    }
    EXPECT_GT(bodies, 10);
}

TEST(WrapCompressedRtfStreamTest, WritingCompressesOnCommit)
{
    struct Case {
        ULONG flags;
        const char* magic;
    };
    for (const Case& test : {Case{MAPI_MODIFY, "LZFu"}, Case{MAPI_MODIFY | STORE_UNCOMPRESSED_RTF, "MELA"}}) {
        SCOPED_TRACE(test.magic);
        MapiPtr<IStream> target = StreamOf({'o', 'l', 'd', ' ', 'c', 'o', 'n', 't', 'e', 'n', 't', 's', '.', '.', '.',
                                            '.', '.', '.', '.', '.', '.', '.', '.', '.', '.', '.', '.', '.', '.', '.'});
        MapiPtr<IStream> writer;
        ASSERT_EQ(WrapCompressedRTFStream(target.get(), test.flags, writer.put()), S_OK);
        ULONG written = 0;
        ASSERT_EQ(writer->Write(kRtf.data(), 20, &written), S_OK);
        ASSERT_EQ(writer->Write(kRtf.data() + 20, static_cast<ULONG>(kRtf.size() - 20), &written), S_OK);
        ASSERT_EQ(writer->Commit(0), S_OK);

        LARGE_INTEGER start{};
        target->Seek(start, STREAM_SEEK_SET, nullptr);
        std::string stored = ReadAll(target.get());
        ASSERT_GE(stored.size(), 16u);
        EXPECT_EQ(stored.substr(8, 4), test.magic);
        target->Seek(start, STREAM_SEEK_SET, nullptr);
        MapiPtr<IStream> reader;
        ASSERT_EQ(WrapCompressedRTFStream(target.get(), 0, reader.put()), S_OK);
        EXPECT_EQ(ReadAll(reader.get()), kRtf);
    }
}

TEST(WrapCompressedRtfStreamTest, SeekingAndSize)
{
    MapiPtr<IStream> source = StreamOf(Compressed(kRtf));
    MapiPtr<IStream> rtf;
    ASSERT_EQ(WrapCompressedRTFStream(source.get(), 0, rtf.put()), S_OK);
    STATSTG stat{};
    ASSERT_EQ(rtf->Stat(&stat, 0), S_OK);
    EXPECT_EQ(stat.cbSize.QuadPart, kRtf.size());
    char head[10];
    ULONG got = 0;
    ASSERT_EQ(rtf->Read(head, sizeof(head), &got), S_OK);
    EXPECT_EQ(std::string(head, got), kRtf.substr(0, 10));
    LARGE_INTEGER move{};
    move.QuadPart = 5;
    ULARGE_INTEGER at{};
    ASSERT_EQ(rtf->Seek(move, STREAM_SEEK_SET, &at), S_OK);  // back: decoded again from the start
    EXPECT_EQ(at.QuadPart, 5u);
    EXPECT_EQ(ReadAll(rtf.get()), kRtf.substr(5));
    move.QuadPart = -3;
    ASSERT_EQ(rtf->Seek(move, STREAM_SEEK_END, &at), S_OK);
    EXPECT_EQ(ReadAll(rtf.get()), kRtf.substr(kRtf.size() - 3));
    EXPECT_EQ(rtf->Write("x", 1, &got), STG_E_ACCESSDENIED);
}

TEST(WrapCompressedRtfStreamTest, DamagedAndEmptyInput)
{
    std::vector<std::uint8_t> badCrc = Compressed(kRtf);
    badCrc.back() ^= 0x40;
    std::vector<std::uint8_t> truncated = Compressed(kRtf);
    truncated.resize(10);
    for (const auto& bytes : {badCrc, truncated}) {
        MapiPtr<IStream> source = StreamOf(bytes);
        LPSTREAM rtf = reinterpret_cast<LPSTREAM>(1);
        EXPECT_EQ(WrapCompressedRTFStream(source.get(), 0, &rtf), MAPI_E_CORRUPT_DATA);
        EXPECT_EQ(rtf, nullptr);
    }
    MapiPtr<IStream> empty = StreamOf({});
    MapiPtr<IStream> rtf;
    ASSERT_EQ(WrapCompressedRTFStream(empty.get(), 0, rtf.put()), S_OK);
    EXPECT_EQ(ReadAll(rtf.get()), "");
}

TEST(WrapCompressedRtfStreamTest, RefusedCalls)
{
    MapiPtr<IStream> source = StreamOf(Compressed(kRtf));
    LPSTREAM rtf = nullptr;
    EXPECT_EQ(WrapCompressedRTFStream(source.get(), MAPI_NATIVE_BODY, &rtf), E_NOTIMPL);
    EXPECT_EQ(WrapCompressedRTFStream(source.get(), 0x40000000, &rtf), MAPI_E_UNKNOWN_FLAGS);
    EXPECT_EQ(WrapCompressedRTFStream(nullptr, 0, &rtf), MAPI_E_INVALID_PARAMETER);
    EXPECT_EQ(WrapCompressedRTFStream(source.get(), 0, nullptr), MAPI_E_INVALID_PARAMETER);
    EXPECT_EQ(rtf, nullptr);
    BOOL updated = TRUE;
    EXPECT_EQ(RTFSync(nullptr, 0, &updated), E_NOTIMPL);
    EXPECT_EQ(updated, FALSE);
}

} // namespace
