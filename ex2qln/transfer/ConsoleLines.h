// The transfer's lines on the console. Each leaves at once: progress goes to one stream and errors
// to the other, and a reader of both must see them in the order they happened.
#pragma once

#include "platform/base/HResult.h"

#include <cstdio>

namespace ex2qln::transfer {

// A status for %#x, which takes an unsigned value.
inline unsigned Hex(HRESULT status) { return static_cast<unsigned>(status); }

inline void Out(const char* format, auto... arguments)
{
    std::printf(format, arguments...);
    std::fflush(stdout);
}

inline void Error(const char* format, auto... arguments)
{
    std::fprintf(stderr, format, arguments...);
    std::fflush(stderr);
}

} // namespace ex2qln::transfer
