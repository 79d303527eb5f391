// Contents and hierarchy tables over a folder's index: rows read as views ask for them.
#include "platform/mapi/provider/FolderTables.h"

#include <mapitags.h>

#include <algorithm>
#include <deque>
#include <new>

#include "platform/mapi/core/Guard.h"
#include "platform/mapi/core/PropValues.h"
#include "platform/mapi/core/RowSource.h"
#include "platform/mapi/provider/ModelValues.h"
#include "platform/mapi/provider/ProviderTable.h"
#include "platform/mapi/provider/StoreObjects.h"

namespace mapi {
namespace {

// Exchange gives at most this many characters of a string in a contents table.
constexpr std::size_t kTableStringLimit = 255;
// Rows of read messages kept, so that a view that reads the same rows again (another batch of
// columns, FindRow after QueryRows) does not read the messages again.
constexpr std::size_t kKeptMessageRows = 32;
// What a contents row holds without reading its message.
constexpr ULONG kIndexColumns[] = {PR_INSTANCE_KEY, PR_ENTRYID, PR_PARENT_ENTRYID, PR_OBJECT_TYPE, PR_STORE_ENTRYID,
                                   PR_MDB_PROVIDER};

// The bodies are opened, not listed, and objects are never values.
bool IsTableColumn(ULONG tag)
{
    ULONG id = PROP_ID(tag);
    return PROP_TYPE(tag) != PT_OBJECT && id != PROP_ID(PR_BODY) && id != PROP_ID(PR_RTF_COMPRESSED) &&
           id != PROP_ID(PR_HTML);
}

bool Wants(const std::vector<ULONG>* wanted, ULONG tag)
{
    return wanted == nullptr ||
           std::any_of(wanted->begin(), wanted->end(), [tag](ULONG each) { return PROP_ID(each) == PROP_ID(tag); });
}

// Cuts long strings where a table cuts them, in place (the values are the caller's copy).
void CutLongStrings(std::span<SPropValue> values)
{
    for (SPropValue& value : values) {
        if (PROP_TYPE(value.ulPropTag) == PT_UNICODE && value.Value.lpszW != nullptr) {
            std::size_t length = std::char_traits<char16_t>::length(value.Value.lpszW);
            if (length <= kTableStringLimit)
                continue;
            std::size_t cut = kTableStringLimit;
            if (value.Value.lpszW[cut - 1] >= 0xD800 && value.Value.lpszW[cut - 1] < 0xDC00)
                --cut;  // no half of a surrogate pair
            value.Value.lpszW[cut] = 0;
        }
    }
}

class ContentsRows final : public RowSource {
public:
    ContentsRows(OrgContextPointer context, const org::ObjectLocation& folder, bool associated)
        : context_(std::move(context)), location_(folder)
    {
        location_.kind = org::EntryIdKind::Message;
        location_.associated = associated;
        const org::Folder* found = context_->Org().FolderAt(folder);
        count_ = found == nullptr ? 0 : (associated ? found->associated : found->messages).size();
    }

    std::size_t RowCount() const override { return count_; }

    HRESULT ReadRow(std::size_t index, const std::vector<ULONG>* wanted, RowPointer& row) override
    {
        return Guard([&]() -> HRESULT {
            location_.messageIndex = index;
            bool indexOnly = wanted != nullptr && std::all_of(wanted->begin(), wanted->end(), [](ULONG tag) {
                return std::any_of(std::begin(kIndexColumns), std::end(kIndexColumns),
                                   [tag](ULONG known) { return PROP_ID(known) == PROP_ID(tag); });
            });
            if (indexOnly)
                return IndexRow(index, row);
            auto kept = std::find_if(kept_.begin(), kept_.end(), [index](const auto& entry) { return entry.first == index; });
            if (kept != kept_.end()) {
                row = kept->second;
                return S_OK;
            }
            HRESULT status = MessageRow(index, row);
            if (status == MAPI_E_NOT_ENOUGH_MEMORY || status == E_OUTOFMEMORY)
                return status;
            if (FAILED(status) && FAILED(status = IndexRow(index, row)))
                return status;
            if (kept_.size() == kKeptMessageRows)
                kept_.pop_front();
            kept_.emplace_back(index, row);
            return S_OK;
        });
    }

private:
    HRESULT IndexRow(std::size_t index, RowPointer& row) const
    {
        const org::Store& store = context_->Org().stores[location_.storeIndex];
        RowValues values;
        SPropValue known[] = {values.InstanceKey(static_cast<ULONG>(index)),
                              values.Binary(PR_ENTRYID, context_->Org().MessageEntryId(location_)),
                              values.Binary(PR_PARENT_ENTRYID, context_->Org().FolderAt(location_)->entryId),
                              values.Long(PR_OBJECT_TYPE, MAPI_MESSAGE),
                              values.Binary(PR_STORE_ENTRYID, store.entryId),
                              values.Binary(PR_MDB_PROVIDER, std::span<const BYTE>(org::StoreProviderUid(store.kind)))};
        return NewTableRow(known, row);
    }

    // The values the opened message shows, in UTF-16, where strings can be cut safely; the table
    // gives each column in the form it is asked for.
    HRESULT MessageRow(std::size_t index, RowPointer& row) const
    {
        MapiPtr<IMessage> message;
        std::string error;
        HRESULT status = OpenOrgMessage(context_, location_, 0, message.put(), error);
        if (FAILED(status))
            return status;
        MapiBuffer<SPropTagArray> listed;
        status = message->GetPropList(MAPI_UNICODE, listed.put());
        if (FAILED(status))
            return status;
        std::vector<ULONG> tags;
        for (ULONG i = 0; i < listed->cValues; ++i) {
            if (IsTableColumn(listed->aulPropTag[i]))
                tags.push_back(listed->aulPropTag[i]);
        }
        MapiBuffer<SPropTagArray> wanted;
        status = NewTagArray(tags, wanted.put());
        if (status != S_OK)
            return status;
        ULONG count = 0;
        MapiBuffer<SPropValue> values;
        status = message->GetProps(wanted.get(), MAPI_UNICODE, &count, values.put());
        if (FAILED(status))
            return status;
        std::span<SPropValue> answered(values.get(), count);
        CutLongStrings(answered);
        RowValues keys;
        std::vector<SPropValue> shown;
        for (const SPropValue& value : answered) {
            if (PROP_TYPE(value.ulPropTag) != PT_ERROR)
                shown.push_back(value);
        }
        shown.push_back(keys.InstanceKey(static_cast<ULONG>(index)));
        return NewTableRow(shown, row);
    }

    OrgContextPointer context_;
    org::ObjectLocation location_;  // of the row being read
    std::size_t count_ = 0;
    std::deque<std::pair<std::size_t, RowPointer>> kept_;
};

class HierarchyRows final : public RowSource {
public:
    HierarchyRows(OrgContextPointer context, const org::ObjectLocation& folder, bool deep) : context_(std::move(context))
    {
        const org::Folder* parent = context_->Org().FolderAt(folder);
        if (parent != nullptr)
            Collect(*parent, folder, 0, deep);
    }

    std::size_t RowCount() const override { return folders_.size(); }

    HRESULT ReadRow(std::size_t index, const std::vector<ULONG>* wanted, RowPointer& row) override
    {
        return Guard([&]() -> HRESULT {
            const auto& [location, depth] = folders_.at(index);
            const org::Folder& folder = *context_->Org().FolderAt(location);
            PropertyBag bag = FolderValues(*context_, location.storeIndex, folder);
            RowValues extra;
            if (Wants(wanted, PR_CONTENT_UNREAD))
                Put(bag, extra.Long(PR_CONTENT_UNREAD, context_->UnreadMessages(location)));
            std::vector<SPropValue> values = bag.Values();
            values.push_back(extra.InstanceKey(static_cast<ULONG>(index)));
            values.push_back(extra.Long(PR_DEPTH, depth));
            values.push_back(extra.Binary(PR_LONGTERM_ENTRYID_FROM_TABLE, folder.entryId));
            return NewTableRow(values, row);
        });
    }

private:
    void Collect(const org::Folder& parent, const org::ObjectLocation& at, LONG depth, bool deep)
    {
        org::ObjectLocation child = at;
        child.folderPath.push_back(0);
        for (std::size_t i = 0; i < parent.folders.size(); ++i) {
            child.folderPath.back() = i;
            folders_.emplace_back(child, depth);
            if (deep)
                Collect(parent.folders[i], child, depth + 1, deep);
        }
    }

    OrgContextPointer context_;
    std::vector<std::pair<org::ObjectLocation, LONG>> folders_;
};

} // namespace

PropertyBag FolderValues(const OrgContext& context, std::size_t storeIndex, const org::Folder& folder)
{
    const org::Store& store = context.Org().stores[storeIndex];
    PropertyBag bag;
    if (LoadModelValues(folder.properties, &context.storeNamedIds[storeIndex], bag) != S_OK)
        throw std::bad_alloc();
    RowValues values;
    PutIfMissing(bag, values.Long(PR_OBJECT_TYPE, MAPI_FOLDER));
    PutIfMissing(bag, values.Binary(PR_RECORD_KEY, folder.entryId));
    PutIfMissing(bag, values.Binary(PR_STORE_ENTRYID, store.entryId));
    PutIfMissing(bag, values.Binary(PR_MDB_PROVIDER, std::span<const BYTE>(org::StoreProviderUid(store.kind))));
    PutIfMissing(bag, values.Long(PR_ACCESS, MAPI_ACCESS_READ));
    PutIfMissing(bag, values.Long(PR_ACCESS_LEVEL, 0));
    return bag;
}

HRESULT OpenContentsTable(const OrgContextPointer& context, const org::ObjectLocation& folder, bool associated,
                          ULONG flags, LPMAPITABLE* result)
{
    return Guard([&]() -> HRESULT {
        std::vector<ULONG> columns = ColumnsForFlags({PR_INSTANCE_KEY, PR_ENTRYID, PR_MESSAGE_CLASS_W, PR_SUBJECT_W,
                                                      PR_MESSAGE_FLAGS, PR_MESSAGE_SIZE, PR_MESSAGE_DELIVERY_TIME,
                                                      PR_HASATTACH},
                                                     flags);
        return CreateSourceTable(std::make_shared<ContentsRows>(context, folder, associated), TBLTYPE_SNAPSHOT,
                                 std::move(columns), result);
    });
}

HRESULT OpenHierarchyTable(const OrgContextPointer& context, const org::ObjectLocation& folder, ULONG flags,
                           LPMAPITABLE* result)
{
    return Guard([&]() -> HRESULT {
        std::vector<ULONG> columns = ColumnsForFlags({PR_INSTANCE_KEY, PR_ENTRYID, PR_DISPLAY_NAME_W, PR_CONTAINER_CLASS_W,
                                                      PR_CONTENT_COUNT, PR_CONTENT_UNREAD, PR_SUBFOLDERS,
                                                      PR_FOLDER_TYPE, PR_DEPTH, PR_OBJECT_TYPE},
                                                     flags);
        return CreateSourceTable(std::make_shared<HierarchyRows>(context, folder, (flags & CONVENIENT_DEPTH) != 0),
                                 TBLTYPE_SNAPSHOT, std::move(columns), result);
    });
}

} // namespace mapi
