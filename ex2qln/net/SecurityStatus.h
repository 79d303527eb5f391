// Statuses of the secure channel, with the published Windows values the clients expect to see.
#pragma once

#include "platform/base/HResult.h"

namespace ex2qln::net {

inline constexpr HRESULT kSecEInsufficientMemory = EX2QLN_HR(0x80090300u);
inline constexpr HRESULT kSecEInternalError = EX2QLN_HR(0x80090304u);
inline constexpr HRESULT kSecENoCredentials = EX2QLN_HR(0x8009030Eu);
inline constexpr HRESULT kSecEOutOfSequence = EX2QLN_HR(0x80090310u);
inline constexpr HRESULT kSecEContextExpired = EX2QLN_HR(0x80090317u);
inline constexpr HRESULT kSecEWrongPrincipal = EX2QLN_HR(0x80090322u);
inline constexpr HRESULT kSecEUntrustedRoot = EX2QLN_HR(0x80090325u);
inline constexpr HRESULT kSecEIllegalMessage = EX2QLN_HR(0x80090326u);
inline constexpr HRESULT kSecECertExpired = EX2QLN_HR(0x80090328u);

// Name resolution failures keep the Windows Sockets codes (WSAHOST_NOT_FOUND and its neighbours).
inline constexpr HRESULT kStatusHostNotFound = EX2QLN_HR(0x80072AF9u);
inline constexpr HRESULT kStatusTryAgain = EX2QLN_HR(0x80072AFAu);
inline constexpr HRESULT kStatusNoRecovery = EX2QLN_HR(0x80072AFBu);

// A receive, send or connect that outlived the socket's time-out (WSAETIMEDOUT).
inline constexpr HRESULT kStatusTimedOut = EX2QLN_HR(0x8007274Cu);

} // namespace ex2qln::net
