// Memory-backed byte sink and source.
#include "mmconv/encoding/ByteStream.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace mmconv {

HRESULT StringSink::Write(std::string_view bytes)
{
    try {
        target_.append(bytes);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

HRESULT MemorySource::Read(std::span<std::uint8_t> buffer, std::size_t& bytesRead)
{
    bytesRead = std::min(buffer.size(), data_.size() - position_);
    if (bytesRead > 0)
        std::memcpy(buffer.data(), data_.data() + position_, bytesRead);
    position_ += bytesRead;
    return S_OK;
}

} // namespace mmconv
