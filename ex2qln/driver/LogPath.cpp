// The log path rules of a run.
#include "ex2qln/driver/LogPath.h"

namespace ex2qln::driver {

std::string LogBaseName(const std::string& accountsPath)
{
    std::size_t dot = accountsPath.rfind('.');
    std::size_t slash = accountsPath.rfind('/');
    bool dotStartsExtension = dot != std::string::npos && dot != 0 && (slash == std::string::npos || dot > slash);
    return dotStartsExtension ? accountsPath.substr(0, dot) : accountsPath;
}

LogLocation ChooseLogLocation(bool localLog, const std::optional<std::string>& accountsPath,
                              const std::string& startDirectory)
{
    if (!localLog)
        return {"ex2qln.log", false};
    std::string baseName = accountsPath ? LogBaseName(*accountsPath) : std::string();
    if (baseName.empty())
        return {startDirectory + "/ex2qln.log", true};
    if (baseName.front() == '/')
        return {baseName + ".log", true};
    return {startDirectory + "/" + baseName + ".log", true};
}

} // namespace ex2qln::driver
