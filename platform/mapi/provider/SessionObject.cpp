// IMAPISession over an organisation: the stores table, stores, the address book and entries.
#include "platform/mapi/provider/SessionObject.h"

#include <mapitags.h>

#include <atomic>
#include <cstring>

#include "platform/mapi/core/ComObject.h"
#include "platform/mapi/core/Guard.h"
#include "platform/mapi/provider/AddressBook.h"
#include "platform/mapi/provider/AddressBookEntries.h"
#include "platform/mapi/provider/LastError.h"
#include "platform/mapi/provider/ProfileObjects.h"
#include "platform/mapi/provider/ProviderTable.h"
#include "platform/mapi/provider/StoreObjects.h"

namespace mapi {
namespace {

class Session final : public ComObject<IMAPISession> {
public:
    Session(OrgContextPointer context, std::string profile) : context_(std::move(context)), profile_(std::move(profile)) {}

    OrgContextPointer Context() const { return context_; }

    HRESULT QueryInterface(REFIID riid, LPVOID* ppvObj) override
    {
        return QueryFor(riid, ppvObj, {&IID_IUnknown, &IID_IMAPISession});
    }

    HRESULT GetLastError(HRESULT, ULONG ulFlags, LPMAPIERROR* lppMAPIError) override
    {
        return Guard([&] { return lastError_.Give(ulFlags, lppMAPIError); });
    }

    // The logged-on mailbox (the default store) and the public folders, when the organisation has them.
    HRESULT GetMsgStoresTable(ULONG ulFlags, LPMAPITABLE* lppTable) override
    {
        if (lppTable == nullptr)
            return MAPI_E_INVALID_PARAMETER;
        *lppTable = nullptr;
        if (loggedOff_)
            return MAPI_E_END_OF_SESSION;
        return Guard([&]() -> HRESULT {
            RowValues values;
            std::vector<std::vector<SPropValue>> rows;
            std::vector<std::size_t> stores;
            if (context_->mailbox)
                stores.push_back(*context_->mailbox);
            if (std::optional<std::size_t> publicStore = context_->Org().FindPublicStore())
                stores.push_back(*publicStore);
            for (std::size_t i = 0; i < stores.size(); ++i)
                rows.push_back(StoreRow(values, static_cast<ULONG>(i), stores[i]));
            std::vector<ULONG> columns = ColumnsForFlags({PR_INSTANCE_KEY, PR_ENTRYID, PR_DISPLAY_NAME_W, PR_MDB_PROVIDER,
                                                          PR_DEFAULT_STORE, PR_RECORD_KEY, PR_PROVIDER_DISPLAY_W,
                                                          PR_RESOURCE_FLAGS, PR_RESOURCE_TYPE, PR_OBJECT_TYPE},
                                                         ulFlags);
            return MakeTable(PR_INSTANCE_KEY, columns, rows, lppTable);
        });
    }

    HRESULT OpenMsgStore(ULONG_PTR, ULONG cbEntryID, LPENTRYID lpEntryID, LPCIID lpInterface, ULONG,
                         LPMDB* lppMDB) override
    {
        if (lppMDB == nullptr || lpEntryID == nullptr)
            return MAPI_E_INVALID_PARAMETER;
        *lppMDB = nullptr;
        if (loggedOff_)
            return MAPI_E_END_OF_SESSION;
        return Guard([&]() -> HRESULT {
            std::optional<org::ObjectLocation> location = context_->Org().Locate(AsBytes(cbEntryID, lpEntryID));
            if (!location)
                return MAPI_E_NOT_FOUND;
            if (location->kind != org::EntryIdKind::Store)
                return MAPI_E_INVALID_ENTRYID;
            return OpenStoreObject(context_, location->storeIndex, lpInterface, lppMDB);
        });
    }

    HRESULT OpenAddressBook(ULONG_PTR, LPCIID lpInterface, ULONG, LPADRBOOK* lppAdrBook) override
    {
        if (lppAdrBook == nullptr)
            return MAPI_E_INVALID_PARAMETER;
        *lppAdrBook = nullptr;
        if (loggedOff_)
            return MAPI_E_END_OF_SESSION;
        if (lpInterface != nullptr && *lpInterface != IID_IAddrBook && *lpInterface != IID_IMAPIProp &&
            *lpInterface != IID_IUnknown)
            return MAPI_E_INTERFACE_NOT_SUPPORTED;
        return CreateAddressBook(context_, lppAdrBook);
    }

    HRESULT OpenProfileSection(LPMAPIUID lpUID, LPCIID, ULONG ulFlags, LPPROFSECT* lppProfSect) override
    {
        if (lppProfSect != nullptr)
            *lppProfSect = nullptr;
        if (lpUID == nullptr || lppProfSect == nullptr)
            return MAPI_E_INVALID_PARAMETER;
        if (profile_.empty())
            return MAPI_E_NO_SUPPORT;
        return OpenProfileSectionObject(profile_, *lpUID, ulFlags, lppProfSect);
    }

    HRESULT GetStatusTable(ULONG, LPMAPITABLE* lppTable) override
    {
        if (lppTable != nullptr)
            *lppTable = nullptr;
        return MAPI_E_NO_SUPPORT;
    }

    // Stores, folders, messages and address-book entries of the organisation, and one-off addresses.
    HRESULT OpenEntry(ULONG cbEntryID, LPENTRYID lpEntryID, LPCIID lpInterface, ULONG ulFlags, ULONG* lpulObjType,
                      LPUNKNOWN* lppUnk) override
    {
        if (lppUnk == nullptr || (cbEntryID > 0 && lpEntryID == nullptr))
            return MAPI_E_INVALID_PARAMETER;
        *lppUnk = nullptr;
        if (loggedOff_)
            return MAPI_E_END_OF_SESSION;
        lastError_.Set({});
        return Guard([&]() -> HRESULT {
            std::span<const BYTE> entryId = AsBytes(cbEntryID, lpEntryID);
            std::optional<org::ObjectLocation> location = context_->Org().Locate(entryId);
            if (!location) {
                if (!entryId.empty() && FindAddressBookTarget(*context_, entryId))
                    return OpenAddressBookEntry(context_, cbEntryID, lpEntryID, lpInterface, ulFlags, lpulObjType, lppUnk);
                return MAPI_E_UNKNOWN_ENTRYID;
            }
            switch (location->kind) {
            case org::EntryIdKind::AddressBook:
                return OpenAddressBookEntry(context_, cbEntryID, lpEntryID, lpInterface, ulFlags, lpulObjType, lppUnk);
            case org::EntryIdKind::Store: {
                HRESULT status = OpenStoreObject(context_, location->storeIndex, lpInterface, reinterpret_cast<LPMDB*>(lppUnk));
                if (SUCCEEDED(status) && lpulObjType != nullptr)
                    *lpulObjType = MAPI_STORE;
                return status;
            }
            default:
                return OpenStoreEntry(context_, location->storeIndex, cbEntryID, lpEntryID, lpInterface, ulFlags, lpulObjType,
                                      lppUnk, lastError_);
            }
        });
    }

    HRESULT CompareEntryIDs(ULONG cbEntryID1, LPENTRYID lpEntryID1, ULONG cbEntryID2, LPENTRYID lpEntryID2, ULONG,
                            ULONG* lpulResult) override
    {
        return CompareOrgEntryIds(*context_, cbEntryID1, lpEntryID1, cbEntryID2, lpEntryID2, lpulResult);
    }

    HRESULT Advise(ULONG, LPENTRYID, ULONG, LPMAPIADVISESINK, ULONG*) override { return MAPI_E_NO_SUPPORT; }
    HRESULT Unadvise(ULONG) override { return MAPI_E_NO_SUPPORT; }
    HRESULT MessageOptions(ULONG_PTR, ULONG, LPTSTR, LPMESSAGE) override { return MAPI_E_NO_SUPPORT; }
    HRESULT QueryDefaultMessageOpt(LPTSTR, ULONG, ULONG*, LPSPropValue*) override { return MAPI_E_NO_SUPPORT; }
    HRESULT EnumAdrTypes(ULONG, ULONG*, LPTSTR**) override { return MAPI_E_NO_SUPPORT; }

    // The GAL entry of the logged-on mailbox's owner.
    HRESULT QueryIdentity(ULONG* lpcbEntryID, LPENTRYID* lppEntryID) override
    {
        if (lpcbEntryID == nullptr || lppEntryID == nullptr)
            return MAPI_E_INVALID_PARAMETER;
        *lpcbEntryID = 0;
        *lppEntryID = nullptr;
        if (!context_->mailbox)
            return MAPI_E_NOT_FOUND;
        const org::EntryId& owner = context_->Org().gal[context_->Org().stores[*context_->mailbox].owner].entryId;
        void* buffer = nullptr;
        SCODE status = MAPIAllocateBuffer(static_cast<ULONG>(owner.size()), &buffer);
        if (status != S_OK)
            return status;
        std::memcpy(buffer, owner.data(), owner.size());
        *lpcbEntryID = static_cast<ULONG>(owner.size());
        *lppEntryID = static_cast<LPENTRYID>(buffer);
        return S_OK;
    }

    // Objects opened before stay usable; the session itself opens nothing more.
    HRESULT Logoff(ULONG_PTR, ULONG, ULONG) override
    {
        loggedOff_ = true;
        return S_OK;
    }

    HRESULT SetDefaultStore(ULONG, ULONG, LPENTRYID) override { return MAPI_E_NO_SUPPORT; }

    HRESULT AdminServices(ULONG, LPSERVICEADMIN* lppServiceAdmin) override
    {
        if (lppServiceAdmin == nullptr)
            return MAPI_E_INVALID_PARAMETER;
        *lppServiceAdmin = nullptr;
        if (profile_.empty())
            return MAPI_E_NO_SUPPORT;
        return CreateServiceAdmin(profile_, lppServiceAdmin);
    }

    HRESULT ShowForm(ULONG_PTR, LPMDB, LPMAPIFOLDER, LPCIID, ULONG, LPMESSAGE, ULONG, ULONG, ULONG, ULONG, LPSTR) override
    {
        return MAPI_E_NO_SUPPORT;
    }
    HRESULT PrepareForm(LPCIID, LPMESSAGE, ULONG*) override { return MAPI_E_NO_SUPPORT; }

private:
    std::vector<SPropValue> StoreRow(RowValues& values, ULONG row, std::size_t storeIndex) const
    {
        const org::Store& store = context_->Org().stores[storeIndex];
        bool isDefault = context_->mailbox && *context_->mailbox == storeIndex;
        bool isPublic = store.kind == org::StoreKind::PublicFolders;
        std::u16string name = isPublic ? u"Public Folders" : u"Mailbox";
        if (const platform::cfb::MsgProperty* stored = platform::cfb::FindProperty(store.properties, PR_DISPLAY_NAME_W))
            name = stored->text;
        return {values.InstanceKey(row),
                values.Binary(PR_ENTRYID, store.entryId),
                values.Binary(PR_RECORD_KEY, store.entryId),
                values.Unicode(PR_DISPLAY_NAME_W, name),
                values.Binary(PR_MDB_PROVIDER, std::span<const BYTE>(org::StoreProviderUid(store.kind))),
                values.Boolean(PR_DEFAULT_STORE, isDefault),
                values.Unicode(PR_PROVIDER_DISPLAY_W,
                               isPublic ? u"Microsoft Exchange Public Folders" : u"Microsoft Exchange Message Store"),
                values.Long(PR_RESOURCE_FLAGS, isDefault ? STATUS_DEFAULT_STORE : 0),
                values.Long(PR_RESOURCE_TYPE, MAPI_STORE_PROVIDER),
                values.Long(PR_OBJECT_TYPE, MAPI_STORE)};
    }

    OrgContextPointer context_;
    std::string profile_;
    std::atomic<bool> loggedOff_{false};
    LastError lastError_;
};

} // namespace

OrgContextPointer ContextOfSession(IMAPISession* session)
{
    const Session* ours = dynamic_cast<const Session*>(session);
    return ours != nullptr ? ours->Context() : nullptr;
}

HRESULT CreateSession(OrgContextPointer context, std::string profile, LPMAPISESSION* result)
{
    return Guard([&]() -> HRESULT {
        *result = new Session(std::move(context), std::move(profile));
        return S_OK;
    });
}

} // namespace mapi
