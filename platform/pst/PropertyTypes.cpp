// Sizes of stored property values.
#include "platform/pst/PropertyTypes.h"

#include "platform/cfb/MsgLayout.h"

#include <mapidefs.h>

namespace platform::pst {

std::size_t FixedValueSize(std::uint16_t type)
{
    switch (type) {
    case PT_BOOLEAN:
        return 1;
    case PT_ERROR:
        return 4;
    default:
        // The other fixed-size types have the sizes they have as elements of multi-valued ones.
        return cfb::MultipleFixedSize(type);
    }
}

} // namespace platform::pst
