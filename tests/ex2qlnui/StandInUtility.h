// A stand-in ex2qln and a stand-in terminal program for the launcher's tests: shell scripts that
// record what they were started with, and what the password file held, in a record directory.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace ex2qlnui::testing {

struct UtilityRecord {
    std::vector<std::string> arguments;      // after the program name
    std::optional<std::string> password;     // the content of the --pwd-file file, when one was named
    std::string passwordFileMode;            // its permission bits in octal ("600")
    std::string passwordFileDirectory;       // where it was
};

class StandInUtility {
public:
    // Makes `directory`/ex2qln (the stand-in) and `directory`/record/. The stand-in reads and deletes
    // the password file as ex2qln does and prints one line, "stand-in ex2qln ran".
    explicit StandInUtility(std::string directory);

    // Makes `directory`/x-terminal-emulator: records its own arguments, then runs what follows -e.
    std::string AddTerminal() const;

    // The launcher's path that names the stand-in: `directory`/ex2qlnui.
    std::string LauncherPath() const { return directory_ + "/ex2qlnui"; }
    std::string UtilityPath() const { return directory_ + "/ex2qln"; }

    // Waits (up to ten seconds) for the stand-in to have finished its record.
    std::optional<UtilityRecord> WaitForRecord() const;
    // The terminal's arguments, after it has run the stand-in.
    std::vector<std::string> TerminalArguments() const;
    // Whether the stand-in ran at all (to check that nothing was started).
    bool Ran() const;

private:
    std::string directory_;
};

} // namespace ex2qlnui::testing
