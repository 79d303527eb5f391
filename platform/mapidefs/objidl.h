// The COM storage interfaces that MAPI hands out and takes: streams, the task allocator, storages.
#pragma once

#include "unknwn.h"

inline constexpr IID IID_ISequentialStream = {0x0C733A30, 0x2A1C, 0x11CE, {0xAD, 0xE5, 0x00, 0xAA, 0x00, 0x44, 0x77, 0x3D}};
inline constexpr IID IID_IStream = {0x0000000C, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr IID IID_IStorage = {0x0000000B, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr IID IID_IMalloc = {0x00000002, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

// Storage access modes.
#define STGM_DIRECT 0x00000000
#define STGM_TRANSACTED 0x00010000
#define STGM_SIMPLE 0x08000000
#define STGM_READ 0x00000000
#define STGM_WRITE 0x00000001
#define STGM_READWRITE 0x00000002
#define STGM_SHARE_DENY_NONE 0x00000040
#define STGM_SHARE_DENY_READ 0x00000030
#define STGM_SHARE_DENY_WRITE 0x00000020
#define STGM_SHARE_EXCLUSIVE 0x00000010
#define STGM_PRIORITY 0x00040000
#define STGM_DELETEONRELEASE 0x04000000
#define STGM_NOSCRATCH 0x00100000
#define STGM_CREATE 0x00001000
#define STGM_CONVERT 0x00020000
#define STGM_FAILIFTHERE 0x00000000

#define STREAM_SEEK_SET 0
#define STREAM_SEEK_CUR 1
#define STREAM_SEEK_END 2

#define STGC_DEFAULT 0
#define STGC_OVERWRITE 1
#define STGC_ONLYIFCURRENT 2
#define STGC_DANGEROUSLYCOMMITMERELYTODISKCACHE 4

#define STATFLAG_DEFAULT 0
#define STATFLAG_NONAME 1

#define STGTY_STORAGE 1
#define STGTY_STREAM 2

#define LOCK_WRITE 1
#define LOCK_EXCLUSIVE 2
#define LOCK_ONLYONCE 4

// Storage errors.
inline constexpr HRESULT STG_E_INVALIDFUNCTION = EX2QLN_HR(0x80030001u);
inline constexpr HRESULT STG_E_FILENOTFOUND = EX2QLN_HR(0x80030002u);
inline constexpr HRESULT STG_E_ACCESSDENIED = EX2QLN_HR(0x80030005u);
inline constexpr HRESULT STG_E_INSUFFICIENTMEMORY = EX2QLN_HR(0x80030008u);
inline constexpr HRESULT STG_E_INVALIDPOINTER = EX2QLN_HR(0x80030009u);
inline constexpr HRESULT STG_E_SEEKERROR = EX2QLN_HR(0x80030019u);
inline constexpr HRESULT STG_E_WRITEFAULT = EX2QLN_HR(0x8003001Du);
inline constexpr HRESULT STG_E_READFAULT = EX2QLN_HR(0x8003001Eu);
inline constexpr HRESULT STG_E_FILEALREADYEXISTS = EX2QLN_HR(0x80030050u);
inline constexpr HRESULT STG_E_INVALIDPARAMETER = EX2QLN_HR(0x80030057u);
inline constexpr HRESULT STG_E_MEDIUMFULL = EX2QLN_HR(0x80030070u);
inline constexpr HRESULT STG_E_INVALIDNAME = EX2QLN_HR(0x800300FCu);
inline constexpr HRESULT STG_E_INVALIDFLAG = EX2QLN_HR(0x800300FFu);
inline constexpr HRESULT STG_E_DOCFILETOOLARGE = EX2QLN_HR(0x80030111u);

struct STATSTG {
    LPOLESTR pwcsName;
    DWORD type;
    ULARGE_INTEGER cbSize;
    FILETIME mtime;
    FILETIME ctime;
    FILETIME atime;
    DWORD grfMode;
    DWORD grfLocksSupported;
    CLSID clsid;
    DWORD grfStateBits;
    DWORD reserved;
};

class ISequentialStream : public IUnknown {
public:
    virtual HRESULT Read(void* pv, ULONG cb, ULONG* pcbRead) = 0;
    virtual HRESULT Write(const void* pv, ULONG cb, ULONG* pcbWritten) = 0;
};

class IStream : public ISequentialStream {
public:
    virtual HRESULT Seek(LARGE_INTEGER dlibMove, DWORD dwOrigin, ULARGE_INTEGER* plibNewPosition) = 0;
    virtual HRESULT SetSize(ULARGE_INTEGER libNewSize) = 0;
    virtual HRESULT CopyTo(IStream* pstm, ULARGE_INTEGER cb, ULARGE_INTEGER* pcbRead,
                           ULARGE_INTEGER* pcbWritten) = 0;
    virtual HRESULT Commit(DWORD grfCommitFlags) = 0;
    virtual HRESULT Revert() = 0;
    virtual HRESULT LockRegion(ULARGE_INTEGER libOffset, ULARGE_INTEGER cb, DWORD dwLockType) = 0;
    virtual HRESULT UnlockRegion(ULARGE_INTEGER libOffset, ULARGE_INTEGER cb, DWORD dwLockType) = 0;
    virtual HRESULT Stat(STATSTG* pstatstg, DWORD grfStatFlag) = 0;
    virtual HRESULT Clone(IStream** ppstm) = 0;
};
using LPSTREAM = IStream*;

class IMalloc : public IUnknown {
public:
    virtual void* Alloc(std::size_t cb) = 0;
    virtual void* Realloc(void* pv, std::size_t cb) = 0;
    virtual void Free(void* pv) = 0;
    virtual std::size_t GetSize(void* pv) = 0;
    virtual int DidAlloc(void* pv) = 0;
    virtual void HeapMinimize() = 0;
};
using LPMALLOC = IMalloc*;

class IEnumSTATSTG;
using SNB = LPOLESTR*;

class IStorage : public IUnknown {
public:
    virtual HRESULT CreateStream(const WCHAR* pwcsName, DWORD grfMode, DWORD reserved1, DWORD reserved2,
                                 IStream** ppstm) = 0;
    virtual HRESULT OpenStream(const WCHAR* pwcsName, void* reserved1, DWORD grfMode, DWORD reserved2,
                               IStream** ppstm) = 0;
    virtual HRESULT CreateStorage(const WCHAR* pwcsName, DWORD grfMode, DWORD reserved1, DWORD reserved2,
                                  IStorage** ppstg) = 0;
    virtual HRESULT OpenStorage(const WCHAR* pwcsName, IStorage* pstgPriority, DWORD grfMode, SNB snbExclude,
                                DWORD reserved, IStorage** ppstg) = 0;
    virtual HRESULT CopyTo(DWORD ciidExclude, const IID* rgiidExclude, SNB snbExclude, IStorage* pstgDest) = 0;
    virtual HRESULT MoveElementTo(const WCHAR* pwcsName, IStorage* pstgDest, const WCHAR* pwcsNewName,
                                  DWORD grfFlags) = 0;
    virtual HRESULT Commit(DWORD grfCommitFlags) = 0;
    virtual HRESULT Revert() = 0;
    virtual HRESULT EnumElements(DWORD reserved1, void* reserved2, DWORD reserved3, IEnumSTATSTG** ppenum) = 0;
    virtual HRESULT DestroyElement(const WCHAR* pwcsName) = 0;
    virtual HRESULT RenameElement(const WCHAR* pwcsOldName, const WCHAR* pwcsNewName) = 0;
    virtual HRESULT SetElementTimes(const WCHAR* pwcsName, const FILETIME* pctime, const FILETIME* patime,
                                    const FILETIME* pmtime) = 0;
    virtual HRESULT SetClass(REFCLSID clsid) = 0;
    virtual HRESULT SetStateBits(DWORD grfStateBits, DWORD grfMask) = 0;
    virtual HRESULT Stat(STATSTG* pstatstg, DWORD grfStatFlag) = 0;
};
using LPSTORAGE = IStorage*;

// A growable memory stream. The runtime keeps its own memory: hGlobal must be null. With
// fDeleteOnRelease ignored, the memory goes with the last stream that shares it (clones share it).
STDAPI CreateStreamOnHGlobal(HGLOBAL hGlobal, BOOL fDeleteOnRelease, LPSTREAM* ppstm);
