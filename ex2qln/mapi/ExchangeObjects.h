// The Exchange objects the driver and the transfer open: the Global Address List and the stores.
#pragma once

#include <MapiPtr.h>
#include <edkmdb.h>
#include <mapidefs.h>
#include <mapix.h>

namespace ex2qln::mapi {

// The Exchange address book provider and the Exchange private store provider.
inline constexpr MAPIUID kExchangeAddressBookProvider = {MUIDEMSAB};
inline constexpr MAPIUID kExchangePrivateStoreProvider = {pbExchangeProviderPrimaryUserGuid};
inline constexpr MAPIUID kExchangePublicStoreProvider = {pbExchangeProviderPublicGuid};

// The entry identifier of the one container of the address book's hierarchy that the Exchange
// provider serves with container id 0, in a new MAPI buffer. MAPI_E_NOT_FOUND unless exactly one.
HRESULT FindGlobalAddressList(IAddrBook* addressBook, ULONG* entryIdSize, LPENTRYID* entryId);

// Opens the session's address book and the Global Address List in it.
HRESULT OpenGlobalAddressList(IMAPISession* session, MapiPtr<IAddrBook>& addressBook, MapiPtr<IABContainer>& gal);

// Opens the one message store of `provider` with best access. No such store gives
// MAPI_E_NOT_FOUND; several give success with no store.
HRESULT OpenPrivateStore(IMAPISession* session, const MAPIUID& provider, MapiPtr<IMsgStore>& store);

// Opens the first message store of the Exchange public store provider with best access;
// MAPI_E_NOT_FOUND when the session has none.
HRESULT OpenPublicStore(IMAPISession* session, MapiPtr<IMsgStore>& store);

} // namespace ex2qln::mapi
