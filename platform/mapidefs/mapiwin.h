// The Windows base types that the published MAPI headers build on, with their Windows sizes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "platform/base/HResult.h"

using ULONG = std::uint32_t;
using LONG = std::int32_t;
using USHORT = std::uint16_t;
using SHORT = std::int16_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using BYTE = std::uint8_t;
using BOOL = int;
using LONGLONG = std::int64_t;
using ULONGLONG = std::uint64_t;
using ULONG_PTR = std::uintptr_t;
using LONG_PTR = std::intptr_t;
using UINT = unsigned int;
using FLAGS = ULONG;
// Texts of MAPI's Unicode forms (PT_UNICODE, MAPI_UNICODE) are UTF-16, as on Windows.
using WCHAR = char16_t;
using CHAR = char;

using LPVOID = void*;
using LPCVOID = const void*;
using LPBYTE = BYTE*;
using LPULONG = ULONG*;
using LPLONG = LONG*;
using LPBOOL = BOOL*;
using LPSTR = char*;
using LPCSTR = const char*;
using LPWSTR = WCHAR*;
using LPCWSTR = const WCHAR*;
using LPOLESTR = WCHAR*;
using LPCOLESTR = const WCHAR*;
// The program is an 8-bit build: wide texts pass as LPTSTR with MAPI_UNICODE, as on Windows.
using TCHAR = char;
using LPTSTR = char*;
using LPCTSTR = const char*;
using HGLOBAL = void*;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

struct FILETIME {
    DWORD dwLowDateTime;
    DWORD dwHighDateTime;
};
using LPFILETIME = FILETIME*;

union LARGE_INTEGER {
    struct {
        DWORD LowPart;
        LONG HighPart;
    } u;
    LONGLONG QuadPart;
};
union ULARGE_INTEGER {
    struct {
        DWORD LowPart;
        DWORD HighPart;
    } u;
    ULONGLONG QuadPart;
};

struct GUID {
    std::uint32_t Data1;
    std::uint16_t Data2;
    std::uint16_t Data3;
    std::uint8_t Data4[8];
};
using IID = GUID;
using CLSID = GUID;
using LPGUID = GUID*;
using LPIID = IID*;
using LPCIID = const IID*;
using LPCGUID = const GUID*;
using REFIID = const IID&;
using REFGUID = const GUID&;
using REFCLSID = const CLSID&;

inline bool IsEqualGUID(REFGUID a, REFGUID b) { return std::memcmp(&a, &b, sizeof(GUID)) == 0; }
inline bool IsEqualIID(REFIID a, REFIID b) { return IsEqualGUID(a, b); }
inline bool operator==(REFGUID a, REFGUID b) { return IsEqualGUID(a, b); }

#define MAKE_SCODE(severity, facility, code)                                                       \
    static_cast<SCODE>((static_cast<std::uint32_t>(severity) << 31) |                              \
                       (static_cast<std::uint32_t>(facility) << 16) | static_cast<std::uint32_t>(code))
#define SEVERITY_SUCCESS 0
#define SEVERITY_ERROR 1
#define FACILITY_NULL 0
#define FACILITY_STORAGE 3
#define FACILITY_ITF 4
#define FACILITY_WIN32 7
#define HR_SUCCEEDED(hr) SUCCEEDED(hr)
#define HR_FAILED(hr) FAILED(hr)
#define GetScode(hr) (static_cast<SCODE>(hr))
#define ResultFromScode(sc) (static_cast<HRESULT>(sc))

inline constexpr HRESULT E_ACCESSDENIED = EX2QLN_HR(0x80070005u);
inline constexpr HRESULT E_UNEXPECTED = EX2QLN_HR(0x8000FFFFu);

// Published entry points have C linkage and stay visible when the runtime hides everything else.
#define MAPI_EXPORT extern "C" __attribute__((visibility("default")))
#define STDAPI MAPI_EXPORT HRESULT
#define STDAPI_(type) MAPI_EXPORT type
#define STDMETHODCALLTYPE
