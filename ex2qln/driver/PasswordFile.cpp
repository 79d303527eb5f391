// Reading and deleting the password file of --pwd-file.
#include "ex2qln/driver/PasswordFile.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ex2qln::driver {
namespace {

// A password is one line; this much of the file is more than enough to hold it.
constexpr std::size_t kMaximumBytesRead = 64 * 1024;

std::string FirstLine(std::string text)
{
    std::size_t end = text.find('\n');
    if (end != std::string::npos)
        text.erase(end);
    if (!text.empty() && text.back() == '\r')
        text.pop_back();
    return text;
}

std::optional<std::string> ReadUpTo(int descriptor, std::size_t limit)
{
    std::string text;
    char chunk[4096];
    while (text.size() < limit) {
        ssize_t got = ::read(descriptor, chunk, sizeof chunk);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return std::nullopt;
        if (got == 0)
            break;
        text.append(chunk, static_cast<std::size_t>(got));
    }
    return text;
}

} // namespace

PasswordFileContent TakePasswordFile(const std::string& path)
{
    int descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (descriptor < 0)
        return {std::nullopt, PasswordFileProblem::Unreadable};
    // Checked on the open file, so that what is checked is what is read.
    struct stat info {};
    PasswordFileContent content;
    if (::fstat(descriptor, &info) != 0 || !S_ISREG(info.st_mode))
        content.problem = PasswordFileProblem::Unreadable;
    else if ((info.st_mode & (S_IRWXG | S_IRWXO)) != 0)
        content.problem = PasswordFileProblem::OpenToOthers;
    else if (std::optional<std::string> text = ReadUpTo(descriptor, kMaximumBytesRead))
        content.password = FirstLine(std::move(*text));
    else
        content.problem = PasswordFileProblem::Unreadable;
    ::close(descriptor);
    if (content.password)
        ::unlink(path.c_str());
    return content;
}

} // namespace ex2qln::driver
