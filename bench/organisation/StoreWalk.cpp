// The benchmark's walk: each mailbox of the Global Address List opened as the transfer opens it,
// its folder tree walked depth first, each folder's contents read or each message opened.
#include "bench/organisation/StoreWalk.h"

#include "ex2qln/mapi/ExchangeObjects.h"

#include <MapiPtr.h>
#include <edkmdb.h>
#include <mapitags.h>
#include <mapiutil.h>

#include <cstdio>
#include <vector>

namespace bench {
namespace {

constexpr LONG kBatch = 100;

std::string Hex(HRESULT status)
{
    char text[16];
    std::snprintf(text, sizeof text, "%#x", static_cast<unsigned>(status));
    return text;
}

class Walker {
public:
    Walker(WalkKind kind, WalkCounts& counts, std::string& error) : kind_(kind), counts_(counts), error_(error) {}

    HRESULT Mailbox(IMAPISession* session, IExchangeManageStore* manage, const std::string& homeMdb, const std::string& dn)
    {
        ULONG size = 0;
        MapiBuffer<ENTRYID> entryId;
        HRESULT status = manage->CreateStoreEntryID(const_cast<char*>(homeMdb.c_str()), const_cast<char*>(dn.c_str()),
                                                    OPENSTORE_USE_ADMIN_PRIVILEGE | OPENSTORE_TAKE_OWNERSHIP, &size,
                                                    entryId.put());
        if (SUCCEEDED(status))
            status = session->OpenMsgStore(0, size, entryId.get(), nullptr, MDB_NO_DIALOG | MAPI_BEST_ACCESS, store_.put());
        if (FAILED(status))
            return Fail("opening the mailbox " + dn, status);
        ULONG type = 0;
        MapiPtr<IMAPIFolder> root;
        status = store_->OpenEntry(0, nullptr, &IID_IMAPIFolder, 0, &type, root.put_unknown());
        if (FAILED(status))
            return Fail("opening the root folder of " + dn, status);
        ++counts_.mailboxes;
        return Folder(root.get());
    }

private:
    HRESULT Fail(const std::string& step, HRESULT status)
    {
        error_ = step + " failed with " + Hex(status);
        return status;
    }

    HRESULT Folder(IMAPIFolder* folder)
    {
        ++counts_.folders;
        for (ULONG flags : {ULONG{0}, ULONG{MAPI_ASSOCIATED}}) {
            MapiPtr<IMAPITable> contents;
            HRESULT status = folder->GetContentsTable(flags, contents.put());
            if (SUCCEEDED(status))
                status = kind_ == WalkKind::ContentsTables ? ReadRows(contents.get()) : OpenMessages(contents.get());
            if (FAILED(status))
                return status;
        }
        MapiPtr<IMAPITable> children;
        HRESULT status = folder->GetHierarchyTable(0, children.put());
        if (FAILED(status))
            return Fail("the hierarchy table", status);
        SizedSPropTagArray(1, columns) = {1, {PR_ENTRYID}};
        MapiRows rows;
        status = HrQueryAllRows(children.get(), reinterpret_cast<LPSPropTagArray>(&columns), nullptr, nullptr, 0, rows.put());
        if (FAILED(status))
            return Fail("reading the hierarchy table", status);
        for (ULONG i = 0; i < rows.size(); ++i) {
            const SBinary& entryId = rows->aRow[i].lpProps[0].Value.bin;
            ULONG type = 0;
            MapiPtr<IMAPIFolder> child;
            status = folder->OpenEntry(entryId.cb, reinterpret_cast<LPENTRYID>(entryId.lpb), &IID_IMAPIFolder, 0, &type,
                                       child.put_unknown());
            if (FAILED(status))
                return Fail("opening a folder", status);
            status = Folder(child.get());
            if (FAILED(status))
                return status;
        }
        return S_OK;
    }

    HRESULT ReadRows(IMAPITable* contents)
    {
        for (;;) {
            MapiRows rows;
            HRESULT status = contents->QueryRows(kBatch, 0, rows.put());
            if (FAILED(status))
                return Fail("reading a contents table", status);
            if (rows.size() == 0)
                return S_OK;
            counts_.rows += rows.size();
        }
    }

    HRESULT OpenMessages(IMAPITable* contents)
    {
        SizedSPropTagArray(1, columns) = {1, {PR_ENTRYID}};
        HRESULT status = contents->SetColumns(reinterpret_cast<LPSPropTagArray>(&columns), 0);
        if (FAILED(status))
            return Fail("setting the contents table's columns", status);
        for (;;) {
            MapiRows rows;
            status = contents->QueryRows(kBatch, 0, rows.put());
            if (FAILED(status))
                return Fail("reading a contents table", status);
            if (rows.size() == 0)
                return S_OK;
            counts_.rows += rows.size();
            for (ULONG i = 0; i < rows.size(); ++i) {
                status = OpenMessage(rows->aRow[i].lpProps[0].Value.bin);
                if (FAILED(status))
                    return status;
            }
        }
    }

    // Opened for modification, as the transfer opens it, and asked for its subject and attachments.
    HRESULT OpenMessage(const SBinary& entryId)
    {
        ULONG type = 0;
        MapiPtr<IMessage> message;
        HRESULT status = store_->OpenEntry(entryId.cb, reinterpret_cast<LPENTRYID>(entryId.lpb), &IID_IMessage, MAPI_MODIFY,
                                           &type, message.put_unknown());
        if (FAILED(status))
            return Fail("opening a message", status);
        MapiBuffer<SPropValue> subject;
        status = HrGetOneProp(message.get(), PR_SUBJECT_W, subject.put());
        MapiPtr<IMAPITable> attachments;
        if (SUCCEEDED(status))
            status = message->GetAttachmentTable(0, attachments.put());
        ULONG count = 0;
        if (SUCCEEDED(status))
            status = attachments->GetRowCount(0, &count);
        if (FAILED(status))
            return Fail("reading a message", status);
        ++counts_.messages;
        return S_OK;
    }

    WalkKind kind_;
    WalkCounts& counts_;
    std::string& error_;
    MapiPtr<IMsgStore> store_;
};

} // namespace

HRESULT WalkOrganisation(const std::string& organisation, WalkKind kind, WalkCounts& counts, std::string& error)
{
    MapiPtr<IMAPISession> session;
    HRESULT status = MAPILogonEx(0, const_cast<char*>(organisation.c_str()), nullptr, MAPI_EXTENDED | MAPI_NEW_SESSION,
                                 session.put());
    if (FAILED(status)) {
        error = "the logon to " + organisation + " failed with " + Hex(status);
        return status;
    }
    MapiPtr<IMsgStore> anyStore;
    status = ex2qln::mapi::OpenPrivateStore(session.get(), ex2qln::mapi::kExchangePrivateStoreProvider, anyStore);
    MapiPtr<IExchangeManageStore> manage;
    if (SUCCEEDED(status))
        status = anyStore->QueryInterface(IID_IExchangeManageStore, manage.put_void());
    MapiPtr<IAddrBook> book;
    MapiPtr<IABContainer> gal;
    if (SUCCEEDED(status))
        status = ex2qln::mapi::OpenGlobalAddressList(session.get(), book, gal);
    MapiPtr<IMAPITable> users;
    if (SUCCEEDED(status))
        status = gal->GetContentsTable(0, users.put());
    SizedSPropTagArray(3, columns) = {3, {PR_EMAIL_ADDRESS_A, 0x8006001E, PR_DISPLAY_TYPE}};
    MapiRows rows;
    if (SUCCEEDED(status))
        status = HrQueryAllRows(users.get(), reinterpret_cast<LPSPropTagArray>(&columns), nullptr, nullptr, 0, rows.put());
    if (FAILED(status)) {
        error = "opening the store and the Global Address List failed with " + Hex(status);
        return status;
    }
    Walker walker(kind, counts, error);
    for (ULONG i = 0; i < rows.size(); ++i) {
        const SPropValue* values = rows->aRow[i].lpProps;
        if (PROP_TYPE(values[1].ulPropTag) != PT_STRING8 || values[2].Value.l != DT_MAILUSER)
            continue;
        status = walker.Mailbox(session.get(), manage.get(), values[1].Value.lpszA, values[0].Value.lpszA);
        if (FAILED(status))
            return status;
    }
    return S_OK;
}

} // namespace bench
