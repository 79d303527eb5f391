// Rows that a table does not keep: a source reads each row when a view needs it (to answer
// QueryRows, to test a restriction, to sort) and the view lets it go again, so that a table of any
// length costs memory only for the rows in hand.
#pragma once

#include <memory>
#include <vector>

#include "platform/mapi/core/TableData.h"

namespace mapi {

class RowSource {
public:
    virtual ~RowSource() = default;

    // The number of rows, fixed for the source's life.
    virtual std::size_t RowCount() const = 0;
    // Row `index` with at least those of its values whose property ids `wanted` names, or with all
    // of them when `wanted` is null. One view calls at a time.
    virtual HRESULT ReadRow(std::size_t index, const std::vector<ULONG>* wanted, RowPointer& row) = 0;
};

// A table (IMAPITable) of type `tableType` (TBLTYPE_*) over the rows of `source`, with `columns` as
// its columns until others are set.
HRESULT CreateSourceTable(std::shared_ptr<RowSource> source, ULONG tableType, std::vector<ULONG> columns,
                          LPMAPITABLE* result);

} // namespace mapi
