// Reading a file at offsets.
#include "platform/files/PositionalFile.h"

#include "platform/files/ReadOnlyMapping.h"

#include <cerrno>
#include <unistd.h>

namespace platform {

PositionalFile::~PositionalFile()
{
    if (fd_ >= 0)
        ::close(fd_);
}

HRESULT PositionalFile::Open(const std::string& path)
{
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    std::size_t size = 0;
    HRESULT status = OpenRegularFile(path, fd_, size);
    size_ = SUCCEEDED(status) ? size : 0;
    return status;
}

HRESULT ReadAt(int fd, std::uint64_t offset, std::span<std::byte> out, std::size_t& read)
{
    read = 0;
    while (read < out.size()) {
        ssize_t got = ::pread(fd, out.data() + read, out.size() - read, static_cast<off_t>(offset + read));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return HResultFromErrno(errno);
        if (got == 0)
            break;
        read += static_cast<std::size_t>(got);
    }
    return S_OK;
}

HRESULT PositionalFile::ReadAt(std::uint64_t offset, std::span<std::uint8_t> out, std::size_t& read) const
{
    return platform::ReadAt(fd_, offset, std::as_writable_bytes(out), read);
}

} // namespace platform
