// Exchange's store administration interface: entry identifiers of any mailbox with admin rights.
#pragma once

#include "mapidefs.h"

// Provider UIDs, as byte lists for MAPIUID and byte arrays: the Exchange address book (also the
// provider part of its entry identifiers), the private and the public store, and MAPI's store
// entry-identifier wrapper.
#define MUIDEMSAB {0xDC, 0xA7, 0x40, 0xC8, 0xC0, 0x42, 0x10, 0x1A, 0xB4, 0xB9, 0x08, 0x00, 0x2B, 0x2F, 0xE1, 0x82}
#define pbExchangeProviderPrimaryUserGuid {0x54, 0x94, 0xA1, 0xC0, 0x29, 0x7F, 0x10, 0x1B, 0xA5, 0x87, 0x08, 0x00, 0x2B, 0x2A, 0x25, 0x17}
#define pbExchangeProviderPublicGuid {0x78, 0xB2, 0xFA, 0x70, 0xAF, 0xF7, 0x11, 0xCD, 0x9B, 0xC8, 0x00, 0xAA, 0x00, 0x2F, 0xC4, 0x5A}
#define MUIDSTOREWRAP {0x38, 0xA1, 0xBB, 0x10, 0x05, 0xE5, 0x10, 0x1A, 0xA1, 0xBB, 0x08, 0x00, 0x2B, 0x2A, 0x56, 0xC2}

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
