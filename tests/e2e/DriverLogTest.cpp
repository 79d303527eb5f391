// The run's log as the built ex2qln writes it: the MAPI path trace and the header lines.
#include "tests/support/ProcessRunner.h"
#include "tests/support/TemporaryDirectory.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

using testsupport::ProcessResult;
using testsupport::ProcessRun;

namespace {

const std::string kProgram = EX2QLN_BIN_DIR "/ex2qln";
const std::string kRuntime = EX2QLN_LIB_DIR "/libqlnmapi.so";

TEST(DriverLog, TheOutlookMapiPathIsTracedAndUsed)
{
    testsupport::TemporaryDirectory temp;
    testsupport::WriteFile(temp.File("machine.ini"), "[SOFTWARE\\Clients\\Mail\\Microsoft Outlook]\n"
                                                     "\"DLLPath\"=\"" + kRuntime + "\"\n");
    ProcessRun run;
    run.program = kProgram;
    run.arguments = {"--nowait"};
    run.workingDirectory = temp.Path();
    run.environment = {{"TMPDIR", temp.Path()},
                       {"EX2QLN_MACHINE_REGISTRY", temp.File("machine.ini")},
                       {"EX2QLN_USER_REGISTRY", temp.File("user.ini")},
                       {"XDG_CONFIG_HOME", temp.File("config")}};
    ProcessResult result = testsupport::RunProcess(run);
    EXPECT_EQ(result.exitCode, 0) << result.standardError;

    std::string log = testsupport::ReadFile(temp.File("ex2qln.log"));
    // Three header lines, then the trace, each "date time [PID/tid]  text" ending in CR LF.
    EXPECT_NE(log.find("]  OS: Linux "), std::string::npos) << log;
    EXPECT_NE(log.find("]  App: " + kProgram + ", version "), std::string::npos) << log;
    EXPECT_NE(log.find("]  MAPI path: " + kRuntime + "\r\n"), std::string::npos) << log;
}

TEST(DriverLog, AFailingStepIsReportedWithItsSourceLine)
{
    testsupport::TemporaryDirectory temp;
    testsupport::WriteFile(temp.File("machine.ini"), "[SOFTWARE\\Clients\\Mail\\Microsoft Outlook]\n"
                                                     "\"DLLPath\"=\"" + temp.File("missing.so") + "\"\n"
                                                     "[Software\\Clients\\Mail]\n@=\"Nobody\"\n");
    // A program whose installation has no runtime beside it: every MAPI call fails.
    std::string copy = temp.File("ex2qln");
    testsupport::WriteFile(copy, testsupport::ReadFile(kProgram));
    ASSERT_EQ(chmod(copy.c_str(), 0700), 0);
    ProcessRun run;
    run.program = copy;
    run.arguments = {"--nowait"};
    run.workingDirectory = temp.Path();
    run.environment = {{"TMPDIR", temp.Path()}, {"EX2QLN_MACHINE_REGISTRY", temp.File("machine.ini")},
                       {"EX2QLN_USER_REGISTRY", temp.File("user.ini")}};
    ProcessResult result = testsupport::RunProcess(run);
    EXPECT_EQ(result.standardError, "Can not initialize MAPI [0x80004005].\n");
    std::string log = testsupport::ReadFile(temp.File("ex2qln.log"));
    EXPECT_NE(log.find("]  Driver.cpp("), std::string::npos) << log;
    EXPECT_NE(log.find(") : assertion failed 0x80004005: \r\n"), std::string::npos) << log;
}

// Other users can read a process's arguments, so the password must be gone from them while the
// program runs.
TEST(DriverArguments, ThePasswordIsWipedFromTheArguments)
{
    testsupport::TemporaryDirectory temp;
    std::string arguments;
    ProcessRun run;
    run.program = kProgram;
    run.arguments = {"--wait", "--pwd=Secret123", "--account=admin"};
    run.workingDirectory = temp.Path();
    run.environment = {{"TMPDIR", temp.Path()}, {"EX2QLN_USER_REGISTRY", temp.File("user.ini")},
                       {"EX2QLN_MACHINE_REGISTRY", temp.File("machine.ini")}};
    run.standardInput = "\n";
    run.waitForOutput = "Press Enter to continue";
    run.whileWaiting = [&](int pid) {
        arguments = testsupport::ReadFile("/proc/" + std::to_string(pid) + "/cmdline");
    };
    ProcessResult result = testsupport::RunProcess(run);
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(arguments.find("Secret123"), std::string::npos);
    EXPECT_NE(arguments.find(std::string("--pwd=xxxxxxxxx\0--account=admin", 31)), std::string::npos);
}

} // namespace
