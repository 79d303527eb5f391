// The user's and the machine's configuration directories.
#include "platform/files/ConfigDirectory.h"

#include <cstdlib>
#include <pwd.h>
#include <unistd.h>
#include <vector>

namespace platform {

namespace {

std::string HomeDirectory()
{
    const char* home = std::getenv("HOME");
    if (home && *home)
        return home;
    long suggested = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(suggested > 0 ? static_cast<std::size_t>(suggested) : 16384);
    passwd entry {};
    passwd* found = nullptr;
    if (getpwuid_r(geteuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || !found || !found->pw_dir)
        return {};
    return found->pw_dir;
}

std::string WithSlash(std::string directory)
{
    if (directory.empty() || directory.back() != '/')
        directory += '/';
    return directory;
}

// $variable/ex2qln/, else the default below the home directory.
std::string XdgDirectory(const char* variable, const char* belowHome)
{
    // The XDG rules ignore a relative value.
    const char* fromEnvironment = std::getenv(variable);
    if (fromEnvironment && fromEnvironment[0] == '/')
        return WithSlash(fromEnvironment) + "ex2qln/";
    std::string home = HomeDirectory();
    if (home.empty())
        return {};
    return WithSlash(home) + belowHome + "ex2qln/";
}

} // namespace

std::string UserConfigDirectory() { return XdgDirectory("XDG_CONFIG_HOME", ".config/"); }

std::string UserStateDirectory() { return XdgDirectory("XDG_STATE_HOME", ".local/state/"); }

std::string MachineConfigDirectory() { return "/etc/ex2qln/"; }

} // namespace platform
