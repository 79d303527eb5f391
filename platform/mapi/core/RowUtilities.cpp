// The published helpers on tables, rows, address lists and single properties.
#include <mapiutil.h>

#include <MapiPtr.h>

#include <algorithm>
#include <vector>

#include "platform/mapi/core/PropValues.h"

STDAPI_(void) FreeProws(LPSRowSet lpRows)
{
    if (lpRows == nullptr)
        return;
    for (ULONG i = 0; i < lpRows->cRows; ++i)
        MAPIFreeBuffer(lpRows->aRow[i].lpProps);
    MAPIFreeBuffer(lpRows);
}

STDAPI_(void) FreePadrlist(LPADRLIST lpAdrList)
{
    if (lpAdrList == nullptr)
        return;
    for (ULONG i = 0; i < lpAdrList->cEntries; ++i)
        MAPIFreeBuffer(lpAdrList->aEntries[i].rgPropVals);
    MAPIFreeBuffer(lpAdrList);
}

STDAPI HrQueryAllRows(LPMAPITABLE lpTable, LPSPropTagArray lpPropTags, LPSRestriction lpRestriction,
                      LPSSortOrderSet lpSortOrderSet, LONG crowsMax, LPSRowSet* lppRows)
{
    if (lpTable == nullptr || lppRows == nullptr || crowsMax < 0)
        return MAPI_E_INVALID_PARAMETER;
    *lppRows = nullptr;
    HRESULT status = S_OK;
    if (lpPropTags != nullptr && (status = lpTable->SetColumns(lpPropTags, TBL_BATCH)) != S_OK)
        return status;
    if (lpRestriction != nullptr && (status = lpTable->Restrict(lpRestriction, TBL_BATCH)) != S_OK)
        return status;
    if (lpSortOrderSet != nullptr && (status = lpTable->SortTable(lpSortOrderSet, TBL_BATCH)) != S_OK)
        return status;
    if ((status = lpTable->SeekRow(BOOKMARK_BEGINNING, 0, nullptr)) != S_OK)
        return status;
    ULONG count = 0;
    if ((status = lpTable->GetRowCount(0, &count)) != S_OK)
        return status;
    if (crowsMax != 0 && count > static_cast<ULONG>(crowsMax))
        return MAPI_E_TABLE_TOO_BIG;

    // Read in batches; the rows' values move into one row set, their buffers unchanged.
    std::vector<SRow> rows;
    auto freeCollected = [&rows] {
        for (SRow& row : rows)
            MAPIFreeBuffer(row.lpProps);
    };
    for (;;) {
        LPSRowSet batch = nullptr;
        status = lpTable->QueryRows(std::max<LONG>(static_cast<LONG>(count), 1000), 0, &batch);
        if (FAILED(status)) {
            freeCollected();
            return status;
        }
        ULONG got = batch == nullptr ? 0 : batch->cRows;
        for (ULONG i = 0; i < got; ++i)
            rows.push_back(batch->aRow[i]);
        MAPIFreeBuffer(batch);
        if (got == 0)
            break;
        if (crowsMax != 0 && rows.size() > static_cast<std::size_t>(crowsMax)) {
            freeCollected();
            return MAPI_E_TABLE_TOO_BIG;
        }
    }
    LPSRowSet all = nullptr;
    SCODE allocated = MAPIAllocateBuffer(static_cast<ULONG>(CbNewSRowSet(std::max<std::size_t>(rows.size(), 1))),
                                         reinterpret_cast<LPVOID*>(&all));
    if (allocated != S_OK) {
        freeCollected();
        return allocated;
    }
    all->cRows = static_cast<ULONG>(rows.size());
    std::copy(rows.begin(), rows.end(), all->aRow);
    *lppRows = all;
    return S_OK;
}

STDAPI HrAddColumnsEx(LPMAPITABLE lpTable, LPSPropTagArray lpPropTagColumnsNew, LPALLOCATEBUFFER lpAllocateBuffer,
                      LPFREEBUFFER lpFreeBuffer, void (*lpfnFilterColumns)(LPSPropTagArray ptaga))
{
    if (lpTable == nullptr || lpPropTagColumnsNew == nullptr || lpAllocateBuffer == nullptr || lpFreeBuffer == nullptr)
        return MAPI_E_INVALID_PARAMETER;
    LPSPropTagArray current = nullptr;
    HRESULT status = lpTable->QueryColumns(0, &current);
    if (status != S_OK)
        return status;
    if (lpfnFilterColumns != nullptr)
        lpfnFilterColumns(current);
    std::vector<ULONG> columns(lpPropTagColumnsNew->aulPropTag,
                               lpPropTagColumnsNew->aulPropTag + lpPropTagColumnsNew->cValues);
    for (ULONG i = 0; i < current->cValues; ++i) {
        ULONG tag = current->aulPropTag[i];
        if (std::find(columns.begin(), columns.end(), tag) == columns.end())
            columns.push_back(tag);
    }
    MAPIFreeBuffer(current);
    LPSPropTagArray merged = nullptr;
    status = lpAllocateBuffer(static_cast<ULONG>(CbNewSPropTagArray(columns.size())), reinterpret_cast<LPVOID*>(&merged));
    if (status != S_OK)
        return status;
    merged->cValues = static_cast<ULONG>(columns.size());
    std::copy(columns.begin(), columns.end(), merged->aulPropTag);
    status = lpTable->SetColumns(merged, 0);
    lpFreeBuffer(merged);
    return status;
}

STDAPI HrGetOneProp(LPMAPIPROP lpMapiProp, ULONG ulPropTag, LPSPropValue* lppProp)
{
    if (lpMapiProp == nullptr || lppProp == nullptr)
        return MAPI_E_INVALID_PARAMETER;
    *lppProp = nullptr;
    SizedSPropTagArray(1, tags) = {1, {ulPropTag}};
    ULONG count = 0;
    LPSPropValue values = nullptr;
    HRESULT status = lpMapiProp->GetProps(reinterpret_cast<LPSPropTagArray>(&tags),
                                          PROP_TYPE(ulPropTag) == PT_UNICODE ? MAPI_UNICODE : 0, &count, &values);
    if (FAILED(status))
        return status;
    if (count != 1 || values == nullptr) {
        MAPIFreeBuffer(values);
        return MAPI_E_NOT_FOUND;
    }
    if (PROP_TYPE(values->ulPropTag) == PT_ERROR) {
        HRESULT error = values->Value.err;
        MAPIFreeBuffer(values);
        return error;
    }
    *lppProp = values;
    return S_OK;
}

STDAPI HrSetOneProp(LPMAPIPROP lpMapiProp, LPSPropValue lpProp)
{
    if (lpMapiProp == nullptr || lpProp == nullptr)
        return MAPI_E_INVALID_PARAMETER;
    LPSPropProblemArray problems = nullptr;
    HRESULT status = lpMapiProp->SetProps(1, lpProp, &problems);
    if (SUCCEEDED(status) && problems != nullptr && problems->cProblem > 0)
        status = problems->aProblem[0].scode;
    MAPIFreeBuffer(problems);
    return status;
}

STDAPI_(BOOL) FPropExists(LPMAPIPROP lpMapiProp, ULONG ulPropTag)
{
    if (lpMapiProp == nullptr)
        return FALSE;
    LPSPropTagArray tags = nullptr;
    if (FAILED(lpMapiProp->GetPropList(PROP_TYPE(ulPropTag) == PT_UNICODE ? MAPI_UNICODE : 0, &tags)) ||
        tags == nullptr)
        return FALSE;
    bool anyType = PROP_TYPE(ulPropTag) == PT_UNSPECIFIED;
    BOOL found = FALSE;
    for (ULONG i = 0; i < tags->cValues && !found; ++i) {
        ULONG tag = tags->aulPropTag[i];
        found = anyType ? PROP_ID(tag) == PROP_ID(ulPropTag) : tag == ulPropTag;
    }
    MAPIFreeBuffer(tags);
    return found;
}
