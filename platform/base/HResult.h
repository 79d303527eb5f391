// The 32-bit status convention (HRESULT/SCODE) with the published Windows names.
#pragma once

#include <cstdint>

using HRESULT = std::int32_t;
using SCODE = std::int32_t;

// Published values, written as unsigned literals and cast so that they compare with HRESULT.
#define EX2QLN_HR(value) static_cast<HRESULT>(static_cast<std::uint32_t>(value))

inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT S_FALSE = 1;
inline constexpr HRESULT E_NOTIMPL = EX2QLN_HR(0x80004001u);
inline constexpr HRESULT E_NOINTERFACE = EX2QLN_HR(0x80004002u);
inline constexpr HRESULT E_POINTER = EX2QLN_HR(0x80004003u);
inline constexpr HRESULT E_FAIL = EX2QLN_HR(0x80004005u);
inline constexpr HRESULT E_OUTOFMEMORY = EX2QLN_HR(0x8007000Eu);
inline constexpr HRESULT E_INVALIDARG = EX2QLN_HR(0x80070057u);

inline constexpr bool SUCCEEDED(HRESULT hr) { return hr >= 0; }
inline constexpr bool FAILED(HRESULT hr) { return hr < 0; }

// A system error number e becomes 0x80070000 | (e & 0xFFFF), as Windows does for its error codes.
inline constexpr HRESULT HResultFromErrno(int error)
{
    return EX2QLN_HR(0x80070000u | (static_cast<std::uint32_t>(error) & 0xFFFFu));
}

// The peer closed the connection (the Windows Sockets "connection reset" code).
inline constexpr HRESULT kStatusConnectionClosed = EX2QLN_HR(0x80072749u);
