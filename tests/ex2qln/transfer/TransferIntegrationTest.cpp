// Ensure-folder and the message upload against the stand-in server on loopback: which of LIST
// (CLASS), CREATE and SETCLASS go out, the APPEND line with its flags, date and literal, the bytes
// the server keeps (those of the conversion), and refusals.
#include "ex2qln/imap/ImapGuard.h"
#include "ex2qln/imap/ImapXP.h"
#include "ex2qln/transfer/ConfigProp.h"
#include "ex2qln/transfer/EnsureFolder.h"
#include "ex2qln/transfer/MessageUpload.h"
#include "mmconv/MMConv.h"
#include "tests/ex2qln/transfer/OrganisationSession.h"
#include "tests/support/ServerSettings.h"
#include "tests/support/StandInServer.h"
#include "tests/support/TemporaryDirectory.h"

#include <mapicode.h>
#include <mapitags.h>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <csignal>
#include <memory>
#include <string>
#include <vector>

namespace ex2qln::transfer {
namespace {

using namespace std::chrono_literals;
using testsupport::StandInOptions;
using testsupport::StandInServer;

const std::string kAnn = "~ann@example.com";

std::unique_ptr<StandInServer> StartServer(std::vector<std::string> arguments = {})
{
    return std::make_unique<StandInServer>(StandInOptions{
        .arguments = std::move(arguments),
        .protocols = "imap",
        .initialState = R"({"accounts": {"ann@example.com": {"settings": {}, "aliases": []}}, "groups": {}})"});
}

// A connected client logged in as postmaster; the test fails when it cannot connect.
struct Connection {
    explicit Connection(const StandInServer& server)
        : settings(testsupport::MakeServerSettings({.password = "secret", .imapPort = server.ImapPort()})),
          client(std::make_unique<imap::CImapXP>(MAPIAllocateBuffer, MAPIAllocateMore, MAPIFreeBuffer,
                                                 imap::ImapClientOptions{.passwordTerminal = "/nonexistent"}))
    {
        EXPECT_EQ(client->Connect(settings.get()), S_OK) << client->LastErrorText();
    }
    MapiPtr<IPropData> settings;
    std::unique_ptr<imap::CImapXP> client;
};

// The command lines the server received after the login (the tag left out), literals as "{N}".
std::vector<std::string> CommandsAfterLogin(const StandInServer& server)
{
    std::vector<std::string> lines;
    for (const testsupport::ReceivedLine& line : server.Received()) {
        if (line.literal) {
            lines.push_back("{" + std::to_string(*line.literal) + "}");
            continue;
        }
        const std::string text = line.line.substr(line.line.find(' ') + 1);
        if (text.starts_with("AUTHENTICATE") || text == "ENABLE EXTENSIONS" || text == "GETMAILTRAILER" ||
            line.line.find(' ') == std::string::npos)
            continue;
        lines.push_back(text);
    }
    return lines;
}

std::string FolderClass(const StandInServer& server, const std::string& path)
{
    const std::string json = testsupport::ReadFile(server.StateDirectory() + "/mail/ann@example.com/" + path +
                                                   "/.folder.json");
    const std::size_t at = json.find("\"class\": \"");
    return at == std::string::npos ? "<no folder>" : json.substr(at + 10, json.find('"', at + 10) - at - 10);
}

class TransferIntegrationTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { std::signal(SIGPIPE, SIG_IGN); }
};

TEST_F(TransferIntegrationTest, EnsureFolderSendsOnlyWhatTheFolderNeeds)
{
    struct Case {
        const char* name;
        std::vector<std::string> before;  // folders made first: path and class
        std::string path;
        std::string folderClass;
        HRESULT status;
        bool created;
        std::vector<std::string> sent;
        std::string storedPath;
        std::string storedClass;
    };
    const std::string list = "LIST (CLASS) \"\" ";
    const std::vector<Case> cases = {
        {"a new mail folder", {}, kAnn + "/Archive", "Default", S_OK, true,
         {list + "\"" + kAnn + "/Archive\"", "CREATE \"" + kAnn + "/Archive\""}, "Archive", "Default"},
        {"a new contacts folder gets its class", {}, kAnn + "/Contacts", "IPF.Contact", S_OK, true,
         {list + "\"" + kAnn + "/Contacts\"", "CREATE \"" + kAnn + "/Contacts\"",
          "SETCLASS \"" + kAnn + "/Contacts\" \"IPF.Contact\""},
         "Contacts", "IPF.Contact"},
        {"there with the right class", {"Tasks", "IPF.Task"}, kAnn + "/Tasks", "IPF.Task", S_OK, false,
         {list + "\"" + kAnn + "/Tasks\""}, "Tasks", "IPF.Task"},
        {"there as mail, holding contacts", {"People", "Default"}, kAnn + "/People", "IPF.Contact", S_OK, false,
         {list + "\"" + kAnn + "/People\"", "SETCLASS \"" + kAnn + "/People\" \"IPF.Contact\""}, "People", "IPF.Contact"},
        {"classes compare with their letter case", {"Notes", "IPF.StickyNote"}, kAnn + "/Notes", "IPF.Stickynote",
         S_OK, false, {list + "\"" + kAnn + "/Notes\"", "SETCLASS \"" + kAnn + "/Notes\" \"IPF.Stickynote\""},
         "Notes", "IPF.Stickynote"},
        {"an inbox in any letter case is the Inbox", {}, kAnn + "/inbox/Sub", "Default", S_OK, true,
         {list + "\"" + kAnn + "/INBOX/Sub\"", "CREATE \"" + kAnn + "/INBOX/Sub\""}, "INBOX/Sub", "Default"},
        {"a name LIST takes as a pattern", {"100x", "IPF.Task"}, kAnn + "/100%", "Default", S_OK, true,
         {list + "\"" + kAnn + "/100%\"", "CREATE \"" + kAnn + "/100%\""}, "100%", "Default"},
        {"CREATE refused", {}, kAnn + "/Refused", "IPF.Task", E_ACCESSDENIED, false,
         {list + "\"" + kAnn + "/Refused\"", "CREATE \"" + kAnn + "/Refused\""}, "Refused", "<no folder>"},
        {"SETCLASS refused", {"Journal", "Default"}, kAnn + "/Journal", "IPF.Journal", MAPI_E_EXTENDED_ERROR, false,
         {list + "\"" + kAnn + "/Journal\"", "SETCLASS \"" + kAnn + "/Journal\" \"IPF.Journal\""}, "Journal", "Default"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto server = StartServer({"--refuse", "CREATE \"" + kAnn + "/Refused\"", "--refuse",
                                   "SETCLASS \"" + kAnn + "/Journal\""});
        ASSERT_TRUE(server->Started());
        if (!c.before.empty()) {
            Connection setup(*server);
            ASSERT_EQ(EnsureFolder(*setup.client, kAnn + "/" + c.before[0], c.before[1]), S_OK);
        }
        const std::size_t earlier = CommandsAfterLogin(*server).size();
        Connection connection(*server);
        bool created = !c.created;
        EXPECT_EQ(EnsureFolder(*connection.client, c.path, c.folderClass, &created), c.status);
        EXPECT_EQ(created, c.created);
        if (FAILED(c.status)) {
            EXPECT_EQ(connection.client->LastErrorText(), "Command refused on request");
        }
        EXPECT_TRUE(connection.client->IsConnected());
        connection.client.reset();
        std::vector<std::string> sent = CommandsAfterLogin(*server);
        sent.erase(sent.begin(), sent.begin() + static_cast<std::ptrdiff_t>(earlier));
        ASSERT_FALSE(sent.empty());
        EXPECT_EQ(sent.back(), "LOGOUT");
        sent.pop_back();
        EXPECT_EQ(sent, c.sent);
        EXPECT_EQ(FolderClass(*server, c.storedPath), c.storedClass);
    }
}

// An organisation with one mailbox whose Inbox holds the messages the upload tests send.
std::string UploadOrganisation()
{
    std::string large;
    for (int i = 0; large.size() < 120000; ++i)
        large += "Line " + std::to_string(i) + " of a long body.\\r\\n";
    return R"({"formatVersion": 1, "gal": [
  {"kind": "user", "account": "ann", "dn": "/o=Fix/cn=ann", "smtp": "ann@example.com", "displayName": "Ann",
   "homeMdb": "/o=Fix/cn=Servers/cn=SRV1/cn=Microsoft Private MDB"}],
 "mailboxes": [{"user": "ann", "folders": [{"name": "Inbox", "special": "inbox", "messages": [
  {"properties": {"PR_MESSAGE_CLASS": "IPM.Note", "PR_SUBJECT": "Replied", "PR_BODY": "Short body",
                  "PR_SENDER_NAME": "Ben", "PR_SENDER_ADDRTYPE": "SMTP", "PR_SENDER_EMAIL_ADDRESS": "ben@example.com",
                  "PR_ICON_INDEX": 261, "PR_FLAG_STATUS": 2, "PR_MESSAGE_FLAGS": 1,
                  "PR_MESSAGE_DELIVERY_TIME": "2021-01-05T08:03:09Z"}},
  {"properties": {"PR_MESSAGE_CLASS": "IPM.Note", "PR_SUBJECT": "Long draft", "PR_BODY": ")" + large + R"(",
                  "PR_MESSAGE_FLAGS": 9}},
  {"properties": {"PR_SUBJECT": "No class"}}
 ]}]}]})";
}

// The message converted as the upload converts it, for comparison.
std::string Converted(IMessage* message, IPropData* settings)
{
    MapiPtr<IStream> stream;
    EXPECT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, stream.put()), S_OK);
    CConfigProp config(settings, settings);
    EXPECT_EQ(mmconv::MapiToMime(message, stream.get(), static_cast<LPMAPISESSION>(nullptr), &config, 0x01), S_OK);
    LARGE_INTEGER start{};
    stream->Seek(start, STREAM_SEEK_SET, nullptr);
    std::string bytes;
    char chunk[4096];
    ULONG read = 0;
    while (SUCCEEDED(stream->Read(chunk, sizeof chunk, &read)) && read > 0)
        bytes.append(chunk, read);
    return bytes;
}

class UploadTest : public TransferIntegrationTest {
protected:
    void SetUp() override { ASSERT_EQ(mmconv::MMConvInit(MAPIAllocateBuffer, MAPIFreeBuffer, 1, 0), S_OK); }
    void TearDown() override { mmconv::MMConvFree(); }

    transfertest::OrganisationSession organisation_{UploadOrganisation()};
};

TEST_F(UploadTest, AppendCarriesFlagsDateAndTheConversionsBytes)
{
    ASSERT_TRUE(organisation_.ok());
    struct Case {
        const char* subject;
        std::string line;  // without the literal's size
        std::vector<std::string> flags;
        std::string date;  // empty: the time of arrival
    };
    const std::vector<Case> cases = {
        {"Replied", "APPEND \"" + kAnn + "/INBOX\" (\\Answered \\Flagged \\Seen) \"05-Jan-2021 08:03:09 +0000\" ",
         {"\\Answered", "\\Flagged", "\\Seen"}, "05-Jan-2021 08:03:09 +0000"},
        {"Long draft", "APPEND \"" + kAnn + "/INBOX\" (\\Seen \\Draft) ", {"\\Seen", "\\Draft"}, ""},
    };
    auto server = StartServer();
    ASSERT_TRUE(server->Started());
    Connection connection(*server);
    unsigned uid = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.subject);
        MapiPtr<IMessage> message = organisation_.OpenMessage("Inbox", c.subject);
        ASSERT_TRUE(message);
        const std::string expected = Converted(message.get(), connection.settings.get());
        std::uint64_t bytes = 0;
        {
            imap::CImapGuard guard(connection.client.get());
            ASSERT_EQ(UploadMessage(*connection.client, connection.settings.get(), kAnn + "/INBOX",
                                    organisation_.Session(), message.get(), &bytes),
                      S_OK)
                << connection.client->LastErrorText();
        }
        EXPECT_EQ(bytes, expected.size());
        const std::vector<std::string> sent = CommandsAfterLogin(*server);
        ASSERT_GE(sent.size(), 2u);
        // The line, the literal, and nothing after it: the command ends with the literal.
        EXPECT_EQ(sent[sent.size() - 2], c.line + "{" + std::to_string(expected.size()) + "}");
        EXPECT_EQ(sent.back(), "{" + std::to_string(expected.size()) + "}");

        ++uid;
        const std::string folder = server->StateDirectory() + "/mail/ann@example.com/INBOX/.messages/";
        const std::string stored = testsupport::ReadFile(folder + std::to_string(uid) + ".eml");
        EXPECT_EQ(stored.size(), expected.size());
        EXPECT_TRUE(stored == expected);
        const auto record = nlohmann::json::parse(testsupport::ReadFile(folder + std::to_string(uid) + ".json"));
        EXPECT_EQ(record.at("flags").get<std::vector<std::string>>(), c.flags);
        if (!c.date.empty()) {
            EXPECT_EQ(record.at("internal_date"), c.date);
        }
    }
}

TEST_F(UploadTest, ARefusalOrAFailedConversionSendsNoData)
{
    ASSERT_TRUE(organisation_.ok());
    struct Case {
        const char* name;
        const char* subject;
        std::string folder;
        HRESULT status;
        std::string errorText;
        bool appendSent;
    };
    const std::vector<Case> cases = {
        {"no such folder", "Replied", kAnn + "/Missing", MAPI_E_EXTENDED_ERROR,
         "No such mailbox " + kAnn + "/Missing", true},
        {"refused by the server", "Replied", kAnn + "/INBOX", MAPI_E_EXTENDED_ERROR, "Quota exceeded", true},
        {"no message class: nothing to convert", "No class", kAnn + "/INBOX", MAPI_E_NOT_FOUND, "", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto server = StartServer({"--refuse", "APPEND \"" + kAnn + "/INBOX\"", "--imap-refuse-reply", "NO Quota exceeded"});
        ASSERT_TRUE(server->Started());
        Connection connection(*server);
        MapiPtr<IMessage> message = organisation_.OpenMessage("Inbox", c.subject);
        ASSERT_TRUE(message);
        {
            imap::CImapGuard guard(connection.client.get());
            EXPECT_EQ(UploadMessage(*connection.client, connection.settings.get(), c.folder, organisation_.Session(),
                                    message.get()),
                      c.status);
        }
        if (!c.errorText.empty()) {
            EXPECT_EQ(connection.client->LastErrorText(), c.errorText);
        }
        // The connection goes on.
        EXPECT_EQ(EnsureFolder(*connection.client, kAnn + "/INBOX", "Default"), S_OK);
        connection.client.reset();
        const std::vector<std::string> sent = CommandsAfterLogin(*server);
        bool literal = false;
        bool append = false;
        for (const std::string& line : sent) {
            literal |= line.starts_with("{");
            append |= line.starts_with("APPEND");
        }
        EXPECT_FALSE(literal);
        EXPECT_EQ(append, c.appendSent);
    }
}

} // namespace
} // namespace ex2qln::transfer
