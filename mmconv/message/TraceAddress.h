// Object addresses in trace lines, printed with "%#lx".
#pragma once

#include <cstdint>

namespace mmconv {

inline unsigned long TraceAddress(const void* object)
{
    return static_cast<unsigned long>(reinterpret_cast<std::uintptr_t>(object));
}

} // namespace mmconv
