// The accounts, passwords and cli commands run in-process against the stand-in server: their
// console lines, the commands the server received, and a stalled server ended by the time-out.
#include "ex2qln/cli/AccountsCommand.h"
#include "ex2qln/cli/CliCommand.h"
#include "ex2qln/cli/PasswordsCommand.h"
#include "ex2qln/net/TlsSettings.h"
#include "tests/support/ServerSettings.h"
#include "tests/support/StandInServer.h"

#include <gtest/gtest.h>

#include <mapicode.h>

#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <clocale>

namespace ex2qln::cli {
namespace {

using testsupport::MakeServerSettings;
using testsupport::ReceivedLine;
using testsupport::StandInServer;

// Sends standard output and standard error into files while it lives.
class CapturedStreams {
public:
    CapturedStreams()
    {
        Redirect(STDOUT_FILENO, directory_.File("out"), savedOutput_);
        Redirect(STDERR_FILENO, directory_.File("err"), savedError_);
    }
    CapturedStreams(const CapturedStreams&) = delete;
    CapturedStreams& operator=(const CapturedStreams&) = delete;
    ~CapturedStreams() { Restore(); }

    // Ends the capture; what each stream received.
    std::pair<std::string, std::string> Take()
    {
        Restore();
        return {testsupport::ReadFile(directory_.File("out")), testsupport::ReadFile(directory_.File("err"))};
    }

private:
    static void Redirect(int stream, const std::string& path, int& saved)
    {
        std::fflush(nullptr);
        saved = ::dup(stream);
        const int file = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        ::dup2(file, stream);
        ::close(file);
    }

    void Restore()
    {
        std::fflush(nullptr);
        for (auto [stream, saved] : {std::pair{STDOUT_FILENO, &savedOutput_}, std::pair{STDERR_FILENO, &savedError_}}) {
            if (*saved < 0)
                continue;
            ::dup2(*saved, stream);
            ::close(*saved);
            *saved = -1;
        }
    }

    testsupport::TemporaryDirectory directory_;
    int savedOutput_ = -1;
    int savedError_ = -1;
};

// The lines the server received without the CRAM-MD5 responses, which differ every time.
std::vector<std::string> CommandLines(const StandInServer& server)
{
    std::vector<std::string> lines;
    bool response = false;
    for (const ReceivedLine& line : server.Received()) {
        if (!response)
            lines.push_back(line.line);
        response = !response && line.line == "AUTH CRAM-MD5";
    }
    return lines;
}

class AdminCommandsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        std::signal(SIGPIPE, SIG_IGN);
        // Setting values are read in the locale's character set.
        std::setlocale(LC_ALL, "C.UTF-8");
    }

    void WriteInput(const std::string& name, const std::string& contents)
    {
        testsupport::WriteFile(directory_.File(name), contents);
    }
    std::string Path(const std::string& name) const { return directory_.File(name); }

    testsupport::TemporaryDirectory directory_;
};

TEST_F(AdminCommandsTest, AccountsPasswordsAndScriptAgainstOneServer)
{
    StandInServer server;
    ASSERT_TRUE(server.Started());
    auto settings = MakeServerSettings({.password = "secret", .cliPort = server.CliPort()});
    // Every byte of the value becomes four on the command line: the command must still be whole.
    const std::string controls(200, '\x01');
    WriteInput("users.csv", "account,dn,mailbox,Note,Empty\r\n"
                            "ann,/o=Org/cn=ann,ann@example.com,\"" + controls + "\"\r\n"
                            "user1,/o=Org/cn=user1,first.last!example.com,x\\\"y\r\n");
    WriteInput("dump.txt", "user1:1:LM:0123ABCD:::\n");
    WriteInput("script.txt", "CreateGroup staff {}");
    std::string escapedControls;
    for (std::size_t index = 0; index < controls.size(); ++index)
        escapedControls += "\\001";

    CapturedStreams streams;
    const HRESULT accounts = AccountsCommand(settings.get(), Path("users.csv"), "", true, false);
    const HRESULT passwords = PasswordsCommand(settings.get(), Path("users.csv"), Path("dump.txt"));
    const HRESULT script = CliCommand(settings.get(), Path("script.txt"));
    const auto [output, error] = streams.Take();

    EXPECT_EQ(accounts, S_OK);
    EXPECT_EQ(passwords, S_OK);
    EXPECT_EQ(script, S_OK);
    EXPECT_EQ(output, "Connecting to Quillon.\nCreating ann@example.com\nCreating first.last!example.com\n"
                      "Connecting to Quillon.\nSetting password for first.last!example.com\n"
                      "Connecting to Quillon.\nExecuting \"CreateGroup staff {}...\"\n");
    EXPECT_EQ(error, "");
    EXPECT_EQ(CommandLines(server),
              (std::vector<std::string>{
                  "AUTH CRAM-MD5", "CreateAccount ann@example.com {Note=\"" + escapedControls + "\";Empty=\"\";}",
                  "CreateAccount first.last!example.com {Note=\"x\\\\\\\"y\";Empty=\"\";}",
                  "SetAccountAliases first.last!example.com (user1)", "QUIT", "AUTH CRAM-MD5",
                  "UpdateAccount first.last!example.com {Password=\"\\002{MSNT}0123ABCD\";}", "QUIT",
                  "AUTH CRAM-MD5", "CreateGroup staff {}", "QUIT"}));
}

TEST_F(AdminCommandsTest, StalledServerEndsAtTheTimeOut)
{
    StandInServer server({"--stall", "CreateGroup"});
    ASSERT_TRUE(server.Started());
    auto settings = MakeServerSettings({.password = "secret", .cliPort = server.CliPort()});
    WriteInput("script.txt", "CreateGroup staff {}\r\nCreateGroup never {}\r\n");
    net::TlsSettings shortWait;
    shortWait.ioTimeout = std::chrono::milliseconds(300);
    net::SetDefaultTlsSettings(shortWait);

    CapturedStreams streams;
    const HRESULT status = CliCommand(settings.get(), Path("script.txt"));
    const auto [output, error] = streams.Take();
    net::SetDefaultTlsSettings({});

    EXPECT_EQ(status, MAPI_E_NETWORK_ERROR);
    EXPECT_EQ(output, "Connecting to Quillon.\nExecuting \"CreateGroup staff {}...\"\n");
    EXPECT_EQ(error, "Can not execute: Error while receiving data through socket [0x8007274c]. [0x80040115]\n");
    EXPECT_EQ(CommandLines(server), (std::vector<std::string>{"AUTH CRAM-MD5", "CreateGroup staff {}"}));
}

TEST_F(AdminCommandsTest, InvalidRowStopsBeforeAnythingIsSent)
{
    struct Case {
        const char* name;
        std::string accounts;
        std::string error;
    };
    const std::vector<Case> cases = {
        {"a key longer than 259 bytes", "account,dn,mailbox\r\n" + std::string(260, 'a') + ",dn,a@example.com\r\n",
         "Invalid input line 2 in the accounts file "},
        {"quoting left open", "account,dn,mailbox,Note\r\nann,dn,ann@example.com,\"open\r\n",
         "Invalid input line 2 in the accounts file "},
        {"a header name with its quoting left open", "account,dn,mailbox,\"Note\r\n",
         "Invalid input line 1 in the accounts file "},
    };
    for (const Case& example : cases) {
        SCOPED_TRACE(example.name);
        WriteInput("users.csv", example.accounts);
        // No server: a connection attempt would fail with a message of its own.
        auto settings = MakeServerSettings({.password = "secret", .cliPort = 1});
        CapturedStreams streams;
        const HRESULT status = AccountsCommand(settings.get(), Path("users.csv"), "", true, false);
        const auto [output, error] = streams.Take();
        EXPECT_EQ(status, E_FAIL);
        EXPECT_EQ(output, "");
        EXPECT_EQ(error, example.error + Path("users.csv") + ".\n");
    }
}

} // namespace
} // namespace ex2qln::cli
