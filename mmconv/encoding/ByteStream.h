// Minimal byte sink and source interfaces the encoders write to and read from (stand-ins for IStream).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "platform/base/HResult.h"

namespace mmconv {

// Where encoded output goes; Write either takes all bytes or fails.
class ByteSink {
public:
    virtual ~ByteSink() = default;
    virtual HRESULT Write(std::string_view bytes) = 0;
};

// Where encoder input comes from; Read gives 0 bytes only at the end.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual HRESULT Read(std::span<std::uint8_t> buffer, std::size_t& bytesRead) = 0;
};

// Appends everything written to a string it does not own.
class StringSink final : public ByteSink {
public:
    explicit StringSink(std::string& target) : target_(target) {}
    HRESULT Write(std::string_view bytes) override;

private:
    std::string& target_;
};

// Reads from a memory block it does not own.
class MemorySource final : public ByteSource {
public:
    explicit MemorySource(std::span<const std::uint8_t> data) : data_(data) {}
    explicit MemorySource(std::string_view data)
        : data_(reinterpret_cast<const std::uint8_t*>(data.data()), data.size()) {}
    HRESULT Read(std::span<std::uint8_t> buffer, std::size_t& bytesRead) override;

private:
    std::span<const std::uint8_t> data_;
    std::size_t position_ = 0;
};

} // namespace mmconv
