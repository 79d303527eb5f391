// Problem messages as .msg files, created exclusively and never through a link.
#include "ex2qln/transfer/ProblemMessages.h"

#include "ex2qln/transfer/MessageSnapshot.h"
#include "platform/cfb/MsgWriter.h"
#include "platform/files/TempDirectory.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ex2qln::transfer {
namespace {

// How many taken names are passed over before giving up.
constexpr unsigned kNamesTried = 10000;

HRESULT WriteAll(int descriptor, const std::vector<std::uint8_t>& bytes)
{
    std::size_t written = 0;
    while (written < bytes.size()) {
        const ssize_t put = ::write(descriptor, bytes.data() + written, bytes.size() - written);
        if (put < 0 && errno == EINTR)
            continue;
        if (put < 0)
            return HResultFromErrno(errno);
        written += static_cast<std::size_t>(put);
    }
    return ::fsync(descriptor) == 0 ? S_OK : HResultFromErrno(errno);
}

} // namespace

ProblemMessages::ProblemMessages(std::string directory)
    : directory_(directory.empty() ? platform::TempDirectory() : std::move(directory))
{
    if (!directory_.empty() && directory_.back() != '/')
        directory_ += '/';
}

int ProblemMessages::CreateNext(std::string& path, HRESULT& status)
{
    for (unsigned tried = 0; tried < kNamesTried; ++tried) {
        path = directory_ + "ex2qln" + std::to_string(counter_++) + ".msg";
        const int descriptor = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (descriptor >= 0) {
            // The mode asked for may have been narrowed by the umask, never widened; make it exact.
            ::fchmod(descriptor, 0600);
            status = S_OK;
            return descriptor;
        }
        if (errno != EEXIST && errno != ELOOP) {
            status = HResultFromErrno(errno);
            return -1;
        }
    }
    status = HResultFromErrno(EEXIST);
    return -1;
}

HRESULT ProblemMessages::Write(IMessage* message, int descriptor, const std::string& path)
{
    platform::cfb::MsgDocument document;
    HRESULT status = SnapshotMessage(message, document);
    std::vector<std::uint8_t> bytes;
    std::string error;
    if (SUCCEEDED(status))
        status = platform::cfb::WriteMsgBytes(document, path, bytes, error);
    if (SUCCEEDED(status))
        status = WriteAll(descriptor, bytes);
    if (::close(descriptor) != 0 && SUCCEEDED(status))
        status = HResultFromErrno(errno);
    if (FAILED(status))
        ::unlink(path.c_str());
    return status;
}

} // namespace ex2qln::transfer
