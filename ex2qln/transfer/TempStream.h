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

// The temporary file behind the streams of one transfer's uploads, one at a time: made by the first
// message that outgrows its window and taken again by the next, which overwrites it (a message over
// CTempStream::kSpillKeptSize empties it when done), so that an upload neither creates nor deletes a
// file. It is deleted when released.
class SpillFile {
public:
    // The file, created on first use.
    HRESULT Take(LPALLOCATEBUFFER allocateBuffer, LPFREEBUFFER freeBuffer, IStream** file);

private:
    MapiPtr<IStream> file_;
};

class CTempStream final : public IStream {
public:
    static constexpr std::uint32_t kWindowSize = 32768;
    // A spill file keeps a message's bytes up to this size for the next one to overwrite; a larger
    // message empties it when released.
    static constexpr std::uint64_t kSpillKeptSize = 1 << 20;

    // The allocation functions go to OpenStreamOnFile for the backing file. With `spill`, the
    // backing file is the spill file, emptied again when the stream is released; without it, a file
    // of the stream's own.
    CTempStream(LPALLOCATEBUFFER allocateBuffer, LPFREEBUFFER freeBuffer, SpillFile* spill = nullptr);
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
    ~CTempStream();

    std::uint32_t WindowStart() const { return position_ - position_ % kWindowSize; }
    // Puts the window over `position`, writing back what it held and reading what the file has there.
    HRESULT MoveWindow(std::uint32_t position);
    HRESULT CreateBackingFile();

    std::atomic<ULONG> references_{1};
    LPALLOCATEBUFFER allocateBuffer_;
    LPFREEBUFFER freeBuffer_;
    SpillFile* spill_;
    MapiPtr<IStream> backing_;
    std::uint32_t position_ = 0;
    // The stream's own size: the backing file may lag behind the window or, taken again, run past it.
    std::uint64_t size_ = 0;
    std::uint32_t windowFill_ = 0;
    bool dirty_ = false;
    // Left unset: only its first windowFill_ bytes are ever read, and each stream of an upload would
    // otherwise clear 32 KiB for nothing.
    std::array<char, kWindowSize> window_;
};

// The stream the upload converts into: a CTempStream with `useTemporaryFile` (spilling into `spill`
// when given), else a plain memory stream.
HRESULT CreateTempStream(LPALLOCATEBUFFER allocateBuffer, LPFREEBUFFER freeBuffer, bool useTemporaryFile,
                         IStream** stream, SpillFile* spill = nullptr);

} // namespace ex2qln::transfer
