// Assembling a data file: new nodes, a new contents table row matrix, and both B-trees rewritten.
#include "bench/DataFileAssembly.h"

#include "platform/base/LittleEndian.h"
#include "platform/pst/HeapOnNode.h"
#include "platform/pst/PstError.h"
#include "platform/pst/PstStore.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <sstream>

namespace bench {
namespace {

using namespace platform;
using namespace platform::pst;

constexpr std::size_t kPage = 512;
constexpr std::size_t kMaxBlock = 8176;
constexpr std::uint32_t kRowsNode = 0x0FFFFFFF;  // the new row matrix's subnode: no data file has it

struct BlockEntry {
    std::uint64_t bid;
    std::uint64_t offset;
    std::uint16_t size;
};

class Assembly {
public:
    Assembly(std::string bytes, const NodeDatabase& database) : out_(std::move(bytes)), database_(database)
    {
        for (const auto& block : database.AllBlocks()) {
            blocks_.push_back({block.bid, block.offset, block.size});
            nextBid_ = std::max(nextBid_, block.bid);
        }
        nodes_ = database.AllNodes();
        nextBid_ = (nextBid_ | 3) + 1;
    }

    std::vector<NodeEntry>& Nodes() { return nodes_; }

    // Appends a block; its id.
    std::uint64_t AddBlock(Bytes data, bool internal)
    {
        const std::uint64_t bid = nextBid_ | (internal ? 2 : 0);
        nextBid_ += 4;
        if (!internal) {
            EncodeBlock(database_.Encoding(), bid, data);
        }
        out_.resize((out_.size() + 63) / 64 * 64, '\0');
        blocks_.push_back({bid, out_.size(), static_cast<std::uint16_t>(data.size())});
        out_.append(data.begin(), data.end());
        return bid;
    }

    // A tree of data blocks over `leaves` (at most two levels); the id of its top.
    std::uint64_t AddDataTree(const std::vector<std::uint64_t>& leaves, std::size_t total)
    {
        if (leaves.size() == 1) {
            return leaves[0];
        }
        const std::size_t perBlock = (kMaxBlock - 8) / 8;
        std::vector<std::uint64_t> level;
        for (std::size_t start = 0; start < leaves.size(); start += perBlock) {
            const std::size_t count = std::min(perBlock, leaves.size() - start);
            level.push_back(AddTreeBlock(1, std::vector<std::uint64_t>(leaves.begin() + static_cast<std::ptrdiff_t>(start),
                                                                       leaves.begin() + static_cast<std::ptrdiff_t>(start + count)),
                                         total));
        }
        return level.size() == 1 ? level[0] : AddTreeBlock(2, level, total);
    }

    std::uint64_t AddTreeBlock(std::uint8_t level, const std::vector<std::uint64_t>& children, std::size_t total)
    {
        Bytes block = {0x01, level};
        AppendU16(block, static_cast<std::uint16_t>(children.size()));
        AppendU32(block, static_cast<std::uint32_t>(total));
        for (std::uint64_t bid : children) {
            AppendU64(block, bid);
        }
        return AddBlock(std::move(block), true);
    }

    // Rewrites a block where it is (same size).
    void ReplaceBlock(std::uint64_t bid, Bytes data)
    {
        auto found = std::find_if(blocks_.begin(), blocks_.end(), [&](const BlockEntry& b) { return b.bid == (bid & ~1ull); });
        if (found == blocks_.end() || found->size != data.size()) {
            Corrupt("the block to replace is not there");
        }
        if ((bid & 2) == 0) {
            EncodeBlock(database_.Encoding(), found->bid, data);
        }
        out_.replace(found->offset, data.size(), std::string(data.begin(), data.end()));
    }

    // Both B-trees anew; the whole file.
    std::string Finish()
    {
        std::sort(nodes_.begin(), nodes_.end(), [](const NodeEntry& a, const NodeEntry& b) { return a.nid < b.nid; });
        std::sort(blocks_.begin(), blocks_.end(), [](const BlockEntry& a, const BlockEntry& b) { return a.bid < b.bid; });
        std::vector<std::pair<std::uint64_t, Bytes>> nodeEntries;
        for (const auto& node : nodes_) {
            Bytes entry;
            AppendU64(entry, node.nid);
            AppendU64(entry, node.dataBlock);
            AppendU64(entry, node.subnodeBlock);
            AppendU32(entry, node.parent);
            AppendU32(entry, 0);
            nodeEntries.emplace_back(node.nid, std::move(entry));
        }
        std::vector<std::pair<std::uint64_t, Bytes>> blockEntries;
        for (const auto& block : blocks_) {
            Bytes entry;
            AppendU64(entry, block.bid);
            AppendU64(entry, block.offset);
            AppendU16(entry, block.size);
            AppendU16(entry, 2);
            AppendU32(entry, 0);
            blockEntries.emplace_back(block.bid, std::move(entry));
        }
        auto [nodeBid, nodeOffset] = WriteTree(nodeEntries, 0x81);
        auto [blockBid, blockOffset] = WriteTree(blockEntries, 0x80);
        Bytes header(out_.begin(), out_.begin() + 564);
        PutU64(header, 184, out_.size());
        PutU64(header, 216, nodeBid);
        PutU64(header, 224, nodeOffset);
        PutU64(header, 232, blockBid);
        PutU64(header, 240, blockOffset);
        out_.replace(0, header.size(), std::string(header.begin(), header.end()));
        return out_;
    }

private:
    // Pages of `entries` (keys with their leaf entries) and the levels above them; the root's id
    // and offset.
    std::pair<std::uint64_t, std::uint64_t> WriteTree(std::vector<std::pair<std::uint64_t, Bytes>> entries, std::uint8_t type)
    {
        int level = 0;
        for (;;) {
            const std::size_t size = entries.front().second.size();
            const std::size_t perPage = 488 / size;
            std::vector<std::pair<std::uint64_t, Bytes>> above;
            for (std::size_t start = 0; start < entries.size(); start += perPage) {
                const std::size_t count = std::min(perPage, entries.size() - start);
                Bytes page(kPage);
                for (std::size_t i = 0; i < count; ++i) {
                    std::copy(entries[start + i].second.begin(), entries[start + i].second.end(), page.begin() + i * size);
                }
                page[488] = static_cast<std::uint8_t>(count);
                page[489] = static_cast<std::uint8_t>(perPage);
                page[490] = static_cast<std::uint8_t>(size);
                page[491] = static_cast<std::uint8_t>(level);
                page[496] = page[497] = type;
                const std::uint64_t bid = nextBid_;
                nextBid_ += 4;
                PutU64(page, 504, bid);
                out_.resize((out_.size() + kPage - 1) / kPage * kPage, '\0');
                const std::uint64_t offset = out_.size();
                out_.append(page.begin(), page.end());
                Bytes reference;
                AppendU64(reference, entries[start].first);
                AppendU64(reference, bid);
                AppendU64(reference, offset);
                above.emplace_back(entries[start].first, std::move(reference));
            }
            if (above.size() == 1) {
                return {ReadU64(above[0].second, 8), ReadU64(above[0].second, 16)};
            }
            entries = std::move(above);
            ++level;
        }
    }

    std::string out_;
    const NodeDatabase& database_;
    std::vector<BlockEntry> blocks_;
    std::vector<NodeEntry> nodes_;
    std::uint64_t nextBid_ = 0;
};

// The folder below the IPM subtree with the most messages.
std::uint32_t FullestFolder(const PstStore& store, std::uint32_t nid, std::size_t& most, int depth)
{
    PstFolder folder;
    std::string error;
    std::vector<std::uint32_t> ids;
    if (depth > 16 || FAILED(store.ReadFolder(nid, 1252, folder, error)) || FAILED(store.ReadMessageIds(nid, false, ids, error))) {
        return 0;
    }
    std::uint32_t best = ids.size() > most ? nid : 0;
    most = std::max(most, ids.size());
    for (std::uint32_t child : folder.subfolders) {
        if (std::uint32_t found = FullestFolder(store, child, most, depth + 1)) {
            best = found;
        }
    }
    return best;
}

void Assemble(const std::string& source, std::size_t copies, const std::string& target)
{
    PstStore store;
    std::string error;
    if (FAILED(store.Open(source, error))) {
        Corrupt(error);
    }
    const NodeDatabase& database = store.Database();
    if (database.Format() != FileFormat::Unicode) {
        Corrupt(source + ": only Unicode files can be assembled");
    }
    std::size_t most = 0;
    const std::uint32_t folder = FullestFolder(store, kRootFolderNode, most, 0);
    std::vector<std::uint32_t> ids;
    if (folder == 0 || FAILED(store.ReadMessageIds(folder, false, ids, error)) || ids.empty()) {
        Corrupt(source + ": no folder holds a message");
    }
    const NodeEntry message = database.FindNode(ids[0]);
    const NodeEntry tableNode = database.FindNode((folder & ~0x1Fu) | 0x0E);
    std::ifstream in(source, std::ios::binary);
    Assembly assembly(std::string(std::istreambuf_iterator<char>(in), {}), database);

    // The new message nodes, with ids after every other message's.
    std::uint32_t index = 0;
    for (const auto& node : assembly.Nodes()) {
        index = std::max(index, node.nid >> 5);
    }
    std::vector<std::uint32_t> added;
    for (std::size_t i = 0; i < copies; ++i) {
        added.push_back(((index + 1 + static_cast<std::uint32_t>(i)) << 5) | 0x04);
        assembly.Nodes().push_back({added.back(), message.dataBlock, message.subnodeBlock, folder});
    }

    // The contents table's rows: the old ones and a copy of the first for each new message.
    HeapOnNode heap(database, tableNode, kTableContextHeap);
    TableContext table(heap);
    auto info = heap.Item(heap.UserRoot());
    const std::size_t rowSize = ReadU16(info, 8);
    const std::uint32_t oldRows = ReadU32(info, 14);
    Bytes rows = (oldRows & 0x1F) == 0 ? Bytes(heap.Item(oldRows).begin(), heap.Item(oldRows).end())
                                       : database.ReadAll(heap.SubnodeTree().at(oldRows).dataBlock, 1u << 30);
    rows.resize(table.RowCount() * rowSize);
    Bytes first(rows.begin(), rows.begin() + static_cast<std::ptrdiff_t>(rowSize));
    for (std::uint32_t nid : added) {
        PutU32(first, 0, nid);
        rows.insert(rows.end(), first.begin(), first.end());
    }
    const std::size_t perBlock = kMaxBlock / rowSize;
    std::vector<std::uint64_t> leaves;
    for (std::size_t start = 0; start < rows.size(); start += perBlock * rowSize) {
        const std::size_t length = std::min(perBlock * rowSize, rows.size() - start);
        leaves.push_back(assembly.AddBlock(Bytes(rows.begin() + static_cast<std::ptrdiff_t>(start),
                                                 rows.begin() + static_cast<std::ptrdiff_t>(start + length)), false));
    }
    const std::uint64_t rowTree = assembly.AddDataTree(leaves, rows.size());

    // The table's subnodes: its own, and the rows.
    Subnodes subnodes = heap.SubnodeTree();
    subnodes[kRowsNode] = NodeEntry{kRowsNode, rowTree, 0, 0};
    Bytes list = {0x02, 0x00};
    AppendU16(list, static_cast<std::uint16_t>(subnodes.size()));
    AppendU32(list, 0);
    for (const auto& [nid, node] : subnodes) {
        AppendU64(list, nid);
        AppendU64(list, node.dataBlock);
        AppendU64(list, node.subnodeBlock);
    }
    const std::uint64_t subnodeBlock = assembly.AddBlock(std::move(list), true);

    // The table's header names the new rows.
    const std::uint32_t root = heap.UserRoot();
    if ((root >> 16) != 0 || (tableNode.dataBlock & 2) != 0) {
        Corrupt(source + ": the contents table's header is not in its first block");
    }
    Bytes block = database.ReadDataBlock(tableNode.dataBlock);
    const std::size_t at = ReadU16(block, ReadU16(block, 0) + 4 + 2 * (((root >> 5) & 0x7FF) - 1));
    PutU32(block, at + 14, kRowsNode);
    assembly.ReplaceBlock(tableNode.dataBlock, std::move(block));
    for (auto& node : assembly.Nodes()) {
        if (node.nid == tableNode.nid) {
            node.subnodeBlock = subnodeBlock;
        }
    }
    std::ofstream out(target, std::ios::binary | std::ios::trunc);
    out << assembly.Finish();
    if (!out) {
        Corrupt(target + ": cannot be written");
    }
}

} // namespace

HRESULT AssembleDataFile(const std::string& source, std::size_t copies, const std::string& target, std::string& error)
{
    try {
        Assemble(source, copies, target);
        return S_OK;
    } catch (const PstError& e) {
        error = e.message;
        return e.status;
    } catch (const std::exception& e) {
        error = e.what();
        return E_FAIL;
    }
}

} // namespace bench
