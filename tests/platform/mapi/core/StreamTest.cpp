// Streams in memory and on files, including the temporary file that removes itself.
#include "tests/support/StreamContents.h"
#include "tests/support/TemporaryDirectory.h"

#include <gtest/gtest.h>

#include <MapiPtr.h>
#include <mapiutil.h>

#include <filesystem>
#include <iterator>
#include <string>

namespace {

// The whole stream, in small reads.
std::string ReadAll(IStream* stream) { return testsupport::StreamContentsFromStart(stream, 7); }

HRESULT WriteText(IStream* stream, std::string_view text)
{
    ULONG written = 0;
    HRESULT status = stream->Write(text.data(), static_cast<ULONG>(text.size()), &written);
    EXPECT_EQ(written, SUCCEEDED(status) ? text.size() : 0u);
    return status;
}

LARGE_INTEGER Offset(LONGLONG value)
{
    LARGE_INTEGER offset{};
    offset.QuadPart = value;
    return offset;
}

TEST(MemoryStream, WritesSeeksResizesAndShares)
{
    MapiPtr<IStream> stream;
    ASSERT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, stream.put()), S_OK);
    ASSERT_EQ(WriteText(stream.get(), "Hello, world"), S_OK);
    ULARGE_INTEGER position{};
    ASSERT_EQ(stream->Seek(Offset(-5), STREAM_SEEK_END, &position), S_OK);
    EXPECT_EQ(position.QuadPart, 7u);
    ASSERT_EQ(WriteText(stream.get(), "MAPI!!"), S_OK);
    EXPECT_EQ(ReadAll(stream.get()), "Hello, MAPI!!");
    EXPECT_EQ(stream->Seek(Offset(-1), STREAM_SEEK_SET, nullptr), STG_E_SEEKERROR);
    EXPECT_EQ(stream->Seek(Offset(0), 7, nullptr), STG_E_INVALIDFUNCTION);

    ULARGE_INTEGER size{};
    size.QuadPart = 5;
    ASSERT_EQ(stream->SetSize(size), S_OK);
    STATSTG stat{};
    ASSERT_EQ(stream->Stat(&stat, STATFLAG_NONAME), S_OK);
    EXPECT_EQ(stat.cbSize.QuadPart, 5u);
    EXPECT_EQ(stat.type, static_cast<DWORD>(STGTY_STREAM));

    // A clone shares the bytes but keeps its own position.
    MapiPtr<IStream> clone;
    ASSERT_EQ(stream->Clone(clone.put()), S_OK);
    ASSERT_EQ(clone->Seek(Offset(0), STREAM_SEEK_END, nullptr), S_OK);
    ASSERT_EQ(WriteText(clone.get(), "!"), S_OK);
    EXPECT_EQ(ReadAll(stream.get()), "Hello!");

    MapiPtr<IStream> copy;
    ASSERT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, copy.put()), S_OK);
    ASSERT_EQ(stream->Seek(Offset(1), STREAM_SEEK_SET, nullptr), S_OK);
    ULARGE_INTEGER limit{};
    limit.QuadPart = 100;
    ULARGE_INTEGER read{}, written{};
    ASSERT_EQ(stream->CopyTo(copy.get(), limit, &read, &written), S_OK);
    EXPECT_EQ(read.QuadPart, 5u);
    EXPECT_EQ(written.QuadPart, 5u);
    EXPECT_EQ(ReadAll(copy.get()), "ello!");
}

TEST(MemoryStream, TakesNoOutsideMemory)
{
    LPSTREAM stream = nullptr;
    int someMemory = 0;
    EXPECT_EQ(CreateStreamOnHGlobal(&someMemory, TRUE, &stream), E_INVALIDARG);
    EXPECT_EQ(stream, nullptr);
}

class FileStreamTest : public ::testing::Test {
protected:
    long FilesInDirectory() const
    {
        return std::distance(std::filesystem::directory_iterator(directory_.Path()), std::filesystem::directory_iterator());
    }

    testsupport::TemporaryDirectory directory_;
};

TEST_F(FileStreamTest, UniqueTemporaryFileGoesOnRelease)
{
    LPSTREAM stream = nullptr;
    ASSERT_EQ(OpenStreamOnFile(MAPIAllocateBuffer, MAPIFreeBuffer,
                               SOF_UNIQUEFILENAME | STGM_DELETEONRELEASE | STGM_CREATE | STGM_READWRITE,
                               directory_.Path().c_str(), "ex2", &stream),
              S_OK);
    EXPECT_EQ(FilesInDirectory(), 1);
    ASSERT_EQ(WriteText(stream, "spilled bytes"), S_OK);
    EXPECT_EQ(ReadAll(stream), "spilled bytes");
    STATSTG stat{};
    ASSERT_EQ(stream->Stat(&stat, STATFLAG_NONAME), S_OK);
    EXPECT_EQ(stat.cbSize.QuadPart, 13u);
    stream->Release();
    EXPECT_EQ(FilesInDirectory(), 0);
}

TEST_F(FileStreamTest, PlainFileIsWrittenAndReadBack)
{
    std::string path = directory_.File("body.txt");
    MapiPtr<IStream> writer;
    ASSERT_EQ(OpenStreamOnFile(MAPIAllocateBuffer, MAPIFreeBuffer, STGM_CREATE | STGM_READWRITE, path.c_str(), nullptr,
                               writer.put()),
              S_OK);
    ASSERT_EQ(WriteText(writer.get(), "line one\r\nline two"), S_OK);
    writer.reset();

    MapiPtr<IStream> reader;
    ASSERT_EQ(OpenStreamOnFile(MAPIAllocateBuffer, MAPIFreeBuffer, STGM_READ, path.c_str(), nullptr, reader.put()), S_OK);
    EXPECT_EQ(ReadAll(reader.get()), "line one\r\nline two");
    EXPECT_EQ(WriteText(reader.get(), "x"), STG_E_ACCESSDENIED);
    reader.reset();
    EXPECT_EQ(FilesInDirectory(), 1);  // a plain file stays
}

TEST_F(FileStreamTest, MissingFileIsNotFound)
{
    std::string path = directory_.File("missing.txt");
    LPSTREAM stream = nullptr;
    EXPECT_EQ(OpenStreamOnFile(MAPIAllocateBuffer, MAPIFreeBuffer, STGM_READ, path.c_str(), nullptr, &stream),
              MAPI_E_NOT_FOUND);
    EXPECT_EQ(stream, nullptr);
    EXPECT_EQ(OpenStreamOnFile(MAPIAllocateBuffer, MAPIFreeBuffer, STGM_READ, nullptr, nullptr, &stream),
              MAPI_E_INVALID_PARAMETER);
}

} // namespace
