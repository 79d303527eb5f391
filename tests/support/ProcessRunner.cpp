// fork/exec with three pipes and a poll loop, so a hanging program fails its test instead of CI.
#include "tests/support/ProcessRunner.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sstream>
#include <poll.h>
#include <stdexcept>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace testsupport {
namespace {

struct Pipe {
    int read = -1;
    int write = -1;
    Pipe()
    {
        int fds[2];
        if (pipe2(fds, O_CLOEXEC) != 0)
            throw std::runtime_error("pipe2 failed");
        read = fds[0];
        write = fds[1];
    }
};

std::vector<std::string> MergedEnvironment(const std::map<std::string, std::string>& extra)
{
    std::map<std::string, std::string> merged;
    for (char** entry = environ; *entry; ++entry) {
        std::string text = *entry;
        std::size_t equals = text.find('=');
        if (equals != std::string::npos)
            merged[text.substr(0, equals)] = text.substr(equals + 1);
    }
    for (const auto& [name, value] : extra)
        merged[name] = value;
    std::vector<std::string> result;
    for (const auto& [name, value] : merged)
        result.push_back(name + "=" + value);
    return result;
}

std::vector<char*> Pointers(std::vector<std::string>& strings)
{
    std::vector<char*> pointers;
    for (std::string& s : strings)
        pointers.push_back(s.data());
    pointers.push_back(nullptr);
    return pointers;
}

[[noreturn]] void ExecChild(const ProcessRun& run, Pipe& in, Pipe& out, Pipe& err)
{
    dup2(in.read, 0);
    dup2(out.write, 1);
    dup2(run.errorsWithOutput ? out.write : err.write, 2);
    if (run.workingDirectory && chdir(run.workingDirectory->c_str()) != 0)
        _exit(126);
    std::vector<std::string> argv{run.program};
    argv.insert(argv.end(), run.arguments.begin(), run.arguments.end());
    std::vector<std::string> envp = MergedEnvironment(run.environment);
    execve(run.program.c_str(), Pointers(argv).data(), Pointers(envp).data());
    _exit(127);
}

} // namespace

ProcessResult RunProcess(const ProcessRun& run)
{
    Pipe in, out, err;
    pid_t child = fork();
    if (child < 0)
        throw std::runtime_error("fork failed");
    if (child == 0)
        ExecChild(run, in, out, err);
    close(in.read);
    close(out.write);
    close(err.write);

    std::string input = run.standardInput.value_or("");
    std::size_t written = 0;
    bool holdingInput = !run.waitForOutput.empty();
    if (!holdingInput && (!run.standardInput || input.empty())) {
        close(in.write);
        in.write = -1;
    }
    signal(SIGPIPE, SIG_IGN);

    ProcessResult result;
    auto deadline = std::chrono::steady_clock::now() + run.timeout;
    while (out.read >= 0 || err.read >= 0) {
        pollfd fds[3] = {{out.read, POLLIN, 0}, {err.read, POLLIN, 0}, {holdingInput ? -1 : in.write, POLLOUT, 0}};
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            kill(child, SIGKILL);
            result.timedOut = true;
            break;
        }
        if (poll(fds, 3, static_cast<int>(left.count())) < 0 && errno != EINTR)
            break;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            char buffer[4096];
            ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
            if (n <= 0) {
                close(fds[i].fd);
                (i == 0 ? out.read : err.read) = -1;
                continue;
            }
            (i == 0 ? result.standardOutput : result.standardError).append(buffer, static_cast<std::size_t>(n));
        }
        if (holdingInput && result.standardOutput.find(run.waitForOutput) != std::string::npos) {
            holdingInput = false;
            if (run.whileWaiting)
                run.whileWaiting(child);
            if (input.empty()) {
                close(in.write);
                in.write = -1;
            }
        }
        if (!holdingInput && in.write >= 0 && (fds[2].revents & (POLLOUT | POLLERR | POLLHUP))) {
            ssize_t n = write(in.write, input.data() + written, input.size() - written);
            written += n > 0 ? static_cast<std::size_t>(n) : input.size();
            if (written >= input.size()) {
                close(in.write);
                in.write = -1;
            }
        }
    }
    for (int fd : {in.write, out.read, err.read})
        if (fd >= 0)
            close(fd);
    int status = 0;
    rusage usage{};
    if (wait4(child, &status, 0, &usage) == child)
        result.maxResidentKilobytes = usage.ru_maxrss;
    if (WIFEXITED(status))
        result.exitCode = WEXITSTATUS(status);
    if (WIFSIGNALED(status))
        result.signal = WTERMSIG(status);
    return result;
}

std::string FindProgram(const std::string& name)
{
    const char* path = std::getenv("PATH");
    std::istringstream directories(path != nullptr ? path : "/usr/bin:/bin");
    for (std::string directory; std::getline(directories, directory, ':');) {
        std::error_code error;
        const std::filesystem::path candidate = std::filesystem::path(directory) / name;
        if (!directory.empty() && std::filesystem::is_regular_file(candidate, error) && access(candidate.c_str(), X_OK) == 0)
            return candidate.string();
    }
    return "";
}

} // namespace testsupport
