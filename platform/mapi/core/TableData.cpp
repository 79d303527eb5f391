// CreateTable: the ITableData that holds a table's rows and hands out views on them.
#include "platform/mapi/core/TableData.h"

#include <algorithm>
#include <new>

#include "platform/mapi/core/ComObject.h"
#include "platform/mapi/core/PropValues.h"

namespace mapi {
namespace {

class TableData final : public ComObject<ITableData> {
public:
    explicit TableData(std::shared_ptr<TableStore> store) : store_(std::move(store)) {}

    HRESULT QueryInterface(REFIID riid, LPVOID* ppvObj) override
    {
        return QueryFor(riid, ppvObj, {&IID_IUnknown, &IID_IMAPITableData});
    }

    HRESULT HrGetView(LPSSortOrderSet lpSSortOrderSet, CALLERRELEASE* lpfCallerRelease, ULONG ulCallerData,
                      LPMAPITABLE* lppMAPITable) override
    {
        return CreateTableView(store_, this, lpSSortOrderSet, lpfCallerRelease, ulCallerData, lppMAPITable);
    }

    HRESULT HrModifyRow(LPSRow lpSRow) override
    {
        std::lock_guard lock(store_->mutex);
        return ModifyRow(lpSRow);
    }

    HRESULT HrDeleteRow(LPSPropValue lpSPropValue) override
    {
        if (lpSPropValue == nullptr)
            return MAPI_E_INVALID_PARAMETER;
        std::lock_guard lock(store_->mutex);
        auto row = FindRow(*lpSPropValue);
        if (row == store_->rows.end())
            return MAPI_E_NOT_FOUND;
        store_->rows.erase(row);
        ++store_->version;
        return S_OK;
    }

    HRESULT HrQueryRow(LPSPropValue lpsPropValue, LPSRow* lppSRow, ULONG* lpuliRow) override
    {
        if (lpsPropValue == nullptr || lppSRow == nullptr)
            return MAPI_E_INVALID_PARAMETER;
        *lppSRow = nullptr;
        std::lock_guard lock(store_->mutex);
        auto row = FindRow(*lpsPropValue);
        if (row == store_->rows.end())
            return MAPI_E_NOT_FOUND;
        if (lpuliRow != nullptr)
            *lpuliRow = static_cast<ULONG>(row - store_->rows.begin());
        return CopyRow(**row, lppSRow);
    }

    HRESULT HrEnumRow(ULONG ulRowNumber, LPSRow* lppSRow) override
    {
        if (lppSRow == nullptr)
            return MAPI_E_INVALID_PARAMETER;
        *lppSRow = nullptr;
        std::lock_guard lock(store_->mutex);
        if (ulRowNumber >= store_->rows.size())
            return S_OK;
        return CopyRow(*store_->rows[ulRowNumber], lppSRow);
    }

    // No view takes advise sinks, so there is nobody to notify.
    HRESULT HrNotify(ULONG, ULONG, LPSPropValue) override { return S_OK; }

    HRESULT HrInsertRow(ULONG uliRow, LPSRow lpSRow) override
    {
        std::lock_guard lock(store_->mutex);
        const SPropValue* index = IndexOf(lpSRow);
        if (index == nullptr)
            return MAPI_E_INVALID_PARAMETER;
        if (FindRow(*index) != store_->rows.end())
            return MAPI_E_INVALID_PARAMETER;
        RowPointer row;
        HRESULT status = MakeRow(*lpSRow, row);
        if (status != S_OK)
            return status;
        std::size_t position = std::min<std::size_t>(uliRow, store_->rows.size());
        store_->rows.insert(store_->rows.begin() + static_cast<std::ptrdiff_t>(position), std::move(row));
        ++store_->version;
        return S_OK;
    }

    HRESULT HrModifyRows(ULONG, LPSRowSet lpSRowSet) override
    {
        if (lpSRowSet == nullptr)
            return MAPI_E_INVALID_PARAMETER;
        std::lock_guard lock(store_->mutex);
        for (ULONG i = 0; i < lpSRowSet->cRows; ++i) {
            HRESULT status = ModifyRow(&lpSRowSet->aRow[i]);
            if (status != S_OK)
                return status;
        }
        return S_OK;
    }

    HRESULT HrDeleteRows(ULONG ulFlags, LPSRowSet lprowsetToDelete, ULONG* cRowsDeleted) override
    {
        std::lock_guard lock(store_->mutex);
        ULONG deleted = 0;
        if ((ulFlags & TAD_ALL_ROWS) != 0) {
            deleted = static_cast<ULONG>(store_->rows.size());
            store_->rows.clear();
        } else if (lprowsetToDelete != nullptr) {
            for (ULONG i = 0; i < lprowsetToDelete->cRows; ++i) {
                const SPropValue* index = IndexOf(&lprowsetToDelete->aRow[i]);
                auto row = index == nullptr ? store_->rows.end() : FindRow(*index);
                if (row == store_->rows.end())
                    continue;
                store_->rows.erase(row);
                ++deleted;
            }
        } else {
            return MAPI_E_INVALID_PARAMETER;
        }
        ++store_->version;
        if (cRowsDeleted != nullptr)
            *cRowsDeleted = deleted;
        return S_OK;
    }

private:
    const SPropValue* IndexOf(const SRow* row) const
    {
        if (row == nullptr || (row->cValues > 0 && row->lpProps == nullptr))
            return nullptr;
        ULONG indexTag = store_->indexTag;
        const SPropValue* end = row->lpProps + row->cValues;
        const SPropValue* found = std::find_if(static_cast<const SPropValue*>(row->lpProps), end, [indexTag](const SPropValue& value) {
            return value.ulPropTag == indexTag;
        });
        return found == end ? nullptr : found;
    }

    std::vector<RowPointer>::iterator FindRow(const SPropValue& index)
    {
        return std::find_if(store_->rows.begin(), store_->rows.end(), [&](const RowPointer& row) {
            const SPropValue* value = FindById(row->span(), index.ulPropTag);
            if (value == nullptr || value->ulPropTag != index.ulPropTag)
                return false;
            std::optional<int> order = CompareValues(*value, index, false);
            return order && *order == 0;
        });
    }

    static HRESULT MakeRow(const SRow& source, RowPointer& row)
    {
        return NewTableRow(std::span<const SPropValue>(source.lpProps, source.cValues), row);
    }

    HRESULT ModifyRow(const SRow* source)
    {
        const SPropValue* index = IndexOf(source);
        if (index == nullptr)
            return MAPI_E_INVALID_PARAMETER;
        RowPointer row;
        HRESULT status = MakeRow(*source, row);
        if (status != S_OK)
            return status;
        auto existing = FindRow(*index);
        if (existing == store_->rows.end())
            store_->rows.push_back(std::move(row));
        else
            *existing = std::move(row);
        ++store_->version;
        return S_OK;
    }

    // A row for the caller: one buffer holding the SRow, its values chained to it.
    HRESULT CopyRow(const TableRow& row, LPSRow* result)
    {
        void* buffer = nullptr;
        SCODE status = store_->allocateBuffer(sizeof(SRow) + static_cast<ULONG>(
                                                  std::max<ULONG>(row.count, 1) * sizeof(SPropValue)), &buffer);
        if (status != S_OK)
            return status;
        auto* answer = static_cast<LPSRow>(buffer);
        answer->ulAdrEntryPad = 0;
        answer->cValues = row.count;
        answer->lpProps = reinterpret_cast<LPSPropValue>(answer + 1);
        ChainAllocator allocator(store_->allocateMore, buffer);
        for (ULONG i = 0; i < row.count; ++i) {
            status = CopyValue(answer->lpProps[i], row.values[i], allocator);
            if (status != S_OK) {
                store_->freeBuffer(buffer);
                return status;
            }
        }
        *result = answer;
        return S_OK;
    }

    std::shared_ptr<TableStore> store_;
};

} // namespace

SCODE NewTableRow(std::span<const SPropValue> values, RowPointer& row)
{
    auto made = std::make_shared<TableRow>();
    SCODE status = DuplicateValues(values, MAPIAllocateBuffer, made->values.put());
    if (status != S_OK)
        return status;
    made->count = static_cast<ULONG>(values.size());
    row = std::move(made);
    return S_OK;
}

} // namespace mapi

STDAPI_(SCODE) CreateTable(LPCIID lpInterface, ALLOCATEBUFFER* lpAllocateBuffer, ALLOCATEMORE* lpAllocateMore,
                           FREEBUFFER* lpFreeBuffer, LPVOID, ULONG ulTableType, ULONG ulPropTagIndexColumn,
                           LPSPropTagArray lpSPropTagArrayColumns, LPTABLEDATA* lppTableData)
{
    if (lppTableData == nullptr || lpAllocateBuffer == nullptr || lpAllocateMore == nullptr ||
        lpFreeBuffer == nullptr || lpSPropTagArrayColumns == nullptr)
        return MAPI_E_INVALID_PARAMETER;
    *lppTableData = nullptr;
    if (lpInterface != nullptr && *lpInterface != IID_IMAPITableData)
        return MAPI_E_INTERFACE_NOT_SUPPORTED;
    try {
        auto store = std::make_shared<mapi::TableStore>();
        store->allocateBuffer = lpAllocateBuffer;
        store->allocateMore = lpAllocateMore;
        store->freeBuffer = lpFreeBuffer;
        store->tableType = ulTableType;
        store->indexTag = ulPropTagIndexColumn;
        store->defaultColumns.assign(lpSPropTagArrayColumns->aulPropTag,
                                     lpSPropTagArrayColumns->aulPropTag + lpSPropTagArrayColumns->cValues);
        *lppTableData = new mapi::TableData(std::move(store));
        return S_OK;
    } catch (const std::bad_alloc&) {
        return MAPI_E_NOT_ENOUGH_MEMORY;
    }
}
