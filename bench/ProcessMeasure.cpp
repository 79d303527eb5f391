// Running a process and reading its time and peak resident set.
#include "bench/ProcessMeasure.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>

namespace bench {

Measured RunMeasured(const std::vector<std::string>& arguments, const std::string& log)
{
    std::vector<char*> argv;
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    std::fflush(stdout);
    auto start = std::chrono::steady_clock::now();
    pid_t child = fork();
    if (child == 0) {
        if (std::freopen(log.c_str(), "a", stdout) == nullptr || std::freopen(log.c_str(), "a", stderr) == nullptr)
            _exit(126);
        execv(argv[0], argv.data());
        _exit(127);
    }
    Measured measured;
    int status = 0;
    rusage usage{};
    if (child < 0 || wait4(child, &status, 0, &usage) != child)
        return measured;
    measured.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    measured.peakMegabytes = static_cast<double>(usage.ru_maxrss) / 1024.0;
    measured.succeeded = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return measured;
}

} // namespace bench
