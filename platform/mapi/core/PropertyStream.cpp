// Property streams over the runtime's memory stream, with write-back on Commit.
#include "platform/mapi/core/PropertyStream.h"

#include <algorithm>
#include <new>

namespace mapi {

HRESULT PropertyStream::Create(std::span<const BYTE> content, Store store, LPSTREAM* result)
{
    *result = nullptr;
    MapiPtr<IStream> inner;
    HRESULT status = CreateStreamOnHGlobal(nullptr, TRUE, inner.put());
    if (FAILED(status))
        return status;
    // The memory stream takes at most 4 GiB less one byte per call; larger values go in pieces.
    std::size_t done = 0;
    while (done < content.size()) {
        ULONG piece = static_cast<ULONG>(std::min<std::size_t>(content.size() - done, 0x40000000));
        status = inner->Write(content.data() + done, piece, nullptr);
        if (FAILED(status))
            return status;
        done += piece;
    }
    status = inner->Seek(LARGE_INTEGER{}, STREAM_SEEK_SET, nullptr);
    if (FAILED(status))
        return status;
    *result = new (std::nothrow) PropertyStream(std::move(inner), std::move(store));
    return *result == nullptr ? MAPI_E_NOT_ENOUGH_MEMORY : S_OK;
}

HRESULT PropertyStream::Read(void* pv, ULONG cb, ULONG* pcbRead)
{
    return inner_->Read(pv, cb, pcbRead);
}

HRESULT PropertyStream::Write(const void* pv, ULONG cb, ULONG* pcbWritten)
{
    if (pcbWritten != nullptr)
        *pcbWritten = 0;
    if (!store_)
        return STG_E_ACCESSDENIED;
    return inner_->Write(pv, cb, pcbWritten);
}

HRESULT PropertyStream::Seek(LARGE_INTEGER dlibMove, DWORD dwOrigin, ULARGE_INTEGER* plibNewPosition)
{
    return inner_->Seek(dlibMove, dwOrigin, plibNewPosition);
}

HRESULT PropertyStream::SetSize(ULARGE_INTEGER libNewSize)
{
    if (!store_)
        return STG_E_ACCESSDENIED;
    return inner_->SetSize(libNewSize);
}

HRESULT PropertyStream::Commit(DWORD)
{
    if (!store_)
        return S_OK;
    STATSTG stat{};
    HRESULT status = inner_->Stat(&stat, STATFLAG_NONAME);
    if (FAILED(status))
        return status;
    ULARGE_INTEGER position{};
    status = inner_->Seek(LARGE_INTEGER{}, STREAM_SEEK_CUR, &position);
    if (FAILED(status))
        return status;
    std::vector<BYTE> content;
    try {
        content.resize(stat.cbSize.QuadPart);
    } catch (const std::exception&) {
        return MAPI_E_NOT_ENOUGH_MEMORY;
    }
    status = inner_->Seek(LARGE_INTEGER{}, STREAM_SEEK_SET, nullptr);
    std::size_t done = 0;
    while (SUCCEEDED(status) && done < content.size()) {
        ULONG got = 0;
        ULONG piece = static_cast<ULONG>(std::min<std::size_t>(content.size() - done, 0x40000000));
        status = inner_->Read(content.data() + done, piece, &got);
        if (got == 0)
            break;
        done += got;
    }
    LARGE_INTEGER back{};
    back.QuadPart = static_cast<LONGLONG>(position.QuadPart);
    HRESULT restored = inner_->Seek(back, STREAM_SEEK_SET, nullptr);
    if (FAILED(status))
        return status;
    if (FAILED(restored))
        return restored;
    content.resize(done);
    return store_(std::move(content));
}

HRESULT PropertyStream::Revert()
{
    return inner_->Revert();
}

HRESULT PropertyStream::Stat(STATSTG* pstatstg, DWORD grfStatFlag)
{
    HRESULT status = inner_->Stat(pstatstg, grfStatFlag);
    if (SUCCEEDED(status))
        pstatstg->grfMode = store_ ? STGM_READWRITE : STGM_READ;
    return status;
}

// A clone reads what this stream holds; only the stream OpenProperty gave writes back.
HRESULT PropertyStream::Clone(IStream** ppstm)
{
    if (ppstm == nullptr)
        return STG_E_INVALIDPOINTER;
    *ppstm = nullptr;
    MapiPtr<IStream> inner;
    HRESULT status = inner_->Clone(inner.put());
    if (FAILED(status))
        return status;
    *ppstm = new (std::nothrow) PropertyStream(std::move(inner), Store{});
    return *ppstm == nullptr ? E_OUTOFMEMORY : S_OK;
}

} // namespace mapi
