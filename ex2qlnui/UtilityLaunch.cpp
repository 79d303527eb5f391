// Finding ex2qln and starting it detached, in a terminal window or writing into a log.
#include "ex2qlnui/UtilityLaunch.h"

#include "ex2qlnui/PasswordHandOver.h"
#include "platform/files/ConfigDirectory.h"
#include "platform/files/TempDirectory.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <spawn.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

extern char** environ;

namespace ex2qlnui {
namespace {

std::string ErrorText(int error) { return std::generic_category().message(error); }

// Starts `program` with standard input from /dev/null, standard output and error into `output`
// (-1: the launcher's own), nothing else open, default signal handling, in a new session: the
// process outlives the launcher and does not get its terminal's hang-up. Does not wait.
HRESULT SpawnDetached(const std::vector<std::string>& program, int output)
{
    std::vector<char*> argv;
    for (const std::string& argument : program)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    if (output >= 0) {
        posix_spawn_file_actions_adddup2(&actions, output, STDOUT_FILENO);
        posix_spawn_file_actions_adddup2(&actions, output, STDERR_FILENO);
    }
    posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);

    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none;
    sigemptyset(&none);
    sigset_t all;
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    pid_t child = 0;
    int error = posix_spawn(&child, argv[0], &actions, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    return error == 0 ? S_OK : HResultFromErrno(error);
}

// The log opened for appending, with a line that tells this run from earlier ones.
int OpenOutputLog(const std::string& path, const std::vector<CommandWord>& words)
{
    std::error_code ignored;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ignored);
    int descriptor = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (descriptor < 0)
        return -1;
    char started[64];
    std::time_t now = std::time(nullptr);
    std::tm local {};
    std::strftime(started, sizeof started, "%Y-%m-%d %H:%M:%S", localtime_r(&now, &local));
    std::string header = "==== " + std::string(started) + " " + DisplayCommandLine(words) + "\n";
    // The header only helps the reader; the run does not depend on it.
    [[maybe_unused]] ssize_t written = ::write(descriptor, header.data(), header.size());
    return descriptor;
}

const CommandWord* SecretWord(const std::vector<CommandWord>& words)
{
    auto found = std::find_if(words.begin(), words.end(), [](const CommandWord& word) { return word.secret; });
    return found == words.end() ? nullptr : &*found;
}

bool EndsInUiIgnoringCase(std::string_view name)
{
    if (name.size() <= 2)
        return false;
    std::string_view tail = name.substr(name.size() - 2);
    return (tail[0] == 'u' || tail[0] == 'U') && (tail[1] == 'i' || tail[1] == 'I');
}

} // namespace

std::optional<std::string> UtilityPathBeside(std::string_view launcherPath)
{
    std::size_t slash = launcherPath.rfind('/');
    std::string_view name = slash == std::string_view::npos ? launcherPath : launcherPath.substr(slash + 1);
    if (!EndsInUiIgnoringCase(name))
        return std::nullopt;
    return std::string(launcherPath.substr(0, launcherPath.size() - 2));
}

std::optional<std::string> FindProgramOnPath(std::string_view name)
{
    const char* path = std::getenv("PATH");
    std::string_view directories = path ? path : "";
    while (true) {
        std::size_t colon = directories.find(':');
        std::string_view directory = directories.substr(0, colon);
        // An empty entry stands for the current directory.
        std::string candidate = (directory.empty() ? std::string(".") : std::string(directory)) + "/" + std::string(name);
        struct stat info {};
        if (::stat(candidate.c_str(), &info) == 0 && S_ISREG(info.st_mode) && ::access(candidate.c_str(), X_OK) == 0)
            return candidate;
        if (colon == std::string_view::npos)
            return std::nullopt;
        directories.remove_prefix(colon + 1);
    }
}

std::string DefaultOutputLogPath()
{
    std::string directory = platform::UserStateDirectory();
    if (directory.empty())
        directory = platform::TempDirectory();
    return directory + "ex2qln-output.log";
}

LaunchSetup DefaultLaunchSetup(std::string launcherPath)
{
    return {std::move(launcherPath), FindProgramOnPath("x-terminal-emulator"), DefaultOutputLogPath()};
}

LaunchResult StartUtility(const LaunchSetup& setup, const std::vector<CommandWord>& words)
{
    std::optional<std::string> utility = UtilityPathBeside(setup.launcherPath);
    if (!utility)
        return {E_FAIL, "The launcher " + setup.launcherPath + " has no name ending in \"ui\" that names ex2qln."};
    if (::access(utility->c_str(), X_OK) != 0) {
        int error = errno;
        return {HResultFromErrno(error), *utility + ": " + ErrorText(error)};
    }

    PasswordHandOver password;
    if (const CommandWord* secret = SecretWord(words)) {
        if (HRESULT status = password.Write(secret->value.value_or("")); FAILED(status))
            return {status, "The password file in " + PasswordFileDirectory() + " can not be written: " +
                                ErrorText(static_cast<int>(status & 0xFFFF))};
    }
    std::vector<std::string> program = {*utility};
    if (setup.terminal)
        program = {*setup.terminal, "-e", *utility};
    for (std::string& argument : UtilityArguments(words, password.Path()))
        program.push_back(std::move(argument));

    HRESULT status = S_OK;
    if (setup.terminal) {
        status = SpawnDetached(program, -1);
    } else {
        int log = OpenOutputLog(setup.outputLog, words);
        if (log < 0) {
            int error = errno;
            return {HResultFromErrno(error), setup.outputLog + ": " + ErrorText(error)};
        }
        status = SpawnDetached(program, log);
        ::close(log);
    }
    if (FAILED(status))
        return {status, program.front() + ": " + ErrorText(static_cast<int>(status & 0xFFFF))};
    password.HandOver();
    return {};
}

} // namespace ex2qlnui
