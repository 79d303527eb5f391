// Logon to an organisation file, and the way from the store's top to a message.
#include "tests/ex2qln/transfer/OrganisationSession.h"

#include "ex2qln/mapi/ExchangeObjects.h"

#include <mapicode.h>
#include <mapitags.h>
#include <mapiutil.h>

#include <cstdio>
#include <cstring>

namespace transfertest {
namespace {

void AppendHex(std::string& hex, const void* bytes, std::size_t size)
{
    char digits[3];
    for (std::size_t i = 0; i < size; ++i) {
        std::snprintf(digits, sizeof digits, "%02X", static_cast<const unsigned char*>(bytes)[i]);
        hex += digits;
    }
}

// The row of `table` whose `tag` (a PT_STRING8 column) is `text`, opened from `container`.
template <typename Result>
MapiPtr<Result> OpenRow(IMAPIContainer* container, IMAPITable* table, ULONG tag, const std::string& text,
                        IMsgStore* store, ULONG flags)
{
    SizedSPropTagArray(2, columns) = {2, {PR_ENTRYID, tag}};
    MapiRows rows;
    MapiPtr<Result> opened;
    if (FAILED(HrQueryAllRows(table, reinterpret_cast<LPSPropTagArray>(&columns), nullptr, nullptr, 0, rows.put())))
        return opened;
    for (ULONG i = 0; i < rows.size(); ++i) {
        const SRow& row = rows->aRow[i];
        if (row.lpProps[1].ulPropTag != tag || text != row.lpProps[1].Value.lpszA)
            continue;
        ULONG type = 0;
        const SBinary& id = row.lpProps[0].Value.bin;
        if (store != nullptr)
            store->OpenEntry(id.cb, reinterpret_cast<LPENTRYID>(id.lpb), nullptr, flags, &type, opened.put_unknown());
        else
            container->OpenEntry(id.cb, reinterpret_cast<LPENTRYID>(id.lpb), nullptr, flags, &type, opened.put_unknown());
        break;
    }
    return opened;
}

} // namespace

std::string AddressBookEntryId(const std::string& dn, unsigned displayType)
{
    static const unsigned char kProvider[16] = {0xDC, 0xA7, 0x40, 0xC8, 0xC0, 0x42, 0x10, 0x1A,
                                                0xB4, 0xB9, 0x08, 0x00, 0x2B, 0x2F, 0xE1, 0x82};
    std::string hex = "00000000";
    AppendHex(hex, kProvider, sizeof kProvider);
    const unsigned char version[4] = {1, 0, 0, 0};
    AppendHex(hex, version, 4);
    const unsigned char type[4] = {static_cast<unsigned char>(displayType), 0, 0, 0};
    AppendHex(hex, type, 4);
    AppendHex(hex, dn.c_str(), dn.size() + 1);
    return hex;
}

OrganisationSession::OrganisationSession(const std::string& organisation)
    : registry_("EX2QLN_USER_REGISTRY", directory_.File("registry.ini"))
{
    if (MAPIInitialize(nullptr) != S_OK)
        return;
    std::string path = directory_.Write("organisation.json", organisation);
    if (FAILED(MAPILogonEx(0, path.data(), nullptr, MAPI_EXTENDED, session_.put())) ||
        FAILED(session_->OpenAddressBook(0, nullptr, AB_NO_DIALOG, addressBook_.put())))
        return;
    ex2qln::mapi::OpenPrivateStore(session_.get(), ex2qln::mapi::kExchangePrivateStoreProvider, store_);
}

OrganisationSession::~OrganisationSession()
{
    store_.reset();
    addressBook_.reset();
    if (session_)
        session_->Logoff(0, 0, 0);
    session_.reset();
    MAPIUninitialize();
}

MapiPtr<IMessage> OrganisationSession::OpenMessage(const std::string& folder, const std::string& subject, ULONG flags)
{
    MapiPtr<IMessage> none;
    MapiBuffer<SPropValue> subtree;
    if (!store_ || FAILED(HrGetOneProp(store_.get(), PR_IPM_SUBTREE_ENTRYID, subtree.put())))
        return none;
    MapiPtr<IMAPIFolder> top;
    ULONG type = 0;
    if (FAILED(store_->OpenEntry(subtree->Value.bin.cb, reinterpret_cast<LPENTRYID>(subtree->Value.bin.lpb), nullptr,
                                 0, &type, top.put_unknown())))
        return none;
    MapiPtr<IMAPITable> hierarchy;
    if (FAILED(top->GetHierarchyTable(0, hierarchy.put())))
        return none;
    MapiPtr<IMAPIFolder> found = OpenRow<IMAPIFolder>(top.get(), hierarchy.get(), PR_DISPLAY_NAME_A, folder, nullptr, 0);
    MapiPtr<IMAPITable> contents;
    if (!found || FAILED(found->GetContentsTable(0, contents.put())))
        return none;
    return OpenRow<IMessage>(found.get(), contents.get(), PR_SUBJECT_A, subject, store_.get(), flags);
}

} // namespace transfertest
