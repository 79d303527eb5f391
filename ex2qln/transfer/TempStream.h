// CTempStream: the stream a message is converted into before it is uploaded. A 32 KiB window in
// memory holds the part around the position; only a message that outgrows it goes to a temporary
// file, which is deleted when the stream is released.
#pragma once

#include "platform/base/HResult.h"

#include <mapidefs.h>
#include <objidl.h>

#include <MapiPtr.h>

#include <array>
#include <atomic>
#include <cstdint>

namespace ex2qln::transfer {

class CTempStream final : public IStream {
public:
    static constexpr std::uint32_t kWindowSize = 32768;

    // The allocation functions go to OpenStreamOnFile for the backing file.
    CTempStream(LPALLOCATEBUFFER allocateBuffer, LPFREEBUFFER freeBuffer);
    CTempStream(const CTempStream&) = delete;
    CTempStream& operator=(const CTempStream&) = delete;

    HRESULT QueryInterface(REFIID riid, LPVOID* ppvObj) override;
    ULONG AddRef() override;
    ULONG Release() override;

    HRESULT Read(void* pv, ULONG cb, ULONG* pcbRead) override;
    // Fails with STG_E_MEDIUMFULL rather than run past 4 GiB, the most the stream addresses.
    HRESULT Write(const void* pv, ULONG cb, ULONG* pcbWritten) override;
    HRESULT Seek(LARGE_INTEGER dlibMove, DWORD dwOrigin, ULARGE_INTEGER* plibNewPosition) override;
    HRESULT SetSize(ULARGE_INTEGER libNewSize) override;
    HRESULT CopyTo(IStream* pstm, ULARGE_INTEGER cb, ULARGE_INTEGER* pcbRead, ULARGE_INTEGER* pcbWritten) override;
    HRESULT Commit(DWORD) override { return S_OK; }
    HRESULT Revert() override { return E_NOTIMPL; }
    HRESULT LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return S_OK; }
    HRESULT UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return S_OK; }
    HRESULT Stat(STATSTG* pstatstg, DWORD grfStatFlag) override;
    HRESULT Clone(IStream** ppstm) override;

    // Whether the stream has gone to its temporary file (for tests and traces).
    bool HasBackingFile() const { return static_cast<bool>(backing_); }

private:
    ~CTempStream() = default;

    std::uint32_t WindowStart() const { return position_ - position_ % kWindowSize; }
    // Where the window's data ends; an empty window (a position beyond a cut stream's end) adds nothing.
    std::uint64_t WindowEnd() const { return windowFill_ == 0 ? 0 : std::uint64_t{WindowStart()} + windowFill_; }
    // Puts the window over `position`, writing back what it held and reading what the file has there.
    HRESULT MoveWindow(std::uint32_t position);
    HRESULT CreateBackingFile();
    HRESULT CurrentSize(std::uint64_t& size);

    std::atomic<ULONG> references_{1};
    LPALLOCATEBUFFER allocateBuffer_;
    LPFREEBUFFER freeBuffer_;
    MapiPtr<IStream> backing_;
    std::uint32_t position_ = 0;
    std::uint32_t windowFill_ = 0;
    bool dirty_ = false;
    std::array<char, kWindowSize> window_{};
};

// The stream the upload converts into: a CTempStream with `useTemporaryFile`, else a plain memory
// stream.
HRESULT CreateTempStream(LPALLOCATEBUFFER allocateBuffer, LPFREEBUFFER freeBuffer, bool useTemporaryFile,
                         IStream** stream);

} // namespace ex2qln::transfer
