// Finding the Global Address List and the private and public stores through tables and restrictions.
#include "ex2qln/mapi/ExchangeObjects.h"

#include "ex2qln/diag/Log.h"

#include <mapicode.h>
#include <mapiguid.h>
#include <mapitags.h>
#include <mapiutil.h>

#include <cstring>

namespace ex2qln::mapi {
namespace {

SBinary AsBinary(const MAPIUID& uid)
{
    return SBinary{sizeof uid.ab, const_cast<LPBYTE>(uid.ab)};
}

SPropValue BinaryValue(ULONG tag, const MAPIUID& uid)
{
    SPropValue value{};
    value.ulPropTag = tag;
    value.Value.bin = AsBinary(uid);
    return value;
}

SRestriction Equals(SPropValue& value)
{
    SRestriction restriction{};
    restriction.rt = RES_PROPERTY;
    restriction.res.resProperty = SPropertyRestriction{RELOP_EQ, value.ulPropTag, &value};
    return restriction;
}

// The binary entry identifier of the only row, if there is exactly one and it has one.
const SBinary* SingleEntryId(const MapiRows& rows)
{
    if (rows.size() != 1 || rows->aRow[0].cValues < 1)
        return nullptr;
    const SPropValue& column = rows->aRow[0].lpProps[0];
    return column.ulPropTag == PR_ENTRYID ? &column.Value.bin : nullptr;
}

} // namespace

HRESULT FindGlobalAddressList(IAddrBook* addressBook, ULONG* entryIdSize, LPENTRYID* entryId)
{
    ULONG objectType = 0;
    MapiPtr<IABContainer> root;
    HRESULT status = QLN_CHECK(addressBook->OpenEntry(0, nullptr, nullptr, MAPI_DEFERRED_ERRORS, &objectType,
                                                      root.put_unknown()));
    if (FAILED(status))
        return status;
    if (objectType != MAPI_ABCONT)
        return E_FAIL;

    MapiPtr<IMAPITable> hierarchy;
    status = QLN_CHECK(root->GetHierarchyTable(CONVENIENT_DEPTH | MAPI_DEFERRED_ERRORS, hierarchy.put()));
    if (FAILED(status))
        return status;

    SPropValue provider = BinaryValue(PR_AB_PROVIDER_ID, kExchangeAddressBookProvider);
    SPropValue container{};
    container.ulPropTag = PR_EMS_AB_CONTAINERID;
    container.Value.l = 0;
    SRestriction both[2] = {Equals(provider), Equals(container)};
    SRestriction restriction{};
    restriction.rt = RES_AND;
    restriction.res.resAnd = SAndRestriction{2, both};
    SizedSPropTagArray(1, columns) = {1, {PR_ENTRYID}};

    MapiRows rows;
    status = QLN_CHECK(HrQueryAllRows(hierarchy.get(), reinterpret_cast<LPSPropTagArray>(&columns), &restriction,
                                      nullptr, 0, rows.put()));
    if (FAILED(status))
        return status;
    const SBinary* found = SingleEntryId(rows);
    if (found == nullptr)
        return MAPI_E_NOT_FOUND;

    LPVOID copy = nullptr;
    status = QLN_CHECK(MAPIAllocateBuffer(found->cb, &copy));
    if (FAILED(status))
        return status;
    std::memcpy(copy, found->lpb, found->cb);
    *entryIdSize = found->cb;
    *entryId = static_cast<LPENTRYID>(copy);
    return S_OK;
}

HRESULT OpenGlobalAddressList(IMAPISession* session, MapiPtr<IAddrBook>& addressBook, MapiPtr<IABContainer>& gal)
{
    HRESULT status = QLN_CHECK(session->OpenAddressBook(0, nullptr, AB_NO_DIALOG, addressBook.put()));
    if (FAILED(status))
        return status;
    ULONG entryIdSize = 0;
    MapiBuffer<ENTRYID> entryId;
    status = FindGlobalAddressList(addressBook.get(), &entryIdSize, entryId.put());
    if (FAILED(status))
        return status;
    ULONG objectType = 0;
    return QLN_CHECK(addressBook->OpenEntry(entryIdSize, entryId.get(), &IID_IABContainer, 0, &objectType,
                                            gal.put_unknown()));
}

namespace {

// The message stores of `provider` in the session's store table, their entry identifiers only.
HRESULT StoresOfProvider(IMAPISession* session, const MAPIUID& provider, MapiRows& rows)
{
    MapiPtr<IMAPITable> stores;
    HRESULT status = QLN_CHECK(session->GetMsgStoresTable(0, stores.put()));
    if (FAILED(status))
        return status;
    SPropValue providerValue = BinaryValue(PR_MDB_PROVIDER, provider);
    SRestriction restriction = Equals(providerValue);
    SizedSPropTagArray(1, columns) = {1, {PR_ENTRYID}};
    return QLN_CHECK(HrQueryAllRows(stores.get(), reinterpret_cast<LPSPropTagArray>(&columns), &restriction, nullptr,
                                    0, rows.put()));
}

HRESULT OpenStore(IMAPISession* session, const SBinary& entryId, MapiPtr<IMsgStore>& store)
{
    return QLN_CHECK(session->OpenMsgStore(0, entryId.cb, reinterpret_cast<LPENTRYID>(entryId.lpb), nullptr,
                                           MDB_NO_DIALOG | MAPI_BEST_ACCESS, store.put()));
}

} // namespace

HRESULT OpenPrivateStore(IMAPISession* session, const MAPIUID& provider, MapiPtr<IMsgStore>& store)
{
    MapiRows rows;
    HRESULT status = StoresOfProvider(session, provider, rows);
    if (FAILED(status))
        return status;
    if (rows.size() == 0)
        return MAPI_E_NOT_FOUND;
    const SBinary* entryId = SingleEntryId(rows);
    if (entryId == nullptr)
        return S_OK;
    return OpenStore(session, *entryId, store);
}

HRESULT OpenPublicStore(IMAPISession* session, MapiPtr<IMsgStore>& store)
{
    MapiRows rows;
    HRESULT status = StoresOfProvider(session, kExchangePublicStoreProvider, rows);
    if (FAILED(status))
        return status;
    if (rows.size() == 0 || rows->aRow[0].cValues < 1 || rows->aRow[0].lpProps[0].ulPropTag != PR_ENTRYID)
        return MAPI_E_NOT_FOUND;
    return OpenStore(session, rows->aRow[0].lpProps[0].Value.bin, store);
}

} // namespace ex2qln::mapi
