// The rows of the tables that the runtime's sessions, containers and profiles hand out: values
// built when the table is asked for, then made into a snapshot table (MakeTable).
#pragma once

#include <deque>
#include <initializer_list>
#include <span>
#include <string>
#include <vector>

#include <mapidefs.h>

#include "platform/mapi/core/SnapshotTable.h"

namespace mapi {

// Values that rows point into while they are built: the storage lives as long as the builder.
class RowValues {
public:
    SPropValue Long(ULONG tag, LONG value);
    SPropValue Boolean(ULONG tag, bool value);
    SPropValue Binary(ULONG tag, std::span<const BYTE> bytes);
    SPropValue Unicode(ULONG tag, std::u16string text);
    // A four-byte PR_INSTANCE_KEY that tells a row apart from the table's other rows.
    SPropValue InstanceKey(ULONG number);

private:
    std::deque<std::vector<BYTE>> bytes_;
    std::deque<std::u16string> texts_;
};

// The columns in the string form that MAPI_UNICODE in `flags` asks for.
std::vector<ULONG> ColumnsForFlags(std::initializer_list<ULONG> columns, ULONG flags);

} // namespace mapi
