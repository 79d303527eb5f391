// Building snapshot tables over CreateTable.
#include "platform/mapi/core/SnapshotTable.h"

#include <MapiPtr.h>
#include <mapiutil.h>

#include "platform/mapi/core/PropValues.h"

namespace mapi {

HRESULT MakeTable(ULONG indexTag, const std::vector<ULONG>& columns, std::vector<std::vector<SPropValue>>& rows,
                  LPMAPITABLE* result)
{
    MapiBuffer<SPropTagArray> columnArray;
    SCODE status = NewTagArray(columns, columnArray.put());
    if (status != S_OK)
        return status;
    MapiPtr<ITableData> data;
    status = CreateTable(&IID_IMAPITableData, MAPIAllocateBuffer, MAPIAllocateMore, MAPIFreeBuffer, nullptr,
                         TBLTYPE_SNAPSHOT, indexTag, columnArray.get(), data.put());
    if (status != S_OK)
        return status;
    for (std::vector<SPropValue>& values : rows) {
        SRow row{0, static_cast<ULONG>(values.size()), values.data()};
        HRESULT added = data->HrModifyRow(&row);
        if (FAILED(added))
            return added;
    }
    return data->HrGetView(nullptr, nullptr, 0, result);
}

} // namespace mapi
