// A read-only memory mapping of a whole input file.
#include "platform/files/ReadOnlyMapping.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace platform {

ReadOnlyMapping::ReadOnlyMapping(ReadOnlyMapping&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)), size_(std::exchange(other.size_, 0)),
      mapped_(std::exchange(other.mapped_, false))
{
}

ReadOnlyMapping& ReadOnlyMapping::operator=(ReadOnlyMapping&& other) noexcept
{
    if (this != &other) {
        Close();
        data_ = std::exchange(other.data_, nullptr);
        size_ = std::exchange(other.size_, 0);
        mapped_ = std::exchange(other.mapped_, false);
    }
    return *this;
}

ReadOnlyMapping::~ReadOnlyMapping() { Close(); }

void ReadOnlyMapping::Close()
{
    if (mapped_)
        munmap(const_cast<char*>(data_), size_);
    data_ = nullptr;
    size_ = 0;
    mapped_ = false;
}

HRESULT ReadOnlyMapping::Open(const std::string& path)
{
    Close();
    // O_NONBLOCK: opening a FIFO named as input must fail below, not wait for a writer.
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return HResultFromErrno(errno);
    struct stat info {};
    if (fstat(fd, &info) != 0) {
        int error = errno;
        ::close(fd);
        return HResultFromErrno(error);
    }
    if (!S_ISREG(info.st_mode)) {
        ::close(fd);
        return HResultFromErrno(S_ISDIR(info.st_mode) ? EISDIR : EINVAL);
    }
    if (info.st_size == 0) {
        ::close(fd);
        return S_OK;
    }
    void* address = mmap(nullptr, static_cast<std::size_t>(info.st_size), PROT_READ, MAP_PRIVATE, fd, 0);
    int error = errno;
    ::close(fd);
    if (address == MAP_FAILED)
        return HResultFromErrno(error);
    data_ = static_cast<const char*>(address);
    size_ = static_cast<std::size_t>(info.st_size);
    mapped_ = true;
    return S_OK;
}

} // namespace platform
