// The failure the organisation reader carries from the place of a fault to its entry points.
#pragma once

#include "platform/base/HResult.h"

#include <string>

namespace platform::orgsource {

// Published MAPI status values the reader gives.
inline constexpr HRESULT kOrgNotFound = EX2QLN_HR(0x8004010Fu);         // MAPI_E_NOT_FOUND
inline constexpr HRESULT kOrgTooBig = EX2QLN_HR(0x80040305u);           // MAPI_E_TOO_BIG
inline constexpr HRESULT kOrgCorruptData = EX2QLN_HR(0x8004011Bu);      // MAPI_E_CORRUPT_DATA
inline constexpr HRESULT kOrgBadValue = EX2QLN_HR(0x80040301u);         // MAPI_E_BAD_VALUE
inline constexpr HRESULT kOrgUnknownName = EX2QLN_HR(0x80070057u);      // MAPI_E_INVALID_PARAMETER
inline constexpr HRESULT kOrgCollision = EX2QLN_HR(0x80040604u);        // MAPI_E_COLLISION

// Thrown inside the reader only; the entry points turn it into a status and a text.
struct ReadError {
    HRESULT status;
    std::string path;     // the JSON path, e.g. "mailboxes[2].folders[0]"; may be empty
    std::string message;  // what is wrong there
};

// "a.b", "a[3]": the path of a member or an element below `path`.
inline std::string MemberPath(const std::string& path, const std::string& member)
{
    return path.empty() ? member : path + "." + member;
}

inline std::string ElementPath(const std::string& path, std::size_t index)
{
    return path + "[" + std::to_string(index) + "]";
}

} // namespace platform::orgsource
