// Reading a value from its file through IStream.
#include "platform/mapi/core/StreamedValueStream.h"

#include <new>

namespace mapi {

HRESULT StreamedValueStream::Create(std::shared_ptr<const platform::cfb::StreamedValue> value, LPSTREAM* result)
{
    *result = new (std::nothrow) StreamedValueStream(std::move(value));
    return *result == nullptr ? MAPI_E_NOT_ENOUGH_MEMORY : S_OK;
}

HRESULT StreamedValueStream::Read(void* pv, ULONG cb, ULONG* pcbRead)
{
    if (pcbRead != nullptr)
        *pcbRead = 0;
    if (pv == nullptr && cb > 0)
        return STG_E_INVALIDPOINTER;
    std::size_t read = 0;
    HRESULT status = value_->ReadAt(position_, std::span(static_cast<std::uint8_t*>(pv), cb), read);
    if (FAILED(status))
        return status;
    position_ += read;
    if (pcbRead != nullptr)
        *pcbRead = static_cast<ULONG>(read);
    return S_OK;
}

HRESULT StreamedValueStream::Write(const void*, ULONG, ULONG* pcbWritten)
{
    if (pcbWritten != nullptr)
        *pcbWritten = 0;
    return STG_E_ACCESSDENIED;
}

HRESULT StreamedValueStream::Seek(LARGE_INTEGER dlibMove, DWORD dwOrigin, ULARGE_INTEGER* plibNewPosition)
{
    return SeekWithin(dlibMove, dwOrigin, value_->Size(), position_, plibNewPosition);
}

HRESULT StreamedValueStream::SetSize(ULARGE_INTEGER)
{
    return STG_E_ACCESSDENIED;
}

HRESULT StreamedValueStream::Commit(DWORD)
{
    return S_OK;
}

HRESULT StreamedValueStream::Revert()
{
    return S_OK;
}

HRESULT StreamedValueStream::Stat(STATSTG* pstatstg, DWORD)
{
    return FillStat(pstatstg, value_->Size(), STGM_READ);
}

HRESULT StreamedValueStream::Clone(IStream** ppstm)
{
    if (ppstm == nullptr)
        return STG_E_INVALIDPOINTER;
    *ppstm = nullptr;
    auto* clone = new (std::nothrow) StreamedValueStream(value_);
    if (clone == nullptr)
        return E_OUTOFMEMORY;
    clone->position_ = position_;
    *ppstm = clone;
    return S_OK;
}

} // namespace mapi
