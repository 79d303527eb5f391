// The address book: the GAL found the driver's way, its contents table with restrictions, mail
// users, nested distribution lists, one-off and "EX" identifiers, PrepareRecips and ResolveName.
#include "tests/platform/mapi/provider/SessionTestSupport.h"

#include <cstring>

#include "ex2qln/mapi/ExchangeObjects.h"

namespace sessiontest {
namespace {

constexpr const char* kDnPrefix = "/o=Fix/ou=Site/cn=Recipients/cn=";

class AddressBook : public SessionTest {
protected:
    void SetUp() override
    {
        SessionTest::SetUp();
        session_ = Logon(FixturePath().c_str());
        ASSERT_TRUE(session_);
        ASSERT_EQ(ex2qln::mapi::OpenGlobalAddressList(session_.get(), book_, gal_), S_OK);
    }

    // The GAL entry identifier of the entry with this DN.
    std::vector<BYTE> EntryIdOf(const std::string& dn)
    {
        MapiPtr<IMAPITable> table;
        EXPECT_EQ(gal_->GetContentsTable(0, table.put()), S_OK);
        SPropValue value{};
        value.ulPropTag = PR_EMAIL_ADDRESS_A;
        value.Value.lpszA = const_cast<char*>(dn.c_str());
        SRestriction restriction{};
        restriction.rt = RES_PROPERTY;
        restriction.res.resProperty = {RELOP_EQ, PR_EMAIL_ADDRESS_A, &value};
        MapiRows rows;
        QueryAll(table.get(), {PR_ENTRYID}, rows, &restriction);
        return rows.size() == 1 ? Bytes(&rows->aRow[0].lpProps[0]) : std::vector<BYTE>();
    }

    std::vector<BYTE> OneOff(const std::string& name, const std::string& type, const std::string& address)
    {
        std::string n = name, t = type, a = address;
        ULONG size = 0;
        MapiBuffer<ENTRYID> entryId;
        EXPECT_EQ(book_->CreateOneOff(n.data(), t.data(), a.data(), 0, &size, entryId.put()), S_OK);
        auto* bytes = reinterpret_cast<BYTE*>(entryId.get());
        return std::vector<BYTE>(bytes, bytes + size);
    }

    template <typename Interface>
    MapiPtr<Interface> Open(std::vector<BYTE> entryId, ULONG expectedType, const IID* iid = nullptr, HRESULT expected = S_OK)
    {
        ULONG type = 0;
        MapiPtr<Interface> object;
        EXPECT_EQ(book_->OpenEntry(static_cast<ULONG>(entryId.size()), reinterpret_cast<LPENTRYID>(entryId.data()), iid, 0,
                                   &type, object.put_unknown()),
                  expected);
        if (SUCCEEDED(expected)) {
            EXPECT_EQ(type, expectedType);
        }
        return object;
    }

    MapiPtr<IMAPISession> session_;
    MapiPtr<IAddrBook> book_;
    MapiPtr<IABContainer> gal_;
};

TEST_F(AddressBook, TheGlobalAddressListIsFoundTheDriversWay)
{
    ULONG size = 0;
    MapiBuffer<ENTRYID> entryId;
    ASSERT_EQ(ex2qln::mapi::FindGlobalAddressList(book_.get(), &size, entryId.put()), S_OK);
    const BYTE expected[] = {0, 0, 0, 0, 0xDC, 0xA7, 0x40, 0xC8, 0xC0, 0x42, 0x10, 0x1A, 0xB4, 0xB9, 0x08, 0x00,
                             0x2B, 0x2F, 0xE1, 0x82, 1, 0, 0, 0, 0, 0, 2, 0, 0};
    ASSERT_EQ(size, sizeof expected);
    EXPECT_EQ(std::memcmp(entryId.get(), expected, size), 0);
    EXPECT_EQ(Text(gal_.get(), PR_DISPLAY_NAME_A), "Global Address List");
    EXPECT_EQ(Long(gal_.get(), PR_OBJECT_TYPE), static_cast<LONG>(MAPI_ABCONT));

    // The root has the GAL as its only container and no entries of its own.
    ULONG type = 0;
    MapiPtr<IABContainer> root;
    ASSERT_EQ(book_->OpenEntry(0, nullptr, nullptr, 0, &type, root.put_unknown()), S_OK);
    EXPECT_EQ(type, static_cast<ULONG>(MAPI_ABCONT));
    MapiPtr<IMAPITable> contents;
    ASSERT_EQ(root->GetContentsTable(0, contents.put()), S_OK);
    ULONG count = 99;
    EXPECT_EQ(contents->GetRowCount(0, &count), S_OK);
    EXPECT_EQ(count, 0u);
}

TEST_F(AddressBook, ContentsTableColumnsInBothStringForms)
{
    struct Row {
        const char* account;
        const char* display;
        const char* smtp;
        LONG displayType;
        LONG objectType;
        const char* homeMdb;
    } expected[] = {
        {"ann", "Ann Archer", "ann@fix.example", DT_MAILUSER, MAPI_MAILUSER,
         "/o=Fix/ou=Site/cn=Configuration/cn=Servers/cn=SRV1/cn=Microsoft Private MDB"},
        {"ben", "Ben Böhm", "ben@fix.example", DT_MAILUSER, MAPI_MAILUSER, "<error 0x8004010f>"},
        {"cat", "Cat Cole", "cat@fix.example", DT_MAILUSER, MAPI_MAILUSER,
         "/o=Fix/ou=Site/cn=Configuration/cn=Servers/cn=SRV1/cn=Microsoft Private MDB"},
        {"<error 0x8004010f>", "Dora Dunn", "dora@partner.example", DT_REMOTE_MAILUSER, MAPI_MAILUSER, "<error 0x8004010f>"},
        {"<error 0x8004010f>", "Everyone", "everyone@fix.example", DT_DISTLIST, MAPI_DISTLIST, "<error 0x8004010f>"},
        {"<error 0x8004010f>", "Team", "team@fix.example", DT_DISTLIST, MAPI_DISTLIST, "<error 0x8004010f>"},
        {"<error 0x8004010f>", "Nobody", "nobody@fix.example", DT_DISTLIST, MAPI_DISTLIST, "<error 0x8004010f>"},
        {"<error 0x8004010f>", "Secret", "secret@fix.example", DT_DISTLIST, MAPI_DISTLIST, "<error 0x8004010f>"},
    };
    for (ULONG form : {PT_STRING8, PT_UNICODE}) {
        MapiPtr<IMAPITable> table;
        ASSERT_EQ(gal_->GetContentsTable(form == PT_UNICODE ? MAPI_UNICODE : 0, table.put()), S_OK);
        MapiRows rows;
        QueryAll(table.get(),
                 {CHANGE_PROP_TYPE(PR_ACCOUNT_A, form), CHANGE_PROP_TYPE(PR_DISPLAY_NAME_A, form),
                  CHANGE_PROP_TYPE(PR_SMTP_ADDRESS_A, form), PR_DISPLAY_TYPE, PR_OBJECT_TYPE, CHANGE_PROP_TYPE(PR_EMS_AB_HOME_MDB_A, form),
                  CHANGE_PROP_TYPE(PR_EMAIL_ADDRESS_A, form), CHANGE_PROP_TYPE(PR_ADDRTYPE_A, form)},
                 rows);
        ASSERT_EQ(rows.size(), std::size(expected));
        for (ULONG i = 0; i < rows.size(); ++i) {
            const SPropValue* values = rows->aRow[i].lpProps;
            SCOPED_TRACE(expected[i].display);
            EXPECT_EQ(Text(&values[0]), expected[i].account);
            EXPECT_EQ(Text(&values[1]), expected[i].display);
            EXPECT_EQ(Text(&values[2]), expected[i].smtp);
            EXPECT_EQ(values[3].Value.l, expected[i].displayType);
            EXPECT_EQ(values[4].Value.l, expected[i].objectType);
            EXPECT_EQ(Text(&values[5]), expected[i].homeMdb);
            EXPECT_EQ(PROP_TYPE(values[6].ulPropTag), form);
            EXPECT_EQ(Text(&values[7]), "EX");
        }
    }
}

TEST_F(AddressBook, RestrictionsOnTheContentsTable)
{
    std::string dn = std::string(kDnPrefix) + "CAT";  // another letter case
    SPropValue dnValue{PR_EMAIL_ADDRESS_A, 0, {}};
    dnValue.Value.lpszA = dn.data();
    SPropValue listType{PR_DISPLAY_TYPE, 0, {}};
    listType.Value.l = DT_DISTLIST;
    SPropValue partner{PR_SMTP_ADDRESS_A, 0, {}};
    partner.Value.lpszA = const_cast<char*>("PARTNER");
    SRestriction byDn{RES_PROPERTY, {}};
    byDn.res.resProperty = {RELOP_EQ, PR_EMAIL_ADDRESS_A, &dnValue};
    SRestriction lists{RES_PROPERTY, {}};
    lists.res.resProperty = {RELOP_EQ, PR_DISPLAY_TYPE, &listType};
    SRestriction notLists{RES_NOT, {}};
    notLists.res.resNot = {0, &lists};
    SRestriction content{RES_CONTENT, {}};
    content.res.resContent = {FL_SUBSTRING | FL_IGNORECASE, PR_SMTP_ADDRESS_A, &partner};
    SRestriction hasHome{RES_EXIST, {}};
    hasHome.res.resExist = {0, PR_EMS_AB_HOME_MDB_A, 0};
    SRestriction both[2] = {notLists, hasHome};
    SRestriction usersWithHome{RES_AND, {}};
    usersWithHome.res.resAnd = {2, both};

    struct Case {
        const char* title;
        SRestriction* restriction;
        std::vector<std::string> names;
    } cases[] = {
        {"DN equality ignores case", &byDn, {"Cat Cole"}},
        {"distribution lists", &lists, {"Everyone", "Team", "Nobody", "Secret"}},
        {"not a list", &notLists, {"Ann Archer", "Ben Böhm", "Cat Cole", "Dora Dunn"}},
        {"substring of the SMTP address", &content, {"Dora Dunn"}},
        {"with a home database", &usersWithHome, {"Ann Archer", "Cat Cole"}},
    };
    for (const Case& c : cases) {
        MapiPtr<IMAPITable> table;
        ASSERT_EQ(gal_->GetContentsTable(0, table.put()), S_OK);
        ASSERT_EQ(table->Restrict(c.restriction, 0), S_OK) << c.title;
        ULONG count = 0;
        ASSERT_EQ(table->GetRowCount(0, &count), S_OK);
        EXPECT_EQ(count, c.names.size()) << c.title;
        EXPECT_EQ(Column(table.get(), PR_DISPLAY_NAME_A), c.names) << c.title;
    }
}

TEST_F(AddressBook, DistributionListsListTheirMembersWithoutExpandingNestedLists)
{
    struct Case {
        const char* list;
        std::vector<std::string> members;
    } cases[] = {
        {"everyone", {"ann@fix.example", "team@fix.example"}},
        {"team", {"ben@fix.example", "dora@partner.example", "cat@fix.example"}},
        {"nobody", {}},
    };
    for (const Case& c : cases) {
        MapiPtr<IDistList> list = Open<IDistList>(EntryIdOf(std::string(kDnPrefix) + c.list), MAPI_DISTLIST, &IID_IDistList);
        ASSERT_TRUE(list) << c.list;
        MapiPtr<IMAPITable> members;
        ASSERT_EQ(list->GetContentsTable(0, members.put()), S_OK);
        EXPECT_EQ(Column(members.get(), PR_SMTP_ADDRESS_A), c.members) << c.list;
    }
    // The list marked so cannot be opened, through the GAL as through the address book.
    std::vector<BYTE> secret = EntryIdOf(std::string(kDnPrefix) + "secret");
    ASSERT_FALSE(secret.empty());
    Open<IDistList>(secret, MAPI_DISTLIST, &IID_IDistList, MAPI_E_NO_ACCESS);
    ULONG type = 0;
    MapiPtr<IDistList> viaGal;
    EXPECT_EQ(gal_->OpenEntry(static_cast<ULONG>(secret.size()), reinterpret_cast<LPENTRYID>(secret.data()), &IID_IDistList,
                              0, &type, viaGal.put_unknown()),
              MAPI_E_NO_ACCESS);
    // A user is no list.
    Open<IDistList>(EntryIdOf(std::string(kDnPrefix) + "ann"), MAPI_MAILUSER, &IID_IDistList, MAPI_E_INTERFACE_NOT_SUPPORTED);
}

TEST_F(AddressBook, EntriesOpenByGalAndExIdentifiers)
{
    std::string dn = std::string(kDnPrefix) + "ben";
    std::vector<BYTE> galId = EntryIdOf(dn);
    std::vector<BYTE> exId = OneOff("B", "EX", std::string(kDnPrefix) + "BEN");
    for (const std::vector<BYTE>& entryId : {galId, exId}) {
        MapiPtr<IMailUser> user = Open<IMailUser>(entryId, MAPI_MAILUSER);
        ASSERT_TRUE(user);
        EXPECT_EQ(Text(user.get(), PR_SMTP_ADDRESS_A), "ben@fix.example");
        EXPECT_EQ(Text(user.get(), PR_DISPLAY_NAME_W), "Ben Böhm");
        EXPECT_EQ(Text(user.get(), PR_EMAIL_ADDRESS_A), dn);
    }
    ULONG same = FALSE;
    ASSERT_EQ(book_->CompareEntryIDs(static_cast<ULONG>(galId.size()), reinterpret_cast<LPENTRYID>(galId.data()),
                                     static_cast<ULONG>(exId.size()), reinterpret_cast<LPENTRYID>(exId.data()), 0, &same),
              S_OK);
    EXPECT_EQ(same, static_cast<ULONG>(TRUE));
    std::vector<BYTE> other = EntryIdOf(std::string(kDnPrefix) + "ann");
    ASSERT_EQ(book_->CompareEntryIDs(static_cast<ULONG>(galId.size()), reinterpret_cast<LPENTRYID>(galId.data()),
                                     static_cast<ULONG>(other.size()), reinterpret_cast<LPENTRYID>(other.data()), 0, &same),
              S_OK);
    EXPECT_EQ(same, static_cast<ULONG>(FALSE));

    // An SMTP one-off is an address of its own.
    MapiPtr<IMailUser> smtp = Open<IMailUser>(OneOff("Someone", "SMTP", "some@where.example"), MAPI_MAILUSER);
    ASSERT_TRUE(smtp);
    EXPECT_EQ(Text(smtp.get(), PR_ADDRTYPE_A), "SMTP");
    EXPECT_EQ(Text(smtp.get(), PR_EMAIL_ADDRESS_A), "some@where.example");
    const std::string key = "SMTP:SOME@WHERE.EXAMPLE";
    std::vector<BYTE> searchKey(key.begin(), key.end());
    searchKey.push_back(0);
    EXPECT_EQ(Binary(smtp.get(), PR_SEARCH_KEY), searchKey);

    std::vector<BYTE> garbage = {1, 2, 3, 4, 5};
    Open<IMailUser>(garbage, 0, nullptr, MAPI_E_UNKNOWN_ENTRYID);
}

// The resolution of the SMTP address pass: six columns asked for, the entry's own values after them.
TEST_F(AddressBook, PrepareRecipsFillsTheAskedColumnsFromTheEntry)
{
    struct Case {
        const char* title;
        std::vector<BYTE> entryId;  // empty: the entry has none
        std::string smtp;           // the sixth column's text
        std::string display;
    } cases[] = {
        {"GAL identifier", EntryIdOf(std::string(kDnPrefix) + "ann"), "ann@fix.example", "Ann Archer"},
        {"EX one-off", OneOff("", "EX", std::string(kDnPrefix) + "team"), "team@fix.example", "Team"},
        {"SMTP one-off", OneOff("Ext", "SMTP", "ext@else.example"), "<error 0x8004010f>", "Ext"},
        {"EX one-off of nobody known", OneOff("Gone", "EX", "/o=Fix/cn=gone"), "<error 0x8004010f>", "Gone"},
        {"no entry identifier", {}, "", ""},
    };
    MapiBuffer<ADRLIST> list;
    ASSERT_EQ(MAPIAllocateBuffer(static_cast<ULONG>(CbNewADRLIST(std::size(cases))), list.put_void()), S_OK);
    list->cEntries = static_cast<ULONG>(std::size(cases));
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        ADRENTRY& entry = list->aEntries[i];
        ASSERT_EQ(MAPIAllocateBuffer(2 * sizeof(SPropValue), reinterpret_cast<void**>(&entry.rgPropVals)), S_OK);
        entry.cValues = 2;
        entry.rgPropVals[0].ulPropTag = PR_RECIPIENT_TYPE;
        entry.rgPropVals[0].Value.l = MAPI_TO;
        entry.rgPropVals[1].ulPropTag = cases[i].entryId.empty() ? PR_NULL : PR_ENTRYID;
        if (!cases[i].entryId.empty()) {
            entry.rgPropVals[1].Value.bin.cb = static_cast<ULONG>(cases[i].entryId.size());
            ASSERT_EQ(MAPIAllocateMore(entry.rgPropVals[1].Value.bin.cb, entry.rgPropVals,
                                       reinterpret_cast<void**>(&entry.rgPropVals[1].Value.bin.lpb)),
                      S_OK);
            std::memcpy(entry.rgPropVals[1].Value.bin.lpb, cases[i].entryId.data(), cases[i].entryId.size());
        }
    }
    SizedSPropTagArray(6, columns) = {6, {PR_DISPLAY_NAME_W, PR_ADDRTYPE_W, PR_EMAIL_ADDRESS_W, PR_SEARCH_KEY, PR_ENTRYID,
                                          PR_SMTP_ADDRESS_W}};
    ASSERT_EQ(book_->PrepareRecips(0, reinterpret_cast<LPSPropTagArray>(&columns), list.get()), S_OK);
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(cases[i].title);
        const ADRENTRY& entry = list->aEntries[i];
        if (cases[i].entryId.empty()) {
            EXPECT_EQ(entry.cValues, 2u);
            continue;
        }
        ASSERT_EQ(entry.cValues, 7u);
        EXPECT_EQ(PROP_ID(entry.rgPropVals[5].ulPropTag), PROP_ID(PR_SMTP_ADDRESS_W));
        EXPECT_EQ(Text(&entry.rgPropVals[5]), cases[i].smtp);
        EXPECT_EQ(Text(&entry.rgPropVals[0]), cases[i].display);
        EXPECT_EQ(entry.rgPropVals[6].ulPropTag, PR_RECIPIENT_TYPE);
    }
    EXPECT_EQ(Text(&list->aEntries[0].rgPropVals[1]), "EX");
    EXPECT_EQ(Text(&list->aEntries[2].rgPropVals[1]), "SMTP");
    FreePadrlist(list.release());
}

TEST_F(AddressBook, ResolveNameFindsOneEntryByNameAccountOrAddress)
{
    struct Case {
        const char* name;
        HRESULT status;
        const char* smtp;
    } cases[] = {
        {"cat cole", S_OK, "cat@fix.example"},
        {"BEN", S_OK, "ben@fix.example"},
        {"dora@partner.example", S_OK, "dora@partner.example"},
        {"Nobody Known", MAPI_E_NOT_FOUND, ""},
    };
    for (const Case& c : cases) {
        MapiBuffer<ADRLIST> list;
        ASSERT_EQ(MAPIAllocateBuffer(static_cast<ULONG>(CbNewADRLIST(1)), list.put_void()), S_OK);
        list->cEntries = 1;
        ADRENTRY& entry = list->aEntries[0];
        ASSERT_EQ(MAPIAllocateBuffer(sizeof(SPropValue), reinterpret_cast<void**>(&entry.rgPropVals)), S_OK);
        entry.cValues = 1;
        entry.rgPropVals[0].ulPropTag = PR_DISPLAY_NAME_A;
        entry.rgPropVals[0].Value.lpszA = const_cast<char*>(c.name);
        EXPECT_EQ(book_->ResolveName(0, 0, nullptr, list.get()), c.status) << c.name;
        if (SUCCEEDED(c.status)) {
            EXPECT_EQ(Text(PpropFindProp(entry.rgPropVals, entry.cValues, PR_SMTP_ADDRESS_A)), c.smtp) << c.name;
        }
        FreePadrlist(list.release());
    }
}

} // namespace
} // namespace sessiontest
