// A small compound-file writer for tests: balanced directory trees, mini and regular streams, DIFAT.
#include "tests/cfb/CompoundFileBuilder.h"

#include <algorithm>
#include <cstring>

namespace cfbtest {
namespace {

constexpr std::uint32_t kEndOfChain = 0xFFFFFFFEu;
constexpr std::uint32_t kFree = 0xFFFFFFFFu;
constexpr std::uint32_t kFatMark = 0xFFFFFFFDu;
constexpr std::uint32_t kDifatMark = 0xFFFFFFFCu;
constexpr std::uint32_t kNone = 0xFFFFFFFFu;
constexpr std::size_t kCutoff = 4096;

struct FlatEntry {
    std::string name;
    std::uint8_t type = 0;
    const Bytes* data = nullptr;
    std::uint32_t left = kNone;
    std::uint32_t right = kNone;
    std::uint32_t child = kNone;
    std::uint32_t start = kEndOfChain;
    std::uint64_t size = 0;
};

std::string Upper(std::string text)
{
    for (char& c : text) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    }
    return text;
}

// The compound-file order of siblings: shorter names first, then by upper-case name.
bool Before(const std::string& a, const std::string& b)
{
    if (a.size() != b.size())
        return a.size() < b.size();
    return Upper(a) < Upper(b);
}

class Flattener {
public:
    std::vector<FlatEntry> entries;
    std::map<std::string, std::uint32_t> numbers;

    void Add(std::uint32_t parent, const std::vector<Node>& children, const std::string& prefix)
    {
        std::vector<std::uint32_t> indexes;
        for (const Node& node : children) {
            FlatEntry entry;
            entry.name = node.name;
            entry.type = node.storage ? 1 : 2;
            entry.data = node.storage ? nullptr : &node.data;
            entry.size = node.storage ? 0 : node.data.size();
            indexes.push_back(static_cast<std::uint32_t>(entries.size()));
            numbers[prefix + node.name] = indexes.back();
            entries.push_back(entry);
        }
        std::vector<std::uint32_t> sorted = indexes;
        std::sort(sorted.begin(), sorted.end(),
                  [this](std::uint32_t a, std::uint32_t b) { return Before(entries[a].name, entries[b].name); });
        entries[parent].child = Balance(sorted, 0, sorted.size());
        for (std::size_t i = 0; i < children.size(); ++i) {
            if (children[i].storage)
                Add(indexes[i], children[i].children, prefix + children[i].name + "/");
        }
    }

private:
    std::uint32_t Balance(const std::vector<std::uint32_t>& sorted, std::size_t begin, std::size_t end)
    {
        if (begin >= end)
            return kNone;
        std::size_t middle = begin + (end - begin) / 2;
        FlatEntry& entry = entries[sorted[middle]];
        entry.left = Balance(sorted, begin, middle);
        entry.right = Balance(sorted, middle + 1, end);
        return sorted[middle];
    }
};

void PutU16(Bytes& bytes, std::size_t offset, std::uint16_t value)
{
    bytes[offset] = static_cast<std::uint8_t>(value);
    bytes[offset + 1] = static_cast<std::uint8_t>(value >> 8);
}

void PutU32(Bytes& bytes, std::size_t offset, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        bytes[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

std::size_t Ceil(std::size_t value, std::size_t unit) { return (value + unit - 1) / unit; }

} // namespace

Node Stream(std::string name, Bytes data) { return Node{std::move(name), false, std::move(data), {}}; }

Node Storage(std::string name, std::vector<Node> children)
{
    return Node{std::move(name), true, {}, std::move(children)};
}

std::size_t BuiltFile::EntryOffset(std::uint32_t entry) const
{
    const std::size_t perSector = sectorSize / 128;
    // The directory sectors are consecutive.
    return SectorOffset(firstDirectorySector + static_cast<std::uint32_t>(entry / perSector)) +
           (entry % perSector) * 128;
}

std::size_t BuiltFile::FatEntryOffset(std::uint32_t sector) const
{
    const std::size_t perSector = sectorSize / 4;
    return SectorOffset(fatSectors[sector / perSector]) + (sector % perSector) * 4;
}

std::uint32_t BuiltFile::StartSector(const std::string& path) const
{
    return U32(EntryOffset(entryNumbers.at(path)) + kStartField);
}

void BuiltFile::SetU32(std::size_t offset, std::uint32_t value) { PutU32(bytes, offset, value); }

void BuiltFile::SetU64(std::size_t offset, std::uint64_t value)
{
    PutU32(bytes, offset, static_cast<std::uint32_t>(value));
    PutU32(bytes, offset + 4, static_cast<std::uint32_t>(value >> 32));
}

std::uint32_t BuiltFile::U32(std::size_t offset) const
{
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i)
        value = value << 8 | bytes[offset + i];
    return value;
}

BuiltFile BuildCompoundFile(const std::vector<Node>& rootChildren, const BuildOptions& options)
{
    BuiltFile built;
    const std::size_t sectorSize = options.version == 4 ? 4096 : 512;
    const std::size_t perSector = sectorSize / 4;
    built.sectorSize = sectorSize;

    Flattener flat;
    FlatEntry root;
    root.name = "Root Entry";
    root.type = 5;
    flat.entries.push_back(root);
    flat.numbers[""] = 0;
    flat.Add(0, rootChildren, "");
    std::vector<FlatEntry>& entries = flat.entries;

    // Mini sectors for small streams, regular sectors for the others.
    std::size_t miniSectors = 0;
    std::size_t largeSectors = 0;
    for (FlatEntry& entry : entries) {
        if (entry.type != 2 || entry.size == 0)
            continue;
        if (entry.size < kCutoff) {
            entry.start = static_cast<std::uint32_t>(miniSectors);
            miniSectors += Ceil(entry.size, 64);
        } else {
            largeSectors += Ceil(entry.size, sectorSize);
        }
    }
    const std::size_t directorySectors = Ceil(entries.size(), sectorSize / 128);
    const std::size_t miniFatSectors = Ceil(miniSectors * 4, sectorSize);
    const std::size_t miniStreamSectors = Ceil(miniSectors * 64, sectorSize);
    const std::size_t dataSectors = directorySectors + miniFatSectors + miniStreamSectors + largeSectors;
    std::size_t fatSectors = std::max<std::size_t>(options.minimumFatSectors, 1);
    std::size_t difatSectors = 0;
    for (;; ++fatSectors) {
        difatSectors = fatSectors > 109 ? Ceil(fatSectors - 109, perSector - 1) : 0;
        if (fatSectors * perSector >= dataSectors + fatSectors + difatSectors)
            break;
    }

    std::vector<std::uint32_t> fat(fatSectors * perSector, kFree);
    std::uint32_t next = 0;
    auto chain = [&](std::size_t count) {
        std::uint32_t first = next;
        for (std::size_t i = 0; i < count; ++i, ++next)
            fat[next] = i + 1 < count ? next + 1 : kEndOfChain;
        return count == 0 ? kEndOfChain : first;
    };
    for (std::size_t i = 0; i < fatSectors; ++i) {
        built.fatSectors.push_back(next);
        fat[next++] = kFatMark;
    }
    std::vector<std::uint32_t> difat;
    for (std::size_t i = 0; i < difatSectors; ++i) {
        difat.push_back(next);
        fat[next++] = kDifatMark;
    }
    built.firstDirectorySector = chain(directorySectors);
    built.directorySectorCount = static_cast<std::uint32_t>(directorySectors);
    built.firstMiniFatSector = chain(miniFatSectors);
    const std::uint32_t miniStreamStart = chain(miniStreamSectors);
    for (FlatEntry& entry : entries) {
        if (entry.type == 2 && entry.size >= kCutoff)
            entry.start = chain(Ceil(entry.size, sectorSize));
    }
    entries[0].start = miniStreamStart;
    entries[0].size = miniSectors * 64;

    Bytes& out = built.bytes;
    out.assign(sectorSize * (1 + next), 0);
    const std::uint8_t signature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
    std::memcpy(out.data(), signature, 8);
    PutU16(out, 24, 0x003E);
    PutU16(out, 26, static_cast<std::uint16_t>(options.version));
    PutU16(out, 28, 0xFFFE);
    PutU16(out, 30, options.version == 4 ? 12 : 9);
    PutU16(out, 32, 6);
    PutU32(out, 40, options.version == 4 ? static_cast<std::uint32_t>(directorySectors) : 0);
    PutU32(out, 44, static_cast<std::uint32_t>(fatSectors));
    PutU32(out, 48, built.firstDirectorySector);
    PutU32(out, 56, kCutoff);
    PutU32(out, 60, built.firstMiniFatSector);
    PutU32(out, 64, static_cast<std::uint32_t>(miniFatSectors));
    built.firstDifatSector = difat.empty() ? kEndOfChain : difat.front();
    PutU32(out, 68, built.firstDifatSector);
    PutU32(out, 72, static_cast<std::uint32_t>(difatSectors));
    for (std::size_t i = 0; i < 109; ++i)
        PutU32(out, 76 + 4 * i, i < fatSectors ? built.fatSectors[i] : kFree);
    for (std::size_t d = 0; d < difat.size(); ++d) {
        std::size_t offset = built.SectorOffset(difat[d]);
        for (std::size_t i = 0; i < perSector - 1; ++i) {
            std::size_t index = 109 + d * (perSector - 1) + i;
            PutU32(out, offset + 4 * i, index < fatSectors ? built.fatSectors[index] : kFree);
        }
        PutU32(out, offset + 4 * (perSector - 1), d + 1 < difat.size() ? difat[d + 1] : kEndOfChain);
    }
    for (std::size_t i = 0; i < fat.size(); ++i)
        PutU32(out, built.SectorOffset(built.fatSectors[i / perSector]) + 4 * (i % perSector), fat[i]);

    built.entryNumbers = flat.numbers;
    for (std::uint32_t number = 0; number < entries.size(); ++number) {
        const FlatEntry& entry = entries[number];
        std::size_t offset = built.EntryOffset(number);
        for (std::size_t i = 0; i < entry.name.size() && i < 31; ++i)
            PutU16(out, offset + 2 * i, static_cast<std::uint8_t>(entry.name[i]));
        PutU16(out, offset + 64, static_cast<std::uint16_t>(2 * (std::min<std::size_t>(entry.name.size(), 31) + 1)));
        out[offset + 66] = entry.type;
        out[offset + 67] = 1;  // black
        PutU32(out, offset + kLeftField, entry.left);
        PutU32(out, offset + kRightField, entry.right);
        PutU32(out, offset + kChildField, entry.child);
        PutU32(out, offset + kStartField, entry.start);
        built.SetU64(offset + kSizeField, entry.size);
    }
    // Unused directory slots are marked free for every sibling link.
    for (std::size_t number = entries.size(); number < directorySectors * (sectorSize / 128); ++number) {
        std::size_t offset = built.EntryOffset(static_cast<std::uint32_t>(number));
        PutU32(out, offset + kLeftField, kNone);
        PutU32(out, offset + kRightField, kNone);
        PutU32(out, offset + kChildField, kNone);
    }

    std::vector<std::uint32_t> miniFat(miniSectors, kFree);
    for (const FlatEntry& entry : entries) {
        if (entry.type != 2 || entry.size == 0)
            continue;
        if (entry.size < kCutoff) {
            std::size_t count = Ceil(entry.size, 64);
            for (std::size_t i = 0; i < count; ++i)
                miniFat[entry.start + i] = i + 1 < count ? entry.start + static_cast<std::uint32_t>(i) + 1 : kEndOfChain;
            std::size_t base = built.SectorOffset(miniStreamStart);
            std::copy(entry.data->begin(), entry.data->end(), out.begin() + static_cast<std::ptrdiff_t>(base + 64 * entry.start));
        } else {
            std::copy(entry.data->begin(), entry.data->end(),
                      out.begin() + static_cast<std::ptrdiff_t>(built.SectorOffset(entry.start)));
        }
    }
    for (std::size_t i = 0; i < miniFatSectors * perSector; ++i)
        PutU32(out, built.SectorOffset(built.firstMiniFatSector) + 4 * i, i < miniFat.size() ? miniFat[i] : kFree);
    return built;
}

} // namespace cfbtest
