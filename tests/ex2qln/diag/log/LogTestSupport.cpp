// Helpers for the log tests: child processes and the log line parser.
#include "tests/ex2qln/diag/log/LogTestSupport.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <regex>
#include <sstream>
#include <stdexcept>

namespace ex2qln::diag::test {

int RunInChild(const std::filesystem::path& temporaryDirectory, const std::function<void()>& body)
{
    std::fflush(nullptr);
    const pid_t child = fork();
    if (child < 0)
        throw std::runtime_error("fork failed");
    if (child == 0) {
        setenv("TMPDIR", temporaryDirectory.c_str(), 1);
        const int errors = open((temporaryDirectory / "stderr.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (errors < 0 || dup2(errors, STDERR_FILENO) < 0)
            _exit(101);
        close(errors);
        body();
        _exit(0);
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0) {
        if (errno != EINTR)
            throw std::runtime_error("waitpid failed");
    }
    return status;
}

void ResizeFile(const std::filesystem::path& path, std::uint64_t size)
{
    if (!std::filesystem::exists(path))
        WriteFile(path, "");
    std::filesystem::resize_file(path, size);
}

std::string ProgramPath()
{
    return std::filesystem::read_symlink("/proc/self/exe").string();
}

std::vector<LogLine> ParseLog(std::string_view text)
{
    static const std::regex kLine(R"(^(\d\d/\d\d/\d\d \d\d:\d\d:\d\d) \[([0-9A-F]+)/([0-9a-f]+)\]  ([\s\S]*)$)");
    std::vector<LogLine> lines;
    while (!text.empty()) {
        const std::size_t end = text.find("\r\n");
        LogLine line;
        const std::string whole(text.substr(0, end));
        std::smatch parts;
        if (end != std::string_view::npos && std::regex_match(whole, parts, kLine))
            line = {true, parts[1], parts[2], parts[3], parts[4]};
        else
            line.message = whole;
        lines.push_back(line);
        if (end == std::string_view::npos)
            break;
        text.remove_prefix(end + 2);
    }
    return lines;
}

std::string UpperHex(unsigned value)
{
    char text[16];
    std::snprintf(text, sizeof text, "%X", value);
    return text;
}

std::string LowerHex(unsigned value)
{
    char text[16];
    std::snprintf(text, sizeof text, "%x", value);
    return text;
}

} // namespace ex2qln::diag::test
