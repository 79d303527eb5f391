// CTempStream: small messages stay in the window, larger ones pass through the delete-on-release
// file; reads, writes, seeks and sizes behave as a stream's, whichever part of it is in memory.
#include "ex2qln/transfer/TempStream.h"

#include "tests/support/ScopedEnvironment.h"
#include "tests/support/TemporaryDirectory.h"

#include <MapiPtr.h>
#include <mapicode.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace ex2qln::transfer {
namespace {

constexpr std::uint32_t kWindow = CTempStream::kWindowSize;

// Bytes that differ from position to position, so that a misplaced window shows.
std::string Pattern(std::size_t size, std::size_t seed = 0)
{
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((i * 131 + seed * 7 + i / 251) & 0xFF);
    return bytes;
}

class TempStreamTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(MAPIInitialize(nullptr), S_OK);
        stream_ = new CTempStream(MAPIAllocateBuffer, MAPIFreeBuffer);
    }
    void TearDown() override
    {
        stream_->Release();
        MAPIUninitialize();
    }

    // Writes in pieces of `piece` bytes, as the conversion does.
    void Write(const std::string& bytes, std::size_t piece)
    {
        for (std::size_t at = 0; at < bytes.size(); at += piece) {
            const ULONG count = static_cast<ULONG>(std::min(piece, bytes.size() - at));
            ULONG written = 0;
            ASSERT_EQ(stream_->Write(bytes.data() + at, count, &written), S_OK);
            ASSERT_EQ(written, count);
        }
    }

    std::string ReadToEnd(std::size_t piece)
    {
        std::string read;
        std::vector<char> buffer(piece);
        for (;;) {
            ULONG got = 0;
            EXPECT_EQ(stream_->Read(buffer.data(), static_cast<ULONG>(piece), &got), S_OK);
            if (got == 0)
                return read;
            read.append(buffer.data(), got);
        }
    }

    std::uint64_t Seek(std::int64_t offset, DWORD origin, HRESULT expected = S_OK)
    {
        LARGE_INTEGER move{};
        move.QuadPart = offset;
        ULARGE_INTEGER position{};
        EXPECT_EQ(stream_->Seek(move, origin, &position), expected);
        return position.QuadPart;
    }

    std::uint64_t Size()
    {
        STATSTG stat{};
        EXPECT_EQ(stream_->Stat(&stat, STATFLAG_NONAME), S_OK);
        EXPECT_EQ(stat.type, static_cast<DWORD>(STGTY_STREAM));
        return stat.cbSize.QuadPart;
    }

    std::size_t FilesIn(const std::string& directory)
    {
        return static_cast<std::size_t>(
            std::distance(std::filesystem::directory_iterator(directory), std::filesystem::directory_iterator()));
    }

    testsupport::TemporaryDirectory temp_;
    testsupport::ScopedEnvironment tmpdir_{"TMPDIR", temp_.Path()};
    CTempStream* stream_ = nullptr;
};

TEST_F(TempStreamTest, WrittenBytesComeBackWhateverThePieces)
{
    struct Case {
        const char* name;
        std::size_t size;
        std::size_t writePiece;
        std::size_t readPiece;
        bool backingFile;
    };
    const std::vector<Case> cases = {
        {"empty", 0, 1, 4096, false},
        {"one byte short of the window", kWindow - 1, 1000, 4096, false},
        {"exactly the window: the next window needs the file", kWindow, 4096, 4096, true},
        {"a 100,000-byte message crosses the window three times", 100000, 3000, 4096, true},
        {"pieces larger than the window", 3 * kWindow + 17, kWindow + 5, 2 * kWindow + 3, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TearDown();
        SetUp();
        const std::string bytes = Pattern(c.size);
        Write(bytes, c.writePiece);
        EXPECT_EQ(Size(), c.size);
        EXPECT_EQ(stream_->HasBackingFile(), c.backingFile);
        EXPECT_EQ(Seek(0, STREAM_SEEK_SET), 0u);
        const std::string read = ReadToEnd(c.readPiece);
        EXPECT_EQ(read.size(), bytes.size());
        EXPECT_TRUE(read == bytes);
    }
}

TEST_F(TempStreamTest, TheBackingFileIsPrivateAndGoesWithTheStream)
{
    Write(Pattern(100000), 4096);
    ASSERT_TRUE(stream_->HasBackingFile());
    ASSERT_EQ(FilesIn(temp_.Path()), 1u);
    const auto file = *std::filesystem::directory_iterator(temp_.Path());
    EXPECT_EQ(std::filesystem::status(file).permissions() & std::filesystem::perms::all,
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    stream_->AddRef();
    EXPECT_EQ(stream_->Release(), 1u);
    EXPECT_EQ(FilesIn(temp_.Path()), 1u);
    stream_->Release();
    stream_ = new CTempStream(MAPIAllocateBuffer, MAPIFreeBuffer);
    EXPECT_EQ(FilesIn(temp_.Path()), 0u);
}

TEST_F(TempStreamTest, OverwritesInPlaceAcrossWindows)
{
    std::string bytes = Pattern(3 * kWindow);
    Write(bytes, 5000);
    // Across the boundary of the first and second window, then inside the third.
    const std::string patch = Pattern(2000, 9);
    for (std::uint64_t at : {std::uint64_t{kWindow - 1000}, std::uint64_t{2 * kWindow + 10}}) {
        EXPECT_EQ(Seek(static_cast<std::int64_t>(at), STREAM_SEEK_SET), at);
        Write(patch, 700);
        bytes.replace(at, patch.size(), patch);
    }
    EXPECT_EQ(Size(), 3u * kWindow);
    Seek(0, STREAM_SEEK_SET);
    EXPECT_TRUE(ReadToEnd(4096) == bytes);
}

TEST_F(TempStreamTest, SeekingPastTheEndExtendsWithZeros)
{
    struct Case {
        const char* name;
        std::size_t written;
        std::int64_t seekTo;
    };
    const std::vector<Case> cases = {
        {"within the window", 100, 1000},
        {"into the next window", 100, kWindow + 50},
        {"from a spilled stream", 2 * kWindow + 10, 3 * kWindow + 70},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TearDown();
        SetUp();
        const std::string start = Pattern(c.written);
        Write(start, 4096);
        EXPECT_EQ(Seek(c.seekTo, STREAM_SEEK_SET), static_cast<std::uint64_t>(c.seekTo));
        EXPECT_EQ(Size(), static_cast<std::uint64_t>(c.seekTo));
        Write("end", 3);
        Seek(0, STREAM_SEEK_SET);
        const std::string read = ReadToEnd(4096);
        EXPECT_TRUE(read == start + std::string(static_cast<std::size_t>(c.seekTo) - c.written, '\0') + "end");
    }
}

TEST_F(TempStreamTest, ReadingAtTheEndGivesNothing)
{
    Write(Pattern(10), 10);
    EXPECT_EQ(Seek(0, STREAM_SEEK_END), 10u);
    char byte = 0;
    ULONG got = 99;
    EXPECT_EQ(stream_->Read(&byte, 1, &got), S_OK);
    EXPECT_EQ(got, 0u);
    EXPECT_EQ(Seek(-4, STREAM_SEEK_CUR), 6u);
    EXPECT_EQ(ReadToEnd(1), Pattern(10).substr(6));
}

TEST_F(TempStreamTest, SetSizeCutsAndGrows)
{
    const std::string bytes = Pattern(2 * kWindow + 100);
    Write(bytes, 4096);
    ULARGE_INTEGER size{};
    size.QuadPart = kWindow + 5;
    EXPECT_EQ(stream_->SetSize(size), S_OK);
    EXPECT_EQ(Size(), kWindow + 5u);
    Seek(0, STREAM_SEEK_SET);
    EXPECT_TRUE(ReadToEnd(4096) == bytes.substr(0, kWindow + 5));
    size.QuadPart = kWindow + 10;
    EXPECT_EQ(stream_->SetSize(size), S_OK);
    Seek(0, STREAM_SEEK_SET);
    EXPECT_TRUE(ReadToEnd(4096) == bytes.substr(0, kWindow + 5) + std::string(5, '\0'));
}

TEST_F(TempStreamTest, RefusesWhatItCannotAddress)
{
    Write("abc", 3);
    Seek(std::int64_t{1} << 32, STREAM_SEEK_SET, E_INVALIDARG);
    Seek(0, 7, E_INVALIDARG);
    Seek(-4, STREAM_SEEK_END, E_INVALIDARG);
    ULARGE_INTEGER size{};
    size.QuadPart = std::uint64_t{1} << 32;
    EXPECT_EQ(stream_->SetSize(size), E_INVALIDARG);
    IStream* clone = nullptr;
    EXPECT_EQ(stream_->Clone(&clone), E_NOTIMPL);
    EXPECT_EQ(clone, nullptr);
    EXPECT_EQ(stream_->Revert(), E_NOTIMPL);
    EXPECT_EQ(Size(), 3u);
}

TEST_F(TempStreamTest, CopyToHandsOverTheBytesFromThePosition)
{
    const std::string bytes = Pattern(50000);
    Write(bytes, 4096);
    Seek(1000, STREAM_SEEK_SET);
    MapiPtr<IStream> target;
    ASSERT_EQ(CreateTempStream(MAPIAllocateBuffer, MAPIFreeBuffer, false, target.put()), S_OK);
    ULARGE_INTEGER count{};
    count.QuadPart = 30000;
    ULARGE_INTEGER read{};
    ULARGE_INTEGER written{};
    ASSERT_EQ(stream_->CopyTo(target.get(), count, &read, &written), S_OK);
    EXPECT_EQ(read.QuadPart, 30000u);
    EXPECT_EQ(written.QuadPart, 30000u);
    LARGE_INTEGER start{};
    ASSERT_EQ(target->Seek(start, STREAM_SEEK_SET, nullptr), S_OK);
    std::string copied(30000, '\0');
    ULONG got = 0;
    ASSERT_EQ(target->Read(copied.data(), 30000, &got), S_OK);
    EXPECT_TRUE(copied == bytes.substr(1000, 30000));
}

TEST_F(TempStreamTest, CreateTempStreamGivesTheKindAskedFor)
{
    for (const bool useFile : {true, false}) {
        SCOPED_TRACE(useFile ? "with a temporary file" : "in memory");
        MapiPtr<IStream> stream;
        ASSERT_EQ(CreateTempStream(MAPIAllocateBuffer, MAPIFreeBuffer, useFile, stream.put()), S_OK);
        const std::string bytes = Pattern(40000);
        ULONG written = 0;
        ASSERT_EQ(stream->Write(bytes.data(), static_cast<ULONG>(bytes.size()), &written), S_OK);
        EXPECT_EQ(FilesIn(temp_.Path()), useFile ? 1u : 0u);
        MapiPtr<IStream> same;
        EXPECT_EQ(stream->QueryInterface(IID_IStream, same.put_void()), S_OK);
        EXPECT_EQ(same.get(), stream.get());
    }
    EXPECT_EQ(FilesIn(temp_.Path()), 0u);
}

// The uploads of one transfer take one spill file in turn: each stream sees only its own bytes,
// whatever an earlier, longer message left in the file.
TEST_F(TempStreamTest, StreamsTakingTheSpillFileInTurnSeeOnlyTheirOwnBytes)
{
    struct Case {
        const char* name;
        std::size_t size;
        std::int64_t seekPastEnd;  // 0: none; else a seek there and "end" written, the gap reading as zeros
        std::uint64_t fileSizeAfter;
    };
    const std::uint64_t kept = CTempStream::kSpillKeptSize;
    const std::vector<Case> cases = {
        {"the first message makes the file", 100000, 0, 100000},
        {"a shorter one does not read the earlier tail", 40000, 0, 100000},
        {"grown by a seek, the gap is zeros, not the earlier bytes", 40000, 90000, 90003},
        {"one in memory leaves the file alone", 100, 0, 90003},
        {"one larger than what is kept empties the file", kept + 1, 0, 0},
        {"the next one uses the emptied file", 50000, 0, 50000},
    };
    SpillFile spill;
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(c.name);
        MapiPtr<IStream> stream;
        ASSERT_EQ(CreateTempStream(MAPIAllocateBuffer, MAPIFreeBuffer, true, stream.put(), &spill), S_OK);
        std::string bytes = Pattern(c.size, i + 1);
        ULONG written = 0;
        ASSERT_EQ(stream->Write(bytes.data(), static_cast<ULONG>(bytes.size()), &written), S_OK);
        if (c.seekPastEnd != 0) {
            LARGE_INTEGER to{};
            to.QuadPart = c.seekPastEnd;
            ASSERT_EQ(stream->Seek(to, STREAM_SEEK_SET, nullptr), S_OK);
            ASSERT_EQ(stream->Write("end", 3, &written), S_OK);
            bytes += std::string(static_cast<std::size_t>(c.seekPastEnd) - bytes.size(), '\0') + "end";
        }
        STATSTG stat{};
        ASSERT_EQ(stream->Stat(&stat, STATFLAG_NONAME), S_OK);
        EXPECT_EQ(stat.cbSize.QuadPart, bytes.size());
        LARGE_INTEGER start{};
        ASSERT_EQ(stream->Seek(start, STREAM_SEEK_SET, nullptr), S_OK);
        std::string read(bytes.size() + 10, '\0');
        ULONG got = 0;
        ASSERT_EQ(stream->Read(read.data(), static_cast<ULONG>(read.size()), &got), S_OK);
        read.resize(got);
        EXPECT_TRUE(read == bytes);
        stream.reset();
        ASSERT_EQ(FilesIn(temp_.Path()), 1u);
        EXPECT_EQ(std::filesystem::file_size(*std::filesystem::directory_iterator(temp_.Path())), c.fileSizeAfter);
    }
}

TEST_F(TempStreamTest, TheSpillFileGoesWithItsHolder)
{
    {
        SpillFile spill;
        MapiPtr<IStream> stream;
        ASSERT_EQ(CreateTempStream(MAPIAllocateBuffer, MAPIFreeBuffer, true, stream.put(), &spill), S_OK);
        const std::string bytes = Pattern(70000);
        ULONG written = 0;
        ASSERT_EQ(stream->Write(bytes.data(), static_cast<ULONG>(bytes.size()), &written), S_OK);
        stream.reset();
        EXPECT_EQ(FilesIn(temp_.Path()), 1u);
    }
    EXPECT_EQ(FilesIn(temp_.Path()), 0u);
}

} // namespace
} // namespace ex2qln::transfer
