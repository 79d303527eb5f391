// Fuzzes what entry identifiers from messages reach: the address book's and the session's
// OpenEntry, CompareEntryIDs and PrepareRecips over a small organisation (one-off, "EX", GAL,
// store, folder and message layouts and anything else).
#include <MapiPtr.h>
#include <mapitags.h>
#include <mapiutil.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

namespace {

constexpr const char* kOrganisation = R"({"gal": [
  {"kind": "user", "account": "a", "dn": "/o=F/cn=a", "smtp": "a@f.example", "displayName": "A",
   "homeMdb": "/o=F/cn=Servers/cn=S/cn=Microsoft Private MDB"},
  {"kind": "list", "dn": "/o=F/cn=l", "smtp": "l@f.example", "displayName": "L", "members": ["a"]}],
  "mailboxes": [{"user": "a", "folders": [{"name": "Inbox", "special": "inbox",
    "messages": [{"properties": {"PR_SUBJECT": "s"}}]}]}]})";

struct Fixture {
    MapiPtr<IMAPISession> session;
    MapiPtr<IAddrBook> book;

    Fixture()
    {
        char directory[] = "/tmp/fuzz-addressbook-XXXXXX";
        if (mkdtemp(directory) == nullptr)
            std::abort();
        std::string base = directory;
        setenv("EX2QLN_USER_REGISTRY", (base + "/registry.ini").c_str(), 1);
        std::string path = base + "/organisation.json";
        std::ofstream(path) << kOrganisation;
        if (MAPILogonEx(0, path.data(), nullptr, MAPI_EXTENDED, session.put()) != S_OK ||
            session->OpenAddressBook(0, nullptr, 0, book.put()) != S_OK)
            std::abort();
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static Fixture fixture;
    auto* entryId = reinterpret_cast<LPENTRYID>(const_cast<std::uint8_t*>(data));
    ULONG cb = static_cast<ULONG>(size);
    ULONG type = 0;
    MapiPtr<IUnknown> object;
    fixture.book->OpenEntry(cb, size == 0 ? nullptr : entryId, nullptr, 0, &type, object.put());
    fixture.session->OpenEntry(cb, size == 0 ? nullptr : entryId, nullptr, 0, &type, object.put());
    ULONG same = 0;
    fixture.book->CompareEntryIDs(cb, entryId, cb / 2, entryId, 0, &same);
    fixture.session->CompareEntryIDs(cb, entryId, cb / 2, entryId, 0, &same);

    MapiBuffer<ADRLIST> list;
    if (MAPIAllocateBuffer(CbNewADRLIST(1), list.put_void()) != S_OK)
        return 0;
    list->cEntries = 1;
    ADRENTRY& entry = list->aEntries[0];
    if (MAPIAllocateBuffer(sizeof(SPropValue), reinterpret_cast<void**>(&entry.rgPropVals)) != S_OK)
        return 0;
    entry.cValues = 1;
    entry.rgPropVals[0].ulPropTag = PR_ENTRYID;
    entry.rgPropVals[0].Value.bin = {cb, const_cast<std::uint8_t*>(data)};
    SizedSPropTagArray(3, columns) = {3, {PR_DISPLAY_NAME_W, PR_SMTP_ADDRESS_A, PR_EMAIL_ADDRESS_W}};
    fixture.book->PrepareRecips(0, reinterpret_cast<LPSPropTagArray>(&columns), list.get());
    FreePadrlist(list.release());
    return 0;
}
