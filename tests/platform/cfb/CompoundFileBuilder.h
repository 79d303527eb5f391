// Builds compound files in memory for tests with the product's writer, and reports the layout facts
// a test needs to damage them.
#pragma once

#include "tests/platform/cfb/TestBytes.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace cfbtest {

struct Node {
    std::string name;  // ASCII
    bool storage = false;
    Bytes data;
    std::vector<Node> children;
};

Node Stream(std::string name, Bytes data);
Node Storage(std::string name, std::vector<Node> children);

struct BuildOptions {
    int version = 3;
    // More than one adds a zero-filled stream "padding" to the root, large enough for the FAT to
    // need at least this many sectors.
    std::size_t minimumFatSectors = 1;
};

struct BuiltFile {
    Bytes bytes;
    std::size_t sectorSize = 0;
    std::uint32_t firstDirectorySector = 0;
    std::uint32_t directorySectorCount = 0;
    std::uint32_t firstDifatSector = 0xFFFFFFFE;
    std::uint32_t firstMiniFatSector = 0xFFFFFFFE;
    std::vector<std::uint32_t> fatSectors;
    std::map<std::string, std::uint32_t> entryNumbers;  // "a/b/c" -> directory entry; "" is the root

    std::size_t SectorOffset(std::uint32_t sector) const { return (std::size_t{sector} + 1) * sectorSize; }
    std::size_t EntryOffset(std::uint32_t entry) const;
    std::size_t FatEntryOffset(std::uint32_t sector) const;
    // The directory-entry fields a test changes.
    std::uint32_t StartSector(const std::string& path) const;
    void SetU32(std::size_t offset, std::uint32_t value);
    void SetU64(std::size_t offset, std::uint64_t value);
    std::uint32_t U32(std::size_t offset) const;
};

// Lays the tree out with WriteCompoundFile (CompoundFileWriter.h), whose layout the offsets
// above rely on; a tree the writer refuses fails the calling test.
BuiltFile BuildCompoundFile(const std::vector<Node>& rootChildren, const BuildOptions& options = {});

// Directory entry field offsets.
inline constexpr std::size_t kLeftField = 68;
inline constexpr std::size_t kRightField = 72;
inline constexpr std::size_t kChildField = 76;
inline constexpr std::size_t kStartField = 116;
inline constexpr std::size_t kSizeField = 120;

} // namespace cfbtest
