// IMAPITable over an in-memory table or a row source: columns, restriction, sort order, cursor and
// bookmarks.
#include <algorithm>
#include <map>
#include <new>
#include <numeric>

#include <mapiutil.h>

#include "platform/mapi/core/ComObject.h"
#include "platform/mapi/core/PropValues.h"
#include "platform/mapi/core/Restriction.h"
#include "platform/mapi/core/RowSource.h"
#include "platform/mapi/core/TableData.h"

namespace mapi {
namespace {

class TableView final : public ComObject<IMAPITable> {
public:
    TableView(std::shared_ptr<TableStore> store, ITableData* owner, CALLERRELEASE* release, ULONG callerData)
        : store_(std::move(store)), release_(release), callerData_(callerData)
    {
        if (owner != nullptr) {
            owner->AddRef();
            owner_.reset(owner);
        }
        columns_ = store_->defaultColumns;
    }

    ~TableView() override
    {
        if (release_ != nullptr)
            release_(callerData_, owner_.get(), this);
    }

    HRESULT SetSortOrder(const SSortOrderSet* sortOrder)
    {
        if (sortOrder == nullptr)
            return S_OK;
        if (sortOrder->cCategories > 0)
            return MAPI_E_TOO_COMPLEX;
        sort_.assign(sortOrder->aSort, sortOrder->aSort + sortOrder->cSorts);
        stale_ = true;
        return S_OK;
    }

    HRESULT QueryInterface(REFIID riid, LPVOID* ppvObj) override
    {
        return QueryFor(riid, ppvObj, {&IID_IUnknown, &IID_IMAPITable});
    }

    HRESULT GetLastError(HRESULT, ULONG, LPMAPIERROR* lppMAPIError) override { return NoLastError(lppMAPIError); }

    HRESULT Advise(ULONG, LPMAPIADVISESINK, ULONG*) override { return MAPI_E_NO_SUPPORT; }
    HRESULT Unadvise(ULONG) override { return MAPI_E_NO_SUPPORT; }

    HRESULT GetStatus(ULONG* lpulTableStatus, ULONG* lpulTableType) override
    {
        if (lpulTableStatus == nullptr || lpulTableType == nullptr)
            return MAPI_E_INVALID_PARAMETER;
        *lpulTableStatus = TBLSTAT_COMPLETE;
        *lpulTableType = store_->tableType;
        return S_OK;
    }

    HRESULT SetColumns(LPSPropTagArray lpPropTagArray, ULONG) override
    {
        if (lpPropTagArray == nullptr || lpPropTagArray->cValues == 0)
            return MAPI_E_INVALID_PARAMETER;
        std::lock_guard lock(mutex_);
        columns_.assign(lpPropTagArray->aulPropTag, lpPropTagArray->aulPropTag + lpPropTagArray->cValues);
        return S_OK;
    }

    HRESULT QueryColumns(ULONG ulFlags, LPSPropTagArray* lpPropTagArray) override
    {
        if (lpPropTagArray == nullptr)
            return MAPI_E_INVALID_PARAMETER;
        *lpPropTagArray = nullptr;
        std::vector<ULONG> columns;
        {
            std::lock_guard lock(mutex_);
            columns = columns_;
            if ((ulFlags & TBL_ALL_COLUMNS) != 0) {
                HRESULT found = AllColumns(columns);
                if (FAILED(found))
                    return found;
            }
        }
        void* buffer = nullptr;
        SCODE status = store_->allocateBuffer(static_cast<ULONG>(CbNewSPropTagArray(columns.size())), &buffer);
        if (status != S_OK)
            return status;
        auto* tags = static_cast<LPSPropTagArray>(buffer);
        tags->cValues = static_cast<ULONG>(columns.size());
        std::copy(columns.begin(), columns.end(), tags->aulPropTag);
        *lpPropTagArray = tags;
        return S_OK;
    }

    HRESULT GetRowCount(ULONG, ULONG* lpulCount) override
    {
        if (lpulCount == nullptr)
            return MAPI_E_INVALID_PARAMETER;
        std::lock_guard lock(mutex_);
        HRESULT status = Refresh();
        if (FAILED(status))
            return status;
        *lpulCount = static_cast<ULONG>(visible_.size());
        return S_OK;
    }

    HRESULT SeekRow(BOOKMARK bkOrigin, LONG lRowCount, LONG* lplRowsSought) override
    {
        std::lock_guard lock(mutex_);
        HRESULT status = Refresh();
        if (FAILED(status))
            return status;
        std::size_t base = 0;
        status = Origin(bkOrigin, base);
        if (status != S_OK)
            return status;
        long long target = std::clamp<long long>(static_cast<long long>(base) + lRowCount, 0,
                                                 static_cast<long long>(visible_.size()));
        position_ = static_cast<std::size_t>(target);
        if (lplRowsSought != nullptr)
            *lplRowsSought = static_cast<LONG>(target - static_cast<long long>(base));
        return S_OK;
    }

    HRESULT SeekRowApprox(ULONG ulNumerator, ULONG ulDenominator) override
    {
        if (ulDenominator == 0 || ulNumerator > ulDenominator)
            return MAPI_E_INVALID_PARAMETER;
        std::lock_guard lock(mutex_);
        HRESULT status = Refresh();
        if (FAILED(status))
            return status;
        position_ = static_cast<std::size_t>(static_cast<ULONGLONG>(visible_.size()) * ulNumerator / ulDenominator);
        return S_OK;
    }

    HRESULT QueryPosition(ULONG* lpulRow, ULONG* lpulNumerator, ULONG* lpulDenominator) override
    {
        if (lpulRow == nullptr || lpulNumerator == nullptr || lpulDenominator == nullptr)
            return MAPI_E_INVALID_PARAMETER;
        std::lock_guard lock(mutex_);
        HRESULT status = Refresh();
        if (FAILED(status))
            return status;
        *lpulRow = static_cast<ULONG>(position_);
        *lpulNumerator = static_cast<ULONG>(position_);
        *lpulDenominator = std::max<ULONG>(static_cast<ULONG>(visible_.size()), 1);
        return S_OK;
    }

    HRESULT FindRow(LPSRestriction lpRestriction, BOOKMARK bkOrigin, ULONG ulFlags) override
    {
        if (lpRestriction == nullptr)
            return MAPI_E_INVALID_PARAMETER;
        HRESULT status = CheckRestriction(*lpRestriction);
        if (status != S_OK)
            return status;
        std::lock_guard lock(mutex_);
        status = Refresh();
        if (FAILED(status))
            return status;
        std::size_t base = 0;
        status = Origin(bkOrigin, base);
        if (status != S_OK)
            return status;
        std::vector<ULONG> tags;
        RestrictionTags(*lpRestriction, tags);
        auto matchesAt = [&](std::size_t at) -> HRESULT {
            RowPointer row;
            HRESULT read = ReadRow(visible_[at], &tags, row);
            if (FAILED(read))
                return read;
            if (!Matches(*lpRestriction, row->span()))
                return S_FALSE;
            position_ = at;
            return S_OK;
        };
        if ((ulFlags & DIR_BACKWARD) != 0) {
            for (std::size_t i = base; i > 0; --i) {
                if ((status = matchesAt(i - 1)) != S_FALSE)
                    return status;
            }
            return MAPI_E_NOT_FOUND;
        }
        for (std::size_t i = base; i < visible_.size(); ++i) {
            if ((status = matchesAt(i)) != S_FALSE)
                return status;
        }
        return MAPI_E_NOT_FOUND;
    }

    HRESULT Restrict(LPSRestriction lpRestriction, ULONG) override
    {
        MapiBuffer<SRestriction> copy;
        if (lpRestriction != nullptr) {
            HRESULT status = CheckRestriction(*lpRestriction);
            if (status != S_OK)
                return status;
            status = MAPIAllocateBuffer(sizeof(SRestriction), copy.put_void());
            if (status != S_OK)
                return status;
            status = CopyRestriction(*copy.get(), *lpRestriction, copy.get());
            if (status != S_OK)
                return status;
        }
        std::lock_guard lock(mutex_);
        restriction_ = std::move(copy);
        stale_ = true;
        position_ = 0;
        return S_OK;
    }

    HRESULT CreateBookmark(BOOKMARK* lpbkPosition) override
    {
        if (lpbkPosition == nullptr)
            return MAPI_E_INVALID_PARAMETER;
        std::lock_guard lock(mutex_);
        BOOKMARK bookmark = nextBookmark_++;
        bookmarks_[bookmark] = position_;
        *lpbkPosition = bookmark;
        return S_OK;
    }

    HRESULT FreeBookmark(BOOKMARK bkPosition) override
    {
        if (bkPosition <= BOOKMARK_END)
            return S_OK;
        std::lock_guard lock(mutex_);
        return bookmarks_.erase(bkPosition) == 1 ? S_OK : MAPI_E_INVALID_BOOKMARK;
    }

    HRESULT SortTable(LPSSortOrderSet lpSortCriteria, ULONG) override
    {
        if (lpSortCriteria == nullptr)
            return MAPI_E_INVALID_PARAMETER;
        std::lock_guard lock(mutex_);
        HRESULT status = SetSortOrder(lpSortCriteria);
        if (status == S_OK)
            position_ = 0;
        return status;
    }

    HRESULT QuerySortOrder(LPSSortOrderSet* lppSortCriteria) override
    {
        if (lppSortCriteria == nullptr)
            return MAPI_E_INVALID_PARAMETER;
        *lppSortCriteria = nullptr;
        std::lock_guard lock(mutex_);
        void* buffer = nullptr;
        SCODE status = store_->allocateBuffer(static_cast<ULONG>(CbNewSSortOrderSet(sort_.size())), &buffer);
        if (status != S_OK)
            return status;
        auto* sortOrder = static_cast<LPSSortOrderSet>(buffer);
        sortOrder->cSorts = static_cast<ULONG>(sort_.size());
        sortOrder->cCategories = 0;
        sortOrder->cExpanded = 0;
        std::copy(sort_.begin(), sort_.end(), sortOrder->aSort);
        *lppSortCriteria = sortOrder;
        return S_OK;
    }

    HRESULT QueryRows(LONG lRowCount, ULONG ulFlags, LPSRowSet* lppRows) override
    {
        if (lppRows == nullptr)
            return MAPI_E_INVALID_PARAMETER;
        *lppRows = nullptr;
        std::lock_guard lock(mutex_);
        HRESULT status = Refresh();
        if (FAILED(status))
            return status;
        std::size_t first = position_;
        std::size_t count = 0;
        if (lRowCount >= 0) {
            count = std::min<std::size_t>(static_cast<std::size_t>(lRowCount), visible_.size() - position_);
        } else {
            std::size_t back = std::min<std::size_t>(static_cast<std::size_t>(-static_cast<long long>(lRowCount)),
                                                     position_);
            first = position_ - back;
            count = back;
        }
        status = BuildRows(first, count, lppRows);
        if (status != S_OK || (ulFlags & TBL_NOADVANCE) != 0)
            return status;
        position_ = lRowCount >= 0 ? first + count : first;
        return S_OK;
    }

    HRESULT Abort() override { return S_OK; }

    HRESULT ExpandRow(ULONG, LPBYTE, ULONG, ULONG, LPSRowSet* lppRows, ULONG*) override
    {
        if (lppRows != nullptr)
            *lppRows = nullptr;
        return MAPI_E_NO_SUPPORT;
    }
    HRESULT CollapseRow(ULONG, LPBYTE, ULONG, ULONG*) override { return MAPI_E_NO_SUPPORT; }

    HRESULT WaitForCompletion(ULONG, ULONG, ULONG* lpulTableStatus) override
    {
        if (lpulTableStatus != nullptr)
            *lpulTableStatus = TBLSTAT_COMPLETE;
        return S_OK;
    }

    HRESULT GetCollapseState(ULONG, ULONG, LPBYTE, ULONG*, LPBYTE*) override { return MAPI_E_NO_SUPPORT; }
    HRESULT SetCollapseState(ULONG, ULONG, LPBYTE, BOOKMARK*) override { return MAPI_E_NO_SUPPORT; }

private:
    // The rows seen through the restriction and sort order (as row numbers), renewed when either
    // changed or, for kept rows, when the rows did.
    HRESULT Refresh()
    {
        std::size_t count = 0;
        if (store_->source) {
            if (!stale_)
                return S_OK;
            count = store_->source->RowCount();
        } else {
            std::lock_guard storeLock(store_->mutex);
            if (!stale_ && seenVersion_ == store_->version)
                return S_OK;
            snapshot_ = store_->rows;
            seenVersion_ = store_->version;
            count = snapshot_.size();
        }
        std::vector<ULONG> tags;
        if (restriction_)
            RestrictionTags(*restriction_.get(), tags);
        std::vector<std::size_t> visible;
        for (std::size_t i = 0; i < count; ++i) {
            if (restriction_) {
                RowPointer row;
                HRESULT status = ReadRow(i, &tags, row);
                if (FAILED(status))
                    return status;
                if (!Matches(*restriction_.get(), row->span()))
                    continue;
            }
            visible.push_back(i);
        }
        if (!sort_.empty()) {
            HRESULT status = Sort(visible);
            if (FAILED(status))
                return status;
        }
        visible_ = std::move(visible);
        stale_ = false;
        position_ = std::min(position_, visible_.size());
        return S_OK;
    }

    // A kept row, or one the source reads.
    HRESULT ReadRow(std::size_t index, const std::vector<ULONG>* wanted, RowPointer& row)
    {
        if (!store_->source) {
            row = snapshot_[index];
            return S_OK;
        }
        HRESULT status = store_->source->ReadRow(index, wanted, row);
        if (SUCCEEDED(status) && row == nullptr)
            return MAPI_E_CALL_FAILED;
        return status;
    }

    // Orders row numbers by the sort keys. Of a source's rows only the key values are kept, and only
    // while sorting.
    HRESULT Sort(std::vector<std::size_t>& rows)
    {
        std::vector<ULONG> tags;
        for (const SSortOrder& key : sort_)
            tags.push_back(key.ulPropTag);
        std::vector<RowPointer> keys(rows.size());
        for (std::size_t i = 0; i < rows.size(); ++i) {
            HRESULT status = ReadRow(rows[i], &tags, keys[i]);
            if (FAILED(status))
                return status;
            if (store_->source && (status = KeepOnly(tags, keys[i])) != S_OK)
                return status;
        }
        std::vector<std::size_t> order(rows.size());
        std::iota(order.begin(), order.end(), 0);
        std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return SortsBefore(*keys[a], *keys[b]); });
        std::vector<std::size_t> sorted;
        sorted.reserve(rows.size());
        for (std::size_t i : order)
            sorted.push_back(rows[i]);
        rows = std::move(sorted);
        return S_OK;
    }

    // The row with only the values of `tags`.
    static SCODE KeepOnly(const std::vector<ULONG>& tags, RowPointer& row)
    {
        std::vector<SPropValue> kept;
        for (ULONG tag : tags) {
            if (const SPropValue* value = FindById(row->span(), tag))
                kept.push_back(*value);
        }
        return NewTableRow(kept, row);
    }

    // Rows without a sort column's value come after those that have it.
    bool SortsBefore(const TableRow& a, const TableRow& b) const
    {
        for (const SSortOrder& key : sort_) {
            const SPropValue* x = FindById(a.span(), key.ulPropTag);
            const SPropValue* y = FindById(b.span(), key.ulPropTag);
            bool hasX = x != nullptr && PROP_TYPE(x->ulPropTag) != PT_ERROR;
            bool hasY = y != nullptr && PROP_TYPE(y->ulPropTag) != PT_ERROR;
            if (hasX != hasY)
                return hasX;
            if (!hasX)
                continue;
            std::optional<int> order = CompareValues(*x, *y, true);
            if (!order || *order == 0)
                continue;
            return (key.ulOrder & TABLE_SORT_DESCEND) != 0 ? *order > 0 : *order < 0;
        }
        return false;
    }

    HRESULT Origin(BOOKMARK bookmark, std::size_t& base) const
    {
        if (bookmark == BOOKMARK_BEGINNING) {
            base = 0;
        } else if (bookmark == BOOKMARK_CURRENT) {
            base = position_;
        } else if (bookmark == BOOKMARK_END) {
            base = visible_.size();
        } else {
            auto found = bookmarks_.find(bookmark);
            if (found == bookmarks_.end())
                return MAPI_E_INVALID_BOOKMARK;
            base = std::min(found->second, visible_.size());
        }
        return S_OK;
    }

    // The columns `columns` starts with, then every other property a row has; a source's rows are
    // each read for it.
    HRESULT AllColumns(std::vector<ULONG>& columns)
    {
        columns = store_->defaultColumns;
        auto add = [&columns](const TableRow& row) {
            for (const SPropValue& value : row.span()) {
                bool known = std::any_of(columns.begin(), columns.end(), [&](ULONG tag) {
                    return PROP_ID(tag) == PROP_ID(value.ulPropTag);
                });
                if (!known && PROP_TYPE(value.ulPropTag) != PT_ERROR)
                    columns.push_back(value.ulPropTag);
            }
        };
        if (!store_->source) {
            std::lock_guard storeLock(store_->mutex);
            for (const RowPointer& row : store_->rows)
                add(*row);
            return S_OK;
        }
        for (std::size_t i = 0; i < store_->source->RowCount(); ++i) {
            RowPointer row;
            HRESULT status = ReadRow(i, nullptr, row);
            if (FAILED(status))
                return status;
            add(*row);
        }
        return S_OK;
    }

    HRESULT BuildRows(std::size_t first, std::size_t count, LPSRowSet* result)
    {
        void* buffer = nullptr;
        SCODE status = store_->allocateBuffer(static_cast<ULONG>(CbNewSRowSet(std::max<std::size_t>(count, 1))),
                                              &buffer);
        if (status != S_OK)
            return status;
        auto* rows = static_cast<LPSRowSet>(buffer);
        rows->cRows = 0;
        for (std::size_t i = 0; i < count; ++i) {
            RowPointer row;
            status = ReadRow(visible_[first + i], &columns_, row);
            if (SUCCEEDED(status))
                status = AnswerRow(*store_, row->span(), columns_, rows->aRow[i]);
            if (FAILED(status)) {
                for (ULONG done = 0; done < rows->cRows; ++done)
                    store_->freeBuffer(rows->aRow[done].lpProps);
                store_->freeBuffer(rows);
                return status;
            }
            ++rows->cRows;
        }
        *result = rows;
        return S_OK;
    }

    std::shared_ptr<TableStore> store_;
    MapiPtr<ITableData> owner_;
    CALLERRELEASE* release_;
    ULONG callerData_;

    std::mutex mutex_;
    std::vector<ULONG> columns_;
    MapiBuffer<SRestriction> restriction_;
    std::vector<SSortOrder> sort_;
    std::vector<RowPointer> snapshot_;    // kept rows: the store's rows when last seen
    std::vector<std::size_t> visible_;  // row numbers, in the order the view shows them
    std::uint64_t seenVersion_ = 0;
    bool stale_ = true;
    std::size_t position_ = 0;
    std::map<BOOKMARK, std::size_t> bookmarks_;
    BOOKMARK nextBookmark_ = BOOKMARK_END + 1;
};

} // namespace

SCODE AnswerRow(const TableStore& store, std::span<const SPropValue> stored, std::span<const ULONG> columns,
                SRow& answer)
{
    answer = SRow{};
    void* buffer = nullptr;
    SCODE status = store.allocateBuffer(static_cast<ULONG>(std::max<std::size_t>(columns.size(), 1) * sizeof(SPropValue)),
                                        &buffer);
    if (status != S_OK)
        return status;
    auto* values = static_cast<LPSPropValue>(buffer);
    ChainAllocator allocator(store.allocateMore, buffer);
    for (std::size_t i = 0; i < columns.size(); ++i) {
        const SPropValue* value = FindById(stored, columns[i]);
        if (value != nullptr && PROP_TYPE(value->ulPropTag) == PT_ERROR)
            value = nullptr;
        status = AnswerValue(value, columns[i], values[i], allocator);
        if (FAILED(status)) {
            store.freeBuffer(buffer);
            return status;
        }
    }
    answer.cValues = static_cast<ULONG>(columns.size());
    answer.lpProps = values;
    return S_OK;
}

HRESULT CreateTableView(std::shared_ptr<TableStore> store, ITableData* owner, const SSortOrderSet* sortOrder,
                        CALLERRELEASE* release, ULONG callerData, LPMAPITABLE* result)
{
    if (result == nullptr)
        return MAPI_E_INVALID_PARAMETER;
    *result = nullptr;
    if (sortOrder != nullptr && sortOrder->cCategories > 0)
        return MAPI_E_TOO_COMPLEX;
    auto* view = new (std::nothrow) TableView(std::move(store), owner, release, callerData);
    if (view == nullptr)
        return MAPI_E_NOT_ENOUGH_MEMORY;
    view->SetSortOrder(sortOrder);
    *result = view;
    return S_OK;
}

HRESULT CreateSourceTable(std::shared_ptr<RowSource> source, ULONG tableType, std::vector<ULONG> columns,
                          LPMAPITABLE* result)
{
    if (result == nullptr || source == nullptr)
        return MAPI_E_INVALID_PARAMETER;
    *result = nullptr;
    try {
        auto store = std::make_shared<TableStore>();
        store->allocateBuffer = MAPIAllocateBuffer;
        store->allocateMore = MAPIAllocateMore;
        store->freeBuffer = MAPIFreeBuffer;
        store->tableType = tableType;
        store->indexTag = PR_NULL;
        store->defaultColumns = std::move(columns);
        store->source = std::move(source);
        return CreateTableView(std::move(store), nullptr, nullptr, nullptr, 0, result);
    } catch (const std::bad_alloc&) {
        return MAPI_E_NOT_ENOUGH_MEMORY;
    }
}

} // namespace mapi
