// The run's log as the built ex2qln writes it: the MAPI path trace and the header lines.
#include "tests/e2e/ProgramTest.h"

#include <sys/stat.h>

using e2e::kProgram;
using testsupport::ProcessResult;
using testsupport::ProcessRun;

namespace {

const std::string kRuntime = EX2QLN_LIB_DIR "/libqlnmapi.so";

class DriverLog : public e2e::ProgramTest {};

TEST_F(DriverLog, TheOutlookMapiPathIsTracedAndUsed)
{
    testsupport::WriteFile(MachineRegistry(), "[SOFTWARE\\Clients\\Mail\\Microsoft Outlook]\n"
                                              "\"DLLPath\"=\"" + kRuntime + "\"\n");
    ProcessResult result = testsupport::RunProcess(IsolatedRun(kProgram, {"--nowait"}));
    EXPECT_EQ(result.exitCode, 0) << result.standardError;

    std::string log = testsupport::ReadFile(temp_.File("ex2qln.log"));
    // Three header lines, then the trace, each "date time [PID/tid]  text" ending in CR LF.
    EXPECT_NE(log.find("]  OS: Linux "), std::string::npos) << log;
    EXPECT_NE(log.find("]  App: " + kProgram + ", version "), std::string::npos) << log;
    EXPECT_NE(log.find("]  MAPI path: " + kRuntime + "\r\n"), std::string::npos) << log;
}

TEST_F(DriverLog, AFailingStepIsReportedWithItsSourceLine)
{
    testsupport::WriteFile(MachineRegistry(), "[SOFTWARE\\Clients\\Mail\\Microsoft Outlook]\n"
                                              "\"DLLPath\"=\"" + temp_.File("missing.so") + "\"\n"
                                              "[Software\\Clients\\Mail]\n@=\"Nobody\"\n");
    // A program whose installation has no runtime beside it: every MAPI call fails.
    std::string copy = temp_.File("ex2qln");
    testsupport::WriteFile(copy, testsupport::ReadFile(kProgram));
    ASSERT_EQ(chmod(copy.c_str(), 0700), 0);
    ProcessResult result = testsupport::RunProcess(IsolatedRun(copy, {"--nowait"}));
    EXPECT_EQ(result.standardError, "Can not initialize MAPI [0x80004005].\n");
    std::string log = testsupport::ReadFile(temp_.File("ex2qln.log"));
    EXPECT_NE(log.find("]  Driver.cpp("), std::string::npos) << log;
    EXPECT_NE(log.find(") : assertion failed 0x80004005: \r\n"), std::string::npos) << log;
}

// Other users can read a process's arguments, so the password must be gone from them while the
// program runs.
class DriverArguments : public e2e::ProgramTest {};

TEST_F(DriverArguments, ThePasswordIsWipedFromTheArguments)
{
    std::string arguments;
    ProcessRun run = IsolatedRun(kProgram, {"--wait", "--pwd=Secret123", "--account=admin"});
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
