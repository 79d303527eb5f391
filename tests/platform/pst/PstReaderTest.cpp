// The data-file reader on its own: the block encodings, damaged files of every kind, and the
// sample files in all three encodings and both formats reading the same.
#include "DataFileFixtures.h"

#include "platform/base/LittleEndian.h"
#include "platform/locale/Utf16.h"
#include "platform/pst/BlockEncoding.h"
#include "platform/pst/HeapOnNode.h"
#include "platform/pst/PstStore.h"
#include "tests/support/OutlookSamples.h"
#include "tests/support/TemporaryDirectory.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>

namespace {

using namespace platform;
using namespace platform::pst;

TEST(BlockEncodings, DecodingUndoesEncodingForEveryByte)
{
    std::vector<std::uint8_t> plain(256);
    std::iota(plain.begin(), plain.end(), 0);
    for (BlockEncoding encoding : {BlockEncoding::Compressible, BlockEncoding::High}) {
        for (std::uint64_t bid : {0x4ull, 0x1234568ull, 0xFFFFFFFFFFFFFFFCull}) {
            auto bytes = plain;
            EncodeBlock(encoding, bid, bytes);
            EXPECT_NE(bytes, plain);
            DecodeBlock(encoding, bid, bytes);
            EXPECT_EQ(bytes, plain) << int(encoding) << " " << bid;
        }
    }
}

TEST(BlockEncodings, HighIsKeyedByTheBlockAndCompressibleIsNot)
{
    std::vector<std::uint8_t> a(64, 0x41), b(64, 0x41), c(64, 0x41), d(64, 0x41);
    EncodeBlock(BlockEncoding::High, 0x100, a);
    EncodeBlock(BlockEncoding::High, 0x104, b);
    EncodeBlock(BlockEncoding::Compressible, 0x100, c);
    EncodeBlock(BlockEncoding::Compressible, 0x104, d);
    EXPECT_NE(a, b);
    EXPECT_EQ(c, d);
    // The published table maps 0x00 to 0x41 ("compressible").
    std::vector<std::uint8_t> zero(1, 0);
    EncodeBlock(BlockEncoding::Compressible, 0, zero);
    EXPECT_EQ(zero[0], 0x41);
}

struct DamagedFile {
    const char* name;
    std::string bytes;
    HRESULT status;
    std::string error;  // after "<path>: "
};

std::string Pad(std::string bytes, std::size_t size)
{
    bytes.resize(size, '\0');
    return bytes;
}

// A node B-tree page at `offset` whose one entry points back at the page itself.
std::string SelfReferringTree()
{
    std::string file = Pad(pstfixtures::MakeHeader(23, 0, 1024, 1024), 1536);
    std::vector<std::uint8_t> page(512);
    PutU64(page, 0, 0);      // key
    PutU64(page, 16, 1024);  // the child page: this one
    page[488] = 1;           // one entry
    page[490] = 24;          // of 24 bytes
    page[491] = 1;           // level 1
    page[496] = page[497] = 0x81;
    file.replace(1024, 512, std::string(page.begin(), page.end()));
    return file;
}

std::vector<DamagedFile> DamagedFiles()
{
    return {
        {"empty", "", MAPI_E_CORRUPT_DATA, "not an Outlook data file: too short for its header"},
        {"zeros", std::string(600, '\0'), MAPI_E_CORRUPT_DATA, "not an Outlook data file (.pst or .ost)"},
        {"unknown version", pstfixtures::MakeHeader(99, 0, 0, 0), MAPI_E_CORRUPT_DATA, "unknown format version 99"},
        {"4 KiB pages", pstfixtures::MakeHeader(36, 0, 0, 0), MAPI_E_CORRUPT_DATA,
         "this offline file has 4 KiB pages (format version 36), which cannot be read yet"},
        {"unknown encoding", pstfixtures::MakeHeader(23, 7, 0, 0), MAPI_E_CORRUPT_DATA, "unknown block encoding 7"},
        {"tree beyond the end", pstfixtures::MakeHeader(23, 1, 4096, 4096), MAPI_E_CORRUPT_DATA,
         "offset 0x1000 and size 512 lie beyond the end of the file"},
        {"tree not a page", Pad(pstfixtures::MakeHeader(14, 1, 0, 0), 1024), MAPI_E_CORRUPT_DATA,
         "the page at 0x0 is not a node B-tree page"},
        {"tree in a loop", SelfReferringTree(), MAPI_E_CORRUPT_DATA, "the B-tree page at 0x400 is at the wrong level"},
    };
}

TEST(PstReader, DamagedFilesFailWithAClearError)
{
    testsupport::TemporaryDirectory directory;
    for (const auto& damaged : DamagedFiles()) {
        const std::string path = directory.Write("damaged.pst", damaged.bytes);
        PstStore store;
        std::string error;
        EXPECT_EQ(store.Open(path, error), damaged.status) << damaged.name;
        EXPECT_EQ(error, path + ": " + damaged.error) << damaged.name;
    }
}

TEST(PstReader, AMissingFileGivesTheSystemError)
{
    PstStore store;
    std::string error;
    EXPECT_EQ(store.Open("/nonexistent/alice.pst", error), HResultFromErrno(ENOENT));
    EXPECT_EQ(error, "/nonexistent/alice.pst: cannot open the file: No such file or directory");
}

struct Sample {
    const char* path;
    FileFormat format;
};

const Sample kSamples[] = {
    {"HiraokaHyperTools-pst_to_eml/contacts97-2002.pst", FileFormat::Ansi},
    {"aspose-email-dotnet/passwordprotectedPST.pst", FileFormat::Unicode},
    {"rjohnsondev-java-libpst/dist-list.pst", FileFormat::Unicode},
};

std::string DescribeFile(const std::string& path, FileFormat format, BlockEncoding encoding)
{
    PstStore store;
    std::string error;
    EXPECT_EQ(store.Open(path, error), S_OK) << error;
    EXPECT_EQ(store.Database().Format(), format);
    EXPECT_EQ(store.Database().Encoding(), encoding);
    return pstfixtures::DescribeStore(store);
}

TEST(PstReader, EveryEncodingReadsTheSame)
{
    if (!testsupport::HaveOutlookSamples()) {
        GTEST_SKIP() << "the shared Outlook samples are not here: " << testsupport::OutlookSamplesDirectory();
    }
    testsupport::TemporaryDirectory directory;
    for (const auto& sample : kSamples) {
        SCOPED_TRACE(sample.path);
        const auto original = testsupport::OutlookSamplesDirectory() / sample.path;
        const std::string expected = DescribeFile(original.string(), sample.format, BlockEncoding::Compressible);
        EXPECT_NE(expected.find("message "), std::string::npos);
        for (BlockEncoding encoding : {BlockEncoding::None, BlockEncoding::High}) {
            const auto copy = directory / ("copy" + std::to_string(int(encoding)) + ".pst");
            pstfixtures::WriteReencoded(original, encoding, copy);
            EXPECT_EQ(DescribeFile(copy.string(), sample.format, encoding), expected) << int(encoding);
        }
    }
}

// The fuzzer's seeds are such copies of the samples.
TEST(PstReader, ACompactedCopyReadsTheSame)
{
    if (!testsupport::HaveOutlookSamples()) {
        GTEST_SKIP() << "the shared Outlook samples are not here: " << testsupport::OutlookSamplesDirectory();
    }
    testsupport::TemporaryDirectory directory;
    for (const auto& sample : kSamples) {
        SCOPED_TRACE(sample.path);
        const auto original = testsupport::OutlookSamplesDirectory() / sample.path;
        const auto copy = directory / "compact.pst";
        pstfixtures::WriteCompacted(original, copy);
        EXPECT_LT(std::filesystem::file_size(copy), std::filesystem::file_size(original));
        EXPECT_EQ(DescribeFile(copy.string(), sample.format, BlockEncoding::Compressible),
                  DescribeFile(original.string(), sample.format, BlockEncoding::Compressible));
    }
}

// Reads everything; the first failure's status and text.
HRESULT ReadEverything(const PstStore& store, std::uint32_t nid, std::string& error, int depth = 0)
{
    PstFolder folder;
    HRESULT status = store.ReadFolder(nid, 1252, folder, error);
    for (bool associated : {false, true}) {
        std::vector<std::uint32_t> ids;
        if (SUCCEEDED(status)) {
            status = store.ReadMessageIds(nid, associated, ids, error);
        }
        for (std::size_t i = 0; i < ids.size() && SUCCEEDED(status); ++i) {
            cfb::MsgDocument document;
            status = store.ReadMessage(ids[i], 1252, document, error);
        }
    }
    for (std::size_t i = 0; i < folder.subfolders.size() && SUCCEEDED(status) && depth < 32; ++i) {
        status = ReadEverything(store, folder.subfolders[i], error, depth + 1);
    }
    return status;
}

TEST(PstReader, AShortenedFileFailsWhereItEnds)
{
    if (!testsupport::HaveOutlookSamples()) {
        GTEST_SKIP() << "the shared Outlook samples are not here: " << testsupport::OutlookSamplesDirectory();
    }
    testsupport::TemporaryDirectory directory;
    const auto original = testsupport::OutlookSamplesDirectory() / kSamples[2].path;
    std::string bytes = testsupport::ReadFile(original);
    const std::string path = directory.Write("short.pst", bytes.substr(0, bytes.size() / 2));
    PstStore store;
    std::string error;
    HRESULT status = store.Open(path, error);
    if (SUCCEEDED(status)) {
        status = ReadEverything(store, kRootFolderNode, error);
    }
    EXPECT_EQ(status, MAPI_E_CORRUPT_DATA);
    EXPECT_EQ(error.rfind(path + ": offset 0x", 0), 0u) << error;
    EXPECT_NE(error.find("lie beyond the end of the file"), std::string::npos) << error;
}

TEST(PstReader, AnsiFilesKeepTheirCodePage)
{
    if (!testsupport::HaveOutlookSamples()) {
        GTEST_SKIP() << "the shared Outlook samples are not here: " << testsupport::OutlookSamplesDirectory();
    }
    PstStore store;
    std::string error;
    ASSERT_EQ(store.Open((testsupport::OutlookSamplesDirectory() / kSamples[0].path).string(), error), S_OK) << error;
    PstFolder contacts;
    ASSERT_EQ(store.ReadFolder(0x80A2, 932, contacts, error), S_OK) << error;
    const cfb::MsgProperty* name = cfb::FindProperty(contacts.properties, PR_DISPLAY_NAME_W);
    ASSERT_NE(name, nullptr);
    EXPECT_EQ(Utf16ToUtf8(name->text), "\xE9\x80\xA3\xE7\xB5\xA1\xE5\x85\x88 (Contact dedicated)");
    std::vector<std::uint32_t> ids;
    ASSERT_EQ(store.ReadMessageIds(0x80A2, false, ids, error), S_OK) << error;
    ASSERT_EQ(ids.size(), 1u);
    cfb::MsgDocument document;
    ASSERT_EQ(store.ReadMessage(ids[0], 1252, document, error), S_OK) << error;
    EXPECT_EQ(document.message.codePage, 932u);
    const cfb::MsgProperty* subject = cfb::FindProperty(document.message.properties, PR_SUBJECT_A);
    ASSERT_NE(subject, nullptr);
    EXPECT_FALSE(subject->bytes.empty());
}

// PS_MAPI is the property set of the name-to-id map's index 1: the first entry of the map in a
// plain copy of a sample is changed to it.
TEST(PstReader, NamesInPsMapiHaveItsGuid)
{
    if (!testsupport::HaveOutlookSamples()) {
        GTEST_SKIP() << "the shared Outlook samples are not here: " << testsupport::OutlookSamplesDirectory();
    }
    testsupport::TemporaryDirectory directory;
    const auto plain = directory / "plain.pst";
    pstfixtures::WriteReencoded(testsupport::OutlookSamplesDirectory() / kSamples[2].path, BlockEncoding::None, plain);
    std::string bytes = testsupport::ReadFile(plain);
    std::string entries;
    {
        NodeDatabase database;
        std::string error;
        ASSERT_EQ(database.Open(plain.string(), error), S_OK) << error;
        HeapOnNode heap(database, database.FindNode(kNameMapNode), kPropertyContextHeap);
        for (const auto& raw : ReadPropertyContext(heap)) {
            if (raw.tag == 0x00030102) {
                entries.assign(raw.value.begin(), raw.value.end());
            }
        }
    }
    ASSERT_GE(entries.size(), 16u);
    const std::size_t at = bytes.find(entries.substr(0, 16));
    ASSERT_NE(at, std::string::npos);
    const auto id = static_cast<std::uint16_t>(0x8000 + ReadU16(std::vector<std::uint8_t>(entries.begin(), entries.begin() + 8), 6));
    bytes[at + 4] = 2;  // property set 1, a number
    bytes[at + 5] = 0;
    testsupport::WriteFile(plain, bytes);
    PstStore patched;
    std::string error;
    ASSERT_EQ(patched.Open(plain.string(), error), S_OK) << error;
    const cfb::Guid psMapi = {0x28, 0x03, 0x02, 0, 0, 0, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46};
    EXPECT_EQ(patched.NamedProperties().at(id).propertySet, psMapi);
    EXPECT_FALSE(patched.NamedProperties().at(id).isString);
    EXPECT_EQ(patched.NamedProperties().at(id).lid, ReadU32(std::vector<std::uint8_t>(entries.begin(), entries.begin() + 8), 0));
}

} // namespace
