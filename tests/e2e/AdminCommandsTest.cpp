// The built ex2qln's accounts, passwords and cli commands against the stand-in server on loopback,
// in clear and over STLS: the program's exact streams and exit status, the lines the server
// received and the accounts and groups it keeps.
#include "tests/e2e/ProgramTest.h"
#include "tests/support/ProcessRunner.h"
#include "tests/support/StandInServer.h"
#include "tests/support/TemporaryDirectory.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace {

using testsupport::ReceivedLine;
using testsupport::StandInServer;
using testsupport::ProcessResult;
using testsupport::ProcessRun;
using Lines = std::vector<std::string>;

const std::string kCramMd5Response = "(CRAM-MD5 response)";
const Lines kLogin = {"AUTH CRAM-MD5", kCramMd5Response};

Lines Concat(Lines first, const Lines& second)
{
    first.insert(first.end(), second.begin(), second.end());
    return first;
}

// The lines the server received, the CRAM-MD5 response (different every time) replaced.
Lines Received(const StandInServer& server)
{
    Lines lines;
    for (const ReceivedLine& received : server.Received())
        lines.push_back(!lines.empty() && lines.back() == "AUTH CRAM-MD5" ? kCramMd5Response : received.line);
    return lines;
}

std::string Completed(const std::string& status) { return "Execution completed [" + status + "].\n"; }

class AdminCommands : public e2e::ProgramTest {
protected:
    // Runs ex2qln against `port` in a session of its own, so that it never has a terminal to ask a
    // password on; `--nowait`, the server and the administrator's password come first.
    ProcessResult RunProgram(std::uint32_t port, const std::vector<std::string>& arguments,
                             const std::string& locale = "C.UTF-8", const std::string& password = "secret")
    {
        std::vector<std::string> line = {"-w", e2e::kProgram, "--nowait", "--server=127.0.0.1::" + std::to_string(port)};
        if (!password.empty())
            line.push_back("--pwd=" + password);
        line.insert(line.end(), arguments.begin(), arguments.end());
        ProcessResult result = testsupport::RunProcess(IsolatedRun("/usr/bin/setsid", std::move(line), locale));
        EXPECT_FALSE(result.timedOut) << "ex2qln did not end";
        return result;
    }

    void WriteInput(const std::string& name, const std::string& contents)
    {
        testsupport::WriteFile(work_.File(name), contents);
    }
};

// Rows apart by every kind of line end and blank lines; a quoted value holds the separator, quotes,
// a backslash and a line break; the last row has no line end and fewer fields than the header.
const std::string kAccounts = "account,dn,mailbox,RealName,Comment\r\n"
                              "ann,/o=Org/cn=ann,ann@example.com,Ann Archer,,ignored\n\n"
                              "user1,/o=Org/cn=user1,first.last@example.com,\"Last, First\r\nSecond\","
                              "\"says \"\"hi\"\" \\ back\"\r"
                              "zoe,/o=Org/cn=zoe,zoe@example.com,Zoë Ünal\r\n\r\n"
                              "bob,/o=Org/cn=bob,robert!example.net";

const std::string kAnnSettings = "{RealName=\"Ann Archer\";Comment=\"\";}";
const std::string kUserSettings = "{RealName=\"Last, First\\013\\010Second\";Comment=\"says \\\"hi\\\" \\\\ back\";}";
const std::string kZoeSettings = "{RealName=\"Zoë Ünal\";Comment=\"\";}";
const std::string kBobSettings = "{RealName=\"\";Comment=\"\";}";

const std::string kAnnState = R"({"Comment": "", "RealName": "Ann Archer"})";
const std::string kUserState = R"({"Comment": "says \"hi\" \\ back", "RealName": "Last, First\r\nSecond"})";
const std::string kZoeState = R"({"Comment": "", "RealName": "Zoë Ünal"})";
const std::string kBobState = R"({"Comment": "", "RealName": ""})";

std::string AccountState(const std::string& name, const std::string& aliases, const std::string& settings)
{
    return "account " + name + " {\"aliases\": [" + aliases + "], \"settings\": " + settings + "}\n";
}

struct AccountsCase {
    const char* name;
    std::vector<std::string> options;
    std::string output;  // between the banner and the completion line
    Lines commands;      // after the login, before QUIT
    std::string state;
};

TEST_F(AdminCommands, AccountsWithAliasesReverseAliasesAndThePublicFoldersAccount)
{
    const std::vector<AccountsCase> cases = {
        {"settings only",
         {},
         "Connecting to Quillon.\nCreating ann@example.com\nCreating first.last@example.com\n"
         "Creating zoe@example.com\nCreating robert!example.net\n",
         {"CreateAccount ann@example.com " + kAnnSettings, "CreateAccount first.last@example.com " + kUserSettings,
          "CreateAccount zoe@example.com " + kZoeSettings, "CreateAccount robert!example.net " + kBobSettings},
         AccountState("ann@example.com", "", kAnnState) + AccountState("first.last@example.com", "", kUserState) +
             AccountState("robert!example.net", "", kBobState) + AccountState("zoe@example.com", "", kZoeState)},
        {"aliases where the alias is not the local part",
         {"--aliases"},
         "Connecting to Quillon.\nCreating ann@example.com\nCreating first.last@example.com\n"
         "Creating zoe@example.com\nCreating robert!example.net\n",
         {"CreateAccount ann@example.com " + kAnnSettings, "CreateAccount first.last@example.com " + kUserSettings,
          "SetAccountAliases first.last@example.com (user1)", "CreateAccount zoe@example.com " + kZoeSettings,
          "CreateAccount robert!example.net " + kBobSettings, "SetAccountAliases robert!example.net (bob)"},
         AccountState("ann@example.com", "", kAnnState) +
             AccountState("first.last@example.com", "\"user1\"", kUserState) +
             AccountState("robert!example.net", "\"bob\"", kBobState) + AccountState("zoe@example.com", "", kZoeState)},
        {"reverse aliases: the alias in the mailbox's domain is the account",
         {"--reverse-aliases"},
         "Connecting to Quillon.\nCreating ann\nCreating first.last\nCreating zoe\nCreating robert\n",
         {"CreateAccount ann@example.com " + kAnnSettings, "CreateAccount user1@example.com " + kUserSettings,
          "SetAccountAliases user1@example.com (first.last)", "CreateAccount zoe@example.com " + kZoeSettings,
          "CreateAccount bob!example.net " + kBobSettings, "SetAccountAliases bob!example.net (robert)"},
         AccountState("ann@example.com", "", kAnnState) + AccountState("bob!example.net", "\"robert\"", kBobState) +
             AccountState("user1@example.com", "\"first.last\"", kUserState) +
             AccountState("zoe@example.com", "", kZoeState)},
        {"the public-folders account comes first and gets no alias",
         {"--public=public", "--aliases"},
         "Connecting to Quillon.\nCreating public\nCreating ann@example.com\nCreating first.last@example.com\n"
         "Creating zoe@example.com\nCreating robert!example.net\n",
         {"CreateAccount public {}", "CreateAccount ann@example.com " + kAnnSettings,
          "CreateAccount first.last@example.com " + kUserSettings, "SetAccountAliases first.last@example.com (user1)",
          "CreateAccount zoe@example.com " + kZoeSettings, "CreateAccount robert!example.net " + kBobSettings,
          "SetAccountAliases robert!example.net (bob)"},
         AccountState("ann@example.com", "", kAnnState) +
             AccountState("first.last@example.com", "\"user1\"", kUserState) + AccountState("public", "", "{}") +
             AccountState("robert!example.net", "\"bob\"", kBobState) + AccountState("zoe@example.com", "", kZoeState)},
    };
    WriteInput("users.csv", kAccounts);
    for (const AccountsCase& example : cases) {
        SCOPED_TRACE(example.name);
        StandInServer server;
        ASSERT_TRUE(server.Started());
        std::vector<std::string> arguments = {"accounts", "--accounts=users.csv"};
        arguments.insert(arguments.end(), example.options.begin(), example.options.end());
        const ProcessResult result = RunProgram(server.CliPort(), arguments);
        EXPECT_EQ(result.standardOutput, e2e::Banner() + example.output + Completed("0"));
        EXPECT_EQ(result.standardError, "");
        EXPECT_EQ(result.exitCode, 0);
        EXPECT_EQ(Received(server), Concat(Concat(kLogin, example.commands), {"QUIT"}));
        EXPECT_EQ(server.StateListing(), example.state);
    }
}

struct FailureCase {
    const char* name;
    std::string input;                       // the accounts file, or the script for cli
    std::vector<std::string> serverOptions;  // faults
    std::vector<std::string> arguments;
    std::string output;  // between the banner and the completion line
    std::string status;
    std::string error;
    int exitCode;
    Lines received;
    std::string locale = "C.UTF-8";
    std::string password = "secret";
};

class AdminFailures : public AdminCommands {
protected:
    void Check(const std::vector<FailureCase>& cases, const std::string& inputName)
    {
        for (const FailureCase& example : cases) {
            SCOPED_TRACE(example.name);
            StandInServer server(example.serverOptions);
            ASSERT_TRUE(server.Started());
            WriteInput(inputName, example.input);
            const ProcessResult result =
                RunProgram(server.CliPort(), example.arguments, example.locale, example.password);
            EXPECT_EQ(result.standardOutput, e2e::Banner() + example.output + Completed(example.status));
            EXPECT_EQ(result.standardError, example.error);
            EXPECT_EQ(result.exitCode, example.exitCode);
            EXPECT_EQ(Received(server), example.received);
        }
    }
};

const std::string kTwoUsers = "account,dn,mailbox,RealName\r\n"
                              "ann,/o=Org/cn=ann,ann@example.com,Ann\r\n"
                              "user1,/o=Org/cn=user1,first.last@example.com,First\r\n"
                              "zoe,/o=Org/cn=zoe,zoe@example.com,Zoe\r\n";

TEST_F(AdminFailures, AccountsStopAtTheFirstFailure)
{
    const std::vector<std::string> accounts = {"accounts", "--accounts=users.csv", "--aliases"};
    const std::string createAnn = "CreateAccount ann@example.com {RealName=\"Ann\";}";
    const std::string createUser = "CreateAccount first.last@example.com {RealName=\"First\";}";
    const std::string firstTwo = "Connecting to Quillon.\nCreating ann@example.com\nCreating first.last@example.com\n";
    const std::vector<FailureCase> cases = {
        {"a refused CreateAccount", kTwoUsers, {"--refuse", "CreateAccount first.last@"}, accounts, firstTwo,
         "0x80040119", "Can not create: Command refused on request. [0x80040119]\n", 0x19,
         Concat(kLogin, {createAnn, createUser, "QUIT"})},
        {"a refused SetAccountAliases", kTwoUsers, {"--refuse", "SetAccountAliases"}, accounts, firstTwo,
         "0x80040119", "Can not create: Command refused on request. [0x80040119]\n", 0x19,
         Concat(kLogin, {createAnn, createUser, "SetAccountAliases first.last@example.com (user1)", "QUIT"})},
        {"an account that exists already", kTwoUsers + "ann,/o=Org/cn=ann2,ann@example.com,Ann\r\n", {},
         accounts,
         firstTwo + "Creating zoe@example.com\nCreating ann@example.com\n", "0x80040119",
         "Can not create: Account ann@example.com already exists. [0x80040119]\n", 0x19,
         Concat(kLogin, {createAnn, createUser, "SetAccountAliases first.last@example.com (user1)",
                         "CreateAccount zoe@example.com {RealName=\"Zoe\";}", createAnn, "QUIT"})},
        {"the connection dropped", kTwoUsers, {"--drop", "CreateAccount first.last@"}, accounts, firstTwo,
         "0x80040115", "Can not create: Error while receiving data through socket [0x80072749]. [0x80040115]\n",
         0x15, Concat(kLogin, {createAnn, createUser})},
        {"a wrong password and no terminal to ask on", kTwoUsers, {}, accounts, "Connecting to Quillon.\n",
         "0x8004011c", "Can not connect: Authentication failed. [0x8004011c]\n", 0x1c, kLogin, "C.UTF-8",
         "wrong"},
        {"no password and no terminal: no login is tried", kTwoUsers, {}, accounts, "Connecting to Quillon.\n",
         "0x8004011c", "Can not connect: Quillon stand-in CLI ready. [0x8004011c]\n", 0x1c, {}, "C.UTF-8", ""},
        {"a header in another letter case", "Account,dn,mailbox\r\nann,/o=Org/cn=ann,ann@example.com\r\n", {},
         accounts, "", "0x80004005", "Invalid input line 1 in the accounts file users.csv.\n", 5, {}},
        {"rows count without blank lines", "\r\naccount,dn,mailbox\r\n\r\nann,/o=Org/cn=ann,ann@example.com\n\n\n"
         "user1,,first.last@example.com\r\nzoe,/o=Org/cn=zoe,zoe@example.com\r\n",
         {}, accounts, "Connecting to Quillon.\nCreating ann@example.com\n", "0x80004005",
         "Invalid input line 3 in the accounts file users.csv.\n", 5,
         Concat(kLogin, {"CreateAccount ann@example.com {}", "QUIT"})},
        {"a header only never connects", "account,dn,mailbox,RealName\r\n", {}, accounts, "", "0", "", 0, {}},
        {"a header only with the public-folders account", "account,dn,mailbox,RealName\r\n", {},
         {"accounts", "--accounts=users.csv", "--public=public"}, "Connecting to Quillon.\nCreating public\n", "0",
         "", 0, Concat(kLogin, {"CreateAccount public {}", "QUIT"})},
        {"a value that the locale's code page does not hold",
         "account,dn,mailbox,RealName\r\nzoe,/o=Org/cn=zoe,zoe@example.com,Zoë\r\n", {}, accounts, "",
         "0x80004005", "Invalid input line 2 in the accounts file users.csv.\n", 5, {}, "C"},
        {"a missing accounts file", "", {}, {"accounts", "--accounts=absent.csv"}, "", "0x80070002",
         "Can not open absent.csv for reading [0x80070002].\n", 2, {}},
    };
    Check(cases, "users.csv");
}

TEST_F(AdminFailures, NoServerToConnectTo)
{
    WriteInput("users.csv", kTwoUsers);
    // Port 1 on the loopback address has no listener.
    const ProcessResult result = RunProgram(1, {"accounts", "--accounts=users.csv"});
    EXPECT_EQ(result.standardOutput, e2e::Banner() + "Connecting to Quillon.\n" + Completed("0x80040115"));
    EXPECT_EQ(result.standardError,
              "Can not connect: Unable to connect to host: 127.0.0.1:1 [0x8007006f]. [0x80040115]\n");
    EXPECT_EQ(result.exitCode, 0x15);
}

TEST_F(AdminCommands, PasswordsSetTheNtHashOfTheAccountsInTheDump)
{
    StandInServer server;
    ASSERT_TRUE(server.Started());
    WriteInput("users.csv", "account,dn,mailbox\r\n"
                            "ann,/o=Org/cn=ann,ann@example.com\r\n"
                            "user1,/o=Org/cn=user1,first.last@example.com\r\n"
                            "carl,/o=Org/cn=carl,carl@example.com\r\n"
                            "dora,/o=Org/cn=dora,dora@example.com\r\n");
    // carl is missing and dora's hash is empty: both are skipped without a word. "annex" is not ann.
    WriteInput("dump.txt", "Administrator:500:AAD3B435B51404EEAAD3B435B51404EE:31D6CFE0D16AE931B73C59D7E0C089C0:::\n"
                           "annex:1000:AAD3B435B51404EEAAD3B435B51404EE:00000000000000000000000000000000:::\r\n"
                           "ann:1001:AAD3B435B51404EEAAD3B435B51404EE:8846F7EAEE8FB117AD06BDD830B7586C:::\r\n"
                           "user1:1002:LM\\:with colon:AB\\\\CD\\\"EF\\:12:::\n"
                           "dora:1003:AAD3B435B51404EEAAD3B435B51404EE::::\n");
    // accounts runs before passwords, whatever the order on the command line.
    const ProcessResult result =
        RunProgram(server.CliPort(), {"passwords", "accounts", "--accounts=users.csv", "--passwds=dump.txt"});
    EXPECT_EQ(result.standardOutput,
              e2e::Banner() +
                  "Connecting to Quillon.\nCreating ann@example.com\nCreating first.last@example.com\n"
                  "Creating carl@example.com\nCreating dora@example.com\n"
                  "Connecting to Quillon.\nSetting password for ann@example.com\n"
                  "Setting password for first.last@example.com\n" +
                  Completed("0"));
    EXPECT_EQ(result.standardError, "");
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(Received(server),
              Concat(Concat(kLogin, {"CreateAccount ann@example.com {}", "CreateAccount first.last@example.com {}",
                                     "CreateAccount carl@example.com {}", "CreateAccount dora@example.com {}",
                                     "QUIT"}),
                     Concat(kLogin, {"UpdateAccount ann@example.com "
                                     "{Password=\"\\002{MSNT}8846F7EAEE8FB117AD06BDD830B7586C\";}",
                                     "UpdateAccount first.last@example.com "
                                     "{Password=\"\\002{MSNT}AB\\\\CD\\\"EF:12\";}",
                                     "QUIT"})));
    EXPECT_EQ(server.StateListing(),
              AccountState("ann@example.com", "", R"({"Password": "\u0002{MSNT}8846F7EAEE8FB117AD06BDD830B7586C"})") +
                  AccountState("carl@example.com", "", "{}") + AccountState("dora@example.com", "", "{}") +
                  AccountState("first.last@example.com", "", R"({"Password": "\u0002{MSNT}AB\\CD\"EF:12"})"));
}

TEST_F(AdminFailures, PasswordsStopAtTheFirstFailure)
{
    WriteInput("dump.txt", "ann:1001:LM:8846F7EAEE8FB117AD06BDD830B7586C:::\n"
                           "user1:1002:LM:31D6CFE0D16AE931B73C59D7E0C089C0:::\n");
    const std::vector<std::string> passwords = {"passwords", "--accounts=users.csv", "--passwds=dump.txt"};
    const std::string updateAnn =
        "UpdateAccount ann@example.com {Password=\"\\002{MSNT}8846F7EAEE8FB117AD06BDD830B7586C\";}";
    const std::vector<FailureCase> cases = {
        // The server knows no such account.
        {"a refused UpdateAccount", kTwoUsers, {}, passwords,
         "Connecting to Quillon.\nSetting password for ann@example.com\n", "0x80040119",
         "Can not set password: Unknown account ann@example.com. [0x80040119]\n", 0x19,
         Concat(kLogin, {updateAnn, "QUIT"})},
        {"an invalid row", "account,dn,mailbox\r\nann,,ann@example.com\r\n", {}, passwords, "", "0x80004005",
         "Invalid input line 2 in the accounts file users.csv.\n", 5, {}},
        {"a missing dump file", kTwoUsers, {}, {"passwords", "--accounts=users.csv", "--passwds=absent.txt"}, "",
         "0x80070002", "Can not open absent.txt for reading [0x80070002].\n", 2, {}},
    };
    Check(cases, "users.csv");
}

TEST_F(AdminCommands, CliSendsEveryLineAsItStandsWhateverItsLineEnd)
{
    StandInServer server;
    ASSERT_TRUE(server.Started());
    const std::string longLine = "CreateGroup long {RealName=\"" + std::string(60, 'x') + "\";}";
    WriteInput("script.txt", "CreateGroup sales {RealName=\"Sales\";}\r\n\r\n"
                             "CreateGroup support {Members=(ann@example.com);}\n\n"
                             "CreateGroup dev {}\r\r" +
                                 longLine + "\r\nCreateGroup last {}");
    const ProcessResult result = RunProgram(server.CliPort(), {"cli", "--script=script.txt"});
    EXPECT_EQ(result.standardOutput, e2e::Banner() +
                                         "Connecting to Quillon.\n"
                                         "Executing \"CreateGroup sales {RealName=\"Sales\";}...\"\n"
                                         "Executing \"CreateGroup support {Members=(ann@example.com);}...\"\n"
                                         "Executing \"CreateGroup dev {}...\"\n"
                                         "Executing \"" +
                                         longLine.substr(0, 60) +
                                         "...\"\n"
                                         "Executing \"CreateGroup last {}...\"\n" +
                                         Completed("0"));
    EXPECT_EQ(result.standardError, "");
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(Received(server),
              Concat(kLogin, {"CreateGroup sales {RealName=\"Sales\";}",
                              "CreateGroup support {Members=(ann@example.com);}", "CreateGroup dev {}", longLine,
                              "CreateGroup last {}", "QUIT"}));
    EXPECT_EQ(server.StateListing(), "group dev {\"settings\": {}}\n"
                                   "group last {\"settings\": {}}\n"
                                   "group long {\"settings\": {\"RealName\": \"" + std::string(60, 'x') + "\"}}\n"
                                   "group sales {\"settings\": {\"RealName\": \"Sales\"}}\n"
                                   "group support {\"settings\": {\"Members\": [\"ann@example.com\"]}}\n");
}

TEST_F(AdminFailures, CliStopsAtTheFirstFailedLine)
{
    const std::string script = "CreateGroup sales {}\r\nCreateGroup support {}\r\nCreateGroup dev {}\r\n";
    const std::vector<std::string> cli = {"cli", "--script=script.txt"};
    const std::string executing = "Connecting to Quillon.\nExecuting \"CreateGroup sales {}...\"\n"
                                  "Executing \"CreateGroup support {}...\"\n";
    const std::vector<FailureCase> cases = {
        {"a refused line", script, {"--refuse", "CreateGroup support"}, cli, executing, "0x80040119",
         "Can not execute: Command refused on request. [0x80040119]\n", 0x19,
         Concat(kLogin, {"CreateGroup sales {}", "CreateGroup support {}", "QUIT"})},
        // AUTH is the first command, its response belongs to it: the third is support's line.
        {"the connection dropped", script, {"--drop-after", "2"}, cli, executing, "0x80040115",
         "Can not execute: Error while receiving data through socket [0x80072749]. [0x80040115]\n", 0x15,
         Concat(kLogin, {"CreateGroup sales {}", "CreateGroup support {}"})},
        {"a leading blank reaches the server", "CreateGroup sales {}\n CreateGroup dev {}\nCreateGroup x {}\n", {},
         cli, "Connecting to Quillon.\nExecuting \"CreateGroup sales {}...\"\nExecuting \" CreateGroup dev {}...\"\n",
         "0x80040119", "Can not execute: Unknown command. [0x80040119]\n", 0x19,
         Concat(kLogin, {"CreateGroup sales {}", " CreateGroup dev {}", "QUIT"})},
        {"only line ends: nothing to send, no connection", "\r\n\n\r", {}, cli, "", "0", "", 0, {}},
        {"no script", "", {}, {"cli"}, "", "0x80070002", "Can not open (null) for reading [0x80070002].\n", 2, {}},
    };
    Check(cases, "script.txt");
}

TEST_F(AdminCommands, OverStlsEverythingAfterTheGreetingIsEncrypted)
{
    StandInServer server({}, true);
    ASSERT_TRUE(server.Started());
    WriteInput("users.csv", "account,dn,mailbox,RealName\r\nzoe,/o=Org/cn=zoe,zoe@example.com,Zoë\r\n");
    WriteInput("script.txt", "CreateGroup staff {Members=(zoe@example.com);}\r\n");
    const ProcessResult result = RunProgram(server.CliPort(), {"accounts", "cli", "--accounts=users.csv",
                                                               "--script=script.txt", "--ssl",
                                                               "--tls-ca=" + server.CertificatePath()});
    EXPECT_EQ(result.standardOutput, e2e::Banner() +
                                         "Connecting to Quillon.\nCreating zoe@example.com\n"
                                         "Connecting to Quillon.\n"
                                         "Executing \"CreateGroup staff {Members=(zoe@example.com);}...\"\n" +
                                         Completed("0"));
    EXPECT_EQ(result.standardError, "");
    EXPECT_EQ(result.exitCode, 0);
    const Lines session = Concat({"STLS"}, kLogin);
    EXPECT_EQ(Received(server),
              Concat(Concat(session, {"CreateAccount zoe@example.com {RealName=\"Zoë\";}", "QUIT"}),
                     Concat(session, {"CreateGroup staff {Members=(zoe@example.com);}", "QUIT"})));
    // Each session's STLS goes in clear, the rest under TLS.
    for (const ReceivedLine& line : server.Received())
        EXPECT_EQ(line.secure, line.line != "STLS") << line.line;
    EXPECT_EQ(server.StateListing(), AccountState("zoe@example.com", "", R"({"RealName": "Zoë"})") +
                                       "group staff {\"settings\": {\"Members\": [\"zoe@example.com\"]}}\n");

    // Without the certificate to trust the connection is refused before anything is sent under TLS.
    const ProcessResult untrusted = RunProgram(server.CliPort(), {"cli", "--script=script.txt", "--ssl"});
    EXPECT_EQ(untrusted.standardOutput, e2e::Banner() + "Connecting to Quillon.\n" + Completed("0x80040115"));
    EXPECT_EQ(untrusted.standardError,
              "Can not connect: Server certificate verification failed: self-signed certificate. Trust a "
              "certificate file with --tls-ca=<file>, or turn the check off with --tls-no-verify [0x80090325]. "
              "[0x80040115]\n");
    EXPECT_EQ(untrusted.exitCode, 0x15);
}

// The launcher's way to pass the password: a file only its owner can read, deleted once read.
TEST_F(AdminCommands, ThePasswordFromAFileThatIsDeletedOnceRead)
{
    struct Case {
        const char* name;
        std::string content;
        mode_t mode;  // 0: no file at all
        std::vector<std::string> arguments;
        std::string output;  // after the banner
        std::string error;
        int exitCode;
        Lines received;
        bool fileKept;
    };
    const std::string pwdFile = "--pwd-file=" + temp_.File("password");
    const std::vector<std::string> cli = {"cli", "--script=script.txt", pwdFile};
    const std::string executing = "Connecting to Quillon.\nExecuting \"CreateGroup staff {}...\"\n";
    const std::vector<Case> cases = {
        {"the right password", "secret\n", 0600, cli, executing + Completed("0"), "", 0,
         Concat(kLogin, {"CreateGroup staff {}", "QUIT"}), false},
        {"a wrong password", "wrong", 0600, cli, "Connecting to Quillon.\n" + Completed("0x8004011c"),
         "Can not connect: Authentication failed. [0x8004011c]\n", 0x1c, kLogin, false},
        {"a file that others can read is left alone", "secret", 0644, cli, "",
         "--pwd-file file is readable by other users.\n", 0, {}, true},
        {"no file", "", 0, cli, "", "--pwd-file file does not exist.\n", 0, {}, false},
        {"a run that ends in a validation message deletes it too", "secret", 0600, {"accounts", pwdFile}, "",
         "--accounts option missing.\n", 0, {}, false},
        {"a later --pwd wins, and the file is not touched", "wrong", 0600,
         {"cli", "--script=script.txt", pwdFile, "--pwd=secret"}, executing + Completed("0"), "", 0,
         Concat(kLogin, {"CreateGroup staff {}", "QUIT"}), true},
    };
    WriteInput("script.txt", "CreateGroup staff {}\r\n");
    for (const Case& example : cases) {
        SCOPED_TRACE(example.name);
        StandInServer server;
        ASSERT_TRUE(server.Started());
        const std::string path = temp_.File("password");
        std::filesystem::remove(path);
        if (example.mode) {
            testsupport::WriteFile(path, example.content);
            ::chmod(path.c_str(), example.mode);
        }
        const ProcessResult result = RunProgram(server.CliPort(), example.arguments, "C.UTF-8", "");
        EXPECT_EQ(result.standardOutput, e2e::Banner() + example.output);
        EXPECT_EQ(result.standardError, example.error);
        EXPECT_EQ(result.exitCode, example.exitCode);
        EXPECT_EQ(Received(server), example.received);
        EXPECT_EQ(std::filesystem::exists(path), example.fileKept);
    }
}

} // namespace
