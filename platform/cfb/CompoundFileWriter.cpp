// Compound-file writing: directory trees, sector allocation (FAT, DIFAT, mini FAT) and the file image.
#include "platform/cfb/CompoundFileWriter.h"

#include "platform/base/LittleEndian.h"
#include "platform/cfb/CompoundFileLayout.h"
#include "platform/locale/Utf16.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <numeric>
#include <string_view>

namespace platform::cfb {
namespace {

constexpr std::size_t kMaxNameLength = 31;
constexpr std::uint64_t kMaxVersion3StreamSize = 0x80000000u;
constexpr std::uint64_t kMaxSectorCount = 0xFFFFFFFAu;  // sector numbers above this are markers
constexpr std::uint8_t kTypeStorage = 1;
constexpr std::uint8_t kTypeStream = 2;
constexpr std::uint8_t kTypeRoot = 5;
constexpr std::uint8_t kRed = 0;
constexpr std::uint8_t kBlack = 1;

using Bytes = std::vector<std::uint8_t>;

struct Entry {
    const CompoundFileNode* node = nullptr;  // nullptr for the root
    std::uint8_t type = kTypeStream;
    std::uint8_t color = kBlack;
    std::uint32_t left = kNoStream;
    std::uint32_t right = kNoStream;
    std::uint32_t child = kNoStream;
    std::uint32_t start = kEndOfChain;
    std::uint64_t size = 0;
};

std::uint64_t CeilDiv(std::uint64_t value, std::uint64_t unit) { return (value + unit - 1) / unit; }

char16_t FoldUnit(char16_t unit)
{
    return unit >= u'a' && unit <= u'z' ? static_cast<char16_t>(unit - u'a' + u'A') : unit;
}

// The order of siblings in a storage's tree: shorter names first, then by upper-cased name.
bool NameBefore(std::u16string_view a, std::u16string_view b)
{
    if (a.size() != b.size())
        return a.size() < b.size();
    for (std::size_t i = 0; i < a.size(); ++i) {
        const char16_t x = FoldUnit(a[i]);
        const char16_t y = FoldUnit(b[i]);
        if (x != y)
            return x < y;
    }
    return false;
}

// The number of completely filled levels of a tree of `count` nodes built by halving:
// floor(log2(count + 1)). Only the level below them can be partly filled.
std::size_t FullLevels(std::size_t count)
{
    std::size_t levels = 0;
    while ((std::size_t{2} << levels) - 1 <= count)
        ++levels;
    return levels;
}

class Writer {
public:
    Writer(int majorVersion, std::string& error)
        : majorVersion_(majorVersion), sectorSize_(majorVersion == 4 ? 4096 : 512), error_(error)
    {
    }

    HRESULT Write(std::span<const CompoundFileNode> rootChildren, Bytes& bytes)
    {
        Entry root;
        root.type = kTypeRoot;
        entries_.push_back(root);
        HRESULT hr = AddChildren(0, rootChildren, "");
        if (FAILED(hr))
            return hr;
        hr = Allocate();
        if (FAILED(hr))
            return hr;
        Render(bytes);
        return S_OK;
    }

private:
    HRESULT Fail(HRESULT hr, std::string message)
    {
        error_ = std::move(message);
        return hr;
    }

    HRESULT CheckName(const CompoundFileNode& node, const std::string& path)
    {
        const std::string shown = "\"" + path + platform::Utf16ToUtf8(node.name) + "\"";
        if (node.name.empty())
            return Fail(STG_E_INVALIDNAME, "an entry of \"" + path + "\" has an empty name");
        if (node.name.size() > kMaxNameLength)
            return Fail(STG_E_INVALIDNAME, "the name " + shown + " is longer than 31 characters");
        if (node.name.find_first_of(u"/\\:!") != std::u16string::npos)
            return Fail(STG_E_INVALIDNAME, "the name " + shown + " contains one of / \\ : !");
        if (!node.isStorage && majorVersion_ == 3 && node.data.size() >= kMaxVersion3StreamSize)
            return Fail(STG_E_DOCFILETOOLARGE, "the stream " + shown + " holds " + std::to_string(node.data.size()) +
                                           " bytes; a version 3 file holds less than 2 GB per stream");
        return S_OK;
    }

    HRESULT AddChildren(std::uint32_t parent, std::span<const CompoundFileNode> children, const std::string& path)
    {
        const auto first = static_cast<std::uint32_t>(entries_.size());
        for (const CompoundFileNode& node : children) {
            HRESULT hr = CheckName(node, path);
            if (FAILED(hr))
                return hr;
            Entry entry;
            entry.node = &node;
            entry.type = node.isStorage ? kTypeStorage : kTypeStream;
            entry.size = node.isStorage ? 0 : node.data.size();
            entries_.push_back(entry);
        }
        if (entries_.size() > kMaxSectorCount)
            return Fail(STG_E_DOCFILETOOLARGE, "the file would hold more directory entries than it can number");

        std::vector<std::uint32_t> sorted(children.size());
        std::iota(sorted.begin(), sorted.end(), first);
        std::sort(sorted.begin(), sorted.end(),
                  [this](std::uint32_t a, std::uint32_t b) { return NameBefore(Name(a), Name(b)); });
        for (std::size_t i = 1; i < sorted.size(); ++i) {
            if (!NameBefore(Name(sorted[i - 1]), Name(sorted[i])))
                return Fail(STG_E_FILEALREADYEXISTS, "\"" + path + platform::Utf16ToUtf8(Name(sorted[i - 1])) +
                                                    "\" and \"" + path + platform::Utf16ToUtf8(Name(sorted[i])) +
                                                    "\" are the same name");
        }
        entries_[parent].child = Balance(sorted, 0, sorted.size(), 0, FullLevels(sorted.size()));

        for (std::size_t i = 0; i < children.size(); ++i) {
            if (!children[i].isStorage)
                continue;
            HRESULT hr = AddChildren(first + static_cast<std::uint32_t>(i), children[i].children,
                                     path + platform::Utf16ToUtf8(children[i].name) + "/");
            if (FAILED(hr))
                return hr;
        }
        return S_OK;
    }

    std::u16string_view Name(std::uint32_t entry) const { return entries_[entry].node->name; }

    // Halving keeps the tree balanced; the nodes of a partly filled last level are red, which
    // gives every path from the top to a missing child the same number of black nodes.
    std::uint32_t Balance(const std::vector<std::uint32_t>& sorted, std::size_t begin, std::size_t end,
                          std::size_t depth, std::size_t fullLevels)
    {
        if (begin >= end)
            return kNoStream;
        const std::size_t middle = begin + (end - begin) / 2;
        Entry& entry = entries_[sorted[middle]];
        entry.color = depth >= fullLevels ? kRed : kBlack;
        entry.left = Balance(sorted, begin, middle, depth + 1, fullLevels);
        entry.right = Balance(sorted, middle + 1, end, depth + 1, fullLevels);
        return sorted[middle];
    }

    std::uint32_t Chain(std::uint64_t count)
    {
        if (count == 0)
            return kEndOfChain;
        const auto first = next_;
        for (std::uint64_t i = 0; i < count; ++i, ++next_)
            fat_[next_] = i + 1 < count ? next_ + 1 : kEndOfChain;
        return first;
    }

    HRESULT Allocate()
    {
        const std::size_t perSector = sectorSize_ / 4;
        std::uint64_t regularSectors = 0;
        for (Entry& entry : entries_) {
            if (entry.type != kTypeStream || entry.size == 0)
                continue;
            if (entry.size < kMiniStreamCutoff) {
                entry.start = static_cast<std::uint32_t>(miniSectors_);
                miniSectors_ += CeilDiv(entry.size, kMiniSectorSize);
            } else {
                regularSectors += CeilDiv(entry.size, sectorSize_);
            }
        }
        if (miniSectors_ > kMaxSectorCount)
            return Fail(STG_E_DOCFILETOOLARGE, "the small streams need more mini sectors than a compound file can number");
        directorySectors_ = CeilDiv(entries_.size(), sectorSize_ / kDirectoryEntrySize);
        miniFatSectors_ = CeilDiv(miniSectors_ * 4, sectorSize_);
        const std::uint64_t miniStreamSectors = CeilDiv(miniSectors_ * kMiniSectorSize, sectorSize_);
        const std::uint64_t dataSectors = directorySectors_ + miniFatSectors_ + miniStreamSectors + regularSectors;
        // The FAT covers its own sectors and the DIFAT's too.
        fatSectors_ = std::max<std::uint64_t>(1, dataSectors / perSector);
        for (;; ++fatSectors_) {
            difatSectors_ = fatSectors_ > kHeaderDifatCount ? CeilDiv(fatSectors_ - kHeaderDifatCount, perSector - 1) : 0;
            if (fatSectors_ * perSector >= dataSectors + fatSectors_ + difatSectors_)
                break;
        }
        sectorCount_ = dataSectors + fatSectors_ + difatSectors_;
        if (sectorCount_ > kMaxSectorCount)
            return Fail(STG_E_DOCFILETOOLARGE, "the streams need " + std::to_string(sectorCount_) +
                                           " sectors, more than a compound file can number");

        fat_.assign(fatSectors_ * perSector, kFreeSector);
        for (std::uint64_t i = 0; i < fatSectors_; ++i) {
            fatSectorNumbers_.push_back(next_);
            fat_[next_++] = kFatSectorMark;
        }
        for (std::uint64_t i = 0; i < difatSectors_; ++i) {
            difatSectorNumbers_.push_back(next_);
            fat_[next_++] = kDifatSectorMark;
        }
        firstDirectorySector_ = Chain(directorySectors_);
        firstMiniFatSector_ = Chain(miniFatSectors_);
        entries_[0].start = Chain(miniStreamSectors);
        entries_[0].size = miniSectors_ * kMiniSectorSize;
        for (Entry& entry : entries_) {
            if (entry.type == kTypeStream && entry.size >= kMiniStreamCutoff)
                entry.start = Chain(CeilDiv(entry.size, sectorSize_));
        }
        return S_OK;
    }

    std::size_t SectorOffset(std::uint64_t sector) const { return static_cast<std::size_t>((sector + 1) * sectorSize_); }

    void Render(Bytes& out) const
    {
        out.assign(SectorOffset(sectorCount_), 0);
        RenderHeader(out);
        RenderDifat(out);
        const std::size_t perSector = sectorSize_ / 4;
        for (std::size_t i = 0; i < fat_.size(); ++i)
            PutU32(out, SectorOffset(fatSectorNumbers_[i / perSector]) + 4 * (i % perSector), fat_[i]);
        RenderDirectory(out);
        RenderStreams(out);
    }

    void RenderHeader(Bytes& out) const
    {
        std::memcpy(out.data(), kSignature, sizeof kSignature);
        PutU16(out, 24, 0x003E);  // minor version
        PutU16(out, 26, static_cast<std::uint16_t>(majorVersion_));
        PutU16(out, 28, 0xFFFE);  // little-endian byte order mark
        PutU16(out, 30, majorVersion_ == 4 ? 12 : 9);
        PutU16(out, 32, 6);  // 64-byte mini sectors
        PutU32(out, 40, majorVersion_ == 4 ? static_cast<std::uint32_t>(directorySectors_) : 0);
        PutU32(out, 44, static_cast<std::uint32_t>(fatSectors_));
        PutU32(out, 48, firstDirectorySector_);
        PutU32(out, 56, kMiniStreamCutoff);
        PutU32(out, 60, firstMiniFatSector_);
        PutU32(out, 64, static_cast<std::uint32_t>(miniFatSectors_));
        PutU32(out, 68, difatSectorNumbers_.empty() ? kEndOfChain : difatSectorNumbers_.front());
        PutU32(out, 72, static_cast<std::uint32_t>(difatSectors_));
        for (std::size_t i = 0; i < kHeaderDifatCount; ++i)
            PutU32(out, 76 + 4 * i, i < fatSectorNumbers_.size() ? fatSectorNumbers_[i] : kFreeSector);
    }

    // FAT sectors past the 109 the header lists, each DIFAT sector ending in the next one's number.
    void RenderDifat(Bytes& out) const
    {
        const std::size_t perSector = sectorSize_ / 4;
        for (std::size_t d = 0; d < difatSectorNumbers_.size(); ++d) {
            const std::size_t offset = SectorOffset(difatSectorNumbers_[d]);
            for (std::size_t i = 0; i + 1 < perSector; ++i) {
                const std::size_t index = kHeaderDifatCount + d * (perSector - 1) + i;
                PutU32(out, offset + 4 * i, index < fatSectorNumbers_.size() ? fatSectorNumbers_[index] : kFreeSector);
            }
            PutU32(out, offset + 4 * (perSector - 1),
                   d + 1 < difatSectorNumbers_.size() ? difatSectorNumbers_[d + 1] : kEndOfChain);
        }
    }

    void RenderDirectory(Bytes& out) const
    {
        const std::size_t first = SectorOffset(firstDirectorySector_);  // the directory sectors are consecutive
        const std::size_t slots = directorySectors_ * (sectorSize_ / kDirectoryEntrySize);
        for (std::size_t number = 0; number < slots; ++number) {
            const std::size_t offset = first + number * kDirectoryEntrySize;
            if (number >= entries_.size()) {
                // An unused slot: no name, no type, and no links.
                PutU32(out, offset + 68, kNoStream);
                PutU32(out, offset + 72, kNoStream);
                PutU32(out, offset + 76, kNoStream);
                continue;
            }
            const Entry& entry = entries_[number];
            const std::u16string_view name = entry.node != nullptr ? std::u16string_view(entry.node->name) : u"Root Entry";
            for (std::size_t i = 0; i < name.size(); ++i)
                PutU16(out, offset + 2 * i, name[i]);
            PutU16(out, offset + 64, static_cast<std::uint16_t>(2 * (name.size() + 1)));
            out[offset + 66] = entry.type;
            out[offset + 67] = entry.color;
            PutU32(out, offset + 68, entry.left);
            PutU32(out, offset + 72, entry.right);
            PutU32(out, offset + 76, entry.child);
            PutU32(out, offset + 116, entry.start);
            PutU64(out, offset + 120, entry.size);
        }
    }

    void RenderStreams(Bytes& out) const
    {
        std::vector<std::uint32_t> miniFat(miniFatSectors_ * (sectorSize_ / 4), kFreeSector);
        const std::size_t miniStreamOffset = SectorOffset(entries_[0].start);
        for (const Entry& entry : entries_) {
            if (entry.type != kTypeStream || entry.size == 0)
                continue;
            const Bytes& data = entry.node->data;
            if (entry.size >= kMiniStreamCutoff) {
                std::copy(data.begin(), data.end(), out.begin() + static_cast<std::ptrdiff_t>(SectorOffset(entry.start)));
                continue;
            }
            const std::uint64_t count = CeilDiv(entry.size, kMiniSectorSize);
            for (std::uint64_t i = 0; i < count; ++i)
                miniFat[entry.start + i] = i + 1 < count ? entry.start + static_cast<std::uint32_t>(i) + 1 : kEndOfChain;
            std::copy(data.begin(), data.end(),
                      out.begin() + static_cast<std::ptrdiff_t>(miniStreamOffset + kMiniSectorSize * entry.start));
        }
        for (std::size_t i = 0; i < miniFat.size(); ++i)
            PutU32(out, SectorOffset(firstMiniFatSector_ + i / (sectorSize_ / 4)) + 4 * (i % (sectorSize_ / 4)),
                   miniFat[i]);
    }

    const int majorVersion_;
    const std::size_t sectorSize_;
    std::string& error_;
    std::vector<Entry> entries_;
    std::vector<std::uint32_t> fat_;
    std::vector<std::uint32_t> fatSectorNumbers_;
    std::vector<std::uint32_t> difatSectorNumbers_;
    std::uint32_t next_ = 0;
    std::uint64_t miniSectors_ = 0;
    std::uint64_t directorySectors_ = 0;
    std::uint64_t miniFatSectors_ = 0;
    std::uint64_t fatSectors_ = 0;
    std::uint64_t difatSectors_ = 0;
    std::uint64_t sectorCount_ = 0;
    std::uint32_t firstDirectorySector_ = kEndOfChain;
    std::uint32_t firstMiniFatSector_ = kEndOfChain;
};

} // namespace

CompoundFileNode StreamNode(std::u16string name, std::vector<std::uint8_t> data)
{
    return CompoundFileNode{std::move(name), false, std::move(data), {}};
}

CompoundFileNode StorageNode(std::u16string name, std::vector<CompoundFileNode> children)
{
    return CompoundFileNode{std::move(name), true, {}, std::move(children)};
}

HRESULT WriteCompoundFile(std::span<const CompoundFileNode> rootChildren, std::vector<std::uint8_t>& bytes,
                          std::string& error, int majorVersion)
{
    bytes.clear();
    error.clear();
    if (majorVersion != 3 && majorVersion != 4) {
        error = "compound-file version " + std::to_string(majorVersion) + " does not exist; 3 and 4 do";
        return E_INVALIDARG;
    }
    try {
        HRESULT hr = Writer(majorVersion, error).Write(rootChildren, bytes);
        if (FAILED(hr))
            bytes.clear();
        return hr;
    } catch (const std::bad_alloc&) {
        bytes.clear();
        error = "there is not enough memory for the file image";
        return E_OUTOFMEMORY;
    }
}

} // namespace platform::cfb
