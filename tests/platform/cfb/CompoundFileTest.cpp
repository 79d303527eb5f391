// Tests of the compound-file reader on built files, sound and damaged.
#include "platform/cfb/CompoundFile.h"
#include "platform/cfb/MsgFile.h"
#include "tests/platform/cfb/CompoundFileBuilder.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

using platform::cfb::CompoundFile;
using platform::cfb::DirectoryEntry;
using platform::cfb::EntryType;
using namespace cfbtest;

// Reads every stream below `storage`; the first failure ends the walk.
HRESULT ReadEverything(const CompoundFile& file, const DirectoryEntry& storage)
{
    for (const DirectoryEntry* entry : file.StreamsBelow(storage)) {
        Bytes data;
        HRESULT hr = file.ReadStream(*entry, data);
        if (FAILED(hr))
            return hr;
    }
    return S_OK;
}

std::vector<Node> SampleTree()
{
    return {Stream("small", Pattern(100, 1)),
            Stream("empty", {}),
            Stream("large", Pattern(5000, 2)),
            Stream("exactlyCutoff", Pattern(4096, 3)),
            Storage("sub", {Stream("inner", Pattern(64, 4)), Stream("Inner2", Pattern(65, 5)),
                            Storage("deeper", {Stream("leaf", Pattern(9000, 6))})})};
}

TEST(CompoundFileTest, ReadsStreamsOfBothVersions)
{
    for (int version : {3, 4}) {
        SCOPED_TRACE(version);
        BuiltFile built = BuildCompoundFile(SampleTree(), {version, 1});
        CompoundFile file;
        ASSERT_EQ(file.Open(built.bytes), S_OK) << file.Error();
        const DirectoryEntry& root = file.Root();
        EXPECT_EQ(root.name, "Root Entry");
        ASSERT_EQ(root.children.size(), 5u);

        struct Case {
            std::vector<std::string> path;
            Bytes expected;
        };
        const std::vector<Case> cases = {
            {{"small"}, Pattern(100, 1)},          {{"empty"}, {}},
            {{"large"}, Pattern(5000, 2)},         {{"exactlyCutoff"}, Pattern(4096, 3)},
            {{"sub", "inner"}, Pattern(64, 4)},    {{"sub", "Inner2"}, Pattern(65, 5)},
            {{"sub", "deeper", "leaf"}, Pattern(9000, 6)},
        };
        for (const Case& c : cases) {
            const DirectoryEntry* entry = &root;
            for (const std::string& name : c.path) {
                entry = file.Find(*entry, name);
                ASSERT_NE(entry, nullptr) << name;
            }
            Bytes data;
            ASSERT_EQ(file.ReadStream(*entry, data), S_OK) << file.Error();
            EXPECT_EQ(data, c.expected) << c.path.back();
        }
    }
}

TEST(CompoundFileTest, FindsNamesWithoutRegardToCase)
{
    BuiltFile built = BuildCompoundFile(SampleTree());
    CompoundFile file;
    ASSERT_EQ(file.Open(built.bytes), S_OK) << file.Error();
    const DirectoryEntry* sub = file.Find(file.Root(), "SUB");
    ASSERT_NE(sub, nullptr);
    EXPECT_EQ(sub->type, EntryType::Storage);
    const DirectoryEntry* inner = file.Find(*sub, "inner2");
    ASSERT_NE(inner, nullptr);
    EXPECT_EQ(inner->name, "Inner2");
    EXPECT_EQ(file.Find(*sub, "inner3"), nullptr);
    EXPECT_EQ(file.Find(file.Root(), "inner"), nullptr);
}

TEST(CompoundFileTest, ListsTheStreamsBelowAStorageAtEveryDepth)
{
    BuiltFile built = BuildCompoundFile(SampleTree());
    CompoundFile file;
    ASSERT_EQ(file.Open(built.bytes), S_OK) << file.Error();
    auto names = [&](const DirectoryEntry& storage) {
        std::vector<std::string> found;
        for (const DirectoryEntry* entry : file.StreamsBelow(storage)) {
            EXPECT_EQ(entry->type, EntryType::Stream) << entry->name;
            found.push_back(entry->name);
        }
        return found;
    };
    // Each storage's streams stand where the storage stands among its siblings.
    EXPECT_EQ(names(file.Root()),
              (std::vector<std::string>{"empty", "exactlyCutoff", "large", "small", "leaf", "inner", "Inner2"}));
    const DirectoryEntry* deeper = file.Find(*file.Find(file.Root(), "sub"), "deeper");
    ASSERT_NE(deeper, nullptr);
    EXPECT_EQ(names(*deeper), std::vector<std::string>{"leaf"});
    const DirectoryEntry* leaf = file.Find(*deeper, "leaf");
    ASSERT_NE(leaf, nullptr);
    EXPECT_TRUE(file.StreamsBelow(*leaf).empty());
}

TEST(CompoundFileTest, FollowsTheDifatPastTheHeader)
{
    // 120 FAT sectors: eleven of them are listed in a DIFAT sector.
    BuiltFile built = BuildCompoundFile(SampleTree(), {3, 120});
    ASSERT_NE(built.firstDifatSector, 0xFFFFFFFEu);
    CompoundFile file;
    ASSERT_EQ(file.Open(built.bytes), S_OK) << file.Error();
    EXPECT_EQ(ReadEverything(file, file.Root()), S_OK) << file.Error();
}

TEST(CompoundFileTest, IgnoresTheUpperSizeHalfOfVersion3Entries)
{
    BuiltFile built = BuildCompoundFile(SampleTree());
    const std::size_t sizeOffset = built.EntryOffset(built.entryNumbers.at("small")) + kSizeField;
    built.SetU32(sizeOffset + 4, 0xDEADBEEF);
    CompoundFile file;
    ASSERT_EQ(file.Open(built.bytes), S_OK) << file.Error();
    Bytes data;
    ASSERT_EQ(file.ReadStream(*file.Find(file.Root(), "small"), data), S_OK) << file.Error();
    EXPECT_EQ(data, Pattern(100, 1));
}

struct DamageCase {
    const char* what;
    std::function<void(BuiltFile&)> damage;
    const char* message;  // part of the error text
    BuildOptions options{};
};

TEST(CompoundFileTest, DamagedFilesGiveCorruptData)
{
    const std::vector<DamageCase> cases = {
        {"truncated header", [](BuiltFile& f) { f.bytes.resize(100); }, "too short"},
        {"empty file", [](BuiltFile& f) { f.bytes.clear(); }, "too short"},
        {"no signature", [](BuiltFile& f) { f.bytes[0] = 'P'; }, "not a compound file"},
        {"byte order", [](BuiltFile& f) { f.bytes[28] = 0xFF; }, "byte-order"},
        {"version 5", [](BuiltFile& f) { f.bytes[26] = 5; }, "unsupported compound-file version 5"},
        {"version 3 with 4096-byte sectors", [](BuiltFile& f) { f.bytes[30] = 12; }, "sector shift 12"},
        {"mini sector shift", [](BuiltFile& f) { f.bytes[32] = 7; }, "mini sector shift"},
        {"mini stream cutoff", [](BuiltFile& f) { f.SetU32(56, 8192); }, "mini stream cutoff"},
        {"more FAT sectors than the file", [](BuiltFile& f) { f.SetU32(44, 0x7FFFFFFF); }, "FAT sectors"},
        {"FAT sector outside", [](BuiltFile& f) { f.SetU32(76, 5000); }, "FAT sector 0x00001388 is outside"},
        {"directory outside", [](BuiltFile& f) { f.SetU32(48, 0x00FFFFFF); }, "outside the file"},
        {"directory chain into a free sector",
         [](BuiltFile& f) { f.SetU32(f.FatEntryOffset(f.firstDirectorySector), 0xFFFFFFFF); },
         "the directory chain runs into a free sector after 1 sectors"},
        {"directory chain loop",
         [](BuiltFile& f) {
             std::uint32_t last = f.firstDirectorySector + f.directorySectorCount - 1;
             f.SetU32(f.FatEntryOffset(last), f.firstDirectorySector);
         },
         "the directory chain loops"},
        {"stream chain loop",
         [](BuiltFile& f) {
             std::uint32_t start = f.StartSector("large");
             f.SetU32(f.FatEntryOffset(start + 1), start);
         },
         "stream \"large\" loops"},
        {"stream chain ends early",
         [](BuiltFile& f) { f.SetU32(f.FatEntryOffset(f.StartSector("large")), 0xFFFFFFFE); },
         "stream \"large\" ends after 1 of 10"},
        {"stream start outside",
         [](BuiltFile& f) { f.SetU32(f.EntryOffset(f.entryNumbers.at("large")) + kStartField, 0x00FFFFFF); },
         "outside the file"},
        {"mini stream chain loop",
         [](BuiltFile& f) {
             std::uint32_t start = f.StartSector("sub/Inner2");
             f.SetU32(f.SectorOffset(f.firstMiniFatSector) + 4 * start, start);
         },
         "stream \"Inner2\" loops"},
        {"mini sector outside the mini stream",
         [](BuiltFile& f) { f.SetU32(f.EntryOffset(f.entryNumbers.at("small")) + kStartField, 5000); },
         "outside the file"},
        {"huge stream size",
         [](BuiltFile& f) { f.SetU32(f.EntryOffset(f.entryNumbers.at("large")) + kSizeField, 0xFFFFF000); },
         "more than the file holds"},
        {"huge version 4 stream size",
         [](BuiltFile& f) { f.SetU64(f.EntryOffset(f.entryNumbers.at("large")) + kSizeField, 1ull << 62); },
         "more than the file holds",
         {4, 1}},
        {"sibling cycle",
         [](BuiltFile& f) {
             std::uint32_t sub = f.entryNumbers.at("sub");
             f.SetU32(f.EntryOffset(f.entryNumbers.at("sub/inner")) + kRightField, sub);
             f.SetU32(f.EntryOffset(f.entryNumbers.at("sub/inner")) + kLeftField, sub);
         },
         "twice"},
        {"child is the root", [](BuiltFile& f) { f.SetU32(f.EntryOffset(f.entryNumbers.at("sub")) + kChildField, 0); },
         "twice"},
        {"child does not exist",
         [](BuiltFile& f) { f.SetU32(f.EntryOffset(f.entryNumbers.at("sub")) + kChildField, 500); },
         "does not exist"},
        {"first entry not the root", [](BuiltFile& f) { f.bytes[f.EntryOffset(0) + 66] = 1; }, "root storage"},
        {"name too long", [](BuiltFile& f) { f.bytes[f.EntryOffset(1) + 64] = 66; }, "name length of 66"},
        {"entry of unknown type",
         [](BuiltFile& f) { f.bytes[f.EntryOffset(f.entryNumbers.at("small")) + 66] = 3; },
         "neither a storage nor a stream"},
        {"DIFAT loop",
         [](BuiltFile& f) { f.SetU32(f.SectorOffset(f.firstDifatSector) + 508, f.firstDifatSector); },
         "the DIFAT chain loops",
         {3, 240}},
        {"DIFAT ends early", [](BuiltFile& f) { f.SetU32(68, 0xFFFFFFFE); }, "the DIFAT ends after 109",
         {3, 120}},
        {"file cut in a large stream",
         [](BuiltFile& f) { f.bytes.resize(f.SectorOffset(f.StartSector("sub/deeper/leaf") + 3) + 100); },
         "stream \"leaf\""},
    };
    for (const DamageCase& c : cases) {
        SCOPED_TRACE(c.what);
        BuiltFile built = BuildCompoundFile(SampleTree(), c.options);
        c.damage(built);
        CompoundFile file;
        HRESULT hr = file.Open(built.bytes);
        if (SUCCEEDED(hr))
            hr = ReadEverything(file, file.Root());
        EXPECT_EQ(hr, MAPI_E_CORRUPT_DATA);
        EXPECT_NE(file.Error().find(c.message), std::string::npos) << file.Error();
    }
}

TEST(CompoundFileTest, TruncationFailsUnlessOnlyUnusedBytesAreCut)
{
    const BuiltFile built = BuildCompoundFile(SampleTree());
    // "leaf" is laid out last; the rest of its last sector is padding.
    const std::size_t usedEnd = built.SectorOffset(built.StartSector("sub/deeper/leaf")) + 9000;
    ASSERT_LT(usedEnd, built.bytes.size());
    for (std::size_t size = 0; size <= built.bytes.size(); size += 61) {
        Bytes cut(built.bytes.begin(), built.bytes.begin() + static_cast<std::ptrdiff_t>(size));
        CompoundFile file;
        HRESULT hr = file.Open(cut);
        if (SUCCEEDED(hr))
            hr = ReadEverything(file, file.Root());
        EXPECT_EQ(hr, size < usedEnd ? MAPI_E_CORRUPT_DATA : S_OK) << size << " " << file.Error();
    }
}

TEST(CompoundFileTest, MsgReaderNamesTheFileInItsErrors)
{
    BuiltFile built = BuildCompoundFile(SampleTree());
    built.bytes.resize(300);
    platform::cfb::MsgDocument document;
    std::string error;
    EXPECT_EQ(platform::cfb::ReadMsgBytes(built.bytes, "/mail/broken.msg", document, error), MAPI_E_CORRUPT_DATA);
    EXPECT_EQ(error, "/mail/broken.msg: the file is too short for a compound-file header (300 bytes)");
}

TEST(CompoundFileTest, UnreadableFileGivesTheSystemError)
{
    platform::cfb::MsgDocument document;
    std::string error;
    EXPECT_EQ(platform::cfb::ReadMsgFile("/nonexistent/dir/x.msg", document, error), HResultFromErrno(ENOENT));
    EXPECT_EQ(error.rfind("/nonexistent/dir/x.msg: cannot be read (", 0), 0u) << error;
}

} // namespace
