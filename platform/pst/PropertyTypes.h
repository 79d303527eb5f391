// Sizes of property values as a data file stores them.
#pragma once

#include <cstddef>
#include <cstdint>

namespace platform::pst {

// The size of a fixed-size value of `type` (PT_I2 2, PT_LONG 4, PT_SYSTIME 8, PT_CLSID 16...);
// 0 for variable-size and multi-valued types.
std::size_t FixedValueSize(std::uint16_t type);

// Whether a property context keeps the value itself in its four bytes instead of naming it.
inline bool StoredInline(std::uint16_t type)
{
    const std::size_t size = FixedValueSize(type);
    return size != 0 && size <= 4;
}

} // namespace platform::pst
