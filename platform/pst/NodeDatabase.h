// The lowest layer of an Outlook data file (.pst, .ost): the header, the two B-trees that find
// nodes and blocks, blocks with their encodings, the trees of blocks that hold a node's data and
// the trees of a node's subnodes. Nothing is read before it is asked for, and every offset, size
// and count in the file is checked before it is used. Reading is safe from several threads at once.
#pragma once

#include "platform/base/HResult.h"
#include "platform/pst/BlockEncoding.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

namespace platform::pst {

using Bytes = std::vector<std::uint8_t>;

enum class FileFormat { Ansi, Unicode };

// A node of the node B-tree, or a subnode: its data and its own subnodes (0 when none).
struct NodeEntry {
    std::uint32_t nid = 0;
    std::uint64_t dataBlock = 0;
    std::uint64_t subnodeBlock = 0;
    std::uint32_t parent = 0;  // top-level nodes only
};

using Subnodes = std::map<std::uint32_t, NodeEntry>;

class NodeDatabase {
public:
    NodeDatabase() = default;
    NodeDatabase(const NodeDatabase&) = delete;
    NodeDatabase& operator=(const NodeDatabase&) = delete;
    ~NodeDatabase();

    // Opens the file and reads its header. On failure `error` names the file and the fault.
    HRESULT Open(const std::string& path, std::string& error);

    const std::string& Path() const { return path_; }
    FileFormat Format() const { return format_; }
    BlockEncoding Encoding() const { return encoding_; }
    // The largest data a block can hold: how table rows are laid out over blocks.
    std::size_t MaxBlockData() const { return format_ == FileFormat::Unicode ? 8176 : 8180; }

    // The following throw PstError.
    NodeEntry FindNode(std::uint32_t nid) const;
    bool HasNode(std::uint32_t nid) const;
    // The data of a node as its blocks, in order (one block, or the leaves of its block tree).
    std::vector<Bytes> ReadData(std::uint64_t dataBlock) const;
    // The identifiers of those blocks, without reading them; and one of them.
    std::vector<std::uint64_t> DataBlockIds(std::uint64_t dataBlock) const;
    Bytes ReadDataBlock(std::uint64_t bid) const;
    // All of it in one piece; at most `limit` bytes.
    Bytes ReadAll(std::uint64_t dataBlock, std::size_t limit) const;
    // The subnodes below `subnodeBlock` (none for 0).
    Subnodes ReadSubnodes(std::uint64_t subnodeBlock) const;

    // Where the file's blocks are: for tools that write test files (the block, its offset, its size).
    struct BlockPlace {
        std::uint64_t bid;
        std::uint64_t offset;
        std::uint16_t size;
    };
    std::vector<BlockPlace> AllBlocks() const;
    // Every node of the node B-tree, in the order of their ids.
    std::vector<NodeEntry> AllNodes() const;

private:
    struct Page {
        Bytes bytes;
        std::uint8_t level = 0;
        std::size_t count = 0;
        std::size_t entrySize = 0;
    };

    void ReadAt(std::uint64_t offset, std::size_t size, std::uint8_t* target) const;
    // A B-tree page, from the file or from the pages kept.
    std::shared_ptr<const Page> ReadPage(std::uint64_t offset, std::uint8_t expectedType) const;
    Page ReadPageFromFile(std::uint64_t offset, std::uint8_t expectedType) const;
    // The leaf entry of the B-tree at `root` whose key is `key`; false when there is none.
    bool SearchTree(std::uint64_t rootOffset, std::uint8_t type, std::uint64_t key, Bytes& entry) const;
    // Every leaf entry of the B-tree below the page at `offset`: the page and the entry's place in it.
    void VisitLeaves(std::uint64_t offset, std::uint8_t type, int depth,
                     const std::function<void(const Bytes& page, std::size_t at)>& visit) const;
    Bytes ReadBlock(std::uint64_t bid) const;
    void AppendDataBlockIds(std::uint64_t bid, int level, std::vector<std::uint64_t>& ids) const;
    void AppendSubnodes(std::uint64_t bid, int level, Subnodes& subnodes, std::size_t& visited) const;
    void CheckFits(std::size_t count, std::size_t smallestSize, std::uint64_t bid) const;
    std::uint64_t ReadId(const Bytes& bytes, std::size_t offset) const;
    std::size_t IdSize() const { return format_ == FileFormat::Unicode ? 8 : 4; }

    int fd_ = -1;
    std::string path_;
    std::uint64_t size_ = 0;
    FileFormat format_ = FileFormat::Unicode;
    BlockEncoding encoding_ = BlockEncoding::None;
    std::uint64_t nodeRoot_ = 0;   // the offsets of the B-trees' root pages
    std::uint64_t blockRoot_ = 0;

    // B-tree pages read before, by offset and type: every look-up walks from the root, so the
    // inner pages (few) are all kept, and the leaves up to a bound, then dropped together.
    struct PageKey {
        std::uint64_t offset;
        std::uint8_t type;
        bool operator==(const PageKey&) const = default;
    };
    struct PageKeyHash {
        std::size_t operator()(const PageKey& key) const { return std::hash<std::uint64_t>()(key.offset ^ key.type); }
    };
    using PageCache = std::unordered_map<PageKey, std::shared_ptr<const Page>, PageKeyHash>;
    mutable std::mutex pagesMutex_;
    mutable PageCache innerPages_;
    mutable PageCache leafPages_;
};

} // namespace platform::pst
