// MAPILogonEx: profile by name, the default profile, a path, the demo organisation, and the
// refusals with their texts; the message stores table and the private store the driver opens.
#include "tests/platform/mapi/provider/SessionTestSupport.h"

#include <QlnProfiles.h>
#include <edkmdb.h>

#include "ex2qln/mapi/ExchangeObjects.h"

namespace sessiontest {
namespace {

struct ProfileSetup {
    std::string name;
    bool withSource;  // the fixture organisation, or no source at all
    std::string mailbox;
};

struct LogonCase {
    const char* title;
    std::vector<ProfileSetup> profiles;
    std::string defaultProfile;
    std::string logonName;  // "" logs on without a name; "@path" and "@dir" stand for the fixture
    HRESULT status;
    std::string defaultStore;  // PR_DISPLAY_NAME of the default store, on success
    std::string error;         // a part of the text shown on standard error, on failure
};

class Logon : public SessionTest {};

TEST_F(Logon, ChoosesTheOrganisationFromTheNameOrTheDefault)
{
    const LogonCase cases[] = {
        {"no profile at all serves the demo", {}, "", "", S_OK, "Mailbox - Alice Martin", ""},
        {"a profile by name", {{"fix", true, ""}}, "", "fix", S_OK, "Mailbox - Ann Archer", ""},
        {"names compare without case", {{"Fix", true, ""}}, "", "fIX", S_OK, "Mailbox - Ann Archer", ""},
        {"the profile's mailbox by SMTP address", {{"fix", true, "ben@fix.example"}}, "", "fix", S_OK,
         "Mailbox - Ben Böhm", ""},
        {"the profile's mailbox by account", {{"fix", true, "BEN"}}, "", "fix", S_OK, "Mailbox - Ben Böhm", ""},
        {"the default profile", {{"other", false, ""}, {"fix", true, "ben"}}, "fix", "", S_OK, "Mailbox - Ben Böhm", ""},
        {"a path where a profile name goes", {{"fix", false, ""}}, "", "@path", S_OK, "Mailbox - Ann Archer", ""},
        {"a directory with organisation.json", {}, "", "@dir", S_OK, "Mailbox - Ann Archer", ""},
        {"a profile without a source", {{"empty", false, ""}}, "", "empty", MAPI_E_UNCONFIGURED, "",
         "The MAPI profile \"empty\" names no organisation source"},
        {"an unknown name", {{"fix", true, ""}}, "", "nosuch", MAPI_E_LOGON_FAILED, "",
         "There is no MAPI profile \"nosuch\" and no organisation file of that name."},
        {"profiles but no default", {{"fix", true, ""}}, "", "", MAPI_E_LOGON_FAILED, "", "No MAPI profile is the default"},
        {"a mailbox the organisation lacks", {{"fix", true, "cat"}}, "", "fix", MAPI_E_LOGON_FAILED, "",
         "The mailbox \"cat\" of the MAPI profile \"fix\" is not in "},
    };
    for (const LogonCase& c : cases) {
        SCOPED_TRACE(c.title);
        TearDown();
        SetUp();
        std::string fixture = FixturePath();
        for (const ProfileSetup& profile : c.profiles)
            CreateProfile(profile.name, profile.withSource ? fixture : "", profile.mailbox);
        if (!c.defaultProfile.empty()) {
            MapiPtr<IProfAdmin> admin;
            ASSERT_EQ(MAPIAdminProfiles(0, admin.put()), S_OK);
            std::string name = c.defaultProfile;
            ASSERT_EQ(admin->SetDefaultProfile(name.data(), 0), S_OK);
        }
        std::string name = c.logonName == "@path" ? fixture : c.logonName == "@dir" ? directory_->Path() : c.logonName;
        testing::internal::CaptureStderr();
        MapiPtr<IMAPISession> session = SessionTest::Logon(name.empty() ? nullptr : name.c_str(), c.status,
                                                           MAPI_EXTENDED | MAPI_LOGON_UI);
        std::string error = testing::internal::GetCapturedStderr();
        if (FAILED(c.status)) {
            EXPECT_NE(error.find(c.error), std::string::npos) << error;
            continue;
        }
        EXPECT_EQ(error, "");
        ASSERT_TRUE(session);
        MapiPtr<IMAPITable> stores;
        ASSERT_EQ(session->GetMsgStoresTable(0, stores.put()), S_OK);
        SPropValue isDefault{};
        isDefault.ulPropTag = PR_DEFAULT_STORE;
        isDefault.Value.b = TRUE;
        SRestriction restriction{};
        restriction.rt = RES_PROPERTY;
        restriction.res.resProperty = {RELOP_EQ, PR_DEFAULT_STORE, &isDefault};
        EXPECT_EQ(Column(stores.get(), PR_DISPLAY_NAME_A, &restriction), std::vector<std::string>{c.defaultStore});
    }
}

TEST_F(Logon, RefusalsAreSilentWithoutLogonUi)
{
    CreateProfile("empty", "");
    testing::internal::CaptureStderr();
    SessionTest::Logon("empty", MAPI_E_UNCONFIGURED, MAPI_EXTENDED);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST_F(Logon, AMalformedOrganisationFileIsNamedInTheError)
{
    std::string broken = WriteFile("broken.json", "{\"gal\": [ {\"kind\": \"user\" ");
    testing::internal::CaptureStderr();
    SessionTest::Logon(broken.c_str(), MAPI_E_CORRUPT_DATA, MAPI_EXTENDED | MAPI_LOGON_UI);
    std::string error = testing::internal::GetCapturedStderr();
    EXPECT_NE(error.find("broken.json"), std::string::npos) << error;
}

TEST_F(Logon, TheStoresTableHasTheMailboxAndThePublicFolders)
{
    MapiPtr<IMAPISession> session = SessionTest::Logon(FixturePath().c_str());
    ASSERT_TRUE(session);
    MapiPtr<IMAPITable> stores;
    ASSERT_EQ(session->GetMsgStoresTable(MAPI_UNICODE, stores.put()), S_OK);
    MapiRows rows;
    QueryAll(stores.get(), {PR_DISPLAY_NAME_W, PR_MDB_PROVIDER, PR_DEFAULT_STORE, PR_ENTRYID, PR_OBJECT_TYPE}, rows);
    ASSERT_EQ(rows.size(), 2u);
    const std::vector<BYTE> privateUid(ex2qln::mapi::kExchangePrivateStoreProvider.ab,
                                       ex2qln::mapi::kExchangePrivateStoreProvider.ab + 16);
    const std::vector<BYTE> publicUid = pbExchangeProviderPublicGuid;
    EXPECT_EQ(Text(&rows->aRow[0].lpProps[0]), "Mailbox - Ann Archer");
    EXPECT_EQ(Bytes(&rows->aRow[0].lpProps[1]), privateUid);
    EXPECT_EQ(rows->aRow[0].lpProps[2].Value.b, TRUE);
    EXPECT_EQ(Text(&rows->aRow[1].lpProps[0]), "Public Folders");
    EXPECT_EQ(Bytes(&rows->aRow[1].lpProps[1]), publicUid);
    EXPECT_EQ(rows->aRow[1].lpProps[2].Value.b, FALSE);
    for (ULONG i = 0; i < rows.size(); ++i)
        EXPECT_EQ(rows->aRow[i].lpProps[4].Value.l, static_cast<LONG>(MAPI_STORE));

    // The driver's own step: the one private store, with its mailbox management interface.
    MapiPtr<IMsgStore> store;
    ASSERT_EQ(ex2qln::mapi::OpenPrivateStore(session.get(), ex2qln::mapi::kExchangePrivateStoreProvider, store), S_OK);
    ASSERT_TRUE(store);
    EXPECT_EQ(Text(store.get(), PR_DISPLAY_NAME_A), "Mailbox - Ann Archer");
    MapiPtr<IExchangeManageStore> manage;
    EXPECT_EQ(store->QueryInterface(IID_IExchangeManageStore, manage.put_void()), S_OK);
    EXPECT_TRUE(manage);
}

TEST_F(Logon, AnOrganisationWithoutMailboxesHasNoPrivateStore)
{
    std::string path = WriteFile("gal-only.json", R"({"gal": [{"kind": "contact", "dn": "/o=X/cn=c", "smtp": "c@x.example",
                                                        "displayName": "C"}]})");
    MapiPtr<IMAPISession> session = SessionTest::Logon(path.c_str());
    ASSERT_TRUE(session);
    MapiPtr<IMsgStore> store;
    EXPECT_EQ(ex2qln::mapi::OpenPrivateStore(session.get(), ex2qln::mapi::kExchangePrivateStoreProvider, store),
              MAPI_E_NOT_FOUND);
    ULONG size = 0;
    MapiBuffer<ENTRYID> identity;
    EXPECT_EQ(session->QueryIdentity(&size, identity.put()), MAPI_E_NOT_FOUND);
}

TEST_F(Logon, AfterLogoffTheSessionOpensNothing)
{
    MapiPtr<IMAPISession> session = SessionTest::Logon(FixturePath().c_str());
    ASSERT_TRUE(session);
    MapiPtr<IAddrBook> book;
    ASSERT_EQ(session->OpenAddressBook(0, nullptr, AB_NO_DIALOG, book.put()), S_OK);
    EXPECT_EQ(session->Logoff(0, 0, 0), S_OK);
    MapiPtr<IMAPITable> stores;
    EXPECT_EQ(session->GetMsgStoresTable(0, stores.put()), MAPI_E_END_OF_SESSION);
    MapiPtr<IAddrBook> again;
    EXPECT_EQ(session->OpenAddressBook(0, nullptr, 0, again.put()), MAPI_E_END_OF_SESSION);
    // What was opened before still works.
    ULONG type = 0;
    MapiPtr<IUnknown> root;
    EXPECT_EQ(book->OpenEntry(0, nullptr, nullptr, 0, &type, root.put()), S_OK);
}

} // namespace
} // namespace sessiontest
