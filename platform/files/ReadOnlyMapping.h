// A whole input file: mapped read-only (unmapped when the owner goes away), or read into memory.
#pragma once

#include "platform/base/HResult.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace platform {

class ReadOnlyMapping {
public:
    ReadOnlyMapping() = default;
    ReadOnlyMapping(ReadOnlyMapping&& other) noexcept;
    ReadOnlyMapping& operator=(ReadOnlyMapping&& other) noexcept;
    ReadOnlyMapping(const ReadOnlyMapping&) = delete;
    ReadOnlyMapping& operator=(const ReadOnlyMapping&) = delete;
    ~ReadOnlyMapping();

    // Maps `path`; an empty file maps to an empty span. Errors come back as HResultFromErrno.
    HRESULT Open(const std::string& path);
    std::span<const char> Bytes() const { return {data_, size_}; }

private:
    void Close();

    const char* data_ = nullptr;
    std::size_t size_ = 0;
    bool mapped_ = false;
};

// Opens `path` for reading when it is a regular file (a FIFO or directory is refused, without
// waiting); `size` is its size then. Errors come back as HResultFromErrno.
HRESULT OpenRegularFile(const std::string& path, int& fd, std::size_t& size);

// Reads the regular file `path` whole into `bytes`. A mapping ends the process (SIGBUS) when the
// file shrinks while it is read; this gives what the file held then instead, so it serves files
// that others may change meanwhile. Errors come back as HResultFromErrno.
HRESULT ReadWholeFile(const std::string& path, std::vector<std::uint8_t>& bytes);

} // namespace platform
