// Exchange's store administration interface: entry identifiers of any mailbox with admin rights.
#pragma once

#include "mapidefs.h"

inline constexpr IID IID_IExchangeManageStore = {0x559D10B0, 0xA772, 0x11CD, {0x9B, 0xC8, 0x00, 0xAA, 0x00, 0x2F, 0xC4, 0x5A}};

// CreateStoreEntryID flags.
#define OPENSTORE_USE_ADMIN_PRIVILEGE 0x00000001u
#define OPENSTORE_PUBLIC 0x00000002u
#define OPENSTORE_HOME_LOGON 0x00000004u
#define OPENSTORE_TAKE_OWNERSHIP 0x00000008u
#define OPENSTORE_OVERRIDE_HOME_MDB 0x00000010u

class IExchangeManageStore : public IUnknown {
public:
    virtual HRESULT CreateStoreEntryID(LPSTR lpszMsgStoreDN, LPSTR lpszMailboxDN, ULONG ulFlags,
                                       ULONG* lpcbEntryID, LPENTRYID* lppEntryID) = 0;
    virtual HRESULT EntryIDFromSourceKey(ULONG cFolderKeySize, BYTE* lpFolderSourceKey, ULONG cMessageKeySize,
                                         BYTE* lpMessageSourceKey, ULONG* lpcbEntryID, LPENTRYID* lppEntryID) = 0;
    virtual HRESULT GetRights(ULONG cbUserEntryID, LPENTRYID lpUserEntryID, ULONG cbEntryID, LPENTRYID lpEntryID,
                              ULONG* lpulRights) = 0;
    virtual HRESULT GetMailboxTable(LPSTR lpszServerName, LPMAPITABLE* lppTable, ULONG ulFlags) = 0;
    virtual HRESULT GetPublicFolderTable(LPSTR lpszServerName, LPMAPITABLE* lppTable, ULONG ulFlags) = 0;
};
using LPEXCHANGEMANAGESTORE = IExchangeManageStore*;
