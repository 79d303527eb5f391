// An open regular file read at given offsets (pread), for readers that keep a file open and take
// only the parts they need.
#pragma once

#include "platform/base/HResult.h"

#include <cstdint>
#include <cstddef>
#include <span>
#include <string>

namespace platform {

// Reads up to out.size() bytes of the open file `fd` at `offset`, through interruptions and short
// reads; `read` is less only where the file ends. Errors come back as HResultFromErrno.
HRESULT ReadAt(int fd, std::uint64_t offset, std::span<std::byte> out, std::size_t& read);

class PositionalFile {
public:
    PositionalFile() = default;
    PositionalFile(const PositionalFile&) = delete;
    PositionalFile& operator=(const PositionalFile&) = delete;
    ~PositionalFile();

    // Opens the regular file `path` for reading. Errors come back as HResultFromErrno.
    HRESULT Open(const std::string& path);
    // The size when the file was opened.
    std::uint64_t Size() const { return size_; }
    // Reads up to out.size() bytes at `offset`; `read` is less only where the file ends (it may have
    // shrunk since it was opened). Safe from several threads at once.
    HRESULT ReadAt(std::uint64_t offset, std::span<std::uint8_t> out, std::size_t& read) const;

private:
    int fd_ = -1;
    std::uint64_t size_ = 0;
};

} // namespace platform
