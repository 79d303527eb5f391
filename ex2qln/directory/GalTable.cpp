// Contents tables of the Global Address List: columns, batches and the progress line.
#include "ex2qln/directory/GalTable.h"

#include "ex2qln/diag/Log.h"

#include <mapicode.h>
#include <mapix.h>

#include <cstdio>

namespace ex2qln::directory {
namespace {

constexpr LONG kBatchRows = 10000;
constexpr ULONG kProgressEvery = 10;

} // namespace

HRESULT AllocateTagList(std::span<const ULONG> tags, MapiBuffer<SPropTagArray>& list)
{
    HRESULT status = MAPIAllocateBuffer(static_cast<ULONG>(CbNewSPropTagArray(tags.size())), list.put_void());
    if (FAILED(status))
        return status;
    list->cValues = static_cast<ULONG>(tags.size());
    for (std::size_t index = 0; index < tags.size(); ++index)
        list->aulPropTag[index] = tags[index];
    return S_OK;
}

HRESULT OpenContentsTable(IMAPIContainer* container, SPropTagArray* columns, MapiPtr<IMAPITable>& table)
{
    if (container == nullptr)
        return MAPI_E_INVALID_PARAMETER;
    HRESULT status = container->GetContentsTable(0, table.put());
    if (FAILED(status))
        return status;
    return table->SetColumns(columns, 0);
}

ScanResult ScanRows(IMAPITable* table, const char* label, const std::function<void(const SRow& row)>& visit)
{
    ScanResult result;
    table->SeekRow(BOOKMARK_BEGINNING, 0, nullptr);
    if (FAILED(table->GetRowCount(0, &result.rowCount)))
        result.rowCount = 0;
    while (true) {
        MapiRows rows;
        result.status = table->QueryRows(kBatchRows, 0, rows.put());
        if (FAILED(result.status) || rows.size() == 0)
            return result;
        for (ULONG index = 0; index < rows.size(); ++index) {
            if (result.processed % kProgressEvery == 0)
                std::printf("%s: %u GAL records processed...\r", label, static_cast<unsigned>(result.processed));
            visit(rows->aRow[index]);
            ++result.processed;
        }
    }
}

const SPropValue* ValueOfType(const SRow& row, ULONG column, ULONG type)
{
    if (column >= row.cValues || row.lpProps == nullptr)
        return nullptr;
    const SPropValue& value = row.lpProps[column];
    return PROP_TYPE(value.ulPropTag) == type ? &value : nullptr;
}

HRESULT OpenGalColumns(IABContainer* gal, std::span<const ULONG> tags, const char* accessFailure,
                       MapiPtr<IMAPITable>& table)
{
    MapiBuffer<SPropTagArray> columns;
    HRESULT status = QLN_CHECK(AllocateTagList(tags, columns));
    if (FAILED(status)) {
        std::fprintf(stderr, "Can not allocate memory [%x].\n", static_cast<unsigned>(status));
        return status;
    }
    status = QLN_CHECK(OpenContentsTable(gal, columns.get(), table));
    if (FAILED(status))
        std::fprintf(stderr, accessFailure, static_cast<unsigned>(status));
    return status;
}

} // namespace ex2qln::directory
