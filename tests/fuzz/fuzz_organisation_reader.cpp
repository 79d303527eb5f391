// Fuzzes the organisation file reader and what the runtime serves from it on demand. The input is
// read as an organisation text (without a base directory, so that no input can make the reader open
// files), and every store of it is walked: contents tables read, sorted and restricted, every
// message opened, hierarchy tables read with their unread counts. The same input is then the new
// content of a .msg file of a fixed organisation, which changed after that organisation was read,
// beside a .msg file that has gone, and that organisation is walked again.
#include "platform/cfb/MsgWriter.h"
#include "platform/mapi/provider/OrgContext.h"
#include "platform/mapi/provider/StoreObjects.h"
#include "platform/orgsource/OrganisationReader.h"

#include <MapiPtr.h>
#include <mapitags.h>
#include <mapiutil.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

namespace {

namespace org = platform::orgsource;

constexpr const char* kChangingOrganisation = R"({"gal": [{"kind": "user", "account": "a", "dn": "/o=F/cn=a",
  "smtp": "a@f.example", "displayName": "A"}],
  "mailboxes": [{"user": "a", "folders": [{"name": "Mail", "directory": "mail",
    "messages": [{"id": "overlay", "msg": "mail/changing.msg", "properties": {"PR_SUBJECT": "overlay"}}]}]}]})";

void Check(bool holds, const std::string& why = "")
{
    if (!holds) {
        std::fprintf(stderr, "%s\n", why.c_str());
        __builtin_trap();
    }
}

// A message that does not open says why.
void OpenMessage(IMAPIFolder* folder, const SBinary& entryId)
{
    ULONG type = 0;
    MapiPtr<IMessage> message;
    HRESULT status = folder->OpenEntry(entryId.cb, reinterpret_cast<LPENTRYID>(entryId.lpb), &IID_IMessage, MAPI_MODIFY,
                                       &type, message.put_unknown());
    if (FAILED(status)) {
        MapiBuffer<MAPIERROR> error;
        Check(folder->GetLastError(status, 0, error.put()) == S_OK && error && error->lpszError != nullptr);
        return;
    }
    ULONG count = 0;
    MapiBuffer<SPropValue> values;
    Check(SUCCEEDED(message->GetProps(nullptr, MAPI_UNICODE, &count, values.put())));
    MapiPtr<IMAPITable> attachments;
    MapiRows rows;
    if (SUCCEEDED(message->GetAttachmentTable(0, attachments.put())))
        Check(SUCCEEDED(HrQueryAllRows(attachments.get(), nullptr, nullptr, nullptr, 0, rows.put())));
}

// Every row of the contents table (the default columns read each message), then again sorted and
// restricted by subject with only the entry identifier, each message opened.
void ReadContents(IMAPIFolder* folder, ULONG flags)
{
    MapiPtr<IMAPITable> contents;
    Check(SUCCEEDED(folder->GetContentsTable(flags, contents.put())));
    ULONG count = 0;
    Check(SUCCEEDED(contents->GetRowCount(0, &count)));
    MapiRows all;
    Check(SUCCEEDED(HrQueryAllRows(contents.get(), nullptr, nullptr, nullptr, 0, all.put())));
    Check(all.size() == count);

    SizedSPropTagArray(1, entryIds) = {1, {PR_ENTRYID}};
    SizedSSortOrderSet(1, bySubject) = {1, 0, 0, {{PR_SUBJECT_W, TABLE_SORT_DESCEND}}};
    SRestriction withSubject{};
    withSubject.rt = RES_EXIST;
    withSubject.res.resExist.ulPropTag = PR_SUBJECT_W;
    MapiRows some;
    Check(SUCCEEDED(HrQueryAllRows(contents.get(), reinterpret_cast<LPSPropTagArray>(&entryIds), &withSubject,
                                   reinterpret_cast<LPSSortOrderSet>(&bySubject), 0, some.put())));
    Check(some.size() <= count);
    MapiRows ids;
    Check(SUCCEEDED(contents->Restrict(nullptr, 0)) &&
          SUCCEEDED(HrQueryAllRows(contents.get(), reinterpret_cast<LPSPropTagArray>(&entryIds), nullptr, nullptr, 0, ids.put())));
    Check(ids.size() == count);
    for (ULONG i = 0; i < ids.size(); ++i) {
        const SPropValue& entryId = ids->aRow[i].lpProps[0];
        Check(PROP_TYPE(entryId.ulPropTag) == PT_BINARY);
        OpenMessage(folder, entryId.Value.bin);
    }
}

void WalkFolder(IMAPIFolder* folder)
{
    ReadContents(folder, 0);
    ReadContents(folder, MAPI_ASSOCIATED);
    MapiPtr<IMAPITable> children;
    Check(SUCCEEDED(folder->GetHierarchyTable(0, children.put())));
    MapiRows rows;
    Check(SUCCEEDED(HrQueryAllRows(children.get(), nullptr, nullptr, nullptr, 0, rows.put())));
    for (ULONG i = 0; i < rows.size(); ++i) {
        const SPropValue* entryId = PpropFindProp(rows->aRow[i].lpProps, rows->aRow[i].cValues, PR_ENTRYID);
        Check(entryId != nullptr);
        ULONG type = 0;
        MapiPtr<IMAPIFolder> child;
        Check(SUCCEEDED(folder->OpenEntry(entryId->Value.bin.cb, reinterpret_cast<LPENTRYID>(entryId->Value.bin.lpb),
                                          &IID_IMAPIFolder, 0, &type, child.put_unknown())));
        WalkFolder(child.get());
    }
}

void WalkStores(const mapi::OrgContextPointer& context)
{
    for (std::size_t s = 0; s < context->Org().stores.size(); ++s) {
        MapiPtr<IMsgStore> store;
        Check(SUCCEEDED(mapi::OpenStoreObject(context, s, nullptr, store.put())));
        ULONG type = 0;
        MapiPtr<IMAPIFolder> root;
        Check(SUCCEEDED(store->OpenEntry(0, nullptr, &IID_IMAPIFolder, 0, &type, root.put_unknown())));
        WalkFolder(root.get());
    }
}

mapi::OrgContextPointer Serve(std::shared_ptr<const org::Organisation> organisation)
{
    mapi::OrgContextPointer context;
    Check(SUCCEEDED(mapi::OrgContext::Create(std::move(organisation), std::nullopt, context)));
    return context;
}

// The fixed organisation: read once, its files changed under it by every input.
struct ChangingFiles {
    std::filesystem::path directory;
    std::vector<std::uint8_t> sound;
    mapi::OrgContextPointer context;

    ChangingFiles()
    {
        char name[] = "/tmp/fuzz-organisation-XXXXXX";
        Check(mkdtemp(name) != nullptr);
        directory = name;
        std::filesystem::create_directories(directory / "mail");
        platform::cfb::MsgDocument document;
        platform::cfb::MsgProperty subject;
        subject.tag = PR_SUBJECT_W;
        subject.text = u"sound";
        document.message.properties.push_back(subject);
        std::string error;
        Check(SUCCEEDED(platform::cfb::WriteMsgBytes(document, "sound.msg", sound, error)), error);
        Write("changing.msg", sound.data(), sound.size());
        Write("gone.msg", sound.data(), sound.size());
        std::ofstream(directory / "organisation.json") << kChangingOrganisation;
        auto organisation = std::make_shared<org::Organisation>();
        Check(SUCCEEDED(org::ReadOrganisationFile((directory / "organisation.json").string(), *organisation, error)), error);
        context = Serve(std::move(organisation));
    }

    ~ChangingFiles()
    {
        std::error_code ignored;
        std::filesystem::remove_all(directory, ignored);
    }

    void Write(const char* file, const std::uint8_t* data, std::size_t size) const
    {
        std::ofstream(directory / "mail" / file, std::ios::binary | std::ios::trunc)
            .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }

    void Run(const std::uint8_t* data, std::size_t size) const
    {
        Write("changing.msg", data, size);
        std::filesystem::remove(directory / "mail" / "gone.msg");
        WalkStores(context);
        Write("gone.msg", sound.data(), sound.size());
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const ChangingFiles changing;
    auto organisation = std::make_shared<org::Organisation>();
    std::string error;
    std::string_view text(reinterpret_cast<const char*>(data), size);
    HRESULT status = org::ReadOrganisationText(text, "fuzz.json", std::nullopt, *organisation, error);
    Check(SUCCEEDED(status) || !error.empty());  // every failure says what is wrong
    if (SUCCEEDED(status))
        WalkStores(Serve(std::move(organisation)));
    changing.Run(data, size);
    return 0;
}
