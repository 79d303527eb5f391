// Buffered writing of converted messages.
#include "mmconv/message/MimeOutput.h"

#include <new>

namespace mmconv {

MimeOutput::MimeOutput(IStream* stream) : stream_(stream)
{
    pending_.reserve(kPieceSize);
}

MimeOutput::MimeOutput(std::string& target) : target_(&target) {}

HRESULT MimeOutput::Write(std::string_view bytes)
{
    if (FAILED(status_))
        return status_;
    try {
        if (target_ != nullptr) {
            target_->append(bytes);
            return S_OK;
        }
        if (pending_.size() + bytes.size() <= kPieceSize) {
            pending_.append(bytes);
            return S_OK;
        }
        if (HRESULT hr = Flush(); FAILED(hr))
            return hr;
        if (bytes.size() >= kPieceSize)
            return status_ = WriteToStream(bytes);
        pending_.append(bytes);
    } catch (const std::bad_alloc&) {
        status_ = E_OUTOFMEMORY;
    }
    return status_;
}

HRESULT MimeOutput::WriteHeader(std::string_view name, std::string_view value)
{
    Write(name);
    Write(": ");
    Write(value);
    return Write("\r\n");
}

HRESULT MimeOutput::Flush()
{
    if (FAILED(status_) || pending_.empty())
        return status_;
    status_ = WriteToStream(pending_);
    pending_.clear();
    return status_;
}

HRESULT MimeOutput::WriteToStream(std::string_view bytes)
{
    while (!bytes.empty()) {
        const ULONG count = bytes.size() > 0x40000000u ? 0x40000000u : static_cast<ULONG>(bytes.size());
        ULONG written = 0;
        if (HRESULT hr = stream_->Write(bytes.data(), count, &written); FAILED(hr))
            return hr;
        if (written == 0)
            return STG_E_MEDIUMFULL;
        bytes.remove_prefix(written);
    }
    return S_OK;
}

} // namespace mmconv
