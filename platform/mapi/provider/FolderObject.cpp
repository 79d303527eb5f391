// IMAPIFolder over a folder of the organisation: values, subfolders and messages.
#include "platform/mapi/provider/FolderObject.h"

#include <mapitags.h>

#include <algorithm>
#include <new>

#include "platform/mapi/provider/FolderTables.h"
#include "platform/mapi/provider/LastError.h"
#include "platform/mapi/provider/ModelValues.h"
#include "platform/mapi/provider/ProviderProp.h"
#include "platform/mapi/provider/ProviderTable.h"
#include "platform/mapi/provider/StoreObjects.h"

namespace mapi {
namespace {

class FolderObject final : public ProviderProp<IMAPIFolder> {
public:
    FolderObject(OrgContextPointer context, std::size_t storeIndex, std::vector<std::size_t> folderPath, const org::Folder& folder)
        : ProviderProp(context->storeNames[storeIndex], FolderValues(*context, storeIndex, folder)),
          context_(std::move(context))
    {
        location_.kind = org::EntryIdKind::Folder;
        location_.storeIndex = storeIndex;
        location_.folderPath = std::move(folderPath);
    }

    HRESULT QueryInterface(REFIID riid, LPVOID* ppvObj) override
    {
        return QueryFor(riid, ppvObj, {&IID_IUnknown, &IID_IMAPIProp, &IID_IMAPIContainer, &IID_IMAPIFolder});
    }

    HRESULT GetLastError(HRESULT, ULONG ulFlags, LPMAPIERROR* lppMAPIError) override
    {
        return Guard([&] { return lastError_.Give(ulFlags, lppMAPIError); });
    }

    HRESULT GetProps(LPSPropTagArray lpPropTagArray, ULONG ulFlags, ULONG* lpcValues, LPSPropValue* lppPropArray) override
    {
        HRESULT status = AddUnreadCount(lpPropTagArray);
        if (FAILED(status))
            return status;
        return ProviderProp::GetProps(lpPropTagArray, ulFlags, lpcValues, lppPropArray);
    }

    HRESULT GetPropList(ULONG ulFlags, LPSPropTagArray* lppPropTagArray) override
    {
        HRESULT status = AddUnreadCount(nullptr);
        if (FAILED(status))
            return status;
        return ProviderProp::GetPropList(ulFlags, lppPropTagArray);
    }

    // MAPI_ASSOCIATED gives the hidden messages.
    HRESULT GetContentsTable(ULONG ulFlags, LPMAPITABLE* lppTable) override
    {
        if (lppTable == nullptr)
            return MAPI_E_INVALID_PARAMETER;
        *lppTable = nullptr;
        return OpenContentsTable(context_, location_, (ulFlags & MAPI_ASSOCIATED) != 0, ulFlags, lppTable);
    }

    HRESULT GetHierarchyTable(ULONG ulFlags, LPMAPITABLE* lppTable) override
    {
        if (lppTable == nullptr)
            return MAPI_E_INVALID_PARAMETER;
        *lppTable = nullptr;
        return OpenHierarchyTable(context_, location_, ulFlags, lppTable);
    }

    HRESULT OpenEntry(ULONG cbEntryID, LPENTRYID lpEntryID, LPCIID lpInterface, ULONG ulFlags, ULONG* lpulObjType,
                      LPUNKNOWN* lppUnk) override
    {
        return OpenStoreEntry(context_, location_.storeIndex, cbEntryID, lpEntryID, lpInterface, ulFlags, lpulObjType,
                              lppUnk, lastError_);
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
    // PR_CONTENT_UNREAD needs every message of the folder read, so it is worked out only when asked
    // for (`tags` null asks for everything).
    HRESULT AddUnreadCount(const SPropTagArray* tags)
    {
        if (tags != nullptr && std::none_of(tags->aulPropTag, tags->aulPropTag + tags->cValues,
                                            [](ULONG tag) { return PROP_ID(tag) == PROP_ID(PR_CONTENT_UNREAD); }))
            return S_OK;
        return Guard([&]() -> HRESULT {
            RowValues values;
            SPropValue unread = values.Long(PR_CONTENT_UNREAD, context_->UnreadMessages(location_));
            std::lock_guard lock(mutex_);
            Put(values_, unread);
            return S_OK;
        });
    }

    OrgContextPointer context_;
    org::ObjectLocation location_;
    LastError lastError_;
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
        if (folder->openFails)
            return MAPI_E_NO_ACCESS;
        return HandOut(new FolderObject(context, storeIndex, std::move(folderPath), *folder), lpInterface, MAPI_FOLDER,
                       lpulObjType, lppUnk);
    });
}

} // namespace mapi
