// A table handed out whole: rows built when the table is asked for, copied into an in-memory
// snapshot table (CreateTable) and served through a view of it.
#pragma once

#include <vector>

#include <mapidefs.h>

namespace mapi {

// A table of `rows` (copied), told apart by `indexTag`, with `columns` as its columns.
HRESULT MakeTable(ULONG indexTag, const std::vector<ULONG>& columns, std::vector<std::vector<SPropValue>>& rows,
                  LPMAPITABLE* result);

} // namespace mapi
