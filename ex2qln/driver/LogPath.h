// Where the run's log goes: the temporary directory, or beside the accounts file with --local-log.
#pragma once

#include <optional>
#include <string>

namespace ex2qln::driver {

struct LogLocation {
    std::string name;  // a file name for the temporary directory, or a whole path when local
    bool local = false;
};

// The accounts path without its extension: the extension starts at the last "." when that dot is
// not the first character and lies after the last "/".
std::string LogBaseName(const std::string& accountsPath);

LogLocation ChooseLogLocation(bool localLog, const std::optional<std::string>& accountsPath,
                              const std::string& startDirectory);

} // namespace ex2qln::driver
