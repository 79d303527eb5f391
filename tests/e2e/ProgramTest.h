// What every test of the built ex2qln shares: where the program is, the banner it starts with, and
// runs kept off the machine's own state.
#pragma once

#include "Version.h"
#include "tests/support/ProcessRunner.h"
#include "tests/support/TemporaryDirectory.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace e2e {

inline const std::string kProgram = EX2QLN_BIN_DIR "/ex2qln";

inline std::string Banner()
{
    return "Quillon Migration Utility Version " + std::to_string(ex2qln::version::kMajor) + "." +
           std::to_string(ex2qln::version::kMinor) + "." + std::to_string(ex2qln::version::kPatch) + "." +
           std::to_string(ex2qln::version::kBuild) +
           "\nCopies an Exchange organisation's directory and mailboxes into a Quillon server.\n\n";
}

// Each test gets a working directory (work_) and a directory (temp_) for the temporary files (the
// log among them), both registries and the configuration of its runs, so that nothing of the
// machine's leaks in and what the program leaves is where the test can see it.
class ProgramTest : public ::testing::Test {
protected:
    testsupport::ProcessRun IsolatedRun(std::string program, std::vector<std::string> arguments,
                                        const std::string& locale = "C.UTF-8") const
    {
        testsupport::ProcessRun run;
        run.program = std::move(program);
        run.arguments = std::move(arguments);
        run.workingDirectory = work_.Path();
        run.environment = {{"TMPDIR", temp_.Path()},
                           {"EX2QLN_USER_REGISTRY", UserRegistry()},
                           {"EX2QLN_MACHINE_REGISTRY", MachineRegistry()},
                           {"XDG_CONFIG_HOME", temp_.File("config")},
                           {"LC_ALL", locale}};
        return run;
    }

    std::string UserRegistry() const { return temp_.File("user-registry.ini"); }
    std::string MachineRegistry() const { return temp_.File("machine-registry.ini"); }

    testsupport::TemporaryDirectory temp_;
    testsupport::TemporaryDirectory work_;
};

} // namespace e2e
