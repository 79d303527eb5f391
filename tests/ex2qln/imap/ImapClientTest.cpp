// CImapXP against a scripted peer on loopback: login, tags, busy, refusals, broken connections,
// TLS and the idle logout.
#include "ex2qln/diag/Log.h"
#include "ex2qln/imap/ImapGuard.h"
#include "ex2qln/imap/ImapKeywords.h"
#include "ex2qln/imap/ImapXP.h"
#include "ex2qln/mapi/ConnectorProperties.h"
#include "tests/support/PseudoTerminal.h"
#include "tests/support/ScriptedPeer.h"
#include "tests/support/ServerSettings.h"

#include <MapiPtr.h>
#include <mapicode.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <future>
#include <sstream>
#include <thread>

namespace ex2qln::imap {
namespace {

using testsupport::kClosed;
using testsupport::ScriptedPeer;
using testsupport::PseudoTerminal;
using testsupport::ServerSettingsValues;
using testsupport::SettingText;
using Session = ScriptedPeer::Session;
using Script = std::function<void(Session&)>;

constexpr std::string_view kLoginName = "postmaster@127.0.0.1";
constexpr std::string_view kChallenge = "<1896.697170952@quillon.example>";
constexpr std::string_view kTrailer = "-- \r\nSent via Quillon";

std::string Base64(std::string_view bytes)
{
    std::string encoded(4 * ((bytes.size() + 2) / 3) + 1, '\0');
    const int length = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(encoded.data()),
                                       reinterpret_cast<const unsigned char*>(bytes.data()),
                                       static_cast<int>(bytes.size()));
    encoded.resize(static_cast<std::size_t>(length));
    return encoded;
}

// RFC 2195, computed here on its own.
std::string CramResponse(std::string_view password, std::string_view challenge = kChallenge)
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    HMAC(EVP_md5(), password.data(), static_cast<int>(password.size()),
         reinterpret_cast<const unsigned char*>(challenge.data()), challenge.size(), digest, &length);
    std::string hex;
    for (unsigned int i = 0; i < length; ++i) {
        char pair[3];
        std::snprintf(pair, sizeof pair, "%02x", digest[i]);
        hex += pair;
    }
    return Base64(std::string(kLoginName) + " " + hex);
}

// Greeting, CRAM-MD5 login, ENABLE and GETMAILTRAILER as the server's side of Connect.
void GreetAndLogIn(Session& session, std::string_view greeting = "* OK Quillon IMAP ready\r\n")
{
    session.Send(greeting);
    session.Answer("+ " + Base64(kChallenge) + "\r\n");
    session.Answer("{tag} OK Logged in\r\n");
    session.Answer("* ENABLED EXTENSIONS\r\n{tag} OK ENABLE completed\r\n");
    session.Answer("* MAILTRAILER \"-- \\eSent via Quillon\"\r\n{tag} OK GETMAILTRAILER completed\r\n");
}

void AnswerLogout(Session& session)
{
    session.Answer("* BYE Quillon IMAP closing\r\n{tag} OK LOGOUT completed\r\n");
    session.Read();
}

std::vector<std::string> LoginLines(unsigned firstTag = 1, std::string_view password = "secret")
{
    char tags[3][9];
    for (unsigned i = 0; i < 3; ++i)
        std::snprintf(tags[i], sizeof tags[i], "%08X", firstTag + (i == 0 ? 0 : i));
    return {std::string(tags[0]) + " AUTHENTICATE CRAM-MD5", CramResponse(password),
            std::string(tags[1]) + " ENABLE EXTENSIONS", std::string(tags[2]) + " GETMAILTRAILER"};
}

std::vector<std::string> Concat(std::vector<std::string> first, const std::vector<std::string>& second)
{
    first.insert(first.end(), second.begin(), second.end());
    return first;
}

// The settings the client logs in with, unless a test gives others: the password "secret".
const ServerSettingsValues kLogin{.password = "secret"};

// A client, its settings and the scripted peer it talks to.
class ImapClient : public ::testing::Test {
protected:
    // Starts a peer that plays `script` and makes the settings for its port.
    void Start(Script script, ServerSettingsValues values = kLogin)
    {
        client_.reset();
        peer_ = std::make_unique<ScriptedPeer>(std::move(script));
        values.imapPort = peer_->Port();
        settings_ = testsupport::MakeServerSettings(values);
    }

    // Makes the client; its password prompt finds no terminal unless the options name one.
    void MakeClient(ImapClientOptions options = {})
    {
        if (options.passwordTerminal == "/dev/tty")
            options.passwordTerminal = "/nonexistent/terminal";
        client_ = std::make_unique<CImapXP>(MAPIAllocateBuffer, MAPIAllocateMore, MAPIFreeBuffer, std::move(options));
    }

    ::testing::AssertionResult Connect()
    {
        const HRESULT status = client_->Connect(settings_.get());
        if (status == S_OK)
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "Connect gave " << std::hex << status << ": " << client_->LastErrorText();
    }

    // Starts a peer that greets and logs the client in and then plays `afterLogin`, and connects.
    ::testing::AssertionResult ConnectLoggedIn(Script afterLogin, ImapClientOptions options = {})
    {
        Start([afterLogin](Session& session) {
            GreetAndLogIn(session);
            afterLogin(session);
        });
        MakeClient(std::move(options));
        return Connect();
    }

    std::unique_ptr<ScriptedPeer> peer_;
    MapiPtr<IPropData> settings_;
    std::unique_ptr<CImapXP> client_;
};

TEST_F(ImapClient, LogsInWithCramMd5AndReadsListRecords)
{
    ASSERT_TRUE(ConnectLoggedIn([](Session& session) {
        session.Answer("* LIST (\\HasNoChildren \\CLASS \"IPF.Task\") \"/\" \"~john/Tasks\"\r\n"
                       "* LIST () \"/\" \"~john/Tasks/Done\"\r\n"
                       "{tag} OK LIST completed\r\n");
        AnswerLogout(session);
    }));
    EXPECT_TRUE(client_->IsConnected());
    EXPECT_EQ(SettingText(settings_.get(), kPropBody), std::string(kTrailer));
    {
        CImapGuard guard(client_.get());
        ASSERT_EQ(client_->SendCommand("LIST (CLASS) \"\" \"%s\"", "~john/Tasks*"), S_OK);
        ImapRecords records;
        ASSERT_EQ(client_->ReadReply(nullptr, KeepBit(kKindList), &records), 0);
        ASSERT_EQ(records.size(), 2u);
        EXPECT_EQ(records[0].kind, kKindList);
        ASSERT_NE(FindProperty(records[0], kPropContainerClass), nullptr);
        EXPECT_STREQ(FindProperty(records[0], kPropContainerClass)->Value.lpszA, "IPF.Task");
        EXPECT_STREQ(FindProperty(records[0], kPropFolderName)->Value.lpszA, "~john/Tasks");
        EXPECT_EQ(FindProperty(records[0], kPropDelimiter)->Value.i, '/');
        EXPECT_EQ(FindProperty(records[1], kPropContainerClass), nullptr);
        EXPECT_STREQ(FindProperty(records[1], kPropFolderName)->Value.lpszA, "~john/Tasks/Done");
    }
    EXPECT_EQ(client_->LastErrorText(), "LIST completed");
    EXPECT_EQ(client_->Disconnect(), S_OK);
    EXPECT_FALSE(client_->IsConnected());
    peer_->Join();
    EXPECT_EQ(peer_->Received(), Concat(LoginLines(), {"00000004 LIST (CLASS) \"\" \"~john/Tasks*\"",
                                                       "00000005 LOGOUT", std::string(kClosed)}));
}

TEST_F(ImapClient, LogsInWithLoginLiteralThatIsNeverTraced)
{
    const std::string logPath = ::testing::TempDir() + "ex2qln-imap-login.log";
    std::remove(logPath.c_str());
    diag::OpenLog(diag::kTraceProtocols, logPath.c_str(), 0, false);

    Start(
        [](Session& session) {
            session.Send("* OK ready\r\n");
            session.Read();
            session.Answer("{tag} OK LOGIN completed\r\n");
            session.Answer("* ENABLED EXTENSIONS\r\n{tag} OK ENABLE completed\r\n");
            session.Answer("{tag} OK no trailer\r\n");
            AnswerLogout(session);
        },
        {.password = "pa\"ss\\w0rd", .secureLogin = false, .trailer = "old trailer"});
    MakeClient();
    ASSERT_TRUE(Connect());
    EXPECT_EQ(SettingText(settings_.get(), kPropBody), std::nullopt);
    client_.reset();
    peer_->Join();
    diag::OpenLog(0, nullptr, 0, false);
    EXPECT_EQ(peer_->Received(),
              (std::vector<std::string>{"00000001 LOGIN \"postmaster@127.0.0.1\" {10+}", "pa\"ss\\w0rd",
                                        "00000002 ENABLE EXTENSIONS", "00000003 GETMAILTRAILER", "00000004 LOGOUT",
                                        std::string(kClosed)}));

    std::ifstream file(logPath, std::ios::binary);
    std::stringstream log;
    log << file.rdbuf();
    EXPECT_NE(log.str().find("<<<<<< 00000002 ENABLE EXTENSIONS"), std::string::npos);
    EXPECT_NE(log.str().find(">>>>>> 00000001 OK LOGIN completed"), std::string::npos);
    EXPECT_EQ(log.str().find("pa\"ss"), std::string::npos);
    EXPECT_EQ(log.str().find("LOGIN \""), std::string::npos);
}

TEST_F(ImapClient, LoginWithoutAPasswordOrRejectedEndsWhenThePromptIsCancelled)
{
    struct Case {
        const char* name;
        std::optional<std::string> password;
        std::vector<std::string> received;
    };
    const std::vector<Case> cases = {
        {"no password", std::nullopt, {std::string(kClosed)}},
        {"rejected", "wrong", {"00000001 AUTHENTICATE CRAM-MD5", CramResponse("wrong"), std::string(kClosed)}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Start(
            [](Session& session) {
                session.Send("* OK ready\r\n");
                session.Answer("+ " + Base64(kChallenge) + "\r\n");
                session.Answer("{tag} NO Authentication failed\r\n");
                session.Read();
            },
            {.password = c.password});
        MakeClient();
        EXPECT_EQ(client_->Connect(settings_.get()), MAPI_E_UNCONFIGURED);
        EXPECT_FALSE(client_->IsConnected());
        peer_->Join();
        EXPECT_EQ(peer_->Received(), c.received);
    }
}

TEST_F(ImapClient, RejectedLoginAsksForThePasswordAndTriesAgain)
{
    PseudoTerminal terminal;
    ASSERT_TRUE(terminal.Usable());
    Start(
        [](Session& session) {
            session.Send("* OK ready\r\n");
            session.Answer("+ " + Base64(kChallenge) + "\r\n");
            session.Answer("{tag} NO Authentication failed\r\n");
            session.Answer("+ " + Base64(kChallenge) + "\r\n");
            session.Answer("{tag} OK Logged in\r\n");
            session.Answer("* ENABLED EXTENSIONS\r\n{tag} OK ENABLE completed\r\n");
            session.Answer("{tag} OK GETMAILTRAILER completed\r\n");
            AnswerLogout(session);
        },
        {.password = "wrong"});
    MakeClient({.passwordTerminal = terminal.SlavePath()});
    auto typist = std::async(std::launch::async, [&] { return terminal.AnswerPrompt("Password: ", "right\r"); });
    EXPECT_TRUE(Connect());
    EXPECT_TRUE(typist.get());
    EXPECT_EQ(SettingText(settings_.get(), mapi::kPropPassword), "right");
    client_.reset();
    peer_->Join();
    EXPECT_EQ(peer_->Received(),
              (std::vector<std::string>{"00000001 AUTHENTICATE CRAM-MD5", CramResponse("wrong"),
                                        "00000002 AUTHENTICATE CRAM-MD5", CramResponse("right"),
                                        "00000003 ENABLE EXTENSIONS", "00000004 GETMAILTRAILER", "00000005 LOGOUT",
                                        std::string(kClosed)}));
}

TEST_F(ImapClient, TagsKeepCountingAcrossAReconnect)
{
    ASSERT_TRUE(ConnectLoggedIn([](Session& session) {
        AnswerLogout(session);
        session.Reconnect();
        GreetAndLogIn(session);
        AnswerLogout(session);
    }));
    EXPECT_TRUE(Connect());
    EXPECT_EQ(client_->Disconnect(), S_OK);
    ASSERT_TRUE(Connect());
    EXPECT_EQ(client_->Disconnect(), S_OK);
    peer_->Join();
    const auto expected = Concat(Concat(Concat(LoginLines(1), {"00000004 LOGOUT", std::string(kClosed)}),
                                        LoginLines(5)),
                                 {"00000008 LOGOUT", std::string(kClosed)});
    EXPECT_EQ(peer_->Received(), expected);
}

TEST_F(ImapClient, SecondCommandWhileOneIsOutstandingIsBusyAndSendsNothing)
{
    ASSERT_TRUE(ConnectLoggedIn([](Session& session) {
        session.Answer("{tag} OK NOOP completed\r\n");
        session.Answer("{tag} OK CHECK completed\r\n");
        AnswerLogout(session);
    }));
    CImapGuard guard(client_.get());
    ASSERT_EQ(client_->SendCommand("NOOP"), S_OK);
    EXPECT_EQ(client_->SendCommand("CHECK"), MAPI_E_BUSY);
    EXPECT_EQ(client_->ReadReply(nullptr, 0, nullptr), 0);
    ASSERT_EQ(client_->SendCommand("CHECK"), S_OK);
    EXPECT_EQ(client_->ReadReply(nullptr, 0, nullptr), 0);
    EXPECT_EQ(client_->Disconnect(), S_OK);
    peer_->Join();
    EXPECT_EQ(peer_->Received(), Concat(LoginLines(), {"00000004 NOOP", "00000005 CHECK", "00000006 LOGOUT",
                                                       std::string(kClosed)}));
}

TEST_F(ImapClient, InvalidReplyClosesTheConnection)
{
    for (const std::string reply : {"garbage", "00000003 OK stale tag", "", "00000004OK"}) {
        SCOPED_TRACE(reply);
        ASSERT_TRUE(ConnectLoggedIn([&](Session& session) {
            session.Answer(reply + "\r\n");
            session.Read();
        }));
        CImapGuard guard(client_.get());
        ASSERT_EQ(client_->SendCommand("NOOP"), S_OK);
        EXPECT_EQ(client_->ReadReply(nullptr, 0, nullptr), MAPI_E_EXTENDED_ERROR);
        EXPECT_EQ(client_->LastErrorText(), "Server has sent invalid reply '" + reply + "'.");
        EXPECT_FALSE(client_->IsConnected());
        EXPECT_EQ(client_->SendCommand("NOOP"), MAPI_E_NETWORK_ERROR);
        peer_->Join();
        EXPECT_EQ(peer_->Received(), Concat(LoginLines(), {"00000004 NOOP", std::string(kClosed)}));
    }
}

TEST_F(ImapClient, DroppedConnectionIsANetworkError)
{
    struct Case {
        const char* name;
        std::string before;  // what the server sends before it drops the connection
    };
    const std::vector<Case> cases = {
        {"nothing", ""},
        {"half a line", "* LIST () \"/\" \"par"},
        {"in the middle of a literal", "* MAILTRAILER {100}\r\nonly a part"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(ConnectLoggedIn([&](Session& session) {
            session.Answer(c.before);
            session.Drop();
        }));
        CImapGuard guard(client_.get());
        ASSERT_EQ(client_->SendCommand("GETMAILTRAILER"), S_OK);
        EXPECT_EQ(client_->ReadReply(nullptr, 0, nullptr), MAPI_E_NETWORK_ERROR);
        EXPECT_FALSE(client_->LastErrorText().empty());
        EXPECT_FALSE(client_->IsConnected());
        EXPECT_EQ(client_->SendCommand("NOOP"), MAPI_E_NETWORK_ERROR);
        peer_->Join();
    }
}

TEST_F(ImapClient, ReadReplyReportsRefusalsUnlessAskedForTheKind)
{
    ASSERT_TRUE(ConnectLoggedIn([](Session& session) {
        session.Answer("{tag} NO [TRYCREATE] No such folder\r\n");
        session.Answer("{tag} NO Over quota\r\n");
        session.Answer("{tag} BAD Unknown command\r\n");
        AnswerLogout(session);
    }));
    CImapGuard guard(client_.get());
    ASSERT_EQ(client_->SendCommand("SETCLASS \"%s\" \"%s\"", "~john/x", "IPF.Task"), S_OK);
    EXPECT_EQ(client_->ReadReply(nullptr, 0, nullptr), MAPI_E_EXTENDED_ERROR);
    EXPECT_EQ(client_->LastErrorText(), "No such folder");
    ASSERT_EQ(client_->SendCommand("CREATE \"%s\"", "~john/x"), S_OK);
    ULONG kind = 0;
    EXPECT_EQ(client_->ReadReply(&kind, 0, nullptr), 0);
    EXPECT_EQ(kind, kKindNo);
    EXPECT_EQ(client_->LastErrorText(), "Over quota");
    ASSERT_EQ(client_->SendCommand("XYZZY"), S_OK);
    ImapRecords records;
    EXPECT_EQ(client_->ReadReply(nullptr, KeepBit(kKindBad), &records), 0);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].kind, kKindBad);
}

TEST_F(ImapClient, ProtocolErrorInAnUntaggedLineReadsOnToTheTaggedLine)
{
    ASSERT_TRUE(ConnectLoggedIn([](Session& session) {
        session.Answer("* LIST () \"/\" \"\"\r\n* LIST () \"/\" \"x\"\r\n{tag} OK LIST completed\r\n");
        session.Answer("{tag} OK NOOP completed\r\n");
        AnswerLogout(session);
    }));
    CImapGuard guard(client_.get());
    ASSERT_EQ(client_->SendCommand("LIST (CLASS) \"\" \"x\""), S_OK);
    ImapRecords records;
    EXPECT_EQ(client_->ReadReply(nullptr, KeepBit(kKindList), &records), MAPI_E_EXTENDED_ERROR);
    EXPECT_EQ(client_->LastErrorText(), "Server has sent empty folder name.");
    EXPECT_TRUE(client_->IsConnected());
    ASSERT_EQ(client_->SendCommand("NOOP"), S_OK);
    EXPECT_EQ(client_->ReadReply(nullptr, 0, nullptr), 0);
}

TEST_F(ImapClient, ContinuationThenLiteralDataThroughSendRaw)
{
    ASSERT_TRUE(ConnectLoggedIn([](Session& session) {
        session.Answer("+ Ready for literal data\r\n");
        session.Read();
        session.Answer("{tag} OK [APPENDUID 7 42] APPEND completed\r\n");
        AnswerLogout(session);
    }));
    {
        CImapGuard guard(client_.get());
        ASSERT_EQ(client_->SendCommand("APPEND \"%s\" (%s)%s {%d}", "~john/INBOX", "\\Seen", "", 7), S_OK);
        ULONG kind = 0;
        EXPECT_EQ(client_->ReadReply(&kind, 0, nullptr), 1);
        EXPECT_EQ(kind, kKindContinuation);
        EXPECT_EQ(client_->SendRaw("Hello\r\n\r\n"), S_OK);
        ImapRecords records;
        EXPECT_EQ(client_->ReadReply(nullptr, KeepBit(kKindOk), &records), 0);
        ASSERT_EQ(records.size(), 1u);
        EXPECT_EQ(FindProperty(records[0], kPropAppendUid)->Value.ul, 42u);
    }
    client_->Disconnect();
    peer_->Join();
    EXPECT_EQ(peer_->Received(), Concat(LoginLines(), {"00000004 APPEND \"~john/INBOX\" (\\Seen) {7}", "Hello", "",
                                                       "00000005 LOGOUT", std::string(kClosed)}));
}

TEST_F(ImapClient, StartTlsBeforeTheLogin)
{
    Start(
        [](Session& session) {
            session.Send("* OK ready\r\n");
            session.Answer("{tag} OK Begin TLS negotiation now\r\n");
            if (!session.StartTls())
                return;
            session.Answer("+ " + Base64(kChallenge) + "\r\n");
            session.Answer("{tag} OK Logged in\r\n");
            session.Answer("* ENABLED EXTENSIONS\r\n{tag} OK ENABLE completed\r\n");
            session.Answer("{tag} OK GETMAILTRAILER completed\r\n");
            AnswerLogout(session);
        },
        {.password = "secret", .useTls = true});
    MakeClient({.tlsSettings = net::TlsSettings{true, peer_->CertificatePath()}});
    ASSERT_TRUE(Connect());
    client_.reset();
    peer_->Join();
    EXPECT_EQ(peer_->Received(), Concat({"00000001 STARTTLS"}, Concat(std::vector<std::string>{
                                                                          "00000002 AUTHENTICATE CRAM-MD5",
                                                                          CramResponse("secret"),
                                                                          "00000003 ENABLE EXTENSIONS",
                                                                          "00000004 GETMAILTRAILER"},
                                                                      {"00000005 LOGOUT", std::string(kClosed)})));
}

TEST_F(ImapClient, TlsFromTheFirstByteOnTheImplicitTlsPort)
{
    Start(
        [](Session& session) {
            if (!session.StartTls())
                return;
            GreetAndLogIn(session);
            AnswerLogout(session);
        },
        // STARTTLS is not sent there, whatever the settings say.
        {.password = "secret", .useTls = true});
    MakeClient({.tlsSettings = net::TlsSettings{true, peer_->CertificatePath()}, .implicitTlsPort = peer_->Port()});
    ASSERT_TRUE(Connect());
    client_.reset();
    peer_->Join();
    EXPECT_EQ(peer_->Received(), Concat(LoginLines(), {"00000004 LOGOUT", std::string(kClosed)}));
}

// How the answer to ENABLE EXTENSIONS decides between the server's extensions and standard IMAP,
// and what CAPABILITY then offers in their place. Without the extensions no trailer is asked for
// and one kept from an earlier connection is removed.
TEST_F(ImapClient, ServerWithoutTheExtensionsIsUsedWithStandardImap)
{
    struct Case {
        const char* name;
        std::string enableReply;
        std::string capabilities;  // the CAPABILITY line, when the client is to ask for it
        ServerFeatures features;
    };
    const Case cases[] = {
        {"extensions enabled", "* ENABLED EXTENSIONS\r\n{tag} OK ENABLE completed\r\n", "", {true, false, false}},
        {"ENABLE refused", "{tag} NO Extensions are off\r\n", "* CAPABILITY IMAP4rev1 ENABLE METADATA", {false, true, false}},
        {"ENABLE unknown", "{tag} BAD Unknown command\r\n", "* CAPABILITY IMAP4rev1 SPECIAL-USE CREATE-SPECIAL-USE",
         {false, false, true}},
        {"nothing enabled", "* ENABLED\r\n{tag} OK Enabled\r\n", "* CAPABILITY imap4rev1 metadata create-special-use",
         {false, true, true}},
        {"another extension enabled", "* ENABLED UTF8=ACCEPT\r\n{tag} OK Enabled\r\n",
         "* CAPABILITY IMAP4rev1 METADATA-SERVER SPECIAL-USE", {false, false, false}},
        {"no ENABLED line", "{tag} OK Enabled\r\n", "* CAPABILITY IMAP4rev1", {false, false, false}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Start([&c](Session& session) {
            session.Send("* OK ready\r\n");
            session.Answer("+ " + Base64(kChallenge) + "\r\n");
            session.Answer("{tag} OK Logged in\r\n");
            session.Answer(c.enableReply);
            if (c.capabilities.empty())
                session.Answer("* MAILTRAILER \"-- \\eSent via Quillon\"\r\n{tag} OK GETMAILTRAILER completed\r\n");
            else
                session.Answer(c.capabilities + "\r\n{tag} OK CAPABILITY completed\r\n");
            AnswerLogout(session);
        });
        SPropValue stale{};
        stale.ulPropTag = kPropBody;
        stale.Value.lpszA = const_cast<char*>("-- \r\nfrom an earlier server");
        ASSERT_EQ(settings_->SetProps(1, &stale, nullptr), S_OK);
        MakeClient();
        ASSERT_TRUE(Connect());
        const ServerFeatures features = client_->Features();
        EXPECT_EQ(features.extensions, c.features.extensions);
        EXPECT_EQ(features.metadata, c.features.metadata);
        EXPECT_EQ(features.createSpecialUse, c.features.createSpecialUse);
        EXPECT_EQ(SettingText(settings_.get(), kPropBody),
                  c.features.extensions ? std::optional<std::string>(kTrailer) : std::nullopt);
        client_.reset();
        peer_->Join();
        const std::string third = c.capabilities.empty() ? "00000003 GETMAILTRAILER" : "00000003 CAPABILITY";
        EXPECT_EQ(peer_->Received(), (std::vector<std::string>{"00000001 AUTHENTICATE CRAM-MD5", CramResponse("secret"),
                                                               "00000002 ENABLE EXTENSIONS", third, "00000004 LOGOUT",
                                                               std::string(kClosed)}));
    }
}

TEST_F(ImapClient, RefusedStartTlsEndsTheConnection)
{
    struct Case {
        const char* name;
        bool useTls;
        Script script;
        std::string errorText;
    };
    const std::vector<Case> cases = {
        {"STARTTLS refused", true,
         [](Session& session) {
             session.Send("* OK ready\r\n");
             session.Answer("{tag} NO TLS is not available\r\n");
             session.Read();
         },
         "TLS is not available"},
        {"greeting not OK while TLS is wanted", true,
         [](Session& session) {
             session.Send("* PREAUTH ready\r\n");
             session.Read();
         },
         ""},
        {"greeting BYE", false,
         [](Session& session) {
             session.Send("* BYE Too many connections\r\n");
             session.Read();
         },
         "Too many connections"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Start(c.script, {.password = "secret", .useTls = c.useTls});
        MakeClient();
        EXPECT_EQ(client_->Connect(settings_.get()), MAPI_E_EXTENDED_ERROR);
        EXPECT_FALSE(client_->IsConnected());
        if (!c.errorText.empty()) {
            EXPECT_EQ(client_->LastErrorText(), c.errorText);
        }
        peer_->Join();
        ASSERT_FALSE(peer_->Received().empty());
        EXPECT_EQ(peer_->Received().back(), kClosed);
        for (const std::string& line : peer_->Received())
            EXPECT_EQ(line.find("LOGIN"), std::string::npos);
    }
}

TEST_F(ImapClient, ServerAlertGoesToStandardError)
{
    Start([](Session& session) {
        GreetAndLogIn(session, "* OK [ALERT] Maintenance at noon\r\n");
        AnswerLogout(session);
    });
    MakeClient();
    ::testing::internal::CaptureStderr();
    const bool connected = Connect();
    const std::string errors = ::testing::internal::GetCapturedStderr();
    EXPECT_TRUE(connected);
    EXPECT_NE(errors.find("Server Alert:\nMaintenance at noon\n"), std::string::npos) << errors;
}

TEST_F(ImapClient, MissingHostOrUnreachableServer)
{
    MakeClient();
    auto noHost = testsupport::MakeServerSettings({.host = std::nullopt, .password = "secret", .imapPort = 143});
    EXPECT_EQ(client_->Connect(noHost.get()), MAPI_E_UNCONFIGURED);

    testsupport::LoopbackListener closed;
    const std::uint32_t port = closed.Port();
    closed.Close();
    auto settings = testsupport::MakeServerSettings({.password = "secret", .imapPort = port});
    EXPECT_EQ(client_->Connect(settings.get()), MAPI_E_NETWORK_ERROR);
    EXPECT_EQ(client_->LastErrorText().rfind("Unable to connect to host: 127.0.0.1:" + std::to_string(port), 0), 0u)
        << client_->LastErrorText();
}

TEST_F(ImapClient, CommandTooLongOrWithALineEndInAnArgumentIsRefusedWithoutSending)
{
    ASSERT_TRUE(ConnectLoggedIn([](Session& session) {
        session.Answer("{tag} OK NOOP completed\r\n");
        AnswerLogout(session);
    }));
    CImapGuard guard(client_.get());
    const std::string name(CImapXP::kMaximumCommandText, 'x');
    EXPECT_EQ(client_->SendCommand("CREATE \"%s\"", name.c_str()), E_INVALIDARG);
    EXPECT_EQ(client_->SendCommand("CREATE \"%s\"", "x\r\n00000009 DELETE \"INBOX\""), E_INVALIDARG);
    ASSERT_EQ(client_->SendCommand("NOOP"), S_OK);
    EXPECT_EQ(client_->ReadReply(nullptr, 0, nullptr), 0);
    client_->Disconnect();
    peer_->Join();
    EXPECT_EQ(peer_->Received(), Concat(LoginLines(), {"00000006 NOOP", "00000007 LOGOUT", std::string(kClosed)}));
}

// The hostile servers: text meant for the administrator's terminal, bare LF line ends, replies out
// of step and challenges that are not challenges. Each case either ends with a clear error or, with
// bare LF line ends, works; the socket gives up after five seconds, so a reply that never counts
// as complete fails its case instead of holding it.
TEST_F(ImapClient, HostileServers)
{
    const std::string loginLines = "* OK ready\r\n";
    struct Case {
        const char* name;
        Script script;
        HRESULT connectStatus;
        std::optional<HRESULT> noopStatus;  // a NOOP after a successful Connect
        std::string errorText;              // the last error text at the end
        std::vector<std::string> received;  // every line the server got
        std::string standardError;
    };
    const std::string outOfStep = "Server has sent a reply out of step, before the command was sent: ";
    const std::vector<Case> cases = {
        {"greeting with terminal escapes",
         [](Session& session) {
             session.Send("* BYE \x1b]0;owned\x07\x1b[2J\x9b\xc2\x9b go away\r\n");
             session.Read();
         },
         MAPI_E_EXTENDED_ERROR, std::nullopt, "\\027]0;owned\\007\\027[2J\x9b\\194\\155 go away",
         {std::string(kClosed)}, ""},
        {"refusal with terminal escapes",
         [](Session& session) {
             session.Send("* OK ready\r\n");
             session.Answer("+ " + Base64(kChallenge) + "\r\n");
             session.Answer("{tag} OK Logged in\r\n");
             session.Answer("{tag} NO Extensions are off\r\n");
             session.Answer("{tag} NO \x1b[31mNot now\x1b[0m\r\n");
             session.Read();
         },
         MAPI_E_EXTENDED_ERROR, std::nullopt, "\\027[31mNot now\\027[0m",
         {"00000001 AUTHENTICATE CRAM-MD5", CramResponse("secret"), "00000002 ENABLE EXTENSIONS", "00000003 CAPABILITY",
          std::string(kClosed)},
         ""},
        {"alert with terminal escapes",
         [](Session& session) {
             GreetAndLogIn(session, "* OK [ALERT] \x1b[5mMaintenance\x07\r\n");
             AnswerLogout(session);
         },
         S_OK, std::nullopt, "GETMAILTRAILER completed", Concat(LoginLines(), {"00000004 LOGOUT", std::string(kClosed)}),
         "Server Alert:\n\\027[5mMaintenance\\007\n"},
        {"invalid reply with terminal escapes",
         [](Session& session) {
             GreetAndLogIn(session);
             session.Answer("\x1b[2J\r\n");
             session.Read();
         },
         S_OK, MAPI_E_EXTENDED_ERROR, "Server has sent invalid reply '\\027[2J'.",
         Concat(LoginLines(), {"00000004 NOOP", std::string(kClosed)}), ""},
        {"bare LF line ends",
         [](Session& session) {
             session.Send("* OK ready\n");
             session.Answer("+ " + Base64(kChallenge) + "\n");
             session.Answer("{tag} OK Logged in\n");
             session.Answer("* ENABLED EXTENSIONS\n{tag} OK ENABLE completed\n");
             session.Answer("{tag} OK GETMAILTRAILER completed\n");
             session.Answer("{tag} OK NOOP completed\n");
             AnswerLogout(session);
         },
         S_OK, S_OK, "NOOP completed",
         Concat(LoginLines(), {"00000004 NOOP", "00000005 LOGOUT", std::string(kClosed)}), ""},
        {"tagged reply sent before its command",
         [](Session& session) {
             session.Send("* OK ready\r\n");
             session.Answer("+ " + Base64(kChallenge) + "\r\n");
             session.Answer("{tag} OK Logged in\r\n");
             session.Answer("* ENABLED EXTENSIONS\r\n{tag} OK ENABLE completed\r\n");
             session.Answer("{tag} OK GETMAILTRAILER completed\r\n00000004 OK NOOP completed\r\n");
             session.Read();
         },
         S_OK, MAPI_E_EXTENDED_ERROR, outOfStep + "'00000004 OK NOOP completed'",
         Concat(LoginLines(), {std::string(kClosed)}), ""},
        {"continuation before any command",
         [](Session& session) {
             session.Send("* OK ready\r\n+ \x1b[2J\r\n");
             session.Read();
         },
         MAPI_E_EXTENDED_ERROR, std::nullopt, outOfStep + "'+ \\027[2J'", {std::string(kClosed)}, ""},
        {"untagged data between commands is read and dropped",
         [](Session& session) {
             GreetAndLogIn(session);
             session.Send("* 3 EXISTS\r\n* OK [ALERT] Quota at 90%\r\n");
             session.Answer("{tag} OK NOOP completed\r\n");
             AnswerLogout(session);
         },
         S_OK, S_OK, "NOOP completed",
         Concat(LoginLines(), {"00000004 NOOP", "00000005 LOGOUT", std::string(kClosed)}),
         "Server Alert:\nQuota at 90%\n"},
        {"empty CRAM-MD5 challenge",
         [](Session& session) {
             session.Send("* OK ready\r\n");
             session.Answer("+ \r\n");
             session.Answer("{tag} BAD Cancelled\r\n");
             session.Read();
         },
         MAPI_E_EXTENDED_ERROR, std::nullopt, "The server's CRAM-MD5 challenge is empty",
         {"00000001 AUTHENTICATE CRAM-MD5", "*", std::string(kClosed)}, ""},
        {"CRAM-MD5 challenge that is not Base64",
         [](Session& session) {
             session.Send("* OK ready\r\n");
             session.Answer("+ <1896.697170952@quillon.example>\r\n");
             session.Answer("{tag} BAD Cancelled\r\n");
             session.Read();
         },
         MAPI_E_EXTENDED_ERROR, std::nullopt, "The server's CRAM-MD5 challenge is not Base64",
         {"00000001 AUTHENTICATE CRAM-MD5", "*", std::string(kClosed)}, ""},
    };
    const std::string logPath = ::testing::TempDir() + "ex2qln-imap-hostile.log";
    std::remove(logPath.c_str());
    diag::OpenLog(diag::kTraceProtocols, logPath.c_str(), 0, false);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Start(c.script);
        MakeClient({.tlsSettings = net::TlsSettings{true, "", std::chrono::seconds(5)}});
        ::testing::internal::CaptureStderr();
        EXPECT_EQ(client_->Connect(settings_.get()), c.connectStatus) << client_->LastErrorText();
        if (c.noopStatus && client_->IsConnected()) {
            CImapGuard guard(client_.get());
            HRESULT status = client_->SendCommand("NOOP");
            if (SUCCEEDED(status))
                status = client_->ReadReply(nullptr, 0, nullptr);
            EXPECT_EQ(status, *c.noopStatus);
        }
        const std::string errorText = client_->LastErrorText();
        client_.reset();
        const std::string standardError = ::testing::internal::GetCapturedStderr();
        peer_->Join();
        EXPECT_EQ(errorText, c.errorText);
        EXPECT_EQ(peer_->Received(), c.received);
        EXPECT_EQ(standardError, c.standardError);
    }
    diag::OpenLog(0, nullptr, 0, false);
    std::ifstream file(logPath, std::ios::binary);
    std::stringstream log;
    log << file.rdbuf();
    EXPECT_NE(log.str().find(">>>>>> * BYE \\027]0;owned\\007"), std::string::npos);
    EXPECT_EQ(log.str().find_first_of("\x1b\x07"), std::string::npos);
}

TEST_F(ImapClient, IdleConnectionLogsOutOnlyOnceTheLockIsFree)
{
    Start([](Session& session) {
        GreetAndLogIn(session);
        AnswerLogout(session);
    });
    MakeClient({.idleTime = std::chrono::milliseconds(50)});
    // Held from before the connection, so the idle thread never sees a free lock until Unlock.
    ASSERT_TRUE(client_->Lock());
    ASSERT_TRUE(Connect());
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_EQ(peer_->ReceivedCount(), LoginLines().size());
    EXPECT_TRUE(client_->IsConnected());
    client_->Unlock();
    peer_->Join();
    EXPECT_EQ(peer_->Received(), Concat(LoginLines(), {"00000004 LOGOUT", std::string(kClosed)}));
    EXPECT_FALSE(client_->IsConnected());
}

} // namespace
} // namespace ex2qln::imap
