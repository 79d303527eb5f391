// The process exit code of a run's 32-bit status.
#pragma once

#include "platform/base/HResult.h"

namespace ex2qln::driver {

// Only 8 bits of an exit status reach the caller, so a status must never exit as 0 unless it is 0:
// any other status exits with its low 8 bits, or 255 when those are 0. So 0x80004005 exits 5,
// 0x80040115 exits 21 and 0x80040100 exits 255; the completion line keeps the full status.
inline int ProcessExitCode(HRESULT status)
{
    if (status == 0)
        return 0;
    int lowByte = static_cast<int>(static_cast<std::uint32_t>(status) & 0xFFu);
    return lowByte != 0 ? lowByte : 255;
}

} // namespace ex2qln::driver
