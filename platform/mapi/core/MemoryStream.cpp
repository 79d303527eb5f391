// A growable stream in memory (CreateStreamOnHGlobal); clones share the bytes, not the position.
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <vector>

#include "platform/mapi/core/StreamBase.h"

namespace mapi {
namespace {

struct SharedBytes {
    std::mutex mutex;
    std::vector<BYTE> bytes;
};

class MemoryStream final : public StreamBase {
public:
    explicit MemoryStream(std::shared_ptr<SharedBytes> data, ULONGLONG position = 0)
        : data_(std::move(data)), position_(position)
    {
    }

    HRESULT Read(void* pv, ULONG cb, ULONG* pcbRead) override
    {
        std::lock_guard lock(data_->mutex);
        return ReadFrom(data_->bytes, position_, pv, cb, pcbRead);
    }

    HRESULT Write(const void* pv, ULONG cb, ULONG* pcbWritten) override
    {
        if (pcbWritten != nullptr)
            *pcbWritten = 0;
        if (pv == nullptr && cb > 0)
            return STG_E_INVALIDPOINTER;
        std::lock_guard lock(data_->mutex);
        ULONGLONG end = position_ + cb;
        try {
            if (end > data_->bytes.size())
                data_->bytes.resize(end);
        } catch (const std::bad_alloc&) {
            return STG_E_MEDIUMFULL;
        }
        if (cb > 0)
            std::memcpy(data_->bytes.data() + position_, pv, cb);
        position_ = end;
        if (pcbWritten != nullptr)
            *pcbWritten = cb;
        return S_OK;
    }

    HRESULT Seek(LARGE_INTEGER dlibMove, DWORD dwOrigin, ULARGE_INTEGER* plibNewPosition) override
    {
        std::lock_guard lock(data_->mutex);
        return SeekWithin(dlibMove, dwOrigin, data_->bytes.size(), position_, plibNewPosition);
    }

    HRESULT SetSize(ULARGE_INTEGER libNewSize) override
    {
        std::lock_guard lock(data_->mutex);
        try {
            data_->bytes.resize(libNewSize.QuadPart);
        } catch (const std::exception&) {
            return STG_E_MEDIUMFULL;
        }
        return S_OK;
    }

    HRESULT Commit(DWORD) override { return S_OK; }
    HRESULT Revert() override { return S_OK; }

    HRESULT Stat(STATSTG* pstatstg, DWORD) override
    {
        std::lock_guard lock(data_->mutex);
        return FillStat(pstatstg, data_->bytes.size(), STGM_READWRITE);
    }

    HRESULT Clone(IStream** ppstm) override
    {
        if (ppstm == nullptr)
            return STG_E_INVALIDPOINTER;
        *ppstm = new (std::nothrow) MemoryStream(data_, position_);
        return *ppstm == nullptr ? E_OUTOFMEMORY : S_OK;
    }

private:
    std::shared_ptr<SharedBytes> data_;
    ULONGLONG position_;
};

} // namespace
} // namespace mapi

STDAPI CreateStreamOnHGlobal(HGLOBAL hGlobal, BOOL, LPSTREAM* ppstm)
{
    if (ppstm == nullptr)
        return E_INVALIDARG;
    *ppstm = nullptr;
    if (hGlobal != nullptr)
        return E_INVALIDARG;
    try {
        *ppstm = new mapi::MemoryStream(std::make_shared<mapi::SharedBytes>());
        return S_OK;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}
