// WrapCompressedRTFStream: a stream of the RTF inside a PR_RTF_COMPRESSED stream, decompressed as
// it is read or, with MAPI_MODIFY, compressed into the underlying stream on Commit.
#include <mapiutil.h>

#include <algorithm>
#include <new>
#include <vector>

#include "platform/rtf/RtfCompressor.h"
#include "platform/rtf/RtfDecompressor.h"

#include "platform/mapi/core/Guard.h"
#include "platform/mapi/core/StreamBase.h"

namespace mapi {
namespace {

namespace rtf = platform::rtf;

HRESULT ReadRest(IStream* stream, std::vector<std::uint8_t>& bytes)
{
    std::uint8_t buffer[16384];
    for (;;) {
        ULONG got = 0;
        HRESULT status = stream->Read(buffer, sizeof(buffer), &got);
        if (FAILED(status))
            return status;
        if (got == 0)
            return S_OK;
        bytes.insert(bytes.end(), buffer, buffer + got);
    }
}

// Read side. An empty compressed stream holds no RTF and reads as empty.
class DecompressingStream final : public StreamBase {
public:
    HRESULT Open(std::vector<std::uint8_t> compressed)
    {
        compressed_ = std::move(compressed);
        return Restart();
    }

    HRESULT Read(void* pv, ULONG cb, ULONG* pcbRead) override
    {
        if (pcbRead != nullptr)
            *pcbRead = 0;
        if (pv == nullptr && cb > 0)
            return STG_E_INVALIDPOINTER;
        ULONG total = 0;
        while (total < cb && !compressed_.empty()) {
            std::size_t got = 0;
            HRESULT status = decoder_.Read({static_cast<std::uint8_t*>(pv) + total, cb - total}, got);
            if (FAILED(status))
                return status;
            if (got == 0)
                break;
            total += static_cast<ULONG>(got);
        }
        position_ += total;
        if (pcbRead != nullptr)
            *pcbRead = total;
        return S_OK;
    }

    HRESULT Write(const void*, ULONG, ULONG* pcbWritten) override
    {
        if (pcbWritten != nullptr)
            *pcbWritten = 0;
        return STG_E_ACCESSDENIED;
    }

    // Going back decodes again from the start; a position past the end stops at the end.
    HRESULT Seek(LARGE_INTEGER dlibMove, DWORD dwOrigin, ULARGE_INTEGER* plibNewPosition) override
    {
        ULONGLONG target = 0;
        HRESULT status = NewPosition(dlibMove, dwOrigin, position_, Size(), target);
        if (status != S_OK)
            return status;
        if (target < position_ && FAILED(status = Restart()))
            return status;
        std::uint8_t scratch[4096];
        while (position_ < target) {
            ULONG got = 0;
            status = Read(scratch, static_cast<ULONG>(std::min<ULONGLONG>(sizeof(scratch), target - position_)), &got);
            if (FAILED(status))
                return status;
            if (got == 0)
                break;
        }
        if (plibNewPosition != nullptr)
            plibNewPosition->QuadPart = position_;
        return S_OK;
    }

    HRESULT SetSize(ULARGE_INTEGER) override { return STG_E_ACCESSDENIED; }
    HRESULT Commit(DWORD) override { return S_OK; }
    HRESULT Revert() override { return S_OK; }

    HRESULT Stat(STATSTG* pstatstg, DWORD) override
    {
        return FillStat(pstatstg, Size(), STGM_READ);
    }

    HRESULT Clone(IStream** ppstm) override
    {
        if (ppstm != nullptr)
            *ppstm = nullptr;
        return E_NOTIMPL;
    }

private:
    HRESULT Restart()
    {
        position_ = 0;
        decoder_ = rtf::RtfDecompressor();
        return compressed_.empty() ? S_OK : decoder_.Open(compressed_);
    }
    ULONGLONG Size() const { return compressed_.empty() ? 0 : decoder_.RawSize(); }

    std::vector<std::uint8_t> compressed_;
    rtf::RtfDecompressor decoder_;
    ULONGLONG position_ = 0;
};

// Write side: the caller writes plain RTF (starting from nothing); Commit replaces the underlying
// stream's content with its compressed form.
class CompressingStream final : public StreamBase {
public:
    CompressingStream(IStream* target, rtf::RtfCompression compression) : target_(target), compression_(compression)
    {
        target_->AddRef();
    }

    HRESULT Read(void* pv, ULONG cb, ULONG* pcbRead) override { return ReadFrom(rtf_, position_, pv, cb, pcbRead); }

    HRESULT Write(const void* pv, ULONG cb, ULONG* pcbWritten) override
    {
        if (pcbWritten != nullptr)
            *pcbWritten = 0;
        if (pv == nullptr && cb > 0)
            return STG_E_INVALIDPOINTER;
        return Guard([&] {
            if (position_ + cb > rtf_.size())
                rtf_.resize(position_ + cb);
            std::copy_n(static_cast<const std::uint8_t*>(pv), cb, rtf_.begin() + static_cast<std::ptrdiff_t>(position_));
            position_ += cb;
            if (pcbWritten != nullptr)
                *pcbWritten = cb;
            return S_OK;
        });
    }

    HRESULT Seek(LARGE_INTEGER dlibMove, DWORD dwOrigin, ULARGE_INTEGER* plibNewPosition) override
    {
        return SeekWithin(dlibMove, dwOrigin, rtf_.size(), position_, plibNewPosition);
    }

    HRESULT SetSize(ULARGE_INTEGER libNewSize) override
    {
        return Guard([&] {
            rtf_.resize(libNewSize.QuadPart);
            return S_OK;
        });
    }

    HRESULT Commit(DWORD grfCommitFlags) override
    {
        return Guard([&]() -> HRESULT {
            std::vector<std::uint8_t> compressed;
            HRESULT status = rtf::CompressRtf(rtf_, compressed, compression_);
            if (FAILED(status))
                return status;
            LARGE_INTEGER start{};
            ULONG written = 0;
            if (FAILED(status = target_->Seek(start, STREAM_SEEK_SET, nullptr)) ||
                FAILED(status = target_->Write(compressed.data(), static_cast<ULONG>(compressed.size()), &written)))
                return status;
            if (written != compressed.size())
                return STG_E_MEDIUMFULL;
            ULARGE_INTEGER size{};
            size.QuadPart = compressed.size();
            if (FAILED(status = target_->SetSize(size)))
                return status;
            committed_ = rtf_;
            return target_->Commit(grfCommitFlags);
        });
    }

    HRESULT Revert() override
    {
        return Guard([&] {
            rtf_ = committed_;
            position_ = std::min<ULONGLONG>(position_, rtf_.size());
            return S_OK;
        });
    }

    HRESULT Stat(STATSTG* pstatstg, DWORD) override
    {
        return FillStat(pstatstg, rtf_.size(), STGM_READWRITE);
    }

    HRESULT Clone(IStream** ppstm) override
    {
        if (ppstm != nullptr)
            *ppstm = nullptr;
        return E_NOTIMPL;
    }

private:
    ~CompressingStream() override { target_->Release(); }

    IStream* target_;
    rtf::RtfCompression compression_;
    std::vector<std::uint8_t> rtf_;
    std::vector<std::uint8_t> committed_;
    ULONGLONG position_ = 0;
};

} // namespace
} // namespace mapi

// Reading decompresses the content from the compressed stream's current position (the LZFu form
// with its CRC, or the uncompressed MELA form); a damaged header or CRC fails here with
// MAPI_E_CORRUPT_DATA, damage further in fails the Read. MAPI_NATIVE_BODY (the body in its native
// form instead of RTF) is not built.
STDAPI WrapCompressedRTFStream(LPSTREAM lpCompressedRTFStream, ULONG ulFlags, LPSTREAM* lpUncompressedRTFStream)
{
    if (lpUncompressedRTFStream == nullptr)
        return MAPI_E_INVALID_PARAMETER;
    *lpUncompressedRTFStream = nullptr;
    if (lpCompressedRTFStream == nullptr)
        return MAPI_E_INVALID_PARAMETER;
    if ((ulFlags & ~(MAPI_MODIFY | STORE_UNCOMPRESSED_RTF | MAPI_NATIVE_BODY)) != 0)
        return MAPI_E_UNKNOWN_FLAGS;
    if ((ulFlags & MAPI_NATIVE_BODY) != 0)
        return E_NOTIMPL;
    return mapi::Guard([&]() -> HRESULT {
        if ((ulFlags & MAPI_MODIFY) != 0) {
            auto compression = (ulFlags & STORE_UNCOMPRESSED_RTF) != 0 ? platform::rtf::RtfCompression::kUncompressed
                                                                        : platform::rtf::RtfCompression::kCompressed;
            *lpUncompressedRTFStream = new mapi::CompressingStream(lpCompressedRTFStream, compression);
            return S_OK;
        }
        std::vector<std::uint8_t> compressed;
        HRESULT status = mapi::ReadRest(lpCompressedRTFStream, compressed);
        if (FAILED(status))
            return status;
        auto* stream = new mapi::DecompressingStream();
        status = stream->Open(std::move(compressed));
        if (FAILED(status)) {
            stream->Release();
            return status;
        }
        *lpUncompressedRTFStream = stream;
        return S_OK;
    });
}
