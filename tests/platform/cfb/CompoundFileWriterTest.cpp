// Tests of the compound-file writer: what it writes reads back, and its allocation tables and
// directory trees obey the format's rules, checked here from the raw bytes.
#include "platform/cfb/CompoundFile.h"
#include "platform/cfb/CompoundFileWriter.h"
#include "tests/platform/cfb/TestBytes.h"

#include <gtest/gtest.h>

#include <functional>
#include <set>

namespace {

using namespace platform::cfb;
using namespace cfbtest;

constexpr std::uint32_t kFree = 0xFFFFFFFFu;
constexpr std::uint32_t kEnd = 0xFFFFFFFEu;
constexpr std::uint32_t kFatMark = 0xFFFFFFFDu;
constexpr std::uint32_t kDifatMark = 0xFFFFFFFCu;

struct RawEntry {
    std::u16string name;
    std::uint8_t type = 0;
    std::uint8_t color = 0;
    std::uint32_t left = 0;
    std::uint32_t right = 0;
    std::uint32_t child = 0;
    std::uint32_t start = 0;
    std::uint64_t size = 0;
};

bool CfbBefore(const std::u16string& a, const std::u16string& b)
{
    if (a.size() != b.size())
        return a.size() < b.size();
    for (std::size_t i = 0; i < a.size(); ++i) {
        char16_t x = a[i] >= u'a' && a[i] <= u'z' ? static_cast<char16_t>(a[i] - 32) : a[i];
        char16_t y = b[i] >= u'a' && b[i] <= u'z' ? static_cast<char16_t>(b[i] - 32) : b[i];
        if (x != y)
            return x < y;
    }
    return false;
}

// Checks a written file against the format's rules, independently of the reader: every sector is
// used once or marked free, FAT and DIFAT sectors carry their marks, chains are as long as their
// streams, and each storage's children form a red-black tree in name order.
class FileChecker {
public:
    explicit FileChecker(const Bytes& bytes) : bytes_(bytes) {}

    void Check()
    {
        ASSERT_GE(bytes_.size(), 512u);
        sectorSize_ = std::size_t{1} << U16(bytes_, 30);
        ASSERT_EQ(bytes_.size() % sectorSize_, 0u);
        sectorCount_ = bytes_.size() / sectorSize_ - 1;
        use_.assign(sectorCount_, 0);
        ReadFat();
        ASSERT_FALSE(::testing::Test::HasFailure());
        ReadDirectory();
        ASSERT_FALSE(::testing::Test::HasFailure());
        CheckTree(0);
        CheckStreams();
        for (std::size_t sector = 0; sector < fat_.size(); ++sector) {
            if (sector >= sectorCount_ || use_[sector] == 0)
                EXPECT_EQ(fat_[sector], kFree) << "sector " << sector << " is unused but not marked free";
            else
                EXPECT_EQ(use_[sector], 1) << "sector " << sector;
        }
    }

    const std::vector<RawEntry>& Entries() const { return entries_; }
    std::size_t FatSectorCount() const { return fatSectors_.size(); }
    std::uint32_t DifatSectorCount() const { return U32(bytes_, 72); }

private:
    std::size_t Offset(std::uint32_t sector) const { return (std::size_t{sector} + 1) * sectorSize_; }

    void Use(std::uint32_t sector, const char* what)
    {
        ASSERT_LT(sector, sectorCount_) << what;
        ++use_[sector];
    }

    void ReadFat()
    {
        const std::size_t perSector = sectorSize_ / 4;
        const std::uint32_t fatCount = U32(bytes_, 44);
        for (std::uint32_t i = 0; i < fatCount && i < 109; ++i)
            fatSectors_.push_back(U32(bytes_, 76 + 4 * i));
        for (std::size_t i = fatCount; i < 109; ++i)
            EXPECT_EQ(U32(bytes_, 76 + 4 * i), kFree) << "header DIFAT slot " << i;
        std::vector<std::uint32_t> difat;
        for (std::uint32_t sector = U32(bytes_, 68); sector != kEnd; sector = U32(bytes_, Offset(sector) + sectorSize_ - 4)) {
            ASSERT_LT(sector, sectorCount_);
            ASSERT_LE(difat.size(), sectorCount_);
            difat.push_back(sector);
            for (std::size_t i = 0; i + 1 < perSector; ++i) {
                const std::uint32_t value = U32(bytes_, Offset(sector) + 4 * i);
                if (fatSectors_.size() < fatCount)
                    fatSectors_.push_back(value);
                else
                    EXPECT_EQ(value, kFree) << "DIFAT slot past the FAT";
            }
        }
        ASSERT_EQ(difat.size(), U32(bytes_, 72));
        ASSERT_EQ(fatSectors_.size(), fatCount);
        for (std::uint32_t sector : fatSectors_) {
            Use(sector, "FAT sector");
            for (std::size_t i = 0; i < perSector; ++i)
                fat_.push_back(U32(bytes_, Offset(sector) + 4 * i));
        }
        ASSERT_GE(fat_.size(), sectorCount_);
        for (std::uint32_t sector : fatSectors_)
            EXPECT_EQ(fat_[sector], kFatMark);
        for (std::uint32_t sector : difat) {
            Use(sector, "DIFAT sector");
            EXPECT_EQ(fat_[sector], kDifatMark);
        }
    }

    // The sectors of a chain, each marked as used; exactly `count` of them.
    std::vector<std::uint32_t> Chain(std::uint32_t start, std::size_t count, const char* what, bool mark = true)
    {
        std::vector<std::uint32_t> chain;
        for (std::uint32_t sector = start; sector != kEnd && chain.size() <= sectorCount_; sector = fat_[sector]) {
            if (sector >= sectorCount_) {
                ADD_FAILURE() << what << " runs to " << sector;
                return chain;
            }
            chain.push_back(sector);
            if (mark)
                Use(sector, what);
        }
        EXPECT_EQ(chain.size(), count) << what;
        return chain;
    }

    void ReadDirectory()
    {
        std::size_t count = 0;
        for (std::uint32_t sector = U32(bytes_, 48); sector != kEnd && count <= sectorCount_; sector = fat_[sector])
            ++count;
        const std::vector<std::uint32_t> chain = Chain(U32(bytes_, 48), count, "directory");
        for (std::uint32_t sector : chain) {
            for (std::size_t offset = Offset(sector); offset < Offset(sector) + sectorSize_; offset += 128) {
                RawEntry entry;
                entry.type = bytes_[offset + 66];
                entry.color = bytes_[offset + 67];
                entry.left = U32(bytes_, offset + 68);
                entry.right = U32(bytes_, offset + 72);
                entry.child = U32(bytes_, offset + 76);
                entry.start = U32(bytes_, offset + 116);
                entry.size = U32(bytes_, offset + 120) | std::uint64_t{U32(bytes_, offset + 124)} << 32;
                const std::uint16_t nameBytes = U16(bytes_, offset + 64);
                for (std::size_t i = 0; i + 2 < nameBytes; i += 2)
                    entry.name += static_cast<char16_t>(U16(bytes_, offset + i));
                if (entry.type == 0) {
                    EXPECT_EQ(entry.left, kFree);
                    EXPECT_EQ(entry.right, kFree);
                    EXPECT_EQ(entry.child, kFree);
                } else {
                    EXPECT_EQ(nameBytes, 2 * (entry.name.size() + 1));
                    EXPECT_EQ(U16(bytes_, offset + 2 * entry.name.size()), 0) << "name terminator";
                }
                entries_.push_back(entry);
            }
        }
        ASSERT_FALSE(entries_.empty());
        EXPECT_EQ(entries_[0].type, 5);
        EXPECT_EQ(entries_[0].name, u"Root Entry");
    }

    // Returns the black height of the subtree at `number`, after checking order and colours.
    int CheckSiblings(std::uint32_t number, const std::u16string* low, const std::u16string* high, bool parentRed)
    {
        if (number == kFree)
            return 1;
        if (number >= entries_.size() || visited_.count(number) != 0) {
            ADD_FAILURE() << "sibling link to " << number;
            return 0;
        }
        visited_.insert(number);
        const RawEntry& entry = entries_[number];
        const std::u16string& name = entry.name;
        if (low != nullptr) {
            EXPECT_TRUE(CfbBefore(*low, name)) << "order";
        }
        if (high != nullptr) {
            EXPECT_TRUE(CfbBefore(name, *high)) << "order";
        }
        const bool red = entry.color == 0;
        EXPECT_FALSE(red && parentRed) << "a red entry has a red parent";
        const int left = CheckSiblings(entry.left, low, &name, red);
        const int right = CheckSiblings(entry.right, &name, high, red);
        EXPECT_EQ(left, right) << "black heights differ below entry " << number;
        if (entry.type == 1 || entry.type == 5)
            CheckTree(number);
        return left + (red ? 0 : 1);
    }

    void CheckTree(std::uint32_t storage)
    {
        const std::uint32_t top = entries_[storage].child;
        if (top != kFree && top < entries_.size()) {
            EXPECT_EQ(entries_[top].color, 1) << "the top of a tree is black";
        }
        CheckSiblings(top, nullptr, nullptr, false);
    }

    void CheckStreams()
    {
        const std::size_t cutoff = U32(bytes_, 56);
        const RawEntry& root = entries_[0];
        const std::vector<std::uint32_t> miniStream =
            Chain(root.start, (root.size + sectorSize_ - 1) / sectorSize_, "mini stream");
        const std::uint32_t miniFatCount = U32(bytes_, 64);
        std::vector<std::uint32_t> miniFat;
        for (std::uint32_t sector : Chain(U32(bytes_, 60), miniFatCount, "mini FAT")) {
            for (std::size_t i = 0; i < sectorSize_ / 4; ++i)
                miniFat.push_back(U32(bytes_, Offset(sector) + 4 * i));
        }
        std::vector<int> miniUse(miniFat.size(), 0);
        for (std::size_t number = 1; number < entries_.size(); ++number) {
            const RawEntry& entry = entries_[number];
            if (entry.type != 2)
                continue;
            EXPECT_TRUE(visited_.count(static_cast<std::uint32_t>(number)) != 0) << "entry outside every tree";
            if (entry.size == 0) {
                EXPECT_EQ(entry.start, kEnd);
            } else if (entry.size >= cutoff) {
                Chain(entry.start, (entry.size + sectorSize_ - 1) / sectorSize_, "stream");
            } else {
                std::size_t links = 0;
                for (std::uint32_t mini = entry.start; mini != kEnd && links <= miniFat.size(); mini = miniFat[mini]) {
                    ASSERT_LT(mini, miniFat.size());
                    ASSERT_LT(std::size_t{mini} * 64, root.size);
                    ++miniUse[mini];
                    ++links;
                }
                EXPECT_EQ(links, (entry.size + 63) / 64);
            }
        }
        for (std::size_t mini = 0; mini < miniFat.size(); ++mini) {
            if (miniUse[mini] == 0)
                EXPECT_EQ(miniFat[mini], kFree) << "mini sector " << mini << " is unused but not marked free";
            else
                EXPECT_EQ(miniUse[mini], 1) << "mini sector " << mini;
        }
    }

    const Bytes& bytes_;
    std::size_t sectorSize_ = 0;
    std::size_t sectorCount_ = 0;
    std::vector<int> use_;
    std::vector<std::uint32_t> fatSectors_;
    std::vector<std::uint32_t> fat_;
    std::vector<RawEntry> entries_;
    std::set<std::uint32_t> visited_;
};

std::u16string Name(const std::string& ascii) { return std::u16string(ascii.begin(), ascii.end()); }

TEST(CompoundFileWriterTest, SiblingTreesOfEverySizeAreOrderedRedBlackTrees)
{
    for (std::size_t count : {1, 2, 3, 4, 5, 6, 7, 8, 9, 15, 16, 17, 31, 40, 100}) {
        SCOPED_TRACE(count);
        std::vector<CompoundFileNode> children;
        // Names of mixed length and letter case, given in no particular order.
        for (std::size_t i = 0; i < count; ++i) {
            const std::size_t key = (i * 37) % count;
            std::string name = std::string(1 + key % 5, key % 2 == 0 ? 'a' : 'B') + std::to_string(key);
            children.push_back(StreamNode(Name(name), Pattern(key * 10, static_cast<std::uint8_t>(key))));
        }
        children.push_back(StorageNode(u"Nested", {StreamNode(u"x", Pattern(10, 1)), StreamNode(u"Y", {})}));
        Bytes bytes;
        std::string error;
        ASSERT_EQ(WriteCompoundFile(children, bytes, error), S_OK) << error;
        FileChecker(bytes).Check();

        CompoundFile file;
        ASSERT_EQ(file.Open(bytes), S_OK) << file.Error();
        ASSERT_EQ(file.Root().children.size(), count + 1);
        for (const CompoundFileNode& node : children) {
            if (!node.isStorage) {
                EXPECT_EQ(StreamAt(file, {std::string(node.name.begin(), node.name.end())}), node.data);
            }
        }
        EXPECT_EQ(StreamAt(file, {"Nested", "X"}), Pattern(10, 1));
    }
}

TEST(CompoundFileWriterTest, StreamsOfEverySizeRoundTripInBothVersions)
{
    const std::vector<std::size_t> sizes = {0, 1, 63, 64, 65, 511, 512, 513, 4095, 4096, 4097, 8192, 70000};
    for (int version : {3, 4}) {
        SCOPED_TRACE(version);
        std::vector<CompoundFileNode> children;
        std::vector<CompoundFileNode> nested;
        for (std::size_t i = 0; i < sizes.size(); ++i) {
            children.push_back(StreamNode(Name("s" + std::to_string(sizes[i])), Pattern(sizes[i], static_cast<std::uint8_t>(i))));
            nested.push_back(StreamNode(Name("n" + std::to_string(sizes[i])), Pattern(sizes[i], static_cast<std::uint8_t>(i + 50))));
        }
        children.push_back(StorageNode(u"deep", {StorageNode(u"er", std::move(nested))}));
        Bytes bytes;
        std::string error;
        ASSERT_EQ(WriteCompoundFile(children, bytes, error, version), S_OK) << error;
        FileChecker checker(bytes);
        checker.Check();
        EXPECT_EQ(U16(bytes, 26), version);

        CompoundFile file;
        ASSERT_EQ(file.Open(bytes), S_OK) << file.Error();
        for (std::size_t i = 0; i < sizes.size(); ++i) {
            SCOPED_TRACE(sizes[i]);
            EXPECT_EQ(StreamAt(file, {"s" + std::to_string(sizes[i])}), Pattern(sizes[i], static_cast<std::uint8_t>(i)));
            EXPECT_EQ(StreamAt(file, {"deep", "er", "n" + std::to_string(sizes[i])}),
                      Pattern(sizes[i], static_cast<std::uint8_t>(i + 50)));
        }
    }
}

TEST(CompoundFileWriterTest, AnEmptyFileHasOnlyTheRoot)
{
    Bytes bytes;
    std::string error;
    ASSERT_EQ(WriteCompoundFile({}, bytes, error), S_OK) << error;
    FileChecker checker(bytes);
    checker.Check();
    EXPECT_EQ(checker.Entries()[0].child, kFree);
    EXPECT_EQ(checker.Entries()[0].start, kEnd);
    CompoundFile file;
    ASSERT_EQ(file.Open(bytes), S_OK) << file.Error();
    EXPECT_TRUE(file.Root().children.empty());
}

TEST(CompoundFileWriterTest, ALargeStreamNeedsTheDifat)
{
    // 7.5 MB take more than the 109 FAT sectors the header lists.
    const Bytes large = Pattern(7'500'000, 9);
    std::vector<CompoundFileNode> children = {StreamNode(u"large", large), StreamNode(u"small", Pattern(100, 3))};
    Bytes bytes;
    std::string error;
    ASSERT_EQ(WriteCompoundFile(children, bytes, error), S_OK) << error;
    FileChecker checker(bytes);
    checker.Check();
    EXPECT_GT(checker.FatSectorCount(), 109u);
    EXPECT_GE(checker.DifatSectorCount(), 1u);

    CompoundFile file;
    ASSERT_EQ(file.Open(bytes), S_OK) << file.Error();
    EXPECT_TRUE(StreamAt(file, {"large"}) == large);
    EXPECT_EQ(StreamAt(file, {"small"}), Pattern(100, 3));
}

TEST(CompoundFileWriterTest, RefusesWhatTheFormatCannotHold)
{
    struct Case {
        const char* what;
        std::vector<CompoundFileNode> children;
        int version;
        HRESULT status;
        const char* message;
    };
    const std::vector<Case> cases = {
        {"empty name", {StorageNode(u"top", {StreamNode(u"", {})})}, 3, STG_E_INVALIDNAME,
         "an entry of \"top/\" has an empty name"},
        {"32 characters", {StreamNode(std::u16string(32, u'n'), {})}, 3, STG_E_INVALIDNAME, "longer than 31"},
        {"slash", {StorageNode(u"a", {StreamNode(u"b/c", {})})}, 3, STG_E_INVALIDNAME,
         "the name \"a/b/c\" contains one of / \\ : !"},
        {"exclamation mark", {StreamNode(u"x!", {})}, 3, STG_E_INVALIDNAME, "contains one of"},
        {"same name in another case", {StreamNode(u"Body", {}), StorageNode(u"BODY", {})}, 3, STG_E_FILEALREADYEXISTS,
         "\"Body\" and \"BODY\" are the same name"},
        {"unknown version", {}, 5, E_INVALIDARG, "version 5 does not exist"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Bytes bytes = {1, 2, 3};
        std::string error;
        EXPECT_EQ(WriteCompoundFile(c.children, bytes, error, c.version), c.status);
        EXPECT_NE(error.find(c.message), std::string::npos) << error;
        EXPECT_TRUE(bytes.empty());
    }
}

TEST(CompoundFileWriterTest, ThirtyOneCharacterNamesAndOtherCharactersAreKept)
{
    const std::u16string longest(31, u'L');
    const std::u16string accented = u"\u00C9t\u00E9 \u65E5\u672C";
    std::vector<CompoundFileNode> children = {StreamNode(longest, {1}), StreamNode(accented, {2})};
    Bytes bytes;
    std::string error;
    ASSERT_EQ(WriteCompoundFile(children, bytes, error), S_OK) << error;
    FileChecker checker(bytes);
    checker.Check();
    CompoundFile file;
    ASSERT_EQ(file.Open(bytes), S_OK) << file.Error();
    EXPECT_EQ(StreamAt(file, {std::string(31, 'L')}), Bytes{1});
    EXPECT_EQ(StreamAt(file, {"\xC3\x89t\xC3\xA9 \xE6\x97\xA5\xE6\x9C\xAC"}), Bytes{2});
}

} // namespace
