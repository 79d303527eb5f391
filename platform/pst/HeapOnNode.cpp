// Heaps on nodes, their B-trees, property contexts and table contexts.
#include "platform/pst/HeapOnNode.h"

#include "platform/base/LittleEndian.h"
#include "platform/pst/PropertyTypes.h"
#include "platform/pst/PstError.h"

#include <algorithm>

namespace platform::pst {
namespace {

constexpr std::uint8_t kHeapSignature = 0xEC;
constexpr std::uint8_t kTreeSignature = 0xB5;
constexpr std::uint32_t kRowIdTag = 0x67F20003;
constexpr std::uint32_t kRowVersionTag = 0x67F30003;
constexpr int kMaxTreeLevels = 8;
// The largest value read from a subnode: an attachment of this size is more than a mailbox holds.
constexpr std::size_t kMaxValueSize = std::size_t{1} << 30;

bool IsHeapId(std::uint32_t hnid)
{
    return (hnid & 0x1F) == 0;
}

} // namespace

HeapOnNode::HeapOnNode(const NodeDatabase& database, const NodeEntry& node, std::uint8_t expectedClient)
    : database_(database), blocks_(database.ReadData(node.dataBlock)), subnodes_(database.ReadSubnodes(node.subnodeBlock))
{
    if (blocks_.empty() || blocks_[0].size() < 12 || blocks_[0][2] != kHeapSignature) {
        Corrupt("the data of node " + std::to_string(node.nid) + " is not a heap");
    }
    if (blocks_[0][3] != expectedClient) {
        Corrupt("the heap of node " + std::to_string(node.nid) + " holds the wrong kind of structure");
    }
    userRoot_ = ReadU32(blocks_[0], 4);
}

std::span<const std::uint8_t> HeapOnNode::Item(std::uint32_t hid) const
{
    const std::size_t index = (hid >> 5) & 0x7FF;
    const std::size_t blockIndex = hid >> 16;
    if (!IsHeapId(hid) || index == 0 || blockIndex >= blocks_.size()) {
        Corrupt("the heap has no item " + std::to_string(hid));
    }
    const Bytes& block = blocks_[blockIndex];
    if (block.size() < 2) {
        Corrupt("a heap block is too short");
    }
    const std::size_t map = ReadU16(block, 0);
    if (map + 4 > block.size()) {
        Corrupt("a heap block's page map lies outside it");
    }
    const std::size_t count = ReadU16(block, map);
    if (index > count || map + 4 + 2 * (count + 1) > block.size()) {
        Corrupt("the heap has no item " + std::to_string(hid));
    }
    const std::size_t begin = ReadU16(block, map + 4 + 2 * (index - 1));
    const std::size_t end = ReadU16(block, map + 4 + 2 * index);
    if (begin > end || end > block.size()) {
        Corrupt("the heap item " + std::to_string(hid) + " lies outside its block");
    }
    return std::span<const std::uint8_t>(block).subspan(begin, end - begin);
}

Bytes HeapOnNode::Value(std::uint32_t hnid) const
{
    if (hnid == 0) {
        return {};
    }
    if (IsHeapId(hnid)) {
        auto item = Item(hnid);
        return Bytes(item.begin(), item.end());
    }
    auto found = subnodes_.find(hnid);
    if (found == subnodes_.end()) {
        Corrupt("a value is in subnode " + std::to_string(hnid) + ", which is not there");
    }
    return database_.ReadAll(found->second.dataBlock, kMaxValueSize);
}

void HeapOnNode::ForEachRecord(
    std::uint32_t hid, std::size_t keySize, std::size_t dataSize,
    const std::function<void(std::span<const std::uint8_t>, std::span<const std::uint8_t>)>& visit) const
{
    auto header = Item(hid);
    if (header.size() < 8 || header[0] != kTreeSignature || header[1] != keySize || header[2] != dataSize) {
        Corrupt("a heap's B-tree header is not sound");
    }
    const std::uint32_t root = ReadU32(header, 4);
    // A sound tree has no more records than its heap has room for; one whose index names the same
    // items over and over is refused instead of read for ever.
    std::size_t budget = 0;
    for (const Bytes& block : blocks_) {
        budget += block.size() / (keySize + std::min<std::size_t>(dataSize, 4)) + 1;
    }
    if (root != 0) {
        VisitLevel(root, header[3], keySize, dataSize, visit, budget);
    }
}

void HeapOnNode::VisitLevel(
    std::uint32_t hid, int levels, std::size_t keySize, std::size_t dataSize,
    const std::function<void(std::span<const std::uint8_t>, std::span<const std::uint8_t>)>& visit,
    std::size_t& budget) const
{
    if (levels > kMaxTreeLevels) {
        Corrupt("a heap's B-tree is nested too deeply");
    }
    auto records = Item(hid);
    const std::size_t recordSize = keySize + (levels == 0 ? dataSize : 4);
    for (std::size_t at = 0; at + recordSize <= records.size(); at += recordSize) {
        if (budget-- == 0) {
            Corrupt("a heap's B-tree names more records than the heap holds");
        }
        if (levels == 0) {
            visit(records.subspan(at, keySize), records.subspan(at + keySize, dataSize));
        } else {
            VisitLevel(ReadU32(records, at + keySize), levels - 1, keySize, dataSize, visit, budget);
        }
    }
}

std::vector<RawProperty> ReadPropertyContext(const HeapOnNode& heap)
{
    std::vector<RawProperty> properties;
    ForEachProperty(heap, [&](std::uint32_t tag, std::span<const std::uint8_t> value) {
        properties.push_back({tag, Bytes(value.begin(), value.end())});
    });
    return properties;
}

void ForEachProperty(const HeapOnNode& heap,
                     const std::function<void(std::uint32_t tag, std::span<const std::uint8_t> value)>& visit)
{
    heap.ForEachRecord(heap.UserRoot(), 2, 6, [&](auto key, auto data) {
        const std::uint16_t id = ReadU16(key, 0);
        const std::uint16_t type = ReadU16(data, 0);
        const std::uint32_t tag = (static_cast<std::uint32_t>(id) << 16) | type;
        if (StoredInline(type)) {
            visit(tag, data.subspan(2));
            return;
        }
        const std::uint32_t hnid = ReadU32(data, 2);
        if (hnid != 0 && IsHeapId(hnid)) {
            visit(tag, heap.Item(hnid));
            return;
        }
        const Bytes value = heap.Value(hnid);
        visit(tag, value);
    });
}

std::size_t PropertyCount(const HeapOnNode& heap)
{
    std::size_t count = 0;
    heap.ForEachRecord(heap.UserRoot(), 2, 6, [&](auto, auto) { ++count; });
    return count;
}

TableContext::TableContext(const HeapOnNode& heap) : heap_(heap)
{
    auto info = heap.Item(heap.UserRoot());
    if (info.size() < 22 || info[0] != kTableContextHeap) {
        Corrupt("a table's header is not sound");
    }
    const std::size_t columnCount = info[1];
    if (22 + 8 * columnCount > info.size()) {
        Corrupt("a table's header is shorter than its columns");
    }
    bitmapOffset_ = ReadU16(info, 6);
    rowSize_ = ReadU16(info, 8);
    if (rowSize_ < 4 || bitmapOffset_ > rowSize_) {
        Corrupt("a table's rows have an impossible layout");
    }
    for (std::size_t i = 0; i < columnCount; ++i) {
        const std::size_t at = 22 + 8 * i;
        Column column{ReadU32(info, at), ReadU16(info, at + 4), info[at + 6], info[at + 7]};
        if (column.offset + column.size > rowSize_ || bitmapOffset_ + column.bit / 8 >= rowSize_) {
            Corrupt("a table column lies outside its row");
        }
        columns_.push_back(column);
    }
    const std::uint32_t rows = ReadU32(info, 14);
    if (rows == 0) {
        return;
    }
    if (IsHeapId(rows)) {
        auto item = heap.Item(rows);
        rowItem_.assign(item.begin(), item.end());
        rowCount_ = rowItem_.size() / rowSize_;
        return;
    }
    auto found = heap.SubnodeTree().find(rows);
    if (found == heap.SubnodeTree().end()) {
        Corrupt("a table's rows are in subnode " + std::to_string(rows) + ", which is not there");
    }
    rowBlockIds_ = heap.Database().DataBlockIds(found->second.dataBlock);
    rowsPerBlock_ = heap.Database().MaxBlockData() / rowSize_;
    if (!rowBlockIds_.empty() && rowsPerBlock_ != 0) {
        const std::size_t last = rowBlockIds_.size() - 1;
        rowCount_ = last * rowsPerBlock_ + RowBytesInBlock(last).size() / rowSize_;
    }
}

std::span<const std::uint8_t> TableContext::RowBytesInBlock(std::size_t block) const
{
    if (cachedBlock_ != block) {
        cached_ = heap_.Database().ReadDataBlock(rowBlockIds_[block]);
        cachedBlock_ = block;
    }
    return cached_;
}

std::span<const std::uint8_t> TableContext::RowBytes(std::size_t row) const
{
    if (row >= rowCount_) {
        Corrupt("a table has no row " + std::to_string(row));
    }
    if (rowBlockIds_.empty()) {
        return std::span<const std::uint8_t>(rowItem_).subspan(row * rowSize_, rowSize_);
    }
    auto block = RowBytesInBlock(row / rowsPerBlock_);
    const std::size_t at = (row % rowsPerBlock_) * rowSize_;
    if (at + rowSize_ > block.size()) {
        Corrupt("a table's row " + std::to_string(row) + " lies outside its block");
    }
    return block.subspan(at, rowSize_);
}

std::uint32_t TableContext::RowId(std::size_t row) const
{
    return ReadU32(RowBytes(row), 0);
}

std::vector<RawProperty> TableContext::Row(std::size_t row) const
{
    // A copy: reading a value may replace the cached block the row is in.
    auto span = RowBytes(row);
    const Bytes bytes(span.begin(), span.end());
    std::vector<RawProperty> properties;
    for (const Column& column : columns_) {
        const bool present = (bytes[bitmapOffset_ + column.bit / 8] & (0x80 >> (column.bit % 8))) != 0;
        if (!present || column.tag == kRowIdTag || column.tag == kRowVersionTag) {
            continue;
        }
        const auto type = static_cast<std::uint16_t>(column.tag & 0xFFFF);
        const std::size_t size = FixedValueSize(type);
        RawProperty property{column.tag, {}};
        if (size != 0 && size <= 8) {
            if (column.size < size) {
                Corrupt("a table column is too narrow for its type");
            }
            property.value.assign(bytes.begin() + column.offset, bytes.begin() + column.offset + size);
        } else {
            if (column.size < 4) {
                Corrupt("a table column is too narrow for its type");
            }
            property.value = heap_.Value(ReadU32(bytes, column.offset));
        }
        properties.push_back(std::move(property));
    }
    return properties;
}

} // namespace platform::pst
