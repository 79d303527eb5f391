// The in-memory table: rows kept by ITableData (CreateTable) and read through IMAPITable views.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <vector>

#include <MapiPtr.h>
#include <mapiutil.h>

namespace mapi {

// One row: its values in one MAPI buffer. Rows are replaced, never changed, so views may hold them.
struct TableRow {
    MapiBuffer<SPropValue> values;
    ULONG count = 0;

    std::span<const SPropValue> span() const { return {values.get(), count}; }
};
using RowPointer = std::shared_ptr<const TableRow>;

// A row holding a copy of `values` in one MAPI buffer.
SCODE NewTableRow(std::span<const SPropValue> values, RowPointer& row);

class RowSource;

// What the data object and its views share. A table over a RowSource has the source instead of rows.
struct TableStore {
    ALLOCATEBUFFER* allocateBuffer;
    ALLOCATEMORE* allocateMore;
    FREEBUFFER* freeBuffer;
    ULONG tableType;
    ULONG indexTag;
    std::vector<ULONG> defaultColumns;

    std::mutex mutex;
    std::vector<RowPointer> rows;
    std::uint64_t version = 0;  // changes with every change of the rows

    std::shared_ptr<RowSource> source;
};

// Creates a view (IMAPITable) over the store. `release` is called with `callerData` when the
// view goes; the view holds a reference to `owner` (if any) until then.
HRESULT CreateTableView(std::shared_ptr<TableStore> store, ITableData* owner, const SSortOrderSet* sortOrder,
                        CALLERRELEASE* release, ULONG callerData, LPMAPITABLE* result);

// Builds the answer row for `columns` from stored values (the rules of GetProps): its values in
// a new buffer from the store's allocate-buffer function, their data chained to it.
SCODE AnswerRow(const TableStore& store, std::span<const SPropValue> stored, std::span<const ULONG> columns,
                SRow& answer);

} // namespace mapi
