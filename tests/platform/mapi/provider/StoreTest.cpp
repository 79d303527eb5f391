// Stores through CreateStoreEntryID, folder trees, the receive folder, entry comparison, contents
// and associated contents read as they are asked for, messages read when opened (and what happens
// when their files change meanwhile), and the whole demo organisation walked folder by folder.
#include "tests/platform/mapi/provider/SessionTestSupport.h"
#include "tests/support/OutlookSamples.h"

#include <edkmdb.h>

#include <filesystem>
#include <functional>

#include "ex2qln/mapi/ExchangeObjects.h"
#include "platform/cfb/MsgWriter.h"

namespace sessiontest {
namespace {

constexpr const char* kDnPrefix = "/o=Fix/ou=Site/cn=Recipients/cn=";
constexpr const char* kHomeMdb = "/o=Fix/ou=Site/cn=Configuration/cn=Servers/cn=SRV1/cn=Microsoft Private MDB";
constexpr ULONG kAdminFlags = OPENSTORE_USE_ADMIN_PRIVILEGE | OPENSTORE_TAKE_OWNERSHIP;
constexpr ULONG kStoreOpenFlags = MDB_NO_DIALOG | MAPI_BEST_ACCESS | MDB_TEMPORARY | MDB_NO_MAIL;

class Stores : public SessionTest {
protected:
    void LogonTo(const std::string& path)
    {
        session_ = Logon(path.c_str());
        ASSERT_TRUE(session_);
        ASSERT_EQ(ex2qln::mapi::OpenPrivateStore(session_.get(), ex2qln::mapi::kExchangePrivateStoreProvider, private_), S_OK);
        ASSERT_TRUE(private_);
        ASSERT_EQ(private_->QueryInterface(IID_IExchangeManageStore, manage_.put_void()), S_OK);
    }

    void SetUp() override
    {
        SessionTest::SetUp();
        LogonTo(FixturePath());
    }

    // The transfer's steps: entry identifier, store, IPM subtree.
    HRESULT OpenMailbox(const std::string& homeMdb, const std::string& mailboxDn, MapiPtr<IMsgStore>& store)
    {
        ULONG size = 0;
        MapiBuffer<ENTRYID> entryId;
        HRESULT status = manage_->CreateStoreEntryID(const_cast<char*>(homeMdb.c_str()), const_cast<char*>(mailboxDn.c_str()),
                                                    kAdminFlags, &size, entryId.put());
        if (FAILED(status))
            return status;
        return session_->OpenMsgStore(0, size, entryId.get(), nullptr, kStoreOpenFlags, store.put());
    }

    MapiPtr<IMAPIFolder> OpenSubtree(IMsgStore* store)
    {
        std::vector<BYTE> subtree = Binary(store, PR_IPM_SUBTREE_ENTRYID);
        EXPECT_FALSE(subtree.empty());
        ULONG type = 0;
        MapiPtr<IMAPIFolder> folder;
        EXPECT_EQ(store->OpenEntry(static_cast<ULONG>(subtree.size()), reinterpret_cast<LPENTRYID>(subtree.data()),
                                   &IID_IMAPIFolder, 0, &type, folder.put_unknown()),
                  S_OK);
        EXPECT_EQ(type, static_cast<ULONG>(MAPI_FOLDER));
        return folder;
    }

    template <typename Interface, typename Container>
    MapiPtr<Interface> OpenIn(Container* container, const std::vector<BYTE>& entryId, ULONG flags = 0,
                              HRESULT expected = S_OK)
    {
        ULONG type = 0;
        MapiPtr<Interface> object;
        EXPECT_EQ(container->OpenEntry(static_cast<ULONG>(entryId.size()),
                                       reinterpret_cast<LPENTRYID>(const_cast<BYTE*>(entryId.data())), nullptr, flags, &type,
                                       object.put_unknown()),
                  expected);
        return object;
    }

    // The entry identifier of the subfolder of this name.
    std::vector<BYTE> Child(IMAPIFolder* folder, const std::string& name)
    {
        MapiPtr<IMAPITable> table;
        EXPECT_EQ(folder->GetHierarchyTable(0, table.put()), S_OK);
        MapiRows rows;
        QueryAll(table.get(), {PR_DISPLAY_NAME_A, PR_ENTRYID}, rows);
        for (ULONG i = 0; i < rows.size(); ++i) {
            if (Text(&rows->aRow[i].lpProps[0]) == name)
                return Bytes(&rows->aRow[i].lpProps[1]);
        }
        ADD_FAILURE() << "no folder " << name;
        return {};
    }

    // The subfolder of this name and its contents table.
    void OpenContents(IMAPIFolder* parent, const std::string& name, MapiPtr<IMAPIFolder>& folder,
                      MapiPtr<IMAPITable>& contents)
    {
        ASSERT_NE(parent, nullptr);
        folder = OpenIn<IMAPIFolder>(parent, Child(parent, name));
        ASSERT_TRUE(folder);
        ASSERT_EQ(folder->GetContentsTable(0, contents.put()), S_OK);
    }

    // Opens every message below the store's IPM subtree, the way the transfer does, and gives it to
    // `visit`; the number of messages.
    int WalkMailbox(IMsgStore* store, const std::function<void(IMessage*)>& visit)
    {
        int messages = 0;
        std::function<void(IMAPIFolder*)> walk = [&](IMAPIFolder* folder) {
            MapiPtr<IMAPITable> contents;
            ASSERT_EQ(folder->GetContentsTable(0, contents.put()), S_OK);
            MapiRows items;
            QueryAll(contents.get(), {PR_ENTRYID}, items);
            for (ULONG m = 0; m < items.size(); ++m) {
                MapiPtr<IMessage> message = OpenIn<IMessage>(store, Bytes(&items->aRow[m].lpProps[0]), MAPI_MODIFY);
                ASSERT_TRUE(message);
                visit(message.get());
                ++messages;
            }
            MapiPtr<IMAPITable> children;
            ASSERT_EQ(folder->GetHierarchyTable(0, children.put()), S_OK);
            MapiRows sub;
            QueryAll(children.get(), {PR_ENTRYID}, sub);
            for (ULONG f = 0; f < sub.size(); ++f) {
                MapiPtr<IMAPIFolder> child = OpenIn<IMAPIFolder>(folder, Bytes(&sub->aRow[f].lpProps[0]));
                ASSERT_TRUE(child);
                walk(child.get());
            }
        };
        MapiPtr<IMAPIFolder> top = OpenSubtree(store);
        EXPECT_TRUE(top);
        if (top)
            walk(top.get());
        return messages;
    }

    MapiPtr<IMAPISession> session_;
    MapiPtr<IMsgStore> private_;
    MapiPtr<IExchangeManageStore> manage_;
};

TEST_F(Stores, EveryMailboxOpensThroughItsStoreEntryIdentifier)
{
    struct Case {
        std::string mailboxDn;
        HRESULT status;
        std::string name;
    } cases[] = {
        {std::string(kDnPrefix) + "ann", S_OK, "Mailbox - Ann Archer"},
        {std::string(kDnPrefix) + "BEN", S_OK, "Mailbox - Ben Böhm"},
        {std::string(kDnPrefix) + "cat", MAPI_E_NOT_FOUND, ""},  // a GAL user without a mailbox in the file
        {"", MAPI_E_INVALID_PARAMETER, ""},
    };
    for (const Case& c : cases) {
        MapiPtr<IMsgStore> store;
        EXPECT_EQ(OpenMailbox(kHomeMdb, c.mailboxDn, store), c.status) << c.mailboxDn;
        if (FAILED(c.status))
            continue;
        EXPECT_EQ(Text(store.get(), PR_DISPLAY_NAME_A), c.name);
        EXPECT_EQ(Binary(store.get(), PR_MDB_PROVIDER),
                  std::vector<BYTE>(ex2qln::mapi::kExchangePrivateStoreProvider.ab,
                                    ex2qln::mapi::kExchangePrivateStoreProvider.ab + 16));
        EXPECT_TRUE(OpenSubtree(store.get()));
    }
}

TEST_F(Stores, FolderTreesWithClassesCountsAndDepth)
{
    MapiPtr<IMAPIFolder> top = OpenSubtree(private_.get());
    ASSERT_TRUE(top);
    MapiPtr<IMAPITable> children;
    ASSERT_EQ(top->GetHierarchyTable(0, children.put()), S_OK);
    MapiRows rows;
    QueryAll(children.get(), {PR_DISPLAY_NAME_W, PR_CONTAINER_CLASS_A, PR_CONTENT_COUNT, PR_FOLDER_TYPE, PR_DEPTH,
                              PR_LONGTERM_ENTRYID_FROM_TABLE, PR_ENTRYID, PR_SUBFOLDERS},
             rows);
    struct Folder {
        const char* name;
        const char* containerClass;
        LONG count;
        bool subfolders;
    } expected[] = {{"Inbox", "IPF.Note", 2, true}, {"inbox copy", "IPF.Note", 0, false}, {"Calendar", "IPF.Appointment", 1, false}};
    ASSERT_EQ(rows.size(), std::size(expected));
    for (ULONG i = 0; i < rows.size(); ++i) {
        const SPropValue* values = rows->aRow[i].lpProps;
        EXPECT_EQ(Text(&values[0]), expected[i].name);
        EXPECT_EQ(Text(&values[1]), expected[i].containerClass);
        EXPECT_EQ(values[2].Value.l, expected[i].count);
        EXPECT_EQ(values[3].Value.l, static_cast<LONG>(FOLDER_GENERIC));
        EXPECT_EQ(values[4].Value.l, 0);
        EXPECT_EQ(Bytes(&values[5]), Bytes(&values[6]));
        EXPECT_EQ(values[7].Value.b, expected[i].subfolders ? TRUE : FALSE);
    }

    MapiPtr<IMAPITable> all;
    ASSERT_EQ(top->GetHierarchyTable(CONVENIENT_DEPTH, all.put()), S_OK);
    MapiRows deep;
    QueryAll(all.get(), {PR_DISPLAY_NAME_A, PR_DEPTH}, deep);
    std::vector<std::string> tree;
    for (ULONG i = 0; i < deep.size(); ++i)
        tree.push_back(std::string(2 * deep->aRow[i].lpProps[1].Value.l, ' ') + Text(&deep->aRow[i].lpProps[0]));
    EXPECT_EQ(tree, (std::vector<std::string>{"Inbox", "  Projects", "    Old", "inbox copy", "Calendar"}));

    MapiPtr<IMAPIFolder> inbox = OpenIn<IMAPIFolder>(top.get(), Child(top.get(), "Inbox"));
    ASSERT_TRUE(inbox);
    EXPECT_EQ(Long(inbox.get(), PR_ASSOC_CONTENT_COUNT), 1);
    EXPECT_EQ(Long(inbox.get(), PR_OBJECT_TYPE), static_cast<LONG>(MAPI_FOLDER));
    SPropValue name{PR_DISPLAY_NAME_A, 0, {}};
    name.Value.lpszA = const_cast<char*>("renamed");
    EXPECT_EQ(inbox->SetProps(1, &name, nullptr), MAPI_E_NO_ACCESS);
    EXPECT_EQ(Text(inbox.get(), PR_DISPLAY_NAME_A), "Inbox");
}

TEST_F(Stores, TheReceiveFolderIsTheInboxWhateverItsName)
{
    struct Case {
        std::string mailbox;
        std::string inboxName;
    } cases[] = {{"ann", "Inbox"}, {"ben", "Posteingang"}};
    for (const Case& c : cases) {
        MapiPtr<IMsgStore> store;
        ASSERT_EQ(OpenMailbox(kHomeMdb, kDnPrefix + c.mailbox, store), S_OK);
        ULONG size = 0;
        MapiBuffer<ENTRYID> receive;
        MapiBuffer<char> explicitClass;
        ASSERT_EQ(store->GetReceiveFolder(nullptr, 0, &size, receive.put(), explicitClass.put()), S_OK);
        EXPECT_STREQ(explicitClass.get(), "");
        MapiPtr<IMAPIFolder> top = OpenSubtree(store.get());
        MapiPtr<IMAPITable> children;
        ASSERT_EQ(top->GetHierarchyTable(0, children.put()), S_OK);
        MapiRows rows;
        QueryAll(children.get(), {PR_DISPLAY_NAME_A, PR_LONGTERM_ENTRYID_FROM_TABLE}, rows);
        std::vector<std::string> matches;
        for (ULONG i = 0; i < rows.size(); ++i) {
            const SBinary& entryId = rows->aRow[i].lpProps[1].Value.bin;
            ULONG same = 2;
            ASSERT_EQ(store->CompareEntryIDs(size, receive.get(), entryId.cb, reinterpret_cast<LPENTRYID>(entryId.lpb), 0, &same),
                      S_OK);
            if (same == TRUE)
                matches.push_back(Text(&rows->aRow[i].lpProps[0]));
        }
        EXPECT_EQ(matches, std::vector<std::string>{c.inboxName}) << c.mailbox;
    }
    // The public folders have no receive folder.
    MapiPtr<IMsgStore> publicStore;
    ASSERT_EQ(OpenMailbox(kHomeMdb, "", publicStore), MAPI_E_INVALID_PARAMETER);
}

TEST_F(Stores, ContentsAndHiddenItemsOpenAsMessagesThatChangeOnlyInMemory)
{
    MapiPtr<IMAPIFolder> top = OpenSubtree(private_.get());
    MapiPtr<IMAPIFolder> inbox = OpenIn<IMAPIFolder>(top.get(), Child(top.get(), "Inbox"));
    ASSERT_TRUE(inbox);
    struct Case {
        ULONG flags;
        std::vector<std::string> subjects;
        LONG associatedFlag;
    } cases[] = {{0, {"First", "Second"}, 0}, {MAPI_ASSOCIATED, {"Compact"}, MSGFLAG_ASSOCIATED}};
    for (const Case& c : cases) {
        MapiPtr<IMAPITable> contents;
        ASSERT_EQ(inbox->GetContentsTable(c.flags, contents.put()), S_OK);
        MapiRows rows;
        QueryAll(contents.get(), {PR_ENTRYID, PR_SUBJECT_A, PR_MESSAGE_FLAGS, PR_BODY_A}, rows);
        ASSERT_EQ(rows.size(), c.subjects.size());
        for (ULONG i = 0; i < rows.size(); ++i) {
            const SPropValue* values = rows->aRow[i].lpProps;
            EXPECT_EQ(Text(&values[1]), c.subjects[i]);
            EXPECT_EQ(values[2].Value.l & MSGFLAG_ASSOCIATED, c.associatedFlag);
            EXPECT_EQ(PROP_TYPE(values[3].ulPropTag), PT_ERROR) << "bodies are not table columns";
            MapiPtr<IMessage> message = OpenIn<IMessage>(inbox.get(), Bytes(&values[0]));
            ASSERT_TRUE(message);
            EXPECT_EQ(Text(message.get(), PR_SUBJECT_A), c.subjects[i]);
        }
    }

    std::vector<BYTE> first;
    {
        MapiPtr<IMAPITable> contents;
        ASSERT_EQ(inbox->GetContentsTable(0, contents.put()), S_OK);
        MapiRows rows;
        QueryAll(contents.get(), {PR_ENTRYID}, rows);
        first = Bytes(&rows->aRow[0].lpProps[0]);
    }
    ULONG type = 0;
    MapiPtr<IMessage> writable;
    ASSERT_EQ(private_->OpenEntry(static_cast<ULONG>(first.size()), reinterpret_cast<LPENTRYID>(first.data()), &IID_IMessage,
                                  MAPI_MODIFY, &type, writable.put_unknown()),
              S_OK);
    EXPECT_EQ(type, static_cast<ULONG>(MAPI_MESSAGE));
    EXPECT_EQ(Text(writable.get(), PR_BODY_A), "Hello");
    SPropValue subject{PR_SUBJECT_A, 0, {}};
    subject.Value.lpszA = const_cast<char*>("Changed");
    ASSERT_EQ(writable->SetProps(1, &subject, nullptr), S_OK);
    EXPECT_EQ(writable->SaveChanges(KEEP_OPEN_READWRITE), S_OK);
    EXPECT_EQ(Text(writable.get(), PR_SUBJECT_A), "Changed");
    MapiPtr<IMessage> again = OpenIn<IMessage>(inbox.get(), first);
    EXPECT_EQ(Text(again.get(), PR_SUBJECT_A), "First");
    MapiPtr<IMessage> readOnly = OpenIn<IMessage>(inbox.get(), first);
    EXPECT_EQ(readOnly->SetProps(1, &subject, nullptr), MAPI_E_NO_ACCESS);

    // Named properties of the store's messages resolve to the store's ids.
    MAPINAMEID name{const_cast<GUID*>(&PSETID_Common), MNID_ID, {0x8503}};
    LPMAPINAMEID names[] = {&name};
    MapiBuffer<SPropTagArray> tags;
    ASSERT_EQ(again->GetIDsFromNames(1, names, 0, tags.put()), S_OK);
    EXPECT_EQ(Long(again.get(), CHANGE_PROP_TYPE(tags->aulPropTag[0], PT_BOOLEAN)), 1);
}

TEST_F(Stores, EntryIdentifiersBelongToTheirStore)
{
    MapiPtr<IMsgStore> ben;
    ASSERT_EQ(OpenMailbox(kHomeMdb, std::string(kDnPrefix) + "ben", ben), S_OK);
    MapiPtr<IMAPIFolder> top = OpenSubtree(private_.get());
    std::vector<BYTE> inbox = Child(top.get(), "Inbox");
    MapiPtr<IMAPIFolder> benTop = OpenSubtree(ben.get());
    ASSERT_TRUE(benTop);
    OpenIn<IMAPIFolder>(benTop.get(), inbox, 0, MAPI_E_INVALID_ENTRYID);
    OpenIn<IMAPIFolder>(ben.get(), inbox, 0, MAPI_E_INVALID_ENTRYID);
    std::vector<BYTE> unknown(46, 0);
    OpenIn<IMAPIFolder>(top.get(), unknown, 0, MAPI_E_NOT_FOUND);

    // The session opens anything of the organisation by its identifier.
    ULONG type = 0;
    MapiPtr<IUnknown> folder;
    ASSERT_EQ(session_->OpenEntry(static_cast<ULONG>(inbox.size()), reinterpret_cast<LPENTRYID>(inbox.data()), nullptr, 0,
                                  &type, folder.put()),
              S_OK);
    EXPECT_EQ(type, static_cast<ULONG>(MAPI_FOLDER));
    ULONG same = FALSE;
    std::vector<BYTE> copy = inbox;
    ASSERT_EQ(session_->CompareEntryIDs(static_cast<ULONG>(inbox.size()), reinterpret_cast<LPENTRYID>(inbox.data()),
                                        static_cast<ULONG>(copy.size()), reinterpret_cast<LPENTRYID>(copy.data()), 0, &same),
              S_OK);
    EXPECT_EQ(same, static_cast<ULONG>(TRUE));
}

// A folder serves the properties of the organisation file by type, multi-valued GUIDs included.
TEST_F(Stores, FolderPropertiesOfTheFileAreServedByType)
{
    LogonTo(WriteFile("typed.json", R"({"gal": [{"kind": "user", "account": "t", "dn": "/o=T/cn=t",
        "smtp": "t@t.example", "displayName": "T"}],
      "mailboxes": [{"user": "t", "folders": [{"name": "Typed", "properties": {
        "0x66010048": "{00062002-0000-0000-C000-000000000046}",
        "0x66021048": ["{00062002-0000-0000-C000-000000000046}", "{00062008-0000-0000-C000-000000000046}"],
        "0x66031003": [7, 8]}}]}]})"));
    MapiPtr<IMAPIFolder> subtree = OpenSubtree(private_.get());
    ASSERT_TRUE(subtree);
    MapiPtr<IMAPIFolder> typed = OpenIn<IMAPIFolder>(private_.get(), Child(subtree.get(), "Typed"));
    ASSERT_TRUE(typed);
    SizedSPropTagArray(3, tags) = {3, {PROP_TAG(PT_CLSID, 0x6601), PROP_TAG(PT_MV_CLSID, 0x6602),
                                       PROP_TAG(PT_MV_LONG, 0x6603)}};
    ULONG count = 0;
    MapiBuffer<SPropValue> values;
    ASSERT_EQ(typed->GetProps(reinterpret_cast<LPSPropTagArray>(&tags), 0, &count, values.put()), S_OK);
    ASSERT_EQ(count, 3u);
    const GUID appointment = {0x00062002, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
    const GUID common = {0x00062008, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
    EXPECT_TRUE(IsEqualGUID(*values.get()[0].Value.lpguid, appointment));
    ASSERT_EQ(values.get()[1].Value.MVguid.cValues, 2u);
    EXPECT_TRUE(IsEqualGUID(values.get()[1].Value.MVguid.lpguid[0], appointment));
    EXPECT_TRUE(IsEqualGUID(values.get()[1].Value.MVguid.lpguid[1], common));
    ASSERT_EQ(values.get()[2].Value.MVl.cValues, 2u);
    EXPECT_EQ(values.get()[2].Value.MVl.lpl[1], 8);
}

TEST_F(Stores, ThePublicFoldersOpenFromTheStoresTable)
{
    MapiPtr<IMsgStore> publicStore;
    const MAPIUID publicProvider = {pbExchangeProviderPublicGuid};
    ASSERT_EQ(ex2qln::mapi::OpenPrivateStore(session_.get(), publicProvider, publicStore), S_OK);
    ASSERT_TRUE(publicStore);
    MapiPtr<IMAPIFolder> top = OpenSubtree(publicStore.get());
    ASSERT_TRUE(top);
    MapiPtr<IMAPITable> children;
    ASSERT_EQ(top->GetHierarchyTable(0, children.put()), S_OK);
    EXPECT_EQ(Column(children.get(), PR_DISPLAY_NAME_A), std::vector<std::string>{"News"});
    ULONG size = 0;
    MapiBuffer<ENTRYID> receive;
    EXPECT_EQ(publicStore->GetReceiveFolder(nullptr, 0, &size, receive.put(), nullptr), MAPI_E_NOT_FOUND);
}

// A user with one folder of five messages, three of them unread.
constexpr const char* kReportsOrganisation = R"({"gal": [{"kind": "user", "account": "r", "dn": "/o=R/cn=r",
    "smtp": "r@r.example", "displayName": "R"}],
  "mailboxes": [{"user": "r", "folders": [{"name": "Reports", "messages": [
    {"properties": {"PR_SUBJECT": "Weekly report 1", "PR_MESSAGE_DELIVERY_TIME": "2024-01-03", "PR_IMPORTANCE": 2, "PR_MESSAGE_FLAGS": 1}},
    {"properties": {"PR_SUBJECT": "Lunch", "PR_MESSAGE_DELIVERY_TIME": "2024-01-01", "PR_IMPORTANCE": 1}},
    {"properties": {"PR_SUBJECT": "Weekly report 2", "PR_MESSAGE_DELIVERY_TIME": "2024-01-05", "PR_IMPORTANCE": 1, "PR_MESSAGE_FLAGS": 1}},
    {"properties": {"PR_SUBJECT": "Holiday plans", "PR_MESSAGE_DELIVERY_TIME": "2024-01-02", "PR_IMPORTANCE": 0}},
    {"properties": {"PR_SUBJECT": "Monthly REPORT", "PR_MESSAGE_DELIVERY_TIME": "2024-01-04", "PR_IMPORTANCE": 2, "PR_MESSAGE_FLAGS": 0}}]}]}]})";

// Contents rows are read as a view needs them; restrictions, sort orders, FindRow and the list of
// all columns work on them as on rows kept whole.
TEST_F(Stores, ContentsTablesRestrictSortAndFindOverRowsReadWhenAskedFor)
{
    LogonTo(WriteFile("reports.json", kReportsOrganisation));
    MapiPtr<IMAPIFolder> subtree = OpenSubtree(private_.get());
    MapiPtr<IMAPIFolder> reports;
    MapiPtr<IMAPITable> contents;
    ASSERT_NO_FATAL_FAILURE(OpenContents(subtree.get(), "Reports", reports, contents));

    SPropValue word{PR_SUBJECT_A, 0, {}};
    word.Value.lpszA = const_cast<char*>("report");
    SRestriction aboutReports{};
    aboutReports.rt = RES_CONTENT;
    aboutReports.res.resContent = {FL_SUBSTRING | FL_IGNORECASE, PR_SUBJECT_A, &word};
    ASSERT_EQ(contents->Restrict(&aboutReports, 0), S_OK);
    SizedSSortOrderSet(1, newestFirst) = {1, 0, 0, {{PR_MESSAGE_DELIVERY_TIME, TABLE_SORT_DESCEND}}};
    ASSERT_EQ(contents->SortTable(reinterpret_cast<LPSSortOrderSet>(&newestFirst), 0), S_OK);
    ULONG count = 0;
    ASSERT_EQ(contents->GetRowCount(0, &count), S_OK);
    EXPECT_EQ(count, 3u);
    EXPECT_EQ(Column(contents.get(), PR_SUBJECT_A), (std::vector<std::string>{"Weekly report 2", "Monthly REPORT", "Weekly report 1"}));

    SPropValue high{PR_IMPORTANCE, 0, {}};
    high.Value.l = 2;
    SRestriction isHigh{};
    isHigh.rt = RES_PROPERTY;
    isHigh.res.resProperty = {RELOP_EQ, PR_IMPORTANCE, &high};
    ASSERT_EQ(contents->FindRow(&isHigh, BOOKMARK_BEGINNING, 0), S_OK);
    MapiRows found;
    ASSERT_EQ(contents->QueryRows(1, 0, found.put()), S_OK);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(Text(&found->aRow[0].lpProps[0]), "Monthly REPORT");

    MapiBuffer<SPropTagArray> all;
    ASSERT_EQ(contents->QueryColumns(TBL_ALL_COLUMNS, all.put()), S_OK);
    std::vector<ULONG> columns(all->aulPropTag, all->aulPropTag + all->cValues);
    for (ULONG tag : {PR_IMPORTANCE, PR_MESSAGE_DELIVERY_TIME, PR_PARENT_ENTRYID})
        EXPECT_NE(std::find(columns.begin(), columns.end(), tag), columns.end()) << std::hex << tag;

    // The unread count reads every message; the folder and its parent's hierarchy table give it.
    EXPECT_EQ(Long(reports.get(), PR_CONTENT_UNREAD), 3);
    MapiPtr<IMAPITable> children;
    ASSERT_EQ(subtree->GetHierarchyTable(0, children.put()), S_OK);
    MapiRows rows;
    QueryAll(children.get(), {PR_DISPLAY_NAME_A, PR_CONTENT_COUNT, PR_CONTENT_UNREAD}, rows);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows->aRow[0].lpProps[1].Value.l, 5);
    EXPECT_EQ(rows->aRow[0].lpProps[2].Value.l, 3);
}

// A mail of its own as a .msg file.
void WriteMail(const std::string& path, const char16_t* subject)
{
    platform::cfb::MsgDocument document;
    for (auto [tag, text] : {std::pair{PR_MESSAGE_CLASS_W, u"IPM.Note"}, std::pair{PR_SUBJECT_W, subject}}) {
        platform::cfb::MsgProperty property;
        property.tag = tag;
        property.text = text;
        document.message.properties.push_back(property);
    }
    std::string error;
    ASSERT_EQ(platform::cfb::WriteMsgFile(path, document, error), S_OK) << error;
}

// .msg files are read when their message is: one damaged before the logon, one gone and one
// rewritten after it fail or give their new content then, through each object that opens messages.
TEST_F(Stores, MessagesAreReadWhenOpenedAndFilesThatChangedSayWhy)
{
    std::string organisation = WriteFile("mail.json", R"({"gal": [{"kind": "user", "account": "m", "dn": "/o=M/cn=m",
        "smtp": "m@m.example", "displayName": "M"}], "mailboxes": [{"user": "m", "folders": ["mail"]}]})");
    std::filesystem::path mail = std::filesystem::path(organisation).parent_path() / "mail";
    std::filesystem::create_directories(mail);
    WriteMail((mail / "a.msg").string(), u"Gone later");
    WriteFile("mail/b.msg", "no compound file at all");
    WriteMail((mail / "c.msg").string(), u"Original");
    LogonTo(organisation);
    std::filesystem::remove(mail / "a.msg");
    WriteMail((mail / "c.msg").string(), u"Rewritten");

    MapiPtr<IMAPIFolder> subtree = OpenSubtree(private_.get());
    MapiPtr<IMAPIFolder> folder;
    MapiPtr<IMAPITable> contents;
    ASSERT_NO_FATAL_FAILURE(OpenContents(subtree.get(), "mail", folder, contents));
    MapiRows rows;
    QueryAll(contents.get(), {PR_ENTRYID, PR_SUBJECT_A}, rows);
    ASSERT_EQ(rows.size(), 3u);
    // A row of a message that cannot be read holds what the folder's index knows.
    EXPECT_EQ(Text(&rows->aRow[0].lpProps[1]), "<error 0x8004010f>");
    EXPECT_EQ(Text(&rows->aRow[1].lpProps[1]), "<error 0x8004010f>");
    EXPECT_EQ(Text(&rows->aRow[2].lpProps[1]), "Rewritten");

    struct Opener {
        const char* name;
        std::function<HRESULT(const std::vector<BYTE>&, MapiPtr<IMessage>&)> open;
        std::function<HRESULT(HRESULT, LPMAPIERROR*)> lastError;
    };
    auto opener = [](auto* object) {
        return Opener{"", [object](const std::vector<BYTE>& entryId, MapiPtr<IMessage>& message) {
                          ULONG type = 0;
                          return object->OpenEntry(static_cast<ULONG>(entryId.size()),
                                                   reinterpret_cast<LPENTRYID>(const_cast<BYTE*>(entryId.data())),
                                                   &IID_IMessage, MAPI_BEST_ACCESS, &type, message.put_unknown());
                      },
                      [object](HRESULT status, LPMAPIERROR* error) { return object->GetLastError(status, 0, error); }};
    };
    Opener openers[] = {opener(folder.get()), opener(private_.get()), opener(session_.get())};
    openers[0].name = "folder";
    openers[1].name = "store";
    openers[2].name = "session";
    struct Expected {
        HRESULT status;
        std::string errorPart;
    } expected[] = {{EX2QLN_HR(0x80070002u), "mail.json: mailboxes[0].folders[0]: " + (mail / "a.msg").string() +
                                                 ": cannot be read (No such file or directory)"},
                    {MAPI_E_CORRUPT_DATA, (mail / "b.msg").string() + ": the file is too short"},
                    {S_OK, ""}};
    for (const Opener& each : openers) {
        for (ULONG i = 0; i < rows.size(); ++i) {
            MapiPtr<IMessage> message;
            HRESULT status = each.open(Bytes(&rows->aRow[i].lpProps[0]), message);
            EXPECT_EQ(status, expected[i].status) << each.name << " " << i;
            MapiBuffer<MAPIERROR> error;
            ASSERT_EQ(each.lastError(status, error.put()), S_OK);
            std::string text = error ? std::string(reinterpret_cast<const char*>(error->lpszError)) : "";
            EXPECT_EQ(text.empty(), expected[i].errorPart.empty()) << each.name << " " << i << ": " << text;
            EXPECT_NE(text.find(expected[i].errorPart), std::string::npos) << each.name << " " << i << ": " << text;
            if (SUCCEEDED(status)) {
                EXPECT_EQ(Text(message.get(), PR_SUBJECT_A), "Rewritten");
            }
        }
    }
}

// Every folder and message of every mailbox of the demo organisation opens, the way the transfer
// walks them.
TEST_F(Stores, TheDemoOrganisationWalksCompletely)
{
    TearDown();
    SessionTest::SetUp();
    LogonTo("");
    MapiPtr<IABContainer> gal;
    MapiPtr<IAddrBook> book;
    ASSERT_EQ(ex2qln::mapi::OpenGlobalAddressList(session_.get(), book, gal), S_OK);
    MapiPtr<IMAPITable> users;
    ASSERT_EQ(gal->GetContentsTable(0, users.put()), S_OK);
    MapiRows rows;
    QueryAll(users.get(), {PR_EMAIL_ADDRESS_A, 0x8006001E, 0x8007001E, PR_DISPLAY_TYPE}, rows);
    int mailboxes = 0;
    int messages = 0;
    for (ULONG i = 0; i < rows.size(); ++i) {
        const SPropValue* values = rows->aRow[i].lpProps;
        if (values[3].Value.l != DT_MAILUSER)
            continue;
        std::string home = PROP_TYPE(values[1].ulPropTag) == PT_STRING8 ? Text(&values[1]) : Text(&values[2]);
        MapiPtr<IMsgStore> store;
        ASSERT_EQ(OpenMailbox(home, Text(&values[0]), store), S_OK) << Text(&values[0]);
        ++mailboxes;
        messages += WalkMailbox(store.get(), [](IMessage* message) { EXPECT_NE(Text(message, PR_MESSAGE_CLASS_A), ""); });
    }
    EXPECT_EQ(mailboxes, 4);
    EXPECT_GT(messages, 10);
}

// Mailboxes served from the shared Outlook data files walk completely: every message opens with
// its recipients and attachments, attached messages open as messages.
TEST_F(Stores, DataFileMailboxesWalkCompletely)
{
    if (!testsupport::HaveOutlookSamples())
        GTEST_SKIP() << "the shared Outlook samples are not here: " << testsupport::OutlookSamplesDirectory();
    const std::string samples = testsupport::OutlookSamplesDirectory().string();
    const std::string site = "/o=P/ou=S/cn=";
    const std::string home = site + "Configuration/cn=Servers/cn=PST/cn=Microsoft Private MDB";
    std::string gal;
    std::string mailboxes;
    const char* files[] = {"HiraokaHyperTools-pst_to_eml/contacts97-2002.pst", "aspose-email-dotnet/passwordprotectedPST.pst",
                           "rjohnsondev-java-libpst/dist-list.pst"};
    for (int i = 0; i < 3; ++i) {
        const std::string user = "u" + std::to_string(i);
        gal += std::string(i == 0 ? "" : ",") + R"({"kind": "user", "account": ")" + user + R"(", "dn": ")" + site +
               "Recipients/cn=" + user + R"(", "smtp": ")" + user + R"(@p.example", "displayName": ")" + user +
               R"(", "homeMdb": ")" + home + R"("})";
        mailboxes += std::string(i == 0 ? "" : ",") + R"({"user": ")" + user + R"(", "codePage": )" +
                     (i == 0 ? "932" : "1252") + R"(, "pst": ")" + samples + "/" + files[i] + R"("})";
    }
    TearDown();
    SessionTest::SetUp();
    LogonTo(WriteFile("pst.json", R"({"gal": [)" + gal + R"(], "mailboxes": [)" + mailboxes + "]}"));
    const int expectedMessages[] = {1, 18, 3};
    int attachments = 0;
    int embedded = 0;
    for (int i = 0; i < 3; ++i) {
        MapiPtr<IMsgStore> store;
        ASSERT_EQ(OpenMailbox(home, site + "Recipients/cn=u" + std::to_string(i), store), S_OK);
        int messages = WalkMailbox(store.get(), [&](IMessage* message) {
            EXPECT_NE(Text(message, PR_MESSAGE_CLASS_W), "");
            MapiPtr<IMAPITable> recipients;
            EXPECT_EQ(message->GetRecipientTable(0, recipients.put()), S_OK);
            MapiPtr<IMAPITable> table;
            ASSERT_EQ(message->GetAttachmentTable(0, table.put()), S_OK);
            MapiRows rows;
            QueryAll(table.get(), {PR_ATTACH_NUM, PR_ATTACH_METHOD}, rows);
            for (ULONG a = 0; a < rows.size(); ++a) {
                MapiPtr<IAttach> attach;
                ASSERT_EQ(message->OpenAttach(static_cast<ULONG>(rows->aRow[a].lpProps[0].Value.l), nullptr, 0, attach.put()), S_OK);
                ++attachments;
                if (rows->aRow[a].lpProps[1].Value.l != ATTACH_EMBEDDED_MSG)
                    continue;
                MapiPtr<IMessage> inner;
                ASSERT_EQ(attach->OpenProperty(PR_ATTACH_DATA_OBJ, &IID_IMessage, 0, 0, inner.put_unknown()), S_OK);
                EXPECT_NE(Text(inner.get(), PR_MESSAGE_CLASS_W), "");
                ++embedded;
            }
        });
        EXPECT_EQ(messages, expectedMessages[i]) << files[i];
    }
    EXPECT_GT(attachments, embedded);
    EXPECT_GE(embedded, 4);
}

} // namespace
} // namespace sessiontest
