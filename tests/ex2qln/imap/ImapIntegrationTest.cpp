// CImapXP against the stand-in server on loopback: in clear, with STARTTLS and with TLS from the
// first byte; login, folders, APPEND checked on the server's disk, refusals, broken and invalid
// replies, the busy flag, the idle logout, the mail trailer and server alerts.
#include "ex2qln/imap/ImapGuard.h"
#include "ex2qln/imap/ImapKeywords.h"
#include "ex2qln/imap/ImapUtf7.h"
#include "ex2qln/imap/ImapXP.h"
#include "ex2qln/mapi/ConnectorProperties.h"
#include "tests/support/PseudoTerminal.h"
#include "tests/support/ServerSettings.h"
#include "tests/support/StandInServer.h"
#include "tests/support/TemporaryDirectory.h"

#include <gtest/gtest.h>

#include <mapicode.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <future>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace ex2qln::imap {
namespace {

using testsupport::PseudoTerminal;
using testsupport::ReceivedLine;
using testsupport::ServerSettingsValues;
using testsupport::SettingText;
using testsupport::StandInOptions;
using testsupport::StandInServer;
using namespace std::chrono_literals;

// Two accounts that the administrator reaches as "~ann@example.com/..." and "~bob@example.com/...".
constexpr const char* kInitialState =
    R"({"accounts": {"ann@example.com": {"settings": {}, "aliases": []},
                     "bob@example.com": {"settings": {}, "aliases": []}}, "groups": {}})";
const std::string kAnn = "~ann@example.com";
// Stands for the CRAM-MD5 response line, which depends on the server's challenge.
const std::string kAnyLine = "<any>";

enum class Transport { Clear, StartTls, Implicit };

const char* Name(Transport transport)
{
    switch (transport) {
    case Transport::Clear: return "in clear";
    case Transport::StartTls: return "with STARTTLS";
    case Transport::Implicit: return "with TLS from the first byte";
    }
    return "";
}

// The stand-in with a test certificate, its IMAP sides and the two accounts.
std::unique_ptr<StandInServer> StartServer(std::vector<std::string> arguments = {})
{
    return std::make_unique<StandInServer>(StandInOptions{.arguments = std::move(arguments),
                                                          .tls = true,
                                                          .protocols = "imap,imaps",
                                                          .initialState = kInitialState});
}

// A client that trusts the stand-in's certificate, meets TLS from the first byte on its imaps port,
// and gives up on a silent server after `ioTimeout`.
std::unique_ptr<CImapXP> MakeClient(const StandInServer& server, ImapClientOptions options = {},
                                    std::chrono::milliseconds ioTimeout = 20s)
{
    if (options.passwordTerminal == "/dev/tty")
        options.passwordTerminal = "/nonexistent/terminal";
    net::TlsSettings tls;
    tls.trustedCertificateFile = server.CertificatePath();
    tls.ioTimeout = ioTimeout;
    options.tlsSettings = tls;
    options.implicitTlsPort = server.ImapsPort();
    return std::make_unique<CImapXP>(MAPIAllocateBuffer, MAPIAllocateMore, MAPIFreeBuffer, std::move(options));
}

// The administrator's settings for the stand-in's IMAP side: the password "secret" unless a case
// gives other values.
MapiPtr<IPropData> SettingsFor(const StandInServer& server, Transport transport,
                               ServerSettingsValues values = {.password = "secret"})
{
    values.useTls = transport == Transport::StartTls;
    values.imapPort = transport == Transport::Implicit ? server.ImapsPort() : server.ImapPort();
    return testsupport::MakeServerSettings(values);
}

// What the server received over IMAP, one entry per line; a literal's data appears as "{N}".
std::vector<std::string> Lines(const StandInServer& server)
{
    std::vector<std::string> lines;
    for (const ReceivedLine& line : server.Received())
        lines.push_back(line.literal ? "{" + std::to_string(*line.literal) + "}" : line.line);
    return lines;
}

// `expected` with every kAnyLine taken from `actual` (when `actual` has a line there).
std::vector<std::string> Matching(std::vector<std::string> expected, const std::vector<std::string>& actual)
{
    for (std::size_t i = 0; i < expected.size() && i < actual.size(); ++i) {
        if (expected[i] == kAnyLine && !actual[i].empty())
            expected[i] = actual[i];
    }
    return expected;
}

bool Contains(const std::vector<std::string>& lines, const std::string& line)
{
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

// Waits (at most ten seconds) until the server has received `line`.
bool WaitForLine(const StandInServer& server, const std::string& line)
{
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (!Contains(Lines(server), line)) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(10ms);
    }
    return true;
}

// One command and its reply under the command lock; kept records go to `records`.
HRESULT Execute(CImapXP& client, const std::string& command, ULONG keepMask = 0, ImapRecords* records = nullptr)
{
    CImapGuard guard(&client);
    const HRESULT status = client.SendCommand("%s", command.c_str());
    return FAILED(status) ? status : client.ReadReply(nullptr, keepMask, records);
}

std::string Text(const ImapRecord& record, ULONG tag)
{
    const SPropValue* value = FindProperty(record, tag);
    return value == nullptr ? "<none>" : value->Value.lpszA;
}

// A JSON file of the server's mail store without its line breaks and indentation.
std::string CompactJson(const std::string& path)
{
    std::string compact;
    bool lineStart = false;
    for (const char c : testsupport::ReadFile(path)) {
        if (c == '\n') {
            lineStart = true;
            continue;
        }
        if (lineStart && c == ' ')
            continue;
        lineStart = false;
        compact += c;
    }
    return compact;
}

class ImapIntegrationTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { std::signal(SIGPIPE, SIG_IGN); }
};

TEST_F(ImapIntegrationTest, LogsInOverEveryTransportWithCramMd5AndLogin)
{
    struct Case {
        Transport transport;
        bool plainLogin;
    };
    const std::vector<Case> cases = {
        {Transport::Clear, false},    {Transport::Clear, true},    {Transport::StartTls, false},
        {Transport::StartTls, true},  {Transport::Implicit, false}, {Transport::Implicit, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(Name(c.transport)) + (c.plainLogin ? ", LOGIN" : ", CRAM-MD5"));
        auto server = StartServer();
        ASSERT_TRUE(server->Started());
        auto settings = SettingsFor(*server, c.transport,
                                    {.password = "secret",
                                     .secureLogin = c.plainLogin ? std::optional<bool>(false) : std::nullopt});
        auto client = MakeClient(*server);
        ASSERT_EQ(client->Connect(settings.get()), S_OK) << client->LastErrorText();
        EXPECT_TRUE(client->IsConnected());
        EXPECT_EQ(Execute(*client, "NOOP"), 0) << client->LastErrorText();
        EXPECT_EQ(client->Disconnect(), S_OK);
        EXPECT_FALSE(client->IsConnected());

        std::vector<std::string> expected;
        unsigned tag = 0;
        auto command = [&](const std::string& text) {
            char prefix[10];
            std::snprintf(prefix, sizeof prefix, "%08X ", ++tag);
            expected.push_back(prefix + text);
        };
        if (c.transport == Transport::StartTls)
            command("STARTTLS");
        if (c.plainLogin) {
            command("LOGIN \"postmaster@127.0.0.1\" {6+}");
            expected.insert(expected.end(), {"{6}", ""});
        } else {
            command("AUTHENTICATE CRAM-MD5");
            expected.push_back(kAnyLine);
        }
        for (const char* text : {"ENABLE EXTENSIONS", "GETMAILTRAILER", "NOOP", "LOGOUT"})
            command(text);
        const std::vector<std::string> lines = Lines(*server);
        EXPECT_EQ(lines, Matching(expected, lines));

        const std::vector<ReceivedLine> received = server->Received();
        for (std::size_t i = 0; i < received.size(); ++i) {
            const bool secure = c.transport == Transport::Implicit || (c.transport == Transport::StartTls && i > 0);
            EXPECT_EQ(received[i].secure, secure) << received[i].line;
            EXPECT_EQ(received[i].protocol, c.transport == Transport::Implicit ? "imaps" : "imap");
        }
    }
}

TEST_F(ImapIntegrationTest, StartTlsRefusedByAServerWithoutACertificateEndsBeforeTheLogin)
{
    StandInServer server(StandInOptions{.protocols = "imap", .initialState = kInitialState});
    ASSERT_TRUE(server.Started());
    auto settings = SettingsFor(server, Transport::StartTls);
    auto client = MakeClient(server);
    EXPECT_EQ(client->Connect(settings.get()), MAPI_E_EXTENDED_ERROR);
    EXPECT_EQ(client->LastErrorText(), "TLS is not configured");
    EXPECT_FALSE(client->IsConnected());
    client.reset();
    EXPECT_EQ(Lines(server), std::vector<std::string>{"00000001 STARTTLS"});
}

TEST_F(ImapIntegrationTest, RejectedLoginAsksForThePasswordOnTheTerminal)
{
    struct Case {
        const char* name;
        bool plainLogin;
        std::string keys;  // typed at the prompt
        HRESULT status;
        std::vector<std::string> expected;
    };
    const std::vector<Case> cases = {
        {"CRAM-MD5, the right password typed", false, "secret\r", S_OK,
         {"00000001 AUTHENTICATE CRAM-MD5", kAnyLine, "00000002 AUTHENTICATE CRAM-MD5", kAnyLine,
          "00000003 ENABLE EXTENSIONS", "00000004 GETMAILTRAILER", "00000005 LOGOUT"}},
        {"LOGIN, the right password typed", true, "secret\r", S_OK,
         {"00000001 LOGIN \"postmaster@127.0.0.1\" {5+}", "{5}", "", "00000002 LOGIN \"postmaster@127.0.0.1\" {6+}",
          "{6}", "", "00000003 ENABLE EXTENSIONS", "00000004 GETMAILTRAILER", "00000005 LOGOUT"}},
        {"CRAM-MD5, the prompt cancelled", false, "\x03", MAPI_E_UNCONFIGURED,
         {"00000001 AUTHENTICATE CRAM-MD5", kAnyLine}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto server = StartServer();
        ASSERT_TRUE(server->Started());
        PseudoTerminal terminal;
        ASSERT_TRUE(terminal.Usable());
        auto settings = SettingsFor(*server, Transport::Clear,
                                    {.password = "wrong", .secureLogin = c.plainLogin ? std::optional<bool>(false)
                                                                                       : std::nullopt});
        auto client = MakeClient(*server, {.passwordTerminal = terminal.SlavePath()});
        auto typist = std::async(std::launch::async, [&] { return terminal.AnswerPrompt("Password: ", c.keys); });
        EXPECT_EQ(client->Connect(settings.get()), c.status) << client->LastErrorText();
        EXPECT_TRUE(typist.get());
        EXPECT_EQ(client->IsConnected(), c.status == S_OK);
        EXPECT_EQ(SettingText(settings.get(), mapi::kPropPassword), c.status == S_OK ? "secret" : "wrong");
        client.reset();
        const std::vector<std::string> lines = Lines(*server);
        EXPECT_EQ(lines, Matching(c.expected, lines));
    }
}

TEST_F(ImapIntegrationTest, FoldersAreCreatedClassedAndListedWithAndWithoutTheirClass)
{
    auto server = StartServer();
    ASSERT_TRUE(server->Started());
    auto settings = SettingsFor(*server, Transport::Clear);
    auto client = MakeClient(*server);
    ASSERT_EQ(client->Connect(settings.get()), S_OK) << client->LastErrorText();

    const std::string drafts = kAnn + "/" + EncodeImapName(u"Entw\u00fcrfe");
    ASSERT_EQ(drafts, kAnn + "/Entw&APw-rfe");
    for (const std::string& folder : {kAnn + "/Tasks", kAnn + "/Tasks/Done", drafts, kAnn + "/Notes"})
        EXPECT_EQ(Execute(*client, "CREATE \"" + folder + "\""), 0) << folder << ": " << client->LastErrorText();
    for (const auto& [folder, folderClass] : std::vector<std::pair<std::string, std::string>>{
             {kAnn + "/Tasks", "IPF.Task"}, {kAnn + "/Notes", "dEfAuLt"}, {drafts, "IPF.Note"}})
        EXPECT_EQ(Execute(*client, "SETCLASS \"" + folder + "\" \"" + folderClass + "\""), 0) << client->LastErrorText();
    EXPECT_NE(testsupport::ReadFile(server->StateDirectory() + "/mail/ann@example.com/Tasks/.folder.json")
                  .find("\"class\": \"IPF.Task\""),
              std::string::npos);

    struct Listed {
        std::string name;
        std::string folderClass;  // "<none>" when the record has no class
    };
    struct Case {
        const char* command;
        std::vector<Listed> expected;
    };
    const std::vector<Case> cases = {
        // "Default" in any letter case is the server's way of saying that a folder has no class.
        {"LIST (CLASS) \"\" \"~ann@example.com/*\"",
         {{kAnn + "/INBOX", "<none>"}, {drafts, "IPF.Note"}, {kAnn + "/Notes", "<none>"},
          {kAnn + "/Tasks", "IPF.Task"}, {kAnn + "/Tasks/Done", "<none>"}}},
        {"LIST \"\" \"~ann@example.com/*\"",
         {{kAnn + "/INBOX", "<none>"}, {drafts, "<none>"}, {kAnn + "/Notes", "<none>"},
          {kAnn + "/Tasks", "<none>"}, {kAnn + "/Tasks/Done", "<none>"}}},
        {"LIST (CLASS) \"\" \"~ANN@example.com/Tasks/%\"", {{kAnn + "/Tasks/Done", "<none>"}}},
        {"LIST (CLASS) \"\" \"~bob@example.com/*\"", {{"~bob@example.com/INBOX", "<none>"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.command);
        ImapRecords records;
        ASSERT_EQ(Execute(*client, c.command, KeepBit(kKindList), &records), 0) << client->LastErrorText();
        ASSERT_EQ(records.size(), c.expected.size());
        for (std::size_t i = 0; i < records.size(); ++i) {
            EXPECT_EQ(records[i].kind, kKindList);
            EXPECT_EQ(Text(records[i], kPropFolderName), c.expected[i].name);
            EXPECT_EQ(Text(records[i], kPropContainerClass), c.expected[i].folderClass) << c.expected[i].name;
            ASSERT_NE(FindProperty(records[i], kPropDelimiter), nullptr);
            EXPECT_EQ(FindProperty(records[i], kPropDelimiter)->Value.i, '/');
            ASSERT_NE(FindProperty(records[i], kPropFolderAttributes), nullptr);
            EXPECT_EQ(FindProperty(records[i], kPropFolderAttributes)->Value.ul, 0u);
        }
    }

    // The account itself is no folder.
    ImapRecords root;
    ASSERT_EQ(Execute(*client, "LIST (CLASS) \"\" \"~ann@example.com\"", KeepBit(kKindList), &root), 0);
    ASSERT_EQ(root.size(), 1u);
    EXPECT_EQ(FindProperty(root[0], kPropFolderAttributes)->Value.ul, kFolderNoSelect);
}

TEST_F(ImapIntegrationTest, RefusedFolderCommandsAreExtendedErrorsWithTheServersText)
{
    auto server = StartServer();
    ASSERT_TRUE(server->Started());
    auto settings = SettingsFor(*server, Transport::Clear);
    auto client = MakeClient(*server);
    ASSERT_EQ(client->Connect(settings.get()), S_OK) << client->LastErrorText();
    ASSERT_EQ(Execute(*client, "CREATE \"" + kAnn + "/Tasks\""), 0);

    struct Case {
        std::string command;
        std::string errorText;
    };
    const std::vector<Case> cases = {
        {"CREATE \"" + kAnn + "/Tasks\"", "Mailbox ~ann@example.com/Tasks exists"},
        {"CREATE \"~nobody@example.com/Tasks\"", "No such account in '~nobody@example.com/Tasks'"},
        {"CREATE \"" + kAnn + "/.hidden\"", "Invalid mailbox name '~ann@example.com/.hidden'"},
        {"SETCLASS \"" + kAnn + "/Missing\" \"IPF.Task\"", "No such mailbox ~ann@example.com/Missing"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.command);
        EXPECT_EQ(Execute(*client, c.command), MAPI_E_EXTENDED_ERROR);
        EXPECT_EQ(client->LastErrorText(), c.errorText);
        // With the kind asked for, the caller judges the refusal itself.
        CImapGuard guard(client.get());
        ASSERT_EQ(client->SendCommand("%s", c.command.c_str()), S_OK);
        ULONG kind = 0;
        EXPECT_EQ(client->ReadReply(&kind, 0, nullptr), 0);
        EXPECT_EQ(kind, kKindNo);
    }
    EXPECT_TRUE(client->IsConnected());
    EXPECT_EQ(Execute(*client, "NOOP"), 0);
}

// Sends APPEND with its literal as the upload does: command, go-ahead, data, tagged reply.
HRESULT Append(CImapXP& client, const std::string& folder, const std::string& flags, const std::string& datePart,
               const std::string& message, ImapRecords* records)
{
    CImapGuard guard(&client);
    HRESULT status = client.SendCommand("APPEND \"%s\" (%s)%s {%d}", folder.c_str(), flags.c_str(),
                                        datePart.c_str(), static_cast<int>(message.size()));
    if (SUCCEEDED(status))
        status = client.ReadReply(nullptr, 0, nullptr);
    if (status != 1)
        return FAILED(status) ? status : E_UNEXPECTED;
    status = client.SendRaw(message);
    // The command line ends right after the literal.
    if (SUCCEEDED(status))
        status = client.SendRaw("\r\n");
    return FAILED(status) ? status : client.ReadReply(nullptr, KeepBit(kKindOk), records);
}

TEST_F(ImapIntegrationTest, AppendedMessageIsStoredByteForByteWithItsFlagsAndDate)
{
    constexpr char kEightBit[] = "From: Ann <ann@example.com>\r\nSubject: T\xc3\xa4st\r\n\r\nA zero \0 and \xff.\r\n";
    std::string large;
    for (int i = 0; large.size() < 300000; ++i)
        large += "Line " + std::to_string(i) + " of a long message body\r\n";
    struct Case {
        const char* name;
        std::string folder;
        std::string flags;     // as the upload writes them: flag words separated by one blank
        std::string datePart;
        std::string message;
        std::string flagsJson;
        std::string dateJson;  // empty: the time of arrival
    };
    const std::vector<Case> cases = {
        {"flags and date, 8-bit and zero bytes", kAnn + "/INBOX", "\\Answered \\Flagged \\Seen",
         " \"05-Jan-2021 08:03:09 +0000\"",
         std::string(kEightBit, sizeof kEightBit - 1),
         R"(["\\Answered","\\Flagged","\\Seen"])", "05-Jan-2021 08:03:09 +0000"},
        {"no flags, no date, a subfolder", kAnn + "/Archive/2021", "", "", "Subject: plain\r\n\r\nBody\r\n", "[]", ""},
        {"a draft of 300 kB", kAnn + "/Archive/2021", "\\Seen \\Draft", " \"31-Dec-1999 23:59:59 +0000\"",
         "Subject: long\r\n\r\n" + large, R"(["\\Seen","\\Draft"])", "31-Dec-1999 23:59:59 +0000"},
    };

    auto server = StartServer();
    ASSERT_TRUE(server->Started());
    auto settings = SettingsFor(*server, Transport::Clear);
    auto client = MakeClient(*server);
    ASSERT_EQ(client->Connect(settings.get()), S_OK) << client->LastErrorText();
    ASSERT_EQ(Execute(*client, "CREATE \"" + kAnn + "/Archive/2021\""), 0) << client->LastErrorText();

    std::map<std::string, unsigned> nextUid;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ImapRecords records;
        ASSERT_EQ(Append(*client, c.folder, c.flags, c.datePart, c.message, &records), 0) << client->LastErrorText();
        EXPECT_EQ(client->LastErrorText(), "APPEND completed");
        const unsigned uid = ++nextUid[c.folder];

        const std::string directory = server->StateDirectory() + "/mail/ann@example.com/" +
                                      c.folder.substr(kAnn.size() + 1);
        const std::string stored = testsupport::ReadFile(directory + "/.messages/" + std::to_string(uid) + ".eml");
        EXPECT_EQ(stored.size(), c.message.size());
        EXPECT_TRUE(stored == c.message);
        const std::string record = CompactJson(directory + "/.messages/" + std::to_string(uid) + ".json");
        EXPECT_NE(record.find("\"flags\": " + c.flagsJson + ","), std::string::npos) << record;
        EXPECT_NE(record.find("\"size\": " + std::to_string(c.message.size()) + ","), std::string::npos) << record;
        if (!c.dateJson.empty()) {
            EXPECT_NE(record.find("\"internal_date\": \"" + c.dateJson + "\""), std::string::npos) << record;
        }

        // The tagged OK carries [APPENDUID validity uid] of the folder on disk.
        ASSERT_EQ(records.size(), 1u);
        ASSERT_NE(FindProperty(records[0], kPropAppendUid), nullptr);
        EXPECT_EQ(FindProperty(records[0], kPropAppendUid)->Value.ul, uid);
        const std::string folder = CompactJson(directory + "/.folder.json");
        ASSERT_NE(FindProperty(records[0], kPropUidValidity), nullptr);
        EXPECT_NE(folder.find("\"uidvalidity\": " + std::to_string(FindProperty(records[0], kPropUidValidity)->Value.ul)),
                  std::string::npos)
            << folder;
    }
}

TEST_F(ImapIntegrationTest, RefusedAppendGetsNoDataAndTheConnectionGoesOn)
{
    struct Case {
        const char* name;
        std::vector<std::string> serverArguments;
        std::string folder;
        ULONG kind;
        std::string errorText;
    };
    const std::vector<Case> cases = {
        {"missing folder", {}, kAnn + "/Missing", kKindNo, "No such mailbox ~ann@example.com/Missing"},
        {"refused by the server", {"--refuse", "APPEND \"" + kAnn + "/INBOX\""}, kAnn + "/INBOX", kKindNo,
         "Command refused on request"},
        {"answered BAD", {"--refuse", "APPEND", "--imap-refuse-reply", "BAD Message too large"}, kAnn + "/INBOX",
         kKindBad, "Message too large"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto server = StartServer(c.serverArguments);
        ASSERT_TRUE(server->Started());
        auto settings = SettingsFor(*server, Transport::Clear);
        auto client = MakeClient(*server);
        ASSERT_EQ(client->Connect(settings.get()), S_OK) << client->LastErrorText();
        {
            CImapGuard guard(client.get());
            ASSERT_EQ(client->SendCommand("APPEND \"%s\" (%s)%s {%d}", c.folder.c_str(), "\\Seen", "", 12), S_OK);
            ULONG kind = 0;
            EXPECT_EQ(client->ReadReply(&kind, 0, nullptr), 0);
            EXPECT_EQ(kind, c.kind);
            EXPECT_EQ(client->LastErrorText(), c.errorText);
            // The same without the kind asked for is the upload's failure.
            ASSERT_EQ(client->SendCommand("APPEND \"%s\" (%s)%s {%d}", c.folder.c_str(), "", "", 12), S_OK);
            EXPECT_EQ(client->ReadReply(nullptr, 0, nullptr), MAPI_E_EXTENDED_ERROR);
            EXPECT_EQ(client->LastErrorText(), c.errorText);
        }
        EXPECT_EQ(Execute(*client, "NOOP"), 0) << client->LastErrorText();
        client.reset();
        const std::vector<std::string> lines = Lines(*server);
        EXPECT_EQ(std::vector<std::string>(lines.begin() + 4, lines.end()),
                  (std::vector<std::string>{"00000004 APPEND \"" + c.folder + "\" (\\Seen) {12}",
                                            "00000005 APPEND \"" + c.folder + "\" () {12}", "00000006 NOOP",
                                            "00000007 LOGOUT"}));
        EXPECT_TRUE(testsupport::ReadFile(server->StateDirectory() + "/mail/ann@example.com/INBOX/.messages/1.eml")
                        .empty());
    }
}

TEST_F(ImapIntegrationTest, BrokenConnectionIsANetworkErrorAndClosesTheSocket)
{
    struct Case {
        const char* name;
        std::vector<std::string> serverArguments;
        std::string command;  // sent after the login; an APPEND also sends its literal
        std::chrono::milliseconds ioTimeout;
    };
    const std::string message(1 << 20, 'x');
    const std::string append = "APPEND \"" + kAnn + "/INBOX\" () {" + std::to_string(message.size()) + "}";
    const std::vector<Case> cases = {
        {"dropped without a reply", {"--drop", "NOOP"}, "NOOP", 20s},
        {"dropped after three commands", {"--drop-after", "3"}, "CREATE \"" + kAnn + "/Tasks\"", 20s},
        {"dropped in the middle of the literal", {"--drop-in-literal", "APPEND"}, append, 20s},
        {"stalled", {"--stall", "NOOP"}, "NOOP", 1s},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto server = StartServer(c.serverArguments);
        ASSERT_TRUE(server->Started());
        auto settings = SettingsFor(*server, Transport::Clear);
        auto client = MakeClient(*server, {}, c.ioTimeout);
        ASSERT_EQ(client->Connect(settings.get()), S_OK) << client->LastErrorText();
        {
            CImapGuard guard(client.get());
            ASSERT_EQ(client->SendCommand("%s", c.command.c_str()), S_OK);
            HRESULT status = client->ReadReply(nullptr, 0, nullptr);
            if (status == 1) {
                status = client->SendRaw(message);
                if (SUCCEEDED(status))
                    status = client->ReadReply(nullptr, 0, nullptr);
            }
            EXPECT_EQ(status, MAPI_E_NETWORK_ERROR);
            EXPECT_FALSE(client->LastErrorText().empty());
            EXPECT_FALSE(client->IsConnected());
            // Closed: nothing more goes out, and no command is outstanding any more.
            EXPECT_EQ(client->SendCommand("NOOP"), MAPI_E_NETWORK_ERROR);
        }
        const std::size_t received = Lines(*server).size();
        EXPECT_EQ(client->Disconnect(), S_OK);
        EXPECT_EQ(Lines(*server).size(), received);
        EXPECT_FALSE(Contains(Lines(*server), "00000005 NOOP"));
        // A new connection on the same client works and keeps counting tags.
        ASSERT_EQ(client->Connect(settings.get()), S_OK) << client->LastErrorText();
        EXPECT_TRUE(Contains(Lines(*server), "00000008 GETMAILTRAILER"));
    }
}

TEST_F(ImapIntegrationTest, InvalidReplyIsAnExtendedErrorAndClosesTheConnection)
{
    struct Case {
        std::vector<std::string> serverArguments;
        std::string reply;
    };
    const std::vector<Case> cases = {
        {{"--invalid", "NOOP"}, "?? Invalid reply on request"},
        {{"--invalid", "NOOP", "--invalid-reply", "00000099 OK wrong tag"}, "00000099 OK wrong tag"},
        {{"--invalid", "NOOP", "--invalid-reply", "00000003 OK the previous tag"}, "00000003 OK the previous tag"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reply);
        auto server = StartServer(c.serverArguments);
        ASSERT_TRUE(server->Started());
        auto settings = SettingsFor(*server, Transport::StartTls);
        auto client = MakeClient(*server);
        ASSERT_EQ(client->Connect(settings.get()), S_OK) << client->LastErrorText();
        EXPECT_EQ(Execute(*client, "NOOP"), MAPI_E_EXTENDED_ERROR);
        EXPECT_EQ(client->LastErrorText(), "Server has sent invalid reply '" + c.reply + "'.");
        EXPECT_FALSE(client->IsConnected());
        EXPECT_EQ(Execute(*client, "CAPABILITY"), MAPI_E_NETWORK_ERROR);
        client.reset();
        EXPECT_EQ(Lines(*server).back(), "00000005 NOOP");
    }
}

TEST_F(ImapIntegrationTest, SecondCommandWhileOneIsOutstandingIsBusyAndSendsNothing)
{
    auto server = StartServer();
    ASSERT_TRUE(server->Started());
    auto settings = SettingsFor(*server, Transport::Clear);
    auto client = MakeClient(*server);
    ASSERT_EQ(client->Connect(settings.get()), S_OK) << client->LastErrorText();
    {
        CImapGuard guard(client.get());
        ASSERT_EQ(client->SendCommand("CREATE \"%s/Tasks\"", kAnn.c_str()), S_OK);
        EXPECT_EQ(client->SendCommand("CREATE \"%s/Notes\"", kAnn.c_str()), MAPI_E_BUSY);
        // Another thread that skips the lock is refused the same way.
        EXPECT_EQ(std::async(std::launch::async, [&] { return client->SendCommand("NOOP"); }).get(), MAPI_E_BUSY);
        EXPECT_EQ(client->ReadReply(nullptr, 0, nullptr), 0) << client->LastErrorText();
        ASSERT_EQ(client->SendCommand("CREATE \"%s/Notes\"", kAnn.c_str()), S_OK);
        EXPECT_EQ(client->ReadReply(nullptr, 0, nullptr), 0) << client->LastErrorText();
    }
    client.reset();
    const std::vector<std::string> lines = Lines(*server);
    EXPECT_EQ(std::vector<std::string>(lines.begin() + 4, lines.end()),
              (std::vector<std::string>{"00000004 CREATE \"~ann@example.com/Tasks\"",
                                        "00000005 CREATE \"~ann@example.com/Notes\"", "00000006 LOGOUT"}));
}

TEST_F(ImapIntegrationTest, IdleConnectionLogsOutAfterTheLastUnlockAndNeverWhileLocked)
{
    constexpr auto kIdleTime = 300ms;
    auto server = StartServer();
    ASSERT_TRUE(server->Started());
    auto settings = SettingsFor(*server, Transport::StartTls);
    auto client = MakeClient(*server, {.idleTime = kIdleTime});

    // Held from before the connection, so the idle thread never finds the lock free until Unlock.
    ASSERT_TRUE(client->Lock());
    ASSERT_EQ(client->Connect(settings.get()), S_OK) << client->LastErrorText();
    EXPECT_EQ(Execute(*client, "NOOP"), 0);
    // Nested use signals activity but leaves the lock held.
    std::this_thread::sleep_for(4 * kIdleTime);
    EXPECT_EQ(Execute(*client, "NOOP"), 0);
    std::this_thread::sleep_for(4 * kIdleTime);
    EXPECT_FALSE(Contains(Lines(*server), "00000007 LOGOUT"));
    EXPECT_TRUE(client->IsConnected());

    const auto unlocked = std::chrono::steady_clock::now();
    client->Unlock();
    ASSERT_TRUE(WaitForLine(*server, "00000007 LOGOUT"));
    EXPECT_GE(std::chrono::steady_clock::now() - unlocked, kIdleTime);
    // The idle thread closes the connection once it has read the reply.
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (client->IsConnected() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(10ms);
    EXPECT_FALSE(client->IsConnected());
    EXPECT_EQ(client->Disconnect(), S_OK);

    const std::vector<std::string> lines = Lines(*server);
    EXPECT_EQ(std::vector<std::string>(lines.begin() + 5, lines.end()),
              (std::vector<std::string>{"00000005 NOOP", "00000006 NOOP", "00000007 LOGOUT"}));
    // The next use connects again.
    ASSERT_EQ(client->Connect(settings.get()), S_OK) << client->LastErrorText();
    EXPECT_TRUE(Contains(Lines(*server), "00000008 STARTTLS"));
}

TEST_F(ImapIntegrationTest, MailTrailerIsStoredIntoOrRemovedFromTheSettings)
{
    // CR LF, 8-bit bytes, characters that the server escapes, and a zero byte, which the client
    // turns into a blank.
    constexpr char kTrailer[] = "-- \r\nGr\xc3\xbc\xc3\x9f" "e \"vom\" \\Server\\\t\x01 and \0.\r\n";
    const std::string trailer(kTrailer, sizeof kTrailer - 1);
    const std::string expected = "-- \r\nGr\xc3\xbc\xc3\x9f" "e \"vom\" \\Server\\\t\x01 and  .\r\n";
    testsupport::TemporaryDirectory directory;
    testsupport::WriteFile(directory.File("trailer"), trailer);
    struct Case {
        const char* name;
        std::vector<std::string> serverArguments;
        std::optional<std::string> expected;
    };
    const std::vector<Case> cases = {
        {"as a quoted string", {"--mail-trailer-file", directory.File("trailer")}, expected},
        {"as a literal", {"--mail-trailer-file", directory.File("trailer"), "--mail-trailer-literal"}, expected},
        {"none", {}, std::nullopt},
    };
    ASSERT_EQ(testsupport::ReadFile(directory.File("trailer")), trailer);
    for (const Case& c : cases) {
        for (const Transport transport : {Transport::Clear, Transport::Implicit}) {
            SCOPED_TRACE(std::string(c.name) + ", " + Name(transport));
            auto server = StartServer(c.serverArguments);
            ASSERT_TRUE(server->Started());
            auto settings = SettingsFor(*server, transport, {.password = "secret", .trailer = "an old trailer"});
            auto client = MakeClient(*server);
            ASSERT_EQ(client->Connect(settings.get()), S_OK) << client->LastErrorText();
            EXPECT_EQ(SettingText(settings.get(), kPropBody), c.expected);
        }
    }
}

TEST_F(ImapIntegrationTest, ServerAlertGoesToStandardError)
{
    auto server = StartServer({"--alert", "Maintenance at noon"});
    ASSERT_TRUE(server->Started());
    auto settings = SettingsFor(*server, Transport::Clear);
    auto client = MakeClient(*server);
    ::testing::internal::CaptureStderr();
    const HRESULT status = client->Connect(settings.get());
    const std::string errors = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(status, S_OK) << client->LastErrorText();
    EXPECT_EQ(errors, "Server Alert:\nMaintenance at noon\n");
    EXPECT_TRUE(client->IsConnected());
}

} // namespace
} // namespace ex2qln::imap
