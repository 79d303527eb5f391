// IMsgStore and IExchangeManageStore over the organisation's stores, and opening their entries.
#include "platform/mapi/provider/StoreObjects.h"

#include <edkmdb.h>
#include <mapitags.h>

#include <cstring>
#include <new>

#include "platform/mapi/core/MessageFactory.h"
#include "platform/mapi/core/PropValues.h"
#include "platform/mapi/provider/FolderObject.h"
#include "platform/mapi/provider/ModelValues.h"
#include "platform/mapi/provider/ProviderProp.h"
#include "platform/mapi/provider/ProviderTable.h"

namespace mapi {
namespace {

// What the stores served from an organisation can do; the public folders also say what they are.
constexpr LONG kStoreSupport = STORE_ENTRYID_UNIQUE | STORE_READONLY | STORE_ATTACH_OK | STORE_OLE_OK |
                               STORE_MV_PROPS_OK | STORE_RTF_OK | STORE_RESTRICTION_OK | STORE_HTML_OK |
                               STORE_ANSI_OK | STORE_UNICODE_OK;

PropertyBag StoreValues(const OrgContext& context, std::size_t storeIndex)
{
    const org::Store& store = context.Org().stores[storeIndex];
    PropertyBag bag;
    if (LoadModelValues(store.properties, &context.storeNamedIds[storeIndex], bag) != S_OK)
        throw std::bad_alloc();
    RowValues values;
    bool isPublic = store.kind == org::StoreKind::PublicFolders;
    PutIfMissing(bag, values.Long(PR_OBJECT_TYPE, MAPI_STORE));
    PutIfMissing(bag, values.Binary(PR_STORE_ENTRYID, store.entryId));
    PutIfMissing(bag, values.Binary(PR_RECORD_KEY, store.entryId));
    const SPropValue* recordKey = bag.Find(PR_RECORD_KEY);
    if (recordKey != nullptr && PROP_TYPE(recordKey->ulPropTag) == PT_BINARY)
        PutIfMissing(bag, values.Binary(PR_STORE_RECORD_KEY, {recordKey->Value.bin.lpb, recordKey->Value.bin.cb}));
    PutIfMissing(bag, values.Long(PR_STORE_SUPPORT_MASK, kStoreSupport | (isPublic ? STORE_PUBLIC_FOLDERS : 0)));
    PutIfMissing(bag, values.Boolean(PR_DEFAULT_STORE, context.mailbox && *context.mailbox == storeIndex));
    return bag;
}

class StoreObject;

// The mailbox management interface of a store: entry identifiers of any mailbox.
class ManageStore final : public ComObject<IExchangeManageStore> {
public:
    explicit ManageStore(MapiPtr<IMsgStore> store) : store_(std::move(store)) {}

    HRESULT QueryInterface(REFIID riid, LPVOID* ppvObj) override
    {
        if (riid == IID_IExchangeManageStore || riid == IID_IUnknown)
            return QueryFor(riid, ppvObj, {&riid});
        return store_->QueryInterface(riid, ppvObj);
    }

    // The flags (admin privilege, home logon, ownership) change nothing here: every mailbox of
    // the organisation can be read. A mailbox that the organisation lacks fails at OpenMsgStore.
    HRESULT CreateStoreEntryID(LPSTR lpszMsgStoreDN, LPSTR lpszMailboxDN, ULONG ulFlags, ULONG* lpcbEntryID,
                               LPENTRYID* lppEntryID) override
    {
        if (lpcbEntryID == nullptr || lppEntryID == nullptr)
            return MAPI_E_INVALID_PARAMETER;
        *lppEntryID = nullptr;
        *lpcbEntryID = 0;
        bool isPublic = (ulFlags & OPENSTORE_PUBLIC) != 0;
        if (!isPublic && (lpszMailboxDN == nullptr || *lpszMailboxDN == '\0'))
            return MAPI_E_INVALID_PARAMETER;
        return Guard([&]() -> HRESULT {
            std::string server = org::ServerNameFromDn(lpszMsgStoreDN == nullptr ? "" : lpszMsgStoreDN);
            org::EntryId entryId = isPublic ? org::MakeStoreEntryId(org::StoreKind::PublicFolders, server, "")
                                            : org::MakeStoreEntryId(org::StoreKind::Mailbox, server, lpszMailboxDN);
            return NewEntryId(entryId, lpcbEntryID, lppEntryID);
        });
    }

    HRESULT EntryIDFromSourceKey(ULONG, BYTE*, ULONG, BYTE*, ULONG*, LPENTRYID*) override { return MAPI_E_NO_SUPPORT; }
    HRESULT GetRights(ULONG, LPENTRYID, ULONG, LPENTRYID, ULONG*) override { return MAPI_E_NO_SUPPORT; }
    HRESULT GetMailboxTable(LPSTR, LPMAPITABLE*, ULONG) override { return MAPI_E_NO_SUPPORT; }
    HRESULT GetPublicFolderTable(LPSTR, LPMAPITABLE*, ULONG) override { return MAPI_E_NO_SUPPORT; }

private:
    MapiPtr<IMsgStore> store_;
};

class StoreObject final : public ProviderProp<IMsgStore> {
public:
    StoreObject(OrgContextPointer context, std::size_t storeIndex)
        : ProviderProp(context->storeNames[storeIndex], StoreValues(*context, storeIndex)),
          context_(std::move(context)),
          storeIndex_(storeIndex)
    {
    }

    HRESULT QueryInterface(REFIID riid, LPVOID* ppvObj) override
    {
        if (riid == IID_IExchangeManageStore && ppvObj != nullptr) {
            return Guard([&]() -> HRESULT {
                AddRef();
                MapiPtr<IMsgStore> self(this);
                *ppvObj = static_cast<IExchangeManageStore*>(new ManageStore(std::move(self)));
                return S_OK;
            });
        }
        return QueryFor(riid, ppvObj, {&IID_IUnknown, &IID_IMAPIProp, &IID_IMsgStore});
    }

    HRESULT Advise(ULONG, LPENTRYID, ULONG, LPMAPIADVISESINK, ULONG*) override { return MAPI_E_NO_SUPPORT; }
    HRESULT Unadvise(ULONG) override { return MAPI_E_NO_SUPPORT; }

    HRESULT CompareEntryIDs(ULONG cbEntryID1, LPENTRYID lpEntryID1, ULONG cbEntryID2, LPENTRYID lpEntryID2, ULONG,
                            ULONG* lpulResult) override
    {
        return CompareOrgEntryIds(*context_, cbEntryID1, lpEntryID1, cbEntryID2, lpEntryID2, lpulResult);
    }

    HRESULT GetLastError(HRESULT, ULONG ulFlags, LPMAPIERROR* lppMAPIError) override
    {
        return Guard([&] { return lastError_.Give(ulFlags, lppMAPIError); });
    }

    HRESULT OpenEntry(ULONG cbEntryID, LPENTRYID lpEntryID, LPCIID lpInterface, ULONG ulFlags, ULONG* lpulObjType,
                      LPUNKNOWN* lppUnk) override
    {
        return OpenStoreEntry(context_, storeIndex_, cbEntryID, lpEntryID, lpInterface, ulFlags, lpulObjType, lppUnk,
                              lastError_);
    }

    HRESULT SetReceiveFolder(LPTSTR, ULONG, ULONG, LPENTRYID) override { return MAPI_E_NO_ACCESS; }

    // The Inbox receives every message class; the explicit class is therefore the default one, "".
    HRESULT GetReceiveFolder(LPTSTR, ULONG ulFlags, ULONG* lpcbEntryID, LPENTRYID* lppEntryID,
                             LPTSTR* lppszExplicitClass) override
    {
        if (lpcbEntryID == nullptr || lppEntryID == nullptr)
            return MAPI_E_INVALID_PARAMETER;
        *lpcbEntryID = 0;
        *lppEntryID = nullptr;
        if (lppszExplicitClass != nullptr)
            *lppszExplicitClass = nullptr;
        const org::EntryId& inbox = Store().receiveFolder;
        if (inbox.empty())
            return MAPI_E_NOT_FOUND;
        return Guard([&]() -> HRESULT {
            MapiBuffer<ENTRYID> entryId;
            ULONG size = 0;
            HRESULT status = NewEntryId(inbox, &size, entryId.put());
            if (FAILED(status))
                return status;
            if (lppszExplicitClass != nullptr) {
                void* empty = nullptr;
                status = MAPIAllocateBuffer((ulFlags & MAPI_UNICODE) != 0 ? sizeof(WCHAR) : 1, &empty);
                if (status != S_OK)
                    return status;
                std::memset(empty, 0, (ulFlags & MAPI_UNICODE) != 0 ? sizeof(WCHAR) : 1);
                *lppszExplicitClass = static_cast<LPTSTR>(empty);
            }
            *lpcbEntryID = size;
            *lppEntryID = entryId.release();
            return S_OK;
        });
    }

    HRESULT GetReceiveFolderTable(ULONG ulFlags, LPMAPITABLE* lppTable) override
    {
        if (lppTable == nullptr)
            return MAPI_E_INVALID_PARAMETER;
        *lppTable = nullptr;
        return Guard([&]() -> HRESULT {
            RowValues values;
            std::vector<std::vector<SPropValue>> rows;
            const org::EntryId& inbox = Store().receiveFolder;
            if (!inbox.empty())
                rows.push_back({values.InstanceKey(0), values.Binary(PR_ENTRYID, inbox), values.Binary(PR_RECORD_KEY, inbox),
                                values.Unicode(PR_MESSAGE_CLASS_W, u"")});
            std::vector<ULONG> columns = ColumnsForFlags({PR_INSTANCE_KEY, PR_ENTRYID, PR_RECORD_KEY, PR_MESSAGE_CLASS_W}, ulFlags);
            return MakeTable(PR_INSTANCE_KEY, columns, rows, lppTable);
        });
    }

    HRESULT StoreLogoff(ULONG*) override { return S_OK; }
    HRESULT AbortSubmit(ULONG, LPENTRYID, ULONG) override { return MAPI_E_NO_SUPPORT; }
    HRESULT GetOutgoingQueue(ULONG, LPMAPITABLE*) override { return MAPI_E_NO_SUPPORT; }
    HRESULT SetLockState(LPMESSAGE, ULONG) override { return MAPI_E_NO_SUPPORT; }
    HRESULT FinishedMsg(ULONG, ULONG, LPENTRYID) override { return MAPI_E_NO_SUPPORT; }
    HRESULT NotifyNewMail(LPNOTIFICATION) override { return MAPI_E_NO_SUPPORT; }

private:
    const org::Store& Store() const { return context_->Org().stores[storeIndex_]; }

    OrgContextPointer context_;
    std::size_t storeIndex_;
    LastError lastError_;
};

bool SameLocation(const org::ObjectLocation& a, const org::ObjectLocation& b)
{
    if (a.kind != b.kind)
        return false;
    switch (a.kind) {
    case org::EntryIdKind::AddressBook: return a.galIndex == b.galIndex;
    case org::EntryIdKind::Store: return a.storeIndex == b.storeIndex;
    case org::EntryIdKind::Folder: return a.storeIndex == b.storeIndex && a.folderPath == b.folderPath;
    case org::EntryIdKind::Message:
        return a.storeIndex == b.storeIndex && a.folderPath == b.folderPath && a.associated == b.associated &&
               a.messageIndex == b.messageIndex;
    }
    return false;
}

} // namespace

HRESULT OpenStoreObject(const OrgContextPointer& context, std::size_t storeIndex, LPCIID lpInterface, LPMDB* result)
{
    if (result == nullptr)
        return MAPI_E_INVALID_PARAMETER;
    *result = nullptr;
    if (storeIndex >= context->Org().stores.size())
        return MAPI_E_NOT_FOUND;
    return Guard([&]() -> HRESULT {
        LPUNKNOWN opened = nullptr;
        HRESULT status = HandOut(new StoreObject(context, storeIndex), lpInterface, MAPI_STORE, nullptr, &opened);
        *result = static_cast<LPMDB>(static_cast<void*>(opened));
        return status;
    });
}

HRESULT OpenOrgMessage(const OrgContextPointer& context, const org::ObjectLocation& location, ULONG flags,
                       LPMESSAGE* result, std::string& error)
{
    *result = nullptr;
    auto document = std::make_shared<platform::cfb::MsgDocument>();
    HRESULT status = context->Org().ReadMessage(location, *document, error);
    if (FAILED(status))
        return status;
    const org::Store& store = context->Org().stores[location.storeIndex];
    RowValues values;
    SPropValue extra[] = {values.Binary(PR_STORE_ENTRYID, store.entryId),
                          values.Binary(PR_MDB_PROVIDER, std::span<const BYTE>(org::StoreProviderUid(store.kind)))};
    std::shared_ptr<const platform::cfb::MsgMessage> model(document, &document->message);
    return OpenModelMessage(std::move(model), document->namedProperties, context->storeNames[location.storeIndex],
                            flags & (MAPI_MODIFY | MAPI_BEST_ACCESS), extra, result);
}

HRESULT OpenStoreEntry(const OrgContextPointer& context, std::size_t storeIndex, ULONG cbEntryID, LPENTRYID lpEntryID,
                       LPCIID lpInterface, ULONG ulFlags, ULONG* lpulObjType, LPUNKNOWN* lppUnk, LastError& lastError)
{
    if (lppUnk == nullptr || (cbEntryID > 0 && lpEntryID == nullptr))
        return MAPI_E_INVALID_PARAMETER;
    *lppUnk = nullptr;
    lastError.Set({});
    return Guard([&]() -> HRESULT {
        if (cbEntryID == 0)
            return OpenFolderObject(context, storeIndex, {}, lpInterface, lpulObjType, lppUnk);
        std::optional<org::ObjectLocation> location = context->Org().Locate(AsBytes(cbEntryID, lpEntryID));
        if (!location)
            return MAPI_E_NOT_FOUND;
        bool inStore = (location->kind == org::EntryIdKind::Folder || location->kind == org::EntryIdKind::Message) &&
                       location->storeIndex == storeIndex;
        if (!inStore)
            return MAPI_E_INVALID_ENTRYID;
        if (location->kind == org::EntryIdKind::Folder)
            return OpenFolderObject(context, storeIndex, location->folderPath, lpInterface, lpulObjType, lppUnk);
        MapiPtr<IMessage> message;
        std::string error;
        HRESULT status = OpenOrgMessage(context, *location, ulFlags, message.put(), error);
        if (FAILED(status)) {
            lastError.Set(std::move(error));
            return status;
        }
        return HandOut(message.release(), lpInterface, MAPI_MESSAGE, lpulObjType, lppUnk);
    });
}

bool SameOrgObject(const OrgContext& context, std::span<const BYTE> first, std::span<const BYTE> second)
{
    std::optional<org::ObjectLocation> a = context.Org().Locate(first);
    std::optional<org::ObjectLocation> b = context.Org().Locate(second);
    if (a && b)
        return SameLocation(*a, *b);
    return std::equal(first.begin(), first.end(), second.begin(), second.end());
}

HRESULT CompareOrgEntryIds(const OrgContext& context, ULONG cbEntryID1, LPENTRYID lpEntryID1, ULONG cbEntryID2,
                           LPENTRYID lpEntryID2, ULONG* lpulResult)
{
    if (lpulResult == nullptr || (cbEntryID1 > 0 && lpEntryID1 == nullptr) || (cbEntryID2 > 0 && lpEntryID2 == nullptr))
        return MAPI_E_INVALID_PARAMETER;
    return Guard([&]() -> HRESULT {
        bool same = SameOrgObject(context, AsBytes(cbEntryID1, lpEntryID1), AsBytes(cbEntryID2, lpEntryID2));
        *lpulResult = same ? TRUE : FALSE;
        return S_OK;
    });
}

} // namespace mapi
