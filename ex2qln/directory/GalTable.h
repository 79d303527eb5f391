// Reading the Global Address List's contents table the way every directory export does.
#pragma once

#include "platform/base/HResult.h"

#include <MapiPtr.h>
#include <mapidefs.h>

#include <functional>
#include <span>

namespace ex2qln::directory {

// A property tag list in MAPI memory, as SetColumns takes it.
HRESULT AllocateTagList(std::span<const ULONG> tags, MapiBuffer<SPropTagArray>& list);

// The container's contents table (flags 0) with the given columns.
HRESULT OpenContentsTable(IMAPIContainer* container, SPropTagArray* columns, MapiPtr<IMAPITable>& table);

// The GAL's contents table with `tags` as its columns. On failure writes "Can not allocate memory
// [%x].\n", or `accessFailure` (a format with one %#x for the status), to standard error.
HRESULT OpenGalColumns(IABContainer* gal, std::span<const ULONG> tags, const char* accessFailure,
                       MapiPtr<IMAPITable>& table);

struct ScanResult {
    ULONG processed = 0;  // rows handed to the visitor
    ULONG rowCount = 0;   // what the table said it held
    HRESULT status = S_OK;  // the failure that ended the reading, if any
};

// Reads the table from its beginning in batches of 10,000 rows until a batch fails or comes back
// empty. Before every tenth row (the first included) it writes "<label>: %d GAL records
// processed...\r" to standard output.
ScanResult ScanRows(IMAPITable* table, const char* label, const std::function<void(const SRow& row)>& visit);

// The value at `column` when the row holds one of `type` there.
const SPropValue* ValueOfType(const SRow& row, ULONG column, ULONG type);

} // namespace ex2qln::directory
