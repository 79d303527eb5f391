// Runs a program the way a user would and captures what it says: both streams and its exit.
#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace testsupport {

struct ProcessRun {
    std::string program;                       // a path; FindProgram looks a name up
    std::vector<std::string> arguments;        // after the program name
    std::map<std::string, std::string> environment;  // added to (or replacing in) the test's own
    std::optional<std::string> workingDirectory;
    std::optional<std::string> standardInput;  // nullopt: /dev/null
    std::chrono::seconds timeout{60};          // the child is killed after it
    bool errorsWithOutput = false;             // standard error joins standard output as written
    // When set, standard input is held back until standard output contains `waitForOutput`; then
    // `whileWaiting` runs with the child's process id, and the input is written.
    std::string waitForOutput;
    std::function<void(int pid)> whileWaiting;
};

struct ProcessResult {
    std::string standardOutput;
    std::string standardError;
    int exitCode = -1;     // when it exited
    int signal = 0;        // when a signal ended it
    bool timedOut = false;
    // The largest resident set of the child and of the children it waited for (ru_maxrss of wait4).
    long maxResidentKilobytes = 0;
};

ProcessResult RunProcess(const ProcessRun& run);

// The path of the program `name` in the directories of PATH (/usr/bin:/bin when unset); "" when
// none holds it.
std::string FindProgram(const std::string& name);

} // namespace testsupport
