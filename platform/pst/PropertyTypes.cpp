// Sizes of stored property values.
#include "platform/pst/PropertyTypes.h"

#include <mapidefs.h>

namespace platform::pst {

std::size_t FixedValueSize(std::uint16_t type)
{
    switch (type) {
    case PT_BOOLEAN:
        return 1;
    case PT_I2:
        return 2;
    case PT_LONG:
    case PT_FLOAT:
    case PT_ERROR:
        return 4;
    case PT_DOUBLE:
    case PT_CURRENCY:
    case PT_APPTIME:
    case PT_I8:
    case PT_SYSTIME:
        return 8;
    case PT_CLSID:
        return 16;
    default:
        return 0;
    }
}

} // namespace platform::pst
