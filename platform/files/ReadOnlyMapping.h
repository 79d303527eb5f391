// A read-only memory mapping of a whole input file, unmapped when the owner goes away.
#pragma once

#include "platform/base/HResult.h"

#include <span>
#include <string>

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

} // namespace platform
