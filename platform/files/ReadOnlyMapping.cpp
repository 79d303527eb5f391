// A whole input file, mapped or read.
#include "platform/files/ReadOnlyMapping.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace platform {

HRESULT OpenRegularFile(const std::string& path, int& fd, std::size_t& size)
{
    // O_NONBLOCK: opening a FIFO named as input must fail below, not wait for a writer.
    fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return HResultFromErrno(errno);
    struct stat info {};
    HRESULT status = S_OK;
    if (fstat(fd, &info) != 0)
        status = HResultFromErrno(errno);
    else if (!S_ISREG(info.st_mode))
        status = HResultFromErrno(S_ISDIR(info.st_mode) ? EISDIR : EINVAL);
    if (FAILED(status)) {
        ::close(fd);
        fd = -1;
        return status;
    }
    size = static_cast<std::size_t>(info.st_size);
    return S_OK;
}

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
    int fd = -1;
    std::size_t size = 0;
    HRESULT status = OpenRegularFile(path, fd, size);
    if (FAILED(status))
        return status;
    if (size == 0) {
        ::close(fd);
        return S_OK;
    }
    void* address = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
    int error = errno;
    ::close(fd);
    if (address == MAP_FAILED)
        return HResultFromErrno(error);
    data_ = static_cast<const char*>(address);
    size_ = size;
    mapped_ = true;
    return S_OK;
}

HRESULT ReadWholeFile(const std::string& path, std::vector<std::uint8_t>& bytes)
{
    bytes.clear();
    int fd = -1;
    std::size_t size = 0;
    HRESULT status = OpenRegularFile(path, fd, size);
    if (FAILED(status))
        return status;
    bytes.resize(size);
    std::size_t done = 0;
    while (done < size) {
        ssize_t got = ::read(fd, bytes.data() + done, size - done);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            status = HResultFromErrno(errno);
            break;
        }
        if (got == 0)
            break;  // the file shrank since it was opened
        done += static_cast<std::size_t>(got);
    }
    ::close(fd);
    bytes.resize(FAILED(status) ? 0 : done);
    return status;
}

} // namespace platform
