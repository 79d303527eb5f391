// The transfer's folders on a server without the Quillon extensions: what Ensure-folder sends for
// each folder on a scripted standard server, and which folders of a mailbox are special.
#include "ex2qln/diag/Log.h"
#include "ex2qln/imap/ImapGuard.h"
#include "ex2qln/imap/ImapXP.h"
#include "ex2qln/transfer/EnsureFolder.h"
#include "ex2qln/transfer/SpecialFolders.h"
#include "tests/ex2qln/transfer/OrganisationSession.h"
#include "tests/support/ScriptedPeer.h"
#include "tests/support/ServerSettings.h"
#include "tests/support/TemporaryDirectory.h"

#include <gtest/gtest.h>

#include <MapiPtr.h>
#include <mapicode.h>
#include <mapitags.h>
#include <mapiutil.h>

#include <map>
#include <string>
#include <vector>

namespace ex2qln::transfer {
namespace {

using testsupport::ScriptedPeer;
using Session = ScriptedPeer::Session;

// Greets, takes any CRAM-MD5 login and answers ENABLE as a standard server that knows no such
// extension.
void GreetAsStandardServer(Session& session, const std::string& capabilities)
{
    session.Send("* OK Standard IMAP ready\r\n");
    session.Answer("+ PDE4OTYuNjk3MTcwOTUyQGltYXAuZXhhbXBsZT4=\r\n");
    session.Answer("{tag} OK Logged in\r\n");
    session.Answer("* ENABLED\r\n{tag} OK Enabled\r\n");
    session.Answer("* CAPABILITY IMAP4rev1 " + capabilities + "\r\n{tag} OK Capability completed\r\n");
}

TEST(StandardServer, EnsureFolderCreatesWithoutClassesAndKeepsTheClassAsMetadata)
{
    const std::string entry = std::string(kClassMetadataEntry);
    struct Case {
        const char* name;
        std::string capabilities;
        std::string path, folderClass, specialUse;
        std::vector<std::string> replies;  // to each command after the login, in order
        HRESULT status;
        bool created;
        std::vector<std::string> sent;     // the commands after the login, without LOGOUT
        bool logged;                       // the log says that the class is not kept
    };
    const std::string okList = "{tag} OK LIST completed\r\n";
    const std::string listed = "* LIST () \"/\" \"~ann/Tasks\"\r\n" + okList;
    const std::string ok = "{tag} OK done\r\n";
    const std::vector<Case> cases = {
        {"a new mail folder", "METADATA", "~ann/Archive", "Default", "", {okList, ok}, S_OK, true,
         {"LIST \"\" \"~ann/Archive\"", "CREATE \"~ann/Archive\""}, false},
        {"a new calendar keeps its class as METADATA", "METADATA", "~ann/Cal", "IPF.Appointment", "",
         {okList, ok, ok}, S_OK, true,
         {"LIST \"\" \"~ann/Cal\"", "CREATE \"~ann/Cal\"", "SETMETADATA \"~ann/Cal\" (" + entry + " \"IPF.Appointment\")"},
         false},
        {"an existing folder gets its class again", "METADATA", "~ann/Tasks", "IPF.Task", "", {listed, ok}, S_OK, false,
         {"LIST \"\" \"~ann/Tasks\"", "SETMETADATA \"~ann/Tasks\" (" + entry + " \"IPF.Task\")"}, false},
        {"an existing mail folder loses another class", "METADATA", "~ann/Tasks", "Default", "", {listed, ok}, S_OK,
         false, {"LIST \"\" \"~ann/Tasks\"", "SETMETADATA \"~ann/Tasks\" (" + entry + " NIL)"}, false},
        {"without METADATA the class is only logged", "", "~ann/Cal", "IPF.Appointment", "", {okList, ok}, S_OK, true,
         {"LIST \"\" \"~ann/Cal\"", "CREATE \"~ann/Cal\""}, true},
        {"a special folder with CREATE-SPECIAL-USE", "CREATE-SPECIAL-USE", "~ann/Sent Items", "Default", "\\Sent",
         {okList, ok}, S_OK, true, {"LIST \"\" \"~ann/Sent Items\"", "CREATE \"~ann/Sent Items\" (USE (\\Sent))"}, false},
        {"a special folder without it", "SPECIAL-USE", "~ann/Sent Items", "Default", "\\Sent", {okList, ok}, S_OK, true,
         {"LIST \"\" \"~ann/Sent Items\"", "CREATE \"~ann/Sent Items\""}, false},
        {"an unlisted INBOX that cannot be created exists", "", "~ann/inbox", "Default", "",
         {okList, "{tag} NO [ALREADYEXISTS] Mailbox already exists\r\n"}, S_OK, false,
         {"LIST \"\" \"~ann/INBOX\"", "CREATE \"~ann/INBOX\""}, false},
        {"another refused CREATE", "", "~ann/INBOX/Sub", "Default", "", {okList, "{tag} NO Not allowed\r\n"},
         E_ACCESSDENIED, false, {"LIST \"\" \"~ann/INBOX/Sub\"", "CREATE \"~ann/INBOX/Sub\""}, false},
        {"a refused SETMETADATA", "METADATA", "~ann/Cal", "IPF.Appointment", "",
         {okList, ok, "{tag} NO [LIMIT] Too many entries\r\n"}, MAPI_E_EXTENDED_ERROR, true,
         {"LIST \"\" \"~ann/Cal\"", "CREATE \"~ann/Cal\"", "SETMETADATA \"~ann/Cal\" (" + entry + " \"IPF.Appointment\")"},
         false},
    };
    testsupport::TemporaryDirectory directory;
    const std::string logPath = directory.File("ex2qln.log");
    diag::OpenLog(diag::kTraceProtocols, logPath.c_str(), 0, false);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::size_t logged = testsupport::ReadFile(logPath).size();
        ScriptedPeer peer([&c](Session& session) {
            GreetAsStandardServer(session, c.capabilities);
            for (const std::string& reply : c.replies)
                session.Answer(reply);
            session.Answer("* BYE closing\r\n{tag} OK LOGOUT completed\r\n");
            session.Read();
        });
        MapiPtr<IPropData> settings =
            testsupport::MakeServerSettings({.password = "secret", .imapPort = peer.Port()});
        auto client = std::make_unique<imap::CImapXP>(MAPIAllocateBuffer, MAPIAllocateMore, MAPIFreeBuffer,
                                                      imap::ImapClientOptions{.passwordTerminal = "/nonexistent"});
        ASSERT_EQ(client->Connect(settings.get()), S_OK) << client->LastErrorText();
        ASSERT_FALSE(client->Features().extensions);
        bool created = !c.created;
        EXPECT_EQ(EnsureFolder(*client, c.path, c.folderClass, &created, c.specialUse), c.status);
        EXPECT_EQ(created, c.created);
        client.reset();
        peer.Join();
        // After the login (command and response), ENABLE and CAPABILITY; without LOGOUT and the close.
        const std::vector<std::string> received = peer.Received();
        ASSERT_GE(received.size(), 6u);
        std::vector<std::string> sent;
        for (std::size_t i = 4; i + 2 < received.size(); ++i)
            sent.push_back(received[i].substr(9));
        EXPECT_EQ(sent, c.sent);
        const std::string log = testsupport::ReadFile(logPath).substr(logged);
        EXPECT_EQ(log.find("The server keeps no folder classes: \"" + c.path + "\" stays without its class " +
                           c.folderClass) != std::string::npos,
                  c.logged)
            << log;
    }
}

const std::string kMailbox = R"({"formatVersion": 1, "gal": [
  {"kind": "user", "account": "ann", "dn": "/o=Fix/cn=ann", "smtp": "ann@fix.example", "displayName": "Ann",
   "homeMdb": "/o=Fix/cn=Servers/cn=SRV1/cn=Microsoft Private MDB"}],
 "mailboxes": [{"user": "ann", "folders": [
  {"name": "Inbox", "special": "inbox"}, {"name": "Sent Items", "special": "sentItems"},
  {"name": "Deleted Items", "special": "deletedItems"}, {"name": "Drafts", "special": "drafts"},
  {"name": "Outbox", "special": "outbox"}, {"name": "Sent", "class": "IPF.Note"}]}]})";

TEST(StandardServer, SentDeletedAndDraftsAreTheSpecialFolders)
{
    transfertest::OrganisationSession organisation(kMailbox);
    ASSERT_TRUE(organisation.ok());
    IMsgStore* store = organisation.Store();
    MapiBuffer<SPropValue> subtree;
    ASSERT_EQ(HrGetOneProp(store, PR_IPM_SUBTREE_ENTRYID, subtree.put()), S_OK);
    MapiPtr<IMAPIFolder> root;
    ULONG type = 0;
    ASSERT_EQ(store->OpenEntry(subtree->Value.bin.cb, reinterpret_cast<LPENTRYID>(subtree->Value.bin.lpb), nullptr, 0,
                               &type, root.put_unknown()),
              S_OK);
    SpecialFolders special;
    special.Load(store);

    MapiPtr<IMAPITable> hierarchy;
    ASSERT_EQ(root->GetHierarchyTable(0, hierarchy.put()), S_OK);
    SizedSPropTagArray(2, columns) = {2, {PR_ENTRYID, PR_DISPLAY_NAME_A}};
    MapiRows rows;
    ASSERT_EQ(HrQueryAllRows(hierarchy.get(), reinterpret_cast<LPSPropTagArray>(&columns), nullptr, nullptr, 0, rows.put()),
              S_OK);
    std::map<std::string, std::string> uses;
    for (ULONG i = 0; i < rows.size(); ++i)
        uses[rows->aRow[i].lpProps[1].Value.lpszA] = special.UseOf(store, rows->aRow[i].lpProps[0].Value.bin);
    const std::map<std::string, std::string> expected = {{"Inbox", ""},         {"Sent Items", "\\Sent"},
                                                         {"Deleted Items", "\\Trash"}, {"Drafts", "\\Drafts"},
                                                         {"Outbox", ""},        {"Sent", ""}};
    EXPECT_EQ(uses, expected);
}

} // namespace
} // namespace ex2qln::transfer
