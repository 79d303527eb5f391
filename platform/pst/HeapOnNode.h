// The second layer of a data file: a node's data seen as a heap of items, the B-tree kept in such a
// heap, and the two structures built on them, the property context (one object's properties) and
// the table context (rows of properties: folder hierarchies, contents, recipients, attachments).
// Values too large for the heap live in the node's subnodes.
#pragma once

#include "platform/pst/NodeDatabase.h"

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

namespace platform::pst {

// A property as it is stored: its tag and its value's bytes (for fixed-size values of up to four
// bytes in a property context, the four bytes of the value itself).
struct RawProperty {
    std::uint32_t tag = 0;
    Bytes value;
};

// The kinds of heap, each the signature of its client: a property context or a table context
// (whose header starts with the same byte).
inline constexpr std::uint8_t kPropertyContextHeap = 0xBC;
inline constexpr std::uint8_t kTableContextHeap = 0x7C;

class HeapOnNode {
public:
    // Reads the node's data; `expectedClient` is the heap's kind.
    // Throws PstError.
    HeapOnNode(const NodeDatabase& database, const NodeEntry& node, std::uint8_t expectedClient);

    std::span<const std::uint8_t> Item(std::uint32_t hid) const;
    // The value that `hnid` names: a heap item, or the data of a subnode.
    Bytes Value(std::uint32_t hnid) const;
    std::uint32_t UserRoot() const { return userRoot_; }
    const Subnodes& SubnodeTree() const { return subnodes_; }
    const NodeDatabase& Database() const { return database_; }
    // The leaves of the heap's B-tree whose header is at `hid`: each key with its data.
    void ForEachRecord(std::uint32_t hid, std::size_t keySize, std::size_t dataSize,
                       const std::function<void(std::span<const std::uint8_t>, std::span<const std::uint8_t>)>& visit) const;

private:
    void VisitLevel(std::uint32_t hid, int levels, std::size_t keySize, std::size_t dataSize,
                    const std::function<void(std::span<const std::uint8_t>, std::span<const std::uint8_t>)>& visit,
                    std::size_t& budget) const;

    const NodeDatabase& database_;
    std::vector<Bytes> blocks_;
    Subnodes subnodes_;
    std::uint32_t userRoot_ = 0;
};

// Every property of an object (a property context), in the order of their ids.
std::vector<RawProperty> ReadPropertyContext(const HeapOnNode& heap);
// The properties of ReadPropertyContext given to `visit` one at a time, each value's bytes seen where they are (valid only
// during the call), without a copy of its own.
void ForEachProperty(const HeapOnNode& heap,
                     const std::function<void(std::uint32_t tag, std::span<const std::uint8_t> value)>& visit);
// How many properties ForEachProperty gives, counted without reading their values.
std::size_t PropertyCount(const HeapOnNode& heap);

// A table context: its columns, and its rows read one at a time.
class TableContext {
public:
    explicit TableContext(const HeapOnNode& heap);

    std::size_t RowCount() const { return rowCount_; }
    // The row's identifier (for folders' tables, the node id of the row's object).
    std::uint32_t RowId(std::size_t row) const;
    // The properties present in the row, except the table's own bookkeeping columns.
    std::vector<RawProperty> Row(std::size_t row) const;

private:
    struct Column {
        std::uint32_t tag;
        std::uint16_t offset;
        std::uint8_t size;
        std::uint8_t bit;
    };

    std::span<const std::uint8_t> RowBytes(std::size_t row) const;
    std::span<const std::uint8_t> RowBytesInBlock(std::size_t block) const;

    const HeapOnNode& heap_;
    std::vector<Column> columns_;
    std::size_t rowSize_ = 0;
    std::size_t bitmapOffset_ = 0;
    // The rows: in one heap item, or in a subnode's blocks, none spanning two blocks.
    std::vector<std::uint64_t> rowBlockIds_;
    Bytes rowItem_;  // the rows when they are in one heap item
    mutable std::size_t cachedBlock_ = SIZE_MAX;
    mutable Bytes cached_;
    std::size_t rowsPerBlock_ = 0;
    std::size_t rowCount_ = 0;
};

} // namespace platform::pst
