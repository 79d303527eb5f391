// The built ex2qln run as a user runs it: exact streams and exit status of each case.
#include "tests/e2e/ProgramTest.h"
#include "tests/support/ProcessRunner.h"
#include "tests/support/TemporaryDirectory.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string_view>

using testsupport::ProcessResult;
using testsupport::ProcessRun;

namespace {

using e2e::Banner;
using e2e::kProgram;

std::string Usage(const std::string& program)
{
    return "Usage: " + program +
           " command(s) options\n"
           "\tmailboxes [--profile=mapi-profile] [--accounts=csv-file] [--ini=ini-file]\n"
           "\tldif [--profile=mapi-profile] [--ldif=ldif-file] [--target-dn=distinguished-name] [--ini=ini-file]\n"
           "\tdistlists [--profile=mapi-profile] [--script=cli-script]\n"
           "\taccounts --accounts=accounts-file [--aliases] [--reverse-aliases] --server=pwd-server [--ssl] "
           "[--account=postmaster] [--pwd=postmaster-passwd]\n"
           "\tpasswords --accounts=accounts-file --passwds=pwdump-file --server=pwd-server [--ssl] "
           "[--account=postmaster] [--pwd=postmaster-passwd]\n"
           "\tcli [--script=cli-script] --server=pwd-server [--ssl] [--account=postmaster] "
           "[--pwd=postmaster-passwd]\n"
           "\ttransfer [--profile=mapi-profile] --accounts=accounts-file [--public=public-folders-account] "
           "[--fix-folders] [--ignore-errors] [--ascii] --server=imap-server [--ssl] [--account=postmaster] "
           "[--pwd=postmaster-passwd]\n"
           "\tTLS certificate checks: [--tls-ca=certificate-file] [--tls-no-verify]\n"
           "\tPassword from a file, deleted once read: [--pwd-file=password-file]\n"
           "\ttransfer, resumable and split: [--journal=journal-file | --no-journal] [--shard=K/N] [--jobs=N]\n";
}

const std::string kPrompt = "Press Enter to continue";

class Driver : public e2e::ProgramTest {
protected:
    ProcessResult RunProgram(std::vector<std::string> arguments, std::optional<std::string> input = std::nullopt,
                             const std::string& program = kProgram)
    {
        ProcessRun run = IsolatedRun(program, std::move(arguments));
        run.standardInput = std::move(input);
        return testsupport::RunProcess(run);
    }
};

struct Case {
    const char* name;
    std::vector<std::string> arguments;
    std::string expectedOut;  // after the banner
    std::string expectedErr;
    int exitCode;
};

TEST_F(Driver, ValidationAndUsage)
{
    const std::string usage = Usage(kProgram);
    const Case cases[] = {
        {"no arguments", {}, kPrompt, usage, 0},
        {"unknown argument before --nowait waits", {"bogus", "--nowait"}, kPrompt,
         "Invalid option or command specified: bogus\n" + usage, 0},
        {"unknown argument after --nowait does not wait", {"--nowait", "--Bogus=1"}, "",
         "Invalid option or command specified: --Bogus=1\n" + usage, 0},
        {"--skip-imap3 is no option", {"--nowait", "--skip-imap3"}, "",
         "Invalid option or command specified: --skip-imap3\n" + usage, 0},
        {"missing ini file", {"--nowait", "mailboxes", "--ini=absent.ini"}, "", "--ini file does not exist.\n", 0},
        {"empty ini value", {"--nowait", "--ini="}, "", "--ini file does not exist.\n", 0},
        {"accounts without --accounts", {"--nowait", "ACCOUNTS"}, "", "--accounts option missing.\n", 0},
        {"transfer without --accounts", {"transfer", "--nowait"}, "", "--accounts option missing.\n", 0},
        {"passwords without --passwds", {"passwords", "--accounts=a.csv", "--nowait"}, "",
         "--passwds option missing.\n", 0},
        {"a shard beyond its count", {"--nowait", "--shard=4/3"}, "",
         "--shard wants K/N with 1 <= K <= N, not \"4/3\".\n", 0},
        {"a shard counted from 0", {"--nowait", "--shard=0/3"}, "",
         "--shard wants K/N with 1 <= K <= N, not \"0/3\".\n", 0},
        {"a shard without its count", {"--nowait", "--shard=2"}, "",
         "--shard wants K/N with 1 <= K <= N, not \"2\".\n", 0},
        {"a signed shard", {"--nowait", "--shard=+1/2"}, "",
         "--shard wants K/N with 1 <= K <= N, not \"+1/2\".\n", 0},
        {"no jobs", {"--nowait", "--jobs=0"}, "", "--jobs wants a number from 1 to 64, not \"0\".\n", 0},
        {"more jobs than allowed", {"--nowait", "--jobs=65"}, "", "--jobs wants a number from 1 to 64, not \"65\".\n", 0},
        {"jobs not a number", {"--nowait", "--jobs=two"}, "", "--jobs wants a number from 1 to 64, not \"two\".\n", 0},
        {"a journal and none", {"--nowait", "--journal=j", "--no-journal"}, "",
         "--journal and --no-journal exclude each other.\n", 0},
        {"the first failing check wins", {"passwords", "--ini=absent.ini", "--nowait"}, "",
         "--ini file does not exist.\n", 0},
    };
    for (const Case& c : cases) {
        ProcessResult result = RunProgram(c.arguments, "\n");
        EXPECT_EQ(result.standardOutput, Banner() + c.expectedOut) << c.name;
        EXPECT_EQ(result.standardError, c.expectedErr) << c.name;
        EXPECT_EQ(result.exitCode, c.exitCode) << c.name;
    }
}

TEST_F(Driver, VersionAloneAnswersWithTheVersion)
{
    ProcessResult result = RunProgram({"--version"});
    EXPECT_EQ(result.standardOutput, "ex2qln " + std::string(ex2qln::version::kText) + "\n");
    EXPECT_EQ(result.standardError, "");
    EXPECT_EQ(result.exitCode, 0);
    // A question, not a run: no log.
    EXPECT_FALSE(std::filesystem::exists(temp_.File("ex2qln.log")));

    // Beside anything else it is no option of a run.
    ProcessResult among = RunProgram({"--nowait", "--version"});
    EXPECT_EQ(among.standardOutput, Banner());
    EXPECT_EQ(among.standardError, "Invalid option or command specified: --version\n" + Usage(kProgram));
}

TEST_F(Driver, ProfileOnly)
{
    ProcessResult result = RunProgram({"profileonly"});
    EXPECT_EQ(result.standardOutput, Banner() + "Error, inf file is absent.\nCompleted with code 0x80004005. \n");
    EXPECT_EQ(result.standardError, "");
    EXPECT_EQ(result.exitCode, 5);

    // The settings file is the second argument wherever profileonly stands: here "profileonly"
    // itself, which names no file.
    ProcessResult waiting = RunProgram({"--wait", "profileonly"}, "\n");
    EXPECT_EQ(waiting.standardOutput, Banner() + "Completed with code 0x8004010f. \n" + kPrompt);

    testsupport::WriteFile(work_.File("unknown.inf"), "[QLNGT_Section]\n12340003=1\n");
    ProcessResult nothingKnown = RunProgram({"profileonly", "unknown.inf", "--anything"});
    EXPECT_EQ(nothingKnown.standardOutput, Banner() + "Completed with code 0x8004010f. \n");
    EXPECT_EQ(nothingKnown.exitCode, 15);
}

TEST_F(Driver, NoCommandCompletesWithStatusZero)
{
    ProcessResult result = RunProgram({"--nowait"});
    EXPECT_EQ(result.standardOutput, Banner() + "Execution completed [0].\n");
    EXPECT_EQ(result.standardError, "");
    EXPECT_EQ(result.exitCode, 0);

    ProcessResult waiting = RunProgram({"--WAIT", "--nowait", "--base-dn=anything"}, "\n");
    EXPECT_EQ(waiting.standardOutput, Banner() + "Execution completed [0].\n" + kPrompt);
}

TEST_F(Driver, ServerCommandsNeedAServer)
{
    for (std::vector<std::string> arguments : {std::vector<std::string>{"cli", "--nowait"},
                                               std::vector<std::string>{"cli", "--nowait", "--server="}}) {
        ProcessResult result = RunProgram(arguments, "\n");
        EXPECT_EQ(result.standardOutput, Banner());
        EXPECT_EQ(result.standardError, "--server option missing.\n");
        EXPECT_EQ(result.exitCode, 0);
    }
}

TEST_F(Driver, CommandsRunInFixedOrderAndStopAtTheFirstFailure)
{
    // cli, named first, would connect (and fail to) if it ran: accounts runs before it and stops the run.
    testsupport::WriteFile(work_.File("script.txt"), "CreateGroup staff {}\r\n");
    ProcessResult result = RunProgram(
        {"cli", "--nowait", "accounts", "--accounts=a.csv", "--script=script.txt", "--server=127.0.0.1::1"});
    EXPECT_EQ(result.standardOutput, Banner() + "Execution completed [0x80070002].\n");
    EXPECT_EQ(result.standardError, "Can not open a.csv for reading [0x80070002].\n");
    EXPECT_EQ(result.exitCode, 2);

    ProcessResult waiting = RunProgram({"cli", "--server=h", "--wait"}, "\n");
    EXPECT_EQ(waiting.standardOutput, Banner() + "Execution completed [0x80070002].\n" + kPrompt);
    EXPECT_EQ(waiting.standardError, "Can not open (null) for reading [0x80070002].\n");
}

TEST_F(Driver, WithoutTheMapiLibraryStartUpFails)
{
    // A copy of the program with no MAPI runtime beside it and none registered.
    testsupport::TemporaryDirectory install;
    std::filesystem::create_directories(install.Path() + "/bin");
    std::filesystem::copy_file(kProgram, install.Path() + "/bin/ex2qln");
    std::filesystem::permissions(install.Path() + "/bin/ex2qln", std::filesystem::perms::owner_all);
    for (const char* command : {"--nowait", "mailboxes"}) {
        ProcessResult result = RunProgram({command, "--nowait"}, std::nullopt, install.Path() + "/bin/ex2qln");
        EXPECT_EQ(result.standardOutput, Banner()) << command;
        EXPECT_EQ(result.standardError, "Can not initialize MAPI [0x80004005].\n") << command;
        EXPECT_EQ(result.exitCode, 5) << command;
    }
    // The failure is reported in the log, which goes to the temporary directory by default.
    EXPECT_NE(testsupport::ReadFile(temp_.File("ex2qln.log")).find("assertion failed 0x80004005"), std::string::npos);

    // With --local-log the log goes beside the accounts file, relative to the start directory.
    std::filesystem::create_directories(work_.File("lists"));
    ProcessResult local = RunProgram({"--nowait", "--local-log", "--accounts=lists/users.csv"}, std::nullopt,
                                     install.Path() + "/bin/ex2qln");
    EXPECT_EQ(local.exitCode, 5);
    std::string log = testsupport::ReadFile(work_.File("lists/users.log"));
    EXPECT_NE(log.find("OS: Linux "), std::string::npos) << log;
    EXPECT_NE(log.find("assertion failed 0x80004005"), std::string::npos) << log;
}

// The value "DefaultProfile" of a key in a registry file, or "" when the key or value is absent.
std::string DefaultProfileIn(const std::string& registryText, const std::string& key)
{
    std::size_t section = registryText.find("[" + key + "]\n");
    if (section == std::string::npos)
        return "";
    std::size_t end = registryText.find("\n[", section + 1);
    std::string_view body(registryText.data() + section, (end == std::string::npos ? registryText.size() : end) - section);
    const std::string_view name = "\n\"DefaultProfile\"=\"";
    std::size_t value = body.find(name);
    if (value == std::string_view::npos)
        return "";
    value += name.size();
    return std::string(body.substr(value, body.find('"', value) - value));
}

// On a machine without profiles the runtime serves the demo organisation installed beside it:
// the session and the Global Address List open, and the command runs.
TEST_F(Driver, MailboxesWithoutOptionsLogsOnToTheDemoOrganisation)
{
    ProcessResult result = RunProgram({"mailboxes", "--nowait"});
    const std::string opened = Banner() + "Initializing MAPI session.\nOpening Exchange GAL.\n";
    EXPECT_EQ(result.standardOutput.substr(0, opened.size()), opened) << result.standardOutput;
    EXPECT_EQ(result.standardError.find("Logon failed"), std::string::npos) << result.standardError;
    EXPECT_EQ(result.standardError.find("Can not open GAL"), std::string::npos) << result.standardError;
    EXPECT_NE(result.standardOutput.find("Execution completed ["), std::string::npos) << result.standardOutput;

    // The directory of an organisation file, named where a profile goes, serves the same way.
    ProcessResult byPath =
        RunProgram({"mailboxes", "--nowait", "--profile=" + std::string(EX2QLN_BIN_DIR) + "/../share/ex2qln/demo-org"});
    EXPECT_EQ(byPath.standardOutput.substr(0, opened.size()), opened) << byPath.standardOutput;
    EXPECT_EQ(byPath.standardError.find("Logon failed"), std::string::npos) << byPath.standardError;
}

// The management interface opens; then the command itself finds no accounts file.
TEST_F(Driver, TransferOpensTheMailboxManagementInterface)
{
    ProcessResult result = RunProgram({"transfer", "--accounts=a.csv", "--server=host", "--nowait"});
    EXPECT_EQ(result.standardOutput, Banner() + "Initializing MAPI session.\nOpening Exchange GAL.\n"
                                                "Execution completed [0x80070002].\n");
    EXPECT_EQ(result.standardError, "Can not open a.csv for reading [0x80070002].\n");
    EXPECT_EQ(result.exitCode, 2);
}

TEST_F(Driver, AnUnknownProfileFailsTheLogon)
{
    ProcessResult result = RunProgram({"mailboxes", "--nowait", "--profile=nosuch"});
    EXPECT_EQ(result.standardOutput, Banner() + "Initializing MAPI session.\n");
    EXPECT_EQ(result.standardError, "There is no MAPI profile \"nosuch\" and no organisation file of that name.\n"
                                    "Logon failed [0x80040111].\n");
    EXPECT_EQ(result.exitCode, 0x11);
}

// profileonly creates the connector's profile, which qlnprofile lists; with a fourth argument it
// becomes the default for Outlook and for MAPI, and a logon to it is refused: it names no
// organisation source.
TEST_F(Driver, ProfileOnlyCreatesAProfileThatBecomesTheDefault)
{
    testsupport::WriteFile(work_.File("connector.inf"), "[QLNGT_Section]\n6608001e=mail.example\n66a40003=8f000000\n");
    testsupport::WriteFile(UserRegistry(), "[Software\\Microsoft\\Office\\16.0\\Outlook]\n\"Other\"=\"x\"\n");
    testsupport::WriteFile(MachineRegistry(),
                           "[Software\\Classes\\Outlook.Application\\CurVer]\n@=\"Outlook.Application.16\"\n");
    const std::string qlnprofile = std::string(EX2QLN_BIN_DIR) + "/qlnprofile";

    ProcessResult created = RunProgram({"profileonly", "connector.inf"});
    EXPECT_EQ(created.standardOutput, Banner() + "Completed with code 0. \n");
    EXPECT_EQ(created.exitCode, 0);
    ProcessResult listed = RunProgram({"list"}, std::nullopt, qlnprofile);
    EXPECT_NE(listed.standardOutput.find("_QLNGT: no organisation source (services: QLNGTCON)\n"), std::string::npos)
        << listed.standardOutput;
    std::string registry = testsupport::ReadFile(UserRegistry());
    const std::string profilesKey = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows Messaging Subsystem\\Profiles";
    EXPECT_EQ(DefaultProfileIn(registry, profilesKey), "");

    // The same name again fails (the profile exists); a new name with the fourth argument.
    ProcessResult again = RunProgram({"profileonly", "connector.inf", "default"});
    EXPECT_EQ(again.standardOutput, Banner() + "Completed with code 0x80070005. \n");
    testsupport::WriteFile(UserRegistry(), "[Software\\Microsoft\\Office\\16.0\\Outlook]\n\"Other\"=\"x\"\n");
    ProcessResult madeDefault = RunProgram({"profileonly", "connector.inf", "default"});
    EXPECT_EQ(madeDefault.standardOutput, Banner() + "Completed with code 0. \n");
    registry = testsupport::ReadFile(UserRegistry());
    std::string name = DefaultProfileIn(registry, profilesKey);
    EXPECT_NE(name.find("_QLNGT"), std::string::npos) << registry;
    EXPECT_EQ(DefaultProfileIn(registry, "Software\\Microsoft\\Office\\16.0\\Outlook"), name) << registry;
    listed = RunProgram({"list"}, std::nullopt, qlnprofile);
    EXPECT_NE(listed.standardOutput.find(name + " (default): no organisation source"), std::string::npos)
        << listed.standardOutput;

    ProcessResult refused = RunProgram({"mailboxes", "--nowait"});
    EXPECT_EQ(refused.standardOutput, Banner() + "Initializing MAPI session.\n");
    EXPECT_EQ(refused.standardError.find("The MAPI profile \"" + name + "\" names no organisation source"), 0u)
        << refused.standardError;
    EXPECT_NE(refused.standardError.find("Logon failed [0x8004011c].\n"), std::string::npos) << refused.standardError;
}

} // namespace
