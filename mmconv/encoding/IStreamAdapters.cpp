// ByteSink and ByteSource over IStream.
#include "mmconv/encoding/IStreamAdapters.h"

#include <algorithm>
#include <limits>

namespace mmconv {
namespace {

constexpr std::size_t kLargestCall = std::numeric_limits<ULONG>::max();

} // namespace

HRESULT IStreamSink::Write(std::string_view bytes)
{
    while (!bytes.empty()) {
        ULONG chunk = static_cast<ULONG>(std::min(bytes.size(), kLargestCall));
        ULONG written = 0;
        HRESULT status = stream_->Write(bytes.data(), chunk, &written);
        if (FAILED(status))
            return status;
        if (written != chunk)
            return STG_E_MEDIUMFULL;
        bytes.remove_prefix(chunk);
    }
    return S_OK;
}

HRESULT IStreamSource::Read(std::span<std::uint8_t> buffer, std::size_t& bytesRead)
{
    ULONG read = 0;
    HRESULT status = stream_->Read(buffer.data(), static_cast<ULONG>(std::min(buffer.size(), kLargestCall)), &read);
    bytesRead = FAILED(status) ? 0 : read;
    return FAILED(status) ? status : S_OK;
}

} // namespace mmconv
