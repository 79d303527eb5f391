// The built ex2qln run as a user runs it: exact streams and exit status of each case.
#include "tests/e2e/ProgramOutput.h"
#include "tests/support/ProcessRunner.h"

#include <gtest/gtest.h>

#include <filesystem>

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
           "\tTLS certificate checks: [--tls-ca=certificate-file] [--tls-no-verify]\n";
}

const std::string kPrompt = "Press Enter to continue";

class Driver : public ::testing::Test {
protected:
    // Each run gets its own temporary directory, registry files and working directory, so that
    // nothing of the machine's leaks in and the log lands where the test can see it.
    ProcessResult RunProgram(std::vector<std::string> arguments, std::optional<std::string> input = std::nullopt,
                             const std::string& program = kProgram)
    {
        ProcessRun run;
        run.program = program;
        run.arguments = std::move(arguments);
        run.standardInput = std::move(input);
        run.workingDirectory = work_.Path();
        run.environment = {{"TMPDIR", temp_.Path()},
                           {"EX2QLN_USER_REGISTRY", temp_.File("user-registry.ini")},
                           {"EX2QLN_MACHINE_REGISTRY", temp_.File("machine-registry.ini")},
                           {"XDG_CONFIG_HOME", temp_.File("config")},
                           {"LC_ALL", "C.UTF-8"}};
        return testsupport::RunProcess(run);
    }

    testsupport::TemporaryDirectory temp_;
    testsupport::TemporaryDirectory work_;
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
    ProcessResult result = RunProgram({"--nowait"}, std::nullopt, install.Path() + "/bin/ex2qln");
    EXPECT_EQ(result.standardOutput, Banner());
    EXPECT_EQ(result.standardError, "Can not initialize MAPI [0x80004005].\n");
    EXPECT_EQ(result.exitCode, 5);
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

} // namespace
