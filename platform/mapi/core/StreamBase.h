// The parts of IStream that the runtime's memory and file streams share.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <span>

#include "platform/mapi/core/ComObject.h"

namespace mapi {

class StreamBase : public ComObject<IStream> {
public:
    HRESULT QueryInterface(REFIID riid, LPVOID* ppvObj) override
    {
        return QueryFor(riid, ppvObj, {&IID_IUnknown, &IID_ISequentialStream, &IID_IStream});
    }

    HRESULT CopyTo(IStream* pstm, ULARGE_INTEGER cb, ULARGE_INTEGER* pcbRead, ULARGE_INTEGER* pcbWritten) override
    {
        if (pstm == nullptr)
            return STG_E_INVALIDPOINTER;
        ULONGLONG read = 0;
        ULONGLONG written = 0;
        HRESULT status = S_OK;
        char buffer[16384];
        while (read < cb.QuadPart) {
            ULONG want = static_cast<ULONG>(std::min<ULONGLONG>(sizeof(buffer), cb.QuadPart - read));
            ULONG got = 0;
            status = Read(buffer, want, &got);
            if (FAILED(status) || got == 0)
                break;
            read += got;
            ULONG put = 0;
            status = pstm->Write(buffer, got, &put);
            written += put;
            if (FAILED(status))
                break;
        }
        if (pcbRead != nullptr)
            pcbRead->QuadPart = read;
        if (pcbWritten != nullptr)
            pcbWritten->QuadPart = written;
        return FAILED(status) ? status : S_OK;
    }

    HRESULT LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return STG_E_INVALIDFUNCTION; }
    HRESULT UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return STG_E_INVALIDFUNCTION; }

protected:
    // Stat's answer for a stream of `size` bytes opened with `mode`, stamped now.
    static HRESULT FillStat(STATSTG* pstatstg, ULONGLONG size, DWORD mode)
    {
        if (pstatstg == nullptr)
            return STG_E_INVALIDPOINTER;
        *pstatstg = STATSTG{};
        pstatstg->type = STGTY_STREAM;
        pstatstg->cbSize.QuadPart = size;
        pstatstg->mtime = pstatstg->ctime = pstatstg->atime = Now();
        pstatstg->grfMode = mode;
        return S_OK;
    }

    // Read of a stream whose bytes are in memory: copies from `position` on and moves it past them.
    static HRESULT ReadFrom(std::span<const std::uint8_t> bytes, ULONGLONG& position, void* pv, ULONG cb,
                            ULONG* pcbRead)
    {
        if (pv == nullptr && cb > 0)
            return STG_E_INVALIDPOINTER;
        ULONG count = position >= bytes.size() ? 0 : static_cast<ULONG>(std::min<ULONGLONG>(cb, bytes.size() - position));
        if (count > 0)
            std::memcpy(pv, bytes.data() + position, count);
        position += count;
        if (pcbRead != nullptr)
            *pcbRead = count;
        return S_OK;
    }

    // Seek of a stream of `size` bytes that keeps its own `position`.
    static HRESULT SeekWithin(LARGE_INTEGER move, DWORD origin, ULONGLONG size, ULONGLONG& position,
                              ULARGE_INTEGER* newPosition)
    {
        ULONGLONG target = 0;
        HRESULT status = NewPosition(move, origin, position, size, target);
        if (status != S_OK)
            return status;
        position = target;
        if (newPosition != nullptr)
            newPosition->QuadPart = position;
        return S_OK;
    }

    // The new position for Seek, or a failure for an unknown origin or a position before the start.
    static HRESULT NewPosition(LARGE_INTEGER move, DWORD origin, ULONGLONG current, ULONGLONG size, ULONGLONG& result)
    {
        long long base = 0;
        switch (origin) {
        case STREAM_SEEK_SET: base = 0; break;
        case STREAM_SEEK_CUR: base = static_cast<long long>(current); break;
        case STREAM_SEEK_END: base = static_cast<long long>(size); break;
        default: return STG_E_INVALIDFUNCTION;
        }
        long long target = base + move.QuadPart;
        if (target < 0)
            return STG_E_SEEKERROR;
        result = static_cast<ULONGLONG>(target);
        return S_OK;
    }

    static FILETIME Now()
    {
        // FILETIME counts 100 ns steps from 1601-01-01.
        constexpr ULONGLONG kUnixEpoch = 116444736000000000ull;
        auto since = std::chrono::system_clock::now().time_since_epoch();
        ULONGLONG ticks = kUnixEpoch + std::chrono::duration_cast<std::chrono::nanoseconds>(since).count() / 100;
        return {static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
    }
};

} // namespace mapi
