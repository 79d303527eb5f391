// IMAPIFolder over a folder of the organisation: values, subfolders and messages.
#include "platform/mapi/provider/FolderObject.h"

#include <mapitags.h>

#include <new>

#include "platform/mapi/core/MessageFactory.h"
#include "platform/mapi/core/PropValues.h"
#include "platform/mapi/provider/ModelValues.h"
#include "platform/mapi/provider/ProviderProp.h"
#include "platform/mapi/provider/ProviderTable.h"
#include "platform/mapi/provider/StoreObjects.h"

namespace mapi {
namespace {

// Exchange gives at most this many characters of a string in a contents table.
constexpr std::size_t kTableStringLimit = 255;

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

// The bodies are opened, not listed, and objects are never values.
bool IsTableColumn(ULONG tag)
{
    ULONG id = PROP_ID(tag);
    return PROP_TYPE(tag) != PT_OBJECT && id != PROP_ID(PR_BODY) && id != PROP_ID(PR_RTF_COMPRESSED) &&
           id != PROP_ID(PR_HTML);
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

class FolderObject final : public ProviderProp<IMAPIFolder> {
public:
    FolderObject(OrgContextPointer context, std::size_t storeIndex, std::vector<std::size_t> folderPath, const org::Folder& folder)
        : ProviderProp(context->storeNames[storeIndex], FolderValues(*context, storeIndex, folder)),
          context_(std::move(context)),
          storeIndex_(storeIndex),
          path_(std::move(folderPath)),
          folder_(folder)
    {
    }

    HRESULT QueryInterface(REFIID riid, LPVOID* ppvObj) override
    {
        return QueryFor(riid, ppvObj, {&IID_IUnknown, &IID_IMAPIProp, &IID_IMAPIContainer, &IID_IMAPIFolder});
    }

    // MAPI_ASSOCIATED gives the hidden messages. Each row holds the message's values as an opened
    // message shows them, without its bodies and with strings cut as Exchange cuts them.
    HRESULT GetContentsTable(ULONG ulFlags, LPMAPITABLE* lppTable) override
    {
        if (lppTable == nullptr)
            return MAPI_E_INVALID_PARAMETER;
        *lppTable = nullptr;
        return Guard([&]() -> HRESULT {
            bool associated = (ulFlags & MAPI_ASSOCIATED) != 0;
            const std::vector<org::Message>& messages = associated ? folder_.associated : folder_.messages;
            std::vector<MapiBuffer<SPropValue>> kept;
            std::vector<std::vector<SPropValue>> rows;
            RowValues keys;
            for (std::size_t i = 0; i < messages.size(); ++i) {
                std::vector<SPropValue> row;
                HRESULT status = MessageRow(associated, i, kept, row);
                if (FAILED(status))
                    return status;
                row.push_back(keys.InstanceKey(static_cast<ULONG>(i)));
                rows.push_back(std::move(row));
            }
            std::vector<ULONG> columns = ColumnsForFlags({PR_INSTANCE_KEY, PR_ENTRYID, PR_MESSAGE_CLASS_W, PR_SUBJECT_W,
                                                          PR_MESSAGE_FLAGS, PR_MESSAGE_SIZE, PR_MESSAGE_DELIVERY_TIME,
                                                          PR_HASATTACH},
                                                         ulFlags);
            return MakeTable(PR_INSTANCE_KEY, columns, rows, lppTable);
        });
    }

    // CONVENIENT_DEPTH gives every folder below, depth first, with its PR_DEPTH from 0.
    HRESULT GetHierarchyTable(ULONG ulFlags, LPMAPITABLE* lppTable) override
    {
        if (lppTable == nullptr)
            return MAPI_E_INVALID_PARAMETER;
        *lppTable = nullptr;
        return Guard([&]() -> HRESULT {
            std::vector<PropertyBag> bags;
            std::vector<LONG> depths;
            Collect(folder_, 0, (ulFlags & CONVENIENT_DEPTH) != 0, bags, depths);
            RowValues extra;
            std::vector<std::vector<SPropValue>> rows;
            for (std::size_t i = 0; i < bags.size(); ++i) {
                std::vector<SPropValue> row = bags[i].Values();
                row.push_back(extra.InstanceKey(static_cast<ULONG>(i)));
                row.push_back(extra.Long(PR_DEPTH, depths[i]));
                if (const SPropValue* entryId = bags[i].Find(PR_ENTRYID); entryId != nullptr && entryId->ulPropTag == PR_ENTRYID)
                    row.push_back(extra.Binary(PR_LONGTERM_ENTRYID_FROM_TABLE, {entryId->Value.bin.lpb, entryId->Value.bin.cb}));
                rows.push_back(std::move(row));
            }
            std::vector<ULONG> columns = ColumnsForFlags({PR_INSTANCE_KEY, PR_ENTRYID, PR_DISPLAY_NAME_W, PR_CONTAINER_CLASS_W,
                                                          PR_CONTENT_COUNT, PR_CONTENT_UNREAD, PR_SUBFOLDERS,
                                                          PR_FOLDER_TYPE, PR_DEPTH, PR_OBJECT_TYPE},
                                                         ulFlags);
            return MakeTable(PR_INSTANCE_KEY, columns, rows, lppTable);
        });
    }

    HRESULT OpenEntry(ULONG cbEntryID, LPENTRYID lpEntryID, LPCIID lpInterface, ULONG ulFlags, ULONG* lpulObjType,
                      LPUNKNOWN* lppUnk) override
    {
        return OpenStoreEntry(context_, storeIndex_, cbEntryID, lpEntryID, lpInterface, ulFlags, lpulObjType, lppUnk);
    }

    HRESULT SetSearchCriteria(LPSRestriction, LPENTRYLIST, ULONG) override { return MAPI_E_NO_SUPPORT; }
    HRESULT GetSearchCriteria(ULONG, LPSRestriction*, LPENTRYLIST*, ULONG*) override { return MAPI_E_NO_SUPPORT; }

    // The organisation is never changed.
    HRESULT CreateMessage(LPCIID, ULONG, LPMESSAGE* lppMessage) override
    {
        if (lppMessage != nullptr)
            *lppMessage = nullptr;
        return MAPI_E_NO_ACCESS;
    }
    HRESULT CopyMessages(LPENTRYLIST, LPCIID, LPVOID, ULONG_PTR, LPMAPIPROGRESS, ULONG) override { return MAPI_E_NO_ACCESS; }
    HRESULT DeleteMessages(LPENTRYLIST, ULONG_PTR, LPMAPIPROGRESS, ULONG) override { return MAPI_E_NO_ACCESS; }
    HRESULT CreateFolder(ULONG, LPTSTR, LPTSTR, LPCIID, ULONG, IMAPIFolder** lppFolder) override
    {
        if (lppFolder != nullptr)
            *lppFolder = nullptr;
        return MAPI_E_NO_ACCESS;
    }
    HRESULT CopyFolder(ULONG, LPENTRYID, LPCIID, LPVOID, LPTSTR, ULONG_PTR, LPMAPIPROGRESS, ULONG) override
    {
        return MAPI_E_NO_ACCESS;
    }
    HRESULT DeleteFolder(ULONG, LPENTRYID, ULONG_PTR, LPMAPIPROGRESS, ULONG) override { return MAPI_E_NO_ACCESS; }
    HRESULT SetReadFlags(LPENTRYLIST, ULONG_PTR, LPMAPIPROGRESS, ULONG) override { return MAPI_E_NO_ACCESS; }
    HRESULT GetMessageStatus(ULONG, LPENTRYID, ULONG, ULONG*) override { return MAPI_E_NO_SUPPORT; }
    HRESULT SetMessageStatus(ULONG, LPENTRYID, ULONG, ULONG, ULONG*) override { return MAPI_E_NO_ACCESS; }
    HRESULT SaveContentsSort(LPSSortOrderSet, ULONG) override { return MAPI_E_NO_SUPPORT; }
    HRESULT EmptyFolder(ULONG_PTR, LPMAPIPROGRESS, ULONG) override { return MAPI_E_NO_ACCESS; }

protected:
    HRESULT OpenTable(ULONG tag, ULONG flags, LPMAPITABLE* result) override
    {
        ULONG unicode = flags & MAPI_UNICODE;
        if (PROP_ID(tag) == PROP_ID(PR_CONTAINER_CONTENTS))
            return GetContentsTable(unicode, result);
        if (PROP_ID(tag) == PROP_ID(PR_FOLDER_ASSOCIATED_CONTENTS))
            return GetContentsTable(unicode | MAPI_ASSOCIATED, result);
        if (PROP_ID(tag) == PROP_ID(PR_CONTAINER_HIERARCHY))
            return GetHierarchyTable(unicode, result);
        return MAPI_E_NO_SUPPORT;
    }

private:
    void Collect(const org::Folder& parent, LONG depth, bool deep, std::vector<PropertyBag>& bags, std::vector<LONG>& depths) const
    {
        for (const org::Folder& child : parent.folders) {
            bags.push_back(FolderValues(*context_, storeIndex_, child));
            depths.push_back(depth);
            if (deep)
                Collect(child, depth + 1, deep, bags, depths);
        }
    }

    // The values are taken in UTF-16, where strings can be cut safely; the table gives each
    // column in the form it is asked for.
    HRESULT MessageRow(bool associated, std::size_t index, std::vector<MapiBuffer<SPropValue>>& kept,
                       std::vector<SPropValue>& row) const
    {
        org::ObjectLocation location;
        location.kind = org::EntryIdKind::Message;
        location.storeIndex = storeIndex_;
        location.folderPath = path_;
        location.associated = associated;
        location.messageIndex = index;
        MapiPtr<IMessage> message;
        ULONG type = 0;
        const org::Message* model = context_->Org().MessageAt(location);
        if (model == nullptr)
            return MAPI_E_NOT_FOUND;
        HRESULT status = OpenStoreEntry(context_, storeIndex_, static_cast<ULONG>(model->entryId.size()),
                                        reinterpret_cast<LPENTRYID>(const_cast<BYTE*>(model->entryId.data())), &IID_IMessage,
                                        0, &type, message.put_unknown());
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
        SCODE allocated = MAPIAllocateBuffer(static_cast<ULONG>(CbNewSPropTagArray(tags.size())), wanted.put_void());
        if (allocated != S_OK)
            return allocated;
        wanted->cValues = static_cast<ULONG>(tags.size());
        std::copy(tags.begin(), tags.end(), wanted->aulPropTag);
        ULONG count = 0;
        MapiBuffer<SPropValue> values;
        status = message->GetProps(wanted.get(), MAPI_UNICODE, &count, values.put());
        if (FAILED(status))
            return status;
        std::span<SPropValue> answered(values.get(), count);
        CutLongStrings(answered);
        for (const SPropValue& value : answered) {
            if (PROP_TYPE(value.ulPropTag) != PT_ERROR)
                row.push_back(value);
        }
        kept.push_back(std::move(values));
        return S_OK;
    }

    OrgContextPointer context_;
    std::size_t storeIndex_;
    std::vector<std::size_t> path_;
    const org::Folder& folder_;
};

} // namespace

HRESULT OpenFolderObject(const OrgContextPointer& context, std::size_t storeIndex, std::vector<std::size_t> folderPath,
                         LPCIID lpInterface, ULONG* lpulObjType, LPUNKNOWN* lppUnk)
{
    if (lppUnk == nullptr)
        return MAPI_E_INVALID_PARAMETER;
    *lppUnk = nullptr;
    return Guard([&]() -> HRESULT {
        org::ObjectLocation location;
        location.kind = org::EntryIdKind::Folder;
        location.storeIndex = storeIndex;
        location.folderPath = folderPath;
        const org::Folder* folder = context->Org().FolderAt(location);
        if (folder == nullptr)
            return MAPI_E_NOT_FOUND;
        return HandOut(new FolderObject(context, storeIndex, std::move(folderPath), *folder), lpInterface, MAPI_FOLDER,
                       lpulObjType, lppUnk);
    });
}

} // namespace mapi
