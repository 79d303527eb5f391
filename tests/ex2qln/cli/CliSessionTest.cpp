// CCli sessions: login sequences against the stand-in server, replies and failures against a scripted peer.
#include "ex2qln/cli/Cli.h"

#include "ex2qln/diag/Log.h"
#include "ex2qln/mapi/ConnectorProperties.h"
#include "tests/support/LoopbackPeer.h"
#include "tests/support/ServerSettings.h"
#include "tests/support/StandInServer.h"

#include <gtest/gtest.h>

#include <mapicode.h>

#include <fcntl.h>
#include <poll.h>
#include <csignal>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <functional>
#include <thread>

namespace ex2qln::cli {
namespace {

using testsupport::MakeServerSettings;
using testsupport::ReceivedLine;
using testsupport::ServerSettingsValues;
using testsupport::StandInServer;

std::vector<std::string> Lines(const std::vector<ReceivedLine>& received)
{
    std::vector<std::string> lines;
    for (const ReceivedLine& line : received)
        lines.push_back(line.line);
    return lines;
}

class CliSessionTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { std::signal(SIGPIPE, SIG_IGN); }

    // A session that trusts the stand-in's certificate.
    static net::TlsSettings Trusting(const StandInServer& server)
    {
        net::TlsSettings tls;
        tls.trustedCertificateFile = server.CertificatePath();
        return tls;
    }
};

TEST_F(CliSessionTest, LogsInWithCramMd5AndSendsCommands)
{
    StandInServer server;
    ASSERT_TRUE(server.Started());
    auto settings = MakeServerSettings({.password = "secret", .cliPort = server.CliPort()});
    CCli cli(Trusting(server));
    ASSERT_EQ(cli.Connect(settings.get()), S_OK) << cli.ErrorText();
    EXPECT_EQ(cli.ErrorText(), "Logged in as postmaster@127.0.0.1");
    EXPECT_EQ(cli.Connect(settings.get()), S_OK);

    ASSERT_EQ(cli.SendCommand("CreateAccount user1@example.com {RealName=\"User One\";}"), S_OK);
    EXPECT_EQ(cli.Reply(), S_OK);
    ASSERT_EQ(cli.SendCommand("CreateAccount user1@example.com {}"), S_OK);
    EXPECT_EQ(cli.Reply(), MAPI_E_EXTENDED_ERROR);
    EXPECT_EQ(cli.ErrorText(), "Account user1@example.com already exists");
    ASSERT_EQ(cli.SendCommand("GetAccountSettings user1@example.com"), S_OK);
    int code = 0;
    std::string_view text;
    ASSERT_EQ(cli.Reply(&code, &text), S_OK);
    EXPECT_EQ(code, 201);
    EXPECT_EQ(text, "{RealName=\"User One\";}");

    ASSERT_EQ(cli.SendCommand("CreateAccount user1@example.com {}"), S_OK);
    ASSERT_EQ(cli.Reply(), MAPI_E_EXTENDED_ERROR);
    EXPECT_EQ(cli.Disconnect(), S_OK);
    EXPECT_FALSE(cli.IsAlive());
    EXPECT_EQ(cli.ErrorText(), "Account user1@example.com already exists");

    const std::vector<std::string> lines = Lines(server.Received());
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_EQ(lines[0], "AUTH CRAM-MD5");
    EXPECT_EQ(lines[2], "CreateAccount user1@example.com {RealName=\"User One\";}");
    EXPECT_EQ(lines[6], "QUIT");
}

TEST_F(CliSessionTest, LogsInWithUserAndPassWhenSecureLoginIsOff)
{
    StandInServer server;
    ASSERT_TRUE(server.Started());
    auto settings = MakeServerSettings({.password = "secret", .cliPort = server.CliPort(), .secureLogin = false});
    {
        CCli cli(Trusting(server));
        ASSERT_EQ(cli.Connect(settings.get()), S_OK) << cli.ErrorText();
    }
    EXPECT_EQ(Lines(server.Received()),
              (std::vector<std::string>{"USER postmaster@127.0.0.1", "PASS secret", "QUIT"}));
}

TEST_F(CliSessionTest, SecureLoginTrueOrAbsentUsesCramMd5)
{
    StandInServer server;
    ASSERT_TRUE(server.Started());
    auto settings = MakeServerSettings({.password = "secret", .cliPort = server.CliPort(), .secureLogin = true});
    CCli cli(Trusting(server));
    ASSERT_EQ(cli.Connect(settings.get()), S_OK) << cli.ErrorText();
    EXPECT_EQ(Lines(server.Received()).front(), "AUTH CRAM-MD5");
}

TEST_F(CliSessionTest, SwitchesToTlsBeforeLoggingIn)
{
    StandInServer server({}, true);
    ASSERT_TRUE(server.Started());
    auto settings = MakeServerSettings({.password = "secret", .useTls = true, .cliPort = server.CliPort()});
    {
        CCli cli(Trusting(server));
        ASSERT_EQ(cli.Connect(settings.get()), S_OK) << cli.ErrorText();
    }
    const std::vector<ReceivedLine> received = server.Received();
    ASSERT_EQ(received.size(), 4u);
    EXPECT_EQ(received[0].line, "STLS");
    EXPECT_FALSE(received[0].secure);
    EXPECT_EQ(received[1].line, "AUTH CRAM-MD5");
    for (std::size_t index = 1; index < received.size(); ++index)
        EXPECT_TRUE(received[index].secure) << received[index].line;
}

TEST_F(CliSessionTest, AnUntrustedCertificateIsANetworkError)
{
    StandInServer server({}, true);
    ASSERT_TRUE(server.Started());
    auto settings = MakeServerSettings({.password = "secret", .useTls = true, .cliPort = server.CliPort()});
    CCli cli(net::TlsSettings{});
    EXPECT_EQ(cli.Connect(settings.get()), MAPI_E_NETWORK_ERROR);
    EXPECT_NE(cli.ErrorText().find("--tls-ca"), std::string_view::npos) << cli.ErrorText();
    EXPECT_FALSE(cli.IsAlive());
}

TEST_F(CliSessionTest, StlsRefusedEndsTheLogin)
{
    StandInServer server;  // without a certificate STLS is answered with 554
    ASSERT_TRUE(server.Started());
    auto settings = MakeServerSettings({.password = "secret", .useTls = true, .cliPort = server.CliPort()});
    CCli cli(Trusting(server));
    EXPECT_EQ(cli.Connect(settings.get()), MAPI_E_EXTENDED_ERROR);
    EXPECT_EQ(cli.ErrorText(), "TLS is not configured");
    EXPECT_FALSE(cli.IsAlive());
}

TEST_F(CliSessionTest, TheLogHoldsNoPassword)
{
    testsupport::TemporaryDirectory directory;
    const std::string logPath = directory.File("trace.log");
    diag::OpenLog(diag::kTraceProtocols, logPath.c_str(), 0, false);
    StandInServer server;
    ASSERT_TRUE(server.Started());
    for (bool secureLogin : {true, false}) {
        auto settings =
            MakeServerSettings({.password = "secret", .cliPort = server.CliPort(), .secureLogin = secureLogin});
        CCli cli(Trusting(server));
        ASSERT_EQ(cli.Connect(settings.get()), S_OK) << cli.ErrorText();
    }
    const std::vector<std::string> lines = Lines(server.Received());
    ASSERT_EQ(lines.size(), 6u);
    const std::string& cramResponse = lines[1];
    const std::string log = testsupport::ReadFile(logPath);
    EXPECT_NE(log.find("<<<<<< AUTH CRAM-MD5\r\n"), std::string::npos);
    EXPECT_NE(log.find("<<<<<< USER postmaster@127.0.0.1\r\n"), std::string::npos);
    EXPECT_NE(log.find("<<<<<< PASS ********\r\n"), std::string::npos);
    EXPECT_NE(log.find(">>>>>> 200 Logged in as postmaster@127.0.0.1\r\n"), std::string::npos);
    EXPECT_NE(log.find("::Connect\r\n"), std::string::npos);
    EXPECT_EQ(log.find("secret"), std::string::npos);
    EXPECT_EQ(log.find(cramResponse), std::string::npos);
}

// Runs `body` in a child process that has no controlling terminal; true when it exits with 0.
bool InProcessWithoutTerminal(const std::function<bool()>& body)
{
    const pid_t child = fork();
    if (child == 0) {
        setsid();
        _exit(body() ? 0 : 1);
    }
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child)
        return false;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

TEST_F(CliSessionTest, AWrongPasswordWithoutATerminalIsUnconfigured)
{
    StandInServer server;
    ASSERT_TRUE(server.Started());
    for (bool secureLogin : {true, false}) {
        SCOPED_TRACE(secureLogin ? "CRAM-MD5" : "USER/PASS");
        auto settings =
            MakeServerSettings({.password = "wrong", .cliPort = server.CliPort(), .secureLogin = secureLogin});
        EXPECT_TRUE(InProcessWithoutTerminal([&] {
            CCli cli(Trusting(server));
            return cli.Connect(settings.get()) == MAPI_E_UNCONFIGURED && !cli.IsAlive() &&
                   cli.ErrorText() == "Authentication failed";
        }));
    }
    // No password at all: the prompt comes first, so nothing is sent.
    auto settings = MakeServerSettings({.cliPort = server.CliPort()});
    EXPECT_TRUE(InProcessWithoutTerminal([&] {
        CCli cli(Trusting(server));
        return cli.Connect(settings.get()) == MAPI_E_UNCONFIGURED;
    }));
    EXPECT_EQ(Lines(server.Received()).size(), 4u);
}

// Reads from the terminal's master side until `expected` has appeared; false when the child went
// away or nothing came for ten seconds.
bool ReadUntil(int master, const std::string& expected, std::string& seen)
{
    while (seen.find(expected) == std::string::npos) {
        pollfd poller{master, POLLIN, 0};
        if (poll(&poller, 1, 10000) != 1)
            return false;
        char buffer[256];
        const ssize_t count = read(master, buffer, sizeof buffer);
        if (count <= 0)
            return false;
        seen.append(buffer, static_cast<std::size_t>(count));
    }
    return true;
}

TEST_F(CliSessionTest, ARejectedPasswordIsAskedForAgainOnTheTerminal)
{
    StandInServer server;
    ASSERT_TRUE(server.Started());
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    const std::string terminal = ptsname(master);
    auto settings = MakeServerSettings({.password = "wrong", .cliPort = server.CliPort()});

    const pid_t child = fork();
    if (child == 0) {
        setsid();
        // Opened by a session leader without a terminal, the pseudo-terminal becomes its own.
        const int descriptor = open(terminal.c_str(), O_RDWR);
        CCli cli(Trusting(server));
        const bool loggedIn = descriptor >= 0 && cli.Connect(settings.get()) == S_OK &&
                              testsupport::SettingText(settings.get(), mapi::kPropPassword) == "secret";
        _exit(loggedIn ? 0 : 1);
    }
    ASSERT_GT(child, 0);
    std::string seen;
    const bool prompted = ReadUntil(master, "Password: ", seen);
    if (prompted) {
        EXPECT_EQ(write(master, "secret\r", 7), 7);
    }
    std::string rest;
    ReadUntil(master, "\n", rest);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    close(master);
    ASSERT_TRUE(prompted) << seen;
    EXPECT_NE(seen.find("User Name: postmaster@127.0.0.1"), std::string::npos) << seen;
    EXPECT_EQ(rest.find("secret"), std::string::npos) << "the password was echoed";
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    const std::vector<std::string> lines = Lines(server.Received());
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[2], "AUTH CRAM-MD5");
}

// The server's side of a greeting and a USER/PASS login.
void PlayLogin(int descriptor)
{
    testsupport::WriteAll(descriptor, "200 ready\r\n");
    testsupport::ReadLineFrom(descriptor);
    testsupport::WriteAll(descriptor, "200 Send the password\r\n");
    testsupport::ReadLineFrom(descriptor);
    testsupport::WriteAll(descriptor, "200 Logged in\r\n");
}

// Reads lines until the client closes or sends QUIT, which is answered; the lines read.
std::string ServeUntilQuit(int descriptor)
{
    std::string received;
    for (;;) {
        const std::string line = testsupport::ReadLineFrom(descriptor);
        received += line;
        if (line.empty() || line == "QUIT\r\n") {
            testsupport::WriteAll(descriptor, "200 Bye\r\n");
            return received;
        }
    }
}

// A peer that accepts one connection and runs `script` on it.
class ScriptedPeer {
public:
    explicit ScriptedPeer(std::function<void(int)> script)
        : thread_([this, script = std::move(script)] {
              net::SocketHandle connection = listener_.Accept();
              if (connection.IsValid())
                  script(connection.Get());
          })
    {
    }
    ~ScriptedPeer() { thread_.join(); }
    std::uint32_t Port() const { return listener_.Port(); }

private:
    testsupport::LoopbackListener listener_;
    std::thread thread_;
};

TEST_F(CliSessionTest, AMalformedReplyClosesTheConnection)
{
    ScriptedPeer peer([](int descriptor) {
        PlayLogin(descriptor);
        testsupport::ReadLineFrom(descriptor);
        testsupport::WriteAll(descriptor, "200OK\r\n");
        ServeUntilQuit(descriptor);
    });
    auto settings = MakeServerSettings({.password = "pw", .cliPort = peer.Port(), .secureLogin = false});
    CCli cli;
    ASSERT_EQ(cli.Connect(settings.get()), S_OK) << cli.ErrorText();
    ASSERT_EQ(cli.SendCommand("Noop"), S_OK);
    int code = 0;
    EXPECT_EQ(cli.Reply(&code), MAPI_E_EXTENDED_ERROR);
    EXPECT_EQ(cli.ErrorText(), "");
    EXPECT_FALSE(cli.IsAlive());
}

TEST_F(CliSessionTest, RepliesGiveTheirCodeAndText)
{
    ScriptedPeer peer([](int descriptor) {
        PlayLogin(descriptor);
        testsupport::ReadLineFrom(descriptor);
        testsupport::WriteAll(descriptor, "201 data text\r\n500 refused here\r\n\r\n+ abc\r\n");
        ServeUntilQuit(descriptor);
    });
    auto settings = MakeServerSettings({.password = "pw", .cliPort = peer.Port(), .secureLogin = false});
    CCli cli;
    ASSERT_EQ(cli.Connect(settings.get()), S_OK) << cli.ErrorText();
    ASSERT_EQ(cli.SendCommand("Anything"), S_OK);
    std::string_view text;
    EXPECT_EQ(cli.Reply(nullptr, &text), S_OK);
    EXPECT_EQ(text, "data text");
    EXPECT_EQ(cli.Reply(), MAPI_E_EXTENDED_ERROR);
    EXPECT_EQ(cli.ErrorText(), "refused here");
    std::array<char, 8> shortBuffer{};
    EXPECT_EQ(cli.GetErrorText(shortBuffer), S_OK);
    EXPECT_STREQ(shortBuffer.data(), "refused");
    EXPECT_EQ(cli.Reply(), MAPI_E_EXTENDED_ERROR);
    EXPECT_EQ(cli.ErrorText(), "");
    int code = -1;
    EXPECT_EQ(cli.Reply(&code, &text), S_OK);
    EXPECT_EQ(code, 0);
    EXPECT_EQ(text, "abc");
    EXPECT_TRUE(cli.IsAlive());
}

TEST_F(CliSessionTest, ARefusedGreetingOrUserEndsTheLogin)
{
    struct Case {
        const char* name;
        std::vector<std::string> replies;  // the greeting, then one for each line received
        std::string errorText;
    };
    const Case cases[] = {
        {"greeting", {"554 go away\r\n"}, "go away"},
        {"USER", {"200 ready\r\n", "550 no such user\r\n"}, "no such user"},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        ScriptedPeer peer([&](int descriptor) {
            for (std::size_t index = 0; index < test.replies.size(); ++index) {
                if (index > 0)
                    testsupport::ReadLineFrom(descriptor);
                testsupport::WriteAll(descriptor, test.replies[index]);
            }
            ServeUntilQuit(descriptor);
        });
        auto settings = MakeServerSettings({.password = "pw", .cliPort = peer.Port(), .secureLogin = false});
        CCli cli;
        EXPECT_EQ(cli.Connect(settings.get()), MAPI_E_EXTENDED_ERROR);
        EXPECT_EQ(cli.ErrorText(), test.errorText);
        EXPECT_FALSE(cli.IsAlive());
    }
}

TEST_F(CliSessionTest, APeerThatGoesAwayIsANetworkError)
{
    ScriptedPeer peer([](int descriptor) {
        PlayLogin(descriptor);
        testsupport::ReadLineFrom(descriptor);
    });
    auto settings = MakeServerSettings({.password = "pw", .cliPort = peer.Port(), .secureLogin = false});
    CCli cli;
    ASSERT_EQ(cli.Connect(settings.get()), S_OK) << cli.ErrorText();
    ASSERT_EQ(cli.SendCommand("Anything"), S_OK);
    EXPECT_EQ(cli.Reply(), MAPI_E_NETWORK_ERROR);
    EXPECT_EQ(cli.ErrorText(), "Error while receiving data through socket [0x80072749]");
    EXPECT_FALSE(cli.IsAlive());
    EXPECT_EQ(cli.SendCommand("Again"), MAPI_E_NETWORK_ERROR);
}

TEST_F(CliSessionTest, ConnectFailuresCarryTheSocketText)
{
    std::uint32_t closedPort = 0;
    {
        testsupport::LoopbackListener listener;
        closedPort = listener.Port();
    }
    auto settings = MakeServerSettings({.password = "pw", .cliPort = closedPort});
    CCli cli;
    EXPECT_EQ(cli.Connect(settings.get()), MAPI_E_NETWORK_ERROR);
    EXPECT_EQ(cli.ErrorText().find("Unable to connect to host: 127.0.0.1:"), 0u) << cli.ErrorText();
}

TEST_F(CliSessionTest, NoHostIsUnconfigured)
{
    for (const std::optional<std::string>& host : {std::optional<std::string>{}, std::optional<std::string>{""}}) {
        auto settings = MakeServerSettings({.host = host, .password = "pw"});
        CCli cli;
        EXPECT_EQ(cli.Connect(settings.get()), MAPI_E_UNCONFIGURED);
    }
}

TEST_F(CliSessionTest, CommandsThatWouldSplitOrOverflowTheLineAreNotSent)
{
    std::string received;
    {
        ScriptedPeer peer([&](int descriptor) {
            PlayLogin(descriptor);
            received = ServeUntilQuit(descriptor);
        });
        auto settings = MakeServerSettings({.password = "pw", .cliPort = peer.Port(), .secureLogin = false});
        CCli cli;
        ASSERT_EQ(cli.Connect(settings.get()), S_OK) << cli.ErrorText();
        EXPECT_EQ(cli.SendCommand("CreateAccount a {}\r\nDeleteAccount b"), E_INVALIDARG);
        EXPECT_EQ(cli.SendCommand("A\nB"), E_INVALIDARG);
        EXPECT_EQ(cli.SendCommand(std::string(CCli::kMaximumCommandLength + 1, 'x')), E_INVALIDARG);
        EXPECT_EQ(cli.SendCommand(std::string(CCli::kMaximumCommandLength, 'x')), S_OK);
        EXPECT_EQ(cli.SendRaw("raw\r\n"), S_OK);
        cli.Disconnect();
    }
    EXPECT_EQ(received, std::string(CCli::kMaximumCommandLength, 'x') + "\r\nraw\r\nQUIT\r\n");
}

} // namespace
} // namespace ex2qln::cli
