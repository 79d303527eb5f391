// Property values for the runtime's tests, pointing at the caller's data (which must outlive them).
#pragma once

#include <mapidefs.h>

namespace mapitest {

inline SPropValue LongValue(ULONG tag, LONG number)
{
    SPropValue value{};
    value.ulPropTag = tag;
    value.Value.l = number;
    return value;
}

inline SPropValue AnsiValue(ULONG tag, const char* text)
{
    SPropValue value{};
    value.ulPropTag = tag;
    value.Value.lpszA = const_cast<char*>(text);
    return value;
}

inline SPropValue UnicodeValue(ULONG tag, const char16_t* text)
{
    SPropValue value{};
    value.ulPropTag = tag;
    value.Value.lpszW = const_cast<char16_t*>(text);
    return value;
}

inline SPropValue BinaryValue(ULONG tag, const BYTE* bytes, ULONG size)
{
    SPropValue value{};
    value.ulPropTag = tag;
    value.Value.bin = {size, const_cast<BYTE*>(bytes)};
    return value;
}

} // namespace mapitest
