// Starting ex2qln from the launcher: found beside the launcher, run in a terminal window when the
// desktop has one, else as a process of its own writing into a log; never waited for.
#pragma once

#include "ex2qlnui/CommandLineBuilder.h"
#include "platform/base/HResult.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ex2qlnui {

// Where "Process" starts things, settled when the dialog opens.
struct LaunchSetup {
    std::string launcherPath;             // the launcher's own program file
    std::optional<std::string> terminal;  // the terminal program ex2qln runs in, when there is one
    std::string outputLog;                // where ex2qln's output goes when there is no terminal
};

// The setup of this machine: x-terminal-emulator from $PATH, and the output log below the user's
// state directory (DefaultOutputLogPath).
LaunchSetup DefaultLaunchSetup(std::string launcherPath);

// ex2qln beside the launcher: the launcher's path without the "ui" that its file name ends in
// (compared without regard to case); nullopt when the file name is no longer than that or ends
// otherwise.
std::optional<std::string> UtilityPathBeside(std::string_view launcherPath);

// The first regular, executable file `name` in the directories of $PATH.
std::optional<std::string> FindProgramOnPath(std::string_view name);

// "ex2qln-output.log" in the user's state directory (~/.local/state/ex2qln/), else in the
// temporary directory.
std::string DefaultOutputLogPath();

struct LaunchResult {
    HRESULT status = S_OK;
    std::string reason;  // for the user, when the start failed
};

// Starts ex2qln with the words (UtilityArguments: the password through a private file, "--wait"
// last): in a window of `setup.terminal` ("terminal -e ex2qln arguments..."), else detached with
// its standard input from /dev/null and its output appended to `setup.outputLog` after a line that
// names the run. Either way in a session of its own, and without waiting for it.
LaunchResult StartUtility(const LaunchSetup& setup, const std::vector<CommandWord>& words);

} // namespace ex2qlnui
