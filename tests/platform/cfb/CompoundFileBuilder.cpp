// Test compound files from the product's writer, with the layout read back from the image.
#include "tests/platform/cfb/CompoundFileBuilder.h"

#include "platform/cfb/CompoundFileWriter.h"

#include <gtest/gtest.h>

namespace cfbtest {
namespace {

using platform::cfb::CompoundFileNode;

void PutU32(Bytes& bytes, std::size_t offset, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        bytes[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

std::u16string Widen(const std::string& name) { return std::u16string(name.begin(), name.end()); }

std::vector<CompoundFileNode> ToWriterNodes(const std::vector<Node>& nodes)
{
    std::vector<CompoundFileNode> converted;
    for (const Node& node : nodes) {
        converted.push_back(node.storage ? platform::cfb::StorageNode(Widen(node.name), ToWriterNodes(node.children))
                                         : platform::cfb::StreamNode(Widen(node.name), node.data));
    }
    return converted;
}

// The writer's numbering: a storage's children take consecutive numbers, then the storages among
// them are numbered in turn, depth first.
void NumberEntries(const std::vector<Node>& children, const std::string& prefix, std::uint32_t& next,
                   std::map<std::string, std::uint32_t>& numbers)
{
    for (const Node& node : children)
        numbers[prefix + node.name] = next++;
    for (const Node& node : children) {
        if (node.storage)
            NumberEntries(node.children, prefix + node.name + "/", next, numbers);
    }
}

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

std::uint32_t BuiltFile::U32(std::size_t offset) const { return cfbtest::U32(bytes, offset); }

BuiltFile BuildCompoundFile(const std::vector<Node>& rootChildren, const BuildOptions& options)
{
    BuiltFile built;
    built.sectorSize = options.version == 4 ? 4096 : 512;
    const std::size_t perSector = built.sectorSize / 4;
    std::vector<Node> tree = rootChildren;
    if (options.minimumFatSectors > 1)
        tree.push_back(Stream("padding", Bytes((options.minimumFatSectors - 1) * perSector * built.sectorSize)));

    std::string error;
    const HRESULT hr = platform::cfb::WriteCompoundFile(ToWriterNodes(tree), built.bytes, error, options.version);
    EXPECT_EQ(hr, S_OK) << error;
    if (FAILED(hr))
        return built;

    built.firstDirectorySector = built.U32(48);
    built.firstMiniFatSector = built.U32(60);
    built.firstDifatSector = built.U32(68);
    const std::uint32_t fatCount = built.U32(44);
    for (std::uint32_t i = 0; i < fatCount && i < 109; ++i)
        built.fatSectors.push_back(built.U32(76 + 4 * i));
    for (std::uint32_t difat = built.firstDifatSector; built.fatSectors.size() < fatCount;
         difat = built.U32(built.SectorOffset(difat) + 4 * (perSector - 1))) {
        for (std::size_t i = 0; i + 1 < perSector && built.fatSectors.size() < fatCount; ++i)
            built.fatSectors.push_back(built.U32(built.SectorOffset(difat) + 4 * i));
    }
    for (std::uint32_t sector = built.firstDirectorySector; sector != 0xFFFFFFFEu;
         sector = built.U32(built.FatEntryOffset(sector)))
        ++built.directorySectorCount;

    built.entryNumbers[""] = 0;
    std::uint32_t next = 1;
    NumberEntries(tree, "", next, built.entryNumbers);
    return built;
}

} // namespace cfbtest
