// Compound-file reading: header, DIFAT, FAT, mini FAT, directory tree and stream contents.
#include "platform/cfb/CompoundFile.h"

#include "platform/base/LittleEndian.h"
#include "platform/cfb/CompoundFileLayout.h"
#include "platform/files/PositionalFile.h"

#include <mapicode.h>

#include <algorithm>
#include <cstring>
#include <utility>

namespace platform::cfb {
namespace {

void AppendUtf8(std::string& out, std::uint32_t codePoint)
{
    if (codePoint < 0x80) {
        out += static_cast<char>(codePoint);
    } else if (codePoint < 0x800) {
        out += static_cast<char>(0xC0 | (codePoint >> 6));
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    } else if (codePoint < 0x10000) {
        out += static_cast<char>(0xE0 | (codePoint >> 12));
        out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (codePoint >> 18));
        out += static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    }
}

// Entry names are UTF-16LE; an unpaired surrogate becomes U+FFFD.
std::string NameToUtf8(std::span<const std::uint8_t> units)
{
    std::string out;
    for (std::size_t i = 0; i + 1 < units.size(); i += 2) {
        std::uint32_t unit = ReadU16(units, i);
        if (unit >= 0xD800 && unit < 0xDC00 && i + 3 < units.size()) {
            std::uint32_t low = ReadU16(units, i + 2);
            if (low >= 0xDC00 && low < 0xE000) {
                AppendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
                i += 2;
                continue;
            }
        }
        AppendUtf8(out, unit >= 0xD800 && unit < 0xE000 ? 0xFFFD : unit);
    }
    return out;
}

std::string FoldName(std::string_view name)
{
    std::string folded(name);
    for (char& c : folded) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    }
    return folded;
}

std::string Hex(std::uint32_t value)
{
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text = "0x";
    for (int shift = 28; shift >= 0; shift -= 4)
        text += kDigits[(value >> shift) & 0xF];
    return text;
}

// Bytes in memory that their owner keeps alive.
class MemoryBytes final : public FileBytes {
public:
    explicit MemoryBytes(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

    std::uint64_t Size() const override { return bytes_.size(); }

    HRESULT ReadAt(std::uint64_t offset, std::span<std::uint8_t> out, std::size_t& read) const override
    {
        read = 0;
        if (offset >= bytes_.size())
            return S_OK;
        read = static_cast<std::size_t>(std::min<std::uint64_t>(out.size(), bytes_.size() - offset));
        std::copy_n(bytes_.begin() + static_cast<std::ptrdiff_t>(offset), read, out.begin());
        return S_OK;
    }

private:
    std::span<const std::uint8_t> bytes_;
};

class OpenedFileBytes final : public FileBytes {
public:
    HRESULT Open(const std::string& path) { return file_.Open(path); }

    std::uint64_t Size() const override { return file_.Size(); }

    HRESULT ReadAt(std::uint64_t offset, std::span<std::uint8_t> out, std::size_t& read) const override
    {
        return file_.ReadAt(offset, out, read);
    }

private:
    PositionalFile file_;
};

// Sectors next to each other in the file, read at once.
struct SectorRun {
    std::uint64_t offset = 0;
    std::size_t length = 0;
};

// A stream of regular sectors read from the file when wanted: the byte offset of each sector,
// neighbouring sectors read in one go.
class StreamedSectors final : public StreamedValue {
public:
    StreamedSectors(std::shared_ptr<const FileBytes> bytes, std::vector<std::uint64_t> sectorOffsets,
                    std::size_t sectorSize, std::uint64_t size)
        : bytes_(std::move(bytes)), offsets_(std::move(sectorOffsets)), sectorSize_(sectorSize), size_(size)
    {
    }

    std::uint64_t Size() const override { return size_; }

    HRESULT ReadAt(std::uint64_t offset, std::span<std::uint8_t> out, std::size_t& read) const override
    {
        read = 0;
        if (offset >= size_)
            return S_OK;
        const std::size_t wanted = static_cast<std::size_t>(std::min<std::uint64_t>(out.size(), size_ - offset));
        while (read < wanted) {
            const std::uint64_t position = offset + read;
            std::size_t index = static_cast<std::size_t>(position / sectorSize_);
            const std::size_t within = static_cast<std::size_t>(position % sectorSize_);
            SectorRun run{offsets_[index] + within, std::min(wanted - read, sectorSize_ - within)};
            while (read + run.length < wanted && ++index < offsets_.size() &&
                   offsets_[index] == run.offset + run.length)
                run.length += std::min(wanted - read - run.length, sectorSize_);
            std::size_t got = 0;
            HRESULT hr = bytes_->ReadAt(run.offset, out.subspan(read, run.length), got);
            if (FAILED(hr))
                return hr;
            if (got != run.length)
                return MAPI_E_CORRUPT_DATA;  // the file has shrunk since it was opened
            read += got;
        }
        return S_OK;
    }

private:
    std::shared_ptr<const FileBytes> bytes_;
    std::vector<std::uint64_t> offsets_;
    std::size_t sectorSize_;
    std::uint64_t size_;
};

} // namespace

HRESULT OpenFileBytes(const std::string& path, std::shared_ptr<const FileBytes>& bytes)
{
    bytes.reset();
    auto file = std::make_shared<OpenedFileBytes>();
    HRESULT hr = file->Open(path);
    if (SUCCEEDED(hr))
        bytes = std::move(file);
    return hr;
}

HRESULT CompoundFile::Fail(std::string message) const
{
    error_ = std::move(message);
    return MAPI_E_CORRUPT_DATA;
}

HRESULT CompoundFile::FailRead(HRESULT hr) const
{
    error_ = "the file cannot be read (" + std::string(std::strerror(hr & 0xFFFF)) + ")";
    return hr;
}

HRESULT CompoundFile::Open(std::span<const std::uint8_t> bytes)
{
    return Open(std::make_shared<MemoryBytes>(bytes));
}

HRESULT CompoundFile::Open(std::shared_ptr<const FileBytes> bytes)
{
    *this = CompoundFile();
    bytes_ = std::move(bytes);
    size_ = bytes_->Size();
    HRESULT hr = ReadHeader();
    if (SUCCEEDED(hr))
        hr = ReadFat();
    if (SUCCEEDED(hr))
        hr = ReadDirectory();
    if (SUCCEEDED(hr))
        hr = BuildTree();
    if (SUCCEEDED(hr))
        hr = ReadMiniStream();
    return hr;
}

HRESULT CompoundFile::ReadHeader()
{
    header_.resize(kHeaderSize);
    std::size_t read = 0;
    HRESULT hr = bytes_->ReadAt(0, header_, read);
    if (FAILED(hr))
        return FailRead(hr);
    if (read < kHeaderSize)
        return Fail("the file is too short for a compound-file header (" + std::to_string(read) + " bytes)");
    if (std::memcmp(header_.data(), kSignature, sizeof kSignature) != 0)
        return Fail("the file is not a compound file (no signature)");
    if (ReadU16(header_, 28) != 0xFFFE)
        return Fail("the compound-file header has a wrong byte-order mark");
    majorVersion_ = ReadU16(header_, 26);
    std::uint16_t sectorShift = ReadU16(header_, 30);
    if (!((majorVersion_ == 3 && sectorShift == 9) || (majorVersion_ == 4 && sectorShift == 12)))
        return Fail("unsupported compound-file version " + std::to_string(majorVersion_) + " with sector shift " +
                    std::to_string(sectorShift));
    if (ReadU16(header_, 32) != 6)
        return Fail("the compound-file header has a mini sector shift other than 6");
    sectorSize_ = std::size_t{1} << sectorShift;
    if (size_ < sectorSize_)
        return Fail("the file is shorter than its header sector");
    sectorCount_ = static_cast<std::size_t>((size_ - sectorSize_ + sectorSize_ - 1) / sectorSize_);
    fatSectorCount_ = ReadU32(header_, 44);
    firstDirectorySector_ = ReadU32(header_, 48);
    miniStreamCutoff_ = ReadU32(header_, 56);
    firstMiniFatSector_ = ReadU32(header_, 60);
    firstDifatSector_ = ReadU32(header_, 68);
    if (miniStreamCutoff_ != 4096)
        return Fail("the compound-file header has a mini stream cutoff of " + std::to_string(miniStreamCutoff_));
    if (fatSectorCount_ == 0 || fatSectorCount_ > sectorCount_)
        return Fail("the compound-file header claims " + std::to_string(fatSectorCount_) +
                    " FAT sectors for a file of " + std::to_string(sectorCount_) + " sectors");
    return S_OK;
}

HRESULT CompoundFile::ReadFat()
{
    // The FAT sector numbers: 109 in the header, the rest in the DIFAT chain.
    std::vector<std::uint32_t> fatSectors;
    fatSectors.reserve(fatSectorCount_);
    for (std::size_t i = 0; i < kHeaderDifatCount && fatSectors.size() < fatSectorCount_; ++i)
        fatSectors.push_back(ReadU32(header_, 76 + 4 * i));

    const std::size_t perDifatSector = sectorSize_ / 4 - 1;
    std::vector<bool> seen(sectorCount_, false);
    std::vector<std::uint8_t> sector;
    std::uint32_t difat = firstDifatSector_;
    while (fatSectors.size() < fatSectorCount_) {
        if (difat == kEndOfChain || difat == kFreeSector)
            return Fail("the DIFAT ends after " + std::to_string(fatSectors.size()) + " of " +
                        std::to_string(fatSectorCount_) + " FAT sectors");
        if (difat >= sectorCount_)
            return Fail("DIFAT sector " + Hex(difat) + " is outside the file");
        if (seen[difat])
            return Fail("the DIFAT chain loops at sector " + Hex(difat));
        seen[difat] = true;
        if (HRESULT hr = ReadSector(difat, sector, "DIFAT sector " + Hex(difat)); FAILED(hr))
            return hr;
        for (std::size_t i = 0; i < perDifatSector && fatSectors.size() < fatSectorCount_; ++i)
            fatSectors.push_back(ReadU32(sector, 4 * i));
        difat = ReadU32(sector, 4 * perDifatSector);
    }

    fat_.reserve(fatSectors.size() * (sectorSize_ / 4));
    std::vector<std::uint8_t> table;
    for (std::uint32_t sector : fatSectors) {
        if (sector >= sectorCount_)
            return Fail("FAT sector " + Hex(sector) + " is outside the file");
        if (HRESULT hr = ReadSector(sector, table, "FAT sector " + Hex(sector)); FAILED(hr))
            return hr;
        for (std::size_t i = 0; i < sectorSize_ / 4; ++i)
            fat_.push_back(ReadU32(table, 4 * i));
    }
    return S_OK;
}

HRESULT CompoundFile::FollowChain(const std::vector<std::uint32_t>& table, std::uint32_t start, std::size_t limit,
                                  std::size_t count, bool exactCount, std::vector<std::uint32_t>& chain,
                                  std::vector<std::uint32_t>& marks, std::string_view what) const
{
    chain.clear();
    if (exactCount && count > limit)
        return Fail(std::string(what) + " needs more sectors than the file holds");
    if (marks.size() < limit)
        marks.resize(limit, 0);
    if (++walk_ == 0) {
        std::fill(sectorMarks_.begin(), sectorMarks_.end(), 0);
        std::fill(miniSectorMarks_.begin(), miniSectorMarks_.end(), 0);
        walk_ = 1;
    }
    std::uint32_t sector = start;
    while (!exactCount || chain.size() < count) {
        if (sector == kEndOfChain && !exactCount)
            return S_OK;
        if (sector == kFreeSector && !exactCount)
            return Fail(std::string(what) + " runs into a free sector after " + std::to_string(chain.size()) +
                        " sectors");
        if (sector == kEndOfChain || sector == kFreeSector)
            return Fail(std::string(what) + " ends after " + std::to_string(chain.size()) + " of " +
                        std::to_string(count) + " sectors");
        if (sector > kMaxRegularSector || sector >= limit || sector >= table.size())
            return Fail(std::string(what) + " refers to sector " + Hex(sector) + ", outside the file");
        if (marks[sector] == walk_)
            return Fail(std::string(what) + " loops at sector " + Hex(sector));
        marks[sector] = walk_;
        chain.push_back(sector);
        sector = table[sector];
    }
    return S_OK;
}

HRESULT CompoundFile::ReadSector(std::uint32_t number, std::vector<std::uint8_t>& sector, std::string_view what) const
{
    sector.resize(sectorSize_);
    std::size_t read = 0;
    HRESULT hr = bytes_->ReadAt((std::uint64_t{number} + 1) * sectorSize_, sector, read);
    if (FAILED(hr))
        return FailRead(hr);
    if (read != sectorSize_)
        return Fail(std::string(what) + " is cut off by the end of the file");
    return S_OK;
}

HRESULT CompoundFile::CopyMiniSectors(const std::vector<std::uint32_t>& chain, std::uint64_t size,
                                      std::vector<std::uint8_t>& data, std::string_view what) const
{
    data.clear();
    data.reserve(static_cast<std::size_t>(size));
    for (std::uint32_t sector : chain) {
        std::size_t wanted = std::min<std::uint64_t>(kMiniSectorSize, size - data.size());
        std::size_t offset = std::size_t{sector} * kMiniSectorSize;
        if (offset > miniStream_.size() || miniStream_.size() - offset < wanted)
            return Fail(std::string(what) + " is cut off by the end of the file at sector " + Hex(sector));
        data.insert(data.end(), miniStream_.begin() + static_cast<std::ptrdiff_t>(offset),
                    miniStream_.begin() + static_cast<std::ptrdiff_t>(offset + wanted));
        if (data.size() == size)
            break;
    }
    return S_OK;
}

HRESULT CompoundFile::CopySectors(const std::vector<std::uint32_t>& chain, std::uint64_t size,
                                  std::vector<std::uint8_t>& data, std::string_view what) const
{
    data.clear();
    data.resize(static_cast<std::size_t>(size));
    std::size_t done = 0;
    for (std::size_t i = 0; i < chain.size() && done < size;) {
        // The sectors that follow each other in the file from here on, read at once.
        const std::uint64_t offset = (std::uint64_t{chain[i]} + 1) * sectorSize_;
        std::size_t length = std::min<std::uint64_t>(sectorSize_, size - done);
        std::uint32_t last = chain[i];
        for (++i; i < chain.size() && chain[i] == last + 1 && done + length < size; ++i) {
            last = chain[i];
            length += std::min<std::uint64_t>(sectorSize_, size - done - length);
        }
        std::size_t read = 0;
        HRESULT hr = bytes_->ReadAt(offset, std::span(data).subspan(done, length), read);
        if (FAILED(hr))
            return FailRead(hr);
        if (read != length) {
            const std::uint32_t cut = static_cast<std::uint32_t>(offset / sectorSize_ - 1 + read / sectorSize_);
            return Fail(std::string(what) + " is cut off by the end of the file at sector " + Hex(cut));
        }
        done += length;
    }
    return S_OK;
}

HRESULT CompoundFile::ReadRegular(std::uint32_t start, std::uint64_t size, std::vector<std::uint8_t>& data,
                                  std::string_view what) const
{
    if (size > std::uint64_t{sectorCount_} * sectorSize_)
        return Fail(std::string(what) + " claims " + std::to_string(size) + " bytes, more than the file holds");
    std::size_t count = static_cast<std::size_t>((size + sectorSize_ - 1) / sectorSize_);
    std::vector<std::uint32_t> chain;
    HRESULT hr = FollowChain(fat_, start, sectorCount_, count, true, chain, sectorMarks_, what);
    if (FAILED(hr))
        return hr;
    return CopySectors(chain, size, data, what);
}

HRESULT CompoundFile::ReadDirectory()
{
    std::vector<std::uint32_t> chain;
    HRESULT hr = FollowChain(fat_, firstDirectorySector_, sectorCount_, 0, false, chain, sectorMarks_,
                             "the directory chain");
    if (FAILED(hr))
        return hr;
    std::vector<std::uint8_t> directory;
    hr = CopySectors(chain, std::uint64_t{chain.size()} * sectorSize_, directory, "the directory");
    if (FAILED(hr))
        return hr;
    const std::size_t count = directory.size() / kDirectoryEntrySize;
    if (count == 0)
        return Fail("the directory is empty");
    entries_.resize(count);
    links_.resize(count);
    std::span<const std::uint8_t> all(directory);
    for (std::size_t i = 0; i < count; ++i) {
        std::span<const std::uint8_t> raw = all.subspan(i * kDirectoryEntrySize, kDirectoryEntrySize);
        DirectoryEntry& entry = entries_[i];
        std::uint8_t type = raw[66];
        if (type != 1 && type != 2 && type != 5) {
            entry.type = static_cast<EntryType>(0);
            continue;
        }
        std::uint16_t nameLength = ReadU16(raw, 64);
        if (nameLength > 64 || nameLength % 2 != 0)
            return Fail("directory entry " + std::to_string(i) + " has a name length of " +
                        std::to_string(nameLength));
        entry.name = NameToUtf8(raw.subspan(0, nameLength == 0 ? 0 : nameLength - 2));
        entry.foldedName = FoldName(entry.name);
        entry.type = static_cast<EntryType>(type);
        links_[i] = {ReadU32(raw, 68), ReadU32(raw, 72), ReadU32(raw, 76)};
        entry.startSector = ReadU32(raw, 116);
        entry.size = ReadU64(raw, 120);
        // Old writers left the upper half of the size unset in version 3 files.
        if (majorVersion_ == 3)
            entry.size &= 0xFFFFFFFFu;
    }
    if (entries_.front().type != EntryType::Root)
        return Fail("the first directory entry is not the root storage");
    return S_OK;
}

HRESULT CompoundFile::BuildTree()
{
    // Each storage's children form a binary tree through the sibling links; every entry may be
    // reached once only, so a cycle or a shared subtree shows as a second visit.
    const std::size_t count = entries_.size();
    std::vector<bool> reached(count, false);
    reached[0] = true;
    std::vector<std::uint32_t> storages{0};
    std::vector<std::uint32_t> pending;
    while (!storages.empty()) {
        std::uint32_t storage = storages.back();
        storages.pop_back();
        pending.assign(1, links_[storage].child);
        while (!pending.empty()) {
            std::uint32_t node = pending.back();
            pending.pop_back();
            if (node == kNoStream)
                continue;
            if (node >= count)
                return Fail("directory entry " + std::to_string(node) + " is referred to but does not exist");
            if (reached[node])
                return Fail("the directory tree reaches entry " + std::to_string(node) + " twice");
            DirectoryEntry& entry = entries_[node];
            if (entry.type != EntryType::Storage && entry.type != EntryType::Stream)
                return Fail("the directory tree refers to entry " + std::to_string(node) +
                            ", which is neither a storage nor a stream");
            reached[node] = true;
            entries_[storage].children.push_back(node);
            pending.push_back(links_[node].left);
            pending.push_back(links_[node].right);
            if (entry.type == EntryType::Storage)
                storages.push_back(node);
        }
        auto& children = entries_[storage].children;
        std::sort(children.begin(), children.end(), [this](std::uint32_t a, std::uint32_t b) {
            return entries_[a].foldedName < entries_[b].foldedName;
        });
    }
    return S_OK;
}

HRESULT CompoundFile::ReadMiniStream()
{
    const DirectoryEntry& root = Root();
    if (root.size == 0)
        return S_OK;
    HRESULT hr = ReadRegular(root.startSector, root.size, miniStream_, "the mini stream");
    if (FAILED(hr))
        return hr;
    std::vector<std::uint32_t> chain;
    hr = FollowChain(fat_, firstMiniFatSector_, sectorCount_, 0, false, chain, sectorMarks_, "the mini FAT chain");
    if (FAILED(hr))
        return hr;
    std::vector<std::uint8_t> table;
    hr = CopySectors(chain, std::uint64_t{chain.size()} * sectorSize_, table, "the mini FAT");
    if (FAILED(hr))
        return hr;
    miniFat_.resize(table.size() / 4);
    for (std::size_t i = 0; i < miniFat_.size(); ++i)
        miniFat_[i] = ReadU32(table, 4 * i);
    return S_OK;
}

const DirectoryEntry* CompoundFile::Find(const DirectoryEntry& storage, std::string_view name) const
{
    const std::string folded = FoldName(name);
    auto found = std::lower_bound(storage.children.begin(), storage.children.end(), folded,
                                  [this](std::uint32_t entry, const std::string& key) {
                                      return entries_[entry].foldedName < key;
                                  });
    if (found == storage.children.end() || entries_[*found].foldedName != folded)
        return nullptr;
    return &entries_[*found];
}

std::vector<const DirectoryEntry*> CompoundFile::StreamsBelow(const DirectoryEntry& storage) const
{
    // A damaged file can nest storages as deep as it has entries, so the walk keeps its own stack.
    std::vector<const DirectoryEntry*> streams;
    std::vector<std::pair<const DirectoryEntry*, std::size_t>> open{{&storage, 0}};
    while (!open.empty()) {
        auto& [current, next] = open.back();
        if (next == current->children.size()) {
            open.pop_back();
            continue;
        }
        const DirectoryEntry& entry = entries_[current->children[next++]];
        if (entry.type == EntryType::Stream)
            streams.push_back(&entry);
        else
            open.emplace_back(&entry, 0);
    }
    return streams;
}

HRESULT CompoundFile::ReadStream(const DirectoryEntry& stream, std::vector<std::uint8_t>& data) const
{
    data.clear();
    const std::string what = "stream \"" + stream.name + "\"";
    if (stream.type != EntryType::Stream)
        return Fail("\"" + stream.name + "\" is not a stream");
    if (stream.size == 0)
        return S_OK;
    if (stream.size >= miniStreamCutoff_)
        return ReadRegular(stream.startSector, stream.size, data, what);
    const std::size_t miniSectors = (miniStream_.size() + kMiniSectorSize - 1) / kMiniSectorSize;
    const std::size_t count = static_cast<std::size_t>((stream.size + kMiniSectorSize - 1) / kMiniSectorSize);
    std::vector<std::uint32_t> chain;
    HRESULT hr = FollowChain(miniFat_, stream.startSector, miniSectors, count, true, chain, miniSectorMarks_, what);
    if (FAILED(hr))
        return hr;
    return CopyMiniSectors(chain, stream.size, data, what);
}

HRESULT CompoundFile::OpenStreamed(const DirectoryEntry& stream, std::shared_ptr<const StreamedValue>& value) const
{
    value.reset();
    const std::string what = "stream \"" + stream.name + "\"";
    if (stream.type != EntryType::Stream || stream.size < miniStreamCutoff_)
        return Fail("\"" + stream.name + "\" is not a stream of regular sectors");
    if (stream.size > std::uint64_t{sectorCount_} * sectorSize_)
        return Fail(what + " claims " + std::to_string(stream.size) + " bytes, more than the file holds");
    const std::size_t count = static_cast<std::size_t>((stream.size + sectorSize_ - 1) / sectorSize_);
    std::vector<std::uint32_t> chain;
    HRESULT hr = FollowChain(fat_, stream.startSector, sectorCount_, count, true, chain, sectorMarks_, what);
    if (FAILED(hr))
        return hr;
    std::vector<std::uint64_t> offsets;
    offsets.reserve(chain.size());
    for (std::size_t i = 0; i < chain.size(); ++i) {
        const std::uint64_t offset = (std::uint64_t{chain[i]} + 1) * sectorSize_;
        const std::uint64_t length = std::min<std::uint64_t>(sectorSize_, stream.size - std::uint64_t{i} * sectorSize_);
        if (offset + length > size_)
            return Fail(what + " is cut off by the end of the file at sector " + Hex(chain[i]));
        offsets.push_back(offset);
    }
    value = std::make_shared<StreamedSectors>(bytes_, std::move(offsets), sectorSize_, stream.size);
    return S_OK;
}

} // namespace platform::cfb
