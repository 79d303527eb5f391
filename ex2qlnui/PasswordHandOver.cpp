// Writing the password into a file private to the user.
#include "ex2qlnui/PasswordHandOver.h"

#include "platform/files/TempDirectory.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ex2qlnui {
namespace {

bool IsPrivateDirectory(const char* path)
{
    struct stat info {};
    return path && path[0] == '/' && ::stat(path, &info) == 0 && S_ISDIR(info.st_mode) &&
           info.st_uid == ::geteuid() && (info.st_mode & 077) == 0;
}

HRESULT WriteAll(int descriptor, std::string_view bytes)
{
    while (!bytes.empty()) {
        ssize_t written = ::write(descriptor, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR)
            continue;
        if (written < 0)
            return HResultFromErrno(errno);
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return S_OK;
}

} // namespace

std::string PasswordFileDirectory()
{
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (!IsPrivateDirectory(runtime))
        return platform::TempDirectory();
    std::string directory = runtime;
    if (directory.back() != '/')
        directory += '/';
    return directory;
}

PasswordHandOver::~PasswordHandOver()
{
    if (!path_.empty())
        ::unlink(path_.c_str());
}

HRESULT PasswordHandOver::Write(std::string_view password)
{
    std::string path = PasswordFileDirectory() + "ex2qln-password-XXXXXX";
    // mkstemp creates the file exclusively with mode 0600, so nobody can have opened it before us.
    int descriptor = ::mkostemp(path.data(), O_CLOEXEC);
    if (descriptor < 0)
        return HResultFromErrno(errno);
    path_ = path;
    HRESULT status = WriteAll(descriptor, password);
    if (::close(descriptor) != 0 && SUCCEEDED(status))
        status = HResultFromErrno(errno);
    if (FAILED(status)) {
        ::unlink(path_.c_str());
        path_.clear();
    }
    return status;
}

} // namespace ex2qlnui
