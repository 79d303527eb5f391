// CTempStream: the window over the message's bytes and the temporary file behind it.
#include "ex2qln/transfer/TempStream.h"

#include "ex2qln/diag/Log.h"

#include <mapicode.h>
#include <mapiutil.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>

namespace ex2qln::transfer {
namespace {

// A unique file in the temporary directory that goes when the stream is released.
constexpr ULONG kBackingFileFlags = SOF_UNIQUEFILENAME | STGM_DELETEONRELEASE | STGM_CREATE | STGM_READWRITE;
constexpr std::uint64_t kLargestSize = std::numeric_limits<std::uint32_t>::max();

unsigned long Address(const void* object) { return static_cast<unsigned long>(reinterpret_cast<std::uintptr_t>(object)); }

void TraceStream(const char* format, const void* object, long first = 0, long second = 0, long third = 0)
{
    if (diag::TraceOn(diag::kTraceStreams))
        diag::Trace(format, Address(object), first, second, third);
}

HRESULT CreateBackingFile(LPALLOCATEBUFFER allocateBuffer, LPFREEBUFFER freeBuffer, IStream** file)
{
    return QLN_CHECK(OpenStreamOnFile(allocateBuffer, freeBuffer, kBackingFileFlags, nullptr, nullptr, file));
}

} // namespace

HRESULT SpillFile::Take(LPALLOCATEBUFFER allocateBuffer, LPFREEBUFFER freeBuffer, IStream** file)
{
    *file = nullptr;
    if (!file_) {
        if (HRESULT status = CreateBackingFile(allocateBuffer, freeBuffer, file_.put()); FAILED(status))
            return status;
    }
    file_->AddRef();
    *file = file_.get();
    return S_OK;
}

CTempStream::CTempStream(LPALLOCATEBUFFER allocateBuffer, LPFREEBUFFER freeBuffer, SpillFile* spill)
    : allocateBuffer_(allocateBuffer), freeBuffer_(freeBuffer), spill_(spill)
{
}

CTempStream::~CTempStream()
{
    // The next message overwrites what a small one left; a large one does not hold the disk meanwhile.
    if (spill_ != nullptr && backing_ && size_ > kSpillKeptSize)
        backing_->SetSize(ULARGE_INTEGER{});
}

HRESULT CTempStream::QueryInterface(REFIID riid, LPVOID* ppvObj)
{
    if (ppvObj == nullptr)
        return E_INVALIDARG;
    *ppvObj = nullptr;
    if (riid != IID_IUnknown && riid != IID_ISequentialStream && riid != IID_IStream)
        return E_NOINTERFACE;
    AddRef();
    *ppvObj = static_cast<IStream*>(this);
    return S_OK;
}

ULONG CTempStream::AddRef() { return ++references_; }

ULONG CTempStream::Release()
{
    const ULONG left = --references_;
    if (left == 0)
        delete this;
    return left;
}

HRESULT CTempStream::Read(void* pv, ULONG cb, ULONG* pcbRead)
{
    TraceStream("CTempStream(%#lx)::Read %ld@%ld\n", this, static_cast<long>(cb), static_cast<long>(position_));
    if (pcbRead != nullptr)
        *pcbRead = 0;
    if (pv == nullptr && cb > 0)
        return STG_E_INVALIDPOINTER;
    ULONG copied = 0;
    while (copied < cb) {
        const std::uint32_t offset = position_ % kWindowSize;
        if (offset >= windowFill_)
            break;
        const std::uint32_t count = std::min<std::uint32_t>(cb - copied, windowFill_ - offset);
        std::memcpy(static_cast<char*>(pv) + copied, window_.data() + offset, count);
        copied += count;
        if (offset + count == kWindowSize) {
            if (HRESULT status = MoveWindow(position_ + count); FAILED(status)) {
                if (pcbRead != nullptr)
                    *pcbRead = copied;
                return status;
            }
        } else {
            position_ += count;
        }
    }
    if (pcbRead != nullptr)
        *pcbRead = copied;
    return S_OK;
}

HRESULT CTempStream::Write(const void* pv, ULONG cb, ULONG* pcbWritten)
{
    TraceStream("CTempStream(%#lx)::Write %ld@%ld\n", this, static_cast<long>(cb), static_cast<long>(position_));
    if (pcbWritten != nullptr)
        *pcbWritten = 0;
    if (pv == nullptr && cb > 0)
        return STG_E_INVALIDPOINTER;
    if (position_ + static_cast<std::uint64_t>(cb) > kLargestSize)
        return STG_E_MEDIUMFULL;
    ULONG written = 0;
    while (written < cb) {
        const std::uint32_t offset = position_ % kWindowSize;
        const std::uint32_t count = std::min<std::uint32_t>(cb - written, kWindowSize - offset);
        std::memcpy(window_.data() + offset, static_cast<const char*>(pv) + written, count);
        dirty_ = true;
        windowFill_ = std::max(windowFill_, offset + count);
        size_ = std::max<std::uint64_t>(size_, std::uint64_t{position_} + count);
        written += count;
        if (offset + count == kWindowSize) {
            if (HRESULT status = MoveWindow(position_ + count); FAILED(status)) {
                if (pcbWritten != nullptr)
                    *pcbWritten = written;
                return status;
            }
        } else {
            position_ += count;
        }
    }
    if (pcbWritten != nullptr)
        *pcbWritten = written;
    return S_OK;
}

HRESULT CTempStream::MoveWindow(std::uint32_t position)
{
    const std::uint32_t newStart = position - position % kWindowSize;
    if (newStart == WindowStart()) {
        position_ = position;
        return S_OK;
    }
    if (!backing_) {
        if (HRESULT status = CreateBackingFile(); FAILED(status))
            return status;
    }
    if (dirty_) {
        LARGE_INTEGER start{};
        start.QuadPart = WindowStart();
        HRESULT status = backing_->Seek(start, STREAM_SEEK_SET, nullptr);
        ULONG written = 0;
        if (SUCCEEDED(status))
            status = backing_->Write(window_.data(), windowFill_, &written);
        if (SUCCEEDED(status) && written != windowFill_)
            status = STG_E_WRITEFAULT;
        if (FAILED(status))
            return status;
        dirty_ = false;
    }
    // Past this stream's end there is nothing of its own to read back.
    if (newStart >= size_) {
        windowFill_ = 0;
        position_ = position;
        return S_OK;
    }
    LARGE_INTEGER start{};
    start.QuadPart = newStart;
    HRESULT status = backing_->Seek(start, STREAM_SEEK_SET, nullptr);
    // Only up to this stream's end: a spill file taken again may still hold an earlier message's
    // bytes past it, and asking for more than the file holds costs one more read to find its end.
    const auto wanted = static_cast<ULONG>(std::min<std::uint64_t>(kWindowSize, size_ - newStart));
    ULONG read = 0;
    if (SUCCEEDED(status))
        status = backing_->Read(window_.data(), wanted, &read);
    if (FAILED(status))
        return status;
    windowFill_ = read;
    position_ = position;
    return S_OK;
}

HRESULT CTempStream::CreateBackingFile()
{
    HRESULT status = spill_ != nullptr ? spill_->Take(allocateBuffer_, freeBuffer_, backing_.put())
                                       : transfer::CreateBackingFile(allocateBuffer_, freeBuffer_, backing_.put());
    if (FAILED(status))
        backing_.reset();
    return status;
}

HRESULT CTempStream::Seek(LARGE_INTEGER dlibMove, DWORD dwOrigin, ULARGE_INTEGER* plibNewPosition)
{
    TraceStream("CTempStream(%#lx)::Seek %ld+%ld@%ld\n", this, static_cast<long>(dlibMove.QuadPart),
                static_cast<long>(dwOrigin), static_cast<long>(position_));
    const std::int64_t move = dlibMove.QuadPart;
    if ((static_cast<std::uint64_t>(move) >> 32) != 0 && (move >= 0 || dwOrigin == STREAM_SEEK_SET))
        return E_INVALIDARG;
    const std::uint64_t size = size_;
    std::int64_t target = 0;
    switch (dwOrigin) {
    case STREAM_SEEK_SET: target = move; break;
    case STREAM_SEEK_CUR: target = static_cast<std::int64_t>(position_) + move; break;
    case STREAM_SEEK_END: target = static_cast<std::int64_t>(size) + move; break;
    default: return E_INVALIDARG;
    }
    if (target < 0 || static_cast<std::uint64_t>(target) > kLargestSize)
        return E_INVALIDARG;
    if (static_cast<std::uint64_t>(target) > size) {
        ULARGE_INTEGER newSize{};
        newSize.QuadPart = static_cast<std::uint64_t>(target);
        if (HRESULT status = SetSize(newSize); FAILED(status))
            return status;
    }
    if (HRESULT status = MoveWindow(static_cast<std::uint32_t>(target)); FAILED(status))
        return status;
    if (plibNewPosition != nullptr)
        plibNewPosition->QuadPart = position_;
    return S_OK;
}

HRESULT CTempStream::SetSize(ULARGE_INTEGER libNewSize)
{
    TraceStream("CTempStream(%#lx)::SetSize %ld\n", this, static_cast<long>(libNewSize.QuadPart));
    if (libNewSize.QuadPart > kLargestSize)
        return E_INVALIDARG;
    const std::uint64_t start = WindowStart();
    const std::uint64_t size = libNewSize.QuadPart;
    // Only the window's bytes live in memory: a size beyond it needs the file.
    if (!backing_ && size > start + kWindowSize) {
        if (HRESULT status = CreateBackingFile(); FAILED(status))
            return status;
    }
    if (backing_) {
        // Growing: what lies past the old end reads as zeros, even in a spill file taken again.
        ULARGE_INTEGER oldSize{};
        oldSize.QuadPart = size_;
        HRESULT status = size > size_ ? backing_->SetSize(oldSize) : S_OK;
        if (SUCCEEDED(status))
            status = backing_->SetSize(libNewSize);
        if (FAILED(status))
            return status;
    }
    size_ = size;
    if (size <= start) {
        windowFill_ = 0;
        return S_OK;
    }
    const auto fill = static_cast<std::uint32_t>(std::min<std::uint64_t>(size - start, kWindowSize));
    // Bytes that a larger size brings into the window read as zeros, as in a grown file.
    if (fill > windowFill_)
        std::memset(window_.data() + windowFill_, 0, fill - windowFill_);
    if (fill != windowFill_)
        dirty_ = true;
    windowFill_ = fill;
    return S_OK;
}

HRESULT CTempStream::CopyTo(IStream* pstm, ULARGE_INTEGER cb, ULARGE_INTEGER* pcbRead, ULARGE_INTEGER* pcbWritten)
{
    TraceStream("CTempStream(%#lx)::CopyTo\n", this);
    if (pstm == nullptr)
        return STG_E_INVALIDPOINTER;
    std::uint64_t read = 0;
    std::uint64_t written = 0;
    HRESULT status = S_OK;
    char chunk[4096];
    while (read < cb.QuadPart) {
        ULONG got = 0;
        status = Read(chunk, static_cast<ULONG>(std::min<std::uint64_t>(sizeof chunk, cb.QuadPart - read)), &got);
        if (FAILED(status) || got == 0)
            break;
        read += got;
        ULONG put = 0;
        status = pstm->Write(chunk, got, &put);
        written += put;
        if (FAILED(status))
            break;
    }
    if (pcbRead != nullptr)
        pcbRead->QuadPart = read;
    if (pcbWritten != nullptr)
        pcbWritten->QuadPart = written;
    return status;
}

HRESULT CTempStream::Stat(STATSTG* pstatstg, DWORD grfStatFlag)
{
    TraceStream("CTempStream(%#lx)::Stat %#lx\n", this, static_cast<long>(grfStatFlag));
    if (pstatstg == nullptr)
        return STG_E_INVALIDPOINTER;
    // The stream's own account: the backing file may lag behind the window or run past the end.
    *pstatstg = STATSTG{};
    pstatstg->type = STGTY_STREAM;
    pstatstg->cbSize.QuadPart = size_;
    return S_OK;
}

HRESULT CTempStream::Clone(IStream** ppstm)
{
    if (ppstm != nullptr)
        *ppstm = nullptr;
    return E_NOTIMPL;
}

HRESULT CreateTempStream(LPALLOCATEBUFFER allocateBuffer, LPFREEBUFFER freeBuffer, bool useTemporaryFile,
                         IStream** stream, SpillFile* spill)
{
    if (stream == nullptr)
        return E_INVALIDARG;
    *stream = nullptr;
    if (!useTemporaryFile)
        return CreateStreamOnHGlobal(nullptr, TRUE, stream);
    auto* created = new (std::nothrow) CTempStream(allocateBuffer, freeBuffer, spill);
    if (created == nullptr)
        return E_OUTOFMEMORY;
    const HRESULT status = created->QueryInterface(IID_IStream, reinterpret_cast<LPVOID*>(stream));
    created->Release();
    return status;
}

} // namespace ex2qln::transfer
