// The organisation's message stores (the mailboxes and the public folders) as IMsgStore, their
// folders as IMAPIFolder and their messages as IMessage; all read-only towards the organisation.
#pragma once

#include <mapidefs.h>

#include <string>

#include "platform/mapi/provider/LastError.h"
#include "platform/mapi/provider/OrgContext.h"

namespace mapi {

// The store of `storeIndex` in the organisation.
HRESULT OpenStoreObject(const OrgContextPointer& context, std::size_t storeIndex, LPCIID lpInterface, LPMDB* result);

// OpenEntry of a store and of its folders: no entry identifier opens the store's root folder;
// otherwise a folder or a message of that store. MAPI_MODIFY or MAPI_BEST_ACCESS lets a message be
// changed in memory; folders stay read-only. A message is read now; when it cannot be, `lastError`
// gets the text that names the file and says what is wrong.
HRESULT OpenStoreEntry(const OrgContextPointer& context, std::size_t storeIndex, ULONG cbEntryID, LPENTRYID lpEntryID,
                       LPCIID lpInterface, ULONG ulFlags, ULONG* lpulObjType, LPUNKNOWN* lppUnk, LastError& lastError);

// The message at `location`, read from its store's source, as an IMessage (writable in memory with
// MAPI_MODIFY or MAPI_BEST_ACCESS in `flags`); the message's memory goes when it is released. On
// failure `error` says why.
HRESULT OpenOrgMessage(const OrgContextPointer& context, const org::ObjectLocation& location, ULONG flags,
                       LPMESSAGE* result, std::string& error);

// Whether two entry identifiers name the same object of the organisation (letter case and the
// server name of store identifiers aside); identifiers of nothing known compare by their bytes.
bool SameOrgObject(const OrgContext& context, std::span<const BYTE> first, std::span<const BYTE> second);

// CompareEntryIDs of the session and the stores: SameOrgObject of the two identifiers.
HRESULT CompareOrgEntryIds(const OrgContext& context, ULONG cbEntryID1, LPENTRYID lpEntryID1, ULONG cbEntryID2,
                           LPENTRYID lpEntryID2, ULONG* lpulResult);

} // namespace mapi
